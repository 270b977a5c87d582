#include "PlavoAdmin.h"

#include <algorithm>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "ConfNode.h"
#include "Exception.h"
#include "Manager.h"
#include "MapCheck.h"
#include "Registrations.h"
#include "StringTools.h"
#include "adminplatform/PlatformAdmin.h"

namespace Kestro {

using KestroCorelib::StringTools;
using nlohmann::json;

namespace {

// The options each command accepts beside --json and the standard ones.
const std::map<std::string, std::set<std::string>> kCommandOptions = {
    {"check", {"json", "users"}}, {"list", {"json", "user"}},           {"users", {"json"}},
    {"who", {"json", "user"}},    {"prune", {"older-than", "dry-run"}},
};

const int64_t kMaxDays = 1000000;

// Whether text is valid UTF-8 (shortest forms, no surrogates).
bool isUtf8(const std::string& text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = byte(i);
    size_t length = 0;
    uint32_t min = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if (c >= 0xC2 && c <= 0xDF) {
      length = 1;
      min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
      length = 2;
      min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 3;
      min = 0x10000;
    } else {
      return false;
    }
    if (i + length >= text.size()) return false;
    uint32_t code = c & (0x3F >> length);
    for (size_t k = 1; k <= length; ++k) {
      if ((byte(i + k) & 0xC0) != 0x80) return false;
      code = (code << 6) | (byte(i + k) & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length + 1;
  }
  return true;
}

// JSON strings must be UTF-8. Names in a map are 8-bit text: valid UTF-8 is passed on as it
// is, anything else is read byte for byte as Latin-1, as the library converts narrow text.
std::string utf8(const std::string& text) {
  if (isUtf8(text)) return text;
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      out += c;
    } else {
      out += static_cast<char>(0xC0 | (byte >> 6));
      out += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return out;
}

void printJson(const json& document) { std::cout << document.dump(2) << "\n"; }

std::string orDash(const std::string& text) { return text.empty() ? "-" : text; }

}  // namespace

PlavoAdmin::PlavoAdmin(int argc, char** argv)
    : AppFrame("plavo-admin", "plavo-admin", true, "Kestro, Inc.") {
  setArguments(argc, argv);
  // initApplication's steps, except that a command-line error ends the run: an
  // administrator's typo must not run another command than the one meant.
  if (!onInit()) state = StateFailed;
  initToolkit();
  if (!parseCommandLine()) state = StateFailed;
}

PlavoAdmin::~PlavoAdmin() {
  try {
    exitApplication();
  } catch (...) {
    state = StateFailed;
  }
}

bool PlavoAdmin::onInit() {
  appLogger.setSourceName("admin");
  parser.setAllowExtraArguments(true);
  parser.addFlag("Write the result as JSON (check, list, users, who)", 'j', "json");
  parser.addArgOption("The user to ask about (list, who; default: you)", 'u', "user", {});
  parser.addFlag("Also look up every user name in the system (check)", 0, "users");
  parser.addArgOption("Remove ID files not rewritten for this many days (prune)", 0, "older-than",
                      {});
  parser.addFlag("Only say what prune would remove", 'n', "dry-run");

  parser.addHelpText("Checks the project map of plavo and shows what plavo makes of it.");
  parser.addHelpText("Commands:");
  parser.addHelpText(
      "  check [MAP]: errors and warnings of MAP (default: the installation's "
      "map); exit code 0 clean, 1 warnings only, 2 errors.");
  parser.addHelpText("  list: the projects a user may work on and the default plavo registers.");
  parser.addHelpText("  users PROJECT: the users who may work on PROJECT.");
  parser.addHelpText("  who: the registrations in the installation's log/temp, newest first.");
  parser.addHelpText("  prune: removes ID files not rewritten for --older-than days.");
  parser.addHelpText("");
  parser.addHelpText("Example, before installing a new map:");
  parser.addHelpText("     plavo-admin check new.kconf && mv new.kconf projectmap.kconf");
  parser.addHelpText("Example, what bob gets:");
  parser.addHelpText("     plavo-admin list --user bob");

  // A console program: the toolkit is never initialised, no display is needed.
  deferToolkitInit = true;
  return true;
}

bool PlavoAdmin::onExit() { return true; }

int32_t PlavoAdmin::onRun() {
  std::vector<std::string> arguments;
  std::string argument;
  while (parser.nextPositional(argument)) arguments.push_back(argument);
  if (arguments.empty()) {
    report("ERROR: No command given: check, list, users, who or prune (see --help)");
    return 2;
  }
  const std::string command = arguments.front();
  arguments.erase(arguments.begin());
  const auto known = kCommandOptions.find(command);
  if (known == kCommandOptions.end()) {
    report("ERROR: Unknown command \"" + command + "\" (see --help)");
    return 2;
  }
  for (const char* option : {"json", "user", "users", "older-than", "dry-run"}) {
    if (parser.isSet(option) && known->second.count(option) == 0) {
      report("ERROR: --" + std::string(option) + " does not apply to " + command);
      return 2;
    }
  }
  const size_t most = command == "check" || command == "users" ? 1 : 0;
  if (arguments.size() > most || (command == "users" && arguments.empty())) {
    report(arguments.size() > most ? "ERROR: Unexpected argument \"" + arguments[most] + "\""
                                   : "ERROR: users needs a project name");
    return 2;
  }
  asJson = parser.isSet("json");
  try {
    if (command == "check") return check(arguments);
    if (command == "list") return list();
    if (command == "users") return users(arguments.front());
    if (command == "who") return who();
    return prune();
  } catch (const KestroCorelib::Exception& e) {
    report(e.getText(true));
    return 2;
  }
}

int32_t PlavoAdmin::check(const std::vector<std::string>& arguments) {
  std::string path;
  if (arguments.empty()) {
    Manager manager;
    manager.init("", "");
    path = manager.mapPath("");
  } else {
    path = arguments.front();
  }
  MapCheck::UserLookup lookup;
  if (parser.isSet("users")) lookup = platform::isKnownUser;
  const MapCheck::Result result = MapCheck::run(path, lookup);
  if (asJson) {
    // Written piece by piece, each value through the JSON library: a large map can give a
    // hundred thousand warnings, and a document tree of them costs several times the map.
    std::string text = "{\n  \"error\": " +
                       (result.error.empty() ? json(nullptr) : json(utf8(result.error))).dump() +
                       ",\n  \"exit\": " + std::to_string(result.exitCode()) +
                       ",\n  \"file\": " + json(utf8(path)).dump() + ",\n  \"warnings\": [";
    const char* separator = "\n    ";
    for (const MapCheck::Warning& w : result.warnings) {
      text += separator;
      text += json({{"kind", w.kind}, {"line", w.line}, {"message", utf8(w.text)}}).dump();
      separator = ",\n    ";
    }
    text += result.warnings.empty() ? "]\n}\n" : "\n  ]\n}\n";
    std::cout << text;
    return result.exitCode();
  }
  if (!result.error.empty()) {
    std::cout << result.error << "\n";
    return result.exitCode();
  }
  // One buffer, appended to in place: a large map can give a hundred thousand lines.
  std::string text;
  text.reserve(result.warnings.size() * (path.size() + 128));
  for (const MapCheck::Warning& w : result.warnings) {
    text += path;
    text += ':';
    text += w.line > 0 ? std::to_string(w.line) : "?";
    text += ": warning: ";
    text += w.text;
    text += " [";
    text += w.kind;
    text += "]\n";
  }
  const size_t count = result.warnings.size();
  text += path + ": " +
          (count == 0 ? std::string("no problems found")
                      : std::to_string(count) + (count == 1 ? " warning" : " warnings")) +
          "\n";
  std::cout << text;
  return result.exitCode();
}

int32_t PlavoAdmin::list() {
  Manager manager;
  manager.init("", "");
  std::string user;
  if (parser.getValue("user", user)) {
    if (user.empty()) {
      report("ERROR: --user needs a user name");
      return 2;
    }
    manager.setUser(user);
  }
  // plavo's own reading of the map, for that user: the same projects, the same default.
  manager.readMap("");
  if (asJson) {
    json::array_t projects;
    for (const std::string& project : manager.getEligible()) projects.push_back(utf8(project));
    printJson({{"user", utf8(manager.getUser())},
               {"projects", projects},
               {"default", utf8(manager.getDefaultProject())}});
    return 0;
  }
  std::string text;
  for (const std::string& project : manager.getEligible()) text += project + "\n";
  text += "Default project: " + manager.getDefaultProject() + "\n";
  std::cout << text;
  return 0;
}

int32_t PlavoAdmin::users(const std::string& project) {
  Manager manager;
  manager.init("", "");
  const std::string path = manager.mapPath("");
  bool exists = false;
  bool everybody = false;
  std::vector<std::string> names;
  if (StringTools::isRegularFile(path)) {
    const KestroCorelib::ConfNodePtr projects = Manager::findProjects(manager.loadMap(path), path);
    everybody = Manager::usersOf(*projects, project, names);
    for (const KestroCorelib::ConfNodePtr& child : projects->getChildren()) {
      exists = exists || Manager::parseEntry(child->getName()).name == project;
    }
  }
  if (!exists) {
    report("ERROR: The map \"" + path + "\" has no project \"" + project + "\"");
    return 2;
  }
  if (asJson) {
    json::array_t list;
    for (const std::string& listed : names) list.push_back(utf8(listed));
    printJson({{"project", utf8(project)}, {"global", everybody}, {"users", list}});
    return 0;
  }
  std::string text;
  if (everybody) text = "Global project: every user may work on \"" + project + "\"\n";
  for (const std::string& listed : names) text += listed + "\n";
  std::cout << text;
  return 0;
}

int32_t PlavoAdmin::who() {
  Manager manager;
  manager.init("", "");
  std::string user, error;
  parser.getValue("user", user);
  std::vector<Registrations::Entry> entries;
  if (!Registrations::read(manager.getTempDir(), user, entries, error)) {
    report("ERROR: Cannot read \"" + manager.getTempDir() + "\": " + error);
    return 2;
  }
  if (asJson) {
    json::array_t list;
    for (const Registrations::Entry& e : entries) {
      const bool good = e.problem.empty();
      list.push_back({{"file", utf8(e.fileName)},
                      {"user", utf8(e.user)},
                      {"session", utf8(e.session)},
                      {"project", good ? json(utf8(e.project)) : json(nullptr)},
                      {"time", good ? json(e.time) : json(nullptr)},
                      {"local_time", good ? json(Registrations::localTime(e.time)) : json(nullptr)},
                      {"problem", good ? json(nullptr) : json(utf8(e.problem))}});
    }
    printJson({{"directory", utf8(manager.getTempDir())}, {"registrations", list}});
    return 0;
  }
  std::vector<std::vector<std::string>> rows = {{"USER", "SESSION", "PROJECT", "REGISTERED"}};
  std::string problems;
  for (const Registrations::Entry& e : entries) {
    if (e.problem.empty()) {
      rows.push_back({e.user, orDash(e.session), e.project, Registrations::localTime(e.time)});
    } else {
      problems += e.fileName + ": " + e.problem + "\n";
    }
  }
  std::vector<size_t> widths(4, 0);
  for (const auto& row : rows) {
    for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
  }
  std::string text;
  for (const auto& row : rows) {
    for (size_t c = 0; c < row.size(); ++c) {
      text += row[c];
      if (c + 1 < row.size()) text += std::string(widths[c] - row[c].size() + 2, ' ');
    }
    text += "\n";
  }
  std::cout << text << problems;
  return 0;
}

int32_t PlavoAdmin::prune() {
  std::string daysText;
  if (!parser.getValue("older-than", daysText)) {
    report("ERROR: prune needs --older-than DAYS");
    return 2;
  }
  if (daysText.empty() || daysText.size() > 7 ||
      daysText.find_first_not_of("0123456789") != std::string::npos ||
      std::stoll(daysText) > kMaxDays) {
    report("ERROR: --older-than needs a number of days from 0 to " + std::to_string(kMaxDays) +
           ", not \"" + daysText + "\"");
    return 2;
  }
  Manager manager;
  manager.init("", "");
  std::vector<Registrations::Action> actions;
  std::string error;
  if (!Registrations::prune(manager.getTempDir(), std::stoll(daysText), parser.isSet("dry-run"),
                            actions, error)) {
    report("ERROR: Cannot read \"" + manager.getTempDir() + "\": " + error);
    return 2;
  }
  size_t counts[4] = {};
  std::string text;
  for (const Registrations::Action& a : actions) {
    ++counts[a.kind];
    const std::string written =
        " (last written " + Registrations::localTime(Registrations::fromPosixSeconds(a.modified)) +
        ")";
    switch (a.kind) {
    case Registrations::Action::Removed:
      text += "removed " + a.fileName + written + "\n";
      break;
    case Registrations::Action::WouldRemove:
      text += "would remove " + a.fileName + written + "\n";
      break;
    case Registrations::Action::Refused:
      text += "refused " + a.fileName + ": " + a.reason + "\n";
      break;
    case Registrations::Action::Failed:
      text += "failed " + a.fileName + ": " + a.reason + "\n";
      break;
    }
  }
  text += std::to_string(counts[Registrations::Action::Removed]) + " removed, " +
          std::to_string(counts[Registrations::Action::WouldRemove]) + " would be removed, " +
          std::to_string(counts[Registrations::Action::Refused]) + " refused, " +
          std::to_string(counts[Registrations::Action::Failed]) + " failed\n";
  std::cout << text;
  const bool clean =
      counts[Registrations::Action::Refused] == 0 && counts[Registrations::Action::Failed] == 0;
  return clean ? 0 : 1;
}

}  // namespace Kestro
