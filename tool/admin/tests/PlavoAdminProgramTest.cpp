// The built plavo-admin run as an administrator would run it, against a throw-away
// installation: its texts, JSON and exit codes, and its answers set against plavo's own.
#include <gtest/gtest.h>

#ifndef _WIN32
#  include <unistd.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "TestSupport.h"

using namespace testsupport;
using nlohmann::json;

namespace {

std::string sourceFile(const std::string& relative) {
  const char* root = std::getenv("PLAVO_SOURCE_DIR");
  return std::string(root != nullptr ? root : ".") + "/" + relative;
}

class Admin : public ::testing::Test {
 protected:
  Admin() { inst.programName = "plavo-admin"; }
  Result admin(const std::vector<std::string>& arguments) const { return inst.run(arguments); }
  Result plavo(const std::vector<std::string>& arguments) const {
    Installation& self = const_cast<Installation&>(inst);
    self.programName = "plavo";
    Result r = inst.run(arguments);
    self.programName = "plavo-admin";
    return r;
  }

  Installation inst;
};

// A map of 40 projects for the users u0 to u7 with every feature of the rules: global
// projects with and without default, users marked default in several projects, users listed
// twice with and without default, flags in any case and unknown flags. Fixed seed.
std::string generatedMap(std::set<std::string>& users) {
  std::mt19937 random(42);
  std::string projects;
  for (int p = 0; p < 40; ++p) {
    const std::string name = "p" + std::to_string(p);
    switch (random() % 8) {
    case 0:
      projects += "   " + name + "(global) {\n   }\n";
      continue;
    case 1:
      projects += "   " + name + "(Global,DEFAULT) {\n   }\n";
      continue;
    default:
      break;
    }
    projects += "   " + name + (random() % 5 == 0 ? "(default,x)" : "") + " {\n    type=list\n";
    const int count = 1 + static_cast<int>(random() % 4);
    for (int u = 0; u < count; ++u) {
      const std::string user = "u" + std::to_string(random() % 8);
      users.insert(user);
      const char* flags[] = {"", "(default)", "(Default)", "(global)", "(x,default)"};
      projects += "    " + user + flags[random() % 5] + "\n";
    }
    projects += "   }\n";
  }
  return projects;
}

std::string replaceUser(std::string text, const std::string& user, const std::string& by) {
  // Users are u0 to u7: "u3" never stands inside another name.
  for (size_t at = text.find(user); at != std::string::npos; at = text.find(user, at + by.size())) {
    text.replace(at, user.size(), by);
  }
  return text;
}

}  // namespace

