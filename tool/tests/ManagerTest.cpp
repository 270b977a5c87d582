#include "Manager.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ConfAgent.h"
#include "ConfFile.h"
#include "ConfNode.h"
#include "SystemBase.h"

using Kestro::Manager;

namespace {

using Names = std::set<std::string>;

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/manager-test-XXXXXX";
    path = mkdtemp(pattern);
  }
  ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
  std::string path;
};

std::string readAll(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeFile(const std::string& name, const std::string& text, mode_t mode = 0644) {
  std::ofstream(name, std::ios::binary) << text;
  chmod(name.c_str(), mode);
}

// The name the system information reports for this process.
std::string currentUser() {
  const passwd* entry = getpwuid(geteuid());
  return entry != nullptr ? entry->pw_name : "[unknown]";
}

std::string upperFirst(std::string text) {
  if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 32);
  return text;
}

// An installation in a temporary directory: conf/ holding the map, log/temp for the ID file.
class Installation {
 public:
  Installation() {
    mkdir((dir.path + "/conf").c_str(), 0755);
    mkdir((dir.path + "/log").c_str(), 0755);
    mkdir((dir.path + "/log/temp").c_str(), 0755);
  }
  std::string conf() const { return dir.path + "/conf"; }
  std::string temp() const { return dir.path + "/log/temp"; }
  std::string map() const { return conf() + "/projectmap.kconf"; }
  void writeMap(const std::string& projects, const std::string& gui = "") const {
    writeFile(map(), "map {\n plavo {\n" + gui + "  projects {\n" + projects + "  }\n }\n}\n");
  }
  // A manager initialised on this installation, verbose reports collected in reports.
  Manager& manager(bool verbose = false) {
    managerObject.setReporter(verbose, [this](const std::string& text, bool quiet) {
      reports.push_back(text);
      EXPECT_FALSE(quiet);
    });
    managerObject.init(temp(), conf());
    return managerObject;
  }
  TempDir dir;
  Manager managerObject;
  std::vector<std::string> reports;
};

// A list project node with the given user entries, one per line.
std::string listProject(const std::string& name, const std::vector<std::string>& users) {
  std::string text = "   " + name + " {\n    type=list\n";
  for (const std::string& u : users) text += "    " + u + "\n";
  return text + "   }\n";
}

std::string globalProject(const std::string& entry) { return "   " + entry + " {\n   }\n"; }

// "time=<digits>\nproject=" + project, nothing after.
void expectIdFile(const std::string& name, const std::string& project) {
  const std::string content = readAll(name);
  const std::string head = "time=";
  ASSERT_EQ(content.compare(0, head.size(), head), 0) << content;
  const size_t line = content.find('\n');
  ASSERT_NE(line, std::string::npos);
  const std::string digits = content.substr(head.size(), line - head.size());
  ASSERT_FALSE(digits.empty());
  EXPECT_EQ(digits.find_first_not_of("0123456789"), std::string::npos) << digits;
  EXPECT_NE(digits[0], '0');
  EXPECT_EQ(content.substr(line), "\nproject=" + project);
}

}  // namespace

TEST(Manager, EligibleSetIsSortedAndDefaultIsFirstMarkedListing) {
  Installation inst;
  const std::string me = currentUser();
  inst.writeMap(globalProject("b(global)") + listProject("a", {"x", me + "(default)"}) +
                listProject("c", {me, "y(default)"}) + listProject("d", {"x"}) +
                listProject("e", {me + "(default)"}));
  Manager& manager = inst.manager();
  manager.readMap("");
  EXPECT_EQ(manager.getEligible(), (Names{"a", "b", "c", "e"}));
  EXPECT_EQ(manager.getDefaultProject(), "a");  // e also says default, a came first
  EXPECT_EQ(manager.getTitle(), "");
  EXPECT_EQ(manager.getLogo(), "");
}

