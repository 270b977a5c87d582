#pragma once
// Operating-system doors of plavo-admin: the shared log/temp directory seen without following
// links, and the system's user database.
#include <cstdint>
#include <string>
#include <vector>

namespace Kestro::platform {

// One name in a directory, as the directory itself holds it (a link is a link).
struct DirectoryEntry {
  enum Kind { Regular, Link, Directory, Other };
  std::string name;
  Kind kind = Other;
  int64_t modified = 0;  // last change of the content: seconds since 1970-01-01 UTC
};

// The entries of directory except "." and "..", in no particular order. False with the
// system's reason in error when the directory cannot be read.
bool listDirectory(const std::string& directory, std::vector<DirectoryEntry>& entries,
                   std::string& error);

// Reads directory/name when it is still a regular file, never through a link and never
// waiting on a FIFO or device; at most maxBytes (a bigger file is refused).
enum class ReadResult { Read, NotRegular, TooLarge, Failed };
ReadResult readRegularFile(const std::string& directory, const std::string& name, size_t maxBytes,
                           std::string& content, std::string& error);

// Removes the name directory/name when it is still a regular file last written at or before
// writtenBefore (seconds since 1970-01-01 UTC): Kept when it has been rewritten since, Refused
// when it is no regular file any more, Failed with the system's reason in error. A link is
// never followed or removed.
enum class RemoveResult { Removed, Kept, Refused, Failed };
RemoveResult removeRegularFile(const std::string& directory, const std::string& name,
                               int64_t writtenBefore, std::string& error);

// Whether the system's user database knows the logon name.
bool isKnownUser(const std::string& name);

// The current time in seconds since 1970-01-01 UTC.
int64_t secondsNow();

}  // namespace Kestro::platform
