#pragma once
// Typed value streams: the values that fill the "%" placeholders of messages.
//
//   ParamStream p;
//   p << std::string("projectmap.kconf") << int32_t(12) << true;
//   p.fill("file \"%\" line % ok=%")     // "file \"projectmap.kconf\" line 12 ok=true"
//
// Every value is stored as a type tag and a text (StreamValue). PrimitiveStream is the raw
// channel of such values, StreamBase adds typed writes and reads on top of it, ParamStream keeps
// the values in memory. Nothing here throws (beyond memory exhaustion): a refused write is
// ignored, a read of the wrong type returns false, consumes the value and leaves its target
// unchanged.
#include <cstddef>
#include <cstdint>
#include <list>
#include <string>

namespace KestroCorelib {

// One stream value: a type tag and its text.
struct StreamValue {
  // Type tags; a value's text form is given per tag.
  enum Tag : std::uint32_t {
    Bool = 0,      // "1" / "0"
    Int32 = 3,     // decimal
    UInt32 = 4,    // decimal
    Int64 = 5,     // decimal, '-' when negative
    UInt64 = 6,    // decimal
    Double = 7,    // StringTools::toString(double)
    DateTime = 8,  // milliseconds of DateTime as unsigned decimal
    String = 9,    // the escaped narrow text (newline -> "\n", backslash doubled)
    WString = 10,  // the escaped wide text as 16-bit units, two bytes each, low byte first
    Char = 12,     // the character's code as signed decimal
    WChar = 13,    // the wide character's code as decimal
    Invalid = 14   // a fresh value; no operation accepts it
  };

  std::uint32_t tag = Invalid;
  std::string text;
};

// A text that a stream writes and reads as narrow or wide string value, whichever it holds.
// It is a plain value (no shared table behind it).
class InternedString {
 public:
  InternedString() = default;
  explicit InternedString(const std::string& text);
  explicit InternedString(const std::wstring& text);

  bool isWide() const { return wide; }
  const std::string& narrowText() const { return narrowValue; }
  const std::wstring& wideText() const { return wideValue; }
  void set(const std::string& text);
  void set(const std::wstring& text);

 private:
  bool wide = false;
  std::string narrowValue;
  std::wstring wideValue;
};

// The raw channel of stream values. The encode/decode hooks let a derived stream transform
// strings on their way in and out; here they leave the text unchanged.
class PrimitiveStream {
 public:
  virtual ~PrimitiveStream() = default;
  // Takes the next value; false when there is none.
  virtual bool read(StreamValue& value) = 0;
  // Appends a value; false when refused.
  virtual bool write(const StreamValue& value) = 0;
  virtual void encodeWide(std::wstring& text);
  virtual void encodeNarrow(std::string& text);
  virtual void decodeWide(std::wstring& text);
  virtual void decodeNarrow(std::string& text);
};

// Typed writes and reads. Each returns the stream, so calls chain:
//   p << std::string("a") << int32_t(1);
//   std::string s; int32_t n = 0; p >> s >> n;
class StreamBase : public PrimitiveStream {
 public:
  virtual StreamBase& writeInterned(const InternedString& value);  // tag 9 or 10
  virtual StreamBase& writeWString(const std::wstring& value);     // tag 10, after encodeWide
  virtual StreamBase& writeString(const std::string& value);       // tag 9, after encodeNarrow
  virtual StreamBase& writeWChars(const wchar_t* value);           // tag 10; null as ""
  virtual StreamBase& writeChars(const char* value);               // tag 9; null as ""
  virtual StreamBase& writeDouble(double value);                   // tag 7
  virtual StreamBase& writeUInt64(std::uint64_t value);            // tag 6
  virtual StreamBase& writeInt64(std::int64_t value);              // tag 5
  virtual StreamBase& writeUInt32(std::uint32_t value);            // tag 4
  virtual StreamBase& writeInt32(std::int32_t value);              // tag 3
  virtual StreamBase& writeWChar(wchar_t value);                   // tag 13
  virtual StreamBase& writeChar(char value);                       // tag 12
  virtual StreamBase& writeBool(bool value);                       // tag 0

  virtual StreamBase& readInterned(InternedString& value);  // tag 9 or 10
  virtual StreamBase& readWString(std::wstring& value);     // tag 10, then decodeWide
  virtual StreamBase& readString(std::string& value);       // tag 9, then decodeNarrow
  // Tag 7; an infinite value becomes the largest finite double.
  virtual StreamBase& readDouble(double& value);
  virtual StreamBase& readUInt64(std::uint64_t& value);  // tag 6, leading digits
  virtual StreamBase& readInt64(std::int64_t& value);    // tag 5, optional '-' and digits
  virtual StreamBase& readUInt32(std::uint32_t& value);  // tag 4
  virtual StreamBase& readInt32(std::int32_t& value);    // tag 3
  virtual StreamBase& readWChar(wchar_t& value);         // tag 13
  virtual StreamBase& readChar(char& value);             // tag 12
  virtual StreamBase& readBool(bool& value);             // tag 0

