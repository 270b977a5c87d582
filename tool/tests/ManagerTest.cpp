#include <gtest/gtest.h>

#include "Manager.h"

#ifdef _WIN32
#  include <windows.h>
#else
#  include <fcntl.h>
#  include <pwd.h>
#  include <signal.h>
#  include <sys/stat.h>
#  include <sys/wait.h>
#  include <unistd.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "AppFrame.h"
#include "ConfAgent.h"
#include "ConfFile.h"
#include "ConfNode.h"
#include "SystemBase.h"
#include "TestSupport.h"

using Kestro::Manager;
using namespace testsupport;

namespace {

using Names = std::set<std::string>;

// An installation and a manager initialised on it, verbose reports collected in reports.
struct Mapped {
  explicit Mapped(bool verbose = false) {
    manager.setReporter(verbose, [this](const std::string& text, bool quiet) {
      reports.push_back(text);
      EXPECT_FALSE(quiet);
    });
    manager.init(inst.temp(), inst.conf());
  }
  Manager fresh() const {
    Manager other;
    other.init(inst.temp(), inst.conf());
    return other;
  }
  ScopedEnv project{"KESTRO_PROJECT", nullptr};  // the manager sets it
  Installation inst;
  Manager manager;
  std::vector<std::string> reports;
};

// A list project node with the given user entries, one per line.
std::string listProject(const std::string& name, const std::vector<std::string>& users) {
  std::string text = "   " + name + " {\n    type=list\n";
  for (const std::string& u : users) text += "    " + u + "\n";
  return text + "   }\n";
}

std::string globalProject(const std::string& entry) { return "   " + entry + " {\n   }\n"; }

std::string upperFirst(std::string text) {
  text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  return text;
}

// The installation's directories named where init looks for them: the machine hive in the
// installation's registry folder on POSIX; on Windows a key of the real registry of its own,
// named by KESTRO_ENV and removed afterwards.
class RegisteredDirectories {
 public:
  explicit RegisteredDirectories(const Installation& installation) : inst(installation) {}
  RegisteredDirectories(const RegisteredDirectories&) = delete;
  RegisteredDirectories& operator=(const RegisteredDirectories&) = delete;
#ifdef _WIN32
  ~RegisteredDirectories() { RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str()); }
#endif

  // Replaces the values by these, (name, text) pairs.
  void set(const std::vector<std::pair<std::string, std::string>>& values) const {
#ifdef _WIN32
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str());
    HKEY opened = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                              &opened, nullptr),
              ERROR_SUCCESS);
    for (const auto& [name, text] : values) {
      RegSetValueExA(opened, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>(text.size() + 1));
    }
    RegCloseKey(opened);
#else
    std::string hive;
    for (const auto& [name, text] : values) hive += "\"" + name + "\"=\"" + text + "\"\n";
    inst.writeHive(hive);
#endif
  }

 private:
  const Installation& inst;
#ifdef _WIN32
  const std::string key =
      "SOFTWARE\\Kestro\\Test-" + std::filesystem::path(inst.root).filename().string();
  const ScopedEnv env{"KESTRO_ENV", key.c_str()};
#else
  const ScopedEnv registry{"KESTRO_REGISTRY_DIR", (inst.root + "/registry").c_str()};
#endif
};

std::string notEligible(const std::string& project, const std::string& list,
                        const std::string& fallback) {
  return "ERROR: Cannot set project \"" + project +
         "\" (not eligible). Default project was set instead.\nEligible projects are:\n" + list +
         "Default project: " + fallback + "\n";
}

}  // namespace

