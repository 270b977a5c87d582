#include "File.h"

#include <zlib.h>

#include <mutex>
#include <new>
#include <unordered_map>

#include "StringTools.h"
#include "platform/PlatformFiles.h"
#include "platform/PlatformStreams.h"

namespace KestroCorelib {

namespace {

constexpr bool skipCarriageReturns = BasicFile::skipsCarriageReturns;

constexpr std::int32_t stateOpen = 3;

// The C runtime needs a repositioning call between a write and a following read on the same
// stream (and the other way round). The helpers take any stream, so they remember which way
// each stream went last.
class StreamDirections {
 public:
  enum Direction { Reading, Writing };

  static StreamDirections& get() {
    static StreamDirections directions;
    return directions;
  }

  // Records the direction and repositions the stream when it changes.
  void use(std::FILE* stream, Direction direction) {
    std::lock_guard<std::mutex> guard(lock);
    auto found = last.find(stream);
    if (found == last.end()) {
      last.emplace(stream, direction);
      return;
    }
    if (found->second != direction) {
      // Position unchanged; the call only satisfies the runtime (it fails harmlessly on pipes).
      std::fseek(stream, 0, SEEK_CUR);
      found->second = direction;
    }
  }

  // Called before a stream is closed, so that a later stream at the same address starts fresh.
  void forget(std::FILE* stream) {
    std::lock_guard<std::mutex> guard(lock);
    last.erase(stream);
  }

