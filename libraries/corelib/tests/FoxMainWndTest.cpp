#include "FoxMainWnd.h"

#include <gtest/gtest.h>

#include <string>

#include "AppFrame.h"

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

long configure(FoxMainWnd& window, FXint x, FXint y, FXint w, FXint h) {
    FXEvent event;
    event.type = SEL_CONFIGURE;
    event.rect = FXRectangle(FXshort(x), FXshort(y), FXshort(w), FXshort(h));
    return window.handle(&window, FXSEL(SEL_CONFIGURE, 0), &event);
}

TEST(FoxMainWnd, StartsWithTheFrameTitleAndTheConstructionGeometry) {
    TestFrame frame;
    auto* window = new FoxMainWnd(&frame);
    EXPECT_EQ(FoxMainWnd::fromToolkitText(window->getTitle()), "FoxMainWndTest");
    EXPECT_EQ(window->getSavedX(), 100);
    EXPECT_EQ(window->getSavedY(), 100);
    EXPECT_EQ(window->getSavedWidth(), 600);
    EXPECT_EQ(window->getSavedHeight(), 500);
    EXPECT_EQ(window->getDecorations(), FXuint(DECOR_ALL));
    EXPECT_EQ(AppFrame::toolkitApp->getTooltipTime(), 5000u);
    delete window;
}

TEST(FoxMainWnd, ConfigureRemembersTheRectangleAndKeepsTheTopEdgeBelow30) {
    TestFrame frame;
    auto* window = new FoxMainWnd(&frame);
    configure(*window, 40, 50, 300, 200);
    EXPECT_EQ(window->getSavedX(), 40);
    EXPECT_EQ(window->getSavedY(), 50);
    EXPECT_EQ(window->getSavedWidth(), 300);
    EXPECT_EQ(window->getSavedHeight(), 200);

    EXPECT_EQ(configure(*window, -12, 29, 300, 200), 1);
    EXPECT_EQ(window->getSavedX(), 0);
    EXPECT_EQ(window->getSavedY(), 30);
    EXPECT_EQ(window->getX(), 0);
    EXPECT_EQ(window->getY(), 30);
    EXPECT_EQ(window->getWidth(), 300);

    configure(*window, 5, -400, 250, 100);
    EXPECT_EQ(window->getSavedX(), 5);
    EXPECT_EQ(window->getSavedY(), 30);
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