TEST(Manager, EligibleSetAndDefault) {
  const std::string me = currentUser();
  struct Case {
    const char* what;
    std::string projects;
    Names eligible;
    std::string fallback;
  } cases[] = {
      {"sorted; the first listing marked default wins (e also says default)",
       globalProject("b(global)") + listProject("a", {"x", me + "(default)"}) +
           listProject("c", {me, "y(default)"}) + listProject("d", {"x"}) +
           listProject("e", {me + "(default)"}),
       {"a", "b", "c", "e"},
       "a"},
      {"user names match exactly; only the first listing of the user counts; a project's "
       "flags other than global leave it a list",
       listProject("a", {upperFirst(me) + "(default)", me + "x", me.substr(0, me.size() - 1)}) +
           listProject("b", {me, me + "(default)"}) + listProject("c", {me + "(global)"}) +
           listProject("d(beta)", {me}),
       {"b", "c", "d"},
       "N/A"},
      {"the last global default is the fallback",
       globalProject("f(GLOBAL,Default)") + listProject("h", {"nobody(default)"}) +
           globalProject("g(global,default)") + globalProject("k(global)") +
           listProject("z", {"nobody"}),
       {"f", "g", "k"},
       "g"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Mapped s;
    s.inst.writeMap(c.projects);
    s.manager.readMap(c.fallback == "N/A" ? s.inst.map() : "");  // named or found in conf
    EXPECT_EQ(s.manager.getEligible(), c.eligible);
    EXPECT_EQ(s.manager.getDefaultProject(), c.fallback);
    EXPECT_EQ(s.manager.getTitle(), "");
    EXPECT_EQ(s.manager.getLogo(), "");
  }
}

TEST(Manager, ParsesEntriesWithoutTrimming) {
  struct Case {
    const char* text;
    const char* name;
    bool isDefault, isGlobal;
  } cases[] = {
      {"plain", "plain", false, false},
      {"g(Global,DEFAULT)", "g", true, true},
      {"p(default, global)", "p", true, false},  // " global" keeps its blank
      {" a b (default)", " a b ", true, false},
      {"a(,,default,,)", "a", true, false},
      {"a(default", "a", true, false},    // the closing parenthesis is optional
      {"a(global))", "a", false, false},  // only one is removed
      {"a()", "a", false, false},
      {"a(", "a", false, false},
      {"(global)", "", false, true},
      {"a(x(default)", "a", false, false},  // the piece is "x(default"
      {"", "", false, false},
  };
  for (const Case& c : cases) {
    const Manager::ProjectEntry entry = Manager::parseEntry(c.text);
    EXPECT_EQ(entry.name, c.name) << c.text;
    EXPECT_EQ(entry.isDefault, c.isDefault) << c.text;
    EXPECT_EQ(entry.isGlobal, c.isGlobal) << c.text;
  }
}

TEST(Manager, MapErrors) {
  Mapped s;
  const std::string map = s.inst.conf() + "/map@{2}.kconf";
  writeFile(map, "map {\n plavo {\n  project {\n  }\n }\n}\n");
  expectError<Manager::InvalidMapFile>(
      [&] { s.manager.readMap(map); },
      "InvalidMapFile: Could not find entry \"plavo.projects\" in map file \"" + map + "\"");
  // The map's own errors pass on.
  s.inst.writeMap("   a {\n    value=x\n   }\n");
  EXPECT_THROW(s.fresh().readMap(""), KestroCorelib::ConfNode::Get_WrongType);
  s.inst.writeMap(globalProject("a(global)"), "  gui {\n   logo {\n    value=x.gif\n   }\n  }\n");
  EXPECT_THROW(s.fresh().readMap(""), KestroCorelib::ConfNode::Get_WrongType);  // logo not a file
  writeFile(s.inst.map(), "map {\n plavo {\n");
  EXPECT_THROW(s.fresh().readMap(""), KestroCorelib::ConfFile::Load_PrematureEndOfFile);
}

TEST(Manager, GuiTitleAndLogoFallBackToHeaderImages) {
  Mapped s;
  const std::string conf = s.inst.conf();
  // No gui node: no header image even when one is there.
  s.inst.writeMap(globalProject("a(global)"));
  writeFile(conf + "/header_kestro.png", "png");
  s.manager.readMap("");
  EXPECT_EQ(s.manager.getLogo(), "");

  s.inst.writeMap(globalProject("a(global)"),
                  "  gui {\n   title {\n    type=int\n    value=Pick one\n   }\n"
                  "   logo {\n    type=file\n    value=" +
                      conf + "/missing.gif\n   }\n  }\n");
  Manager first = s.fresh();
  first.readMap("");
  EXPECT_EQ(first.getTitle(), "Pick one");
  EXPECT_EQ(first.getLogo(), conf + "/header_kestro.png");
  writeFile(conf + "/header_kestro.gif", "gif");
  Manager second = s.fresh();
  second.readGui("");
  EXPECT_EQ(second.getLogo(), conf + "/header_kestro.gif");

  // An existing logo is kept in the library's path form.
  writeFile(conf + "/logo.png", "png");
  s.inst.writeMap(globalProject("a(global)"), "  gui {\n   logo {\n    type=file\n    value=" +
                                                  conf + "/logo.png\n   }\n  }\n");
  Manager third = s.fresh();
  third.readMap("");
  EXPECT_EQ(third.getLogo(), libraryForm(conf + "/logo.png"));
}

TEST(Manager, SetsEligibleProjectOrRegistersTheDefaultAndReportsTheList) {
  Mapped s(true);
  const std::string me = currentUser();
  s.inst.writeMap(listProject("compiler", {me}) + globalProject("b(global)") +
                  listProject("a", {me + "(default)"}));
  s.manager.readMap("");
  EXPECT_FALSE(s.manager.setProject("zzz"));
  EXPECT_STREQ(std::getenv("KESTRO_PROJECT"), "a");
  expectIdFile(s.manager.getIdFileName(), "a");
  EXPECT_FALSE(s.manager.setProject(""));
  EXPECT_TRUE(s.manager.setProject("compiler"));
  EXPECT_STREQ(std::getenv("KESTRO_PROJECT"), "compiler");
  EXPECT_EQ(s.manager.getIdFileName(),
            s.inst.temp() + "/project_id-" + me + "-" + s.manager.getSession() + ".idval");
  expectIdFile(s.manager.getIdFileName(), "compiler");
  EXPECT_EQ(entries(s.inst.temp()), 1);  // no temporary file is left beside it
  const std::string list = "   - a\n   - b\n   - compiler\n";
  EXPECT_EQ(s.reports,
            (std::vector<std::string>{notEligible("zzz", list, "a"), notEligible("", list, "a"),
                                      "Set project: compiler\n"}));

  // No map, or a directory in its place: nothing is eligible.
  Mapped none(true);
  std::filesystem::create_directory(none.inst.root + "/mapdir");
  for (const std::string& map : {std::string(), none.inst.root + "/mapdir"}) {
    none.manager.readMap(map);
    EXPECT_TRUE(none.manager.getEligible().empty()) << map;
    EXPECT_EQ(none.manager.getDefaultProject(), "N/A") << map;
  }
  EXPECT_FALSE(none.manager.setProject("x"));
  expectIdFile(none.manager.getIdFileName(), "N/A");
  EXPECT_EQ(none.reports, std::vector<std::string>{notEligible("x", "", "N/A")});
}

TEST(Manager, ChosenProjectStaysAfterFailedChoiceAndQuietWithoutVerbose) {
  Mapped s(false);
  s.inst.writeMap(globalProject("b(global)") + globalProject("\xE9t\xE9(global,default)"));
  s.manager.readMap("");
  EXPECT_TRUE(s.manager.setProject("\xE9t\xE9"));
  expectIdFile(s.manager.getIdFileName(), "\xE9t\xE9");  // the bytes unchanged
  EXPECT_TRUE(s.manager.setProject("b"));
  EXPECT_FALSE(s.manager.setProject("nope"));
  expectIdFile(s.manager.getIdFileName(), "b");
  EXPECT_TRUE(s.reports.empty());
}

TEST(Manager, SaveFailsWhenDirectoryIsMissing) {
  const ScopedEnv project("KESTRO_PROJECT", nullptr);
  Installation inst;
  Manager manager;
  // An at sign would vanish if the name were put into the message text itself.
  manager.init(inst.root + "/no@where};/log/temp", inst.conf());
  manager.readMap("");
  const std::string name = inst.root + "/no@where};/log/temp/project_id-" + currentUser() + "-" +
                           manager.getSession() + ".idval";
#ifdef _WIN32
  char text[256] = {};
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 ERROR_PATH_NOT_FOUND, 0, text, sizeof text, nullptr);
  std::string missing = text;
  missing.erase(missing.find_last_not_of("\r\n") + 1);
#else
  const std::string missing = "No such file or directory";
#endif
  // The reason names the missing folder, not the new file that could not be made in it.
  expectError<Manager::FailedToSave>([&] { manager.setProject(""); },
                                     "FailedToSave: Failed to save '" + name + "' file\n" +
                                         "Exception: " + inst.root +
                                         "/no@where};/log/temp: " + missing);
  // The variable is set before the file is written.
  EXPECT_STREQ(std::getenv("KESTRO_PROJECT"), "N/A");
}

