// The ID files of a log/temp read back and pruned, with what a shared directory collects:
// links, directories, FIFOs, foreign names, unreadable and malformed files.
#include <gtest/gtest.h>
#ifndef _WIN32
#  include <sys/stat.h>
#  include <sys/time.h>
#  include <unistd.h>
#endif

#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "Registrations.h"
#include "TestSupport.h"
#include "adminplatform/PlatformAdmin.h"

using Kestro::Registrations;
using namespace testsupport;

namespace {

const int64_t kDay = 86400;

class IdFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    // The unprivileged user must reach log/temp.
    for (const std::string& dir : {inst.root, inst.root + "/install", inst.root + "/install/log"}) {
      chmod(dir.c_str(), 0755);
    }
    chmod(temp.c_str(), 0777);
  }
  // A file in log/temp last written `age` seconds ago.
  void plant(const std::string& name, const std::string& content, int64_t age = 0,
             mode_t mode = 0644) {
    writeFile(temp + "/" + name, content, mode);
    setAge(temp + "/" + name, age);
  }
  static void setAge(const std::string& path, int64_t age) {
    const timeval times[2] = {{static_cast<time_t>(std::time(nullptr) - age), 0},
                              {static_cast<time_t>(std::time(nullptr) - age), 0}};
    lutimes(path.c_str(), times);
  }
  bool exists(const std::string& name) const {
    struct stat status {};
    return lstat((temp + "/" + name).c_str(), &status) == 0;
  }

  Installation inst;
  const std::string temp = inst.temp();
};

}  // namespace

TEST(Registrations, NamesOfIdFiles) {
  struct Case {
    const char* name;
    bool matches;
    const char* user;
    const char* session;
  } cases[] = {
      {"project_id-alice-3.idval", true, "alice", "3"},
      {"project_id-jean-luc-12.idval", true, "jean-luc", "12"},  // the last '-' separates
      {"project_id-alice-.idval", true, "alice", ""},            // no session number
      {"project_id--3.idval", false, "", ""},                    // no user
      {"project_id-alice-x.idval", false, "", ""},
      {"project_id-alice.idval", false, "", ""},
      {"project_id-alice-3.idval.5f3a9c0e1b2d4f6a", false, "", ""},  // a save in progress
      {"Project_id-alice-3.idval", false, "", ""},
      {"project_id-alice-3.IDVAL", false, "", ""},
      {"project_id-.idval", false, "", ""},
  };
  for (const Case& c : cases) {
    std::string user, session;
    EXPECT_EQ(Registrations::parseName(c.name, user, session), c.matches) << c.name;
    if (!c.matches) continue;
    EXPECT_EQ(user, c.user) << c.name;
    EXPECT_EQ(session, c.session) << c.name;
  }
}

TEST_F(IdFiles, WhoListsEveryIdFileNewestFirstAndSaysWhatIsWrong) {
  plant("project_id-bob-2.idval", "time=3800000000000\nproject=linker");
  plant("project_id-alice-1.idval", "time=3900000000000\nproject=compiler");
  plant("project_id-carol-.idval", "time=3700000000000\nproject=");
  plant("project_id-dave-4.idval", "project=x");
  plant("project_id-erin-5.idval", "time=12a\nproject=x");
  plant("project_id-fred-6.idval", "time=1\nproject=x\nmore");
  plant("project_id-gina-7.idval", "time=1\nproject=x\n" + std::string(70000, 'x'));
  plant("project_id-hank-8.idval", "time=1\nproject=secret", 0, 0000);
  plant("notes.txt", "time=1\nproject=foreign");
  plant("project_id-ivan-9.idval.0123456789abcdef", "time=1\nproject=half");
  writeFile(inst.root + "/outside", "time=4000000000000\nproject=outside");
  symlink((inst.root + "/outside").c_str(), (temp + "/project_id-jack-10.idval").c_str());
  mkdir((temp + "/project_id-kate-11.idval").c_str(), 0755);
  mkfifo((temp + "/project_id-liam-12.idval").c_str(), 0666);  // must not block the reader

  // Read as an ordinary user: root may read anything.
  const std::string read = runUnprivileged([&] {
    std::vector<Registrations::Entry> entries;
    std::string error;
    if (!Registrations::read(temp, "", entries, error)) return "read failed: " + error;
    std::string lines;
    for (const Registrations::Entry& e : entries) {
      lines += e.fileName + " | " + e.user + " | " + e.session + " | " + e.project + " | " +
               std::to_string(e.time) + " | " + e.problem + "\n";
    }
    return lines;
  });
  std::vector<std::string> got;
  for (size_t at = 0, end; (end = read.find('\n', at)) != std::string::npos; at = end + 1)
    got.push_back(read.substr(at, end - at));
  EXPECT_EQ(got, (std::vector<std::string>{
                     "project_id-alice-1.idval | alice | 1 | compiler | 3900000000000 | ",
                     "project_id-bob-2.idval | bob | 2 | linker | 3800000000000 | ",
                     "project_id-carol-.idval | carol |  |  | 3700000000000 | ",
                     "project_id-dave-4.idval | dave | 4 |  | 0 | malformed: no \"time=\" line",
                     "project_id-erin-5.idval | erin | 5 |  | 0 | malformed: time \"12a\" is no "
                     "millisecond count",
                     "project_id-fred-6.idval | fred | 6 |  | 0 | malformed: text after "
                     "the project",
                     "project_id-gina-7.idval | gina | 7 |  | 0 | malformed: larger than an ID "
                     "file can be",
                     "project_id-hank-8.idval | hank | 8 |  | 0 | unreadable: Permission denied",
                     "project_id-jack-10.idval | jack | 10 |  | 0 | a symbolic link, not followed",
                     "project_id-kate-11.idval | kate | 11 |  | 0 | a directory",
                     "project_id-liam-12.idval | liam | 12 |  | 0 | not a regular file",
                 }))
      << read;

  std::vector<Registrations::Entry> entries;
  std::string error;
  ASSERT_TRUE(Registrations::read(temp, "bob", entries, error));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].project, "linker");

  EXPECT_FALSE(Registrations::read(temp + "/missing", "", entries, error));
  EXPECT_EQ(error, "No such file or directory");
}