TEST(Manager, UserNamesMatchExactlyAndOnlyTheFirstMatchCounts) {
  Installation inst;
  const std::string me = currentUser();
  // The second listing of the user in a project is never looked at.
  inst.writeMap(listProject("a", {upperFirst(me) + "(default)", me + "x"}) +
                listProject("b", {me, me + "(default)"}) +
                listProject("c", {me + "(global)"}));
  Manager& manager = inst.manager();
  manager.readMap(inst.map());
  EXPECT_EQ(manager.getEligible(), (Names{"b", "c"}));
  EXPECT_EQ(manager.getDefaultProject(), "N/A");
}

TEST(Manager, LastGlobalDefaultIsTheFallback) {
  Installation inst;
  inst.writeMap(globalProject("f(GLOBAL,Default)") + listProject("h", {"nobody(default)"}) +
                globalProject("g(global,default)") + globalProject("k(global)") +
                listProject("z", {"nobody"}));
  Manager& manager = inst.manager();
  manager.readMap("");
  EXPECT_EQ(manager.getEligible(), (Names{"f", "g", "k"}));
  EXPECT_EQ(manager.getDefaultProject(), "g");
}

TEST(Manager, ParsesEntriesWithoutTrimming) {
  auto check = [](const std::string& text, const std::string& name, bool isDefault,
                  bool isGlobal) {
    const Manager::ProjectEntry entry = Manager::parseEntry(text);
    EXPECT_EQ(entry.name, name) << text;
    EXPECT_EQ(entry.isDefault, isDefault) << text;
    EXPECT_EQ(entry.isGlobal, isGlobal) << text;
  };
  check("plain", "plain", false, false);
  check("g(Global,DEFAULT)", "g", true, true);
  check("p(default, global)", "p", true, false);  // " global" keeps its blank
  check(" a b (default)", " a b ", true, false);
  check("a(,,default,,)", "a", true, false);
  check("a(default", "a", true, false);  // the closing parenthesis is optional
  check("a(global))", "a", false, false);  // only one is removed
  check("a()", "a", false, false);
  check("a(", "a", false, false);
  check("(global)", "", false, true);
  check("a(x(default)", "a", false, false);  // the piece is "x(default"
  check("", "", false, false);
}

TEST(Manager, MissingMapMeansNothingEligible) {
  Installation inst;
  Manager& manager = inst.manager();
  manager.readMap("");
  EXPECT_TRUE(manager.getEligible().empty());
  EXPECT_EQ(manager.getDefaultProject(), "N/A");
  // A directory in place of the map is not a map either.
  mkdir((inst.dir.path + "/mapdir").c_str(), 0755);
  manager.readMap(inst.dir.path + "/mapdir");
  EXPECT_TRUE(manager.getEligible().empty());
  EXPECT_EQ(manager.getTitle(), "");
}

TEST(Manager, MapWithoutProjectsIsInvalid) {
  Installation inst;
  const std::string map = inst.conf() + "/map@{2}.kconf";
  writeFile(map, "map {\n plavo {\n  project {\n  }\n }\n}\n");
  Manager& manager = inst.manager();
  try {
    manager.readMap(map);
    FAIL() << "no error";
  } catch (const Manager::InvalidMapFile& error) {
    EXPECT_EQ(error.getText(),
              "InvalidMapFile: Could not find entry \"plavo.projects\" in map file \"" + map + "\"");
  }
}

TEST(Manager, MapErrorsPassOn) {
  Installation inst;
  inst.writeMap("   a {\n    value=x\n   }\n");
  EXPECT_THROW(inst.manager().readMap(""), KestroCorelib::ConfNode::Get_WrongType);

  writeFile(inst.map(), "map {\n plavo {\n");
  Manager other;
  other.init(inst.temp(), inst.conf());
  EXPECT_THROW(other.readMap(""), KestroCorelib::ConfFile::Load_PrematureEndOfFile);
}

