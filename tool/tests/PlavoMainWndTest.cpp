#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "PlavoMainWnd.h"
// Not part of fx.h:
#include <FXPNGImage.h>

#include "AppFrame.h"
#include "Plavo.h"
#include "TestSupport.h"

using Kestro::PlavoMainWnd;
using KestroCorelib::AppFrame;
using KestroCorelib::FoxMainWnd;

namespace {

// A frame whose toolkit is never initialised: the window is built and its handlers are
// called without a display (the GUI tests drive the real program on Xvfb).
class TestFrame : public AppFrame {
 public:
  TestFrame() : AppFrame("PlavoMainWndTest", "PlavoMainWndTest", false, "Kestro") {}
  bool onInit() override { return true; }
  bool onExit() override { return true; }
  int32_t onRun() override { return 0; }
};

class PlavoMainWndTest : public ::testing::Test {
 protected:
  void SetUp() override { Kestro::selectedProject.clear(); }
  void TearDown() override { delete window; }

  void fill(const std::vector<std::string>& projects) {
    for (const std::string& project : projects)
      window->getList()->appendItem(FoxMainWnd::toToolkitText(project));
  }
  // The list as "name" for enabled and "-name" for disabled items.
  std::vector<std::string> shown() const {
    std::vector<std::string> items;
    FXList* list = window->getList();
    for (FXint i = 0; i < list->getNumItems(); ++i)
      items.push_back((list->isItemEnabled(i) ? "" : "-") +
                      FoxMainWnd::fromToolkitText(list->getItemText(i)));
    return items;
  }
  void type(const std::string& text) {
    window->getFilter()->setText(FoxMainWnd::toToolkitText(text));
    window->handle(window->getFilter(), FXSEL(SEL_KEYRELEASE, PlavoMainWnd::ID_FILTER), nullptr);
  }

  TestFrame frame;
  PlavoMainWnd* window = nullptr;
};

TEST_F(PlavoMainWndTest, TitleIsTheMapTitleOrSelectProjectAndHasNoCloseBoxYet) {
  window = new PlavoMainWnd(&frame, "", "");
  EXPECT_EQ(FoxMainWnd::fromToolkitText(window->getTitle()), "Select Project");
  EXPECT_EQ(window->getDecorations(),
            FXuint(DECOR_TITLE | DECOR_BORDER | DECOR_SHRINKABLE | DECOR_STRETCHABLE));
  delete window;
  window = new PlavoMainWnd(&frame, "Caf\xe9 projects", "");
  EXPECT_EQ(FoxMainWnd::fromToolkitText(window->getTitle()), "Caf\xe9 projects");
}

TEST_F(PlavoMainWndTest, FilterMovesMatchesToTheTopInOrderAndDisablesTheRest) {
  using Items = std::vector<std::string>;
  window = new PlavoMainWnd(&frame, "", "");
  fill({"alpha", "abbey", "beta", "abacus", "gamma", "ab"});
  window->getList()->selectItem(1);
  type("ab");
  EXPECT_EQ(shown(), (Items{"abbey", "abacus", "ab", "-alpha", "-beta", "-gamma"}));
  for (FXint i = 0; i < 6; ++i) EXPECT_FALSE(window->getList()->isItemSelected(i));  // cleared
  type("abb");
  EXPECT_EQ(shown(), (Items{"abbey", "-abacus", "-ab", "-alpha", "-beta", "-gamma"}));
  // Emptying the field enables everything again; the order stays as the filter left it.
  type("");
  EXPECT_EQ(shown(), (Items{"abbey", "abacus", "ab", "alpha", "beta", "gamma"}));
  type("*c*s");  // wildcards
  EXPECT_EQ(shown(), (Items{"abacus", "-abbey", "-ab", "-alpha", "-beta", "-gamma"}));
  EXPECT_EQ(Kestro::selectedProject, "");
}

TEST_F(PlavoMainWndTest, DisabledItemsCannotBePickedAndOkNeedsAPick) {
  window = new PlavoMainWnd(&frame, "", "");
  fill({"alpha", "beta"});
  type("b");  // beta, -alpha
  window->getList()->setCurrentItem(1);
  EXPECT_EQ(
      window->handle(window->getList(), FXSEL(SEL_DOUBLECLICKED, PlavoMainWnd::ID_LIST), nullptr),
      1);
  EXPECT_EQ(Kestro::selectedProject, "");
  // OK without a pick does nothing (the window would otherwise close and delete itself).
  EXPECT_EQ(window->handle(window, FXSEL(SEL_COMMAND, PlavoMainWnd::ID_OK), nullptr), 1);
  // Keys in the list select the current item only when it is enabled; no pick either.
  window->handle(window->getList(), FXSEL(SEL_KEYRELEASE, PlavoMainWnd::ID_LIST), nullptr);
  EXPECT_FALSE(window->getList()->isItemSelected(1));
  window->getList()->setCurrentItem(0);
  window->handle(window->getList(), FXSEL(SEL_KEYRELEASE, PlavoMainWnd::ID_LIST), nullptr);
  EXPECT_TRUE(window->getList()->isItemSelected(0));
  EXPECT_EQ(Kestro::selectedProject, "");
}

TEST(PlavoMainWnd, LogoPathSplitsAtTheLastSeparator) {
  struct Case {
    const char *path, *folder, *file;
  } cases[] = {
      {"C:\\logos\\top.gif", "C:\\logos\\", "top.gif"},
      {"/opt/k/config/header_kestro.png", "/opt/k/config/", "header_kestro.png"},
      {"/srv/logo/logo", "/srv/logo/", "logo"},  // the name also names a folder on the way
      {"top.gif", ".\\", "top.gif"},             // no folder part: the current directory
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PlavoMainWnd::logoFolder(c.path), c.folder);
    EXPECT_EQ(PlavoMainWnd::logoFileName(c.path), c.file);
  }
}

TEST_F(PlavoMainWndTest, HeaderIsTheLogoAt50PixelsHighOrTheBuiltInBanner) {
  const testsupport::TempDir temp("plavomainwnd");
  const std::string& dir = temp.path;
  {
    FXPNGImage logo(AppFrame::toolkitApp, nullptr, IMAGE_OWNED, 300, 100);
    std::fill(logo.getData(), logo.getData() + 300 * 100, FXRGB(255, 0, 0));
    FXFileStream stream;
    ASSERT_TRUE(stream.open(FXString((dir + "/wide.png").c_str()), FXStreamSave));
    ASSERT_TRUE(logo.savePixels(stream));
  }
  testsupport::writeFile(dir + "/broken.png", "not a picture");
  // The logo is scaled to 50 pixels high, its width kept; otherwise the banner shows.
  for (const auto& [logo, width] : {std::pair<std::string, int>{dir + "/wide.png", 300},
                                    {dir + "/broken.png", 2083},
                                    {"", 2083}}) {
    delete window;
    window = new PlavoMainWnd(&frame, "", logo);
    ASSERT_NE(window->getHeaderImage(), nullptr) << logo;
    EXPECT_EQ(window->getHeaderImage()->getWidth(), width) << logo;
    EXPECT_EQ(window->getHeaderImage()->getHeight(), 50) << logo;
  }
}

}  // namespace
