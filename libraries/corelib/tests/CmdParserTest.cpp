#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CmdParser.h"
#include "Logger.h"
#include "TestSupport.h"

using KestroCorelib::CmdParser;

namespace {

// Runs parse over a literal argument list (the program path first).
bool parseArgs(CmdParser& parser, std::vector<const char*> argv, std::string& message) {
  return parser.parse(static_cast<int>(argv.size()), argv.data(), message);
}

// The parser of a program that declares a few options of every kind besides the standard ones.
struct Fixture {
  CmdParser parser;
  explicit Fixture(bool allowExtra = false) {
    parser.init("tool", true, allowExtra, false);
    parser.addFlag("Be verbose", 'v', "verbose");
    parser.addFlag("All", 'a', "");
    parser.addFlag("Brief", 'b', "");
    parser.addArgOption("Set it", 's', "set", {});
    parser.addOption("Level", CmdParser::OptionValue, 0, "level", {});
    parser.addOption("Mode", CmdParser::OneOf, 'm', "mode", {"fast", "slow"});
    parser.addOption("Rest", CmdParser::Remainder, 'r', "rest", {});
  }
  bool parse(const std::vector<const char*>& args) { return parseArgs(parser, args, message); }
  std::string value(const std::string& name) {
    std::string v = "<none>";
    parser.getValue(name, v);
    return v;
  }
  std::string message;
};

std::vector<std::string> positionals(CmdParser& parser) {
  std::vector<std::string> out;
  std::string v;
  while (parser.nextPositional(v)) out.push_back(v);
  return out;
}

}  // namespace

TEST(CmdParser, RefusesInvalidAndDuplicateDeclarations) {
  CmdParser p;
  p.init("", false, false, false);
  EXPECT_FALSE(p.addOption("x", CmdParser::Positional, 'x', "", {}));
  EXPECT_FALSE(p.addOption("x", CmdParser::Positional, 0, "", {"a"}));
  EXPECT_FALSE(p.addOption("x", CmdParser::OneOf, 'x', "", {}));
  EXPECT_FALSE(p.addFlag("nothing", 0, ""));
  EXPECT_TRUE(p.addFlag("x", 'x', "ex"));
  EXPECT_FALSE(p.addFlag("again", 'x', "ex"));
  // Another kind or another name is another declaration.
  EXPECT_TRUE(p.addArgOption("x", 'x', "ex", {}));
  EXPECT_TRUE(p.addFlag("x", 'x', "other"));
  EXPECT_TRUE(p.addOption("file", CmdParser::Positional, 0, "", {}));
  // A second init changes nothing.
  p.init("tool", true, true, true);
  EXPECT_EQ(p.getUsage().rfind("Usage: [options] <file>\n", 0), 0u);
}

TEST(CmdParser, CombinedFlagsSetEachLetter) {
  Fixture f;
  ASSERT_TRUE(f.parse({"/bin/tool", "-abv"}));
  EXPECT_TRUE(f.parser.isSet('a'));
  EXPECT_TRUE(f.parser.isSet('b'));
  EXPECT_TRUE(f.parser.isSet("verbose"));
  EXPECT_FALSE(f.parser.isSet('s'));
  EXPECT_EQ(f.parser.getExecutablePath(), "/bin/tool");

  Fixture g;
  EXPECT_FALSE(g.parse({"tool", "-sv", "file"}));
  EXPECT_EQ(g.message, "Option 's' requires argument but is located inside an options token");

  Fixture h;
  ASSERT_TRUE(h.parse({"tool", "-vs", "file"}));
  EXPECT_TRUE(h.parser.isSet('v'));
  EXPECT_EQ(h.value("set"), "file");
}