TEST(Manager, GuiTitleAndLogoFallBackToHeaderImages) {
  Installation inst;
  const std::string gui =
      "  gui {\n   title {\n    type=int\n    value=Pick one\n   }\n"
      "   logo {\n    type=file\n    value=" + inst.conf() + "/missing.gif\n   }\n  }\n";
  inst.writeMap(globalProject("a(global)"), gui);
  writeFile(inst.conf() + "/header_kestro.png", "png");
  Manager& manager = inst.manager();
  manager.readMap("");
  EXPECT_EQ(manager.getTitle(), "Pick one");
  EXPECT_EQ(manager.getLogo(), inst.conf() + "/header_kestro.png");

  writeFile(inst.conf() + "/header_kestro.gif", "gif");
  Manager second;
  second.init(inst.temp(), inst.conf());
  second.readGui("");
  EXPECT_EQ(second.getLogo(), inst.conf() + "/header_kestro.gif");

  // An existing logo is kept in the library's path form.
  writeFile(inst.conf() + "/logo.png", "png");
  inst.writeMap(globalProject("a(global)"),
                "  gui {\n   logo {\n    type=file\n    value=" + inst.conf() + "/logo.png\n   }\n  }\n");
  Manager third;
  third.init(inst.temp(), inst.conf());
  third.readMap("");
  std::string expected = inst.conf() + "/logo.png";
  for (char& c : expected) c = c == '/' ? '\\' : c;
  EXPECT_EQ(third.getLogo(), expected);
}

TEST(Manager, NoGuiNodeMeansNoHeaderImage) {
  Installation inst;
  inst.writeMap(globalProject("a(global)"));
  writeFile(inst.conf() + "/header_kestro.gif", "gif");
  Manager& manager = inst.manager();
  manager.readMap("");
  EXPECT_EQ(manager.getLogo(), "");
}

TEST(Manager, LogoMustBeAFileNode) {
  Installation inst;
  inst.writeMap(globalProject("a(global)"), "  gui {\n   logo {\n    value=x.gif\n   }\n  }\n");
  EXPECT_THROW(inst.manager().readMap(""), KestroCorelib::ConfNode::Get_WrongType);
}

TEST(Manager, SetsEligibleProjectAndWritesIdFile) {
  Installation inst;
  inst.writeMap(listProject("compiler", {currentUser()}) + globalProject("x(global,default)"));
  Manager& manager = inst.manager(true);
  manager.readMap("");
  EXPECT_TRUE(manager.setProject("compiler"));
  EXPECT_STREQ(std::getenv("KESTRO_PROJECT"), "compiler");
  EXPECT_EQ(manager.getIdFileName(), inst.temp() + "/project_id-" + currentUser() + "-" +
                                         manager.getSession() + ".idval");
  expectIdFile(manager.getIdFileName(), "compiler");
  EXPECT_EQ(inst.reports, std::vector<std::string>{"Set project: compiler\n"});
  // No temporary file is left beside it.
  EXPECT_EQ(std::system(("test $(ls -A '" + inst.temp() + "' | wc -l) -eq 1").c_str()), 0);
}

TEST(Manager, NotEligibleRegistersDefaultAndReportsList) {
  Installation inst;
  inst.writeMap(globalProject("b(global)") + listProject("a", {currentUser() + "(default)"}));
  Manager& manager = inst.manager(true);
  manager.readMap("");
  EXPECT_FALSE(manager.setProject("zzz"));
  EXPECT_STREQ(std::getenv("KESTRO_PROJECT"), "a");
  expectIdFile(manager.getIdFileName(), "a");
  EXPECT_FALSE(manager.setProject(""));
  ASSERT_EQ(inst.reports.size(), 2u);
  EXPECT_EQ(inst.reports[0],
            "ERROR: Cannot set project \"zzz\" (not eligible). Default project was set instead.\n"
            "Eligible projects are:\n   - a\n   - b\nDefault project: a\n");
  EXPECT_EQ(inst.reports[1],
            "ERROR: Cannot set project \"\" (not eligible). Default project was set instead.\n"
            "Eligible projects are:\n   - a\n   - b\nDefault project: a\n");
}

TEST(Manager, ChosenProjectStaysAfterFailedChoiceAndQuietWithoutVerbose) {
  Installation inst;
  inst.writeMap(globalProject("b(global)") + globalProject("c(global,default)"));
  Manager& manager = inst.manager(false);
  manager.readMap("");
  EXPECT_TRUE(manager.setProject("b"));
  EXPECT_FALSE(manager.setProject("nope"));
  expectIdFile(manager.getIdFileName(), "b");
  EXPECT_TRUE(inst.reports.empty());
}