TEST_F(IdFiles, PruneRemovesOnlyOldRegularIdFiles) {
  plant("project_id-old-1.idval", "time=1\nproject=a", 10 * kDay);
  plant("project_id-old-2.idval", "malformed", 10 * kDay);  // old is old, whatever it holds
  plant("project_id-new-3.idval", "time=1\nproject=a", 2 * kDay);
  plant("old-notes.txt", "x", 10 * kDay);
  plant("project_id-old-4.idval.0123456789abcdef", "x", 10 * kDay);
  writeFile(inst.root + "/target", "keep");
  setAge(inst.root + "/target", 10 * kDay);
  symlink((inst.root + "/target").c_str(), (temp + "/project_id-link-5.idval").c_str());
  setAge(temp + "/project_id-link-5.idval", 10 * kDay);
  mkdir((temp + "/project_id-dir-6.idval").c_str(), 0755);
  setAge(temp + "/project_id-dir-6.idval", 10 * kDay);

  const auto summary = [](const std::vector<Registrations::Action>& actions) {
    std::vector<std::string> lines;
    for (const Registrations::Action& a : actions) {
      lines.push_back(std::to_string(a.kind) + " " + a.fileName + " " + a.reason);
    }
    return lines;
  };
  std::vector<Registrations::Action> actions;
  std::string error;
  ASSERT_TRUE(Registrations::prune(temp, 7, true, actions, error));
  EXPECT_EQ(summary(actions), (std::vector<std::string>{
                                  "2 project_id-dir-6.idval a directory",
                                  "2 project_id-link-5.idval a symbolic link, not followed",
                                  "1 project_id-old-1.idval ",
                                  "1 project_id-old-2.idval ",
                              }));
  EXPECT_TRUE(exists("project_id-old-1.idval"));  // a dry run removes nothing

  actions.clear();
  ASSERT_TRUE(Registrations::prune(temp, 7, false, actions, error));
  EXPECT_EQ(summary(actions), (std::vector<std::string>{
                                  "2 project_id-dir-6.idval a directory",
                                  "2 project_id-link-5.idval a symbolic link, not followed",
                                  "0 project_id-old-1.idval ",
                                  "0 project_id-old-2.idval ",
                              }));
  for (const char* gone : {"project_id-old-1.idval", "project_id-old-2.idval"}) {
    EXPECT_FALSE(exists(gone)) << gone;
  }
  for (const char* kept : {"project_id-new-3.idval", "old-notes.txt", "project_id-link-5.idval",
                           "project_id-dir-6.idval", "project_id-old-4.idval.0123456789abcdef"}) {
    EXPECT_TRUE(exists(kept)) << kept;
  }
  EXPECT_EQ(readFile(inst.root + "/target"), "keep");

  // 0 days: everything not written in this second; the new file goes too.
  actions.clear();
  setAge(temp + "/project_id-new-3.idval", 1);
  ASSERT_TRUE(Registrations::prune(temp, 0, false, actions, error));
  EXPECT_FALSE(exists("project_id-new-3.idval"));
}

