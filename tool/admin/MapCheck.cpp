#include "MapCheck.h"

#include <algorithm>
#include <iterator>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "ConfFile.h"
#include "ConfNode.h"
#include "Exception.h"
#include "Manager.h"
#include "StringTools.h"

using KestroCorelib::ConfNode;
using KestroCorelib::ConfNodePtr;

namespace Kestro {

namespace {

std::string quote(const std::string& text) { return "\"" + text + "\""; }

bool hasControl(const std::string& name) {
  return std::any_of(name.begin(), name.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 32 || c == 127; });
}

// What is wrong with a project name, or "".
std::string projectNameProblem(const std::string& name) {
  if (name.empty()) return "the project name is empty";
  if (name.find_first_of("*?") != std::string::npos) {
    return "project name " + quote(name) +
           " holds '*' or '?', which the selection window's "
           "filter reads as wildcards";
  }
  if (hasControl(name)) return "project name " + quote(name) + " holds a control character";
  return "";
}

// What is wrong with a user name, or "". The characters are those no file name may hold on
// either system: the name becomes part of the project ID file's name.
std::string userNameProblem(const std::string& name) {
  if (name.empty()) return "a user name is empty";
  if (hasControl(name)) return "user name " + quote(name) + " holds a control character";
  if (name.find_first_of("/\\:*?\"<>|") != std::string::npos) {
    return "user name " + quote(name) +
           " holds a character that a file name cannot hold "
           "(one of / \\ : * ? \" < > |)";
  }
  return "";
}

class Checker {
 public:
  explicit Checker(const ConfNode& projectsNode) : projects(projectsNode) {}

  std::vector<MapCheck::Warning> run(const MapCheck::UserLookup& knownUser) {
    const std::vector<ConfNodePtr>& children = projects.getChildren();
    for (const ConfNodePtr& child : children) checkProject(*child);
    reportGlobalDefaults();
    if (knownUser) {
      for (const auto& [name, line] : firstSeen) {
        if (!name.empty() && !knownUser(name)) {
          later(line, "unknown-user", "user " + quote(name) + " is not known to the system");
        }
      }
    }
    // The pass gave its warnings in line order; the few found at the end join them.
    const auto byLine = [](const MapCheck::Warning& a, const MapCheck::Warning& b) {
      return a.line < b.line;
    };
    std::stable_sort(deferred.begin(), deferred.end(), byLine);
    std::vector<MapCheck::Warning> all;
    all.reserve(warnings.size() + deferred.size());
    std::merge(std::make_move_iterator(warnings.begin()), std::make_move_iterator(warnings.end()),
               std::make_move_iterator(deferred.begin()), std::make_move_iterator(deferred.end()),
               std::back_inserter(all), byLine);
    return all;
  }

 private:
  struct Mark {
    std::string project;
    int64_t line;
  };

  void warn(int64_t line, const char* kind, std::string text) {
    warnings.push_back({line, kind, std::move(text)});
  }
  void later(int64_t line, const char* kind, std::string text) {
    deferred.push_back({line, kind, std::move(text)});
  }

  void checkProject(const ConfNode& child) {
    ignored.clear();
    const Manager::ProjectEntry entry = Manager::parseEntry(child.getName(), &ignored);
    const int64_t line = child.getLine();
    for (const std::string& flag : ignored) {
      warn(line, "unknown-flag",
           "flag " + quote(flag) + " of project " + quote(entry.name) + " is ignored");
    }
    const std::string problem = projectNameProblem(entry.name);
    if (!problem.empty()) warn(line, "bad-name", problem);
    const bool isList = child.getType() == ConfNode::TypeList;
    if (entry.isGlobal) {
      if (isList && !child.getList().empty()) {
        warn(child.getElementLine(0), "global-elements",
             "the users listed in global project " + quote(entry.name) +
                 " are ignored: everybody may work on it");
      }
      if (entry.isDefault) globalDefaults.push_back({entry.name, line});
      return;
    }
    if (!isList) {
      warn(line, "not-a-list",
           "project " + quote(entry.name) + " is neither global nor a list (type=list): " +
               "every user's run of plavo fails on it");
      return;
    }
    checkUsers(child, entry.name);
  }

