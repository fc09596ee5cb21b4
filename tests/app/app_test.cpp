// The program from its entry point when set-up fails: status 2, one line on
// stderr, no presentation, a clean teardown. (Whole runs, Escape and missing
// sheets are covered end to end in tests/show.)
#include <gtest/gtest.h>

#include <string>

#include "shell/shell.h"
#include "devices/devices.h"
#include "tests/support/world.h"

namespace {

using namespace pxtest;

TEST(Program, SetUpFailuresEndWithStatusTwoAndSkipThePresentation) {
  struct Case {
    const char* operation;
    HRESULT error;
    const char* said;
    int directDrawCreated;
  };
  const Case cases[] = {
      {"RegisterClassExA", 0, "pixshow: cannot register the window class\n", 0},
      {"CreateWindowExA", 0, "pixshow: cannot create the main window\n", 0},
      {"IDirectDraw7::SetDisplayMode", DDERR_INVALIDMODE, "pixshow: cannot set display mode 640x480x8\n", 1},
      {"IDirectInput7::CreateDeviceEx@mouse", DIERR_DEVICENOTREG, "pixshow: cannot create the mouse device\n", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.operation);
    ResetProgram();
    pxh::InjectFault(c.operation, c.error);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RunProgram(), ExitSetUpFailed);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.said);
    EXPECT_EQ(CountCalls("DirectDrawCreateEx"), c.directDrawCreated);
    EXPECT_EQ(CountCalls("IDirectDraw7::Release"), c.directDrawCreated);
    EXPECT_EQ(CountCalls("PeekMessageA"), 0);
    EXPECT_EQ(CountCalls("ShowCursor"), 0);
    EXPECT_EQ(g_directDraw, nullptr);
    ExpectCleanEnd();
  }
}

}  // namespace
