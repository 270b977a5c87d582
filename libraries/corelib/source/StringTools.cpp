#include "StringTools.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cinttypes>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <type_traits>

#include "platform/PlatformEnvironment.h"
#include "platform/PlatformFiles.h"

namespace KestroCorelib {

namespace {

constexpr std::size_t noPieceLimit = std::numeric_limits<std::size_t>::max();

std::size_t pieceLimit(std::size_t maxPieces) {
  return maxPieces == StringTools::unlimited ? noPieceLimit : maxPieces;
}

// The trim rule without the whitespace set: control characters, blank and, because the byte
// is taken as signed, every byte from 0x80 up.
bool isLowByte(char c) { return static_cast<signed char>(c) <= 32; }

template <typename Char> Char asciiLower(Char c) {
  return (c >= Char('A') && c <= Char('Z')) ? Char(c - 'A' + 'a') : c;
}

template <typename String>
String escapeText(const String& text, typename String::value_type special,
                  typename String::value_type code, typename String::value_type escapeChar) {
  String result;
  result.reserve(text.size());
  for (auto c : text) {
    if (c == special) {
      result += escapeChar;
      result += code;
    } else if (c == escapeChar) {
      result += escapeChar;
      result += escapeChar;
    } else {
      result += c;
    }
  }
  return result;
}

template <typename String>
String unescapeText(const String& text, typename String::value_type code,
                    typename String::value_type special, typename String::value_type escapeChar) {
  String result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto c = text[i];
    if (c != escapeChar || i + 1 == text.size()) {
      result += c;
      continue;
    }
    auto next = text[++i];
    if (next == code) {
      result += special;
    } else if (next == escapeChar) {
      result += escapeChar;
    } else {
      result += c;
      result += next;
    }
  }
  return result;
}

template <typename Container>
void splitAtChar(Container& pieces, const std::string& text, char separator, std::size_t maxPieces,
                 bool skipEmpty) {
  if (text.empty()) return;
  const std::size_t limit = pieceLimit(maxPieces);
  std::size_t pos = 0;
  while (pieces.size() + 1 < limit) {
    std::size_t found = text.find(separator, pos);
    if (found == std::string::npos) break;
    if (!skipEmpty || found > pos) pieces.push_back(text.substr(pos, found - pos));
    pos = found + 1;
  }
  // A trailing separator never yields a final empty piece.
  if (pos < text.size()) pieces.push_back(text.substr(pos));
}

template <typename String>
std::vector<String> splitWithSearcher(const String& text,
                                      const StringTools::StringSearcher& searcher,
                                      std::size_t maxPieces, bool skipEmpty) {
  std::vector<String> pieces;
  if (text.empty()) return pieces;
  const std::size_t limit = pieceLimit(maxPieces);
  std::size_t pos = 0;
  bool reachedEnd = false;
  while (pieces.size() + 1 < limit) {
    std::size_t matchPos = 0;
    std::size_t matchLength = 0;
    // A searcher that finds nothing, points backwards or makes no progress would loop for
    // ever; such an answer counts as "no further cut".
    if (!searcher.find(matchPos, matchLength, text, pos, text.size() - pos) || matchPos < pos ||
        matchPos > text.size() || (matchLength == 0 && matchPos == pos && pos < text.size())) {
      matchPos = text.size();
      matchLength = 0;
    }
    if (!skipEmpty || matchPos > pos) pieces.push_back(text.substr(pos, matchPos - pos));
    pos = std::min(matchPos + matchLength, text.size());
    if (matchPos >= text.size()) {
      reachedEnd = true;
      break;
    }
  }
  if (!reachedEnd && (!skipEmpty || pos < text.size())) pieces.push_back(text.substr(pos));
  return pieces;
}

template <typename String>
bool lineSizeFind(std::size_t& matchPos, std::size_t& matchLength, const String& text,
                  std::size_t start, std::size_t count, std::size_t maxLength,
                  const String& breakChars) {
  using Char = typename String::value_type;
  if (start >= text.size() || maxLength == 0) return false;
  count = std::min(count, text.size() - start);
  const std::size_t end = start + std::min(maxLength, count);
  if (end == start + count) {  // the rest fits on one line
    matchPos = end;
    matchLength = 0;
    return true;
  }
  // end < text.size() here, so the character at end exists.
  for (std::size_t q = start; q <= end; ++q) {
    if (text[q] == Char('\n')) {
      matchPos = q;
      matchLength = 1;
      return true;
    }
  }
  for (std::size_t q = end; q > start; --q) {
    if (breakChars.find(text[q]) == String::npos) continue;
    if (text[q] == Char('-')) {
      // The hyphen stays on the line, so one just behind the window would make the line
      // one character too long.
      if (q == end) continue;
      matchPos = q + 1;
      matchLength = 0;
    } else {  // whitespace is consumed
      matchPos = q;
      matchLength = 1;
    }
    return true;
  }
  matchPos = end;  // no break point: cut hard
  matchLength = 0;
  return true;
}

// Parses a decimal number the way the C runtime does, but always with '.' as the decimal
// point: the toolkit may switch the process to the user's locale, where it can be ','.
// `used` receives how many characters of `text` were read.
double parseDouble(const std::string& text, std::size_t& used) {
  std::string local = text;
  const char* point = std::localeconv()->decimal_point;
  std::string::size_type dot = std::string::npos;
  std::size_t pointLength = 1;
  if (point != nullptr && *point != '\0' && std::string(point) != ".") {
    dot = local.find('.');
    if (dot != std::string::npos) {
      pointLength = std::strlen(point);
      local.replace(dot, 1, point);
    }
  }
  char* end = nullptr;
  const double value = std::strtod(local.c_str(), &end);
  used = static_cast<std::size_t>(end - local.c_str());
  // Read past the point: count the '.' it stands for, not the locale's (maybe longer) text.
  if (dot != std::string::npos && used > dot) used -= pointLength - 1;
  return value;
}

}  // namespace

