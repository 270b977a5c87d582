#pragma once
// The project ID files in an installation's log/temp: reading them back (plavo-admin who) and
// removing old ones (plavo-admin prune).
//
// An ID file is named "project_id-" + user + "-" + session + ".idval" (session: decimal digits,
// possibly none) and holds "time=" + milliseconds + "\nproject=" + project:
//
//   Registrations::parseName("project_id-alice-3.idval", user, session)   // true, "alice", "3"
//   Registrations::parseName("project_id-alice.idval", user, session)     // false
//
// Everything else in the directory is somebody else's: it is neither read nor removed.
#include <cstdint>
#include <string>
#include <vector>

namespace Kestro {

class Registrations {
 public:
  // One name of the directory that matches the ID file pattern.
  struct Entry {
    std::string fileName;
    std::string user;
    std::string session;
    std::string project;
    int64_t time = 0;     // the file's time= value (milliseconds of DateTime), 0 if unknown
    std::string problem;  // empty for a well-formed file; otherwise why it was not read
  };

  // What prune did with one name.
  struct Action {
    enum Kind { Removed, WouldRemove, Refused, Failed };
    Kind kind = Refused;
    std::string fileName;
    std::string reason;    // why it was refused or failed
    int64_t modified = 0;  // seconds since 1970-01-01 UTC
  };

  // True when fileName follows the ID file pattern, with its user and session.
  static bool parseName(const std::string& fileName, std::string& user, std::string& session);

  // The registrations in directory, newest first; entries with a problem (not a regular
  // file, unreadable, malformed) after them by file name. With a non-empty user only that
  // user's. Raises nothing: a directory that cannot be read gives false and the reason.
  static bool read(const std::string& directory, const std::string& user,
                   std::vector<Entry>& entries, std::string& error);

  // Removes the ID files not rewritten for `days` days (only regular files; a link or
  // directory under an ID file's name is refused), or only says so when dryRun. Files that
  // cannot be removed are reported as Failed and the rest go on. Actions in file-name order.
  static bool prune(const std::string& directory, int64_t days, bool dryRun,
                    std::vector<Action>& actions, std::string& error);

  // A time in the machine's local zone: "2026-12-06 14:03:12 +01:00".
  static std::string localTime(int64_t dateTimeValue);
  // The DateTime value (1900-01-01T00:00 UTC is 86,400,000) of a POSIX time in seconds.
  static int64_t fromPosixSeconds(int64_t seconds);
};

}  // namespace Kestro
