#include <gtest/gtest.h>
#ifndef _WIN32
#  include <sys/stat.h>
#  include <unistd.h>
#endif

#include <cfloat>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <tuple>

#include "StringTools.h"
#include "TestSupport.h"

namespace KestroCorelib {
namespace {

using Pieces = std::vector<std::string>;
using ST = StringTools;
using P = std::pair<std::string, std::string>;
using Cases = std::initializer_list<P>;

// Applies an in-place transformation to a copy of each input and checks the result.
template <typename F> void expectEach(F transform, Cases cases) {
  for (const auto& [input, expected] : cases) {
    std::string text = input;
    EXPECT_EQ(transform(text), expected) << "input: " << input;
  }
}

using EnvGuard = testsupport::ScopedEnv;

TEST(StringTools, TrimUnquoteAndCaseFolding) {
  expectEach([](std::string& s) { return ST::trimLeft(s, true); },
             {P{" \r\n\t\v\b\fx ", "x "}, P{"\xE9x", "\xE9x"}, P{"   ", ""}});
  // Without the set, every byte up to the blank counts, a high byte too (it is signed).
  expectEach([](std::string& s) { return ST::trimLeft(s, false); },
             {P{"\xE9x", "x"}, P{std::string("\x01\x00 !", 4), "!"}});
  expectEach([](std::string& s) { return ST::trim(s); }, {P{"\t a b \n", "a b"}});
  expectEach([](std::string& s) { return ST::unquote(s); },
             {P{"'a'", "a"}, P{"\"a\"", "a"}, P{"\"a'", "\"a'"}, P{"'", "'"}, P{"''", ""},
              P{"xax", "xax"}});
  expectEach([](std::string& s) { return ST::toLower(s); }, {P{"MiXeD \xC9", "mixed \xC9"}});
  expectEach([](std::string& s) { return ST::replaceChar(s, '/', '-'); }, {P{"a/b/c", "a-b-c"}});
  EXPECT_EQ(ST::lowerCopy(std::wstring(L"ABC\x00C9")), L"abc\x00C9");
  EXPECT_EQ(ST::compareNoCase("Alpha", "aLPHA"), 0);
  EXPECT_LT(ST::compareNoCase("alpha", "BETA"), 0);
  EXPECT_GT(ST::compareNoCase(std::wstring(L"b"), std::wstring(L"A")), 0);
}

// Only 'A'..'Z' fold: the neighbours that differ from a letter by the same bit do not.
TEST(StringTools, EqualsNoCaseFoldsAsciiLettersOnly) {
  struct Case {
    std::string_view a, b;
    bool equal;
  };
  for (const Case& c :
       {Case{"Default", "dEFAULT", true}, Case{"AZ", "az", true}, Case{"", "", true},
        Case{std::string_view("a\0B", 3), "A\0b", false},
        Case{std::string_view("a\0B", 3), std::string_view("A\0b", 3), true},
        Case{"global", "globa", false}, Case{"@[", "`{", false}, Case{"\xC9", "\xE9", false}}) {
    EXPECT_EQ(ST::equalsNoCase(c.a, c.b), c.equal) << c.a << " / " << c.b;
  }
}

TEST(StringTools, ReversePadAndCutClampToTheText) {
  std::string s = "abcdef";
  EXPECT_EQ(ST::reverse(s, 1, 3), "adcbef");
  EXPECT_EQ(ST::reverse(s, 4, 100), "adcbfe");
  EXPECT_EQ(ST::reverse(s, 6, 1), "adcbfe");
  std::string n = "7";
  EXPECT_EQ(ST::padLeft(n, 3, '0'), "007");
  EXPECT_EQ(ST::padRight(n, 5, '.'), "007..");
  EXPECT_EQ(ST::padLeft(n, 2, '0'), "007..");

  // {text, head or tail cut off, what is left}
  using Cut = std::tuple<std::string, std::string, std::string>;
  for (auto [text, piece, rest] :
       {Cut{"name=value", "name", "value"}, Cut{"novalue", "novalue", ""}}) {
    EXPECT_EQ(ST::cutHead(text, '='), piece);
    EXPECT_EQ(text, rest);
  }
  for (auto [text, piece, rest] : {Cut{"a.b.c", "c", "a.b"}, Cut{"abc", "abc", ""}}) {
    EXPECT_EQ(ST::cutTail(text, '.'), piece);
    EXPECT_EQ(text, rest);
  }
  s = "a::b::c";
  EXPECT_EQ(ST::cutHead(s, std::string("::")), "a");
  EXPECT_EQ(s, "b::c");
  EXPECT_EQ(ST::cutHead(s, std::string()), "");
  EXPECT_EQ(s, "b::c");
}

TEST(StringTools, CompareAtComparesSignedBytes) {
  using Case = std::tuple<std::string, std::size_t, std::string, int>;
  for (const auto& [text, pos, pattern, expected] :
       {Case{"abc", 1, "bc", 0}, Case{"abc", 1, "", 0}, Case{"abc", 3, "", -1},
        Case{"abc", 1, "bcd", -1} /* text ends first */,
        Case{"ab", 0, "ab\xE9", -1} /* ... also before a byte below 0 */, Case{"abc", 0, "abd", -1},
        Case{"abd", 0, "abc", 1}, Case{"a\xE9", 1, "a", -1} /* 0xE9 < 0 */}) {
    EXPECT_EQ(ST::compareAt(text, pos, pattern), expected) << text << "@" << pos;
  }
}

TEST(StringTools, NarrowWideConversionIsLatin1) {
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  const std::wstring wide = ST::toWide(all);
  ASSERT_EQ(wide.size(), 256u);
  EXPECT_EQ(wide[0xE9], L'\x00E9');
  EXPECT_EQ(ST::toNarrow(wide), all);
  EXPECT_EQ(ST::toNarrow(L"a\x20AC"
                         L"b"),
            "a?b");
}

TEST(StringTools, EscapeAndUnescape) {
  EXPECT_EQ(ST::escape("a\nb\\c", '\n', 'n', '\\'), "a\\nb\\\\c");
  expectEach([](std::string& s) { return ST::unescape(s, 'n', '\n', '\\'); },
             {P{"a\\nb\\\\c", "a\nb\\c"}, P{"\\t\\", "\\t\\"}, P{"\\\\n", "\\n"}});
  EXPECT_EQ(ST::escape(std::wstring(L"x;y"), L';', L's', L'^'), L"x^sy");
  EXPECT_EQ(ST::unescape(std::wstring(L"x^sy^^"), L's', L';', L'^'), L"x;y^");
}

TEST(StringTools, SplitAtCharacter) {
  EXPECT_EQ(ST::split("a,,b,", ','), (Pieces{"a", "", "b"}));
  EXPECT_EQ(ST::split("a,,b,", ',', ST::unlimited, true), (Pieces{"a", "b"}));
  EXPECT_EQ(ST::split("", ','), Pieces{});
  EXPECT_EQ(ST::split(",", ','), Pieces{""});
  EXPECT_EQ(ST::split("a,b,c", ',', 2), (Pieces{"a", "b,c"}));
  EXPECT_EQ(ST::split("a,b,c", ',', 1), (Pieces{"a,b,c"}));
  EXPECT_EQ(ST::splitList("x y", ' '), (std::list<std::string>{"x", "y"}));
}

TEST(StringTools, SplitWithLineSizeSearcher) {
  struct Case {
    std::string text;
    std::size_t width;
    Pieces expected;
    bool skipEmpty = true;
  };
  const Case cases[] = {
      {"alpha beta gamma", 8, {"alpha", "beta", "gamma"}},
      {"well-known words", 8, {"well-", "known", "words"}},
      {"abcdefghijklmnopqrstuvwxy", 10, {"abcdefghij", "klmnopqrst", "uvwxy"}},
      {"alpha beta gamma", 10, {"alpha beta", "gamma"}},
      // A newline ends a line early and is consumed; skip-empty drops the empty line.
      {"ab\n\ncdefghijklmn", 10, {"ab", "", "cdefghijkl", "mn"}, false},
      {"ab\n\ncdefghijklmn", 10, {"ab", "cdefghijkl", "mn"}},
      // A hyphen right after a full line does not stretch it: the line breaks before it.
      {"abcd-ef gh", 4, {"abcd", "-ef", "gh"}},
      {"ab cd-ef", 5, {"ab", "cd-ef"}},
      {"abc", 0, {"abc"}, false},  // width 0 never cuts
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ST::split(c.text, ST::LineSizeSearcher(c.width), ST::unlimited, c.skipEmpty),
              c.expected)
        << c.text << " / " << c.width;
  }
  ST::LineSizeSearcher eight(8);
  // The maximum number of pieces leaves the rest uncut.
  EXPECT_EQ(ST::split("alpha beta gamma", eight, 2, true), (Pieces{"alpha", "beta gamma"}));
  EXPECT_EQ(ST::split(std::wstring(L"alpha beta gamma"), eight, ST::unlimited, true),
            (std::vector<std::wstring>{L"alpha", L"beta", L"gamma"}));
}

TEST(StringTools, SplitSurvivesSearcherThatMakesNoProgress) {
  struct Stuck : ST::StringSearcher {
    bool find(std::size_t& pos, std::size_t& len, const std::wstring&, std::size_t start,
              std::size_t) const override {
      return pos = start, len = 0, true;
    }
    bool find(std::size_t& pos, std::size_t& len, const std::string&, std::size_t start,
              std::size_t) const override {
      return pos = start, len = 0, true;
    }
  };
  EXPECT_EQ(ST::split("abc", Stuck()), Pieces{"abc"});
}

TEST(StringTools, MatchGlob) {
  using Case = std::tuple<std::string, std::string, bool>;
  for (const auto& [text, pattern, expected] :
       {Case{"axxb", "a**b", true}, Case{"ab", "a**b", true}, Case{"axxc", "a**b", false},
        Case{"", "", true}, Case{"", "*", true}, Case{"", "?", false}, Case{"x", "", false},
        Case{"x", "?*", true}, Case{"anything at all", "?*", true}, Case{"system", "Sys*", false},
        Case{"system", "s?s*m", true}, Case{"abcabcd", "*abcd", true} /* back-track */,
        Case{"abc", "ab", false} /* whole text only */}) {
    EXPECT_EQ(ST::matchGlob(text, pattern), expected) << text << " ~ " << pattern;
  }
  EXPECT_TRUE(ST::matchGlob("xyabc", "a*", 2));
  EXPECT_TRUE(ST::matchGlob("xyabc", "*", 5));  // start at the end
  EXPECT_FALSE(ST::matchGlob("xyabc", "a*", 2, 0));
  EXPECT_TRUE(ST::matchGlob("xyabc", "abc", 2, 1));  // length only rules out 0
}

TEST(StringTools, NumberTexts) {
  EXPECT_EQ(ST::toString(true), "1");
  EXPECT_EQ(ST::toString(std::int16_t(-3)), "-3");
  EXPECT_EQ(ST::toString(std::uint16_t(65535)), "65535");
  EXPECT_EQ(ST::toString(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
  EXPECT_EQ(ST::toString(std::uint64_t(0)), "0");
  // Doubles: 14 decimals from 1e-15 up to 1e15 (so 1e-15 shows as 0), trailing zeros cut;
  // beyond that the exponent form with 16 significant digits.
  const std::vector<std::pair<double, const char*>> doubles = {
      {-1e-16, "-1.000000000000000e-16"},
      {1e-15, "0"},
      {0.0, "0"},
      {100.0, "100"},
      {-0.125, "-0.125"},
      {0.1, "0.1"},
      {123456.789, "123456.78900000000431"},
      {1e15, "1000000000000000"},
      {1e20, "1.000000000000000e+20"}};
  for (const auto& [value, text] : doubles) EXPECT_EQ(ST::toString(value), text) << text;
}

TEST(StringTools, NumbersFromText) {
  EXPECT_FALSE(ST::toBool(""));
  EXPECT_FALSE(ST::toBool("0"));
  EXPECT_TRUE(ST::toBool("00"));
  EXPECT_EQ(ST::toInt32(" -12x"), -12);
  EXPECT_EQ(ST::toInt32("99999999999"), std::numeric_limits<std::int32_t>::max());
  for (const char* all : {"4294967295", "-1", "99999999999", "-4294967296"})
    EXPECT_EQ(ST::toUInt32(all), 4294967295u) << all;
  EXPECT_EQ(ST::toUInt32("-4294967295"), 1u);  // the most negative number still counted
  EXPECT_EQ(ST::toInt64("-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(ST::toInt64("99999999999999999999"), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(ST::toInt64("9223372036854775806"), 9223372036854775806);  // just below the limit
  EXPECT_EQ(ST::toInt64("-9223372036854775807"), std::numeric_limits<std::int64_t>::min() + 1);
  EXPECT_EQ(ST::toInt64("-"), 0);
  EXPECT_EQ(ST::toInt64(" 5"), 0);  // no leading blanks
  EXPECT_EQ(ST::toInt64("12ab"), 12);
  EXPECT_EQ(ST::toUInt64("18446744073709551615"), 18446744073709551615ull);
  EXPECT_EQ(ST::toUInt64("18446744073709551616"), 18446744073709551615ull);
  EXPECT_EQ(ST::toUInt64("-5"), 0u);
  EXPECT_EQ(ST::toDouble("2.5"), 2.5);
  EXPECT_EQ(ST::toDouble("1e999"), DBL_MAX);
  EXPECT_EQ(ST::toDouble("-1e999"), -DBL_MAX);
  EXPECT_EQ(ST::toDouble("junk"), 0.0);
  // How much of the text the conversion read: what a caller checks for a whole number.
  for (const auto& [text, read] : std::vector<std::pair<const char*, std::size_t>>{
           {"0.5", 3}, {" -2.5e3x", 7}, {"1,5", 1}, {"junk", 0}, {"", 0}}) {
    std::size_t used = 99;
    ST::toDouble(text, used);
    EXPECT_EQ(used, read) << text;
  }
}

#ifndef _WIN32
TEST(StringTools, DecimalPointIsADotInEveryLocale) {
  // Pashto's decimal point is U+066B, two bytes in UTF-8: the count is of the text's own
  // characters, '.' counting one.
  testsupport::NumericLocale pashto("ps_AF", "\xD9\xAB");
  if (!pashto.problem.empty()) GTEST_SKIP() << pashto.problem;
  for (const auto& [text, value, read] : std::vector<std::tuple<const char*, double, std::size_t>>{
           {"0.5", 0.5, 3}, {"-2.25e1x", -22.5, 7}, {"7", 7.0, 1}}) {
    std::size_t used = 99;
    EXPECT_EQ(ST::toDouble(text, used), value) << text;
    EXPECT_EQ(used, read) << text;
  }
}
#endif

TEST(StringTools, EnvironmentHelpers) {
  EnvGuard unset("KESTRO_TEST_UNSET", nullptr), empty("KESTRO_TEST_EMPTY", nullptr);
  std::string out = "previous";
  EXPECT_FALSE(ST::getEnv("KESTRO_TEST_UNSET", out));
  EXPECT_EQ(out, "previous");
#ifndef _WIN32  // the Windows runtime removes a variable set to ""
  ASSERT_TRUE(ST::setEnv("KESTRO_TEST_EMPTY", ""));
  EXPECT_TRUE(ST::getEnv("KESTRO_TEST_EMPTY", out));
  EXPECT_EQ(out, "");
#endif
  ASSERT_TRUE(ST::setEnv("KESTRO_TEST_EMPTY", "a=b c"));
  EXPECT_TRUE(ST::getEnv("KESTRO_TEST_EMPTY", out));
  EXPECT_EQ(out, "a=b c");
  EXPECT_FALSE(ST::setEnv("", "x"));
  EXPECT_FALSE(ST::setEnv("A=B", "x"));
  EXPECT_FALSE(ST::getEnv("", out));
}

TEST(StringTools, ExpandEnvironmentReferences) {
  EnvGuard a("A", "x"), unset("KESTRO_TEST_UNSET", nullptr),
      loop("KESTRO_TEST_LOOP", "%KESTRO_TEST_LOOP%");
  // "a\\$A" has no closing backslash; an inserted value is not expanded again.
  expectEach(
      [](std::string& s) { return ST::expandEnvironment(s); },
      {P{"%A%%A%", "xx"}, P{"%KESTRO_TEST_UNSET%\\a", "%KESTRO_TEST_UNSET%\\a"}, P{"$A\\b", "x\\b"},
       P{"a\\$A", "a\\$A"}, P{"$KESTRO_TEST_UNSET\\$A\\", "$KESTRO_TEST_UNSET\\x\\"},
       P{"/tmp/%A%", "\\tmp\\x"}, P{"%%A%", "%%A%"}, P{"%KESTRO_TEST_LOOP%", "%KESTRO_TEST_LOOP%"},
       P{"\\C:", "C:"}, P{"\\??", ""}, P{"", ""}});
}

TEST(StringTools, TidyPath) {
  // The root stays the root, and nothing turns into it.
  expectEach([](std::string& s) { return ST::tidyPath(s); },
             {P{"a\\.\\b\\..\\c", "a\\c"}, P{"a\\.\\b\\..\\..", ""},
              P{"\\\\server\\share\\..\\x", "\\\\server\\x"}, P{"..\\a", "..\\a"},
              P{"..\\..\\a\\..\\b", "..\\..\\b"}, P{"a\\", "a\\"}, P{"C:/x//y/", "C:\\x\\y\\"},
              P{"\\", "\\"}, P{"/", "\\"}, P{"a\\..\\", ""}, P{"\\a\\..\\", "\\"}});
}

TEST(StringTools, PathPieces) {
  expectEach([](std::string& s) { return ST::parentDirectory(s); },
             {P{"C:\\a\\b", "C:\\a"}, P{"C:\\a\\b\\", "C:\\a"}, P{"C:\\", ""}, P{"a", ""}});
  expectEach([](std::string& s) { return ST::extension(s); },
             {P{"dir.d\\file", ""}, P{"file.tar.gz", "gz"}});
  EXPECT_EQ(ST::extension(std::wstring(L"a\\b.TXT")), L"TXT");
  std::string p = "a\\\\";
  EXPECT_EQ(ST::removeTrailingBackslashes(p), "a");
  EXPECT_EQ(ST::ensureTrailingBackslash(p), "a\\");
  expectEach([](std::string& s) { return ST::ensureTrailingBackslash(s); },
             {P{"a\\", "a\\"}, P{"a/", "a/"}, P{"", ""}});
  std::wstring w = L"b";
  EXPECT_EQ(ST::ensureTrailingBackslash(w), L"b\\");

  for (const char* absolute : {"C:\\x", "C:x", "\\\\host\\share"})
    EXPECT_TRUE(ST::isAbsolutePath(absolute)) << absolute;
  EXPECT_FALSE(ST::isAbsolutePath("\\x"));
  EXPECT_FALSE(ST::isAbsolutePath("x"));
  EXPECT_EQ(ST::makeAbsolute("b/../c", "C:/a"), "C:\\a\\c");
  EXPECT_EQ(ST::makeAbsolute("D:\\y", "C:\\a"), "D:\\y");
  EXPECT_EQ(ST::makeAbsolute("x", "C:\\a\\"), "C:\\a\\x");
}

class StringToolsFiles : public ::testing::Test {
 protected:
  void SetUp() override { std::ofstream(file) << "x"; }
  // The same place written the library's way.
  static std::string backslashed(std::string path) { return ST::toBackslashes(path); }

  testsupport::TempDir temp{"stringtools"};
  const std::string dir = temp.path;
  const std::string file = dir + "/plain.txt";
};

TEST_F(StringToolsFiles, QueriesTheFileSystemThroughBackslashPaths) {
  const std::string missing = dir + "\\missing";
  EXPECT_TRUE(ST::exists(backslashed(file)));
  EXPECT_TRUE(ST::exists(dir));
  EXPECT_FALSE(ST::exists(missing));
  EXPECT_FALSE(ST::exists(""));
  EXPECT_TRUE(ST::isRegularFile(backslashed(file)));
  EXPECT_TRUE(ST::isRegularFile(ST::toWide(backslashed(file))));
  for (const std::string& no : {dir, missing, std::string()})
    EXPECT_FALSE(ST::isRegularFile(no)) << no;
  for (const std::string& yes : {backslashed(dir), backslashed(dir) + "\\"}) {
    EXPECT_TRUE(ST::isDirectory(yes)) << yes;
  }
#ifndef _WIN32
  EXPECT_TRUE(ST::isDirectory("/"));
#endif
  EXPECT_FALSE(ST::isDirectory(backslashed(file)));
  EXPECT_FALSE(ST::isDirectory(""));
}

#ifndef _WIN32  // FIFOs, devices and symbolic links as POSIX has them
// A regular file once links are followed; a FIFO or a device is none, so a reader that asks
// first never waits on a pipe or reads a device without end.
TEST_F(StringToolsFiles, RegularFileMeansRegularAfterLinks) {
  const std::string fifo = dir + "/fifo", linked = dir + "/linked", device = dir + "/device";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  ASSERT_EQ(symlink(file.c_str(), linked.c_str()), 0);
  ASSERT_EQ(symlink("/dev/zero", device.c_str()), 0);
  EXPECT_TRUE(ST::isRegularFile(backslashed(linked)));
  for (const std::string& no : {fifo, device, std::string("/dev/null")}) {
    EXPECT_FALSE(ST::isRegularFile(no)) << no;
    EXPECT_FALSE(ST::isRegularFile(ST::toWide(no))) << no;
    EXPECT_TRUE(ST::exists(no)) << no;
  }
  for (const std::string& name : {fifo, linked, device}) std::remove(name.c_str());
}
#endif

TEST_F(StringToolsFiles, CurrentDirectoryLongPathAndNormalize) {
  namespace fs = std::filesystem;
  const fs::path previous = fs::current_path();
  fs::current_path(dir);
  const std::string current = ST::currentDirectory();
  fs::current_path(previous);
  EXPECT_EQ(current, fs::canonical(dir).string());

  std::string path = backslashed(file);
  EXPECT_EQ(ST::toLongPath(path), backslashed(file));  // no short names here

  EnvGuard base("KESTRO_TEST_BASE", dir.c_str());
  path = "%KESTRO_TEST_BASE%\\sub\\..\\.\\plain.txt";
  EXPECT_EQ(ST::normalizePath(path), backslashed(file));
  EXPECT_TRUE(ST::isRegularFile(path));
}

}  // namespace
}  // namespace KestroCorelib