// In the sticky shared directory a user may not remove somebody else's file: each such file
// is reported and the others are still removed.
TEST_F(IdFiles, PruneWithoutTheRightToRemoveGoesOn) {
  plant("project_id-a-1.idval", "time=1\nproject=a", 10 * kDay);
  plant("project_id-b-2.idval", "time=1\nproject=b", 10 * kDay);
  const bool root = geteuid() == 0;
  // As nobody the sticky bit refuses root's files; as another user a read-only directory.
  chmod(temp.c_str(), root ? 01777 : 0555);
  const std::string got = runUnprivileged([&] {
    std::vector<Registrations::Action> actions;
    std::string error;
    if (!Registrations::prune(temp, 7, false, actions, error)) return "prune failed: " + error;
    std::string lines;
    for (const Registrations::Action& a : actions) {
      lines += a.fileName + (a.kind == Registrations::Action::Failed ? " failed: " : " other: ") +
               a.reason + "\n";
    }
    return lines;
  });
  chmod(temp.c_str(), 0755);
  const std::string reason = root ? "Operation not permitted" : "Permission denied";
  EXPECT_EQ(got, "project_id-a-1.idval failed: " + reason +
                     "\nproject_id-b-2.idval failed: " + reason + "\n");
  EXPECT_TRUE(exists("project_id-a-1.idval"));
  EXPECT_TRUE(exists("project_id-b-2.idval"));
}

TEST(Registrations, TimesInLocalTime) {
  // 2015-01-01T12:34:56.789 UTC in a zone fixed at +02:00.
  const ScopedEnv zone("KESTRO_TZ", "+02:00");
  EXPECT_EQ(Registrations::localTime(3629145600000 + 45296789), "2015-01-01 14:34:56 +02:00");
  EXPECT_EQ(Registrations::fromPosixSeconds(1420070400), 3629145600000);  // 2015-01-01 UTC
}

// What the directory listing said may be stale by the time of the removal: the name is looked
// at again right before it goes.
TEST_F(IdFiles, RemovalLooksAgainFirst) {
  using Kestro::platform::RemoveResult;
  plant("project_id-a-1.idval", "time=1\nproject=a", 0);
  std::string reason;
  const int64_t weekAgo = std::time(nullptr) - 7 * kDay;
  EXPECT_EQ(Kestro::platform::removeRegularFile(temp, "project_id-a-1.idval", weekAgo, reason),
            RemoveResult::Kept);
  EXPECT_TRUE(exists("project_id-a-1.idval"));
  symlink("project_id-a-1.idval", (temp + "/project_id-b-2.idval").c_str());
  EXPECT_EQ(Kestro::platform::removeRegularFile(temp, "project_id-b-2.idval", weekAgo, reason),
            RemoveResult::Refused);
  EXPECT_EQ(reason, "a symbolic link, not followed");
  EXPECT_EQ(Kestro::platform::removeRegularFile(temp, "project_id-c-3.idval", weekAgo, reason),
            RemoveResult::Failed);
  EXPECT_EQ(reason, "No such file or directory");
  EXPECT_EQ(
      Kestro::platform::removeRegularFile(temp, "project_id-a-1.idval", std::time(nullptr), reason),
      RemoveResult::Removed);
  EXPECT_FALSE(exists("project_id-a-1.idval"));
}

TEST_F(IdFiles, DirectoryListedAsItStands) {
  using Kestro::platform::DirectoryEntry;
  plant("file", "x", 3 * kDay);
  symlink("file", (temp + "/link").c_str());
  mkdir((temp + "/dir").c_str(), 0755);
  mkfifo((temp + "/fifo").c_str(), 0666);
  std::vector<DirectoryEntry> entries;
  std::string error;
  ASSERT_TRUE(Kestro::platform::listDirectory(temp, entries, error));
  std::map<std::string, DirectoryEntry::Kind> kinds;
  for (const DirectoryEntry& e : entries) kinds[e.name] = e.kind;
  EXPECT_EQ(kinds, (std::map<std::string, DirectoryEntry::Kind>{{"dir", DirectoryEntry::Directory},
                                                                {"fifo", DirectoryEntry::Other},
                                                                {"file", DirectoryEntry::Regular},
                                                                {"link", DirectoryEntry::Link}}));
  for (const DirectoryEntry& e : entries) {
    if (e.name == "file") {
      EXPECT_NEAR(e.modified, std::time(nullptr) - 3 * kDay, 5);
    }
  }
}
