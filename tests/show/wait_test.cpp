// The continue wait: the cursor confined to the button, which buttons end
// it, lost input, and the window closing while it waits. (Escape and the focus
// going while it waits: tests/show/presentation_test.cpp.)
#include <gtest/gtest.h>

#include <functional>

#include "devices/devices.h"
#include "raster/raster.h"
#include "shell/shell.h"
#include "show/show.h"
#include "tests/support/world.h"

namespace {

using namespace pxtest;

// Where every wait puts the cursor: inside the button, towards its left.
const int StartX = ContinueButtonX + 10, StartY = ContinueButtonY + 6;

class Wait : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(StartProgram());
    pxh::ClearCallLog();
  }
  void TearDown() override {
    pxh::OnHold(nullptr);
    ShutdownDevices();
    ExpectCleanEnd();
  }
  // Every wait gets `action` at its first pass.
  static void AtWait(std::function<void()> action) {
    pxh::OnHold([action](const pxh::Hold& hold) {
      if (hold.kind == pxh::HoldKind::Wait) action();
    });
  }
  // The wait ended with the buttons cleared and its closing pause taken.
  static void ExpectEndedWithThePause(uint64_t startMs) {
    EXPECT_EQ(g_mouseState.rgbButtons[0], 0);
    EXPECT_EQ(g_mouseState.rgbButtons[1], 0);
    EXPECT_FALSE(pxh::Cursor().clipped);
    EXPECT_GE(pxh::NowMs() - startMs, 500u);
    EXPECT_EQ(pxh::CallLog().back(), "Sleep 500");
  }
};

TEST_F(Wait, EveryWaitStartsConfinedAtTheButtonAndLeavesTheCursorShown) {
  for (int round = 0; round < 2; round++) {
    g_cursorX = 5 + round;
    g_cursorY = 7;
    pxh::CursorInfo atStart = {};
    AtWait([&] {
      atStart = pxh::Cursor();
      pxh::Click(0);
    });
    int before = pxh::Cursor().displayCount;
    uint64_t start = pxh::NowMs();
    EXPECT_EQ(WaitForContinueClick(), 1);
    const RECT& clip = atStart.clip;
    EXPECT_TRUE(atStart.clipped && atStart.x == StartX && atStart.y == StartY);
    EXPECT_TRUE(clip.left == ContinueButtonX && clip.top == ContinueButtonY &&
                clip.right == ContinueButtonX + ContinueButtonWidth &&
                clip.bottom == ContinueButtonY + ContinueButtonHeight);
    EXPECT_EQ(atStart.displayCount, before + 1);
    EXPECT_EQ(pxh::Cursor().displayCount, before + 1);
    EXPECT_EQ(g_waitEndedByQuit, 0);
    ExpectEndedWithThePause(start);
  }
}

TEST_F(Wait, ButtonZeroOrOneEndsItAtOnceButtonsTwoAndThreeAndTheWheelDoNotAndItSleeps) {
  for (int button : {0, 1}) {
    SCOPED_TRACE(button);
    pxh::ClearCallLog();
    pxh::SetMouseButton(button, true);  // already down: the first pass ends it
    WaitForContinueClick();
    pxh::SetMouseButton(button, false);
    EXPECT_EQ(CountCalls("IDirectInputDevice7::GetDeviceState"), 1);
  }
  uint64_t clickAt = 0;
  AtWait([&] {
    pxh::SetMouseButton(2, true);
    pxh::SetMouseButton(3, true);
    pxh::MoveMouse(0, 0, 120);
    clickAt = pxh::NowMs() + 1000;
    pxh::At(clickAt, [] { pxh::Click(0); });
    pxh::ClearCallLog();
  });
  WaitForContinueClick();
  EXPECT_GE(pxh::NowMs(), clickAt + 500);
  // A still wait sleeps between its passes (5 ms each) instead of spinning.
  EXPECT_LT(CountCalls("IDirectInputDevice7::GetDeviceState"), 400);
  pxh::SetMouseButton(2, false);
  pxh::SetMouseButton(3, false);
}

TEST_F(Wait, TheProgramsCursorRunsPastTheClipWhileTheVisibleOneStays) {
  AtWait([] {
    pxh::MoveMouse(60, 0);
    pxh::MoveMouse(40, 0);
    uint64_t now = pxh::NowMs();
    pxh::At(now + 100, [] {
      EXPECT_EQ(g_cursorX, StartX + 100);
      EXPECT_EQ(g_cursorY, StartY);
      EXPECT_EQ(pxh::Cursor().x, ContinueButtonX + ContinueButtonWidth - 1);
      pxh::MoveMouse(-70, 3);  // back inside
    });
    pxh::At(now + 200, [] {
      EXPECT_EQ(pxh::Cursor().x, StartX + 30);
      EXPECT_EQ(pxh::Cursor().y, StartY + 3);
      pxh::Click(0);
    });
  });
  WaitForContinueClick();
  EXPECT_EQ(g_cursorX, StartX + 30);
  EXPECT_EQ(g_cursorY, StartY + 3);
}

TEST_F(Wait, QuitEndsTheWaitWithTheClipLiftedAndThePauseTaken) {
  pxh::PressCloseButton();  // WM_CLOSE, default handling, WM_DESTROY, WM_QUIT
  uint64_t start = pxh::NowMs();
  EXPECT_EQ(WaitForContinueClick(), 1);
  EXPECT_EQ(g_waitEndedByQuit, 1);
  EXPECT_FALSE(pxh::WindowExists());
  ExpectEndedWithThePause(start);
}

TEST_F(Wait, LostOrUnacquiredInputIsTakenBackAndCountsAsStillness) {
  // A stale movement from an earlier read must not be added again.
  g_mouseState.lX = 30;
  g_mouseState.lY = -4;
  pxh::SetMouseButton(1, true);
  pxh::InjectFault("IDirectInputDevice7::GetDeviceState@mouse", DIERR_INPUTLOST, 3);
  WaitForContinueClick();
  pxh::SetMouseButton(1, false);
  EXPECT_EQ(CountCalls("IDirectInputDevice7::GetDeviceState"), 4);
  EXPECT_EQ(g_cursorX, StartX);
  EXPECT_EQ(g_cursorY, StartY);

  pxh::ClearCallLog();
  g_mouseDevice->Unacquire();
  AtWait([] { pxh::SetMouseButton(0, true); });
  WaitForContinueClick();
  pxh::SetMouseButton(0, false);
  EXPECT_LE(CountCalls("IDirectInputDevice7::GetDeviceState"), 2);
}

}  // namespace