// ---- Searchers ------------------------------------------------------------------------------

StringTools::LineSizeSearcher::LineSizeSearcher(std::uint8_t maxLen)
    : maxLength(maxLen),
      breakChars(whitespaceChars() + "-"),
      breakCharsW(whitespaceCharsW() + L"-") {}

bool StringTools::LineSizeSearcher::find(std::size_t& matchPos, std::size_t& matchLength,
                                         const std::wstring& text, std::size_t start,
                                         std::size_t count) const {
  return lineSizeFind(matchPos, matchLength, text, start, count, maxLength, breakCharsW);
}

bool StringTools::LineSizeSearcher::find(std::size_t& matchPos, std::size_t& matchLength,
                                         const std::string& text, std::size_t start,
                                         std::size_t count) const {
  return lineSizeFind(matchPos, matchLength, text, start, count, maxLength, breakChars);
}

// ---- Text -----------------------------------------------------------------------------------

const std::string& StringTools::whitespaceChars() {
  static const std::string chars(" \r\n\t\v\b\f");
  return chars;
}

const std::wstring& StringTools::whitespaceCharsW() {
  static const std::wstring chars(L" \r\n\t\v\b\f");
  return chars;
}

std::string& StringTools::trimLeft(std::string& text, bool useSet) {
  std::size_t first = 0;
  if (useSet) {
    first = text.find_first_not_of(whitespaceChars());
  } else {
    while (first < text.size() && isLowByte(text[first])) ++first;
  }
  text.erase(0, std::min(first, text.size()));
  return text;
}

std::string& StringTools::trimRight(std::string& text, bool useSet) {
  std::size_t end = text.size();
  if (useSet) {
    std::size_t last = text.find_last_not_of(whitespaceChars());
    end = last == std::string::npos ? 0 : last + 1;
  } else {
    while (end > 0 && isLowByte(text[end - 1])) --end;
  }
  text.erase(end);
  return text;
}

std::string& StringTools::trim(std::string& text, bool useSet) {
  return trimLeft(trimRight(text, useSet), useSet);
}

std::string& StringTools::unquote(std::string& text) {
  if (text.size() >= 2 && text.front() == text.back() &&
      (text.front() == '\'' || text.front() == '"')) {
    text = text.substr(1, text.size() - 2);
  }
  return text;
}

