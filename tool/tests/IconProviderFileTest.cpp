#include <fx.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "IconProviderFile.h"
// Not part of fx.h:
#include <FXPNGImage.h>

#include "IconProvider.h"
#include "StringTools.h"
#include "TestSupport.h"

using Kestro::IconProvider;
using Kestro::IconProviderFile;
using Kestro::ImageProviderBase;
using KestroCorelib::StringTools;

namespace {

// One toolkit application for the whole test program: the process-wide provider keeps the
// application of its first request. Loading and scaling pixels needs no display.
FXApp& testApp() {
  static FXApp* app = new FXApp("IconProviderFileTest", "Kestro");
  return *app;
}

// Reaches the protected cache figures of the provider under test.
class ProbedProvider : public IconProviderFile {
 public:
  size_t cachedIcons() const { return icons.size(); }
  size_t ageEntries() const { return ages.size(); }
  FXIcon* get(const char* name) { return getIcon(name, &testApp()); }
};

class IconProviderFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testApp();
    provider.addDirectory(StringTools::toWide(dir));
  }

  // Writes a width x height picture in the toolkit's PNG or GIF format under dir.
  void writePicture(const std::string& name, int width, int height, bool gif = false) {
    // The format classes take encoded data in their constructors, so fill the pixels after.
    FXImage* image =
        gif ? static_cast<FXImage*>(new FXGIFImage(&testApp(), nullptr, IMAGE_OWNED, width, height))
            : static_cast<FXImage*>(
                  new FXPNGImage(&testApp(), nullptr, IMAGE_OWNED, width, height));
    std::fill(image->getData(), image->getData() + size_t(width) * height, FXRGB(10, 120, 200));
    FXFileStream stream;
    ASSERT_TRUE(stream.open(FXString((dir + "/" + name).c_str()), FXStreamSave));
    ASSERT_TRUE(image->savePixels(stream));
    stream.close();
    delete image;
  }
  void makeDir(const std::string& name) {
    ASSERT_TRUE(std::filesystem::create_directory(dir + "/" + name));
  }

  testsupport::TempDir temp{"iconprovider"};
  const std::string dir = temp.path;
  ProbedProvider provider;  // searches dir
};

TEST_F(IconProviderFileTest, SearchesDirectoriesInTextOrderSlashBeforeBackslash) {
  makeDir("a");
  makeDir("b");
  writePicture("a/logo.png", 2, 2);
  writePicture("b/logo.gif", 2, 2, true);
  writePicture("b/logo.jpg.png", 2, 2);
  ProbedProvider ordered;
  // "<dir>/b/" sorts before "<dir>\a" although 'a' < 'b': '/' (47) < '\' (92).
  ordered.addDirectory(StringTools::toWide(dir + "\\a"));
  ordered.addDirectory(StringTools::toWide(dir + "/b/"));
  EXPECT_EQ(ordered.findFile(L"logo"), StringTools::toWide(dir + "/b/logo.gif"));
  // The name itself comes before any added extension, ".png" before ".gif".
  writePicture("b/logo", 2, 2);
  EXPECT_EQ(ordered.findFile(L"logo"), StringTools::toWide(dir + "/b/logo"));
  EXPECT_EQ(ordered.findFile(L"logo.jpg"), StringTools::toWide(dir + "/b/logo.jpg.png"));
  // A directory of the searched name is no file; the next directory serves it.
  makeDir("b/only");
  writePicture("a/only.png", 2, 2);
  EXPECT_EQ(ordered.findFile(L"only"), StringTools::toWide(dir + "\\a\\only.png"));
  EXPECT_EQ(ordered.findFile(L"missing"), L"");
}