TEST(Manager, NothingEligibleWritesNotAvailable) {
  Installation inst;
  Manager& manager = inst.manager(true);
  manager.readMap("");
  EXPECT_FALSE(manager.setProject("x"));
  expectIdFile(manager.getIdFileName(), "N/A");
  EXPECT_EQ(inst.reports.at(0),
            "ERROR: Cannot set project \"x\" (not eligible). Default project was set instead.\n"
            "Eligible projects are:\nDefault project: N/A\n");
}

TEST(Manager, ProjectBytesAreWrittenUnchanged) {
  Installation inst;
  writeFile(inst.map(), "map {\n plavo {\n  projects {\n   \xE9t\xE9(global,default) {\n   }\n  }\n }\n}\n");
  Manager& manager = inst.manager();
  manager.readMap("");
  EXPECT_TRUE(manager.setProject("\xE9t\xE9"));
  expectIdFile(manager.getIdFileName(), "\xE9t\xE9");
}

TEST(Manager, SaveFailsWhenDirectoryIsMissing) {
  Installation inst;
  Manager manager;
  // An at sign would vanish if the name were put into the message text itself.
  manager.init(inst.dir.path + "/no@where};/log/temp", inst.conf());
  manager.readMap("");
  const std::string name = inst.dir.path + "/no@where};/log/temp/project_id-" + currentUser() + "-" +
                           manager.getSession() + ".idval";
  try {
    manager.setProject("");
    FAIL() << "no error";
  } catch (const Manager::FailedToSave& error) {
    EXPECT_EQ(error.getText(), "FailedToSave: Failed to save '" + name + "' file");
  }
  // The variable is set before the file is written.
  EXPECT_STREQ(std::getenv("KESTRO_PROJECT"), "N/A");
}

TEST(Manager, SaveReplacesPlantedLinkInsteadOfFollowingIt) {
  Installation inst;
  Manager& manager = inst.manager();
  manager.readMap("");
  const std::string victim = inst.dir.path + "/victim";
  writeFile(victim, "precious");
  ASSERT_EQ(symlink(victim.c_str(), manager.getIdFileName().c_str()), 0);
  manager.save();
  EXPECT_EQ(readAll(victim), "precious");
  struct stat status {};
  ASSERT_EQ(lstat(manager.getIdFileName().c_str(), &status), 0);
  EXPECT_TRUE(S_ISREG(status.st_mode));
  expectIdFile(manager.getIdFileName(), "N/A");
}

TEST(Manager, SaveFailureLeavesOldFileAndNoTemporary) {
  Installation inst;
  Manager& manager = inst.manager();
  manager.readMap("");
  // A directory under the file's name cannot be replaced by a file.
  ASSERT_EQ(mkdir(manager.getIdFileName().c_str(), 0755), 0);
  EXPECT_THROW(manager.save(), Manager::FailedToSave);
  EXPECT_EQ(std::system(("test $(ls -A '" + inst.temp() + "' | wc -l) -eq 1").c_str()), 0);
}

TEST(Manager, InitTakesDirectoriesFromRegistryAndNormalisesThem) {
  Installation inst;
  const std::string registry = inst.dir.path + "/registry";
  mkdir(registry.c_str(), 0755);
  writeFile(registry + "/HKEY_LOCAL_MACHINE.reg",
            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestro\\Resources]\n"
            "\"InstallDir\"=\"%MANAGER_TEST_ROOT%//sub/../\"\n"
            "\"ConfigurationDir\"=\"" + inst.dir.path + "/./conf/\"\n");
  setenv("KESTRO_REGISTRY_DIR", registry.c_str(), 1);
  setenv("MANAGER_TEST_ROOT", inst.dir.path.c_str(), 1);
  KestroCorelib::SystemBase answering;  // answers the configuration agent from the registry
  Manager manager;
  manager.init("", "");
  EXPECT_EQ(manager.getTempDir(), inst.dir.path + "/log/temp");
  EXPECT_EQ(manager.getConfDir(), inst.dir.path + "/conf");
  EXPECT_EQ(manager.getUser(), currentUser());

  // Given directories are normalised the same way.
  Manager given;
  given.init(inst.dir.path + "\\log\\.\\temp\\\\", "%MANAGER_TEST_ROOT%/conf/x/..");
  EXPECT_EQ(given.getTempDir(), inst.dir.path + "/log/temp");
  EXPECT_EQ(given.getConfDir(), inst.dir.path + "/conf");

  writeFile(registry + "/HKEY_LOCAL_MACHINE.reg",
            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestro\\Resources]\n"
            "\"InstallDir\"=\"/opt/x\"\n");
  Manager missing;
  EXPECT_THROW(missing.init("", ""), KestroCorelib::ConfAgent::GetLocal_NotFound);
  unsetenv("KESTRO_REGISTRY_DIR");
}