  // Whether the user has an earlier entry in the current project (its line in `earlier`);
  // otherwise the user is noted with this line.
  bool listedBefore(const std::string& user, int64_t line, int64_t& earlier) {
    if (inLongProject) {
      const auto found = longProject.try_emplace(user, line);
      earlier = found.first->second;
      return !found.second;
    }
    // Lists are short: a linear look at a reused table, without an allocation per user.
    for (size_t k = 0; k < inProjectCount; ++k) {
      if (inProject[k].first == user) {
        earlier = inProject[k].second;
        return true;
      }
    }
    if (inProjectCount == inProject.size()) inProject.emplace_back();
    inProject[inProjectCount].first = user;
    inProject[inProjectCount].second = line;
    ++inProjectCount;
    return false;
  }

  void checkUsers(const ConfNode& child, const std::string& project) {
    const auto& elements = child.getList();
    inProjectCount = 0;
    // A long list gets a hash table instead of the linear look.
    inLongProject = elements.size() > 32;
    if (inLongProject) longProject.clear();
    for (size_t j = 0; j < elements.size(); ++j) {
      const int64_t line = child.getElementLine(j);
      ignored.clear();
      const Manager::ProjectEntry user = Manager::parseEntry(elements[j], &ignored);
      if (user.isGlobal) ignored.emplace_back("global");
      for (const std::string& flag : ignored) {
        warn(line, "unknown-flag",
             "flag " + quote(flag) + " of user " + quote(user.name) + " in project " +
                 quote(project) + " is ignored");
      }
      if (firstSeen.try_emplace(user.name, line).second) {
        const std::string problem = userNameProblem(user.name);
        if (!problem.empty()) warn(line, "bad-name", problem);
      }
      int64_t earlier = 0;
      if (listedBefore(user.name, line, earlier)) {
        warn(line, "listed-twice",
             "user " + quote(user.name) + " is listed twice in project " + quote(project) +
                 "; only the first entry (line " + std::to_string(earlier) + ") counts");
        continue;
      }
      // Only a user's first entry in a project can make it that user's default, and only
      // the first project in file order that does counts.
      if (!user.isDefault) continue;
      const auto first = firstDefault.try_emplace(user.name, Mark{project, line});
      if (first.second) continue;
      warn(line, "default-twice",
           "user " + quote(user.name) + " is marked default in project " + quote(project) +
               " too; only the first, " + quote(first.first->second.project) + " (line " +
               std::to_string(first.first->second.line) + "), counts");
    }
  }

  void reportGlobalDefaults() {
    if (globalDefaults.size() < 2) return;
    const Mark& last = globalDefaults.back();
    for (size_t k = 0; k + 1 < globalDefaults.size(); ++k) {
      later(globalDefaults[k].line, "global-default-twice",
            "global project " + quote(globalDefaults[k].project) +
                " is marked default, but the last global default, " + quote(last.project) +
                " (line " + std::to_string(last.line) + "), counts");
    }
  }

  const ConfNode& projects;
  std::vector<MapCheck::Warning> warnings;  // found in the pass, in line order
  std::vector<MapCheck::Warning> deferred;  // found at the end
  std::vector<std::string> ignored;         // reused for every entry
  // The users of the current project with their lines: the first inProjectCount slots.
  std::vector<std::pair<std::string, int64_t>> inProject;
  size_t inProjectCount = 0;
  bool inLongProject = false;
  std::unordered_map<std::string, int64_t> longProject;
  std::unordered_map<std::string, int64_t> firstSeen;  // every user, with the first line
  std::unordered_map<std::string, Mark> firstDefault;  // every user's first default mark
  std::vector<Mark> globalDefaults;
};

}  // namespace

MapCheck::Result MapCheck::run(const std::string& path, const UserLookup& knownUser) {
  Result result;
  if (!KestroCorelib::StringTools::isRegularFile(path)) {
    result.error = "ERROR: Map file " + quote(path) + " does not exist or is not a regular file";
    return result;
  }
  // The errors plavo would stop on, with plavo's texts: the reader's, a missing
  // plavo.projects, a logo that is no file.
  ConfNodePtr projects;
  try {
    Manager manager;
    const ConfNodePtr map = manager.loadMap(path, true);
    manager.readGuiFrom(map);
    projects = Manager::findProjects(map, path);
  } catch (const KestroCorelib::Exception& e) {
    result.error = e.getText(true);
    return result;
  }
  result.warnings = Checker(*projects).run(knownUser);
  return result;
}

}  // namespace Kestro
