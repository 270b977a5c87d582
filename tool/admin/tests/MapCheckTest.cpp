// The check of a project map: every warning on a map that has it and on one that has not,
// with its line; the errors plavo stops on, with plavo's texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ConfFile.h"
#include "Exception.h"
#include "Manager.h"
#include "MapCheck.h"
#include "TestSupport.h"

using Kestro::MapCheck;
using namespace testsupport;

namespace {

struct Expected {
  int64_t line;
  std::string kind;
  std::string text;
};

// A map whose projects start on line 4.
std::string mapText(const std::string& projects) {
  return "map {\n plavo {\n  projects {\n" + projects + "  }\n }\n}\n";
}

class Check : public ::testing::Test {
 protected:
  MapCheck::Result check(const std::string& text, const MapCheck::UserLookup& lookup = {}) {
    writeFile(path, text);
    return MapCheck::run(path, lookup);
  }
  void expectWarnings(const std::string& projects, const std::vector<Expected>& expected,
                      const MapCheck::UserLookup& lookup = {}) {
    const MapCheck::Result result = check(mapText(projects), lookup);
    EXPECT_EQ(result.error, "");
    std::vector<Expected> got;
    for (const MapCheck::Warning& w : result.warnings) got.push_back({w.line, w.kind, w.text});
    ASSERT_EQ(got.size(), expected.size()) << projects;
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].line, expected[i].line) << got[i].text;
      EXPECT_EQ(got[i].kind, expected[i].kind) << got[i].text;
      EXPECT_EQ(got[i].text, expected[i].text);
    }
    EXPECT_EQ(result.exitCode(), expected.empty() ? 0 : 1);
  }

  Installation inst;
  const std::string path = inst.map();
};

}  // namespace

TEST_F(Check, ProjectThatIsNoList) {
  expectWarnings("p {\n}\nq {\n type=string\n value=x\n}\n",
                 {{4, "not-a-list",
                   "project \"p\" is neither global nor a list (type=list): every user's run "
                   "of plavo fails on it"},
                  {6, "not-a-list",
                   "project \"q\" is neither global nor a list (type=list): every user's run "
                   "of plavo fails on it"}});
  expectWarnings("p {\n type=list\n a\n}\ng(global) {\n type=string\n}\n", {});
}

TEST_F(Check, UnknownFlags) {
  // The misspelt flag leaves an ordinary project without a list.
  expectWarnings(
      "docs(globl) {\n}\np {\n type=list\n bob(defualt,default)\n amy(global)\n}\n",
      {{4, "unknown-flag", "flag \"globl\" of project \"docs\" is ignored"},
       {4, "not-a-list",
        "project \"docs\" is neither global nor a list (type=list): every user's run "
        "of plavo fails on it"},
       {8, "unknown-flag", "flag \"defualt\" of user \"bob\" in project \"p\" is ignored"},
       {9, "unknown-flag", "flag \"global\" of user \"amy\" in project \"p\" is ignored"}});
  expectWarnings("docs(Global) {\n}\np(DEFAULT) {\n type=list\n bob(Default)\n}\n", {});
}

TEST_F(Check, UserMarkedDefaultInTwoProjects) {
  const std::string twice =
      "a {\n type=list\n bob(default)\n}\nb {\n type=list\n amy\n bob(default)\n}\n"
      "c {\n type=list\n bob(default)\n}\n";
  expectWarnings(twice, {{11, "default-twice",
                          "user \"bob\" is marked default in project \"b\" too; only the first, "
                          "\"a\" (line 6), counts"},
                         {15, "default-twice",
                          "user \"bob\" is marked default in project \"c\" too; only the first, "
                          "\"a\" (line 6), counts"}});
  // The project the warning names is the default plavo registers for bob.
  writeFile(path, mapText(twice));
  Kestro::Manager manager;
  EXPECT_EQ(Kestro::Manager::eligibilityOf(
                *Kestro::Manager::findProjects(manager.loadMap(path), path), "bob")
                .defaultProject,
            "a");
  // A mark on a second entry of the user never counts, so b's mark is the only one.
  expectWarnings("a {\n type=list\n bob\n bob(default)\n}\nb {\n type=list\n bob(default)\n}\n",
                 {{7, "listed-twice",
                   "user \"bob\" is listed twice in project \"a\"; only the first entry (line 6) "
                   "counts"}});
  expectWarnings("a {\n type=list\n bob(default)\n}\nb {\n type=list\n bob\n amy(default)\n}\n",
                 {});
}

TEST_F(Check, TwoGlobalDefaults) {
  expectWarnings("a(global,default) {\n}\nb(global) {\n}\nc(default,global) {\n}\n",
                 {{4, "global-default-twice",
                   "global project \"a\" is marked default, but the last global default, \"c\" "
                   "(line 8), counts"}});
  expectWarnings("a(global,default) {\n}\nb {\n type=list\n bob(default)\n}\n", {});
}

TEST_F(Check, UserListedTwice) {
  expectWarnings("p {\n type=list\n bob\n amy\n bob\n}\n",
                 {{8, "listed-twice",
                   "user \"bob\" is listed twice in project \"p\"; only the first entry (line 6) "
                   "counts"}});
  expectWarnings("p {\n type=list\n bob\n bobby\n}\nq {\n type=list\n bob\n}\n", {});
}

