#include <gtest/gtest.h>

#include <cfloat>
#include <limits>

#include "ParamStream.h"

namespace KestroCorelib {
namespace {

StreamValue value(std::uint32_t tag, const std::string& text) {
  StreamValue v;
  v.tag = tag;
  v.text = text;
  return v;
}

// The stored values, in order, as "tag:text".
std::vector<std::string> stored(const ParamStream& p) {
  std::vector<std::string> out;
  for (const StreamValue& v : p.getValues()) out.push_back(std::to_string(v.tag) + ":" + v.text);
  return out;
}

// The next value read as a T (value-initialised when the read fails).
template <typename T> T next(ParamStream& p) {
  T v{};
  p >> v;
  return v;
}

TEST(ParamStream, FillReplacesPlaceholdersInOrder) {
  ParamStream p;
  p << int32_t(1) << std::string("x");
  EXPECT_EQ(p.fill("a % b % c"), "a 1 b x c");

  ParamStream one;
  one << int32_t(1);
  EXPECT_EQ(one.fill("a % b % c"), "a 1 b  c");  // missing value: empty text

  ParamStream none;
  EXPECT_EQ(none.fill("a % b % c"), "a % b % c");
  EXPECT_EQ(none.fill("a\\%"), "a\\%");
}

TEST(ParamStream, FillKeepsBackslashPairsAndIgnoresSurplus) {
  ParamStream p;
  p << int32_t(7) << int32_t(8);
  EXPECT_EQ(p.fill("\\% is % \\\\%"), "\\% is 7 \\\\8");
  EXPECT_EQ(p.fill("end\\"), "end\\");
  // Rendering twice gives the same text: every fill starts at the first value.
  EXPECT_EQ(p.fill("%"), "7");
  EXPECT_EQ(p.fill("%"), "7");
  EXPECT_EQ(p.fillW(L"% and %"), L"7 and 8");
}

TEST(ParamStream, TypedWritesStoreTagAndText) {
  ParamStream p;
  p << true << false << int32_t(-5) << uint32_t(4000000000u) << int64_t(-9000000000)
    << uint64_t(18446744073709551615ull) << 0.5 << static_cast<char>(0xE9) << L'\x20AC' << "plain"
    << std::string("a\nb\\c");
  EXPECT_EQ(stored(p), (std::vector<std::string>{"0:1", "0:0", "3:-5", "4:4000000000",
                                                 "5:-9000000000", "6:18446744073709551615", "7:0.5",
                                                 "12:-23", "13:8364", "9:plain", "9:a\\nb\\\\c"}));
  EXPECT_EQ(p.fill("% % % % % % % % % % %"),
            "true false -5 4000000000 -9000000000 18446744073709551615 0.5 \xE9 ? plain a\nb\\c");
  EXPECT_EQ(p.fillW(L"%|%"), L"true|false");

  ParamStream nulls;  // null character pointers write empty strings
  nulls << static_cast<const char*>(nullptr) << static_cast<const wchar_t*>(nullptr);
  EXPECT_EQ(stored(nulls), (std::vector<std::string>{"9:", "10:"}));
}

TEST(ParamStream, WideStringsAreStoredAsLittleEndianUnits) {
  ParamStream p;
  p << std::wstring(L"A\n\x20AC") << L"";
  ASSERT_EQ(p.count(), 2u);
  const std::string expected("A\0\\\0n\0\xAC\x20", 8);
  EXPECT_EQ(p.getValues().front().text, expected);
  EXPECT_EQ(p.getValues().back().text, "");  // an empty wide string is a value too
  EXPECT_EQ(p.fillW(L"[%]"), L"[A\n\x20AC]");
  EXPECT_EQ(p.fill("[%]"), "[A\n?]");  // not representable in narrow text

  std::wstring back = L"untouched";
  p >> back;
  EXPECT_EQ(back, L"A\n\x20AC");
}

TEST(ParamStream, WideCharactersBeyondSixteenBitsSurviveWhereWcharIsWide) {
  if (sizeof(wchar_t) < 4) GTEST_SKIP() << "wchar_t holds 16-bit units here";
  const std::wstring text(1, static_cast<wchar_t>(0x1F600));
  ParamStream p;
  p << text;
  EXPECT_EQ(p.getValues().front().text, std::string("\x3D\xD8\x00\xDE", 4));
  std::wstring back;
  p >> back;
  EXPECT_EQ(back, text);
}

TEST(ParamStream, WriteRefusesInvalidTagsAndEmptyNonStrings) {
  ParamStream p;
  EXPECT_FALSE(p.write(StreamValue()));  // a fresh value has tag 14
  EXPECT_FALSE(p.write(value(15, "x")));
  EXPECT_FALSE(p.write(value(StreamValue::Int32, "")));
  EXPECT_TRUE(p.write(value(StreamValue::String, "")));
  EXPECT_TRUE(p.write(value(StreamValue::WString, "")));
  EXPECT_TRUE(p.write(value(11, "ignored")));
  EXPECT_TRUE(p.write(value(1, "raw")));
  EXPECT_EQ(p.count(), 4u);
  EXPECT_EQ(p.fill("<%><%><%><%>"), "<><><><raw>");
}

TEST(ParamStream, RendersStoredBoolAndCharacterTexts) {
  ParamStream p;
  p.write(value(StreamValue::Bool, "0"));
  p.write(value(StreamValue::Bool, "yes"));
  p.write(value(StreamValue::Char, "65"));
  p.write(value(StreamValue::WChar, "66"));
  p.write(value(StreamValue::String, "a\\tb\\"));  // unknown escape and lone backslash stay
  EXPECT_EQ(p.fill("% % % % %"), "false true A B a\\tb\\");
  EXPECT_EQ(p.fillW(L"% % % % %"), L"false true A B a\\tb\\");
}

TEST(ParamStream, TypedReadsRoundTrip) {
  ParamStream p;
  p << true << int32_t(-7) << uint32_t(7) << int64_t(std::numeric_limits<int64_t>::min())
    << uint64_t(42) << 2.5 << 'q' << L'w' << std::string("s\\n\n") << std::wstring(L"w\n");
  EXPECT_TRUE(next<bool>(p));
  EXPECT_EQ(next<int32_t>(p), -7);
  EXPECT_EQ(next<uint32_t>(p), 7u);
  EXPECT_EQ(next<int64_t>(p), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(next<uint64_t>(p), 42u);
  EXPECT_EQ(next<double>(p), 2.5);
  EXPECT_EQ(next<char>(p), 'q');
  EXPECT_EQ(next<wchar_t>(p), L'w');
  EXPECT_EQ(next<std::string>(p), "s\\n\n");
  EXPECT_EQ(next<std::wstring>(p), L"w\n");
  EXPECT_TRUE(p.lastReadSucceeded());
  StreamValue rest;
  EXPECT_FALSE(p.read(rest));
}

// A derived stream transforms the texts of both widths on their way in and out.
TEST(ParamStream, DerivedStreamsEncodeAndDecodeTexts) {
  struct Marking : ParamStream {
    void encodeNarrow(std::string& text) override { text += "<"; }
    void encodeWide(std::wstring& text) override { text += L"<"; }
    void decodeNarrow(std::string& text) override { text += ">"; }
    void decodeWide(std::wstring& text) override { text += L">"; }
  } p;
  p << std::string("n") << std::wstring(L"w") << std::string("i") << std::wstring(L"j");
  EXPECT_EQ(stored(p).front(), "9:n<");
  std::string narrow;
  std::wstring wide;
  InternedString a, b;
  p >> narrow >> wide >> a >> b;
  EXPECT_EQ(narrow, "n<>");
  EXPECT_EQ(wide, L"w<>");
  EXPECT_EQ(a.narrowText(), "i<>");
  EXPECT_EQ(b.wideText(), L"j<>");
}

TEST(ParamStream, ReadOfWrongTypeConsumesAndLeavesTargetUnchanged) {
  ParamStream p;
  p << std::string("text") << int32_t(5);
  int32_t n = 99;
  p >> n;  // the string is consumed
  EXPECT_FALSE(p.lastReadSucceeded());
  EXPECT_EQ(n, 99);
  p >> n;
  EXPECT_TRUE(p.lastReadSucceeded());
  EXPECT_EQ(n, 5);
  p >> n;  // at the end
  EXPECT_FALSE(p.lastReadSucceeded());
  EXPECT_EQ(n, 5);

  // The same for an interned string, which takes either text width but nothing else.
  ParamStream number;
  number << int32_t(7);
  InternedString interned(std::string("kept"));
  number >> interned;
  EXPECT_FALSE(number.lastReadSucceeded());
  EXPECT_EQ(interned.narrowText(), "kept");
}

TEST(ParamStream, InfiniteDoubleReadsAsLargestFinite) {
  ParamStream p;
  p.write(value(StreamValue::Double, "1e400"));
  p.write(value(StreamValue::Double, "-1e400"));
  EXPECT_EQ(next<double>(p), DBL_MAX);
  EXPECT_EQ(next<double>(p), -DBL_MAX);
}

TEST(ParamStream, InternedStringsKeepTheirWidth) {
  ParamStream p;
  p << InternedString(std::string("n")) << InternedString(std::wstring(L"w"));
  EXPECT_EQ(stored(p).front(), "9:n");
  EXPECT_EQ(p.getValues().back().tag, uint32_t(StreamValue::WString));
  InternedString a, b;
  p >> a >> b;
  EXPECT_FALSE(a.isWide());
  EXPECT_EQ(a.narrowText(), "n");
  EXPECT_TRUE(b.isWide());
  EXPECT_EQ(b.wideText(), L"w");
}

TEST(ParamStream, CopyStartsAtFirstValueAndCursorStaysAtEnd) {
  ParamStream p;
  p << int32_t(1) << int32_t(2);
  EXPECT_EQ(p.nextText(), "1");
  ParamStream copy(p);
  EXPECT_EQ(copy.nextText(), "1");
  ParamStream assigned;
  assigned = p;
  EXPECT_EQ(assigned.nextText(), "1");

  EXPECT_EQ(p.nextText(), "2");
  EXPECT_EQ(p.nextText(), "");
  p << int32_t(3);  // written after the cursor passed the end: seen only after rewind
  EXPECT_EQ(p.nextText(), "");
  p.rewind();
  EXPECT_EQ(p.nextText(), "1");

  ParamStream fresh;
  fresh << int32_t(4);  // the first value is readable at once
  EXPECT_EQ(fresh.nextText(), "4");
}

TEST(ParamStream, DateAndTimeRendersAsCalendarText) {
  ParamStream p;
  // 2015-01-01 is day 42004 of the calendar; 12:34:56.789 later.
  p.writeDateTime(3629145600000 + 45296789);
  p.writeDateTime(-5);
  p.write(value(StreamValue::DateTime, "99999999999999999999"));
  EXPECT_EQ(stored(p).front(), "8:3629190896789");
  EXPECT_EQ(stored(p)[1], "8:0");
  EXPECT_EQ(p.fill("%|%"), "2015-01-01T12:34:56.789Z|1900-01-01T00:00:00.000Z");
  EXPECT_EQ(p.fillW(L"%"), L"2015-01-01T12:34:56.789Z");
  // A count beyond the signed range is the last instant a value can hold.
  EXPECT_EQ(p.fill("%%%").substr(48), "292278924-08-16T07:12:55.807Z");
}

}  // namespace
}  // namespace KestroCorelib
