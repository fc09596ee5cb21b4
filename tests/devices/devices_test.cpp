// Display and input set-up and teardown, whole and under faults.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "devices/devices.h"
#include "tests/support/world.h"

namespace {

using namespace pxtest;

// The log's calls, without their argument summaries, that start with one of
// `kinds`.
std::vector<std::string> Calls(const std::vector<std::string>& kinds) {
  std::vector<std::string> kept;
  for (const std::string& call : pxh::CallLog()) {
    std::string name = call.substr(0, call.find(' '));
    for (const std::string& kind : kinds) {
      if (name.compare(0, kind.size(), kind) == 0) {
        kept.push_back(name);
        break;
      }
    }
  }
  return kept;
}

void ExpectNothingLeft() {
  EXPECT_EQ(g_keyboardDevice, nullptr);
  EXPECT_EQ(g_mouseDevice, nullptr);
  EXPECT_EQ(g_directInput, nullptr);
  EXPECT_EQ(g_palette, nullptr);
  EXPECT_EQ(g_backSurface, nullptr);
  EXPECT_EQ(g_primarySurface, nullptr);
  EXPECT_EQ(g_directDraw, nullptr);
  EXPECT_FALSE(pxh::DisplayModeSet());
  std::vector<std::string> misuse = pxh::MisuseReport();
  EXPECT_TRUE(misuse.empty()) << ::testing::PrintToString(misuse);
}

const std::vector<std::string> TeardownKinds = {
    "IDirectInputDevice7::Unacquire", "IDirectInputDevice7::Release", "IDirectInput7::Release",
    "IDirectDrawPalette::Release",    "IDirectDrawSurface7::Release", "IDirectDraw7::RestoreDisplayMode",
    "IDirectDraw7::Release"};

// Teardown of everything, newest first.
const std::vector<std::string> FullTeardown = {
    "IDirectInputDevice7::Unacquire@keyboard", "IDirectInputDevice7::Release@keyboard",
    "IDirectInputDevice7::Unacquire@mouse",    "IDirectInputDevice7::Release@mouse",
    "IDirectInput7::Release",                  "IDirectDrawPalette::Release",
    "IDirectDrawSurface7::Release@back",       "IDirectDrawSurface7::Release@primary",
    "IDirectDraw7::RestoreDisplayMode",        "IDirectDraw7::Release"};

TEST(Devices, SetUpTakesTheDisplayClearsBothSurfacesAndPlacesTheCursor) {
  ResetProgram();
  ASSERT_TRUE(CreateMainWindow());
  ASSERT_EQ(InitDevices(), 1);

  EXPECT_TRUE(pxh::DisplayModeSet());
  EXPECT_EQ(g_cursorX, 320);
  EXPECT_EQ(g_cursorY, 240);
  EXPECT_EQ(g_surfaceDesc.dwSize, sizeof(g_surfaceDesc));

  // The set-up steps in their order, the two devices each in their own.
  const std::vector<std::string> expected = {
      "DirectDrawCreateEx", "IDirectDraw7::SetCooperativeLevel", "IDirectDraw7::SetDisplayMode",
      "IDirectDraw7::CreateSurface", "IDirectDrawSurface7::GetAttachedSurface@primary", "IDirectDraw7::CreatePalette",
      "IDirectDrawSurface7::SetPalette@primary", "DirectInputCreateEx",
      "IDirectInput7::CreateDeviceEx@mouse", "IDirectInputDevice7::SetCooperativeLevel@mouse",
      "IDirectInputDevice7::SetDataFormat@mouse", "IDirectInputDevice7::Acquire@mouse",
      "IDirectInput7::CreateDeviceEx@keyboard", "IDirectInputDevice7::SetDataFormat@keyboard",
      "IDirectInputDevice7::SetCooperativeLevel@keyboard", "IDirectInputDevice7::Acquire@keyboard",
      "IDirectDrawSurface7::Blt@primary", "IDirectDrawSurface7::Blt@back"};
  EXPECT_EQ(Calls({"DirectDrawCreateEx", "DirectInputCreateEx", "IDirect"}), expected);

  // Both surfaces hold index 0 everywhere.
  for (IDirectDrawSurface7* surface : {g_primarySurface, g_backSurface}) {
    auto zero = std::make_unique<Pixels>();
    EXPECT_EQ(Differences(*zero, *ReadPixels(surface)), "");
  }

  pxh::ClearCallLog();
  EXPECT_EQ(ShutdownDevices(), 1);
  EXPECT_EQ(Calls(TeardownKinds), FullTeardown);
  ExpectNothingLeft();
  EXPECT_EQ(ShutdownDevices(), 1);  // nothing left to release
}

struct SetUpFault {
  const char* operation;
  const char* firstRelease;  // teardown starts here; null: nothing to release
  const char* message;
};

const SetUpFault SetUpFaults[] = {
    {"DirectDrawCreateEx", nullptr, "create the DirectDraw object"},
    {"IDirectDraw7::SetCooperativeLevel", "IDirectDraw7::RestoreDisplayMode", "exclusive"},
    {"IDirectDraw7::SetDisplayMode", "IDirectDraw7::RestoreDisplayMode",
     "set display mode 640x480x8"},
    {"IDirectDraw7::CreateSurface", "IDirectDraw7::RestoreDisplayMode", "primary surface"},
    {"IDirectDrawSurface7::GetAttachedSurface", "IDirectDrawSurface7::Release@primary",
     "back buffer"},
    {"IDirectDraw7::CreatePalette", "IDirectDrawSurface7::Release@back", "create the palette"},
    {"IDirectDrawSurface7::SetPalette", "IDirectDrawPalette::Release", "attach the palette"},
    {"DirectInputCreateEx", "IDirectDrawPalette::Release", "DirectInput"},
    {"IDirectInput7::CreateDeviceEx@mouse", "IDirectInput7::Release", "mouse device"},
    {"IDirectInputDevice7::SetCooperativeLevel@mouse", "IDirectInputDevice7::Unacquire@mouse",
     "mouse cooperative level"},
    {"IDirectInputDevice7::SetDataFormat@mouse", "IDirectInputDevice7::Unacquire@mouse",
     "mouse data format"},
    {"IDirectInput7::CreateDeviceEx@keyboard", "IDirectInputDevice7::Unacquire@mouse",
     "keyboard device"},
    {"IDirectInputDevice7::SetDataFormat@keyboard", "IDirectInputDevice7::Unacquire@keyboard",
     "keyboard data format"},
    {"IDirectInputDevice7::SetCooperativeLevel@keyboard",
     "IDirectInputDevice7::Unacquire@keyboard", "keyboard cooperative level"},
};

TEST(Devices, EachFailingStepStopsSetUpAndTeardownReleasesWhatExists) {
  for (const SetUpFault& fault : SetUpFaults) {
    SCOPED_TRACE(fault.operation);
    ResetProgram();
    ASSERT_TRUE(CreateMainWindow());
    pxh::InjectFault(fault.operation, E_FAIL, -1);

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(InitDevices(), 0);
    std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.rfind("pixshow: cannot ", 0), 0u) << said;
    EXPECT_NE(said.find(fault.message), std::string::npos) << said;
    EXPECT_EQ(said.find('\n'), said.size() - 1) << "one line: " << said;
    // Nothing is drawn after a failed set-up.
    EXPECT_EQ(CountCalls("IDirectDrawSurface7::Blt"), 0);

    pxh::ClearCallLog();
    EXPECT_EQ(ShutdownDevices(), 1);
    // The tail of the full teardown that releases what was created before.
    auto first = fault.firstRelease ? std::find(FullTeardown.begin(), FullTeardown.end(), fault.firstRelease)
                                    : FullTeardown.end();
    EXPECT_EQ(Calls(TeardownKinds), std::vector<std::string>(first, FullTeardown.end()));
    ExpectNothingLeft();
  }
}

TEST(Devices, DisplayModeNotRestoredKeepsTheDirectDrawObject) {
  ASSERT_TRUE(StartProgram());
  pxh::InjectFault("IDirectDraw7::RestoreDisplayMode", E_FAIL);
  EXPECT_EQ(ShutdownDevices(), 0);
  EXPECT_NE(g_directDraw, nullptr);
  EXPECT_EQ(g_primarySurface, nullptr);
  EXPECT_EQ(g_mouseDevice, nullptr);
  EXPECT_EQ(CountCalls("IDirectDraw7::Release"), 0);
}

}  // namespace