TEST(Manager, SaveReplacesPlantedLinkAndLeavesNoTemporaryOnFailure) {
  Mapped s;
  s.manager.readMap("");
#ifndef _WIN32  // links are POSIX's
  const std::string victim = s.inst.root + "/victim";
  writeFile(victim, "precious");
  ASSERT_EQ(symlink(victim.c_str(), s.manager.getIdFileName().c_str()), 0);
  s.manager.save();
  EXPECT_EQ(readFile(victim), "precious");
  struct stat status {};
  ASSERT_EQ(lstat(s.manager.getIdFileName().c_str(), &status), 0);
  EXPECT_TRUE(S_ISREG(status.st_mode));
  expectIdFile(s.manager.getIdFileName(), "N/A");

  ASSERT_EQ(unlink(s.manager.getIdFileName().c_str()), 0);
#endif

  // A directory under the file's name cannot be replaced by a file.
  ASSERT_TRUE(std::filesystem::create_directory(s.manager.getIdFileName()));
  EXPECT_THROW(s.manager.save(), Manager::FailedToSave);
  EXPECT_EQ(entries(s.inst.temp()), 1);
}

TEST(Manager, InitTakesDirectoriesFromRegistryAndNormalisesThem) {
  Installation inst;
  const RegisteredDirectories registry(inst);
  registry.set({{"InstallDir", "%MANAGER_TEST_ROOT%/install//sub/../"},
                {"ConfigurationDir", inst.root + "/install/./config/"}});
  const ScopedEnv root("MANAGER_TEST_ROOT", inst.root.c_str());
  KestroCorelib::SystemBase answering;  // answers the configuration agent from the registry
  Manager manager;
  manager.init("", "");
  EXPECT_EQ(manager.getTempDir(), inst.temp());
  EXPECT_EQ(manager.getConfDir(), inst.conf());
  EXPECT_EQ(manager.getUser(), currentUser());

  // Given directories are normalised the same way.
  Manager given;
  given.init(inst.root + "\\install\\log\\.\\temp\\\\", "%MANAGER_TEST_ROOT%/install/config/x/..");
  EXPECT_EQ(given.getTempDir(), inst.temp());
  EXPECT_EQ(given.getConfDir(), inst.conf());

  registry.set({{"InstallDir", inst.root + "/x"}});
  Manager missing;
  EXPECT_THROW(missing.init("", ""), KestroCorelib::ConfAgent::GetLocal_NotFound);
}

