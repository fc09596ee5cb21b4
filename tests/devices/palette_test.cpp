// Changing a palette entry while pictures are on screen. (The set-up palette
// itself is pinned at every hold by the golden pictures in tests/show.)
#include <gtest/gtest.h>

#include <cstring>

#include "devices/devices.h"
#include "tests/support/world.h"

namespace {

using namespace pxtest;

TEST(Palette, ChangingAnEntryRecoloursBothSurfacesWithoutRedrawingAndTheFlagsStay) {
  ASSERT_TRUE(StartProgram());
  FillPixels(g_primarySurface, 4);
  FillPixels(g_backSurface, 4);
  pxh::ClearCallLog();

  PALETTEENTRY blue = {0, 0, 255, PC_NOCOLLAPSE};
  EXPECT_EQ(SetPaletteEntry(4, &blue), 1);
  EXPECT_EQ(CountCalls("IDirectDrawSurface7::"), 0);  // no surface locked or drawn
  static pxh::Screen screen;
  for (int flip = 0; flip < 2; flip++) {  // each surface of the pair in turn
    ASSERT_TRUE(pxh::ReadScreen(screen));
    EXPECT_EQ(screen.pixels[flip * 479][flip * 639], 4);
    EXPECT_EQ(screen.palette[4].peRed + screen.palette[4].peGreen, 0);
    EXPECT_EQ(screen.palette[4].peBlue, 255);
    ASSERT_FALSE(FAILED(g_primarySurface->Flip(NULL, DDFLIP_WAIT)));
  }

  PALETTEENTRY red = {255, 0, 0, PC_NOCOLLAPSE};
  SetPaletteEntry(4, &red);
  PALETTEENTRY setUp[256];
  BuildPaletteEntries(setUp);
  EXPECT_EQ(0, std::memcmp(setUp, g_paletteEntries, sizeof(setUp)));
  for (const PALETTEENTRY& entry : setUp) EXPECT_EQ(entry.peFlags, PC_NOCOLLAPSE);
  ShutdownDevices();
  ExpectCleanEnd();
}

}  // namespace
