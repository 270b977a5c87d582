#include "ParamStream.h"

#include <algorithm>
#include <limits>

#include "DateTime.h"
#include "StringTools.h"

namespace KestroCorelib {

namespace {

// String values travel escaped so that a newline never appears in a stored text.
std::string escapeValue(const std::string& text) {
  return StringTools::escape(text, '\n', 'n', '\\');
}
std::wstring escapeValue(const std::wstring& text) {
  return StringTools::escape(text, L'\n', L'n', L'\\');
}
std::string unescapeValue(const std::string& text) {
  return StringTools::unescape(text, 'n', '\n', '\\');
}
std::wstring unescapeValue(const std::wstring& text) {
  return StringTools::unescape(text, L'n', L'\n', L'\\');
}

void appendUnit(std::string& bytes, unsigned unit) {
  bytes += static_cast<char>(unit & 0xFF);
  bytes += static_cast<char>((unit >> 8) & 0xFF);
}

// Wide text is stored as 16-bit units, low byte first, whatever the size of wchar_t here:
// a character beyond 16 bits (possible where wchar_t has 32) becomes a surrogate pair, so
// nothing is lost and the stored form is the same on every platform.
std::string wideToUnits(const std::wstring& text) {
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (wchar_t c : text) {
    auto code = static_cast<unsigned long>(c) & 0xFFFFFFFFul;
    if (code > 0xFFFF && code <= 0x10FFFF) {
      code -= 0x10000;
      appendUnit(bytes, 0xD800 + static_cast<unsigned>(code >> 10));
      appendUnit(bytes, 0xDC00 + static_cast<unsigned>(code & 0x3FF));
    } else {
      appendUnit(bytes, static_cast<unsigned>(code & 0xFFFF));
    }
  }
  return bytes;
}

std::wstring unitsToWide(const std::string& bytes) {
  std::wstring text;
  text.reserve(bytes.size() / 2);
  // A trailing odd byte is no unit and is ignored.
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    unsigned unit = static_cast<unsigned char>(bytes[i]) |
                    (static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 1])) << 8);
    if constexpr (sizeof(wchar_t) >= 4) {
      if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
        unsigned low = static_cast<unsigned char>(bytes[i + 2]) |
                       (static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 3])) << 8);
        if (low >= 0xDC00 && low < 0xE000) {
          text += static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
          i += 2;
          continue;
        }
      }
    }
    text += static_cast<wchar_t>(unit);
  }
  return text;
}

StreamValue makeValue(std::uint32_t tag, std::string text) {
  StreamValue value;
  value.tag = tag;
  value.text = std::move(text);
  return value;
}

}  // namespace

// ---- InternedString -------------------------------------------------------------------------

InternedString::InternedString(const std::string& text) { set(text); }

InternedString::InternedString(const std::wstring& text) { set(text); }

void InternedString::set(const std::string& text) {
  wide = false;
  narrowValue = text;
  wideValue.clear();
}

void InternedString::set(const std::wstring& text) {
  wide = true;
  wideValue = text;
  narrowValue.clear();
}

// ---- PrimitiveStream ------------------------------------------------------------------------

void PrimitiveStream::encodeWide(std::wstring&) {}
void PrimitiveStream::encodeNarrow(std::string&) {}
void PrimitiveStream::decodeWide(std::wstring&) {}
void PrimitiveStream::decodeNarrow(std::string&) {}

// ---- StreamBase: writes ---------------------------------------------------------------------

StreamBase& StreamBase::writeInterned(const InternedString& value) {
  return value.isWide() ? writeWString(value.wideText()) : writeString(value.narrowText());
}

StreamBase& StreamBase::writeWString(const std::wstring& value) {
  std::wstring text = value;
  encodeWide(text);
  write(makeValue(StreamValue::WString, wideToUnits(escapeValue(text))));
  return *this;
}

StreamBase& StreamBase::writeString(const std::string& value) {
  std::string text = value;
  encodeNarrow(text);
  write(makeValue(StreamValue::String, escapeValue(text)));
  return *this;
}

StreamBase& StreamBase::writeWChars(const wchar_t* value) {
  return writeWString(value != nullptr ? std::wstring(value) : std::wstring());
}

StreamBase& StreamBase::writeChars(const char* value) {
  return writeString(value != nullptr ? std::string(value) : std::string());
}

StreamBase& StreamBase::writeDouble(double value) {
  write(makeValue(StreamValue::Double, StringTools::toString(value)));
  return *this;
}