std::string& StringTools::reverse(std::string& text, std::size_t start, std::size_t count) {
  if (start >= text.size()) return text;
  count = std::min(count, text.size() - start);
  std::reverse(text.begin() + static_cast<std::ptrdiff_t>(start),
               text.begin() + static_cast<std::ptrdiff_t>(start + count));
  return text;
}

std::string& StringTools::padLeft(std::string& text, std::size_t width, char fill) {
  if (text.size() < width) text.insert(0, width - text.size(), fill);
  return text;
}

std::string& StringTools::padRight(std::string& text, std::size_t width, char fill) {
  if (text.size() < width) text.append(width - text.size(), fill);
  return text;
}

std::string StringTools::cutHead(std::string& text, char separator) {
  return cutHead(text, std::string(1, separator));
}

std::string StringTools::cutHead(std::string& text, const std::string& separator) {
  if (separator.empty()) return std::string();
  std::size_t found = text.find(separator);
  std::string head;
  if (found == std::string::npos) {
    head.swap(text);
  } else {
    head = text.substr(0, found);
    text.erase(0, found + separator.size());
  }
  return head;
}

std::string StringTools::cutTail(std::string& text, char separator) {
  std::size_t found = text.rfind(separator);
  std::string tail;
  if (found == std::string::npos) {
    tail.swap(text);
  } else {
    tail = text.substr(found + 1);
    text.erase(found);
  }
  return tail;
}

int StringTools::compareAt(const std::string& text, std::size_t pos, const std::string& pattern) {
  if (pos >= text.size()) return -1;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pos + i >= text.size()) return -1;
    auto t = static_cast<signed char>(text[pos + i]);
    auto p = static_cast<signed char>(pattern[i]);
    if (t != p) return t < p ? -1 : 1;
  }
  return 0;
}

std::string& StringTools::replaceChar(std::string& text, char from, char to) {
  std::replace(text.begin(), text.end(), from, to);
  return text;
}

std::string& StringTools::toLower(std::string& text) {
  for (char& c : text) c = asciiLower(c);
  return text;
}

std::wstring& StringTools::toLower(std::wstring& text) {
  for (wchar_t& c : text) c = asciiLower(c);
  return text;
}

std::string StringTools::lowerCopy(const std::string& text) {
  std::string copy = text;
  return toLower(copy);
}

std::wstring StringTools::lowerCopy(const std::wstring& text) {
  std::wstring copy = text;
  return toLower(copy);
}

int StringTools::compareNoCase(const std::string& a, const std::string& b) {
  return lowerCopy(a).compare(lowerCopy(b));
}

int StringTools::compareNoCase(const std::wstring& a, const std::wstring& b) {
  return lowerCopy(a).compare(lowerCopy(b));
}

bool StringTools::equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (asciiLower(a[i]) != asciiLower(b[i])) return false;
  }
  return true;
}

std::wstring StringTools::toWide(const std::string& text) {
  std::wstring result(text.size(), L'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    result[i] = static_cast<wchar_t>(static_cast<unsigned char>(text[i]));
  }
  return result;
}

std::string StringTools::toNarrow(const std::wstring& text) {
  std::string result(text.size(), '\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    // Unsigned, so that a negative wchar_t (where it is signed) is out of range too.
    const auto code = static_cast<std::make_unsigned_t<wchar_t>>(text[i]);
    result[i] = code <= 255 ? static_cast<char>(code) : '?';
  }
  return result;
}

std::string StringTools::escape(const std::string& text, char special, char code, char escapeChar) {
  return escapeText(text, special, code, escapeChar);
}

std::wstring StringTools::escape(const std::wstring& text, wchar_t special, wchar_t code,
                                 wchar_t escapeChar) {
  return escapeText(text, special, code, escapeChar);
}

std::string StringTools::unescape(const std::string& text, char code, char special,
                                  char escapeChar) {
  return unescapeText(text, code, special, escapeChar);
}