// For every user of the map: the projects and the default of "list --user" are those that
// plavo reports and registers when that user runs it (the map then names the user as the
// current one).
TEST_F(Admin, ListAgreesWithPlavoForEveryUser) {
  std::set<std::string> users;
  const std::string projects = generatedMap(users);
  users.insert("nobody-listed");
  const std::string me = currentUser();
  for (const std::string& user : users) {
    SCOPED_TRACE(user);
    inst.writeMap(projects);
    const Result listed = admin({"list", "--user", user, "--json"});
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    const json answer = json::parse(listed.out);
    EXPECT_EQ(answer["user"], user);

    inst.writeMap(replaceUser(projects, user, me));
    const Result run = plavo({"--verbose", "--set", "no such project"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::string eligible;
    for (const auto& project : answer["projects"]) {
      eligible += "   - " + project.get<std::string>() + "\n";
    }
    const std::string fallback = answer["default"];
    EXPECT_EQ(run.err,
              "ERROR: Cannot set project \"no such project\" (not eligible). Default "
              "project was set instead.\nEligible projects are:\n" +
                  eligible + "Default project: " + fallback + "\n");
    expectIdFile(inst.idFile(), fallback);
    // Without --user the answer is the current user's.
    const Result mine = admin({"list", "--json"});
    EXPECT_EQ(json::parse(mine.out)["projects"], answer["projects"]);
    EXPECT_EQ(json::parse(mine.out)["default"], answer["default"]);
  }
}

TEST_F(Admin, ListAndUsersTexts) {
  inst.writeMap(
      "   docs(global) {\n   }\n   a {\n    type=list\n    amy(default)\n    bob\n   }\n"
      "   b {\n    type=list\n    bob\n    amy\n   }\n");
  Result r = admin({"list", "--user", "amy"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "a\nb\ndocs\nDefault project: a\n");
  r = admin({"list", "-u", "carl"});
  EXPECT_EQ(r.out, "docs\nDefault project: N/A\n");

  r = admin({"users", "a"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "amy\nbob\n");
  r = admin({"users", "docs", "--json"});
  EXPECT_EQ(json::parse(r.out), json::parse(R"({"project": "docs", "global": true, "users": []})"));
  r = admin({"users", "c"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err, "ERROR: The map \"" + inst.map() + "\" has no project \"c\"\n");
  r = admin({"users", "b", "--json"});
  EXPECT_EQ(json::parse(r.out)["users"], json::parse(R"(["bob", "amy"])"));

  // JSON carries UTF-8: a name that is UTF-8 (here two-byte letters from both ends of the
  // range, and the first three-byte lead) as it is, any other name (a lone continuation byte
  // among them) read as Latin-1.
  inst.writeMap(
      "   \xc2\xb0"
      "C(global) {\n   }\n   \xdf\xbf(global) {\n   }\n   \xe0\xa4\x85(global) {\n   }\n"
      "   caf\xe9(global) {\n   }\n   \xe9t\xc3(global) {\n   }\n   x\x80(global) {\n   }\n");
  r = admin({"list", "--json"});
  EXPECT_EQ(json::parse(r.out)["projects"],
            json({"caf\xc3\xa9", "x\xc2\x80",
                  "\xc2\xb0"
                  "C",
                  "\xdf\xbf", "\xe0\xa4\x85", "\xc3\xa9t\xc3\x83"}));

  // Without a map nobody has a project, as with plavo.
  std::remove(inst.map().c_str());
  r = admin({"list", "--user", "amy"});
  EXPECT_EQ(r.out, "Default project: N/A\n");
  EXPECT_EQ(admin({"users", "a"}).exitCode, 2);
}

// The sample map is clean; the same map with one mistake of each kind gives each warning.
TEST_F(Admin, CheckOfTheSampleMap) {
  Result r = admin({"check", sourceFile("examples/config/projectmap.kconf")});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, sourceFile("examples/config/projectmap.kconf") + ": no problems found\n");

  const std::string planted = sourceFile("tool/admin/tests/data/planted.kconf");
  writeFile(inst.map(), readFile(planted));
  r = admin({"check"});  // the installation's map
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "");
  // The text form: one line per warning in line order (the texts are the check's), then the
  // count.
  const std::string m = inst.map() + ":";
  EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1),
            m + "9: warning: flag \"hidden\" of project \"handbook\" is ignored [unknown-flag]\n");
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 8);
  EXPECT_EQ(r.out.substr(r.out.rfind('\n', r.out.size() - 2) + 1), inst.map() + ": 7 warnings\n");

  // One planted mistake of each kind, each found on its line; --users adds the names the
  // system does not know.
  r = admin({"check", "--users", "--json"});
  EXPECT_EQ(r.exitCode, 1);
  const json answer = json::parse(r.out);
  EXPECT_EQ(answer["exit"], 1);
  EXPECT_TRUE(answer["error"].is_null());
  std::multimap<std::string, int> kinds;
  for (const auto& w : answer["warnings"]) kinds.emplace(w["kind"], w["line"]);
  EXPECT_EQ(kinds, (std::multimap<std::string, int>{{"bad-name", 34},
                                                    {"default-twice", 26},
                                                    {"global-default-twice", 11},
                                                    {"global-elements", 13},
                                                    {"listed-twice", 21},
                                                    {"not-a-list", 28},
                                                    {"unknown-flag", 9},
                                                    {"unknown-user", 19},
                                                    {"unknown-user", 20},
                                                    {"unknown-user", 33},
                                                    {"unknown-user", 34}}));
}

