#include "BuiltinImages.h"

#include <fx.h>
#include <gtest/gtest.h>

using Kestro::BuiltinImages;

TEST(BuiltinImages, HoldsTheWindowIconAndTheBanner) {
    FXApp app("BuiltinImagesTest", "Kestro");
    FXIcon* icon = BuiltinImages::getIcon(&app, "i16_kestro");
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->getWidth(), 16);
    EXPECT_EQ(icon->getHeight(), 16);
    EXPECT_EQ(BuiltinImages::getIcon(&app, "i16_kestro"), icon);
    FXIcon* banner = BuiltinImages::getIcon(&app, "kestro_header");
    ASSERT_NE(banner, nullptr);
    EXPECT_EQ(banner->getWidth(), 2083);
    EXPECT_EQ(banner->getHeight(), 50);
    EXPECT_EQ(BuiltinImages::getIcon(&app, "i16_other"), nullptr);
    EXPECT_EQ(BuiltinImages::getIcon(nullptr, "i16_kestro"), nullptr);
}

TEST(BuiltinImages, HeaderDataIsTheBannerGif) {
    FXApp app("BuiltinImagesTest", "Kestro");
    FXGIFIcon own(&app, BuiltinImages::headerData());
    EXPECT_EQ(own.getWidth(), 2083);
    EXPECT_EQ(own.getHeight(), 50);
}
