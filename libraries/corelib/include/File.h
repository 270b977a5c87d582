#pragma once
// Reading text files one byte at a time, counting lines, and the byte-level helpers for plain
// files. Nothing here throws; every failure is a false (or null) result.
//
//   File file("C:\\kestro\\config\\projectmap.kconf.gz");   // ".gz" in any case: through zlib
//   if (file.open()) {
//     char c;
//     while (file.getChar(c)) { ... }   // file.getLine() is the line of the next byte
//   }
//
// Plain files skip carriage returns: the bytes a, CR, LF, b arrive as a, LF, b. Compressed
// files deliver every byte as it is.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace KestroCorelib {

// A plain file, opened for reading by its wide name (the narrow name in the system's file-name
// code page: the ANSI code page on Windows, Latin-1 on POSIX).
class BasicFile {
 public:
  explicit BasicFile(const std::string& name);
  BasicFile(const BasicFile&) = delete;
  BasicFile& operator=(const BasicFile&) = delete;
  // Closes the file if it is open.
  virtual ~BasicFile();

  // Plain files deliver text without carriage returns: a switch that stays on for the whole
  // process (readByte follows it too).
  static constexpr bool skipsCarriageReturns = true;

  // False when already open or the file cannot be opened; afterwards the line is 1.
  bool open();
  // As open, but only a regular file (links followed) is opened: a FIFO, device or socket is
  // refused at once. For files that somebody else may put in place.
  bool openRegular();
  // False when not open or the system reports an error (the file then stays open).
  bool close();
  // The next byte, carriage returns skipped; false at end of file, on error or when not open.
  // Defined below: the common case, a byte waiting in the buffer, costs no call.
  bool getChar(char& byte);
  // Appends the bytes before the next carriage return, line feed or byte for which
  // stop(byte) holds, as far as they are already in the buffer, and leaves that byte unread:
  // what getChar would deliver, a run at a time. Defined below.
  template <typename Stop> void appendUntil(std::string& text, Stop stop);
  // Passes over the buffered bytes for which skip(byte) holds, the same way.
  template <typename Skip> void skipWhile(Skip skip);

  bool isOpen() const { return handle != nullptr; }
  const std::string& getFileName() const { return name; }
  const std::wstring& getWideName() const { return wideName; }
  // The line of the next byte (1 after opening; a line feed read moves it on).
  std::uint64_t getLine() const { return line; }
  // The line before the last read.
  std::uint64_t getPreviousLine() const { return previousLine; }

 private:
  // Refills the buffer and delivers its first byte that is no carriage return.
  bool getCharFromNewBuffer(char& byte);
  // Takes over an opened stream (or fails for null).
  bool attach(std::FILE* stream);

  // The file is read a block at a time into a buffer of our own rather than through
  // readByte: the stream is only ever read, by this object alone, so it needs neither the
  // direction bookkeeping nor a lock per byte (a large map is read at several hundred MB/s,
  // not 60).
  static constexpr std::size_t bufferSize = 64 * 1024;

  std::FILE* handle = nullptr;
  // bufferSize bytes while open, and one more: a line feed after the bytes read, so that a
  // run need not test for the end of the buffer at every byte.
  std::unique_ptr<char[]> buffer;
  const char* next = nullptr;  // the next unread byte of the buffer
  const char* end = nullptr;   // one past the last byte read into the buffer
  bool atEnd = false;          // end of file or a read error seen: neither is read past
  std::string name;
  std::wstring wideName;
  std::uint64_t line = 0;
  std::uint64_t previousLine = 0;
  std::int32_t state = 0;
};

inline bool BasicFile::getChar(char& byte) {
  // When closed, next == end and both line counters are 0, so nothing changes here.
  previousLine = line;
  while (next != end) {
    const char c = *next++;
    if (c == '\r' && skipsCarriageReturns) continue;
    byte = c;
    if (c == '\n') ++line;
    return true;
  }
  return getCharFromNewBuffer(byte);
}

template <typename Stop> void BasicFile::appendUntil(std::string& text, Stop stop) {
  if (next == end) return;
  // A line feed stands after the buffered bytes: the run ends there at the latest.
  const char* run = next;
  while (*run != '\r' && *run != '\n' && !stop(*run)) ++run;
  if (run != next) {
    previousLine = line;
    text.append(next, static_cast<std::size_t>(run - next));
    next = run;
  }
}