// ---- Launcher -----------------------------------------------------------------------------

namespace {

// A folder tree for the search: PATH holds only what the test puts in it, and the current
// directory (searched too) is an empty one unless a test puts a tool there.
class Launcher : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef _WIN32
    // Folders made here are not writable by others, which the search would pass over.
    savedUmask = umask(022);
#endif
    savedCwd = std::filesystem::current_path();
    std::filesystem::current_path(makeDir("cwd"));
  }
  void TearDown() override {
#ifndef _WIN32
    umask(savedUmask);
#endif
    std::filesystem::current_path(savedCwd);
  }
  std::string makeDir(const std::string& relative) {
    const std::string full = dir.root + "/" + relative;
    std::filesystem::create_directories(full);
    return full;
  }
  // A recorder (writeRecorder) at relative, which gets ".exe" on Windows; returns its path.
  std::string makeTool(const std::string& relative, unsigned mode = 0755) {
    makeDir(relative.substr(0, relative.rfind('/') + 1));
    return writeRecorder(dir.root + "/" + relative, mode);
  }
  // What the tool started in folder recorded, once it has ended; the record is then removed.
  std::string launched(const std::string& folder) {
    const std::string out = folder + "/out";
#ifdef _WIN32
    // The launcher keeps no handle of the child: its record is whole with the project in it.
    for (int i = 0; i < 300 && readFile(out).find("KESTRO_PROJECT=") == std::string::npos; ++i) {
      Sleep(100);
    }
#else
    EXPECT_GT(wait(nullptr), 0);
#endif
    const std::string text = readFile(out);
    std::filesystem::remove(out);
    return text;
  }
  void setPath(const std::string& folders) { path.set(folders); }
  std::string search(const std::string& name, const std::string& variable = "",
                     const std::string& extra = "") {
    std::string found = "unchanged";
    EXPECT_TRUE(Kestro::searchDirectories(name, found, variable, extra)) << name;
    return found;
  }
  std::string find(const std::string& name) {
    std::string found;
    EXPECT_TRUE(Kestro::findExecutable(name, found)) << name;
    return found;
  }
  std::string in(const std::string& relative) { return libraryForm(dir.root + "/" + relative); }
  // The folders as a PATH value.
  std::string folders(const std::vector<std::string>& relatives) const {
    std::string value;
    for (const std::string& relative : relatives) {
      if (!value.empty()) value += kSeparator;
      if (!relative.empty()) value += dir.root + "/" + relative;
    }
    return value;
  }
  Installation dir;
  ScopedEnv path{"PATH", std::getenv("PATH")};  // put back after setPath
  std::filesystem::path savedCwd;
