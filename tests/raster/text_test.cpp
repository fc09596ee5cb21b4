// Captions and panels.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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
    pxh::ClearCallLog();
  }
  void TearDown() override {
    ShutdownDevices();
    ExpectCleanEnd();
  }

  // What the visible screen shows in a region, by colour.
  struct Census {
    int white = 0, black = 0, background = 0, other = 0;
    int left = 640, top = 480, right = -1, bottom = -1;  // box of changed pixels
  };
  static Census Look(int x0, int y0, int x1, int y1) {
    static pxh::Screen screen;
    Census census;
    if (!pxh::ReadScreen(screen)) return census;
    for (int y = y0; y < y1; y++)
      for (int x = x0; x < x1; x++) {
        uint8_t index = screen.pixels[y][x];
        const PALETTEENTRY& c = screen.palette[index];
        if (index == Grey) {
          census.background++;
          continue;
        }
        if (c.peRed == 255 && c.peGreen == 255 && c.peBlue == 255)
          census.white++;
        else if (c.peRed == 0 && c.peGreen == 0 && c.peBlue == 0)
          census.black++;
        else
          census.other++;
        if (x < census.left) census.left = x;
        if (y < census.top) census.top = y;
        if (x > census.right) census.right = x;
        if (y > census.bottom) census.bottom = y;
      }
    return census;
  }
};

TEST_F(Text, OpaqueTextBlackensItsCellsTransparentTextOnlyItsGlyphs) {
  EXPECT_EQ(DrawTextOpaque("Image Display", 260, 20, 0xffffff, g_primarySurface), 1);
  Census opaque = Look(0, 0, 640, 240);
  EXPECT_GT(opaque.white, 30);
  EXPECT_GT(opaque.black, 30);
  EXPECT_EQ(opaque.other, 0);
  EXPECT_EQ(opaque.left, 260);
  EXPECT_EQ(opaque.top, 20);
  // Inside the text's cells nothing of the background is left.
  EXPECT_EQ(Look(opaque.left, opaque.top, opaque.right + 1, opaque.bottom + 1).background, 0);

  EXPECT_EQ(DrawTextTransparent("Image Display", 260, 260, 0xffffff, g_primarySurface), 1);
  Census clear = Look(0, 240, 640, 480);
  EXPECT_GT(clear.white, 30);
  EXPECT_EQ(clear.black, 0);
  EXPECT_EQ(clear.other, 0);
  EXPECT_GE(clear.left, 260);
  EXPECT_GE(clear.top, 260);
  EXPECT_GT(Look(clear.left, clear.top, clear.right + 1, clear.bottom + 1).background, 0);

  // Red text is red.
  EXPECT_EQ(DrawTextOpaque("Red Sun", 285, 130, 255, g_primarySurface), 1);
  static pxh::Screen screen;
  ASSERT_TRUE(pxh::ReadScreen(screen));
  int red = 0;
  for (int y = 130; y < 160; y++)
    for (int x = 285; x < 400; x++) {
      const PALETTEENTRY& c = screen.palette[screen.pixels[y][x]];
      red += c.peRed == 255 && c.peGreen == 0 && c.peBlue == 0;
    }
  EXPECT_GT(red, 10);
  // Every device context obtained was released.
  EXPECT_EQ(CountCalls("IDirectDrawSurface7::GetDC"),
            CountCalls("IDirectDrawSurface7::ReleaseDC"));
}

TEST_F(Text, AnEmptyStringDrawsNothingButStillUsesTheContext) {
  EXPECT_EQ(DrawTextOpaque("", 100, 100, 0xffffff, g_primarySurface), 1);
  EXPECT_EQ(DrawTextTransparent("", 100, 100, 0xffffff, g_primarySurface), 1);
  Census census = Look(0, 0, 640, 480);
  EXPECT_EQ(census.white + census.black + census.other, 0);
  EXPECT_EQ(CountCalls("IDirectDrawSurface7::GetDC"), 2);
  EXPECT_EQ(CountCalls("IDirectDrawSurface7::ReleaseDC"), 2);
}

TEST_F(Text, NoDeviceContextMeansNothingDrawn) {
  pxh::InjectFault("IDirectDrawSurface7::GetDC", DDERR_SURFACEBUSY, 3);
  EXPECT_EQ(DrawTextOpaque("Gold", 140, 119, 0xffffff, g_primarySurface), 0);
  EXPECT_EQ(DrawTextTransparent("100", 286, 136, 0xffffff, g_primarySurface), 0);
  ClearPanel(1);
  Census census = Look(0, 0, 640, 480);
  EXPECT_EQ(census.white + census.black + census.other, 0);
  EXPECT_EQ(CountCalls("IDirectDrawSurface7::ReleaseDC"), 0);
  EXPECT_EQ(CountCalls("CreatePen"), 0);
}

TEST_F(Text, PanelsClearTheirRectanglesOnlyAndEveryPenAndBrushIsDeleted) {
  for (int panel : {0, 3, -1}) ClearPanel(panel);  // unknown panels draw nothing
  EXPECT_EQ(Look(0, 0, 640, 480).background, 640 * 480);
  ClearPanel(1);  // clipped at the screen's right edge
  const int one = (640 - 20) * (370 - 37);
  EXPECT_EQ(Look(20, 37, 640, 370).black, one);
  EXPECT_EQ(Look(0, 0, 640, 480).black, one);
  ClearPanel(2);  // meets panel 1 at row 370 and spares the button
  EXPECT_EQ(Look(50, 370, 520, 470).black, (520 - 50) * (470 - 370));
  EXPECT_EQ(Look(0, 0, 640, 480).black, one + (520 - 50) * (470 - 370));
  EXPECT_EQ(Look(540, 435, 585, 447).background, 45 * 12);
  EXPECT_EQ(Look(0, 0, 640, 480).white + Look(0, 0, 640, 480).other, 0);

  EXPECT_EQ(CountCalls("CreatePen"), 5);
  EXPECT_EQ(CountCalls("CreateSolidBrush"), 5);
  EXPECT_EQ(CountCalls("DeleteObject"), 10);
  EXPECT_EQ(CountCalls("Rectangle"), 2);
  EXPECT_EQ(CountCalls("IDirectDrawSurface7::ReleaseDC"), 5);
}

}  // namespace