TEST_F(Admin, CheckReportsPlavosErrorsAndGuardsADeployment) {
  writeFile(inst.root + "/new.kconf", "map {\n plavo {\n  projects {\n   a {\n    type=lst\n");
  const Result r = admin({"check", inst.root + "/new.kconf"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, "Load_InvalidNodeType: Invalid node type \"lst\" in line 5 in file \"" +
                       inst.root + "/new.kconf\"\n");
  // plavo stops on the same map with the same text.
  writeFile(inst.map(), readFile(inst.root + "/new.kconf"));
  const Result run = plavo({});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(r.out, replaceUser(run.out, inst.map(), inst.root + "/new.kconf"));
  const Result asJson = admin({"check", "--json", inst.root + "/new.kconf"});
  EXPECT_EQ(asJson.exitCode, 2);
  EXPECT_EQ(json::parse(asJson.out)["error"], r.out.substr(0, r.out.size() - 1));
  const Result missing = admin({"check", inst.root + "/missing.kconf"});
  EXPECT_EQ(missing.exitCode, 2);
  EXPECT_EQ(missing.out, "ERROR: Map file \"" + inst.root +
                             "/missing.kconf\" does not exist or is not a regular file\n");
}

TEST_F(Admin, WhoAndPruneOnASharedLogTemp) {
  const std::string temp = inst.temp();
  writeFile(temp + "/project_id-amy-1.idval", "time=3900000000000\nproject=a");
  writeFile(temp + "/project_id-bob-.idval", "time=3800000000000\nproject=b");
  writeFile(temp + "/project_id-cid-3.idval", "time=x\nproject=c");
  writeFile(temp + "/readme", "not an ID file");
  symlink("/etc/passwd", (temp + "/project_id-dan-4.idval").c_str());
  const std::string zone = "KESTRO_TZ=+01:00";
  Result r = inst.run({"who"}, "", {zone});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out,
            "USER  SESSION  PROJECT  REGISTERED\n"
            "amy   1        a        2023-08-01 22:20:00 +01:00\n"
            "bob   -        b        2020-05-31 12:33:20 +01:00\n"
            "project_id-cid-3.idval: malformed: time \"x\" is no millisecond count\n"
            "project_id-dan-4.idval: a symbolic link, not followed\n");
  r = inst.run({"who", "--user", "bob", "--json"}, "", {zone});
  EXPECT_EQ(json::parse(r.out)["registrations"],
            json::parse(R"([{"file": "project_id-bob-.idval", "user": "bob", "session": "",
                "project": "b", "time": 3800000000000, "local_time": "2020-05-31 12:33:20 +01:00",
                "problem": null}])"));

  // Everything is older than 0 days; the link is refused, which the exit code says.
  r = admin({"prune", "--older-than", "0", "--dry-run"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("would remove project_id-amy-1.idval (last written "), std::string::npos);
  EXPECT_NE(r.out.find("refused project_id-dan-4.idval: a symbolic link, not followed\n"
                       "0 removed, 3 would be removed, 1 refused, 0 failed\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(entries(temp), 5);
  unlink((temp + "/project_id-dan-4.idval").c_str());
  r = admin({"prune", "--older-than", "0"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("3 removed, 0 would be removed, 0 refused, 0 failed\n"), std::string::npos);
  EXPECT_EQ(entries(temp), 1);  // the foreign file stays
  EXPECT_EQ(readFile("/etc/passwd").empty(), false);
  r = admin({"prune", "--older-than", "7"});
  EXPECT_EQ(r.out, "0 removed, 0 would be removed, 0 refused, 0 failed\n");

  // Without log/temp there is nothing to read: an error, for both commands.
  std::filesystem::remove_all(temp);
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"who"}, {"prune", "--older-than", "1"}}) {
    r = admin(command);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "ERROR: Cannot read \"" + temp + "\": No such file or directory\n");
  }
}

TEST_F(Admin, CommandLineMistakesEndWithTwo) {
  inst.writeMap("   docs(global) {\n   }\n");
  const struct {
    std::vector<std::string> arguments;
    std::string err;
  } cases[] = {
      {{}, "ERROR: No command given: check, list, users, who or prune (see --help)\n"},
      {{"lsit"}, "ERROR: Unknown command \"lsit\" (see --help)\n"},
      {{"list", "--dry-run"}, "ERROR: --dry-run does not apply to list\n"},
      {{"prune", "--json", "--older-than", "3"}, "ERROR: --json does not apply to prune\n"},
      {{"list", "extra"}, "ERROR: Unexpected argument \"extra\"\n"},
      {{"users"}, "ERROR: users needs a project name\n"},
      {{"prune"}, "ERROR: prune needs --older-than DAYS\n"},
      {{"prune", "--older-than", "-1"},
       "ERROR: --older-than needs a number of days from 0 to 1000000, not \"-1\"\n"},
      {{"list", "--user"}, "ERROR: Missing argument to 'user' option\n"},
  };
  for (const auto& c : cases) {
    const Result r = admin(c.arguments);
    EXPECT_EQ(r.exitCode, 2) << c.err;
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, "");
  }
  // Without the registry's values nothing can be found: plavo's error, exit code 2.
  const Result r = inst.run({"list"}, inst.root + "/nowhere");
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.out.find("GetLocal_NotFound"), std::string::npos) << r.out << r.err;

  Result help = admin({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_EQ(help.out.compare(0, 28, "Usage: plavo-admin [options]"), 0) << help.out;
  EXPECT_NE(help.out.find("     plavo-admin check new.kconf && mv new.kconf projectmap.kconf\n"),
            std::string::npos);
  help = admin({"--version"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_EQ(help.out, plavo({"--version"}).out);
}
