// WARNING: only generic POSIX code belongs in this folder.
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "adminplatform/PlatformAdmin.h"

namespace Kestro::platform {

namespace {

std::string reason() { return std::strerror(errno); }

DirectoryEntry::Kind kindOf(mode_t mode) {
  if (S_ISREG(mode)) return DirectoryEntry::Regular;
  if (S_ISLNK(mode)) return DirectoryEntry::Link;
  if (S_ISDIR(mode)) return DirectoryEntry::Directory;
  return DirectoryEntry::Other;
}

// Closes a descriptor on every way out.
struct Descriptor {
  explicit Descriptor(int value) : fd(value) {}
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int fd;
};

}  // namespace

bool listDirectory(const std::string& directory, std::vector<DirectoryEntry>& entries,
                   std::string& error) {
  DIR* stream = ::opendir(directory.c_str());
  if (stream == nullptr) {
    error = reason();
    return false;
  }
  const int fd = ::dirfd(stream);
  errno = 0;
  while (const dirent* item = ::readdir(stream)) {
    const std::string name = item->d_name;
    if (name == "." || name == "..") continue;
    DirectoryEntry entry;
    entry.name = name;
    struct stat status {};
    // lstat of the name itself: a link is reported as a link, never as what it points to.
    if (::fstatat(fd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
      entry.kind = kindOf(status.st_mode);
      entry.modified = static_cast<int64_t>(status.st_mtime);
    }
    entries.push_back(entry);
    errno = 0;
  }
  const bool complete = errno == 0;
  if (!complete) error = reason();
  ::closedir(stream);
  return complete;
}

ReadResult readRegularFile(const std::string& directory, const std::string& name, size_t maxBytes,
                           std::string& content, std::string& error) {
  const Descriptor dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.fd < 0) {
    error = reason();
    return ReadResult::Failed;
  }
  // O_NOFOLLOW refuses a link, O_NONBLOCK keeps a FIFO from blocking the open; what was
  // opened is checked to be a regular file before a byte is read.
  const Descriptor file(
      ::openat(dir.fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (file.fd < 0) {
    if (errno == ELOOP) return ReadResult::NotRegular;
    error = reason();
    return ReadResult::Failed;
  }
  struct stat status {};
  if (::fstat(file.fd, &status) != 0) {
    error = reason();
    return ReadResult::Failed;
  }
  if (!S_ISREG(status.st_mode)) return ReadResult::NotRegular;
  if (static_cast<uint64_t>(status.st_size) > maxBytes) return ReadResult::TooLarge;
  content.clear();
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(file.fd, buffer, sizeof(buffer));
    if (got < 0) {
      if (errno == EINTR) continue;
      error = reason();
      return ReadResult::Failed;
    }
    if (got == 0) break;
    content.append(buffer, static_cast<size_t>(got));
    // The file may grow after the size was looked at.
    if (content.size() > maxBytes) return ReadResult::TooLarge;
  }
  return ReadResult::Read;
}

RemoveResult removeRegularFile(const std::string& directory, const std::string& name,
                               int64_t writtenBefore, std::string& error) {
  const Descriptor dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.fd < 0) {
    error = reason();
    return RemoveResult::Failed;
  }
  // Looked at again right before the removal: plavo may have rewritten the file since the
  // directory was listed (a fresh registration stays), or somebody may have put something
  // else under the name.
  struct stat status {};
  if (::fstatat(dir.fd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
    error = reason();
    return RemoveResult::Failed;
  }
  if (!S_ISREG(status.st_mode)) {
    error = kindOf(status.st_mode) == DirectoryEntry::Link ? "a symbolic link, not followed"
                                                           : "not a regular file";
    return RemoveResult::Refused;
  }
  if (static_cast<int64_t>(status.st_mtime) > writtenBefore) return RemoveResult::Kept;
  // unlinkat removes the name itself: should a link take the file's place after the look
  // above, the link goes, never what it points to.
  if (::unlinkat(dir.fd, name.c_str(), 0) != 0) {
    error = reason();
    return RemoveResult::Failed;
  }
  return RemoveResult::Removed;
}

bool isKnownUser(const std::string& name) {
  if (name.empty() || name.find('\0') != std::string::npos) return false;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  return ::getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
         found != nullptr;
}

int64_t secondsNow() { return static_cast<int64_t>(std::time(nullptr)); }

}  // namespace Kestro::platform
