// Display and input set-up and teardown under faults, the bounded flip, palette changes.
// (A whole set-up draws the golden pictures in tests/show.)
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "devices/devices.h"
#include "shell/shell.h"
#include "tests/support/world.h"

namespace {

using namespace pxtest;

TEST(Devices, EachFailingStepIsNamedStopsSetUpAndTeardownReleasesWhatExists) {
  const struct {
    const char* operation;
    const char* message;
  } faults[] = {
      {"DirectDrawCreateEx", "create the DirectDraw object"},
      {"IDirectDraw7::SetCooperativeLevel", "exclusive"},
      {"IDirectDraw7::SetDisplayMode", "set display mode 640x480x8"},
      {"IDirectDraw7::CreateSurface", "primary surface"},
      {"IDirectDrawSurface7::GetAttachedSurface", "back buffer"},
      {"IDirectDraw7::CreatePalette", "create the palette"},
      {"IDirectDrawSurface7::SetPalette", "attach the palette"},
      {"DirectInputCreateEx", "DirectInput"},
      {"IDirectInput7::CreateDeviceEx@mouse", "mouse device"},
      {"IDirectInputDevice7::SetCooperativeLevel@mouse", "mouse cooperative level"},
      {"IDirectInputDevice7::SetDataFormat@mouse", "mouse data format"},
      {"CreateEventA", "mouse event notification"},
      {"IDirectInput7::CreateDeviceEx@keyboard", "keyboard device"},
      {"IDirectInputDevice7::SetDataFormat@keyboard", "keyboard data format"},
      {"IDirectInputDevice7::SetCooperativeLevel@keyboard", "keyboard cooperative level"},
      {"IDirectInputDevice7::SetEventNotification@keyboard", "keyboard event notification"},
  };
  for (const auto& fault : faults) {
    SCOPED_TRACE(fault.operation);
    ResetProgram();
    ASSERT_EQ(CreateMainWindow(GetModuleHandleA(NULL)), 1);
    pxh::InjectFault(fault.operation, E_FAIL, -1);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(InitDevices(), 0);
    std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.rfind("pixshow: cannot ", 0), 0u) << said;
    EXPECT_NE(said.find(fault.message), std::string::npos) << said;
    EXPECT_EQ(said.find('\n'), said.size() - 1) << "one line: " << said;
    EXPECT_EQ(CountCalls("IDirectDrawSurface7::Blt"), 0);  // nothing drawn
    EXPECT_EQ(ShutdownDevices(), 1);
    EXPECT_TRUE(!g_keyboardDevice && !g_mouseDevice && !g_directInput && !g_palette &&
                !g_backSurface && !g_primarySurface && !g_directDraw);
    ExpectCleanEnd();
  }
}

TEST(Devices, DisplayModeNotRestoredKeepsTheDirectDrawObject) {
  ASSERT_TRUE(StartProgram());
  pxh::InjectFault("IDirectDraw7::RestoreDisplayMode", E_FAIL);
  EXPECT_EQ(ShutdownDevices(), 0);
  EXPECT_TRUE(g_directDraw && !g_primarySurface && !g_mouseDevice);
  EXPECT_EQ(CountCalls("IDirectDraw7::Release"), 0);
}

TEST(Devices, AFlipThatKeepsFailingGivesUpWithinItsBoundALostOneAtOnceOneThatRecoversShows) {
  ASSERT_TRUE(StartProgram());
  auto front = Background(5), back = Background(6);
  WritePixels(g_primarySurface, *front);
  WritePixels(g_backSurface, *back);
  for (HRESULT failure : {DDERR_SURFACELOST, DDERR_WASSTILLDRAWING, DDERR_GENERIC}) {
    SCOPED_TRACE(failure);
    pxh::InjectFault("IDirectDrawSurface7::Flip", failure, -1);
    pxh::ClearCallLog();
    uint64_t start = pxh::NowMs();
    EXPECT_EQ(FlipToFront(), 0);
    if (failure == DDERR_SURFACELOST) {
      // Lost surfaces end it at once, unrestored: the picture is drawn again whole later.
      EXPECT_EQ(pxh::NowMs(), start);
      EXPECT_EQ(CountCalls("IDirectDrawSurface7::Flip"), 1);
    } else {
      EXPECT_GE(pxh::NowMs() - start, FlipGiveUpMs);
      EXPECT_LT(pxh::NowMs() - start, FlipGiveUpMs + 100);
    }
    EXPECT_EQ(CountCalls("IDirectDraw7::RestoreAllSurfaces"), 0);
    EXPECT_EQ(Differences(*front, *ReadVisible()), "");
    pxh::ClearFaults();
  }
  pxh::InjectFault("IDirectDrawSurface7::Flip", DDERR_WASSTILLDRAWING, 3);
  EXPECT_EQ(FlipToFront(), 1);
  EXPECT_EQ(Differences(*back, *ReadVisible()), "");
  ShutdownDevices();
  ExpectCleanEnd();
}

// The colours on screen are pinned at every hold by the golden pictures in tests/show.
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