// ---- Launcher -----------------------------------------------------------------------------

namespace {

// A folder tree for the search: PATH holds only what the test puts in it.
class SearchFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* path = std::getenv("PATH");
    savedPath = path != nullptr ? path : "";
    char cwd[4096];
    savedCwd = getcwd(cwd, sizeof(cwd)) != nullptr ? cwd : "/";
    // The current directory is searched too; an empty one keeps it out of the way.
    mkdir((dir.path + "/cwd").c_str(), 0755);
    ASSERT_EQ(chdir((dir.path + "/cwd").c_str()), 0);
  }
  void TearDown() override {
    setenv("PATH", savedPath.c_str(), 1);
    EXPECT_EQ(chdir(savedCwd.c_str()), 0);
  }
  std::string makeDir(const std::string& relative) {
    const std::string full = dir.path + "/" + relative;
    std::system(("mkdir -p '" + full + "'").c_str());
    return full;
  }
  std::string makeTool(const std::string& relative, mode_t mode = 0755) {
    const std::string full = dir.path + "/" + relative;
    writeFile(full, "#!/bin/sh\nprintf '[%s]\\n' \"$0\" \"$@\" \"$KESTRO_PROJECT\" > \"" + dir.path +
                        "/launched.tmp\"\n/bin/mv \"" + dir.path + "/launched.tmp\" \"" + dir.path +
                        "/launched\"\n",
              mode);
    return full;
  }
  static std::string libraryForm(std::string path) {
    for (char& c : path) c = c == '/' ? '\\' : c;
    return path;
  }
  TempDir dir;
  std::string savedPath;
  std::string savedCwd;
};

}  // namespace

using Launcher = SearchFixture;

TEST_F(Launcher, PrefixedNameWinsOverPlainNameInAnEarlierFolder) {
  makeDir("first");
  makeDir("second");
  makeTool("first/tool");
  makeTool("second/kestro_tool");
  setenv("PATH", (dir.path + "/first:" + dir.path + "/second").c_str(), 1);
  std::string found;
  ASSERT_TRUE(Kestro::findExecutable("tool", found));
  EXPECT_EQ(found, libraryForm(dir.path + "/second/kestro_tool"));
  // A name that already has the prefix is searched as is, then without it.
  ASSERT_TRUE(Kestro::findExecutable("kestro_tool", found));
  EXPECT_EQ(found, libraryForm(dir.path + "/second/kestro_tool"));
  unlink((dir.path + "/second/kestro_tool").c_str());
  ASSERT_TRUE(Kestro::findExecutable("kestro_tool", found));
  EXPECT_EQ(found, libraryForm(dir.path + "/first/tool"));
}

TEST_F(Launcher, ExtraFoldersComeFirstAndParentsAreSearched) {
  makeDir("extra/sub/deeper");
  makeDir("path");
  makeTool("extra/tool");
  makeTool("path/tool");
  setenv("PATH", (dir.path + "/path").c_str(), 1);
  std::string found;
  ASSERT_TRUE(Kestro::searchDirectories("tool", found, "", dir.path + "/extra/sub/deeper\n\n"));
  EXPECT_EQ(found, libraryForm(dir.path + "/extra/tool"));
  ASSERT_TRUE(Kestro::searchDirectories("tool", found, "", ""));
  EXPECT_EQ(found, libraryForm(dir.path + "/path/tool"));
}

