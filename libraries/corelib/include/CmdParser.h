#pragma once
// Declares a program's options, parses an argument list against them, answers which options
// were present and builds the usage text.
//
//   CmdParser p;
//   p.init("tool", true, false, false);           // "help" (-?), "version", "revision", "debug"
//   p.addFlag("Be verbose", 'v', "verbose");
//   p.addArgOption("Set project", 's', "set", {});
//   const char* argv[] = {"/usr/bin/tool", "-v", "--set", "\"compiler\""};
//   std::string message;
//   p.parse(4, argv, message);                      // true; message untouched
//   std::string value;
//   p.getValue("set", value);                       // true, value == "compiler"
//   p.isSet('v');                                   // true
//
// Nothing here throws: every operation that can fail answers false, `parse` also with a
// message text. All texts are narrow 8-bit strings.
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace KestroCorelib {

class CmdParser {
 public:
  enum OptionKind : int32_t {
    Positional = 0,    // a positional argument: no letter, no long name
    Flag = 1,          // an option without argument
    WithArgument = 2,  // takes the next argument as its value
    OneOf = 3,         // like WithArgument, the value must be one of the choices
    OptionValue = 4,   // like WithArgument; may also be written as the bare token name=value
    Remainder = 5      // takes every remaining argument, joined by single blanks
  };

  // One declared option or positional argument.
  struct OptionDecl {
    uint32_t index = 0;  // number of named options declared before it (usage order)
    OptionKind kind = Flag;
    char shortLetter = 0;           // 0 = none
    std::string longName;           // empty = none
    std::set<std::string> choices;  // byte-wise order; used by OneOf
    std::string description;        // for a positional argument: its display name
  };

  // A declaration that matched, with the value found (empty for a Flag).
  struct ParsedOption : OptionDecl {
    std::string value;
  };

  // Order of named declarations: by kind; with a letter before without, letters as signed
  // 8-bit values; with a long name before without, long names byte-wise. Two declarations
  // are the same when kind, letter and long name agree.
  struct DeclOrder {
    bool operator()(const OptionDecl& a, const OptionDecl& b) const;
  };
  // Results: by declaration (DeclOrder), then by value byte-wise.
  struct ResultOrder {
    bool operator()(const ParsedOption& a, const ParsedOption& b) const;
  };

  CmdParser();

  // Acts on its first call only. Stores the executable name (shown after "Usage:"; when it
  // is non-empty the first argument is taken as the executable path) and the extra-argument
  // switch. With `standardOptions` it declares "help" (-?), "version" and "revision" (when
  // their texts are non-empty), "debug" <level name>, and with `configFileOption` also -c.
  void init(const std::string& executableName, bool standardOptions, bool allowExtraArguments,
            bool configFileOption);

  // When true, arguments beyond the declared positional ones (and, in option form, options
  // that are not declared) are accepted as anonymous positional arguments.
  void setAllowExtraArguments(bool allow);

  // Declares an option. Refused (false): a Positional with a letter, long name or choices;
  // a OneOf without choices; a named option without letter and long name; a declaration
  // that already exists.
  bool addOption(const std::string& description, OptionKind kind, char shortLetter,
                 const std::string& longName, const std::set<std::string>& choices);
  bool addFlag(const std::string& description, char shortLetter, const std::string& longName);
  bool addArgOption(const std::string& description, char shortLetter, const std::string& longName,
                    const std::set<std::string>& choices);

  // Wraps `text` at 75 characters (at a blank, tab or newline, which is dropped, or after a
  // '-' or '\', which stays) and appends the lines to the help shown after the options.
  // Continuation lines repeat the text's leading indent.
  void addHelpText(std::string text);

  // Parses argv[0..argc) (argv[0] included). false: `message` holds the error, e.g.
  // "Unknown option 'x'"; results stored before the error stay. true: `message` holds the
  // usage, version or revision text when -?, --version or --revision was given, and is
  // untouched otherwise. --debug NAME sets the process-wide log level.
  bool parse(int argc, const char* const* argv, std::string& message);

  std::string getUsage() const;

  bool isSet(char shortLetter) const;
  bool isSet(const std::string& longName) const;

  // The value of the first result (in result order) with that long name. None: false and
  // `value` unchanged. Otherwise `value` receives it and the answer is whether the option
  // takes an argument (a Flag gives false with an empty value).
  bool getValue(const std::string& longName, std::string& value) const;

  // The next positional argument (declared ones first, then extra ones) in the order met;
  // false when all have been read. `parse` rewinds the cursor.
  bool nextPositional(std::string& value);

  // Every argument of the last parse, the program path included.
  const std::vector<std::string>& getArguments() const { return arguments; }

  const std::string& getExecutablePath() const { return executablePath; }
  const std::string& getVersionText() const { return versionText; }
  const std::string& getRevisionText() const { return revisionText; }
  const std::vector<std::string>& getHelpLines() const { return helpText; }

 private:
  const OptionDecl* findLetter(char letter) const;
  const OptionDecl* findLong(const std::string& name) const;
  void storeResult(const OptionDecl& decl, const std::string& value);
  bool storePositional(const std::string& token, std::string& message);
  bool parseOptionToken(const std::string& token, size_t& next, std::string& message);
  bool parseAssignment(const std::string& token, std::string& message);

  std::vector<std::string> arguments;
  std::set<OptionDecl, DeclOrder> namedOptions;
  uint32_t columnWidth = 4;
  std::vector<OptionDecl> positionals;
  std::string executableName;
  bool allowExtraArguments = false;
  std::set<ParsedOption, ResultOrder> results;
  std::vector<ParsedOption> positionalResults;
  size_t positionalCursor = 0;
  std::string executablePath;
  std::string versionText;
  std::string revisionText;
  bool initialised = false;
  std::vector<std::string> helpText;
};

}  // namespace KestroCorelib