StreamBase& StreamBase::writeUInt64(std::uint64_t value) {
  write(makeValue(StreamValue::UInt64, StringTools::toString(value)));
  return *this;
}

StreamBase& StreamBase::writeInt64(std::int64_t value) {
  write(makeValue(StreamValue::Int64, StringTools::toString(value)));
  return *this;
}

StreamBase& StreamBase::writeUInt32(std::uint32_t value) {
  write(makeValue(StreamValue::UInt32, StringTools::toString(value)));
  return *this;
}

StreamBase& StreamBase::writeInt32(std::int32_t value) {
  write(makeValue(StreamValue::Int32, StringTools::toString(value)));
  return *this;
}

StreamBase& StreamBase::writeWChar(wchar_t value) {
  write(makeValue(StreamValue::WChar, StringTools::toString(static_cast<std::int64_t>(value))));
  return *this;
}

StreamBase& StreamBase::writeChar(char value) {
  // The code as a signed byte on every platform, whatever the signedness of char.
  const auto code = static_cast<std::int32_t>(static_cast<signed char>(value));
  write(makeValue(StreamValue::Char, StringTools::toString(code)));
  return *this;
}

StreamBase& StreamBase::writeDateTime(std::int64_t value) {
  // No instant lies before the calendar's start; a negative count would wrap when stored
  // unsigned.
  const auto count = static_cast<std::uint64_t>(std::max<std::int64_t>(value, 0));
  write(makeValue(StreamValue::DateTime, StringTools::toString(count)));
  return *this;
}

StreamBase& StreamBase::writeBool(bool value) {
  write(makeValue(StreamValue::Bool, StringTools::toString(value)));
  return *this;
}

// ---- StreamBase: reads ----------------------------------------------------------------------

bool StreamBase::readTagged(std::uint32_t tag, std::string& text) {
  StreamValue value;
  lastRead = read(value) && value.tag == tag;
  if (lastRead) text = value.text;
  return lastRead;
}

StreamBase& StreamBase::readInterned(InternedString& value) {
  StreamValue raw;
  lastRead = read(raw) && (raw.tag == StreamValue::String || raw.tag == StreamValue::WString);
  if (!lastRead) return *this;
  if (raw.tag == StreamValue::String) {
    std::string text = unescapeValue(raw.text);
    decodeNarrow(text);
    value.set(text);
  } else {
    std::wstring text = unescapeValue(unitsToWide(raw.text));
    decodeWide(text);
    value.set(text);
  }
  return *this;
}

StreamBase& StreamBase::readWString(std::wstring& value) {
  std::string raw;
  if (readTagged(StreamValue::WString, raw)) {
    std::wstring text = unescapeValue(unitsToWide(raw));
    decodeWide(text);
    value = text;
  }
  return *this;
}

StreamBase& StreamBase::readString(std::string& value) {
  std::string raw;
  if (readTagged(StreamValue::String, raw)) {
    std::string text = unescapeValue(raw);
    decodeNarrow(text);
    value = text;
  }
  return *this;
}

StreamBase& StreamBase::readDouble(double& value) {
  std::string raw;
  if (readTagged(StreamValue::Double, raw)) value = StringTools::toDouble(raw);
  return *this;
}

StreamBase& StreamBase::readUInt64(std::uint64_t& value) {
  std::string raw;
  if (readTagged(StreamValue::UInt64, raw)) value = StringTools::toUInt64(raw);
  return *this;
}

StreamBase& StreamBase::readInt64(std::int64_t& value) {
  std::string raw;
  if (readTagged(StreamValue::Int64, raw)) value = StringTools::toInt64(raw);
  return *this;
}

StreamBase& StreamBase::readUInt32(std::uint32_t& value) {
  std::string raw;
  if (readTagged(StreamValue::UInt32, raw)) value = StringTools::toUInt32(raw);
  return *this;
}

StreamBase& StreamBase::readInt32(std::int32_t& value) {
  std::string raw;
  if (readTagged(StreamValue::Int32, raw)) value = StringTools::toInt32(raw);
  return *this;
}

StreamBase& StreamBase::readWChar(wchar_t& value) {
  std::string raw;
  if (readTagged(StreamValue::WChar, raw)) {
    value = static_cast<wchar_t>(StringTools::toInt64(raw));
  }
  return *this;
}