#ifdef _WIN32
  static constexpr char kSeparator = ';';
#else
  static constexpr char kSeparator = ':';
  mode_t savedUmask = 022;
#endif
};

// The name of a program the search finds: Windows adds ".exe" to a bare name.
#ifdef _WIN32
std::string exe(const std::string& name) { return name + ".exe"; }
#else
std::string exe(const std::string& name) { return name; }
#endif

}  // namespace

TEST_F(Launcher, PrefixedNameWinsOverPlainNameInAnEarlierFolder) {
  makeTool("first/tool");
  const std::string prefixed = makeTool("second/kestro_tool");
  setPath(folders({"first", "second"}));
  EXPECT_EQ(find("tool"), in(exe("second/kestro_tool")));
  // A name that already has the prefix is searched as is, then without it.
  EXPECT_EQ(find("kestro_tool"), in(exe("second/kestro_tool")));
  std::filesystem::remove(prefixed);
  EXPECT_EQ(find("kestro_tool"), in(exe("first/tool")));
}

TEST_F(Launcher, SearchOrderExtraFoldersAndParentsThenVariableThenCurrentDirectoryThenPath) {
  makeDir("extra/sub/deeper");
  makeTool("extra/tool");
  makeTool("v/tool");
  makeTool("p/tool");
  setPath(folders({"p"}));
  const ScopedEnv tools("MANAGER_TEST_TOOLS", (dir.root + "/v").c_str());
  const std::string tool = exe("tool");
  EXPECT_EQ(search(tool, "MANAGER_TEST_TOOLS", dir.root + "/extra/sub/deeper\n\n"),
            in(exe("extra/tool")));
  EXPECT_EQ(search(tool, "MANAGER_TEST_TOOLS"), in(exe("v/tool")));
  EXPECT_EQ(search(tool), in(exe("p/tool")));
  // Naming PATH as the extra variable searches it once, in the extra variable's place.
  EXPECT_EQ(search(tool, "PATH"), in(exe("p/tool")));
#ifdef _WIN32
  // Windows variable names ignore case: Path is PATH, searched in the extra variable's place.
  EXPECT_EQ(search(tool, "Path"), in(exe("p/tool")));
#else
  // Any spelling of path keeps PATH out; POSIX variable names are case-sensitive, so the
  // unset variable Path adds nothing.
  std::string found;
  EXPECT_FALSE(Kestro::searchDirectories(tool, found, "Path", ""));
#endif
  makeTool("cwd/tool");
  EXPECT_EQ(find("tool"), in(exe("cwd/tool")));
}

TEST_F(Launcher, OnlyExecutableRegularFilesAreHits) {
  makeDir("a/" + exe("tool"));  // a directory of that name
#ifndef _WIN32
  makeTool("b/tool", 0644);  // not executable
#endif
  makeTool("c/tool");
  setPath(folders({"a", "", "b", "c"}));
  EXPECT_EQ(search(exe("tool")), in(exe("c/tool")));
  std::string found = "unchanged";
  EXPECT_FALSE(Kestro::searchDirectories("none", found, "", ""));
  EXPECT_EQ(found, "unchanged");
}

TEST_F(Launcher, RunStartsFoundProgramWithArguments) {
  makeTool("p/kestro_tool");
  setPath(folders({"p"}));
  const ScopedEnv project("KESTRO_PROJECT", "compiler");
  Manager manager;
  manager.run("tool", "a \"b c\" d");
#ifdef _WIN32
  // The found program is started in the library's form, the system's own.
  const std::string found = in("p/kestro_tool.exe");
#else
  const std::string found = dir.root + "/p/kestro_tool";
#endif
  EXPECT_EQ(launched(dir.root + "/p"),
            "[" + found + "]\n[a]\n[b c]\n[d]\nKESTRO_PROJECT=compiler\n");

  // With a directory part only the file's existence is checked.
  const std::string tool = makeTool("run.bat");
  manager.run(tool, "x");
  EXPECT_EQ(launched(dir.root), "[" + tool + "]\n[x]\nKESTRO_PROJECT=compiler\n");
#ifndef _WIN32  // execute rights and interpreters are POSIX's
  const std::string plain = makeTool("plain", 0644);
  expectError<Manager::FailedToRun>([&] { manager.run(plain, "a  b"); },
                                    "FailedToRun: Failed to run \"" + plain +
                                        "\" with arguments \"a  b\"\nException: " + plain +
                                        ": Permission denied");
  // A found program is named in the library's form first; the system's reason and form follow.
  writeFile(dir.root + "/p/kestro_broken", "#!/no/such/interpreter\n", 0755);
  expectError<Manager::FailedToRun>([&] { manager.run("broken", ""); },
                                    "FailedToRun: Failed to run \"" + in("p/kestro_broken") +
                                        "\" with arguments \"\"\nException: " + dir.root +
                                        "/p/kestro_broken: No such file or directory");
#endif
}