 private:
  std::mutex lock;
  std::unordered_map<std::FILE*, Direction> last;
};

int closeStream(std::FILE* stream) {
  StreamDirections::get().forget(stream);
  return std::fclose(stream);
}

}  // namespace

// ---- Byte helpers ---------------------------------------------------------------------------

std::FILE* openForReading(const std::wstring& name) {
  if (name.empty()) return nullptr;
  return platform::openStream(name, "rb");
}

std::FILE* openRegularForReading(const std::string& name) {
  if (name.empty()) return nullptr;
  const int descriptor = platform::openRegularFile(name);
  return descriptor < 0 ? nullptr : platform::streamFromDescriptor(descriptor);
}

std::FILE* openForWriting(const std::string& name) {
  if (name.empty()) return nullptr;
  return platform::openStream(name, "wb");
}

bool readByte(std::FILE* stream, char& byte) {
  if (stream == nullptr) return false;
  for (;;) {
    if (std::feof(stream) || std::ferror(stream)) return false;
    StreamDirections::get().use(stream, StreamDirections::Reading);
    const int c = std::fgetc(stream);
    if (c == EOF) return false;
    if (c == '\r' && skipCarriageReturns) continue;
    byte = static_cast<char>(c);
    return true;
  }
}

bool writeByte(std::FILE* stream, char byte) {
  if (stream == nullptr) return false;
  StreamDirections::get().use(stream, StreamDirections::Writing);
  return std::fputc(static_cast<unsigned char>(byte), stream) != EOF;
}

bool writeFile(const std::string& text, const std::string& name) {
  std::FILE* stream = openForWriting(name);
  if (stream == nullptr) return false;
  for (char c : text) {
    if (!writeByte(stream, c)) {
      closeStream(stream);
      return false;
    }
  }
  // The bytes sit in the stream's buffer until it is closed: a full disk shows only here.
  return closeStream(stream) == 0;
}

// ---- BasicFile ------------------------------------------------------------------------------

BasicFile::BasicFile(const std::string& fileName)
    : name(fileName), wideName(platform::wideFileName(fileName)) {}

BasicFile::~BasicFile() {
  if (handle != nullptr) close();
}

bool BasicFile::open() {
  if (handle != nullptr) return false;
  return attach(openForReading(wideName));
}

bool BasicFile::openRegular() {
  if (handle != nullptr || name.empty()) return false;
  return attach(openRegularForReading(name));
}

bool BasicFile::attach(std::FILE* stream) {
  if (stream == nullptr) return false;
  // Nothing here throws: without memory for the buffer the file cannot be opened.
  if (!buffer) buffer.reset(new (std::nothrow) char[bufferSize + 1]);
  if (!buffer) {
    std::fclose(stream);
    return false;
  }
  handle = stream;
  next = end = buffer.get();
  atEnd = false;
  line = 1;
  previousLine = 0;
  state = stateOpen;
  return true;
}

bool BasicFile::close() {
  if (handle == nullptr) return false;
  // The stream is gone after fclose whatever it reports; keeping the handle would close it a
  // second time later.
  // The stream never went through readByte or writeByte, so it has no direction record.
  const bool closed = std::fclose(handle) == 0;
  handle = nullptr;
  next = end = nullptr;
  atEnd = false;
  line = 0;
  previousLine = 0;
  state = 0;
  return closed;
}

bool BasicFile::getCharFromNewBuffer(char& byte) {
  if (handle == nullptr || atEnd) return false;
  for (;;) {
    // As with readByte, end of file and errors stay: once either is seen the file is not
    // asked again, and the bytes read before an error have all been delivered.
    const std::ptrdiff_t got = platform::readSome(handle, buffer.get(), bufferSize);
    if (got <= 0) {
      atEnd = true;
      return false;
    }
    next = buffer.get();
    end = next + got;
    buffer[static_cast<std::size_t>(got)] = '\n';  // the runs' sentinel
    while (next != end) {
      const char c = *next++;
      if (c == '\r' && skipCarriageReturns) continue;
      byte = c;
      if (c == '\n') ++line;
      return true;
    }
    // The block held only carriage returns.
  }
}

// ---- ZFile ----------------------------------------------------------------------------------

ZFile::ZFile(const std::string& fileName)
    : name(fileName), wideName(platform::wideFileName(fileName)) {}

ZFile::~ZFile() {
  if (handle != nullptr) close();
}

bool ZFile::open() {
  if (handle != nullptr) return false;
  // zlib would open a directory and then read nothing from it, as from an empty file.
  if (platform::pathKind(name) == platform::PathKind::Directory) return false;
  return attach(gzopen(platform::osPath(name).c_str(), "rb"));
}

bool ZFile::openRegular() {
  if (handle != nullptr || name.empty()) return false;
  const int descriptor = platform::openRegularFile(name);
  if (descriptor < 0) return false;
  gzFile stream = gzdopen(descriptor, "rb");
  if (stream == nullptr) platform::closeDescriptor(descriptor);
  return attach(stream);
}

bool ZFile::attach(void* stream) {
  if (stream == nullptr) return false;
  handle = stream;
  line = 1;
  previousLine = 0;
  count = 0;
  state = stateOpen;
  return true;
}

bool ZFile::close() {
  if (handle == nullptr) return false;
  // gzclose frees the stream even when it reports an error: the handle must not stay.
  const bool closed = gzclose(static_cast<gzFile>(handle)) == Z_OK;
  handle = nullptr;
  line = 0;
  previousLine = 0;
  count = 0;
  state = 0;
  return closed;
}

bool ZFile::getChar(char& byte) {
  if (handle == nullptr) return false;
  gzFile stream = static_cast<gzFile>(handle);
  previousLine = line;
  if (gzeof(stream)) return false;
  const int c = gzgetc(stream);
  if (c == -1) return false;
  ++count;
  byte = static_cast<char>(c);
  if (byte == '\n') ++line;
  return true;
}

// ---- File -----------------------------------------------------------------------------------

int File::kindOf(const std::string& fileName) {
  const std::size_t dot = fileName.rfind('.');
  if (dot == std::string::npos) return Plain;
  return StringTools::lowerCopy(fileName.substr(dot + 1)) == "gz" ? Compressed : Plain;
}

File::File(const std::string& fileName) : kind(kindOf(fileName)) {
  if (kind == Compressed) {
    compressed = std::make_unique<ZFile>(fileName);
  } else {
    plain = std::make_unique<BasicFile>(fileName);
  }
}

File::~File() {
  if (plain && plain->isOpen()) plain->close();
  if (compressed && compressed->isOpen()) compressed->close();
}

bool File::open() {
  if (plain) return plain->open();
  if (compressed) return compressed->open();
  return false;
}

bool File::openRegular() {
  if (plain) return plain->openRegular();
  if (compressed) return compressed->openRegular();
  return false;
}

bool File::close() {
  if (plain) return plain->close();
  if (compressed) return compressed->close();
  return false;
}

std::uint64_t File::getLine() const {
  if (plain) return plain->getLine();
  if (compressed) return compressed->getLine();
  return 0;
}

std::string File::getFileName() const {
  if (plain) return plain->getFileName();
  if (compressed) return compressed->getFileName();
  return std::string();
}

}  // namespace KestroCorelib
