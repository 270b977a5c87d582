#include "IconProviderFile.h"

#include <fx.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
// Not part of fx.h:
#include <FXPNGImage.h>

#include "IconProvider.h"
#include "StringTools.h"

using KestroCorelib::StringTools;
using Kestro::IconProvider;
using Kestro::IconProviderFile;
using Kestro::ImageProviderBase;

namespace {

// One toolkit application for the whole test program: the process-wide provider keeps the
// application of its first request. Loading and scaling pixels needs no display.
FXApp& testApp() {
    static FXApp* app = new FXApp("IconProviderFileTest", "Kestro");
    return *app;
}

class IconProviderFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        testApp();
        char pattern[] = "/tmp/iconprovider-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        std::string command = "rm -rf '" + dir + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }

    // Writes a width x height picture in the toolkit's PNG or GIF format.
    void writePicture(const std::string& path, int width, int height, bool gif = false) {
        // The format classes take encoded data in their constructors, so fill the pixels after.
        FXImage* image = gif ? static_cast<FXImage*>(new FXGIFImage(&testApp(), nullptr, IMAGE_OWNED, width, height))
                             : static_cast<FXImage*>(new FXPNGImage(&testApp(), nullptr, IMAGE_OWNED, width, height));
        std::fill(image->getData(), image->getData() + size_t(width) * height, FXRGB(10, 120, 200));
        FXFileStream stream;
        ASSERT_TRUE(stream.open(FXString(path.c_str()), FXStreamSave));
        ASSERT_TRUE(image->savePixels(stream));
        stream.close();
        delete image;
    }
    void writeText(const std::string& path, const std::string& text) {
        std::ofstream(path) << text;
    }
    void makeDir(const std::string& path) { ASSERT_EQ(::mkdir(path.c_str(), 0700), 0); }

    std::string dir;
};

// Reaches the protected cache figures of the provider under test.
class ProbedProvider : public IconProviderFile {
public:
    size_t cachedIcons() const { return icons.size(); }
    size_t ageEntries() const { return ages.size(); }
};

TEST_F(IconProviderFileTest, SearchesDirectoriesInTextOrderSlashBeforeBackslash) {
    makeDir(dir + "/a");
    makeDir(dir + "/b");
    writePicture(dir + "/a/logo.png", 2, 2);
    writePicture(dir + "/b/logo.gif", 2, 2, true);
    writePicture(dir + "/b/logo.jpg.png", 2, 2);
    ProbedProvider provider;
    // "<dir>/b/" sorts before "<dir>\a" although 'a' < 'b': '/' (47) < '\' (92).
    provider.addDirectory(StringTools::toWide(dir + "\\a"));
    provider.addDirectory(StringTools::toWide(dir + "/b/"));
    EXPECT_EQ(provider.findFile(L"logo"), StringTools::toWide(dir + "/b/logo.gif"));
    // The name itself comes before any added extension, ".png" before ".gif".
    writePicture(dir + "/b/logo", 2, 2);
    EXPECT_EQ(provider.findFile(L"logo"), StringTools::toWide(dir + "/b/logo"));
    EXPECT_EQ(provider.findFile(L"logo.jpg"), StringTools::toWide(dir + "/b/logo.jpg.png"));
    // A directory of the searched name is no file; the next directory serves it.
    makeDir(dir + "/b/only");
    writePicture(dir + "/a/only.png", 2, 2);
    EXPECT_EQ(provider.findFile(L"only"), StringTools::toWide(dir + "\\a\\only.png"));
    EXPECT_EQ(provider.findFile(L"missing"), L"");
}

TEST_F(IconProviderFileTest, LoadsByLowerCasedExtensionAndRejectsOthers) {
    writePicture(dir + "/Header.PNG", 30, 7);
    writePicture(dir + "/small.gif", 3, 4, true);
    writeText(dir + "/x.bmp", "BM not really");
    writeText(dir + "/broken.png", "not a png");
    ProbedProvider provider;
    provider.addDirectory(StringTools::toWide(dir));

    FXIcon* header = provider.getIcon("Header.PNG", &testApp());
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->getWidth(), 30);
    EXPECT_EQ(header->getHeight(), 7);
    FXIcon* small = provider.getIcon("small", &testApp());  // found as small.gif
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(small->getWidth(), 3);
    EXPECT_EQ(provider.getIcon("x.bmp", &testApp()), nullptr);
    EXPECT_EQ(provider.getIcon("broken.png", &testApp()), nullptr);
    EXPECT_EQ(provider.getIcon("nothing", &testApp()), nullptr);
    EXPECT_EQ(provider.getIcon("", &testApp()), nullptr);
    EXPECT_EQ(provider.cachedIcons(), 2u);
    EXPECT_EQ(provider.getCachedPixels(), 30 * 7 + 3 * 4);
}

