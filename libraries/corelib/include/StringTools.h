#pragma once
// Small text, number, path and environment operations shared by the whole library.
//
// Text is narrow 8-bit text unless a wide (std::wstring) variant is named. Most operations
// change their argument in place and return it, so calls can be nested:
//   std::string s = "  name=value";
//   StringTools::cutHead(StringTools::trimLeft(s), '=');   // returns "name", s == "value"
// Nothing here throws (beyond memory exhaustion); failure is a false, empty or unchanged result.
//
// Path texts keep the Windows form ('\' separators, "C:" drives) on every platform; only the
// file-system queries (exists, isRegularFile, isDirectory, currentDirectory, toLongPath and
// the Windows directory behind "\systemroot") ask the operating system.
#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <string_view>
#include <vector>

namespace KestroCorelib {

class StringTools {
 public:
  // A searcher finds the places where split() cuts a text.
  class StringSearcher {
   public:
    // Looks for the next cut in [start, start + count) of the text. On success sets the cut's
    // position and the number of characters it consumes (0 keeps every character) and returns
    // true; false means there is no further cut.
    virtual bool find(std::size_t& matchPos, std::size_t& matchLength, const std::wstring& text,
                      std::size_t start, std::size_t count) const = 0;
    virtual bool find(std::size_t& matchPos, std::size_t& matchLength, const std::string& text,
                      std::size_t start, std::size_t count) const = 0;
    // Virtual so that a searcher can be owned through this base safely.
    virtual ~StringSearcher() = default;
  };

  // Cuts text into lines of at most maxLength characters: at a newline (consumed), else after
  // the last '-' that fits (kept on the line), else at the last whitespace that fits (consumed),
  // else hard after maxLength characters.
  //   split("well-known words", LineSizeSearcher(8), 0, true)  // {"well-", "known", "words"}
  class LineSizeSearcher : public StringSearcher {
   public:
    explicit LineSizeSearcher(std::uint8_t maxLength);
    bool find(std::size_t& matchPos, std::size_t& matchLength, const std::wstring& text,
              std::size_t start, std::size_t count) const override;
    bool find(std::size_t& matchPos, std::size_t& matchLength, const std::string& text,
              std::size_t start, std::size_t count) const override;

   private:
    std::uint8_t maxLength;
    std::string breakChars;    // whitespaceChars() followed by '-'
    std::wstring breakCharsW;  // the same characters, wide
  };

  // Passed as maximum number of pieces to split(): no limit.
  static constexpr std::size_t unlimited = 0;

  // ---- Text -------------------------------------------------------------------------------

  // Blank, CR, LF, TAB, VT, BS, FF (" \r\n\t\v\b\f"), built once on first use.
  static const std::string& whitespaceChars();
  static const std::wstring& whitespaceCharsW();

  // Removes leading characters: with useSet those in whitespaceChars(); without it every byte
  // whose signed 8-bit value is 32 or less (so also the bytes 0x80..0xFF).
  static std::string& trimLeft(std::string& text, bool useSet = true);
  // The same rule at the end of the text, and at both ends.
  static std::string& trimRight(std::string& text, bool useSet = true);
  static std::string& trim(std::string& text, bool useSet = true);

  // Removes one pair of enclosing '...' or "..." quotes: "'a'" -> "a"; "\"a'" unchanged.
  static std::string& unquote(std::string& text);

  // Reverses [start, start + count), clamped to the text; nothing if start is past the end.
  static std::string& reverse(std::string& text, std::size_t start = 0,
                              std::size_t count = std::string::npos);

  // Inserts at the front / appends fill characters until the text is width long.
  static std::string& padLeft(std::string& text, std::size_t width, char fill = ' ');
  static std::string& padRight(std::string& text, std::size_t width, char fill = ' ');

  // Returns the text before the first separator and removes it and the separator from text.
  //   std::string s = "name=value"; cutHead(s, '=') == "name", s == "value"
  //   std::string s = "novalue";    cutHead(s, '=') == "novalue", s == ""
  static std::string cutHead(std::string& text, char separator);
  // The same with a separator text; an empty separator returns "" and leaves text unchanged.
  static std::string cutHead(std::string& text, const std::string& separator);
  // Returns the text after the last separator and cuts text before it.
  //   std::string s = "a.b.c"; cutTail(s, '.') == "c", s == "a.b"
  //   std::string s = "abc";   cutTail(s, '.') == "abc", s == ""
  static std::string cutTail(std::string& text, char separator);

