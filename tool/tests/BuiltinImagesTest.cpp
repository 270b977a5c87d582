#include <fx.h>
#include <gtest/gtest.h>

#include "BuiltinImages.h"

using Kestro::BuiltinImages;

TEST(BuiltinImages, HoldsTheWindowIconAndTheBanner) {
  FXApp app("BuiltinImagesTest", "Kestro");
  FXIcon* icon = BuiltinImages::getIcon(&app, "i16_kestro");
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(icon->getWidth() * 100 + icon->getHeight(), 16 * 100 + 16);
  EXPECT_EQ(BuiltinImages::getIcon(&app, "i16_kestro"), icon);
  FXIcon* banner = BuiltinImages::getIcon(&app, "kestro_header");
  ASSERT_NE(banner, nullptr);
  FXGIFIcon own(&app, BuiltinImages::headerData());  // the raw data is the same banner
  EXPECT_EQ(own.getWidth() * 100000 + own.getHeight(),
            banner->getWidth() * 100000 + banner->getHeight());
  EXPECT_GT(own.getWidth(), 0);
  EXPECT_EQ(BuiltinImages::getIcon(&app, "i16_other"), nullptr);
  EXPECT_EQ(BuiltinImages::getIcon(nullptr, "i16_kestro"), nullptr);
}