TEST_F(Check, ElementsOfAGlobalProject) {
  expectWarnings("g(global) {\n type=list\n\n bob\n}\n",
                 {{7, "global-elements",
                   "the users listed in global project \"g\" are ignored: everybody may work on "
                   "it"}});
  expectWarnings("g(global) {\n type=list\n}\nh(global) {\n}\n", {});
}

TEST_F(Check, NamesTheWindowOrTheIdFileCannotTake) {
  expectWarnings(
      "a*b(global) {\n}\nre?(global) {\n}\n(global) {\n}\nc\x01(global) {\n}\n"
      "p {\n type=list\n dom\\bob\n \"x:y\"\n ok\n}\n"
      "q {\n type=list\n separator=,\n amy,,\x02z\n}\n",
      {{4, "bad-name",
        "project name \"a*b\" holds '*' or '?', which the selection window's filter "
        "reads as wildcards"},
       {6, "bad-name",
        "project name \"re?\" holds '*' or '?', which the selection window's filter "
        "reads as wildcards"},
       {8, "bad-name", "the project name is empty"},
       {10, "bad-name", "project name \"c\x01\" holds a control character"},
       {14, "bad-name",
        "user name \"dom\\bob\" holds a character that a file name cannot hold (one "
        "of / \\ : * ? \" < > |)"},
       {15, "bad-name",
        "user name \"x:y\" holds a character that a file name cannot hold (one of / "
        "\\ : * ? \" < > |)"},
       {21, "bad-name", "a user name is empty"},
       {21, "bad-name", "user name \"\x02z\" holds a control character"}});
  // A blank is no control character (quotes keep it), bytes above 127 are letters.
  expectWarnings(
      "a-b.c(global) {\n}\np {\n type=list\n jean-luc.o\n \"\xc3\xa9mile\"\n \"John Smith\"\n}\n",
      {});
}

TEST_F(Check, UsersUnknownToTheSystem) {
  const std::string projects = "p {\n type=list\n amy\n bob\n}\nq {\n type=list\n bob\n}\n";
  const auto onlyAmy = [](const std::string& name) { return name == "amy"; };
  expectWarnings(projects, {{7, "unknown-user", "user \"bob\" is not known to the system"}},
                 onlyAmy);
  expectWarnings(projects, {});  // asked only with a lookup
  expectWarnings(projects, {}, [](const std::string&) { return true; });
}

// Lines are those of the file even where the grammar folds lines: names across line breaks,
// quoted elements holding line breaks, separators, attributes and other nodes' lists.
TEST_F(Check, LinesFollowTheFileFormat) {
  const MapCheck::Result result = check(
      "map {\n"               // 1
      " other {\n"            // 2
      "  type=list\n"         // 3
      "  \"{not a node}\"\n"  // 4
      "  x\n"                 // 5
      " }\n"                  // 6
      " plavo {\n"            // 7
      "  gui {\n"             // 8
      "   title {\n"          // 9
      "    value=a { b\n"     // 10
      "   }\n"                // 11
      "  }\n"                 // 12
      "  projects {\n"        // 13
      "   long\n"             // 14
      "   name {\n"           // 15
      "    type=list\n"       // 16
      "    \"two\n"           // 17
      "lines\"\n"             // 18
      "    amy\n"             // 19
      "    sub {\n"           // 20
      "     type=list\n"      // 21
      "     amy\n"            // 22
      "    }\n"               // 23
      "    amy\n"             // 24
      "   }\n"                // 25
      "   p {\n"              // 26
      "    separator=;\n"     // 27
      "    type=list\n"       // 28
      "    amy;bob(x);\n"     // 29
      "    amy\n"             // 30
      "   }\n"                // 31
      "  }\n"                 // 32
      " }\n"                  // 33
      "}\n");
  ASSERT_EQ(result.error, "");
  std::vector<std::string> got;
  for (const MapCheck::Warning& w : result.warnings)
    got.push_back(std::to_string(w.line) + " " + w.kind);
  // The quoted element keeps its line break, a control character in a user's name.
  EXPECT_EQ(got, (std::vector<std::string>{"17 bad-name", "24 listed-twice", "29 unknown-flag",
                                           "30 listed-twice"}));
}

TEST_F(Check, ErrorsArePlavosOwn) {
  // Each map makes plavo's reading fail; the check reports the same text.
  const std::string cases[] = {
      "map {\n plavo {\n  projects {\n   a {\n    type=lst\n",
      "map {\n plavo {\n  gui {\n  }\n }\n}\n",
      "map {\n plavo {\n  gui {\n   logo {\n    value=x.gif\n   }\n  }\n  projects {\n  }\n }\n}\n",
      "map {\n plavo {\n  projects {\n   a {\n   }\n   a {\n   }\n",
  };
  for (const std::string& text : cases) {
    const MapCheck::Result result = check(text);
    Kestro::Manager manager;
    manager.init(inst.temp(), inst.conf());
    try {
      manager.readMap(path);
      ADD_FAILURE() << "plavo reads " << text;
    } catch (const KestroCorelib::Exception& e) {
      EXPECT_EQ(result.error, e.getText(true));
    }
    EXPECT_TRUE(result.warnings.empty());
    EXPECT_EQ(result.exitCode(), 2);
  }
  const MapCheck::Result missing = MapCheck::run(inst.root + "/none.kconf", {});
  EXPECT_EQ(missing.error, "ERROR: Map file \"" + inst.root +
                               "/none.kconf\" does not exist or is not a regular file");
  EXPECT_EQ(MapCheck::run(inst.root, {}).exitCode(), 2);  // a directory
}
