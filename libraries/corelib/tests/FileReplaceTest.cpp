// Replacing a file's content through a new file renamed over it.
#include <gtest/gtest.h>

#include "FileReplace.h"

#ifndef _WIN32
#  include <fcntl.h>
#  include <sys/resource.h>
#  include <sys/stat.h>
#  include <unistd.h>

#  include <cerrno>
#  include <csignal>
#endif

#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace KestroCorelib {
namespace {
using namespace testsupport;
namespace fs = std::filesystem;

std::vector<std::string> entries(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(directory))
    names.push_back(entry.path().filename().string());
  return names;
}

TEST(FileReplace, ReplacesOrCreatesTheFileWithExactlyTheBytes) {
  TempDir dir("file-replace");
  const std::string name = (fs::path(dir.path) / "id.idval").string();
  const std::string bytes("time=1\r\nproject=\0\xE9\n", 19);
  EXPECT_TRUE(replaceFileContent(name, "first"));  // no file yet
  FileReplaceOptions durable;
  durable.durable = true;
  const FileReplaceResult result = replaceFileContent(name, bytes, durable);
  EXPECT_EQ(result.error, 0);
  EXPECT_EQ(result.path, "");
  EXPECT_EQ(readFile(name), bytes);
  EXPECT_EQ(entries(dir.path), std::vector<std::string>{"id.idval"});  // nothing left beside it
}

TEST(FileReplace, MissingDirectoryFailsAndNamesWhereTheNewFileWasToBe) {
  TempDir dir("file-replace");
  const std::string directory = (fs::path(dir.path) / "missing").string();
  const std::string name = (fs::path(directory) / "id.idval").string();
  const FileReplaceResult result = replaceFileContent(name, "x");
  EXPECT_FALSE(result);
#ifdef _WIN32
  EXPECT_EQ(result.error, 3);  // ERROR_PATH_NOT_FOUND
#else
  EXPECT_EQ(result.error, ENOENT);
#endif
  EXPECT_EQ(result.path, directory);
  EXPECT_TRUE(entries(dir.path).empty());
}

// A directory cannot be replaced by a file: it stays as it was and the new file goes again.
TEST(FileReplace, FailedRenameKeepsTheOldEntryAndRemovesTheNewFile) {
  TempDir dir("file-replace");
  const std::string name = (fs::path(dir.path) / "taken").string();
  fs::create_directory(name);
  writeFile((fs::path(name) / "inside").string(), "kept");
  const FileReplaceResult result = replaceFileContent(name, "x");
  EXPECT_FALSE(result);
  EXPECT_EQ(result.path, name);
  EXPECT_EQ(readFile((fs::path(name) / "inside").string()), "kept");
  EXPECT_EQ(entries(dir.path), std::vector<std::string>{"taken"});
}

#ifndef _WIN32
// The write itself fails (the file-size limit stops it after four bytes): the old content is
// untouched and the half-written new file is gone.
TEST(FileReplace, FailedWriteKeepsTheOldContentAndRemovesTheNewFile) {
  TempDir dir("file-replace");
  const std::string name = dir.path + "/hive.reg";
  writeFile(name, "old content");
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 4;
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  FileReplaceOptions durable;
  durable.durable = true;
  const FileReplaceResult result = replaceFileContent(name, "new content, too long", durable);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(result.error, EFBIG);
  EXPECT_EQ(result.path, name);
  EXPECT_EQ(readFile(name), "old content");
  EXPECT_EQ(entries(dir.path), std::vector<std::string>{"hive.reg"});
}

TEST(FileReplace, LinkUnderTheNameIsReplacedNotFollowed) {
  TempDir dir("file-replace");
  const std::string victim = dir.path + "/victim";
  const std::string name = dir.path + "/id";
  writeFile(victim, "precious");
  ASSERT_EQ(::symlink(victim.c_str(), name.c_str()), 0);
  EXPECT_TRUE(replaceFileContent(name, "new"));
  EXPECT_EQ(readFile(victim), "precious");
  struct stat status {};
  ASSERT_EQ(::lstat(name.c_str(), &status), 0);
  EXPECT_TRUE(S_ISREG(status.st_mode));
  EXPECT_EQ(readFile(name), "new");
}

mode_t modeOf(const std::string& path) {
  struct stat status {};
  EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
  return status.st_mode & 07777;
}

// A new file is 0644 less the umask, so never writable by others; one that replaces a given
// file takes that file's mode whatever the umask.
TEST(FileReplace, ModeIs0644LessTheUmaskOrThatOfTheReplacedFile) {
  TempDir dir("file-replace");
  const std::string name = dir.path + "/f";
  const mode_t savedMask = ::umask(0);
  EXPECT_TRUE(replaceFileContent(name, "a"));
  EXPECT_EQ(modeOf(name), 0644u);
  ::umask(077);
  EXPECT_TRUE(replaceFileContent(name, "b"));
  EXPECT_EQ(modeOf(name), 0600u);
  ASSERT_EQ(::chmod(name.c_str(), 0640), 0);
  const int like = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(like, 0);
  FileReplaceOptions options;
  options.attributesOf = like;
  EXPECT_TRUE(replaceFileContent(name, "c", options));
  ::close(like);
  ::umask(savedMask);
  EXPECT_EQ(modeOf(name), 0640u);
  EXPECT_EQ(readFile(name), "c");
}

// Run as root, the new file also takes the owner and group of the one it replaces.
TEST(FileReplace, RootKeepsOwnerOfTheReplacedFile) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file away";
  TempDir dir("file-replace");
  const std::string name = dir.path + "/hive.reg";
  writeFile(name, "old");
  const uid_t nobody = 65534;
  ASSERT_EQ(::chown(name.c_str(), nobody, nobody), 0);
  const int like = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(like, 0);
  FileReplaceOptions options;
  options.attributesOf = like;
  EXPECT_TRUE(replaceFileContent(name, "new", options));
  ::close(like);
  struct stat status {};
  ASSERT_EQ(::stat(name.c_str(), &status), 0);
  EXPECT_EQ(status.st_uid, nobody);
  EXPECT_EQ(status.st_gid, nobody);
}
#endif

}  // namespace
}  // namespace KestroCorelib