TEST_F(IconProviderFileTest, NoApplicationGivesNothingUntilOneIsKnown) {
    writePicture(dir + "/a.png", 2, 2);
    ProbedProvider provider;
    provider.addDirectory(StringTools::toWide(dir));
    EXPECT_EQ(provider.getIcon("a.png", nullptr), nullptr);
    EXPECT_NE(provider.getIcon("a.png", &testApp()), nullptr);
    EXPECT_EQ(provider.getApplication(), &testApp());
}

TEST_F(IconProviderFileTest, RepeatedRequestIsServedFromCacheWithoutReadingAgain) {
    writePicture(dir + "/logo.png", 5, 5);
    ProbedProvider provider;
    provider.addDirectory(StringTools::toWide(dir));
    FXIcon* first = provider.getIcon("logo.png", &testApp());
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(std::remove((dir + "/logo.png").c_str()), 0);
    EXPECT_EQ(provider.getIcon("logo.png", &testApp()), first);
    EXPECT_EQ(provider.ageEntries(), 1u);
}

TEST_F(IconProviderFileTest, EvictsOldestFirstAndKeepsTheNewestOverBudget) {
    for (const char* name : {"a", "b", "c"}) writePicture(dir + "/" + name + ".png", 20, 20);
    writePicture(dir + "/huge.png", 40, 40);
    ProbedProvider provider;
    provider.setCacheLimit(1);  // 1000 pixels
    provider.addDirectory(StringTools::toWide(dir));

    FXIcon* a = provider.getIcon("a", &testApp());
    FXIcon* b = provider.getIcon("b", &testApp());
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(provider.getCachedPixels(), 800);
    provider.getIcon("c", &testApp());  // 1200 > 1000: a goes, b stays
    EXPECT_EQ(provider.getCachedPixels(), 800);
    EXPECT_EQ(provider.cachedIcons(), 2u);
    EXPECT_EQ(provider.getIcon("b", &testApp()), b);

    // One picture larger than the whole budget pushes out everything else but stays.
    FXIcon* huge = provider.getIcon("huge", &testApp());
    ASSERT_NE(huge, nullptr);
    EXPECT_EQ(provider.cachedIcons(), 1u);
    EXPECT_EQ(provider.ageEntries(), 1u);
    EXPECT_EQ(provider.getCachedPixels(), 1600);
    EXPECT_EQ(provider.getIcon("huge", &testApp()), huge);
}

TEST_F(IconProviderFileTest, BudgetCountsPicturesAsInsertedEvenWhenScaledLater) {
    for (const char* name : {"a", "b"}) writePicture(dir + "/" + name + ".png", 20, 20);
    ProbedProvider provider;
    provider.setCacheLimit(1);
    provider.addDirectory(StringTools::toWide(dir));
    // The window scales the icon it is given; the cache must still give back what it took.
    provider.getIcon("a", &testApp())->scale(100, 50);
    provider.getIcon("b", &testApp());
    EXPECT_EQ(provider.getCachedPixels(), 800);
}

TEST(ImageProviderBase, ResizeKeepsAspectInsideTheBox) {
    FXImage image(&testApp(), nullptr, IMAGE_OWNED, 200, 100);
    ImageProviderBase::resize(&image, 50, 50, true);
    EXPECT_EQ(image.getWidth(), 50);
    EXPECT_EQ(image.getHeight(), 25);
    ImageProviderBase::resize(&image, 30, 40, false);
    EXPECT_EQ(image.getWidth(), 30);
    EXPECT_EQ(image.getHeight(), 40);
    // Sizes below one pixel are ignored rather than handed to the toolkit.
    ImageProviderBase::resize(&image, -5, 40, true);
    EXPECT_EQ(image.getWidth(), 30);
}

TEST_F(IconProviderFileTest, ProcessProviderAnswersIconRequestsOnTheBus) {
    writePicture(dir + "/bus.png", 6, 2);
    IconProviderFile::instance().addDirectory(StringTools::toWide(dir + "/"));
    IconProvider client;
    FXIcon* icon = client.getIcon("bus.png", &testApp());
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->getWidth(), 6);
    EXPECT_EQ(client.getIcon("bus.png", &testApp()), icon);
    EXPECT_EQ(client.getIcon("absent.png", &testApp()), nullptr);
}

TEST_F(IconProviderFileTest, DirectImageMessagesGoToTheImageSide) {
    ProbedProvider provider;
    // getImage creates its result in the toolkit, which needs a display; the image side's
    // dispatch is checked here with "resize", which does not.
    Kestro::ImageProviderParameter parameter;
    FXImage image(&testApp(), nullptr, IMAGE_OWNED, 200, 100);
    parameter.result = &image;
    parameter.width = 50;
    parameter.height = 50;
    parameter.keepAspect = true;
    KestroCorelib::ImsMessage message("imageprovider", "resize", "", &parameter);
    EXPECT_EQ(provider.receiveMessage(message), 2);
    EXPECT_EQ(image.getHeight(), 25);
    KestroCorelib::ImsMessage other("somethingelse", "resize", "", &parameter);
    EXPECT_EQ(provider.receiveMessage(other), 1);
}

}  // namespace