StreamBase& StreamBase::readChar(char& value) {
  std::string raw;
  if (readTagged(StreamValue::Char, raw)) value = static_cast<char>(StringTools::toInt32(raw));
  return *this;
}

StreamBase& StreamBase::readBool(bool& value) {
  std::string raw;
  if (readTagged(StreamValue::Bool, raw)) value = StringTools::toBool(raw);
  return *this;
}

// ---- ParamStream ----------------------------------------------------------------------------

ParamStream::ParamStream() : cursor(values.end()) {}

ParamStream::ParamStream(const ParamStream& other)
    : StreamBase(other), values(other.values), cursor(values.begin()) {}

ParamStream& ParamStream::operator=(const ParamStream& other) {
  if (this != &other) {
    StreamBase::operator=(other);
    values = other.values;
  }
  cursor = values.begin();
  return *this;
}

bool ParamStream::write(const StreamValue& value) {
  if (value.tag >= StreamValue::Invalid) return false;
  if (value.text.empty() && value.tag != StreamValue::String && value.tag != StreamValue::WString) {
    return false;
  }
  values.push_back(value);
  if (values.size() == 1) cursor = values.begin();
  return true;
}

bool ParamStream::read(StreamValue& value) {
  if (cursor == values.end()) return false;
  value = *cursor;
  ++cursor;
  return true;
}

void ParamStream::rewind() { cursor = values.begin(); }

std::string ParamStream::nextText() {
  StreamValue value;
  return read(value) ? render(value) : std::string();
}

std::wstring ParamStream::nextTextW() {
  StreamValue value;
  return read(value) ? renderW(value) : std::wstring();
}

namespace {

// The placeholder walk shared by fill and fillW.
template <typename String, typename Render>
String fillText(const String& text, const std::list<StreamValue>& values, Render render) {
  if (values.empty()) return text;
  using Char = typename String::value_type;
  auto next = values.begin();
  String result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const Char c = text[i];
    if (c == Char('%')) {
      if (next != values.end()) result += render(*next++);
    } else if (c == Char('\\')) {
      result += c;  // the character after a backslash is never a placeholder
      if (i + 1 < text.size()) result += text[++i];
    } else {
      result += c;
    }
  }
  return result;
}

}  // namespace

std::string ParamStream::fill(const std::string& text) const {
  return fillText(text, values, [](const StreamValue& v) { return render(v); });
}

std::wstring ParamStream::fillW(const std::wstring& text) const {
  return fillText(text, values, [](const StreamValue& v) { return renderW(v); });
}

std::string ParamStream::render(const StreamValue& value) {
  switch (value.tag) {
  case StreamValue::Bool:
    return (value.text.empty() || value.text == "0") ? "false" : "true";
  case 1:
  case 2:
  case StreamValue::Int32:
  case StreamValue::UInt32:
  case StreamValue::Int64:
  case StreamValue::UInt64:
  case StreamValue::Double:
    return value.text;
  case StreamValue::DateTime: {
    // Stored unsigned; a count beyond the signed range is the last instant there is.
    const std::uint64_t count = StringTools::toUInt64(value.text);
    const auto limit = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    const auto ms = static_cast<std::int64_t>(std::min(count, limit));
    return DateTimeDetails(ms).toString(true, false, false);
  }
  case StreamValue::String:
    return unescapeValue(value.text);
  case StreamValue::WString:
    return StringTools::toNarrow(unescapeValue(unitsToWide(value.text)));
  case StreamValue::Char:
    return std::string(1, static_cast<char>(StringTools::toInt32(value.text)));
  case StreamValue::WChar:
    return StringTools::toNarrow(
        std::wstring(1, static_cast<wchar_t>(StringTools::toInt64(value.text))));
  default:
    return std::string();
  }
}

std::wstring ParamStream::renderW(const StreamValue& value) {
  switch (value.tag) {
  case StreamValue::Bool:
    return (value.text.empty() || value.text == "0") ? L"false" : L"true";
  case StreamValue::WString:
    return unescapeValue(unitsToWide(value.text));
  case StreamValue::Char:
    return StringTools::toWide(std::string(1, static_cast<char>(StringTools::toInt32(value.text))));
  case StreamValue::WChar:
    return std::wstring(1, static_cast<wchar_t>(StringTools::toInt64(value.text)));
  default:
    // Numbers, dates and narrow strings render as narrow text, then widen.
    return StringTools::toWide(render(value));
  }
}

}  // namespace KestroCorelib