TEST_F(IconProviderFileTest, LoadsByLowerCasedExtensionRejectsOthersAndServesRepeatsFromCache) {
  writePicture("Header.PNG", 30, 7);
  writePicture("small.gif", 3, 4, true);
  std::ofstream(dir + "/x.bmp") << "BM not really";
  std::ofstream(dir + "/broken.png") << "not a png";
  // No application gives nothing until one is known.
  EXPECT_EQ(provider.getIcon("Header.PNG", nullptr), nullptr);
  FXIcon* header = provider.get("Header.PNG");
  ASSERT_NE(header, nullptr);
  EXPECT_EQ(provider.getApplication(), &testApp());
  EXPECT_EQ(header->getWidth(), 30);
  EXPECT_EQ(header->getHeight(), 7);
  FXIcon* small = provider.get("small");  // found as small.gif
  ASSERT_NE(small, nullptr);
  EXPECT_EQ(small->getWidth(), 3);
  for (const char* name : {"x.bmp", "broken.png", "nothing", ""})
    EXPECT_EQ(provider.get(name), nullptr) << name;
  EXPECT_EQ(provider.cachedIcons(), 2u);
  EXPECT_EQ(provider.getCachedPixels(), 30 * 7 + 3 * 4);
  // A repeated request is served from the cache without reading again.
  ASSERT_EQ(std::remove((dir + "/Header.PNG").c_str()), 0);
  EXPECT_EQ(provider.get("Header.PNG"), header);
  EXPECT_EQ(provider.ageEntries(), 2u);
}

TEST_F(IconProviderFileTest, EvictsOldestFirstAndKeepsTheNewestOverBudget) {
  for (const char* name : {"a.png", "b.png", "c.png"}) writePicture(name, 20, 20);
  writePicture("huge.png", 40, 40);
  provider.setCacheLimit(1);  // 1000 pixels
  ASSERT_NE(provider.get("a"), nullptr);
  FXIcon* b = provider.get("b");
  EXPECT_EQ(provider.getCachedPixels(), 800);
  provider.get("c");  // 1200 > 1000: a goes, b stays
  EXPECT_EQ(provider.getCachedPixels(), 800);
  EXPECT_EQ(provider.cachedIcons(), 2u);
  EXPECT_EQ(provider.get("b"), b);

  // One picture larger than the whole budget pushes out everything else but stays.
  FXIcon* huge = provider.get("huge");
  ASSERT_NE(huge, nullptr);
  EXPECT_EQ(provider.cachedIcons(), 1u);
  EXPECT_EQ(provider.ageEntries(), 1u);
  EXPECT_EQ(provider.getCachedPixels(), 1600);
  EXPECT_EQ(provider.get("huge"), huge);
}

TEST_F(IconProviderFileTest, BudgetCountsPicturesAsInsertedEvenWhenScaledLater) {
  for (const char* name : {"a.png", "b.png"}) writePicture(name, 20, 20);
  provider.setCacheLimit(1);
  // The window scales the icon it is given; the cache must still give back what it took.
  provider.get("a")->scale(100, 50);
  provider.get("b");
  EXPECT_EQ(provider.getCachedPixels(), 800);
}

// The image side: found and loaded like icons (JPEG too), scaled on request; with copy the
// loaded image is cached and only ever handed out as a copy, without it nothing is kept.
TEST_F(IconProviderFileTest, ImagesAreLoadedScaledAndCachedOnlyAsCopies) {
  writePicture("logo.png", 40, 20);
  writePicture("strip.gif", 8, 2, true);
  writePicture("big.png", 30, 30);
  writePicture("photo.jpg", 5, 3);  // written as PNG: the reader must refuse it
  std::ofstream(dir + "/x.bmp") << "BM not really";
  EXPECT_EQ(provider.getImage(L"logo", true, 0, 0, false), nullptr);  // no application yet
  ASSERT_NE(provider.get("big"), nullptr);  // the first icon request makes it known

  std::unique_ptr<FXImage> scaled(provider.getImage(L"logo", true, 10, 10, true));
  ASSERT_NE(scaled, nullptr);
  EXPECT_EQ(scaled->getWidth() * 1000 + scaled->getHeight(), 10 * 1000 + 5);
  ASSERT_EQ(std::remove((dir + "/logo.png").c_str()), 0);
  std::unique_ptr<FXImage> cached(provider.getImage(L"logo", true, 0, 0, false));
  ASSERT_NE(cached, nullptr);  // from the cache, unscaled by the first caller's request
  EXPECT_EQ(cached->getWidth() * 1000 + cached->getHeight(), 40 * 1000 + 20);
  EXPECT_NE(cached.get(), scaled.get());

  std::unique_ptr<FXImage> strip(provider.getImage(L"strip", false, 0, 0, false));
  ASSERT_NE(strip, nullptr);
  EXPECT_EQ(strip->getWidth(), 8);
  ASSERT_EQ(std::remove((dir + "/strip.gif").c_str()), 0);
  EXPECT_EQ(provider.getImage(L"strip", false, 0, 0, false), nullptr);  // not kept
  for (const wchar_t* name : {L"x.bmp", L"photo.jpg", L"missing"}) {
    EXPECT_EQ(provider.getImage(name, true, 0, 0, false), nullptr);
  }

  // Over budget the oldest cached image goes, as icons do.
  provider.setCacheLimit(1);  // 1000 pixels; big (icon, 900) and logo (800) are cached
  writePicture("wide.png", 25, 20);
  delete provider.getImage(L"wide", true, 0, 0, false);
  EXPECT_EQ(provider.getCachedPixels(), 500);
  EXPECT_EQ(provider.getImage(L"logo", true, 0, 0, false), nullptr);
}