#ifdef _WIN32
// A program under a folder of Program Files (searched first, each subfolder in name order)
// wins over one on PATH, and a blank in its path moves none of its arguments.
TEST_F(Launcher, ProgramFilesFoldersComeBeforePath) {
  const std::string programs =
      KestroCorelib::specialFolder(KestroCorelib::SpecialFolder::ProgramFiles);
  ASSERT_NE(programs.find(' '), std::string::npos) << programs;
  const std::string vendor = "plavo-test-" + std::filesystem::path(dir.root).filename().string();
  const std::filesystem::path folder = std::filesystem::path(programs) / vendor;
  ASSERT_TRUE(std::filesystem::create_directory(folder));
  // Removed whatever the checks say: the folder is outside the test's own.
  struct Removal {
    std::filesystem::path path;
    ~Removal() {
      std::error_code error;
      std::filesystem::remove_all(path, error);
    }
  } removal{folder};
  const std::string listed = Kestro::programFolderDirectories();
  EXPECT_NE(listed.find(programs + "/" + vendor + "\n"), std::string::npos) << listed;
  std::vector<std::string> lines;
  std::istringstream in(listed);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  EXPECT_TRUE(std::is_sorted(lines.begin(), lines.end())) << listed;

  writeRecorder(folder.string() + "\\kestro_tool");
  makeTool("p/kestro_tool");
  setPath(folders({"p"}));
  const ScopedEnv project("KESTRO_PROJECT", "compiler");
  Manager().run("tool", "a \"b c\"");
  const std::string started = libraryForm(folder.string() + "/kestro_tool.exe");
  EXPECT_EQ(launched(folder.string()), "[" + started + "]\n[a]\n[b c]\nKESTRO_PROJECT=compiler\n");
}
#endif

TEST_F(Launcher, RunReportsMissingProgramAsGiven) {
  setPath(folders({"cwd"}));
  Manager manager;
  for (const std::string& name :
       {std::string("run.bat"), dir.root + "/none/tool", std::string("nosuch")}) {
    expectError<Manager::FailedToRun>(
        [&] { manager.run(name, ""); },
        "FailedToRun: Failed to run \"" + name + "\" (could not find path to executable)");
  }
}

#ifndef _WIN32  // modes, owners, links, FIFOs and signals as POSIX has them
// A file that somebody other than the user and root could change is passed over with one
// warning, and the search goes on in its usual order. The working directory's parent is a
// folder everybody may write to, as a shared project folder often is.
TEST_F(Launcher, PassesOverFilesOthersCanChange) {
  const std::string shared = makeDir("shared");
  const std::string work = makeDir("shared/work");
  ASSERT_EQ(chmod(shared.c_str(), 0777), 0);
  ASSERT_EQ(chdir(work.c_str()), 0);
  makeTool("shared/kestro_tool");
  makeTool("open/kestro_tool", 0757);
  makeTool("sticky/kestro_tool");
  makeTool("p/tool");
  ASSERT_EQ(chmod((dir.root + "/sticky").c_str(), 01777), 0);
  setPath(dir.root + "/open:" + dir.root + "/sticky:" + dir.root + "/p");
  std::vector<std::string> warnings;
  const auto collect = [&](const std::string& text) { warnings.push_back(text); };
  std::string found;
  ASSERT_TRUE(Kestro::findExecutable("tool", found, "", collect));
  // In a folder with the sticky bit only the owner may replace a file: the user's own counts.
  EXPECT_EQ(found, in("sticky/kestro_tool"));
  const std::string passedOver = "Warning: Passed over \"" + dir.root;
  EXPECT_EQ(warnings, (std::vector<std::string>{
                          passedOver + "/shared/kestro_tool\" in the search for a program: "
                                       "others may write to its folder",
                          passedOver + "/open/kestro_tool\" in the search for a program: "
                                       "others may write to it"}));

  // Without a usable prefixed file the plain name wins.
  ASSERT_EQ(chmod((dir.root + "/sticky/kestro_tool").c_str(), 0777), 0);
  warnings.clear();
  ASSERT_TRUE(Kestro::findExecutable("tool", found, "", collect));
  EXPECT_EQ(found, in("p/tool"));
  EXPECT_EQ(warnings.size(), 3u);
}