std::wstring StringTools::unescape(const std::wstring& text, wchar_t code, wchar_t special,
                                   wchar_t escapeChar) {
  return unescapeText(text, code, special, escapeChar);
}

std::vector<std::string> StringTools::split(const std::string& text, char separator,
                                            std::size_t maxPieces, bool skipEmpty) {
  std::vector<std::string> pieces;
  splitAtChar(pieces, text, separator, maxPieces, skipEmpty);
  return pieces;
}

std::list<std::string> StringTools::splitList(const std::string& text, char separator,
                                              std::size_t maxPieces, bool skipEmpty) {
  std::list<std::string> pieces;
  splitAtChar(pieces, text, separator, maxPieces, skipEmpty);
  return pieces;
}

std::vector<std::string> StringTools::split(const std::string& text, const StringSearcher& searcher,
                                            std::size_t maxPieces, bool skipEmpty) {
  return splitWithSearcher(text, searcher, maxPieces, skipEmpty);
}

std::vector<std::wstring> StringTools::split(const std::wstring& text,
                                             const StringSearcher& searcher, std::size_t maxPieces,
                                             bool skipEmpty) {
  return splitWithSearcher(text, searcher, maxPieces, skipEmpty);
}

bool StringTools::matchGlob(const std::string& text, const std::string& pattern, std::size_t start,
                            std::size_t length) {
  // Runs of '*' mean the same as one and would only multiply the back-tracking.
  std::string pat;
  pat.reserve(pattern.size());
  for (char c : pattern) {
    if (c != '*' || pat.empty() || pat.back() != '*') pat += c;
  }
  if (start >= text.size()) return pat.empty() || pat == "*";
  if (std::min(length, text.size() - start) == 0) return false;

  std::size_t t = start;
  std::size_t p = 0;
  std::size_t starPattern = std::string::npos;  // position after the last '*' seen
  std::size_t starText = 0;                     // text position that '*' matched up to
  while (t < text.size()) {
    if (p < pat.size() && pat[p] == '*') {
      starPattern = ++p;
      starText = t;
    } else if (p < pat.size() && (pat[p] == '?' || pat[p] == text[t])) {
      ++p;
      ++t;
    } else if (starPattern != std::string::npos) {
      p = starPattern;
      t = ++starText;
    } else {
      return false;
    }
  }
  while (p < pat.size() && pat[p] == '*') ++p;
  return p == pat.size();
}

// ---- Numbers --------------------------------------------------------------------------------

std::string StringTools::toString(bool value) { return value ? "1" : "0"; }

std::string StringTools::toString(std::int16_t value) { return std::to_string(value); }

std::string StringTools::toString(std::uint16_t value) { return std::to_string(value); }

std::string StringTools::toString(std::int32_t value) { return std::to_string(value); }

std::string StringTools::toString(std::uint32_t value) { return std::to_string(value); }

std::string StringTools::toString(std::int64_t value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%" PRId64, value);
  return buffer;
}

std::string StringTools::toString(std::uint64_t value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%" PRIu64, value);
  return buffer;
}

std::string StringTools::toString(double value) {
  if (value == 0) return "0";
  // to_chars prints like "%.15e" / "%.14f" but always with '.', whatever the locale.
  char buffer[400];
  const double magnitude = std::fabs(value);
  if (magnitude > 1e15 || magnitude < 1e-15) {
    auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 15);
    return std::string(buffer, result.ptr);
  }
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 14);
  std::string text(buffer, result.ptr);
  if (text.find('.') != std::string::npos) {
    std::size_t last = text.find_last_not_of('0');
    if (text[last] == '.') --last;
    text.erase(last + 1);
  }
  return text;
}

bool StringTools::toBool(const std::string& text) { return !text.empty() && text != "0"; }

std::int32_t StringTools::toInt32(const std::string& text) {
  long long value = std::strtoll(text.c_str(), nullptr, 10);
  value = std::clamp<long long>(value, std::numeric_limits<std::int32_t>::min(),
                                std::numeric_limits<std::int32_t>::max());
  return static_cast<std::int32_t>(value);
}

