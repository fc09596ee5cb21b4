// The set-up palette and changing an entry while pictures are on screen.
#include <gtest/gtest.h>

#include <cstring>

#include "devices/devices.h"
#include "tests/core/core_support.h"

namespace {

void ExpectEntry(const PALETTEENTRY& entry, int red, int green, int blue) {
  EXPECT_EQ(entry.peRed, red);
  EXPECT_EQ(entry.peGreen, green);
  EXPECT_EQ(entry.peBlue, blue);
  EXPECT_EQ(entry.peFlags, PC_NOCOLLAPSE);
}

TEST(Palette, GeneratorStartsWithItsKnownSequence) {
  PaletteRandom random;
  EXPECT_EQ(NextPaletteRandom(random), 330177771u);
  EXPECT_EQ(NextPaletteRandom(random), 135115861u);
  EXPECT_EQ(NextPaletteRandom(random), 3885783u);

  // A fresh generator starts over: the colours are the same on every run.
  PaletteRandom again;
  EXPECT_EQ(NextPaletteRandom(again), 330177771u);
  for (int i = 0; i < 1000; i++) EXPECT_LT(NextPaletteRandom(again), 1u << 30);
}

TEST(Palette, BlackWhiteFixedAndGeneratedEntries) {
  PALETTEENTRY entries[256];
  std::memset(entries, 0x5a, sizeof(entries));
  BuildPaletteEntries(entries);

  ExpectEntry(entries[0], 0, 0, 0);
  ExpectEntry(entries[15], 255, 255, 255);
  ExpectEntry(entries[80], 255, 255, 255);
  ExpectEntry(entries[255], 255, 255, 255);

  // The artwork colours, first, last and a spread between.
  ExpectEntry(entries[1], 0, 0, 204);
  ExpectEntry(entries[4], 255, 0, 0);
  ExpectEntry(entries[23], 150, 100, 14);
  ExpectEntry(entries[40], 105, 101, 101);
  ExpectEntry(entries[41], 208, 5, 221);
  ExpectEntry(entries[44], 0, 0, 64);
  ExpectEntry(entries[62], 233, 113, 7);
  ExpectEntry(entries[79], 253, 79, 79);

  // Generated entries: entry k takes values 3k-2, 3k-1, 3k of the sequence.
  ExpectEntry(entries[81], 53, 164, 137);
  ExpectEntry(entries[82], 167, 227, 146);
  ExpectEntry(entries[254], 225, 122, 235);

  PaletteRandom random;
  for (int index = 1; index <= 254; index++) {
    int red = static_cast<int>(NextPaletteRandom(random) % 256);
    int green = static_cast<int>(NextPaletteRandom(random) % 256);
    int blue = static_cast<int>(NextPaletteRandom(random) % 256);
    if (index > 80) {
      SCOPED_TRACE(index);
      ExpectEntry(entries[index], red, green, blue);
    }
  }
  for (int index = 0; index < 256; index++) EXPECT_EQ(entries[index].peFlags, PC_NOCOLLAPSE);
}

TEST(Palette, SetUpPutsTheBuiltPaletteOnScreen) {
  ASSERT_TRUE(coretest::StartProgram());
  PALETTEENTRY expected[256];
  BuildPaletteEntries(expected);
  static pxh::Screen screen;
  ASSERT_TRUE(pxh::ReadScreen(screen));
  EXPECT_EQ(0, std::memcmp(expected, g_paletteEntries, sizeof(expected)));
  for (int index = 0; index < 256; index++) {
    SCOPED_TRACE(index);
    EXPECT_EQ(screen.palette[index].peRed, expected[index].peRed);
    EXPECT_EQ(screen.palette[index].peGreen, expected[index].peGreen);
    EXPECT_EQ(screen.palette[index].peBlue, expected[index].peBlue);
  }
  ShutdownDevices();
}

TEST(Palette, ChangingAnEntryRecoloursBothSurfacesWithoutRedrawing) {
  ASSERT_TRUE(coretest::StartProgram());
  coretest::FillPixels(g_primarySurface, 4);
  coretest::FillPixels(g_backSurface, 4);
  pxh::ClearCallLog();

  PALETTEENTRY blue = {0, 0, 255, PC_NOCOLLAPSE};
  EXPECT_EQ(SetPaletteEntry(4, &blue), 1);
  // Only the palette object is touched; no surface is locked or drawn.
  EXPECT_EQ(coretest::CountCalls("IDirectDrawSurface7::"), 0);

  static pxh::Screen screen;
  ASSERT_TRUE(pxh::ReadScreen(screen));
  EXPECT_EQ(screen.pixels[0][0], 4);
  EXPECT_EQ(screen.palette[4].peBlue, 255);
  EXPECT_EQ(screen.palette[4].peRed, 0);
  ExpectEntry(g_paletteEntries[4], 0, 0, 255);

  // The other surface of the pair shows the same change once flipped.
  ASSERT_FALSE(FAILED(g_primarySurface->Flip(NULL, DDFLIP_WAIT)));
  ASSERT_TRUE(pxh::ReadScreen(screen));
  EXPECT_EQ(screen.pixels[479][639], 4);
  EXPECT_EQ(screen.palette[4].peBlue, 255);

  PALETTEENTRY red = {255, 0, 0, PC_NOCOLLAPSE};
  SetPaletteEntry(4, &red);
  ASSERT_TRUE(pxh::ReadScreen(screen));
  EXPECT_EQ(screen.palette[4].peRed, 255);
  EXPECT_EQ(screen.palette[4].peBlue, 0);
  PALETTEENTRY setUp[256];
  BuildPaletteEntries(setUp);
  EXPECT_EQ(0, std::memcmp(setUp, g_paletteEntries, sizeof(setUp)));

  ShutdownDevices();
  EXPECT_TRUE(pxh::MisuseReport().empty());
}

}  // namespace