TEST(CmdParser, OptionArgumentsAndAssignments) {
  // Double quotes around a value go, single quotes and a lone quote stay; the name=value form
  // removes no quotes. The same value twice is kept once; of two values getValue answers the
  // smaller. A remainder takes everything after it, "--" and options included, quotes kept.
  struct Accepted {
    std::vector<const char*> args;
    std::string option, value;
  };
  for (const Accepted& c : {
           Accepted{{"tool", "--set", "-x"}, "set", "-x"},
           Accepted{{"tool", "-s", "\"a b\""}, "set", "a b"},
           Accepted{{"tool", "-s", "'a'"}, "set", "'a'"},
           Accepted{{"tool", "-s", "\""}, "set", "\""},
           Accepted{{"tool", "--set", "zeta", "-s", "alpha", "--set", "zeta"}, "set", "alpha"},
           Accepted{{"tool", "-m", "slow"}, "mode", "slow"},
           Accepted{{"tool", "level=\"3\""}, "level", "\"3\""},
           Accepted{{"tool", "-v", "-r", "\"x\"", "--", "-s", "a=b"}, "rest", "\"x\" -- -s a=b"},
       }) {
    Fixture f;
    ASSERT_TRUE(f.parse(c.args)) << c.value << ": " << f.message;
    EXPECT_EQ(f.value(c.option), c.value);
    EXPECT_EQ(f.parser.isSet('s'), c.option == "set");
  }

  // "log-level=3" is no assignment (a dash in the name) but a bare word, and none is declared.
  struct Rejected {
    std::vector<const char*> args;
    std::string message;
  };
  for (const Rejected& c : {
           Rejected{{"tool", "--set"}, "Missing argument to 'set' option"},
           Rejected{{"tool", "--mode", "Fast"}, "Invalid argument to 'mode' option"},
           Rejected{{"tool", "verbose=1"}, "Option 'verbose' must be option=value"},
           Rejected{{"tool", "foo=1"}, "Unknown option 'foo'"},
           Rejected{{"tool", "--level=3"}, "Unknown option 'level=3'"},
           Rejected{{"tool", "-x"}, "Unknown option 'x'"},
           Rejected{{"tool", "log-level=3"}, "Too many arguments"},
           Rejected{{"tool", "word"}, "Too many arguments"},
       }) {
    Fixture f;
    EXPECT_FALSE(f.parse(c.args)) << c.message;
    EXPECT_EQ(f.message, c.message);
  }

  // Results stored before an error stay.
  Fixture f;
  EXPECT_FALSE(f.parse({"tool", "-v", "-x"}));
  EXPECT_TRUE(f.parser.isSet('v'));

  // A flag answers false with an empty value; an absent option leaves the output alone.
  std::string v = "keep";
  EXPECT_FALSE(f.parser.getValue("verbose", v));
  EXPECT_EQ(v, "");
  v = "keep";
  EXPECT_FALSE(f.parser.getValue("set", v));
  EXPECT_EQ(v, "keep");

  // The name=value form stays an error even where extra arguments are allowed.
  Fixture extra(true);
  EXPECT_FALSE(extra.parse({"tool", "foo=1"}));
  EXPECT_EQ(extra.message, "Unknown option 'foo'");
}

TEST(CmdParser, EmptyTokensDashesAndDoubleDash) {
  CmdParser p;
  p.init("tool", false, false, false);
  p.addFlag("V", 'v', "");
  p.addOption("first", CmdParser::Positional, 0, "", {});
  p.addOption("second", CmdParser::Positional, 0, "", {});
  p.addOption("third", CmdParser::Positional, 0, "", {});
  std::string message = "untouched";
  ASSERT_TRUE(parseArgs(p, {"tool", "", "-", "-v", "--", "-v", "", "a=b", "--"}, message));
  EXPECT_EQ(message, "untouched");
  EXPECT_EQ(positionals(p), (std::vector<std::string>{"-v", "a=b", "--"}));

  // The stored argument list is the raw one.
  EXPECT_EQ(p.getArguments().size(), 9u);
  EXPECT_EQ(p.getArguments()[6], "");

  EXPECT_FALSE(parseArgs(p, {"tool", "a", "b", "c", "d"}, message));
  EXPECT_EQ(message, "Too many arguments");

  EXPECT_FALSE(parseArgs(p, {}, message));
  EXPECT_EQ(message, "Missing executable argument");

  // Without an executable name the first argument is an ordinary one.
  CmdParser q;
  q.init("", false, true, false);
  ASSERT_TRUE(parseArgs(q, {"x", "y"}, message));
  EXPECT_EQ(positionals(q), (std::vector<std::string>{"x", "y"}));
}

TEST(CmdParser, UndeclaredOptionsBecomeFreeArgumentsWhenAllowed) {
  Fixture f(true);
  ASSERT_TRUE(f.parse({"tool", "--foo", "-xv", "next", "--set", "a"}));
  // The letters behind an unknown one are still letters; nothing swallows "next".
  EXPECT_TRUE(f.parser.isSet('v'));
  EXPECT_EQ(f.value("set"), "a");
  EXPECT_EQ(positionals(f.parser), (std::vector<std::string>{"foo", "x", "next"}));
  // Extra arguments never show up in the usage as declared ones.
  EXPECT_EQ(f.parser.getUsage().rfind("Usage: tool [options]\n", 0), 0u);
}

