// The program from its entry point when set-up fails: status 2, one line on
// stderr, no presentation, a clean teardown. (Whole runs and Escape are
// covered end to end in tests/show, a missing sheet in tests/tools/capture.)
#include <gtest/gtest.h>

#include "shell/shell.h"
#include "tests/support/world.h"

namespace {

using namespace pxtest;

TEST(Program, SetUpFailuresEndWithStatusTwoAndSkipThePresentation) {
  const struct {
    const char* operation;
    HRESULT error;
    const char* said;
  } cases[] = {
      {"RegisterClassExA", 0, "pixshow: cannot register the window class\n"},
      {"CreateWindowExA", 0, "pixshow: cannot create the main window\n"},
      {"IDirectDraw7::SetDisplayMode", DDERR_INVALIDMODE,
       "pixshow: cannot set display mode 640x480x8\n"},
      {"IDirectInput7::CreateDeviceEx@mouse", DIERR_DEVICENOTREG,
       "pixshow: cannot create the mouse device\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.operation);
    ResetProgram();
    pxh::InjectFault(c.operation, c.error);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RunProgram(), ExitSetUpFailed);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.said);
    EXPECT_EQ(CountCalls("PeekMessageA"), 0);
    ExpectCleanEnd();
  }
}

}  // namespace