  // A point in time (DateTime::get(), milliseconds) as tag 8; a negative count is stored as 0.
  StreamBase& writeDateTime(std::int64_t value);

  // Whether the last typed read found a value of its type (the chained form hides it).
  bool lastReadSucceeded() const { return lastRead; }

  StreamBase& operator<<(const InternedString& value) { return writeInterned(value); }
  StreamBase& operator<<(const std::wstring& value) { return writeWString(value); }
  StreamBase& operator<<(const std::string& value) { return writeString(value); }
  StreamBase& operator<<(const wchar_t* value) { return writeWChars(value); }
  StreamBase& operator<<(const char* value) { return writeChars(value); }
  StreamBase& operator<<(double value) { return writeDouble(value); }
  StreamBase& operator<<(std::uint64_t value) { return writeUInt64(value); }
  StreamBase& operator<<(std::int64_t value) { return writeInt64(value); }
  StreamBase& operator<<(std::uint32_t value) { return writeUInt32(value); }
  StreamBase& operator<<(std::int32_t value) { return writeInt32(value); }
  StreamBase& operator<<(wchar_t value) { return writeWChar(value); }
  StreamBase& operator<<(char value) { return writeChar(value); }
  StreamBase& operator<<(bool value) { return writeBool(value); }

  StreamBase& operator>>(InternedString& value) { return readInterned(value); }
  StreamBase& operator>>(std::wstring& value) { return readWString(value); }
  StreamBase& operator>>(std::string& value) { return readString(value); }
  StreamBase& operator>>(double& value) { return readDouble(value); }
  StreamBase& operator>>(std::uint64_t& value) { return readUInt64(value); }
  StreamBase& operator>>(std::int64_t& value) { return readInt64(value); }
  StreamBase& operator>>(std::uint32_t& value) { return readUInt32(value); }
  StreamBase& operator>>(std::int32_t& value) { return readInt32(value); }
  StreamBase& operator>>(wchar_t& value) { return readWChar(value); }
  StreamBase& operator>>(char& value) { return readChar(value); }
  StreamBase& operator>>(bool& value) { return readBool(value); }

 protected:
  // Reads the next value and tells whether it carries the tag (the value is consumed anyway).
  bool readTagged(std::uint32_t tag, std::string& text);

 private:
  bool lastRead = false;
};

// The in-memory stream of message parameters: values in write order and a read cursor.
class ParamStream : public StreamBase {
 public:
  ParamStream();
  // A copy holds the same values, with its cursor on the first one.
  ParamStream(const ParamStream& other);
  ParamStream& operator=(const ParamStream& other);

  // Refuses (false, nothing stored) a tag of 14 or more and an empty text unless the tag is
  // 9 or 10. A value appended after the cursor has passed the last value is read only after
  // rewind().
  bool write(const StreamValue& value) override;

  // The typed writes of StreamBase, returning this stream, so that parameters can be built
  // where they are passed: throw X(message, KESTRO_SOURCE_TAG, ParamStream() << name);
  template <typename T> ParamStream& operator<<(const T& value) {
    StreamBase::operator<<(value);
    return *this;
  }
  // Copies the value under the cursor and advances; false at the end.
  bool read(StreamValue& value) override;

  // Puts the cursor on the first value.
  void rewind();
  // Reads the next value and renders it as text (see fill); "" when no value is left.
  std::string nextText();
  std::wstring nextTextW();

  // Replaces each '%' by the rendering of the next value, starting from the first value;
  // a backslash is copied with the character after it (so "\%" is no placeholder). Surplus
  // values are ignored, a '%' beyond the last value becomes "". A stream without values
  // returns the text unchanged. The cursor is not moved.
  //   values 1 and "x": fill("a % b % c") == "a 1 b x c"
  // Renderings: bool "true"/"false"; numbers as stored; date and time (tag 8) as
  // DateTimeDetails::toString(true, false, false) (milliseconds, not compact, no zone);
  // strings unescaped (wide ones converted); characters as themselves; other tags "".
  std::string fill(const std::string& text) const;
  std::wstring fillW(const std::wstring& text) const;

  // Number of values.
  std::size_t count() const { return values.size(); }
  // All values in write order (for writers of logs).
  const std::list<StreamValue>& getValues() const { return values; }

  // The renderings of a single value used by fill and fillW.
  static std::string render(const StreamValue& value);
  static std::wstring renderW(const StreamValue& value);

 private:
  std::list<StreamValue> values;
  std::list<StreamValue>::const_iterator cursor;
};

}  // namespace KestroCorelib