  // Compares the text at pos with pattern: 0 when it continues with pattern (or pattern is
  // empty); -1 when pos is at or beyond the end or the text ends first; otherwise -1 or 1 as
  // the first differing bytes compare as signed 8-bit values.
  static int compareAt(const std::string& text, std::size_t pos, const std::string& pattern);

  // Replaces every occurrence of from by to.
  static std::string& replaceChar(std::string& text, char from, char to);

  // Lower case of the C locale (only 'A'..'Z' change).
  static std::string& toLower(std::string& text);
  static std::wstring& toLower(std::wstring& text);
  static std::string lowerCopy(const std::string& text);
  static std::wstring lowerCopy(const std::wstring& text);
  // Three-way comparison (<0, 0, >0) of the lower-cased texts.
  static int compareNoCase(const std::string& a, const std::string& b);
  static int compareNoCase(const std::wstring& a, const std::wstring& b);
  // Equality of the lower-cased texts, without copying either:
  //   equalsNoCase("Default", "dEFAULT") == true, equalsNoCase("\xC9", "\xE9") == false
  static bool equalsNoCase(std::string_view a, std::string_view b);

  // Character-by-character conversion: each byte becomes the code point of the same value
  // and back (Latin-1), so every byte survives a round trip; a wide character above 255
  // becomes '?'.
  static std::wstring toWide(const std::string& text);
  static std::string toNarrow(const std::wstring& text);

  // special -> escapeChar + code, escapeChar -> escapeChar twice, all else copied.
  //   escape("a\nb\\c", '\n', 'n', '\\') == "a\\nb\\\\c"
  static std::string escape(const std::string& text, char special, char code, char escapeChar);
  static std::wstring escape(const std::wstring& text, wchar_t special, wchar_t code,
                             wchar_t escapeChar);
  // Reverse of escape(): escapeChar + code -> special, two escapeChars -> one; any other
  // escape sequence and a lone escapeChar at the end stay as they are.
  static std::string unescape(const std::string& text, char code, char special, char escapeChar);
  static std::wstring unescape(const std::wstring& text, wchar_t code, wchar_t special,
                               wchar_t escapeChar);

  // Splits at every separator; at most maxPieces pieces (unlimited = 0), the last one holding
  // the rest. skipEmpty drops empty pieces; a trailing separator never gives a final empty
  // piece, and an empty text gives none.
  //   split("a,,b,", ',')              // {"a", "", "b"}
  //   split("a,,b,", ',', 0, true)     // {"a", "b"}
  //   split("a,b,c", ',', 2)           // {"a", "b,c"}
  static std::vector<std::string> split(const std::string& text, char separator,
                                        std::size_t maxPieces = unlimited, bool skipEmpty = false);
  static std::list<std::string> splitList(const std::string& text, char separator,
                                          std::size_t maxPieces = unlimited,
                                          bool skipEmpty = false);
  // Splits where the searcher finds cuts (see LineSizeSearcher).
  static std::vector<std::string> split(const std::string& text, const StringSearcher& searcher,
                                        std::size_t maxPieces = unlimited, bool skipEmpty = false);
  static std::vector<std::wstring> split(const std::wstring& text, const StringSearcher& searcher,
                                         std::size_t maxPieces = unlimited, bool skipEmpty = false);

  // Wildcard match of the whole text from start: '*' any run (also none), '?' one character,
  // case-sensitive, no classes or escapes. At or beyond the end of the text only "" and "*"
  // match; a length of 0 never matches a non-empty rest. Otherwise length is not a limit:
  // the whole rest of the text is matched.
  //   matchGlob("abc", "a*c") == true; matchGlob("system", "Sys*") == false
  static bool matchGlob(const std::string& text, const std::string& pattern, std::size_t start = 0,
                        std::size_t length = std::string::npos);

  // ---- Numbers (the text forms of parameter streams) --------------------------------------

