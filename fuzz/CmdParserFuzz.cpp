// Feeds arbitrary argument lists to the command-line parser: the input is cut at NUL bytes
// into arguments and parsed against options of every kind, the standard ones included; the
// usage is then built, and the input's first argument is also wrapped as help text. Parse
// errors are expected; crashes, hangs and sanitizer reports are not. A wrapped help line is
// never longer than 75 characters (76 with a hyphen at its end) unless it has no break
// between columns 31 and 75 right of its indent.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "CmdParser.h"
#include "Logger.h"

using KestroCorelib::CmdParser;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> arguments(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      arguments.emplace_back();
    } else {
      arguments.back() += static_cast<char>(data[i]);
    }
  }
  std::vector<const char*> argv;
  for (const std::string& a : arguments) argv.push_back(a.c_str());

  for (bool extra : {false, true}) {
    CmdParser parser;
    parser.init("fuzz", true, extra, true);
    parser.addFlag("Flag", 'f', "flag");
    parser.addArgOption("Value", 's', "set", {});
    parser.addOption("Choice", CmdParser::OneOf, 'o', "one-of", {"a", "b c", "d-e"});
    parser.addOption("Assign", CmdParser::OptionValue, 0, "level", {});
    parser.addOption("Rest", CmdParser::Remainder, 'r', "rest", {});
    parser.addOption("file", CmdParser::Positional, 0, "", {});
    parser.addHelpText(arguments[0]);
    for (const std::string& line : parser.getHelpLines()) {
      // A hyphen or backslash at column 75 stays on its line, which is then 76 long. Breaks
      // inside the indent do not count: they would not shorten the line.
      const bool hyphenEnd = !line.empty() && (line.back() == '-' || line.back() == '\\');
      const size_t limit = hyphenEnd ? 76 : 75;
      const size_t indent = std::min(line.find_first_not_of(" \t\n"), line.size());
      const size_t lowest = std::max<size_t>(31, indent + 1);
      if (line.size() > limit && line.find_first_of(" \t\n-\\", lowest) < 76) std::abort();
    }
    std::string message;
    parser.parse(static_cast<int>(argv.size()), argv.data(), message);
    std::string value;
    parser.getValue("set", value);
    parser.getValue("rest", value);
    while (parser.nextPositional(value)) {
    }
    parser.getUsage();
  }
  KestroCorelib::globalLogLevel = 7;  // --debug may have changed it
  return 0;
}