TEST_F(Launcher, OnlyExecutableRegularFilesAreHits) {
  makeDir("a/tool");  // a directory of that name
  makeDir("b");
  makeDir("c");
  makeTool("b/tool", 0644);  // not executable
  makeTool("c/tool");
  setenv("PATH", (dir.path + "/a::" + dir.path + "/b:" + dir.path + "/c").c_str(), 1);
  std::string found = "unchanged";
  ASSERT_TRUE(Kestro::searchDirectories("tool", found, "", ""));
  EXPECT_EQ(found, libraryForm(dir.path + "/c/tool"));
  found = "unchanged";
  EXPECT_FALSE(Kestro::searchDirectories("none", found, "", ""));
  EXPECT_EQ(found, "unchanged");
}

TEST_F(Launcher, ExtraVariableIsSearchedBeforePath) {
  makeDir("v");
  makeDir("p");
  makeTool("v/tool");
  makeTool("p/tool");
  setenv("PATH", (dir.path + "/p").c_str(), 1);
  setenv("MANAGER_TEST_TOOLS", (dir.path + "/v").c_str(), 1);
  std::string found;
  ASSERT_TRUE(Kestro::searchDirectories("tool", found, "MANAGER_TEST_TOOLS", ""));
  EXPECT_EQ(found, libraryForm(dir.path + "/v/tool"));
  // Naming PATH as the extra variable searches it once, in the extra variable's place.
  ASSERT_TRUE(Kestro::searchDirectories("tool", found, "PATH", ""));
  EXPECT_EQ(found, libraryForm(dir.path + "/p/tool"));
  // Any spelling of path keeps PATH out; POSIX variable names are case-sensitive, so the
  // unset variable Path adds nothing.
  EXPECT_FALSE(Kestro::searchDirectories("tool", found, "Path", ""));
}

TEST_F(Launcher, CurrentDirectoryComesBeforePath) {
  makeDir("p");
  makeTool("p/tool");
  makeTool("cwd/tool");
  setenv("PATH", (dir.path + "/p").c_str(), 1);
  std::string found;
  ASSERT_TRUE(Kestro::findExecutable("tool", found));
  EXPECT_EQ(found, libraryForm(dir.path + "/cwd/tool"));
}

TEST_F(Launcher, RunStartsFoundProgramWithArguments) {
  makeDir("p");
  makeTool("p/kestro_tool");
  setenv("PATH", (dir.path + "/p").c_str(), 1);
  setenv("KESTRO_PROJECT", "compiler", 1);
  Manager manager;
  manager.run("tool", "a \"b c\" d");
  int status = 0;
  ASSERT_GT(wait(&status), 0);
  EXPECT_EQ(readAll(dir.path + "/launched"),
            "[" + dir.path + "/p/kestro_tool]\n[a]\n[b c]\n[d]\n[compiler]\n");
}

TEST_F(Launcher, RunWithDirectoryPartChecksOnlyExistence) {
  const std::string tool = makeTool("run.bat");
  Manager manager;
  manager.run(tool, "x");
  int status = 0;
  ASSERT_GT(wait(&status), 0);
  const std::string expected = "[" + tool + "]\n[x]\n";
  EXPECT_EQ(readAll(dir.path + "/launched").substr(0, expected.size()), expected);

  const std::string plain = makeTool("plain", 0644);
  try {
    manager.run(plain, "a  b");
    FAIL() << "no error";
  } catch (const Manager::FailedToRun& error) {
    EXPECT_EQ(error.getText(), "FailedToRun: Failed to run \"" + plain + "\" with arguments \"a  b\"");
  }
}

TEST_F(Launcher, RunReportsMissingProgramAsGiven) {
  setenv("PATH", (dir.path + "/cwd").c_str(), 1);
  Manager manager;
  for (const std::string& name : {std::string("run.bat"), dir.path + "/none/tool", std::string("nosuch")}) {
    try {
      manager.run(name, "");
      FAIL() << "no error for " << name;
    } catch (const Manager::FailedToRun& error) {
      EXPECT_EQ(error.getText(),
                "FailedToRun: Failed to run \"" + name + "\" (could not find path to executable)");
    }
  }
}
