// The program from its entry point: exit statuses, set-up failures and the
// order of start and stop.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/app.h"
#include "devices/devices.h"
#include "tests/core/core_support.h"

namespace {

int RunProgram() { return WinMain(NULL, NULL, const_cast<LPSTR>(""), SW_SHOWNORMAL); }

void ExpectCleanEnd() {
  EXPECT_FALSE(pxh::DisplayModeSet());
  std::vector<std::string> misuse = pxh::MisuseReport();
  EXPECT_TRUE(misuse.empty()) << ::testing::PrintToString(misuse);
}

TEST(Program, ClassOrWindowFailureEndsWithStatusTwoBeforeAnyDevice) {
  const char* const steps[][2] = {{"RegisterClassExA", "pixshow: cannot register the window class\n"},
                                  {"CreateWindowExA", "pixshow: cannot create the main window\n"}};
  for (const auto& step : steps) {
    SCOPED_TRACE(step[0]);
    coretest::ResetProgram();
    pxh::InjectFault(step[0], 0);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RunProgram(), ExitSetUpFailed);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), step[1]);
    EXPECT_EQ(coretest::CountCalls("DirectDrawCreateEx"), 0);
    EXPECT_FALSE(pxh::DisplayModeSet());
  }
}

TEST(Program, DeviceSetUpFailureSkipsThePresentationAndTearsDown) {
  coretest::ResetProgram();
  pxh::InjectFault("IDirectDraw7::SetDisplayMode", DDERR_INVALIDMODE);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(RunProgram(), ExitSetUpFailed);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "pixshow: cannot set display mode 640x480x8\n");
  EXPECT_EQ(coretest::CountCalls("PeekMessageA"), 0);
  EXPECT_EQ(coretest::CountCalls("ShowCursor"), 0);
  EXPECT_EQ(coretest::CountCalls("IDirectDraw7::RestoreDisplayMode"), 1);
  EXPECT_EQ(coretest::CountCalls("IDirectDraw7::Release"), 1);
  EXPECT_EQ(g_directDraw, nullptr);
  ExpectCleanEnd();

  coretest::ResetProgram();
  pxh::InjectFault("IDirectInput7::CreateDeviceEx@mouse", DIERR_DEVICENOTREG);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(RunProgram(), ExitSetUpFailed);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "pixshow: cannot create the mouse device\n");
  EXPECT_EQ(coretest::CountCalls("PeekMessageA"), 0);
  ExpectCleanEnd();
}

// Every sheet, each byte telling its image, row and column.
void WriteAllSheets(const coretest::ScratchDirectory& dir) {
  dir.WriteFile("ports.pix", coretest::MakeSheet(82, 62, 20));
  dir.WriteFile("button.pix", coretest::MakeSheet(45, 12, 1));
  dir.WriteFile("Divadude.pix", coretest::MakeSheet(82, 62, 9));
  dir.WriteFile("WarTiles.pix", coretest::MakeSheet(42, 32, 36));
  dir.WriteFile("Pieces.pix", coretest::MakeSheet(42, 32, 5));
  dir.WriteFile("Borders.pix", coretest::MakeSheet(42, 32, 2));
}

TEST(Program, ARunToTheEndTearsDownAndEndsWithStatusZero) {
  coretest::ResetProgram();
  coretest::ScratchDirectory dir;
  WriteAllSheets(dir);
  int waits = 0;
  pxh::OnHold([&](const pxh::Hold& hold) {
    if (hold.kind == pxh::HoldKind::Wait) {
      waits++;
      pxh::Click(0);
    }
  });
  EXPECT_EQ(RunProgram(), ExitPresented);
  pxh::OnHold(nullptr);
  EXPECT_GE(waits, 1);
  EXPECT_EQ(g_directDraw, nullptr);
  EXPECT_EQ(dir.Entries().size(), 6u);  // nothing written
  ExpectCleanEnd();
}

TEST(Program, LeavingWithEscapeEndsWithStatusZero) {
  coretest::ResetProgram();
  coretest::ScratchDirectory dir;
  WriteAllSheets(dir);
  pxh::OnHold([&](const pxh::Hold& hold) {
    if (hold.kind == pxh::HoldKind::Wait) pxh::SetKey(VK_ESCAPE, true);
  });
  EXPECT_EQ(RunProgram(), ExitPresented);
  pxh::OnHold(nullptr);
  pxh::SetKey(VK_ESCAPE, false);
  EXPECT_EQ(g_quitRequested, 1);
  ExpectCleanEnd();
}

TEST(Program, AMissingSheetEndsWithStatusOne) {
  coretest::ResetProgram();
  coretest::ScratchDirectory dir;
  WriteAllSheets(dir);
  ASSERT_EQ(std::remove("ports.pix"), 0);
  EXPECT_EXIT(
      {
        pxh::OnHold([](const pxh::Hold& hold) {
          if (hold.kind == pxh::HoldKind::Wait) pxh::Click(0);
        });
        RunProgram();
      },
      ::testing::ExitedWithCode(1), "cannot open image sheet \"ports.pix\"");
  EXPECT_FALSE(dir.Exists("ports.pix"));
}

}  // namespace
