#include <gtest/gtest.h>
#include <stdlib.h>

#include "StringTools.h"
#ifndef _WIN32
#  include <unistd.h>
#endif

#include <cfloat>
#include <cstdio>
#include <fstream>
#include <limits>

namespace KestroCorelib {
namespace {

using Pieces = std::vector<std::string>;
using ST = StringTools;

std::string trimmedLeft(std::string s, bool useSet) { return ST::trimLeft(s, useSet); }
std::string unquoted(std::string s) { return ST::unquote(s); }
std::string tidied(std::string s) { return ST::tidyPath(s); }
std::string expanded(std::string s) { return ST::expandEnvironment(s); }

// Sets or removes a variable for the lifetime of a test.
class EnvGuard {
 public:
  EnvGuard(const char* n, const char* value) : name(n) {
    const char* old = getenv(n);
    hadOld = old != nullptr;
    if (hadOld) oldValue = old;
    set(value);
  }
  ~EnvGuard() { set(hadOld ? oldValue.c_str() : nullptr); }

 private:
  void set(const char* value) {
#ifdef _WIN32
    _putenv_s(name.c_str(), value != nullptr ? value : "");  // "" removes it there
#else
    if (value != nullptr) {
      setenv(name.c_str(), value, 1);
    } else {
      unsetenv(name.c_str());
    }
#endif
  }

