#include <gtest/gtest.h>

#include "Exception.h"

namespace KestroCorelib {
namespace {

class Loader : public Throws {
 public:
  KESTRO_EXCEPTION(Load_FileNotFound);
  KESTRO_EXCEPTION(Load_Failed);
};

TEST(Exception, DeclaredErrorClassCarriesItsNameAndFilledTemplate) {
  ParamStream p;
  p << std::string("map.kconf");
  try {
    throw Loader::Load_FileNotFound(
        "@conf-file.load.file-not-found{Configuration file \"%\" was not found};", "tag", p);
  } catch (const Exception& e) {
    EXPECT_EQ(e.getName(), "Load_FileNotFound");
    EXPECT_EQ(e.getText(), "Load_FileNotFound: Configuration file \"map.kconf\" was not found");
    EXPECT_EQ(e.getTextW(false), L" Configuration file \"map.kconf\" was not found");
    EXPECT_EQ(e.getSourceTags(), std::vector<std::string>{"tag"});
  }
}

TEST(Exception, RethrownErrorKeepsClassAndCollectsTags) {
  try {
    try {
      throw Loader::Load_Failed("@l{failed %};", "raise", ParamStream() << int32_t(3));
    } catch (Exception& e) {
      e.addSourceTag("pass");
      throw;
    }
  } catch (const Loader::Load_Failed& e) {
    EXPECT_EQ(e.getSourceTags(), (std::vector<std::string>{"raise", "pass"}));
    EXPECT_EQ(e.getText(), "Load_Failed: failed 3");
  }
}

TEST(Exception, WithoutNameTheTextStartsWithBlank) {
  Exception empty;
  EXPECT_EQ(empty.getName(), "Exception");
  EXPECT_EQ(empty.getText(), "Exception:");
  EXPECT_EQ(empty.getText(false), "");
  EXPECT_EQ(empty.getTextW(), L"Exception:");

  ParamStream p;
  p << int32_t(5);
  EXPECT_EQ(Exception("@a{value %};", p).getText(false), " value 5");
  // No parameters: no placeholder processing at all.
  EXPECT_EQ(Exception("100% sure").getText(), "Exception: 100% sure");
}

TEST(Exception, TemplateScannerDropsIdentifiersAndItemEnds) {
  // A brace at the very end is dropped; an unterminated identifier drops the rest.
  using P = std::pair<std::string, std::string>;
  for (const auto& [text, expected] :
       {P{"plain text, no ids", "plain text, no ids"}, P{"@a{1@2};", "12"}, P{"@a{x}y};", "x}y"},
        P{"@a{x};@b{y};", "xy"}, P{"@a{x};tail", "xtail"}, P{"@a{x}", "x"}, P{"@a{x}@b{y};", "xy"},
        P{"@unterminated", ""}}) {
    EXPECT_EQ(Exception::scanTemplate(text), expected) << text;
  }
  EXPECT_EQ(Exception::scanTemplate(L"@a{x}y};"), L"x}y");
}

TEST(Exception, WrapperRendersWrappedExceptionBelow) {
  ParamStream p;
  p << std::string("k");
  Loader::Load_FileNotFound inner("@x{Key \"%\" missing};", "inner-tag", p);
  Loader::Load_Failed outer("outer-tag", inner);
  EXPECT_EQ(outer.getMessage(), "");
  EXPECT_EQ(outer.getText(), "Load_Failed:\nLoad_FileNotFound: Key \"k\" missing");
  EXPECT_EQ(outer.getText(false), "\nLoad_FileNotFound: Key \"k\" missing");
  ASSERT_EQ(outer.getNested().size(), 1u);
  EXPECT_EQ(outer.getNested()[0].getName(), "Load_FileNotFound");
}

TEST(Exception, NestedExceptionsRenderInOrderWithTheirOwnNesting) {
  Exception first("one");
  first.addNested(Exception("one-a"));
  Exception top("top");
  top.addNested(first);
  top.addNested(Exception("two"));
  EXPECT_EQ(top.getText(), "Exception: top\nException: one\nException: one-a\nException: two");
}

TEST(Exception, WideMessageIsUsedWhenNarrowIsEmpty) {
  ParamStream p;
  p << std::wstring(L"\x20AC");
  Exception e(std::wstring(L"@w{price %};"), p);
  EXPECT_EQ(e.getTextW(), L"Exception: price \x20AC");
  EXPECT_EQ(e.getText(), "Exception: price ?");
  // A narrow message is widened for getTextW.
  EXPECT_EQ(Exception("caf\xE9").getTextW(false), L" caf\xE9");
}

TEST(Exception, SourceTagNamesBaseNameAndLine) {
  EXPECT_EQ(Exception::makeSourceTag("C:\\src\\corelib\\ConfFile.cpp", 42),
            " @logsrc{file=\"ConfFile.cpp\" line=42};");
  EXPECT_EQ(Exception::makeSourceTag("/work/src/Ims.cpp", 7), " @logsrc{file=\"Ims.cpp\" line=7};");
  EXPECT_EQ(Exception::makeSourceTag("Plain.cpp", 1), " @logsrc{file=\"Plain.cpp\" line=1};");
  EXPECT_EQ(Exception::makeSourceTag(nullptr, 3), " @logsrc{file=\"\" line=3};");
  const int line = __LINE__ + 1;
  const std::string here = KESTRO_SOURCE_TAG;
  EXPECT_EQ(here, " @logsrc{file=\"ExceptionTest.cpp\" line=" + std::to_string(line) + "};");
}

TEST(Exception, PassingLayersAppendTagsAndCopiesAreDeep) {
  Loader::Load_Failed original("@l{failed};", "raise");
  Loader::Load_Failed copy = original;
  copy.addSourceTag("pass");
  copy.addNested(Exception("more"));
  EXPECT_EQ(copy.getSourceTags(), (std::vector<std::string>{"raise", "pass"}));
  EXPECT_EQ(original.getSourceTags(), std::vector<std::string>{"raise"});
  EXPECT_TRUE(original.getNested().empty());
  EXPECT_EQ(copy.getName(), "Load_Failed");
  // Rendering does not disturb the parameters: a second rendering is the same.
  ParamStream p;
  p << int32_t(1);
  Exception e("@a{%};", p);
  EXPECT_EQ(e.getText(), e.getText());
  EXPECT_EQ(e.getText(), "Exception: 1");
}

}  // namespace
}  // namespace KestroCorelib
