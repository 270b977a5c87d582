#pragma once
// Everything the program knows about projects: its directories, the current user, the
// projects that user may work on (the eligible set) and the default among them, read from the
// administrator's project map; registering a project (environment variable and project ID
// file); and starting another program afterwards.
//
//   Manager manager;
//   manager.setReporter(true, report);   // verbose: progress and problems go to report
//   manager.init("", "");                 // directories from the installation's registry
//   manager.readMap("");                  // <confDir>/projectmap.kconf
//   manager.setProject("compiler");       // KESTRO_PROJECT=compiler, project ID file written
//   manager.run("tool", "a \"b c\"");     // starts kestro_tool or tool found on the search path
//
// The map (a .kconf file) holds plavo.projects with one child per project. A child's name is
// a project entry, "name" or "name(flag,flag)" with the flags global and default. A global
// project is eligible for everybody; any other project must be a list whose elements are user
// entries ("alice", "bob(default)"): it is eligible for the users listed, and a user's first
// project in file order marked default is that user's default. Without one, the last global
// project marked default is the default; without that, "N/A". The optional plavo.gui holds
// title (any type) and logo (type file) for the selection window.
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "ConfNode.h"
#include "Exception.h"

namespace Kestro {

class Manager : public KestroCorelib::Throws {
 public:
  // The map file could not be read or has no plavo.projects. Plain text.
  KESTRO_EXCEPTION(InvalidMapFile);
  // The project ID file could not be written: "Failed to save '<file name>' file", then a
  // nested line with the reason, naming the owner of a file that another user made first:
  //   FailedToSave: Failed to save '/opt/kestro/log/temp/project_id-alice-3.idval' file
  //   Exception: /opt/kestro/log/temp/project_id-alice-3.idval belongs to the user mallory
  //   and cannot be replaced
  KESTRO_EXCEPTION(FailedToSave);
  // The launched program was not found or could not be started; a failed start has a nested
  // line with the system's reason and the path as the system writes it.
  KESTRO_EXCEPTION(FailedToRun);
  // A directory read from the registry is not an absolute path once references are
  // expanded, or holds a NUL byte: it would be resolved against the current directory or cut
  // short, so the map would be read and the ID file written somewhere else.
  KESTRO_EXCEPTION(InvalidDirectory);

  // Where reports go: the text and whether it is quiet. The frame's report in the program.
  using Reporter = std::function<void(const std::string& text, bool quiet)>;

  struct ProjectEntry {
    std::string name;
    bool isDefault = false;
    bool isGlobal = false;
  };

  // What one user gets from a map: the projects that user may work on and the default that
  // is registered for them ("N/A" when there is none).
  struct Eligibility {
    std::set<std::string> eligible;
    std::string defaultProject;
  };

  Manager();
  virtual ~Manager();

  // Stores the verbose switch and where reports go.
  void setReporter(bool verboseReports, Reporter report);

  // Fills user and session from the system information, and the two directories: an empty
  // temporary directory becomes the installation directory (local value
  // "Resources\InstallDir") + "/log/temp", an empty configuration directory the local value
  // "Resources\ConfigurationDir". Both are then normalised (environment references, "." and
  // "..", long names), lose trailing separators and get forward slashes:
  //   init("%KESTRO%\\log\\temp\\", "")  // tempDir "/opt/kestro/log/temp" with KESTRO=/opt/kestro
  // Errors of the configuration agent (a missing registry value) pass on unchanged. A value
  // read from the registry that holds a NUL byte, or is not absolute once references are
  // expanded (an unset %VAR% stays as it is), raises InvalidDirectory naming the value.
  void init(const std::string& temporaryDirectory, const std::string& configurationDirectory);

  // Reads the map at path (empty: confDir + "/projectmap.kconf") and fills eligible,
  // defaultProject, title and logo. A missing map is no error: nothing is eligible, the
  // default is "N/A". Raises InvalidMapFile without plavo.projects, ConfNode::Get_WrongType
  // for a non-global project that is no list or a logo that is no file, and passes on the
  // reader's errors.
  void readMap(const std::string& path);

  // readMap's rules for one user on a map's plavo.projects node; readMap applies them to the
  // current user, plavo-admin to any user. Raises ConfNode::Get_WrongType for a non-global
  // project that is no list.
  //   eligibilityOf(*projects, "alice")   // {{"compiler", "handbook", ...}, "compiler"}
  static Eligibility eligibilityOf(const KestroCorelib::ConfNode& projects,
                                   const std::string& userName);

  // The users who may work on project under a map's plavo.projects node, the inverse of
  // eligibilityOf: true when an entry of that name is global (everybody may); otherwise
  // false with the users of every list entry of that name in users, in file order, each
  // once. Raises ConfNode::Get_WrongType as eligibilityOf does.
  static bool usersOf(const KestroCorelib::ConfNode& projects, const std::string& project,
                      std::vector<std::string>& users);

