// Captions, and panels without a device context. (Every caption and panel of
// the presentation is checked in its place by the golden pictures in tests/show.)
#include <gtest/gtest.h>

#include "devices/devices.h"
#include "raster/raster.h"
#include "tests/support/world.h"

namespace {

using namespace pxtest;

const uint8_t Grey = 7;  // grey (204, 204, 204) in the set-up palette

class Text : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(StartProgram());
    FillPixels(g_primarySurface, Grey);
  }
  void TearDown() override {
    ShutdownDevices();
    ExpectCleanEnd();
  }
  // The pixels of the visible screen in [x0, x1) x [y0, y1) that hold `index`.
  static int Count(uint8_t index, int x0, int y0, int x1, int y1) {
    auto screen = ReadVisible();
    int count = 0;
    for (int y = y0; y < y1; y++)
      for (int x = x0; x < x1; x++) count += screen->at[y][x] == index;
    return count;
  }
};

TEST_F(Text, OpaqueTextBlackensItsCellsTransparentTextOnlyItsGlyphsEmptyTextNothing) {
  EXPECT_EQ(DrawTextOpaque("Image Display", 260, 20, 0xffffff, g_primarySurface), 1);
  EXPECT_EQ(DrawTextTransparent("Image Display", 260, 260, 0xffffff, g_primarySurface), 1);
  EXPECT_EQ(DrawTextOpaque("", 100, 100, 0xffffff, g_primarySurface), 1);
  EXPECT_EQ(DrawTextTransparent("", 100, 100, 0xffffff, g_primarySurface), 1);
  // White is index 15, black 0; the text stands right of and below its corner.
  EXPECT_GT(Count(15, 260, 20, 640, 240), 30);
  EXPECT_GT(Count(0, 260, 20, 640, 240), 30);
  EXPECT_GT(Count(15, 260, 260, 640, 480), 30);
  EXPECT_EQ(Count(0, 0, 240, 640, 480), 0);
  EXPECT_EQ(
      Count(Grey, 0, 0, 640, 480) + Count(15, 260, 20, 640, 480) + Count(0, 260, 20, 640, 240),
      640 * 480);
}

TEST_F(Text, NoDeviceContextMeansNothingDrawn) {
  pxh::InjectFault("IDirectDrawSurface7::GetDC", DDERR_SURFACEBUSY, 3);
  EXPECT_EQ(DrawTextOpaque("Gold", 140, 119, 0xffffff, g_primarySurface), 0);
  EXPECT_EQ(DrawTextTransparent("100", 286, 136, 0xffffff, g_primarySurface), 0);
  ClearPanel(PicturePanel);
  EXPECT_EQ(Count(Grey, 0, 0, 640, 480), 640 * 480);
}

}  // namespace
