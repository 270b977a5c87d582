#include "Registrations.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "DateTime.h"
#include "TimeZone.h"
#include "adminplatform/PlatformAdmin.h"

namespace Kestro {

namespace {

const std::string kPrefix = "project_id-";
const std::string kSuffix = ".idval";
// An ID file holds a few dozen bytes; anything much bigger is not one and is not read.
const size_t kMaxIdFileSize = 64 * 1024;
// 1970-01-01 is day 25,568 of the DateTime calendar (day 1 is 1900-01-01).
const int64_t kPosixEpoch = 25568 * KestroCorelib::DateTime::msPerDay;
const int64_t kSecondsPerDay = 86400;

bool allDigits(const std::string& text) {
  return text.find_first_not_of("0123456789") == std::string::npos;
}

// "time=<digits>\nproject=<name>": the content plavo writes. Why it is not, or "".
std::string parseContent(const std::string& content, Registrations::Entry& entry) {
  const size_t lineEnd = content.find('\n');
  if (content.compare(0, 5, "time=") != 0 || lineEnd == std::string::npos) {
    return "malformed: no \"time=\" line";
  }
  const std::string digits = content.substr(5, lineEnd - 5);
  if (digits.empty() || !allDigits(digits) || digits.size() > 18) {
    return "malformed: time \"" + digits + "\" is no millisecond count";
  }
  if (content.compare(lineEnd + 1, 8, "project=") != 0) return "malformed: no \"project=\" line";
  std::string project = content.substr(lineEnd + 9);
  if (project.find('\n') != std::string::npos) return "malformed: text after the project";
  entry.project = std::move(project);
  entry.time = std::stoll(digits);
  return "";
}

const char* kindText(platform::DirectoryEntry::Kind kind) {
  switch (kind) {
  case platform::DirectoryEntry::Link:
    return "a symbolic link, not followed";
  case platform::DirectoryEntry::Directory:
    return "a directory";
  default:
    return "not a regular file";
  }
}

}  // namespace

bool Registrations::parseName(const std::string& fileName, std::string& user,
                              std::string& session) {
  if (fileName.size() <= kPrefix.size() + kSuffix.size() ||
      fileName.compare(0, kPrefix.size(), kPrefix) != 0 ||
      fileName.compare(fileName.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0) {
    return false;
  }
  const std::string middle =
      fileName.substr(kPrefix.size(), fileName.size() - kPrefix.size() - kSuffix.size());
  // The user's name may hold '-', the session number cannot: the last '-' separates them.
  const size_t dash = middle.rfind('-');
  if (dash == std::string::npos || dash == 0 || !allDigits(middle.substr(dash + 1))) return false;
  user = middle.substr(0, dash);
  session = middle.substr(dash + 1);
  return true;
}

bool Registrations::read(const std::string& directory, const std::string& user,
                         std::vector<Entry>& entries, std::string& error) {
  std::vector<platform::DirectoryEntry> names;
  if (!platform::listDirectory(directory, names, error)) return false;
  for (const platform::DirectoryEntry& name : names) {
    Entry entry;
    if (!parseName(name.name, entry.user, entry.session)) continue;
    if (!user.empty() && entry.user != user) continue;
    entry.fileName = name.name;
    std::string content, reason;
    switch (platform::readRegularFile(directory, name.name, kMaxIdFileSize, content, reason)) {
    case platform::ReadResult::Read:
      entry.problem = parseContent(content, entry);
      break;
    case platform::ReadResult::NotRegular:
      entry.problem =
          kindText(name.kind == platform::DirectoryEntry::Regular ? platform::DirectoryEntry::Other
                                                                  : name.kind);
      break;
    case platform::ReadResult::TooLarge:
      entry.problem = "malformed: larger than an ID file can be";
      break;
    case platform::ReadResult::Failed:
      entry.problem = "unreadable: " + reason;
      break;
    }
    entries.push_back(std::move(entry));
  }
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    if (a.problem.empty() != b.problem.empty()) return a.problem.empty();
    if (a.problem.empty() && a.time != b.time) return a.time > b.time;
    return a.fileName < b.fileName;
  });
  return true;
}

bool Registrations::prune(const std::string& directory, int64_t days, bool dryRun,
                          std::vector<Action>& actions, std::string& error) {
  std::vector<platform::DirectoryEntry> names;
  if (!platform::listDirectory(directory, names, error)) return false;
  std::sort(names.begin(), names.end(),
            [](const platform::DirectoryEntry& a, const platform::DirectoryEntry& b) {
              return a.name < b.name;
            });
  const int64_t limit = platform::secondsNow() - days * kSecondsPerDay;
  for (const platform::DirectoryEntry& name : names) {
    std::string user, session;
    if (!parseName(name.name, user, session)) continue;
    Action action;
    action.fileName = name.name;
    action.modified = name.modified;
    if (name.kind != platform::DirectoryEntry::Regular) {
      action.kind = Action::Refused;
      action.reason = kindText(name.kind);
    } else if (name.modified > limit) {
      continue;  // rewritten recently: kept without a word
    } else if (dryRun) {
      action.kind = Action::WouldRemove;
    } else {
      switch (platform::removeRegularFile(directory, name.name, limit, action.reason)) {
      case platform::RemoveResult::Removed:
        action.kind = Action::Removed;
        break;
      case platform::RemoveResult::Kept:
        continue;  // rewritten since the directory was listed
      case platform::RemoveResult::Refused:
        action.kind = Action::Refused;
        break;
      case platform::RemoveResult::Failed:
        action.kind = Action::Failed;
        break;
      }
    }
    actions.push_back(std::move(action));
  }
  return true;
}

std::string Registrations::localTime(int64_t dateTimeValue) {
  const KestroCorelib::DateTime time(dateTimeValue);  // in the machine's local zone
  const int64_t offset = time.getZone().offsetAt(time);
  const KestroCorelib::DateTimeDetails local{KestroCorelib::DateTime(dateTimeValue + offset)};
  char text[64];
  std::snprintf(text, sizeof(text),
                "%04" PRId64 "-%02" PRId64 "-%02" PRId64 " %02" PRId64 ":%02" PRId64 ":%02" PRId64
                " ",
                local.getYear(), local.getMonth(), local.getDay(), local.getHour(),
                local.getMinute(), local.getSecond());
  return text + time.getZone().toString(time);
}

int64_t Registrations::fromPosixSeconds(int64_t seconds) { return seconds * 1000 + kPosixEpoch; }

}  // namespace Kestro
