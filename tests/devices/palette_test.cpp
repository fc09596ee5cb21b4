// Changing a palette entry: nothing is drawn and the program's table follows,
// flags included. (The colours on screen are pinned at every hold, the palette
// trick's included, by the golden pictures in tests/show.)
#include <gtest/gtest.h>

#include <cstring>

#include "devices/devices.h"
#include "tests/support/world.h"

namespace {

using namespace pxtest;

TEST(Palette, ChangingAnEntryDrawsNothingAndTheTableFollows) {
  ASSERT_TRUE(StartProgram());
  pxh::ClearCallLog();
  PALETTEENTRY blue = {0, 0, 255, PC_NOCOLLAPSE};
  EXPECT_EQ(SetPaletteEntry(4, &blue), 1);
  EXPECT_EQ(CountCalls("IDirectDrawSurface7::"), 0);  // no surface locked or drawn
  PALETTEENTRY want[256];
  BuildPaletteEntries(want);
  for (const PALETTEENTRY& entry : want) EXPECT_EQ(entry.peFlags, PC_NOCOLLAPSE);
  want[4] = blue;
  EXPECT_EQ(0, std::memcmp(want, g_paletteEntries, sizeof(want)));
  ShutdownDevices();
  ExpectCleanEnd();
}

}  // namespace
