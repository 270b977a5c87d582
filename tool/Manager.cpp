#include "Manager.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ChildProcess.h"
#include "ConfAgent.h"
#include "ConfFile.h"
#include "DateTime.h"
#include "OsFiles.h"
#include "ParamStream.h"
#include "StringTools.h"
#include "SystemBase.h"
#include "toolplatform/PlatformChildProcess.h"
#include "toolplatform/PlatformManager.h"

using KestroCorelib::ConfNodePtr;
using KestroCorelib::ParamStream;
using KestroCorelib::StringTools;

namespace Kestro {

namespace {

const char* const kMapFileName = "/projectmap.kconf";
const char* const kNotAvailable = "N/A";
// Put before a program name by the launcher search.
constexpr std::string_view kToolPrefix = "kestro_";

// Path operations of the string tools, then forward slashes: the directories are kept in
// the form the project ID file name and the messages show.
std::string normaliseDirectory(std::string path) {
  StringTools::normalizePath(path);
  StringTools::removeTrailingBackslashes(path);
  StringTools::replaceChar(path, '\\', '/');
  return path;
}

// A nested line of an error holding text as it is ('%', '@' and braces included).
KestroCorelib::Exception cause(const std::string& text) {
  ParamStream parameters;
  parameters << text;
  return KestroCorelib::Exception("%", parameters);
}

// Whether a user entry ("alice", "alice(default,x)") is one of `user`: the text before its
// first '(' is the name. A name holding '(' is never that text.
bool isEntryOf(std::string_view entry, std::string_view user) {
  // Where the name must end is the cheaper test, and rules out most entries of other users.
  const bool endsThere =
      entry.size() == user.size() || (entry.size() > user.size() && entry[user.size()] == '(');
  return endsThere && entry.compare(0, user.size(), user) == 0 &&
         user.find('(') == std::string_view::npos;
}

std::string lowerExtension(const std::string& path) {
  std::string extension = StringTools::extension(path);
  return StringTools::toLower(extension);
}

}  // namespace

Manager::Manager() : reporter([](const std::string&, bool) {}) {}

Manager::~Manager() = default;

void Manager::setReporter(bool verboseReports, Reporter report) {
  verbose = verboseReports;
  reporter = report ? std::move(report) : Reporter([](const std::string&, bool) {});
}

void Manager::init(const std::string& temporaryDirectory,
                   const std::string& configurationDirectory) {
  user = KestroCorelib::SystemInfo::get(KestroCorelib::SystemInfo::CurrentUser);
  session = KestroCorelib::SystemInfo::get(KestroCorelib::SystemInfo::SessionId);
  tempDir = temporaryDirectory;
  confDir = configurationDirectory;
  if (tempDir.empty()) tempDir = installationDirectory("Resources\\InstallDir") + "/log/temp";
  if (confDir.empty()) confDir = installationDirectory("Resources\\ConfigurationDir");
  tempDir = normaliseDirectory(tempDir);
  confDir = normaliseDirectory(confDir);
}

std::string Manager::installationDirectory(const std::string& key) {
  const std::string value = KestroCorelib::ConfAgent().getLocalString(key, false);
  // Every later use goes through C strings, which would end the path at a NUL.
  if (value.find('\0') != std::string::npos) {
    std::string shown;
    for (char c : value) shown += c == '\0' ? std::string("<NUL>") : std::string(1, c);
    ParamStream parameters;
    parameters << key << shown;
    throw InvalidDirectory("Registry value \"%\" holds a NUL byte: \"%\"", KESTRO_SOURCE_TAG,
                           parameters);
  }
  std::string expanded = value;
  StringTools::normalizePath(expanded);
  if (!KestroCorelib::platform::isAbsoluteOsPath(expanded)) {
    ParamStream parameters;
    parameters << key << value << expanded;
    throw InvalidDirectory(
        "Registry value \"%\" is not an absolute path: \"%\" (after expanding references: "
        "\"%\")",
        KESTRO_SOURCE_TAG, parameters);
  }
  return value;
}

ConfNodePtr Manager::loadMap(const std::string& path, bool withElementLines) const {
  KestroCorelib::ConfFile reader;
  reader.setElementLines(withElementLines);
  ConfNodePtr map = reader.load(path);
  if (!map) {
    ParamStream parameters;
    parameters << path;
    throw InvalidMapFile("Failed to read map file \"%\"", KESTRO_SOURCE_TAG, parameters);
  }
  return map;
}

std::string Manager::mapPath(const std::string& path) const {
  return path.empty() ? confDir + kMapFileName : path;
}

ConfNodePtr Manager::findProjects(const ConfNodePtr& map, const std::string& path) {
  ConfNodePtr projects = map->findByPath("plavo.projects");
  if (!projects) {
    ParamStream parameters;
    parameters << path;
    throw InvalidMapFile("Could not find entry \"plavo.projects\" in map file \"%\"",
                         KESTRO_SOURCE_TAG, parameters);
  }
  return projects;
}

void Manager::readMap(const std::string& path) {
  const std::string file = mapPath(path);
  if (!StringTools::isRegularFile(file)) {
    defaultProject = kNotAvailable;
    return;
  }
  // One load serves both the window's header and the projects: a map of many projects
  // is read once.
  const ConfNodePtr map = loadMap(file);
  readGuiFrom(map);
  Eligibility result = eligibilityOf(*findProjects(map, file), user);
  eligible = std::move(result.eligible);
  defaultProject = std::move(result.defaultProject);
}

Manager::Eligibility Manager::eligibilityOf(const KestroCorelib::ConfNode& projects,
                                            const std::string& userName) {
  Eligibility result;
  std::string fallbackDefault;
  // A large map has 100,000 projects of a few users each: the children are walked in
  // place and an element is parsed only once its name is the user's.
  // Projects come in name order in most maps: each is inserted at the end in constant time.
  auto addEligible = [&result](const std::string& project) {
    result.eligible.emplace_hint(result.eligible.end(), project);
  };
  for (const ConfNodePtr& child : projects.getChildren()) {
    // Most project names carry no flags and need no parsing.
    const std::string& childName = child->getName();
    const bool flagged = childName.find('(') != std::string::npos;
    const ProjectEntry project = flagged ? parseEntry(childName) : ProjectEntry();
    const std::string& projectName = flagged ? project.name : childName;
    if (project.isGlobal) {
      addEligible(projectName);
      if (project.isDefault) fallbackDefault = projectName;
      continue;
    }
    for (const std::string& element : child->getList()) {
      if (!isEntryOf(element, userName)) continue;
      const ProjectEntry userEntry = parseEntry(element);
      addEligible(projectName);
      if (userEntry.isDefault && result.defaultProject.empty()) {
        result.defaultProject = projectName;
      }
      break;
    }
  }
  if (result.defaultProject.empty()) {
    result.defaultProject = fallbackDefault.empty() ? kNotAvailable : fallbackDefault;
  }
  return result;
}

bool Manager::usersOf(const KestroCorelib::ConfNode& projects, const std::string& project,
                      std::vector<std::string>& users) {
  // Every project is looked at, as eligibilityOf does: a project that is no list fails
  // plavo for everybody, so it fails this question too.
  bool everybody = false;
  std::set<std::string> seen;
  for (const ConfNodePtr& child : projects.getChildren()) {
    const ProjectEntry entry = parseEntry(child->getName());
    if (entry.isGlobal) {
      everybody = everybody || entry.name == project;
      continue;
    }
    const auto& elements = child->getList();
    if (entry.name != project) continue;
    for (const std::string& element : elements) {
      std::string name = element.substr(0, element.find('('));
      if (seen.insert(name).second) users.push_back(std::move(name));
    }
  }
  if (everybody) users.clear();
  return everybody;
}

void Manager::readGui(const std::string& path) { readGuiFrom(loadMap(mapPath(path))); }

void Manager::readGuiFrom(const ConfNodePtr& map) {
  const ConfNodePtr gui = map->findByPath("plavo.gui");
  if (!gui) return;
  for (const std::string& childName : gui->getChildNames()) {
    if (childName == "title") {
      title = gui->getChild(childName)->getValue();
    } else if (childName == "logo") {
      logo = gui->getChild(childName)->getFile();
    }
  }
  if (!StringTools::isRegularFile(logo)) logo.clear();
  if (logo.empty()) {
    for (const char* image : {"/header_kestro.gif", "/header_kestro.png"}) {
      if (StringTools::isRegularFile(confDir + image)) {
        logo = confDir + image;
        break;
      }
    }
  }
}

Manager::ProjectEntry Manager::parseEntry(const std::string& text,
                                          std::vector<std::string>* ignoredFlags) {
  ProjectEntry entry;
  const size_t open = text.find('(');
  entry.name = text.substr(0, open);
  if (open == std::string::npos) return entry;
  std::string_view flags = std::string_view(text).substr(open + 1);
  if (!flags.empty() && flags.back() == ')') flags.remove_suffix(1);
  while (!flags.empty()) {
    const size_t comma = flags.find(',');
    const std::string_view flag = flags.substr(0, comma);
    if (StringTools::equalsNoCase(flag, "global")) {
      entry.isGlobal = true;
    } else if (StringTools::equalsNoCase(flag, "default")) {
      entry.isDefault = true;
    } else if (ignoredFlags != nullptr && !flag.empty()) {
      ignoredFlags->emplace_back(flag);
    }
    if (comma == std::string_view::npos) break;
    flags.remove_prefix(comma + 1);
  }
  return entry;
}

bool Manager::setProject(const std::string& name) {
  if (eligible.count(name) != 0) {
    chosenProject = name;
    apply();
    report("Set project: " + name);
    return true;
  }
  apply();
  reportNotEligible("Cannot set project \"" + name +
                    "\" (not eligible). Default project was set instead.");
  return false;
}

void Manager::apply() {
  const std::string& project = chosenProject.empty() ? defaultProject : chosenProject;
  StringTools::setEnv("KESTRO_PROJECT", project);
  save();
}

std::string Manager::getIdFileName() const {
  // Account names such as DOMAIN\alice would otherwise put the file into a subdirectory,
  // which in a shared directory anybody could have made first.
  std::string userPart = user;
  std::replace(userPart.begin(), userPart.end(), '\\', '+');
  std::replace(userPart.begin(), userPart.end(), '/', '+');
  return tempDir + "/project_id-" + userPart + "-" + session + ".idval";
}

void Manager::save() {
  const int64_t now = KestroCorelib::DateTime::now();
  const std::string fileName = getIdFileName();
  const std::string& project = chosenProject.empty() ? defaultProject : chosenProject;
  const std::string content =
      "time=" + std::to_string(static_cast<uint64_t>(now)) + "\nproject=" + project;
  std::string reason;
  if (!platform::replaceFile(fileName, content, reason)) {
    ParamStream parameters;
    parameters << fileName;
    FailedToSave error("Failed to save '%' file", KESTRO_SOURCE_TAG, parameters);
    error.addNested(cause(reason));
    throw error;
  }
}

void Manager::run(const std::string& executable, const std::string& arguments) {
  std::string exe = executable;
  const std::string extension = lowerExtension(exe);
  if (platform::appendsExeSuffix() && extension != "bat" && extension != "exe") exe += ".exe";

  std::string slashed = exe;
  StringTools::toBackslashes(slashed);
  const bool bareName = slashed.find('\\') == std::string::npos;
  bool found =
      bareName ? findExecutable(exe, exe, programFolderDirectories()) : StringTools::exists(exe);
  if (found && bareName) found = StringTools::exists(exe);
  if (!found) {
    ParamStream parameters;
    parameters << executable;
    throw FailedToRun("Failed to run \"%\" (could not find path to executable)", KESTRO_SOURCE_TAG,
                      parameters);
  }
  ChildProcess child(exe, arguments, true);
  if (!child.start()) {
    const std::string reason = platform::startFailure(exe);
    ParamStream parameters;
    parameters << exe << arguments;
    FailedToRun error("Failed to run \"%\" with arguments \"%\"", KESTRO_SOURCE_TAG, parameters);
    error.addNested(cause(reason));
    throw error;
  }
}

void Manager::report(const std::string& text) const {
  if (verbose) reporter(text + "\n", false);
}

void Manager::reportNotEligible(const std::string& message) const {
  if (!verbose) return;
  std::string text = "ERROR: " + message + "\n" + "Eligible projects are:\n";
  for (const std::string& project : eligible) text += "   - " + project + "\n";
  text += "Default project: " + defaultProject + "\n";
  reporter(text, false);
}

std::string programFolderDirectories() {
  std::string folder = KestroCorelib::specialFolder(KestroCorelib::SpecialFolder::ProgramFiles);
  StringTools::removeTrailingBackslashes(folder);
  if (folder.empty() || !StringTools::isDirectory(folder)) return std::string();
  std::vector<std::string> names = platform::listSubdirectories(folder);
  std::sort(names.begin(), names.end());
  std::string lines;
  for (const std::string& name : names) lines += folder + "/" + name + "\n";
  return lines;
}

void warnOnStandardError(const std::string& text) {
  std::fputs((text + "\n").c_str(), stderr);
  std::fflush(stderr);
}

bool findExecutable(const std::string& name, std::string& found,
                    const std::string& extraDirectories, const SearchWarning& warn) {
  const std::string suffix =
      !platform::appendsExeSuffix() || lowerExtension(name) == "exe" ? "" : ".exe";
  const std::string candidate = name.compare(0, kToolPrefix.size(), kToolPrefix) == 0
                                    ? name
                                    : std::string(kToolPrefix) + name;
  if (searchDirectories(candidate + suffix, found, "", extraDirectories, warn)) return true;
  return searchDirectories(candidate.substr(kToolPrefix.size()) + suffix, found, "",
                           extraDirectories, warn);
}

bool searchDirectories(const std::string& name, std::string& found,
                       const std::string& extraVariable, const std::string& extraDirectories,
                       const SearchWarning& warn) {
  const char separator = platform::pathListSeparator();
  std::vector<std::string> directories =
      StringTools::split(extraDirectories, '\n', StringTools::unlimited, true);
  directories.push_back(StringTools::currentDirectory());
  std::string value;
  if (!extraVariable.empty() && StringTools::getEnv(extraVariable, value)) {
    for (const std::string& piece : StringTools::split(value, separator))
      directories.push_back(piece);
  }
  value.clear();
  if (StringTools::compareNoCase(extraVariable, "path") != 0 &&
      StringTools::getEnv("PATH", value)) {
    for (const std::string& piece :
         StringTools::split(value, separator, StringTools::unlimited, true)) {
      directories.push_back(piece);
    }
  }

  std::set<std::string> visited;
  for (std::string directory : directories) {
    StringTools::normalizePath(directory);
    StringTools::removeTrailingBackslashes(directory);
    // Parents are searched too, each folder once in the whole search.
    while (!directory.empty() && visited.count(directory) == 0) {
      const std::string path = directory + "\\" + name;
      std::string reason;
      const platform::SearchCandidate candidate = platform::checkSearchCandidate(path, reason);
      if (candidate == platform::SearchCandidate::Usable) {
        found = path;
        return true;
      }
      if (candidate == platform::SearchCandidate::Untrusted && warn) {
        warn("Warning: Passed over \"" + KestroCorelib::platform::osPath(path) +
             "\" in the search for a program: " + reason);
      }
      visited.insert(directory);
      directory = StringTools::parentDirectory(directory);
    }
  }
  return false;
}

}  // namespace Kestro