TEST(ImageProviderBase, ResizeKeepsAspectInsideTheBoxAndIgnoresSizesBelowOnePixel) {
  FXImage image(&testApp(), nullptr, IMAGE_OWNED, 200, 100);
  ImageProviderBase::resize(&image, 50, 50, true);
  EXPECT_EQ(image.getWidth() * 1000 + image.getHeight(), 50 * 1000 + 25);
  ImageProviderBase::resize(&image, 30, 40, false);
  EXPECT_EQ(image.getWidth() * 1000 + image.getHeight(), 30 * 1000 + 40);
  ImageProviderBase::resize(&image, -5, 40, true);
  ImageProviderBase::resize(&image, 40, 0, false);
  EXPECT_EQ(image.getWidth() * 1000 + image.getHeight(), 30 * 1000 + 40);
}

TEST_F(IconProviderFileTest, ProcessProviderAnswersIconAndImageMessagesOnTheBus) {
  writePicture("bus.png", 6, 2);
  IconProviderFile::instance().addDirectory(StringTools::toWide(dir + "/"));
  IconProvider client;
  FXIcon* icon = client.getIcon("bus.png", &testApp());
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(icon->getWidth(), 6);
  EXPECT_EQ(client.getIcon("bus.png", &testApp()), icon);
  EXPECT_EQ(client.getIcon("absent.png", &testApp()), nullptr);

  // The image side's dispatch: "setdir", "get", "resize", and nothing else.
  Kestro::ImageProviderParameter parameter;
  ASSERT_NE(provider.get("bus"), nullptr);  // makes the application known
  makeDir("other");
  writePicture("other/pic.gif", 3, 3, true);
  parameter.name = StringTools::toWide(dir + "/other");
  KestroCorelib::ImsMessage setDirectory("imageprovider", "setdir", "", &parameter);
  EXPECT_EQ(provider.receiveMessage(setDirectory), 2);
  parameter.name = L"pic";
  KestroCorelib::ImsMessage get("imageprovider", "get", "", &parameter);
  EXPECT_EQ(provider.receiveMessage(get), 2);
  ASSERT_NE(parameter.result, nullptr);
  EXPECT_EQ(parameter.result->getWidth(), 3);
  delete parameter.result;
  parameter.name = L"absent";
  EXPECT_EQ(provider.receiveMessage(get), 1);
  EXPECT_EQ(parameter.result, nullptr);
  KestroCorelib::ImsMessage unknown("imageprovider", "rotate", "", &parameter);
  KestroCorelib::ImsMessage empty("imageprovider", "get", "", nullptr);
  EXPECT_EQ(provider.receiveMessage(unknown), 1);
  EXPECT_EQ(provider.receiveMessage(empty), 1);
  parameter.name = L"pic";
  EXPECT_EQ(provider.receiveHookedMessage(0, get), 1);  // not the provider's hook: not served
  EXPECT_EQ(parameter.result, nullptr);

  FXImage image(&testApp(), nullptr, IMAGE_OWNED, 200, 100);
  parameter.result = &image;
  parameter.width = parameter.height = 50;
  parameter.keepAspect = true;
  KestroCorelib::ImsMessage message("imageprovider", "resize", "", &parameter);
  KestroCorelib::ImsMessage other("somethingelse", "resize", "", &parameter);
  EXPECT_EQ(provider.receiveMessage(message), 2);
  EXPECT_EQ(image.getHeight(), 25);
  EXPECT_EQ(provider.receiveMessage(other), 1);
}

}  // namespace