// What a second user plants in a shared sticky folder: a program, or a link that leads to a
// system program (which would then run with the user's arguments). Needs root to give the
// files away.
TEST_F(Launcher, PassesOverWhatAnotherUserPlanted) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to make files owned by another user";
  const uid_t other = 65534;
  const passwd* entry = getpwuid(other);
  const std::string owner = entry != nullptr ? entry->pw_name : "with the id 65534";
  const std::string shared = makeDir("shared");
  ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
  ASSERT_EQ(chdir(makeDir("shared/work").c_str()), 0);
  ASSERT_EQ(chown(makeTool("shared/kestro_tool").c_str(), other, other), 0);
  const std::string link = shared + "/tool";
  ASSERT_EQ(symlink(makeTool("p/tool").c_str(), link.c_str()), 0);
  ASSERT_EQ(lchown(link.c_str(), other, other), 0);
  setPath(dir.root + "/p");
  std::vector<std::string> warnings;
  std::string found;
  ASSERT_TRUE(Kestro::findExecutable("tool", found, "",
                                     [&](const std::string& text) { warnings.push_back(text); }));
  EXPECT_EQ(found, in("p/tool"));
  EXPECT_EQ(warnings,
            (std::vector<std::string>{
                "Warning: Passed over \"" + shared +
                    "/kestro_tool\" in the search for a program: it belongs to the user " + owner,
                "Warning: Passed over \"" + shared +
                    "/tool\" in the search for a program: the link belongs to the user " + owner}));
}

// ---- The shared log/temp and files that are not regular files -----------------------------

// A permissive umask does not make the ID file writable by others.
TEST(Manager, IdFileIsNotWritableByOthersUnderUmask000) {
  Mapped s;
  s.manager.readMap("");
  const mode_t saved = umask(0);
  s.manager.save();
  umask(saved);
  struct stat status {};
  ASSERT_EQ(stat(s.manager.getIdFileName().c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0644u);
}

// A logo or header image that is a FIFO is no image: the window would wait on it for good.
TEST(Manager, LogoThatIsAFifoIsNotTaken) {
  Mapped s;
  const std::string fifo = s.inst.conf() + "/logo.gif";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  ASSERT_EQ(mkfifo((s.inst.conf() + "/header_kestro.gif").c_str(), 0644), 0);
  writeFile(s.inst.conf() + "/header_kestro.png", "png");
  s.inst.writeMap(globalProject("g(global)"),
                  "  gui {\n   logo {\n    type=file\n    value=" + fifo + "\n   }\n  }\n");
  s.manager.readMap("");
  EXPECT_EQ(s.manager.getLogo(), s.inst.conf() + "/header_kestro.png");
  // Asked for directly, a map that is a FIFO is refused at once.
  EXPECT_THROW(s.manager.readGui(fifo), KestroCorelib::ConfFile::Load_FileError);
}

// A run ended by terminate while it saves leaves no temporary file beside the ID file, and the
// ID file is whole. A child saves again and again; it is stopped while a new file exists, and
// only then terminated, so the signal arrives in the middle of a save.
TEST(Manager, TerminateDuringASaveLeavesNoTemporaryFile) {
  Mapped s;
  s.manager.readMap("");
  s.manager.save();
  int control[2];
  ASSERT_EQ(pipe(control), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(control[1]);
    fcntl(control[0], F_SETFL, O_NONBLOCK);
    KestroCorelib::AppFrame::installSignalHandler();
    char c = 0;
    // Until the parent closes its end: read then gives 0 instead of EAGAIN.
    while (read(control[0], &c, 1) < 0) s.manager.save();
    _exit(0);
  }
  close(control[0]);
  const std::string prefix = "project_id-" + currentUser() + "-" + currentSession() + ".idval.";
  const auto temporaryExists = [&] {
    for (const auto& entry : std::filesystem::directory_iterator(s.inst.temp())) {
      if (entry.path().filename().string().rfind(prefix, 0) == 0) return true;
    }
    return false;
  };
  bool sent = false;
  while (!sent) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, WNOHANG), 0) << "the saving child ended by itself";
    if (!temporaryExists()) continue;
    kill(child, SIGSTOP);
    ASSERT_EQ(waitpid(child, &status, WUNTRACED), child);
    if (temporaryExists()) {
      kill(child, SIGTERM);
      sent = true;
    }
    kill(child, SIGCONT);
  }
  close(control[1]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "status " << status;
  EXPECT_EQ(entries(s.inst.temp()), 1);
  expectIdFile(s.manager.getIdFileName(), "N/A");
}
#endif

