// The set-up palette and changing an entry while pictures are on screen.
// (That set-up puts this palette on screen is checked at every hold of the
// presentation in tests/show.)
#include <gtest/gtest.h>

#include <cstring>

#include "devices/devices.h"
#include "tests/support/world.h"

namespace {

using namespace pxtest;

void ExpectEntry(const PALETTEENTRY& entry, int red, int green, int blue, bool flags = true) {
  EXPECT_EQ(entry.peRed, red);
  EXPECT_EQ(entry.peGreen, green);
  EXPECT_EQ(entry.peBlue, blue);
  if (flags) {
    EXPECT_EQ(entry.peFlags, PC_NOCOLLAPSE);
  }
}

TEST(Palette, GeneratorStartsWithItsKnownSequenceOnEveryRun) {
  for (int run = 0; run < 2; run++) {
    PaletteRandom random;
    EXPECT_EQ(NextPaletteRandom(random), 330177771u);
    EXPECT_EQ(NextPaletteRandom(random), 135115861u);
    EXPECT_EQ(NextPaletteRandom(random), 3885783u);
  }
}

TEST(Palette, BlackWhiteFixedAndGeneratedEntries) {
  PALETTEENTRY entries[256];
  std::memset(entries, 0x5a, sizeof(entries));
  BuildPaletteEntries(entries);
  const int known[][4] = {
      {0, 0, 0, 0},         {15, 255, 255, 255},  {80, 255, 255, 255},  {255, 255, 255, 255},
      // The artwork colours: first, last and a spread between.
      {1, 0, 0, 204},       {4, 255, 0, 0},       {23, 150, 100, 14},   {41, 208, 5, 221},
      {62, 233, 113, 7},    {79, 253, 79, 79},
      // Generated: entry k takes values 3k-2, 3k-1 and 3k of the sequence.
      {81, 53, 164, 137},   {82, 167, 227, 146},  {254, 225, 122, 235},
  };
  for (const auto& k : known) {
    SCOPED_TRACE(k[0]);
    ExpectEntry(entries[k[0]], k[1], k[2], k[3]);
  }
  for (int index = 0; index < 256; index++) EXPECT_EQ(entries[index].peFlags, PC_NOCOLLAPSE);
}

TEST(Palette, ChangingAnEntryRecoloursBothSurfacesWithoutRedrawing) {
  ASSERT_TRUE(StartProgram());
  FillPixels(g_primarySurface, 4);
  FillPixels(g_backSurface, 4);
  pxh::ClearCallLog();

  PALETTEENTRY blue = {0, 0, 255, PC_NOCOLLAPSE};
  EXPECT_EQ(SetPaletteEntry(4, &blue), 1);
  EXPECT_EQ(CountCalls("IDirectDrawSurface7::"), 0);  // no surface locked or drawn
  ExpectEntry(g_paletteEntries[4], 0, 0, 255);
  static pxh::Screen screen;
  for (int flip = 0; flip < 2; flip++) {  // each surface of the pair in turn
    ASSERT_TRUE(pxh::ReadScreen(screen));
    EXPECT_EQ(screen.pixels[flip * 479][flip * 639], 4);
    ExpectEntry(screen.palette[4], 0, 0, 255, false);
    ASSERT_FALSE(FAILED(g_primarySurface->Flip(NULL, DDFLIP_WAIT)));
  }

  PALETTEENTRY red = {255, 0, 0, PC_NOCOLLAPSE};
  SetPaletteEntry(4, &red);
  ASSERT_TRUE(pxh::ReadScreen(screen));
  ExpectEntry(screen.palette[4], 255, 0, 0, false);
  PALETTEENTRY setUp[256];
  BuildPaletteEntries(setUp);
  EXPECT_EQ(0, std::memcmp(setUp, g_paletteEntries, sizeof(setUp)));
  ShutdownDevices();
  ExpectCleanEnd();
}

}  // namespace