std::uint32_t StringTools::toUInt32(const std::string& text) {
  constexpr long long maxValue = std::numeric_limits<std::uint32_t>::max();
  long long value = std::strtoll(text.c_str(), nullptr, 10);
  // Like the C runtime's strtoul on 32 bits: a negative number counts modulo 2^32, a number
  // out of range gives the largest value.
  if (value > maxValue || value < -maxValue) return std::numeric_limits<std::uint32_t>::max();
  return static_cast<std::uint32_t>(value);
}

std::int64_t StringTools::toInt64(const std::string& text) {
  std::size_t i = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) ++i;
  // Accumulate the magnitude unsigned; the negative range is one larger than the positive.
  const std::uint64_t limit = negative ? std::uint64_t(std::numeric_limits<std::int64_t>::max()) + 1
                                       : std::uint64_t(std::numeric_limits<std::int64_t>::max());
  std::uint64_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const unsigned digit = static_cast<unsigned>(text[i] - '0');
    if (magnitude > (limit - digit) / 10) {
      magnitude = limit;
      break;
    }
    magnitude = magnitude * 10 + digit;
  }
  if (!negative) return static_cast<std::int64_t>(magnitude);
  return magnitude == limit ? std::numeric_limits<std::int64_t>::min()
                            : -static_cast<std::int64_t>(magnitude);
}

std::uint64_t StringTools::toUInt64(const std::string& text) {
  constexpr std::uint64_t maxValue = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const unsigned digit = static_cast<unsigned>(text[i] - '0');
    if (value > (maxValue - digit) / 10) return maxValue;
    value = value * 10 + digit;
  }
  return value;
}

double StringTools::toDouble(const std::string& text) {
  std::size_t used = 0;
  return toDouble(text, used);
}

double StringTools::toDouble(const std::string& text, std::size_t& used) {
  double value = parseDouble(text, used);
  if (std::isinf(value)) {
    value = std::copysign(std::numeric_limits<double>::max(), value);
  }
  return value;
}

// ---- Environment ----------------------------------------------------------------------------

bool StringTools::setEnv(const std::string& name, const std::string& value) {
  // A name with '=' would set a different variable than asked for.
  if (name.empty() || name.find('=') != std::string::npos) return false;
  return platform::setEnvironmentVariable(name, value);
}

bool StringTools::getEnv(const std::string& name, std::string& out) {
  if (name.empty()) return false;
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return false;
  out = value;
  return true;
}

// ---- Paths ----------------------------------------------------------------------------------

std::string& StringTools::toBackslashes(std::string& path) { return replaceChar(path, '/', '\\'); }

std::string& StringTools::expandEnvironment(std::string& path) {
  if (path.empty()) return path;
  toBackslashes(path);
  std::string value;

  // %NAME% anywhere. Inserted values are not searched again, so a value holding '%' or '$'
  // cannot make the expansion run away.
  std::size_t pos = 0;
  for (;;) {
    std::size_t open = path.find('%', pos);
    if (open == std::string::npos) break;
    std::size_t close = path.find('%', open + 1);
    if (close == std::string::npos) break;
    std::string name = path.substr(open + 1, close - open - 1);
    if (!name.empty() && getEnv(name, value)) {
      path.replace(open, close - open + 1, value);
      pos = open + value.size();
    } else {
      pos = close + 1;
    }
  }

  // $NAME\ (the backslash stays).
  pos = 0;
  for (;;) {
    std::size_t dollar = path.find('$', pos);
    if (dollar == std::string::npos) break;
    std::size_t slash = path.find('\\', dollar + 1);
    if (slash == std::string::npos) break;
    std::string name = path.substr(dollar + 1, slash - dollar - 1);
    if (!name.empty() && getEnv(name, value)) {
      path.replace(dollar, slash - dollar, value);
      pos = dollar + value.size();
    } else {
      pos = slash;
    }
  }

  if (StringTools::equalsNoCase(path, "\\c:")) {
    path = "C:";
  } else if (StringTools::equalsNoCase(path, "\\systemroot")) {
    std::string windowsDir;
    if (platform::windowsDirectory(windowsDir)) path = windowsDir;
  } else if (path == "\\??") {
    path.clear();
  }
  return path;
}