  static std::string toString(bool value);          // "1" / "0"
  static std::string toString(std::int16_t value);  // decimal
  static std::string toString(std::uint16_t value);
  static std::string toString(std::int32_t value);
  static std::string toString(std::uint32_t value);
  static std::string toString(std::int64_t value);
  static std::string toString(std::uint64_t value);
  // 0 -> "0"; magnitude above 1e15 or below 1e-15 -> "%.15e"; otherwise "%.14f" with trailing
  // zeros (and a bare point) removed: 0.5 -> "0.5", 3 -> "3", 1e-16 -> "1.000000000000000e-16".
  static std::string toString(double value);

  // True when the text is non-empty and not "0".
  static bool toBool(const std::string& text);
  // Base-10 conversion after optional white space and sign; values out of range are clamped.
  static std::int32_t toInt32(const std::string& text);
  static std::uint32_t toUInt32(const std::string& text);
  // Optional '-', then the leading digits; no digits give 0; values out of range are clamped.
  static std::int64_t toInt64(const std::string& text);
  // The leading digits; none give 0; a value out of range is clamped.
  static std::uint64_t toUInt64(const std::string& text);
  // Decimal conversion; an infinite result becomes the largest finite double (with its sign).
  // The decimal point is '.' whatever the process's locale says.
  static double toDouble(const std::string& text);
  // The same; `used` receives how many characters were read, so the whole text was a number
  // when it equals the text's length: "0.5" -> 3, " -2.5e3x" -> 7, "1,5" -> 1, "junk" -> 0.
  static double toDouble(const std::string& text, std::size_t& used);

  // ---- Environment of the process ----------------------------------------------------------

  // Sets name to value (the empty value included). False for an empty name, a name with '='
  // or a refusal of the system.
  static bool setEnv(const std::string& name, const std::string& value);
  // Copies the value into out and returns true when name is set (also to ""); otherwise
  // returns false and leaves out untouched.
  static bool getEnv(const std::string& name, std::string& out);

  // ---- Paths (Windows form) ----------------------------------------------------------------

  // Every '/' becomes '\'.
  static std::string& toBackslashes(std::string& path);
  // Replaces %NAME% and $NAME\ references by set variables, then "\c:" by "C:",
  // "\systemroot" by the Windows directory and "\??" by "".
  //   with A=x: "%A%%A%" -> "xx", "$A\b" -> "x\b", "/tmp/%A%" -> "\tmp\x", "%UNSET%" unchanged
  static std::string& expandEnvironment(std::string& path);
  // Removes "." and empty pieces and cancels "name\.." pairs, keeping a leading '\' or "\\"
  // and a trailing '\':
  //   "a\.\b\..\c" -> "a\c"; "\\server\share\..\x" -> "\\server\x"; "..\a" stays
  static std::string& tidyPath(std::string& path);
  // The long form of a path (unchanged where the system has no short names or on failure).
  static std::string& toLongPath(std::string& path);
  // expandEnvironment, tidyPath, toLongPath.
  static std::string& normalizePath(std::string& path);
  static std::string& removeTrailingBackslashes(std::string& path);
  // Appends '\' unless the path is empty or ends with '\' or '/'.
  static std::string& ensureTrailingBackslash(std::string& path);
  static std::wstring& ensureTrailingBackslash(std::wstring& path);
  // "C:\x", "C:x" and "\\host\share" are absolute; "\x" and "x" are not.
  static bool isAbsolutePath(const std::string& path);
  // A relative path is put below base and tidied: makeAbsolute("b\..\c", "C:\a") == "C:\a\c".
  static std::string makeAbsolute(std::string path, std::string base);
  // "C:\a\b" and "C:\a\b\" -> "C:\a"; "C:\" and "a" -> "".
  static std::string parentDirectory(const std::string& path);
  // The text after the last '.' of the last path piece: "file.tar.gz" -> "gz",
  // "dir.d\file" -> "".
  static std::string extension(const std::string& path);
  static std::wstring extension(const std::wstring& path);

  // File-system queries (false on any failure).
  static bool exists(const std::string& path);
  // A regular file once links are followed: a FIFO, device or socket is no regular file, so
  // a reader that asks first never waits on a pipe or reads a device without end.
  static bool isRegularFile(const std::string& path);
  static bool isRegularFile(const std::wstring& path);
  static bool isDirectory(const std::string& path);
  // The current directory of the process; "" on failure.
  static std::string currentDirectory();
};

}  // namespace KestroCorelib