  // The map file readMap reads: path, or confDir + "/projectmap.kconf" when path is empty.
  std::string mapPath(const std::string& path) const;
  // The map file read into a tree; InvalidMapFile when the reader yields none, and the
  // reader's errors. withElementLines: the tree also knows the line of each list element
  // (ConfNode::getElementLine), for messages that point at a user's entry.
  KestroCorelib::ConfNodePtr loadMap(const std::string& path, bool withElementLines = false) const;
  // The map's plavo.projects node; InvalidMapFile naming path when it has none.
  static KestroCorelib::ConfNodePtr findProjects(const KestroCorelib::ConfNodePtr& map,
                                                 const std::string& path);

  // Reads only plavo.gui of the map at path into title and logo. A logo that names no
  // existing regular file falls back to confDir's header_kestro.gif, then header_kestro.png.
  void readGui(const std::string& path);
  // readGui on a map already loaded.
  void readGuiFrom(const KestroCorelib::ConfNodePtr& map);

  // Splits an entry text into its name and flags; the flags are lower-cased, nothing is
  // trimmed, unknown flags are ignored (and appended to ignoredFlags when it is given):
  //   parseEntry("g(Global,default)")  // {"g", isDefault, isGlobal}
  //   parseEntry("p(default, global)") // {"p", isDefault}: " global" is not a flag
  static ProjectEntry parseEntry(const std::string& text,
                                 std::vector<std::string>* ignoredFlags = nullptr);

  // Registers name if it is eligible and returns true. Otherwise registers the project
  // chosen earlier or the default, reports the eligible projects (when verbose) and returns
  // false. Raises FailedToSave when the project ID file cannot be written.
  bool setProject(const std::string& name);

  // Sets KESTRO_PROJECT to the chosen project (or the default) and saves the ID file.
  void apply();

  // Writes tempDir/project_id-<user>-<session>.idval holding "time=<ms>\nproject=<name>",
  // mode 0644 less the umask.
  // The file is replaced as a whole (new file beside it, then renamed over it), so readers
  // never see a torn file and a link planted under the name is replaced, not followed.
  // Raises FailedToSave naming the file.
  void save();

  // Starts executable with the arguments text, without waiting. A bare name is searched as
  // "kestro_" + name, then name, through the subfolders of the program folder, the current
  // directory and PATH (each with its parent folders); a name with a directory part must
  // exist. Raises FailedToRun.
  void run(const std::string& executable, const std::string& arguments);

  // The project ID file's name for the current user and session. A '/' or '\\' in the user
  // name (DOMAIN\\alice) becomes '+', so the file always lands directly in tempDir:
  //   user "CORP\\alice", session 3  ->  tempDir + "/project_id-CORP+alice-3.idval"
  std::string getIdFileName() const;

  const std::set<std::string>& getEligible() const { return eligible; }
  const std::string& getDefaultProject() const { return defaultProject; }
  const std::string& getChosenProject() const { return chosenProject; }
  const std::string& getTitle() const { return title; }
  const std::string& getLogo() const { return logo; }
  const std::string& getTempDir() const { return tempDir; }
  const std::string& getConfDir() const { return confDir; }
  const std::string& getUser() const { return user; }
  const std::string& getSession() const { return session; }
  // Asks on behalf of another user: readMap then works out that user's projects (for
  // plavo-admin's questions; a project registered afterwards would go to that user's file).
  void setUser(const std::string& name) { user = name; }

 private:
  static std::string installationDirectory(const std::string& key);
  void report(const std::string& text) const;
  void reportNotEligible(const std::string& message) const;

  bool verbose = false;
  Reporter reporter;
  std::string tempDir;
  std::string confDir;
  std::string user;
  std::string session;
  std::set<std::string> eligible;
  std::string defaultProject;
  std::string chosenProject;
  std::string title;
  std::string logo;
};

// Where the launcher search's warnings go; the program writes them to standard error.
using SearchWarning = std::function<void(const std::string& text)>;
void warnOnStandardError(const std::string& text);

// Launcher search. findExecutable looks for "kestro_" + name and then name (on Windows with
// ".exe" appended unless the name ends in .exe) through searchDirectories, the extra folders
// first. True with the full path in found.
bool findExecutable(const std::string& name, std::string& found,
                    const std::string& extraDirectories = std::string(),
                    const SearchWarning& warn = warnOnStandardError);

// Looks for name in: the lines of extraDirectories, the current directory, the folders of the
// environment variable extraVariable (if named and set) and those of PATH (unless
// extraVariable is PATH). Each folder is normalised and searched with its parent folders;
// a folder is searched once in the whole search. True with folder + "\" + name in found.
// A file there that somebody other than the user and root could change is passed over
// (platform::checkSearchCandidate), with one warning for it:
//   Warning: Passed over "/tmp/kestro_tool" in the search for a program: it belongs to the
//   user mallory
bool searchDirectories(const std::string& name, std::string& found,
                       const std::string& extraVariable, const std::string& extraDirectories,
                       const SearchWarning& warn = warnOnStandardError);

// The launcher's extra folders: the subfolders of the program folder, one "folder/name" line
// each, in byte order; empty when it cannot be listed.
std::string programFolderDirectories();

}  // namespace Kestro
