#include "CmdParser.h"

#include <algorithm>

#include "Logger.h"
#include "StringTools.h"

namespace KestroCorelib {

namespace {

// The build's version and revision, shown by --version and --revision.
const char* const kVersionText = "6.3.0.0";
const char* const kRevisionText = "14644";

// Help text is wrapped so that no line is longer than this...
const size_t kHelpLineLimit = 75;
// ...and a break is looked for no further left than this.
const size_t kHelpMinBreak = 31;

// Usage layout. The column width is the longest long name plus kLongNameRoom (the "  --"
// before it). Each entry's name part is padded to the column width plus kNamePadding and
// followed by ": " and the description; choice lists go under the description and end by
// kUsageLastColumn, in pieces of at least kMinChoiceWidth when a long name leaves no room.
constexpr uint32_t kLongNameRoom = 4;
constexpr uint32_t kNamePadding = 9;
constexpr uint32_t kDescriptionIndent = kNamePadding + 2;  // past ": "
constexpr uint32_t kUsageLastColumn = 80;
constexpr uint32_t kChoiceRoom = kUsageLastColumn - kDescriptionIndent;  // less the column width
constexpr uint32_t kMinChoiceWidth = 10;

bool isAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// name=value with a name of letters, digits and '_' that does not start with a digit.
bool isAssignment(const std::string& token) {
  if (token.empty() || !(isAsciiLetter(token[0]) || token[0] == '_')) return false;
  for (size_t i = 1; i < token.size(); ++i) {
    char c = token[i];
    if (c == '=') return true;
    if (!(isAsciiLetter(c) || (c >= '0' && c <= '9') || c == '_')) return false;
  }
  return false;
}

bool takesArgument(CmdParser::OptionKind kind) { return kind >= CmdParser::WithArgument; }

}  // namespace

bool CmdParser::DeclOrder::operator()(const OptionDecl& a, const OptionDecl& b) const {
  if (a.kind != b.kind) return a.kind < b.kind;
  bool aLetter = a.shortLetter != 0, bLetter = b.shortLetter != 0;
  if (aLetter != bLetter) return aLetter;
  if (a.shortLetter != b.shortLetter) {
    return static_cast<signed char>(a.shortLetter) < static_cast<signed char>(b.shortLetter);
  }
  bool aLong = !a.longName.empty(), bLong = !b.longName.empty();
  if (aLong != bLong) return aLong;
  return a.longName < b.longName;
}

bool CmdParser::ResultOrder::operator()(const ParsedOption& a, const ParsedOption& b) const {
  DeclOrder byDecl;
  if (byDecl(a, b)) return true;
  if (byDecl(b, a)) return false;
  return a.value < b.value;
}

CmdParser::CmdParser() : versionText(kVersionText), revisionText(kRevisionText) {}

void CmdParser::init(const std::string& exeName, bool standardOptions, bool allowExtra,
                     bool configFileOption) {
  if (initialised) return;
  initialised = true;
  executableName = exeName;
  allowExtraArguments = allowExtra;
  if (!standardOptions) return;
  addFlag("Display this help text", '?', "help");
  if (!versionText.empty()) addFlag("Display version information", 0, "version");
  if (!revisionText.empty()) addFlag("Display SVN revision information", 0, "revision");
  addArgOption("Set debug level", 0, "debug", {});
  if (configFileOption) addArgOption("Specify configuration file explicitly", 'c', "", {});
}

void CmdParser::setAllowExtraArguments(bool allow) { allowExtraArguments = allow; }

bool CmdParser::addOption(const std::string& description, OptionKind kind, char shortLetter,
                          const std::string& longName, const std::set<std::string>& choices) {
  OptionDecl decl;
  decl.index = static_cast<uint32_t>(namedOptions.size());
  decl.kind = kind;
  decl.shortLetter = shortLetter;
  decl.longName = longName;
  decl.choices = choices;
  decl.description = description;
  if (kind == Positional) {
    if (shortLetter != 0 || !longName.empty() || !choices.empty()) return false;
    positionals.push_back(decl);
    return true;
  }
  if (kind == OneOf && choices.empty()) return false;
  if (shortLetter == 0 && longName.empty()) return false;
  if (!namedOptions.insert(decl).second) return false;
  columnWidth =
      std::max<uint32_t>(columnWidth, static_cast<uint32_t>(longName.size() + kLongNameRoom));
  return true;
}

bool CmdParser::addFlag(const std::string& description, char shortLetter,
                        const std::string& longName) {
  return addOption(description, Flag, shortLetter, longName, {});
}

bool CmdParser::addArgOption(const std::string& description, char shortLetter,
                             const std::string& longName, const std::set<std::string>& choices) {
  return addOption(description, WithArgument, shortLetter, longName, choices);
}

void CmdParser::addHelpText(std::string text) {
  size_t indentLength = text.find_first_not_of(" \t\n");
  if (indentLength == std::string::npos) indentLength = text.size();
  const std::string indent = text.substr(0, indentLength);

  // A break inside the indent would hand back the same text again and never end, so the
  // search stops right of the indent.
  const size_t lowest = std::max(kHelpMinBreak, indentLength + 1);
  while (text.size() > kHelpLineLimit) {
    bool broken = false;
    for (size_t p = kHelpLineLimit; p >= lowest; --p) {
      char c = text[p];
      if (c == ' ' || c == '\n' || c == '\t') {
        helpText.push_back(text.substr(0, p));
        text.erase(0, p + 1);
        StringTools::trimLeft(text, true);
        text.insert(0, indent);
        broken = true;
        break;
      }
      if (c == '-' || c == '\\') {
        helpText.push_back(text.substr(0, p + 1));
        text.erase(0, p + 1);
        text.insert(0, indent);
        broken = true;
        break;
      }
    }
    if (!broken) break;
  }
  helpText.push_back(text);
}

const CmdParser::OptionDecl* CmdParser::findLetter(char letter) const {
  for (const OptionDecl& decl : namedOptions) {
    if (decl.shortLetter == letter) return &decl;
  }
  return nullptr;
}

const CmdParser::OptionDecl* CmdParser::findLong(const std::string& name) const {
  if (name.empty()) return nullptr;
  for (const OptionDecl& decl : namedOptions) {
    if (decl.longName == name) return &decl;
  }
  return nullptr;
}

void CmdParser::storeResult(const OptionDecl& decl, const std::string& value) {
  ParsedOption parsed;
  static_cast<OptionDecl&>(parsed) = decl;
  parsed.value = value;
  results.insert(parsed);  // the same option with the same value is kept once
}

bool CmdParser::storePositional(const std::string& token, std::string& message) {
  ParsedOption parsed;
  size_t used = positionalResults.size();
  if (used < positionals.size()) {
    static_cast<OptionDecl&>(parsed) = positionals[used];
  } else if (allowExtraArguments) {
    // An anonymous declaration for this result only: it is not added to the declared
    // positionals, which would show up as "<>" in every later usage text.
    parsed.kind = Positional;
  } else {
    message = "Too many arguments";
    return false;
  }
  parsed.value = token;
  positionalResults.push_back(parsed);
  return true;
}

bool CmdParser::parseOptionToken(const std::string& firstToken, size_t& next,
                                 std::string& message) {
  std::string token = firstToken;
  std::string pending;
  for (;;) {
    if (!pending.empty()) {
      token = "-" + pending;
      pending.clear();
    }
    std::string name;
    const OptionDecl* decl = nullptr;
    if (token[1] != '-') {
      name = token.substr(1);
      if (name.size() > 1) {
        pending = name.substr(1);
        name.erase(1);
      }
      decl = findLetter(name[0]);
    } else {
      name = token.substr(2);
      decl = findLong(name);
    }

    if (decl == nullptr) {
      if (!allowExtraArguments) {
        message = "Unknown option '" + name + "'";
        return false;
      }
      // The undeclared name becomes a free argument. Letters combined behind it are still
      // read as letters of this token; they never swallow a later argument.
      if (!storePositional(name, message)) return false;
    } else if (!takesArgument(decl->kind)) {
      storeResult(*decl, std::string());
    } else {
      if (!pending.empty()) {
        message = "Option '" + name + "' requires argument but is located inside an options token";
        return false;
      }
      if (next >= arguments.size()) {
        message = "Missing argument to '" + name + "' option";
        return false;
      }
      std::string value = arguments[next++];
      if (decl->kind == Remainder) {
        while (next < arguments.size()) value += " " + arguments[next++];
      } else {
        if (decl->kind == OneOf && decl->choices.count(value) == 0) {
          message = "Invalid argument to '" + name + "' option";
          return false;
        }
        if (value.size() > 1 && value.front() == '"' && value.back() == '"') {
          value = value.substr(1, value.size() - 2);
        }
      }
      storeResult(*decl, value);
    }
    if (pending.empty()) return true;
  }
}

bool CmdParser::parseAssignment(const std::string& token, std::string& message) {
  size_t equals = token.find('=');
  std::string name = token.substr(0, equals);
  const OptionDecl* decl = nullptr;
  for (const OptionDecl& candidate : namedOptions) {
    if (candidate.longName != name) continue;
    if (decl == nullptr || candidate.kind == OptionValue) decl = &candidate;
  }
  if (decl == nullptr) {
    message = "Unknown option '" + name + "'";
    return false;
  }
  if (decl->kind != OptionValue) {
    message = "Option '" + name + "' must be option=value";
    return false;
  }
  storeResult(*decl, token.substr(equals + 1));
  return true;
}

bool CmdParser::parse(int argc, const char* const* argv, std::string& message) {
  arguments.clear();
  for (int i = 0; i < argc && argv != nullptr; ++i) {
    arguments.emplace_back(argv[i] != nullptr ? argv[i] : "");
  }
  results.clear();
  positionalResults.clear();
  positionalCursor = 0;

  size_t next = 0;
  if (!executableName.empty()) {
    if (arguments.empty()) {
      message = "Missing executable argument";
      return false;
    }
    executablePath = arguments[0];
    next = 1;
  }

  bool optionsAllowed = true;
  while (next < arguments.size()) {
    const std::string token = arguments[next++];
    if (token.empty() || token == "-") continue;
    bool ok;
    if (optionsAllowed && token == "--") {
      optionsAllowed = false;
      continue;
    } else if (optionsAllowed && token[0] == '-') {
      ok = parseOptionToken(token, next, message);
    } else if (optionsAllowed && isAssignment(token)) {
      ok = parseAssignment(token, message);
    } else {
      ok = storePositional(token, message);
    }
    if (!ok) return false;
  }

  std::string value;
  if (isSet('?')) {
    message = getUsage();
  } else if (isSet("version")) {
    message = versionText;
  } else if (isSet("revision")) {
    message = revisionText;
  } else if (getValue("debug", value)) {
    int32_t level = levelFromName(value);
    if (level <= LogLevel::flood) globalLogLevel = level;
  }
  positionalCursor = 0;
  return true;
}

std::string CmdParser::getUsage() const {
  std::string usage = "Usage:";
  if (!executableName.empty()) usage += " " + executableName;
  if (!namedOptions.empty()) usage += " [options]";
  for (const OptionDecl& decl : positionals) usage += " <" + decl.description + ">";

  if (!namedOptions.empty()) {
    usage += "\nOptions:\n";
    std::vector<const OptionDecl*> byIndex;
    for (const OptionDecl& decl : namedOptions) byIndex.push_back(&decl);
    std::sort(byIndex.begin(), byIndex.end(),
              [](const OptionDecl* a, const OptionDecl* b) { return a->index < b->index; });

    const uint32_t choiceWidth =
        columnWidth + kMinChoiceWidth < kChoiceRoom ? kChoiceRoom - columnWidth : kMinChoiceWidth;
    bool first = true;
    for (const OptionDecl* decl : byIndex) {
      if (!first) usage += "\n";
      first = false;
      const std::string arg = takesArgument(decl->kind) ? " <arg>" : "";
      std::string lastLine = "  ";
      if (decl->shortLetter != 0 && !decl->longName.empty()) {
        usage += "  -" + std::string(1, decl->shortLetter) + arg + "\n";
        lastLine = "    --" + decl->longName + arg;
      } else if (decl->shortLetter != 0) {
        lastLine += "-" + std::string(1, decl->shortLetter) + arg;
      } else if (decl->kind == OptionValue) {
        lastLine += decl->longName + "=<value>";
      } else {
        lastLine += "--" + decl->longName + arg;
      }
      const uint32_t nameColumn = columnWidth + kNamePadding;
      if (lastLine.size() < nameColumn) lastLine.resize(nameColumn, ' ');
      usage += lastLine + ": " + decl->description;

      if (!decl->choices.empty()) {
        std::string list = "(One of: ";
        bool firstChoice = true;
        for (const std::string& choice : decl->choices) {
          if (!firstChoice) list += ", ";
          firstChoice = false;
          list += choice;
        }
        list += ")";
        StringTools::LineSizeSearcher searcher(static_cast<uint8_t>(choiceWidth));
        for (const std::string& piece : StringTools::split(list, searcher, 0, true)) {
          usage += "\n" + std::string(columnWidth + kDescriptionIndent, ' ') + piece;
        }
      }
    }
  }

  if (!helpText.empty()) {
    usage += "\n";
    for (const std::string& line : helpText) usage += "\n" + line;
  }
  if (usage.back() != '\n') usage += "\n";
  return usage;
}

bool CmdParser::isSet(char shortLetter) const {
  if (shortLetter == 0) return false;
  for (const ParsedOption& parsed : results) {
    if (parsed.shortLetter == shortLetter) return true;
  }
  return false;
}

bool CmdParser::isSet(const std::string& longName) const {
  if (longName.empty()) return false;
  for (const ParsedOption& parsed : results) {
    if (parsed.longName == longName) return true;
  }
  return false;
}

bool CmdParser::getValue(const std::string& longName, std::string& value) const {
  if (longName.empty()) return false;
  for (const ParsedOption& parsed : results) {
    if (parsed.longName != longName) continue;
    value = parsed.value;
    return takesArgument(parsed.kind);
  }
  return false;
}

bool CmdParser::nextPositional(std::string& value) {
  if (positionalCursor >= positionalResults.size()) return false;
  value = positionalResults[positionalCursor++].value;
  return true;
}

}  // namespace KestroCorelib
