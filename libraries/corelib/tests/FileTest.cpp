#include <gtest/gtest.h>
#include <zlib.h>
#ifndef _WIN32
#  include <sys/stat.h>
#  include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "File.h"
#include "StringTools.h"
#include "TestSupport.h"

namespace KestroCorelib {
namespace {

namespace fs = std::filesystem;

class FileTest : public ::testing::Test {
 protected:
  std::string path(const std::string& name) const { return (fs::path(dir) / name).string(); }

  void writeRaw(const std::string& name, const std::string& bytes) const {
    testsupport::writeFile(path(name), bytes);
  }

  void writeGzip(const std::string& name, const std::string& bytes) const {
    gzFile out = gzopen(path(name).c_str(), "wb");
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(gzwrite(out, bytes.data(), static_cast<unsigned>(bytes.size())),
              static_cast<int>(bytes.size()));
    ASSERT_EQ(gzclose(out), Z_OK);
  }

  std::string readRaw(const std::string& name) const {
    std::ifstream in(path(name), std::ios::binary);
    if (!in) return "<missing>";
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }

  testsupport::TempDir temp{"kestro-file"};
  std::string dir = temp.path;
};

// `size` bytes drawn from `kinds` kinds with a fixed seed: a carriage return, a line feed
// and letters from 'b' on, each kind as likely as the others.
std::string randomText(unsigned seed, std::size_t size, unsigned kinds) {
  std::string bytes;
  std::mt19937 random(seed);
  while (bytes.size() < size) {
    const unsigned pick = random() % kinds;
    bytes += pick == 0 ? '\r' : pick == 1 ? '\n' : static_cast<char>('a' + pick);
  }
  return bytes;
}

// Reads the whole file, returning the bytes; the line after each byte goes into lines.
std::string readFile(File& file, std::string* lines = nullptr) {
  std::string bytes;
  char c;
  while (file.getChar(c)) {
    bytes += c;
    if (lines != nullptr) *lines += std::to_string(file.getLine());
  }
  return bytes;
}

TEST(File, KindFollowsTheLastExtension) {
  for (const char* name : {"projectmap.kconf.gz", "PROJECTMAP.KCONF.GZ", "archive.Gz"}) {
    EXPECT_EQ(File::kindOf(name), File::Compressed) << name;
  }
  for (const char* name :
       {"projectmap.kconf", "projectmap", "dir.gz\\projectmap", "file.gzip", ""}) {
    EXPECT_EQ(File::kindOf(name), File::Plain) << name;
  }
}

TEST_F(FileTest, PlainFilesDropCarriageReturnsAndCountLines) {
  writeRaw("map.kconf", "a\r\nb\rc\n\r\n");
  File file(path("map.kconf"));
  EXPECT_EQ(file.getKind(), File::Plain);
  EXPECT_EQ(file.getFileName(), path("map.kconf"));
  char c;
  EXPECT_FALSE(file.getChar(c));  // not open yet
  ASSERT_TRUE(file.open());
  EXPECT_EQ(file.getLine(), 1u);
  std::string lines;
  EXPECT_EQ(readFile(file, &lines), "a\nbc\n\n");
  EXPECT_EQ(lines, "122234");
  EXPECT_EQ(file.getLine(), 4u);
  EXPECT_FALSE(file.getChar(c));  // stays at the end
}

// Plain files are read in blocks: carriage returns at block edges, a run of them longer than
// a block, and the line counts must come out as for a small file.
TEST_F(FileTest, LargePlainFilesReadAcrossBlocks) {
  std::string bytes = randomText(7, 300000, 8);
  bytes.insert(65535, "\r\r\n");
  bytes.insert(100000, std::string(140000, '\r'));
  bytes += "\r\r";
  std::string expected;
  std::uint64_t lineFeeds = 0;
  for (char c : bytes) {
    if (c != '\r') expected += c;
    if (c == '\n') ++lineFeeds;
  }
  writeRaw("big.kconf", bytes);

  BasicFile file(path("big.kconf"));
  ASSERT_TRUE(file.open());
  std::string got;
  std::uint64_t line = 1;
  bool linesRight = true;
  char c;
  while (file.getChar(c)) {
    got += c;
    linesRight = linesRight && file.getPreviousLine() == line;
    if (c == '\n') ++line;
    linesRight = linesRight && file.getLine() == line;
  }
  EXPECT_EQ(got.size(), expected.size());
  EXPECT_TRUE(got == expected);
  EXPECT_TRUE(linesRight);
  EXPECT_EQ(file.getLine(), lineFeeds + 1);
  EXPECT_FALSE(file.getChar(c));

  // Opened again, it starts from the beginning.
  EXPECT_TRUE(file.close());
  ASSERT_TRUE(file.open());
  ASSERT_TRUE(file.getChar(c));
  EXPECT_EQ(c, expected[0]);
  EXPECT_EQ(file.getLine(), expected[0] == '\n' ? 2u : 1u);
}

// Runs take what getChar would deliver, a piece at a time: whatever the stop, the bytes of
// the runs and of the rounds between them are the file without its carriage returns, with
// runs ending at line breaks, at stops and at the end of each block read.
TEST_F(FileTest, RunsDeliverWhatGetCharWould) {
  const std::string bytes = randomText(11, 200000, 16);
  writeRaw("runs.kconf", bytes);
  std::string expected;
  for (char c : bytes) {
    if (c != '\r') expected += c;
  }

  BasicFile file(path("runs.kconf"));
  std::string got = "x";
  file.appendUntil(got, [](char) { return false; });  // not open: nothing, and no crash
  file.skipWhile([](char) { return true; });
  EXPECT_EQ(got, "x");
  got.clear();
  ASSERT_TRUE(file.open());
  char c;
  std::size_t runs = 0;
  while (file.getChar(c)) {
    got += c;
    const std::size_t before = got.size();
    file.appendUntil(got, [c](char b) { return b == c; });  // up to the next such byte
    runs += got.size() > before ? 1 : 0;
  }
  EXPECT_TRUE(got == expected);
  EXPECT_GT(runs, 1000u);
  EXPECT_EQ(file.getLine(),
            static_cast<std::uint64_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1);
  EXPECT_TRUE(file.close());
  file.appendUntil(got, [](char) { return false; });
  EXPECT_TRUE(got == expected);
}

#ifndef _WIN32  // pipes as named files (/dev/fd) are POSIX
// Read from a pipe, a plain file delivers what has arrived instead of waiting for a whole
// block or for the writer to finish (the writer gives up after a generous wait, so a reader
// that waits shows as a failure, not a hang).
TEST_F(FileTest, PlainFilesFromAPipeDeliverWhatHasArrived) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  std::mutex lock;
  std::condition_variable changed;
  bool firstLineRead = false;
  std::string got;
  std::thread reader([&] {
    File file("/dev/fd/" + std::to_string(ends[0]));
    const bool opened = file.open();
    char c;
    while (opened && file.getChar(c)) {
      got += c;
      if (c == '\n') {
        std::lock_guard<std::mutex> guard(lock);
        firstLineRead = true;
        changed.notify_all();
      }
    }
  });
  ASSERT_EQ(write(ends[1], "ab\r\n", 4), 4);
  bool waitedInVain = false;
  {
    std::unique_lock<std::mutex> guard(lock);
    waitedInVain =
        !changed.wait_for(guard, std::chrono::seconds(30), [&] { return firstLineRead; });
  }
  EXPECT_EQ(write(ends[1], "c", 1), 1);
  close(ends[1]);
  reader.join();
  close(ends[0]);
  EXPECT_FALSE(waitedInVain);
  EXPECT_EQ(got, "ab\nc");
}
#endif

TEST_F(FileTest, CompressedFilesDeliverEveryByte) {
  const std::string bytes = std::string("a\r\nb\0\xff\n", 7);
  writeGzip("map.kconf.gz", bytes);
  writeGzip("MAP.KCONF.GZ", bytes);
  for (const char* name : {"map.kconf.gz", "MAP.KCONF.GZ"}) {
    File file(path(name));
    EXPECT_EQ(file.getKind(), File::Compressed);
    ASSERT_TRUE(file.open()) << name;
    EXPECT_EQ(file.getLine(), 1u);
    std::string lines;
    EXPECT_EQ(readFile(file, &lines), bytes) << name;
    EXPECT_EQ(lines, "1122223");
  }
  ZFile zfile(path("map.kconf.gz"));
  ASSERT_TRUE(zfile.open());
  char c;
  while (zfile.getChar(c)) {
  }
  EXPECT_EQ(zfile.getCount(), bytes.size());
  EXPECT_EQ(zfile.getLine(), 3u);
  EXPECT_TRUE(zfile.close());
  EXPECT_EQ(zfile.getCount(), 0u);
  EXPECT_FALSE(zfile.close());

  // A compressed name on plain data passes the bytes through unchanged.
  writeRaw("plain.gz", "x\r\ny");
  File plain(path("plain.gz"));
  ASSERT_TRUE(plain.open());
  EXPECT_EQ(readFile(plain), "x\r\ny");
}

TEST_F(FileTest, OpenOnceAndCloseOnce) {
  writeRaw("a.txt", "abc");
  writeGzip("b.gz", "abc");
  for (const char* name : {"a.txt", "b.gz"}) {
    File file(path(name));
    EXPECT_TRUE(file.open()) << name;
    EXPECT_FALSE(file.open()) << name;
    char c;
    EXPECT_TRUE(file.getChar(c));
    EXPECT_EQ(c, 'a');
    EXPECT_TRUE(file.close()) << name;
    EXPECT_FALSE(file.close()) << name;
    EXPECT_FALSE(file.getChar(c)) << name;
    EXPECT_EQ(file.getLine(), 0u);
  }
  // A directory is no file to read, whatever its name.
  fs::create_directory(path("dir.txt"));
  fs::create_directory(path("dir.gz"));
  for (const char* name : {"missing.txt", "missing.gz", "dir.txt", "dir.gz"}) {
    File file(path(name));
    EXPECT_FALSE(file.open()) << name;
    char c;
    EXPECT_FALSE(file.getChar(c)) << name;
  }
}

#ifndef _WIN32  // the process's open descriptors as Linux lists them
// A file left open is closed when it goes: a reader that returns early leaks nothing.
TEST_F(FileTest, FilesLeftOpenAreClosedWhenDestroyed) {
  const auto openDescriptors = [] {
    return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
  };
  writeRaw("a.txt", "abc");
  writeGzip("b.gz", "abc");
  const auto before = openDescriptors();
  {
    File file(path("a.txt"));
    ZFile zfile(path("b.gz"));
    ASSERT_TRUE(file.open());
    ASSERT_TRUE(zfile.open());
    EXPECT_EQ(openDescriptors(), before + 2);
  }
  EXPECT_EQ(openDescriptors(), before);
}
#endif

#ifndef _WIN32  // FIFOs, devices and symbolic links as POSIX has them
// openRegular takes only regular files, links followed: a FIFO is refused without waiting
// for a writer, a device is never read. open still reads both.
TEST_F(FileTest, OpenRegularRefusesFifosAndDevices) {
  writeRaw("a.txt", "a");
  writeGzip("b.gz", "b");
  ASSERT_EQ(mkfifo(path("fifo.txt").c_str(), 0644), 0);
  ASSERT_EQ(mkfifo(path("fifo.gz").c_str(), 0644), 0);
  fs::create_symlink("/dev/zero", path("zero.txt"));
  fs::create_symlink("/dev/zero", path("zero.gz"));
  fs::create_symlink(path("a.txt"), path("link.txt"));
  fs::create_directory(path("dir.txt"));
  for (const char* name : {"a.txt", "b.gz", "link.txt"}) {
    File file(path(name));
    ASSERT_TRUE(file.openRegular()) << name;
    EXPECT_FALSE(file.openRegular()) << name;  // once open, as with open
    char c = 0;
    EXPECT_TRUE(file.getChar(c));
    EXPECT_EQ(c, name[0] == 'b' ? 'b' : 'a');
  }
  for (const char* name : {"fifo.txt", "fifo.gz", "zero.txt", "zero.gz", "dir.txt", "none.txt"}) {
    File file(path(name));
    EXPECT_FALSE(file.openRegular()) << name;
  }
  File device(path("zero.txt"));
  ASSERT_TRUE(device.open());
  char c = 1;
  EXPECT_TRUE(device.getChar(c));
  EXPECT_EQ(c, '\0');
}
#endif

TEST_F(FileTest, BackslashNamesAndLatin1NamesOpen) {
  fs::create_directory(path("sub"));
  writeRaw("sub/x.txt", "1");
  writeGzip("sub/y.gz", "2");
  for (const auto& [name, content] : {std::pair{"\\sub\\x.txt", "1"}, {"\\sub\\y.gz", "2"}}) {
    File file(dir + name);
    ASSERT_TRUE(file.open()) << name;
    EXPECT_EQ(readFile(file), content);
  }

#ifdef _WIN32
  // Names are narrow text in the ANSI code page, as the runtime's narrow calls read them: the
  // plain reader (wide name) and the gzip reader (narrow name) open the file written under the
  // narrow name. 0x80 is the euro sign there and a control character in Latin-1.
  const std::string name = "caf\x80.txt";
#else
  // A byte above 127 in the name goes to the system unchanged.
  const std::string name = "caf\xe9.txt";
#endif
  writeRaw(name, "3");
  BasicFile latin(path(name));
  EXPECT_EQ(latin.getWideName().back(), L't');
#ifndef _WIN32
  EXPECT_EQ(latin.getWideName()[latin.getWideName().size() - 5], L'\xe9');
#endif
  ASSERT_TRUE(latin.open());
  char c;
  ASSERT_TRUE(latin.getChar(c));
  EXPECT_EQ(c, '3');
  EXPECT_EQ(latin.getPreviousLine(), 1u);
  writeGzip(name + ".gz", "4");
  File compressed(path(name + ".gz"));
  ASSERT_TRUE(compressed.open());
  EXPECT_EQ(readFile(compressed), "4");
}

TEST_F(FileTest, WriteFileWritesBytesUnchanged) {
  const std::string bytes = std::string("x\r\ny\0\xff\n", 7);
  EXPECT_TRUE(writeFile(bytes, path("out.idval")));
  EXPECT_EQ(readRaw("out.idval"), bytes);
  EXPECT_TRUE(writeFile("short", path("out.idval")));  // truncates
  EXPECT_EQ(readRaw("out.idval"), "short");
  EXPECT_TRUE(writeFile("", path("empty")));
  EXPECT_TRUE(fs::exists(path("empty")));
  EXPECT_EQ(fs::file_size(path("empty")), 0u);
  EXPECT_TRUE(writeFile("b", dir + "\\back.txt"));
  EXPECT_EQ(readRaw("back.txt"), "b");

  EXPECT_FALSE(writeFile("x", path("no-such-dir/out.idval")));
  EXPECT_FALSE(writeFile("x", ""));
  // The bytes stay buffered until the stream is closed: a failure then must not be reported as
  // success.
  if (fs::exists("/dev/full")) {
    EXPECT_FALSE(writeFile("lost", "/dev/full"));
  }
}

TEST_F(FileTest, ByteHelpers) {
  EXPECT_EQ(openForReading(L""), nullptr);
  EXPECT_EQ(openForWriting(""), nullptr);
  EXPECT_EQ(openForReading(StringTools::toWide(path("missing"))), nullptr);
  char c = 'q';
  EXPECT_FALSE(readByte(nullptr, c));
  EXPECT_EQ(c, 'q');
  EXPECT_FALSE(writeByte(nullptr, 'x'));

  std::FILE* out = openForWriting(path("bytes"));
  ASSERT_NE(out, nullptr);
  EXPECT_TRUE(writeByte(out, '\r'));
  EXPECT_TRUE(writeByte(out, '\n'));
  EXPECT_FALSE(readByte(out, c));  // opened for writing only
  std::fclose(out);

  std::FILE* in = openForReading(StringTools::toWide(path("bytes")));
  ASSERT_NE(in, nullptr);
  EXPECT_TRUE(readByte(in, c));
  EXPECT_EQ(c, '\n');
  EXPECT_FALSE(readByte(in, c));
  EXPECT_FALSE(readByte(in, c));
  std::fclose(in);
}

// Reads and writes may alternate on one stream without the caller repositioning it.
TEST_F(FileTest, ByteHelpersSwitchBetweenReadingAndWriting) {
  writeRaw("mixed", "abcd");
  std::FILE* stream = std::fopen(path("mixed").c_str(), "r+b");
  ASSERT_NE(stream, nullptr);
  char c;
  ASSERT_TRUE(readByte(stream, c));
  EXPECT_EQ(c, 'a');
  ASSERT_TRUE(writeByte(stream, 'X'));
  ASSERT_TRUE(readByte(stream, c));
  EXPECT_EQ(c, 'c');
  ASSERT_TRUE(writeByte(stream, 'Y'));
  EXPECT_FALSE(readByte(stream, c));
  std::fclose(stream);
  EXPECT_EQ(readRaw("mixed"), "aXcY");
}

}  // namespace
}  // namespace KestroCorelib