TEST(Manager, ParseEntryHandsOverIgnoredFlags) {
  std::vector<std::string> ignored;
  const Manager::ProjectEntry entry = Manager::parseEntry("p(globl,Default,, x,GLOBAL)", &ignored);
  EXPECT_TRUE(entry.isGlobal);
  EXPECT_TRUE(entry.isDefault);
  EXPECT_EQ(ignored, (std::vector<std::string>{"globl", " x"}));  // empty pieces are no flags
  ignored.clear();
  Manager::parseEntry("q", &ignored);
  Manager::parseEntry("q(default)", &ignored);
  EXPECT_TRUE(ignored.empty());
}

// The answers for other users and the inverse question, on one map: a user may work on a
// project exactly when usersOf names the user (or says everybody).
TEST(Manager, AnyUsersProjectsAgreeWithTheUsersOfEachProject) {
  Mapped s;
  s.inst.writeMap(globalProject("docs(global)") +
                  listProject("a", {"x", "y(default)", "x(default)"}) +
                  listProject("b", {"y", "z(default)"}) + globalProject("t(global,default)") +
                  listProject("docs", {"w(default)"}) + listProject("c", {"x(default)"}));
  const KestroCorelib::ConfNodePtr projects =
      Manager::findProjects(s.manager.loadMap(s.manager.mapPath("")), "map");
  const std::vector<std::string> users = {"w", "x", "y", "z", "nobody"};
  const std::vector<std::string> names = {"a", "b", "c", "docs", "t"};
  std::map<std::string, std::pair<bool, std::vector<std::string>>> usersOf;
  for (const std::string& project : names) {
    usersOf[project].first = Manager::usersOf(*projects, project, usersOf[project].second);
  }
  EXPECT_EQ(usersOf["a"].second, (std::vector<std::string>{"x", "y"}));  // each once
  EXPECT_FALSE(usersOf["a"].first);
  EXPECT_TRUE(usersOf["docs"].first);  // a global entry of the name wins over a list
  EXPECT_TRUE(usersOf["docs"].second.empty());
  std::vector<std::string> none;
  EXPECT_FALSE(Manager::usersOf(*projects, "missing", none));
  EXPECT_TRUE(none.empty());

  for (const std::string& user : users) {
    SCOPED_TRACE(user);
    const Manager::Eligibility got = Manager::eligibilityOf(*projects, user);
    for (const std::string& project : names) {
      const auto& listed = usersOf[project];
      const bool may = listed.first || std::find(listed.second.begin(), listed.second.end(),
                                                 user) != listed.second.end();
      EXPECT_EQ(got.eligible.count(project) == 1, may) << project;
    }
    // readMap on behalf of the user gives the same as the rules applied directly.
    Manager other = s.fresh();
    other.setUser(user);
    other.readMap("");
    EXPECT_EQ(other.getEligible(), got.eligible);
    EXPECT_EQ(other.getDefaultProject(), got.defaultProject);
  }
  // An entry's name ends at its first '(', so a user name holding one is never listed.
  EXPECT_EQ(Manager::eligibilityOf(*projects, "x(default)").eligible,
            (std::set<std::string>{"docs", "t"}));
  // a's x(default) is x's second entry in a: it does not count.
  EXPECT_EQ(Manager::eligibilityOf(*projects, "x").defaultProject, "c");
  EXPECT_EQ(Manager::eligibilityOf(*projects, "y").defaultProject, "a");
  EXPECT_EQ(Manager::eligibilityOf(*projects, "nobody").defaultProject, "t");

  // A project that is no list fails every question, as it fails every run of plavo.
  s.inst.writeMap(listProject("a", {"x"}) + globalProject("broken"));
  const KestroCorelib::ConfNodePtr broken =
      Manager::findProjects(s.manager.loadMap(s.inst.map()), "map");
  EXPECT_THROW(Manager::usersOf(*broken, "a", none), KestroCorelib::ConfNode::Get_WrongType);
  EXPECT_THROW(Manager::eligibilityOf(*broken, "x"), KestroCorelib::ConfNode::Get_WrongType);
}