  std::string name;
  std::string oldValue;
  bool hadOld = false;
};

TEST(StringTools, TrimLeftWithAndWithoutWhitespaceSet) {
  EXPECT_EQ(trimmedLeft(" \r\n\t\v\b\fx ", true), "x ");
  EXPECT_EQ(trimmedLeft("\xE9x", false), "x");  // a high byte counts as "low" when signed
  EXPECT_EQ(trimmedLeft("\xE9x", true), "\xE9x");
  EXPECT_EQ(trimmedLeft(std::string("\x01\x00 !", 4), false), "!");
  EXPECT_EQ(trimmedLeft("   ", true), "");
  std::string both = "\t a b \n";
  EXPECT_EQ(ST::trim(both), "a b");
}

TEST(StringTools, UnquoteNeedsMatchingQuotePair) {
  EXPECT_EQ(unquoted("'a'"), "a");
  EXPECT_EQ(unquoted("\"a\""), "a");
  EXPECT_EQ(unquoted("\"a'"), "\"a'");
  EXPECT_EQ(unquoted("'"), "'");
  EXPECT_EQ(unquoted("''"), "");
  EXPECT_EQ(unquoted("xax"), "xax");
}

TEST(StringTools, ReverseAndPadClampToTheText) {
  std::string s = "abcdef";
  EXPECT_EQ(ST::reverse(s, 1, 3), "adcbef");
  EXPECT_EQ(ST::reverse(s, 4, 100), "adcbfe");
  EXPECT_EQ(ST::reverse(s, 6, 1), "adcbfe");
  std::string n = "7";
  EXPECT_EQ(ST::padLeft(n, 3, '0'), "007");
  EXPECT_EQ(ST::padRight(n, 5, '.'), "007..");
  EXPECT_EQ(ST::padLeft(n, 2, '0'), "007..");
}

TEST(StringTools, CutHeadAndTail) {
  std::string s = "name=value";
  EXPECT_EQ(ST::cutHead(s, '='), "name");
  EXPECT_EQ(s, "value");
  s = "novalue";
  EXPECT_EQ(ST::cutHead(s, '='), "novalue");
  EXPECT_EQ(s, "");
  s = "a::b::c";
  EXPECT_EQ(ST::cutHead(s, std::string("::")), "a");
  EXPECT_EQ(s, "b::c");
  EXPECT_EQ(ST::cutHead(s, std::string()), "");
  EXPECT_EQ(s, "b::c");
  s = "a.b.c";
  EXPECT_EQ(ST::cutTail(s, '.'), "c");
  EXPECT_EQ(s, "a.b");
  s = "abc";
  EXPECT_EQ(ST::cutTail(s, '.'), "abc");
  EXPECT_EQ(s, "");
}

TEST(StringTools, CompareAtComparesSignedBytes) {
  EXPECT_EQ(ST::compareAt("abc", 1, "bc"), 0);
  EXPECT_EQ(ST::compareAt("abc", 1, ""), 0);
  EXPECT_EQ(ST::compareAt("abc", 3, ""), -1);
  EXPECT_EQ(ST::compareAt("abc", 1, "bcd"), -1);  // text ends first
  EXPECT_EQ(ST::compareAt("abc", 0, "abd"), -1);
  EXPECT_EQ(ST::compareAt("abd", 0, "abc"), 1);
  EXPECT_EQ(ST::compareAt("a\xE9", 1, "a"), -1);  // 0xE9 is negative as a signed byte
}

TEST(StringTools, CaseFoldingIsTheCLocales) {
  std::string s = "MiXeD \xC9";
  EXPECT_EQ(ST::toLower(s), "mixed \xC9");
  EXPECT_EQ(ST::lowerCopy(std::wstring(L"ABC\x00C9")), L"abc\x00C9");
  EXPECT_EQ(ST::compareNoCase("Alpha", "aLPHA"), 0);
  EXPECT_LT(ST::compareNoCase("alpha", "BETA"), 0);
  EXPECT_GT(ST::compareNoCase(std::wstring(L"b"), std::wstring(L"A")), 0);
  std::string r = "a/b/c";
  EXPECT_EQ(ST::replaceChar(r, '/', '-'), "a-b-c");
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
  EXPECT_EQ(ST::unescape("a\\nb\\\\c", 'n', '\n', '\\'), "a\nb\\c");
  EXPECT_EQ(ST::unescape("\\t\\", 'n', '\n', '\\'), "\\t\\");
  EXPECT_EQ(ST::unescape("\\\\n", 'n', '\n', '\\'), "\\n");  // escaped backslash, then n
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
  ST::LineSizeSearcher eight(8);
  EXPECT_EQ(ST::split("alpha beta gamma", eight, ST::unlimited, true),
            (Pieces{"alpha", "beta", "gamma"}));
  EXPECT_EQ(ST::split("well-known words", eight, ST::unlimited, true),
            (Pieces{"well-", "known", "words"}));
  ST::LineSizeSearcher ten(10);
  EXPECT_EQ(ST::split("abcdefghijklmnopqrstuvwxy", ten, ST::unlimited, true),
            (Pieces{"abcdefghij", "klmnopqrst", "uvwxy"}));
  EXPECT_EQ(ST::split("alpha beta gamma", ten, ST::unlimited, true),
            (Pieces{"alpha beta", "gamma"}));
  // A newline ends a line early and is consumed; skip-empty drops the empty line.
  EXPECT_EQ(ST::split("ab\n\ncdefghijklmn", ten), (Pieces{"ab", "", "cdefghijkl", "mn"}));
  EXPECT_EQ(ST::split("ab\n\ncdefghijklmn", ten, ST::unlimited, true),
            (Pieces{"ab", "cdefghijkl", "mn"}));
  // A hyphen right after a full line does not stretch it: the line breaks before it.
  EXPECT_EQ(ST::split("abcd-ef gh", ST::LineSizeSearcher(4), ST::unlimited, true),
            (Pieces{"abcd", "-ef", "gh"}));
  EXPECT_EQ(ST::split("ab cd-ef", ST::LineSizeSearcher(5), ST::unlimited, true),
            (Pieces{"ab", "cd-ef"}));
  // The maximum number of pieces leaves the rest uncut.
  EXPECT_EQ(ST::split("alpha beta gamma", eight, 2, true), (Pieces{"alpha", "beta gamma"}));
  EXPECT_EQ(ST::split(std::wstring(L"alpha beta gamma"), eight, ST::unlimited, true),
            (std::vector<std::wstring>{L"alpha", L"beta", L"gamma"}));
  // A searcher of width 0 never cuts: the text stays whole.
  EXPECT_EQ(ST::split("abc", ST::LineSizeSearcher(0)), Pieces{"abc"});
}

TEST(StringTools, SplitSurvivesSearcherThatMakesNoProgress) {
  struct Stuck : ST::StringSearcher {
    bool find(std::size_t& pos, std::size_t& len, const std::wstring&, std::size_t start,
              std::size_t) const override {
      pos = start;
      len = 0;
      return true;
    }
    bool find(std::size_t& pos, std::size_t& len, const std::string&, std::size_t start,
              std::size_t) const override {
      pos = start;
      len = 0;
      return true;
    }
  };
  EXPECT_EQ(ST::split("abc", Stuck()), Pieces{"abc"});
}

TEST(StringTools, MatchGlob) {
  EXPECT_TRUE(ST::matchGlob("axxb", "a**b"));
  EXPECT_TRUE(ST::matchGlob("ab", "a**b"));
  EXPECT_FALSE(ST::matchGlob("axxc", "a**b"));
  EXPECT_TRUE(ST::matchGlob("", ""));
  EXPECT_TRUE(ST::matchGlob("", "*"));
  EXPECT_FALSE(ST::matchGlob("", "?"));
  EXPECT_FALSE(ST::matchGlob("x", ""));
  EXPECT_TRUE(ST::matchGlob("x", "?*"));
  EXPECT_TRUE(ST::matchGlob("anything at all", "?*"));
  EXPECT_FALSE(ST::matchGlob("system", "Sys*"));
  EXPECT_TRUE(ST::matchGlob("system", "s?s*m"));
  EXPECT_TRUE(ST::matchGlob("abcabcd", "*abcd"));  // needs the back-track
  EXPECT_FALSE(ST::matchGlob("abc", "ab"));        // whole text only
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
  EXPECT_EQ(ST::toString(-1e-16), "-1.000000000000000e-16");
  EXPECT_EQ(ST::toString(100.0), "100");
  EXPECT_EQ(ST::toString(-0.125), "-0.125");
}

TEST(StringTools, NumbersFromText) {
  EXPECT_FALSE(ST::toBool(""));
  EXPECT_FALSE(ST::toBool("0"));
  EXPECT_TRUE(ST::toBool("00"));
  EXPECT_EQ(ST::toInt32(" -12x"), -12);
  EXPECT_EQ(ST::toInt32("99999999999"), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(ST::toUInt32("4294967295"), 4294967295u);
  EXPECT_EQ(ST::toUInt32("-1"), 4294967295u);
  EXPECT_EQ(ST::toUInt32("99999999999"), 4294967295u);
  EXPECT_EQ(ST::toInt64("-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(ST::toInt64("99999999999999999999"), std::numeric_limits<std::int64_t>::max());
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
}

TEST(StringTools, EnvironmentHelpers) {
  EnvGuard unset("KESTRO_TEST_UNSET", nullptr);
  std::string out = "previous";
  EXPECT_FALSE(ST::getEnv("KESTRO_TEST_UNSET", out));
  EXPECT_EQ(out, "previous");

  EnvGuard empty("KESTRO_TEST_EMPTY", nullptr);
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
  EnvGuard a("A", "x");
  EnvGuard unset("KESTRO_TEST_UNSET", nullptr);
  EnvGuard loop("KESTRO_TEST_LOOP", "%KESTRO_TEST_LOOP%");
  EXPECT_EQ(expanded("%A%%A%"), "xx");
  EXPECT_EQ(expanded("%KESTRO_TEST_UNSET%\\a"), "%KESTRO_TEST_UNSET%\\a");
  EXPECT_EQ(expanded("$A\\b"), "x\\b");
  EXPECT_EQ(expanded("a\\$A"), "a\\$A");  // no closing backslash
  EXPECT_EQ(expanded("$KESTRO_TEST_UNSET\\$A\\"), "$KESTRO_TEST_UNSET\\x\\");
  EXPECT_EQ(expanded("/tmp/%A%"), "\\tmp\\x");
  EXPECT_EQ(expanded("%%A%"), "%%A%");
  // An inserted value is not expanded again.
  EXPECT_EQ(expanded("%KESTRO_TEST_LOOP%"), "%KESTRO_TEST_LOOP%");
  EXPECT_EQ(expanded("\\C:"), "C:");
  EXPECT_EQ(expanded("\\??"), "");
  EXPECT_EQ(expanded(""), "");
}

TEST(StringTools, TidyPath) {
  EXPECT_EQ(tidied("a\\.\\b\\..\\c"), "a\\c");
  EXPECT_EQ(tidied("a\\.\\b\\..\\.."), "");
  EXPECT_EQ(tidied("\\\\server\\share\\..\\x"), "\\\\server\\x");
  EXPECT_EQ(tidied("..\\a"), "..\\a");
  EXPECT_EQ(tidied("..\\..\\a\\..\\b"), "..\\..\\b");
  EXPECT_EQ(tidied("a\\"), "a\\");
  EXPECT_EQ(tidied("C:/x//y/"), "C:\\x\\y\\");
  // The root stays the root, and nothing turns into it.
  EXPECT_EQ(tidied("\\"), "\\");
  EXPECT_EQ(tidied("/"), "\\");
  EXPECT_EQ(tidied("a\\..\\"), "");
  EXPECT_EQ(tidied("\\a\\..\\"), "\\");
}

TEST(StringTools, PathPieces) {
  EXPECT_EQ(ST::parentDirectory("C:\\a\\b"), "C:\\a");
  EXPECT_EQ(ST::parentDirectory("C:\\a\\b\\"), "C:\\a");
  EXPECT_EQ(ST::parentDirectory("C:\\"), "");
  EXPECT_EQ(ST::parentDirectory("a"), "");
  EXPECT_EQ(ST::extension("dir.d\\file"), "");
  EXPECT_EQ(ST::extension("file.tar.gz"), "gz");
  EXPECT_EQ(ST::extension(std::wstring(L"a\\b.TXT")), L"TXT");
  std::string p = "a\\\\";
  EXPECT_EQ(ST::removeTrailingBackslashes(p), "a");
  EXPECT_EQ(ST::ensureTrailingBackslash(p), "a\\");
  EXPECT_EQ(ST::ensureTrailingBackslash(p), "a\\");
  std::string slash = "a/";
  EXPECT_EQ(ST::ensureTrailingBackslash(slash), "a/");
  std::string none;
  EXPECT_EQ(ST::ensureTrailingBackslash(none), "");
  std::wstring w = L"b";
  EXPECT_EQ(ST::ensureTrailingBackslash(w), L"b\\");
}

TEST(StringTools, AbsolutePaths) {
  EXPECT_TRUE(ST::isAbsolutePath("C:\\x"));
  EXPECT_TRUE(ST::isAbsolutePath("C:x"));
  EXPECT_TRUE(ST::isAbsolutePath("\\\\host\\share"));
  EXPECT_FALSE(ST::isAbsolutePath("\\x"));
  EXPECT_FALSE(ST::isAbsolutePath("x"));
  EXPECT_EQ(ST::makeAbsolute("b/../c", "C:/a"), "C:\\a\\c");
  EXPECT_EQ(ST::makeAbsolute("D:\\y", "C:\\a"), "D:\\y");
  EXPECT_EQ(ST::makeAbsolute("x", "C:\\a\\"), "C:\\a\\x");
}

#ifndef _WIN32
class StringToolsFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "stringtools-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
    file = dir + "/plain.txt";
    std::ofstream(file) << "x";
  }
  void TearDown() override {
    std::remove(file.c_str());
    rmdir(dir.c_str());
  }
  // The same place written the library's way.
  static std::string backslashed(std::string path) { return ST::toBackslashes(path); }

  std::string dir;
  std::string file;
};

TEST_F(StringToolsFiles, QueriesTheFileSystemThroughBackslashPaths) {
  EXPECT_TRUE(ST::exists(backslashed(file)));
  EXPECT_TRUE(ST::exists(dir));
  EXPECT_FALSE(ST::exists(dir + "\\missing"));
  EXPECT_FALSE(ST::exists(""));

  EXPECT_TRUE(ST::isRegularFile(backslashed(file)));
  EXPECT_TRUE(ST::isRegularFile(ST::toWide(backslashed(file))));
  EXPECT_FALSE(ST::isRegularFile(dir));
  EXPECT_FALSE(ST::isRegularFile(dir + "\\missing"));
  EXPECT_FALSE(ST::isRegularFile(std::string()));

  EXPECT_TRUE(ST::isDirectory(backslashed(dir)));
  EXPECT_TRUE(ST::isDirectory(backslashed(dir) + "\\"));
  EXPECT_TRUE(ST::isDirectory("/"));
  EXPECT_FALSE(ST::isDirectory(backslashed(file)));
  EXPECT_FALSE(ST::isDirectory(""));
}

TEST_F(StringToolsFiles, CurrentDirectoryAndLongPath) {
  char buffer[4096];
  ASSERT_NE(getcwd(buffer, sizeof buffer), nullptr);
  const std::string previous = buffer;
  ASSERT_EQ(chdir(dir.c_str()), 0);
  const std::string current = ST::currentDirectory();
  ASSERT_EQ(chdir(previous.c_str()), 0);
  char real[4096];
  ASSERT_NE(realpath(dir.c_str(), real), nullptr);
  EXPECT_EQ(current, real);

  std::string path = backslashed(file);
  EXPECT_EQ(ST::toLongPath(path), backslashed(file));  // POSIX has no short names
}

TEST_F(StringToolsFiles, NormalizePathExpandsAndTidies) {
  EnvGuard base("KESTRO_TEST_BASE", dir.c_str());
  std::string path = "%KESTRO_TEST_BASE%\\sub\\..\\.\\plain.txt";
  EXPECT_EQ(ST::normalizePath(path), backslashed(file));
  EXPECT_TRUE(ST::isRegularFile(path));
}

#endif  // !_WIN32

}  // namespace
}  // namespace KestroCorelib
