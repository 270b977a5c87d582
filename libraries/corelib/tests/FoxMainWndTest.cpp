#include <gtest/gtest.h>

#include <string>

#include "AppFrame.h"
#include "FoxMainWnd.h"

using KestroCorelib::AppFrame;
using KestroCorelib::FoxMainWnd;

namespace {

// A frame whose toolkit is never initialised: the window is built and its handlers called
// without a display.
class TestFrame : public AppFrame {
 public:
  TestFrame() : AppFrame("FoxMainWndTest", "FoxMainWndTest", false, "Kestro") {}
  bool onInit() override { return true; }
  bool onExit() override { return true; }
  int32_t onRun() override { return 0; }
  void onTimer() override { ++timerCalls; }
  int timerCalls = 0;
};

// The saved rectangle as "x,y wxh".
std::string saved(const FoxMainWnd& window) {
  return std::to_string(window.getSavedX()) + "," + std::to_string(window.getSavedY()) + " " +
         std::to_string(window.getSavedWidth()) + "x" + std::to_string(window.getSavedHeight());
}

// Sends a configure event and returns the saved rectangle.
std::string configure(FoxMainWnd& window, FXint x, FXint y, FXint w, FXint h) {
  FXEvent event;
  event.type = SEL_CONFIGURE;
  event.rect = FXRectangle(FXshort(x), FXshort(y), FXshort(w), FXshort(h));
  EXPECT_EQ(window.handle(&window, FXSEL(SEL_CONFIGURE, 0), &event), 1);
  return saved(window);
}

TEST(FoxMainWnd, StartsWithTheFrameTitleAndRemembersConfiguredRectanglesBelowTheTop30) {
  TestFrame frame;
  auto* window = new FoxMainWnd(&frame);
  EXPECT_EQ(FoxMainWnd::fromToolkitText(window->getTitle()), "FoxMainWndTest");
  EXPECT_EQ(window->getDecorations(), FXuint(DECOR_ALL));

  EXPECT_EQ(configure(*window, 40, 50, 300, 200), "40,50 300x200");
  EXPECT_EQ(configure(*window, -12, 29, 300, 200), "0,30 300x200");
  EXPECT_EQ(window->getX(), 0);  // the window itself is moved too
  EXPECT_EQ(window->getY(), 30);
  EXPECT_EQ(window->getWidth(), 300);
  EXPECT_EQ(configure(*window, 5, -400, 250, 100), "5,30 250x100");
  delete window;
}

TEST(FoxMainWnd, StatePollCallsTheFrameAndArmsItselfAgain) {
  TestFrame frame;
  auto* window = new FoxMainWnd(&frame);
  FXApp* app = AppFrame::toolkitApp;
  EXPECT_FALSE(app->hasTimeout(window, FoxMainWnd::ID_STATEPOLL));
  window->handle(app, FXSEL(SEL_TIMEOUT, FoxMainWnd::ID_STATEPOLL), nullptr);
  window->handle(app, FXSEL(SEL_TIMEOUT, FoxMainWnd::ID_STATEPOLL), nullptr);
  EXPECT_EQ(frame.timerCalls, 2);
  EXPECT_TRUE(app->hasTimeout(window, FoxMainWnd::ID_STATEPOLL));
  delete window;
  // The destructor takes its poll back: nothing may reach a deleted window.
  EXPECT_FALSE(app->hasTimeout(window, FoxMainWnd::ID_STATEPOLL));
}

TEST(FoxMainWnd, ToolkitTextKeepsEveryByte) {
  std::string all;
  for (int byte = 1; byte < 256; ++byte) all += static_cast<char>(byte);
  EXPECT_EQ(FoxMainWnd::fromToolkitText(FoxMainWnd::toToolkitText(all)), all);
  // In the toolkit's string the byte 0xE9 is the character U+00E9.
  EXPECT_EQ(FoxMainWnd::toToolkitText("caf\xe9"), FXString("caf\xc3\xa9"));
  EXPECT_EQ(FoxMainWnd::fromToolkitText(FXString("\xe2\x82\xac")), "?");  // U+20AC
  EXPECT_EQ(FoxMainWnd::toToolkitText(""), FXString(""));
}

}  // namespace