template <typename Skip> void BasicFile::skipWhile(Skip skip) {
  if (next == end) return;
  const char* run = next;
  while (skip(*run) && *run != '\r' && *run != '\n') ++run;
  if (run != next) {
    previousLine = line;
    next = run;
  }
}

// A gzip-compressed file read through zlib (a file that is not gzip data passes unchanged).
class ZFile {
 public:
  explicit ZFile(const std::string& name);
  ZFile(const ZFile&) = delete;
  ZFile& operator=(const ZFile&) = delete;
  // Closes the file if it is open.
  virtual ~ZFile();

  bool open();
  // As open, but only a regular file (links followed) is opened.
  bool openRegular();
  bool close();
  // The next byte, carriage returns included.
  bool getChar(char& byte);

  bool isOpen() const { return handle != nullptr; }
  const std::string& getFileName() const { return name; }
  const std::wstring& getWideName() const { return wideName; }
  std::uint64_t getLine() const { return line; }
  std::uint64_t getPreviousLine() const { return previousLine; }
  // Bytes delivered since opening.
  std::uint64_t getCount() const { return count; }

 private:
  bool attach(void* stream);

  void* handle = nullptr;  // zlib's gzFile, kept opaque so that users need no zlib header
  std::string name;
  std::wstring wideName;
  std::uint64_t line = 0;
  std::uint64_t previousLine = 0;
  std::uint64_t count = 0;
  std::int32_t state = 0;
};

// Chooses BasicFile or ZFile by the text after the last '.' of the name ("gz" in any case
// means compressed; directory parts are not treated specially).
class File {
 public:
  enum Kind : int { Plain = 1, Compressed = 2 };

  // Decides the kind and makes the reader; nothing is opened yet.
  explicit File(const std::string& name);
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  // Closes the file if it is open.
  virtual ~File();

  // Opens for reading; false when already open or the file cannot be opened.
  bool open();
  // Opens only a regular file (links followed); a FIFO, device or socket is refused without
  // waiting. open() reads those too, pipes included.
  bool openRegular();
  bool close();
  // The next byte; false at end of file, on a read error or when not open.
  bool getChar(char& byte) {
    if (plain) return plain->getChar(byte);
    if (compressed) return compressed->getChar(byte);
    return false;
  }
  // BasicFile::appendUntil and skipWhile for a plain file; for a compressed one they do
  // nothing (getChar delivers the same bytes).
  template <typename Stop> void appendUntil(std::string& text, Stop stop) {
    if (plain) plain->appendUntil(text, stop);
  }
  template <typename Skip> void skipWhile(Skip skip) {
    if (plain) plain->skipWhile(skip);
  }
  // The line of the next byte (1 after opening).
  std::uint64_t getLine() const;
  // The name as given to the constructor.
  std::string getFileName() const;
  int getKind() const { return kind; }

  // The kind a name gets.
  static int kindOf(const std::string& name);

 private:
  std::unique_ptr<BasicFile> plain;
  std::unique_ptr<ZFile> compressed;
  int kind = Plain;
};

// A stream opened with mode "rb", or null for an empty name or a failure.
std::FILE* openForReading(const std::wstring& name);
// As openForReading, but only a regular file (links followed) is opened: null for a FIFO,
// device, socket or directory, without waiting for a writer. For files somebody else may put
// in place.
std::FILE* openRegularForReading(const std::string& name);
// A stream opened with mode "wb" (created or truncated), or null for an empty name or a failure.
std::FILE* openForWriting(const std::string& name);
// The next byte of the stream, carriage returns skipped; false at end of file, on an error or
// for a null stream. Works after writes to the same stream.
bool readByte(std::FILE* stream, char& byte);
// Writes one byte; false on an error or for a null stream. Works after reads of the stream.
bool writeByte(std::FILE* stream, char byte);
// Creates or truncates the file and writes the text's bytes unchanged; true when every byte
// was written and the file closed cleanly.
bool writeFile(const std::string& text, const std::string& name);

}  // namespace KestroCorelib