TEST(CmdParser, StandardOptionsAnswerAndDebugSetsTheLogLevel) {
  using KestroCorelib::globalLogLevel;
  testsupport::ScopedLogLevel level(5);

  Fixture f;
  ASSERT_TRUE(f.parse({"tool", "--version", "-?", "--debug", "trace"}));
  EXPECT_EQ(f.message, f.parser.getUsage());
  level.set(5);
  ASSERT_TRUE(f.parse({"tool", "--debug", "flood", "--version", "--revision"}));
  EXPECT_EQ(f.message, "6.3.0.0");
  EXPECT_EQ(globalLogLevel, 5);
  ASSERT_TRUE(f.parse({"tool", "--revision"}));
  EXPECT_EQ(f.message, "14644");

  ASSERT_TRUE(f.parse({"tool", "--debug", "TRACE"}));
  EXPECT_EQ(globalLogLevel, 7);
  ASSERT_TRUE(f.parse({"tool", "--debug", "3"}));
  EXPECT_EQ(globalLogLevel, 0);
}

TEST(CmdParser, UsageLayout) {
  CmdParser bare;
  bare.init("tool", false, false, false);
  EXPECT_EQ(bare.getUsage(), "Usage: tool\n");

  CmdParser p;
  p.init("tool", false, false, false);
  p.addFlag("Be verbose", 'v', "verbose");
  p.addArgOption("Set it", 's', "", {});
  p.addOption("Level", CmdParser::OptionValue, 0, "level", {});
  p.addOption("Mode", CmdParser::OneOf, 'm', "mode", {"gamma", "alpha", "beta"});
  p.addFlag("Quiet", 0, "quiet");
  p.addOption("file", CmdParser::Positional, 0, "", {});
  p.addHelpText("First line.");
  p.addHelpText("  Second.");
  // The longest long name ("verbose", 7) sets the column: ": " after 7 + 4 + 9 = 20.
  EXPECT_EQ(p.getUsage(),
            "Usage: tool [options] <file>\n"
            "Options:\n"
            "  -v\n"
            "    --verbose       : Be verbose\n"
            "  -s <arg>          : Set it\n"
            "  level=<value>     : Level\n"
            "  -m <arg>\n"
            "    --mode <arg>    : Mode\n"
            "                      (One of: alpha, beta, gamma)\n"
            "  --quiet           : Quiet\n"
            "\n"
            "First line.\n"
            "  Second.\n");
}

TEST(CmdParser, UsageWrapsChoicesToColumn80) {
  CmdParser p;
  p.init("", false, false, false);
  const std::string name(50, 'n');  // column 54: pieces of 69 - 54 = 15 characters
  p.addOption("Pick", CmdParser::OneOf, 0, name, {"alpha", "beta", "gamma"});
  const std::string indent(65, ' ');
  EXPECT_EQ(p.getUsage(), "Usage: [options]\nOptions:\n  --" + name + " <arg>" + "   : Pick\n" +
                              indent + "(One of: alpha,\n" + indent + "beta, gamma)\n");

  // A name long enough to leave no room still gives pieces of sensible width.
  CmdParser q;
  q.init("", false, false, false);
  q.addOption("Pick", CmdParser::OneOf, 0, std::string(80, 'n'), {"alpha", "beta"});
  const std::string usage = q.getUsage();
  EXPECT_NE(usage.find("\n" + std::string(95, ' ') + "(One of:\n"), std::string::npos);
  EXPECT_NE(usage.find("\n" + std::string(95, ' ') + "alpha,\n"), std::string::npos);
}

TEST(CmdParser, HelpTextWrapsAt75Characters) {
  CmdParser p;
  p.init("", false, false, false);
  p.addHelpText(
      "Set named project. Note that the project must be one for which the user is listed. If "
      "not, the default project (first listed for the user) is used - or \"N/A\" if none.");
  // An indent is repeated on continuation lines; a hyphen stays on its line.
  p.addHelpText("   " + std::string(40, 'x') + " " + std::string(27, 'y') + "-" +
                std::string(20, 'z'));
  // No break between columns 31 and 75: the line stays whole.
  p.addHelpText(std::string(30, 'a') + " " + std::string(60, 'b'));
  // An indent wider than the break window must not make wrapping go round forever.
  p.addHelpText(std::string(50, ' ') + std::string(100, 'c'));
  EXPECT_EQ(p.getHelpLines(),
            (std::vector<std::string>{
                "Set named project. Note that the project must be one for which the user is",
                "listed. If not, the default project (first listed for the user) is used -",
                "or \"N/A\" if none.",
                "   " + std::string(40, 'x') + " " + std::string(27, 'y') + "-",
                "   " + std::string(20, 'z'),
                std::string(30, 'a') + " " + std::string(60, 'b'),
                std::string(50, ' ') + std::string(100, 'c'),
            }));
}