std::string& StringTools::tidyPath(std::string& path) {
  if (path.empty()) return path;
  toBackslashes(path);
  const bool endsWithSlash = path.back() == '\\';
  const bool startsWithSlash = path.front() == '\\';
  const bool startsWithTwo = path.size() >= 2 && path[0] == '\\' && path[1] == '\\';

  std::vector<std::string> kept;
  for (std::string& piece : split(path, '\\', unlimited, true)) {
    if (piece == ".") continue;
    if (piece == ".." && !kept.empty() && kept.back() != "..") {
      kept.pop_back();
      continue;
    }
    kept.push_back(std::move(piece));
  }

  std::string body;
  for (const std::string& piece : kept) {
    if (!body.empty()) body += '\\';
    body += piece;
  }
  std::string result = startsWithTwo ? "\\\\" : startsWithSlash ? "\\" : "";
  result += body;
  // Only a path with a last piece gets the trailing backslash back: "\" must not grow into
  // "\\" (a network name), nor "a\..\" into "\" (the root).
  if (endsWithSlash && !body.empty()) result += '\\';
  path = result;
  return path;
}

std::string& StringTools::toLongPath(std::string& path) {
  if (path.empty() || path.compare(0, 2, "\\\\") == 0) return path;
  std::string longPath;
  if (platform::longPathName(path, longPath)) path = longPath;
  return path;
}

std::string& StringTools::normalizePath(std::string& path) {
  return toLongPath(tidyPath(expandEnvironment(path)));
}

std::string& StringTools::removeTrailingBackslashes(std::string& path) {
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

std::string& StringTools::ensureTrailingBackslash(std::string& path) {
  if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
  return path;
}

std::wstring& StringTools::ensureTrailingBackslash(std::wstring& path) {
  if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
  return path;
}

bool StringTools::isAbsolutePath(const std::string& path) {
  return matchGlob(path, "?*:\\*") || matchGlob(path, "?*:*") || matchGlob(path, "\\\\?*\\*");
}

std::string StringTools::makeAbsolute(std::string path, std::string base) {
  toBackslashes(path);
  toBackslashes(base);
  if (isAbsolutePath(path)) return path;
  ensureTrailingBackslash(base);
  path.insert(0, base);
  return tidyPath(path);
}

std::string StringTools::parentDirectory(const std::string& path) {
  std::size_t last = path.rfind('\\');
  if (last == std::string::npos) return std::string();
  if (last + 1 == path.size()) {
    if (last == 0) return std::string();
    last = path.rfind('\\', last - 1);
    if (last == std::string::npos) return std::string();
  }
  return path.substr(0, last);
}

std::string StringTools::extension(const std::string& path) {
  std::size_t dot = path.rfind('.');
  std::size_t slash = path.rfind('\\');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return path.substr(dot + 1);
}

std::wstring StringTools::extension(const std::wstring& path) {
  std::size_t dot = path.rfind(L'.');
  std::size_t slash = path.rfind(L'\\');
  if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) return {};
  return path.substr(dot + 1);
}

bool StringTools::exists(const std::string& path) {
  return !path.empty() && platform::pathExists(path);
}

bool StringTools::isRegularFile(const std::string& path) {
  return !path.empty() && platform::pathKind(path) == platform::PathKind::RegularFile;
}

bool StringTools::isRegularFile(const std::wstring& path) {
  return !path.empty() && platform::pathKind(path) == platform::PathKind::RegularFile;
}

bool StringTools::isDirectory(const std::string& path) {
  if (path.empty()) return false;
  std::string query = path;
  toBackslashes(query);
  // The root "\" keeps its backslash: without it nothing would be asked at all.
  if (query.size() > 1 && query.back() == '\\') query.pop_back();
  // A bare drive means its root, not the drive's current directory.
  if (query.size() == 2 && query[1] == ':') query += '\\';
  return platform::pathKind(query) == platform::PathKind::Directory;
}

std::string StringTools::currentDirectory() {
  std::string directory;
  platform::currentDirectory(directory);
  return directory;
}

}  // namespace KestroCorelib
