// Feeds arbitrary texts to the path, wildcard, splitting and escaping tools and to message
// rendering. The input is cut at NUL bytes into a text, a pattern and a value; the value is also
// put into two environment variables so that expansion meets references inside inserted
// values. Checked: tidyPath is idempotent, escaping and the narrow/wide conversion round-trip,
// splitting keeps every character, line pieces respect their width, a text matches itself as a
// pattern. Nothing may crash, hang or leak.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Exception.h"
#include "StringTools.h"

using namespace KestroCorelib;

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

std::string nextPart(const uint8_t*& data, size_t& size) {
  std::string part;
  while (size > 0) {
    const char c = static_cast<char>(*data++);
    --size;
    if (c == '\0') break;
    part += c;
  }
  return part;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text = nextPart(data, size);
  const std::string pattern = nextPart(data, size);
  const std::string value = nextPart(data, size);
  const std::uint8_t width = static_cast<std::uint8_t>(pattern.size());

  StringTools::setEnv("F", value);
  StringTools::setEnv("FUZZ", value + "%F%$F\\");

  std::string path = text;
  StringTools::expandEnvironment(path);
  std::string tidy = path;
  StringTools::tidyPath(tidy);
  std::string again = tidy;
  check(StringTools::tidyPath(again) == tidy);
  std::string normalized = text;
  StringTools::normalizePath(normalized);
  (void)StringTools::parentDirectory(tidy);
  (void)StringTools::extension(tidy);
  (void)StringTools::isAbsolutePath(tidy);
  (void)StringTools::makeAbsolute(text, pattern);

  (void)StringTools::matchGlob(text, pattern, value.size());
  if (text.find_first_of("*?") == std::string::npos) check(StringTools::matchGlob(text, text));

  check(StringTools::unescape(StringTools::escape(text, '\n', 'n', '\\'), 'n', '\n', '\\') == text);
  check(StringTools::toNarrow(StringTools::toWide(text)) == text);

  const char separator = pattern.empty() ? ',' : pattern[0];
  // Without skipping, the pieces joined again give the text (less a trailing separator).
  std::string joined;
  for (const std::string& piece : StringTools::split(text, separator)) {
    joined += piece;
    joined += separator;
  }
  if (!joined.empty()) joined.pop_back();
  std::string expected = text;
  if (!expected.empty() && expected.back() == separator) expected.pop_back();
  check(joined == expected);

  StringTools::LineSizeSearcher lines(width);
  for (const std::string& piece : StringTools::split(text, lines, StringTools::unlimited, true)) {
    if (width > 0) check(piece.size() <= width);
  }
  (void)StringTools::split(text, lines, value.size() % 5, false);

  (void)StringTools::toDouble(text);
  (void)StringTools::toInt64(text);
  (void)StringTools::toUInt32(text);

  ParamStream parameters;
  parameters << value << std::wstring(StringTools::toWide(value)) << StringTools::toInt32(value)
             << StringTools::toDouble(value);
  Exception wrapped(text, "tag", parameters);
  Exception outer("tag", wrapped);
  outer.addNested(Exception(StringTools::toWide(pattern), parameters));
  (void)outer.getText();
  (void)outer.getTextW(false);
  std::string read;
  parameters >> read;
  check(read == value);
  return 0;
}
