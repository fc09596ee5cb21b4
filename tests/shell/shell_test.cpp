// Message pumping, Escape and the continue wait, on the virtual clock.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/shell.h"
#include "devices/devices.h"
#include "show/show.h"
#include "tests/support/world.h"

namespace {

using namespace pxtest;

class Shell : public ::testing::Test {
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
};

TEST_F(Shell, EscapeHeldWhilePumpingClosesTheWindowOnce) {
  pxh::SetKey(VK_ESCAPE, true);
  PumpPendingMessages();
  EXPECT_EQ(g_quitRequested, 1);
  EXPECT_FALSE(pxh::WindowExists());
  EXPECT_EQ(CountCalls("PostMessageA"), 14);
  EXPECT_EQ(CountCalls("PeekMessageA"), 14);
  EXPECT_EQ(CountCalls("GetAsyncKeyState"), 14);
  // The first WM_CLOSE is handled by default (the window goes, WM_QUIT is
  // posted); the later ones fail silently.
  EXPECT_EQ(CountCalls("DefWindowProcA 16"), 1);
  EXPECT_EQ(CountCalls("PostQuitMessage 0"), 1);
  pxh::SetKey(VK_ESCAPE, false);
}

TEST_F(Shell, PumpingHandlesWaitingMessagesOnlyAndEscapeUpDoesNothing) {
  // The new window's WM_PAINT is the only message waiting: one pass handles
  // it, the other thirteen find nothing and dispatch nothing.
  PumpPendingMessages();
  EXPECT_EQ(CountCalls("PeekMessageA"), 14);
  EXPECT_EQ(CountCalls("TranslateMessage"), 1);
  EXPECT_EQ(CountCalls("DispatchMessageA"), 1);
  EXPECT_EQ(CountCalls("DispatchMessageA 15"), 1);
  EXPECT_EQ(CountCalls("BeginPaint"), 1);
  EXPECT_EQ(CountCalls("EndPaint"), 1);
  PumpPendingMessages();
  EXPECT_EQ(CountCalls("DispatchMessageA"), 1);
  EXPECT_EQ(CountCalls("PostMessageA"), 0);
  EXPECT_EQ(g_quitRequested, 0);
  EXPECT_TRUE(pxh::WindowExists());
}

// --- The continue wait -------------------------------------------------------

TEST_F(Shell, EveryWaitStartsConfinedAtTheButton) {
  for (int round = 0; round < 2; round++) {
    g_cursorX = 5 + round;
    g_cursorY = 7;
    pxh::CursorInfo atStart = {};
    int holds = 0;
    pxh::OnHold([&](const pxh::Hold& hold) {
      if (hold.kind != pxh::HoldKind::Wait) return;
      holds++;
      atStart = pxh::Cursor();
      pxh::Click(0);
    });
    int before = pxh::Cursor().displayCount;
    EXPECT_EQ(WaitForContinueClick(), 1);
    EXPECT_EQ(holds, 1);
    EXPECT_EQ(atStart.x, 550);
    EXPECT_EQ(atStart.y, 441);
    EXPECT_TRUE(atStart.clipped);
    EXPECT_EQ(std::vector<LONG>({atStart.clip.left, atStart.clip.top, atStart.clip.right, atStart.clip.bottom}),
              std::vector<LONG>({540, 435, 585, 447}));
    EXPECT_EQ(atStart.displayCount, before + 1);
    pxh::CursorInfo atEnd = pxh::Cursor();
    EXPECT_FALSE(atEnd.clipped);
    EXPECT_EQ(atEnd.displayCount, before + 1);  // left shown
    EXPECT_EQ(g_waitEndedByQuit, 0);
    EXPECT_EQ(g_mouseState.rgbButtons[0], 0);
  }
}

TEST_F(Shell, AButtonAlreadyDownEndsTheWaitOnItsFirstPass) {
  pxh::SetMouseButton(0, true);
  uint64_t start = pxh::NowMs();
  WaitForContinueClick();
  pxh::SetMouseButton(0, false);
  EXPECT_EQ(CountCalls("IDirectInputDevice7::GetDeviceState"), 1);
  // The 500 ms pause comes after the click.
  EXPECT_GE(pxh::NowMs() - start, 500u);
  std::vector<std::string> log = pxh::CallLog();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "Sleep 500");
}

TEST_F(Shell, OnlyTheFirstTwoButtonsEndTheWait) {
  for (int button : {0, 1}) {
    SCOPED_TRACE(button);
    pxh::ClearCallLog();
    pxh::OnHold([&](const pxh::Hold& hold) {
      if (hold.kind == pxh::HoldKind::Wait) pxh::Click(button);
    });
    WaitForContinueClick();
    EXPECT_EQ(CountCalls("IDirectInputDevice7::GetDeviceState"), 1);
    EXPECT_EQ(g_mouseState.rgbButtons[0], 0);
    EXPECT_EQ(g_mouseState.rgbButtons[1], 0);
  }

  // Buttons 2 and 3 held and the wheel turned: the wait goes on until button
  // 0 is pressed a virtual second later.
  pxh::ClearCallLog();
  uint64_t clickAt = 0;
  pxh::OnHold([&](const pxh::Hold& hold) {
    if (hold.kind != pxh::HoldKind::Wait) return;
    pxh::SetMouseButton(2, true);
    pxh::SetMouseButton(3, true);
    pxh::MoveMouse(0, 0, 120);
    clickAt = pxh::NowMs() + 1000;
    pxh::At(clickAt, [] { pxh::Click(0); });
  });
  WaitForContinueClick();
  EXPECT_GE(pxh::NowMs(), clickAt + 500);
  EXPECT_GT(CountCalls("IDirectInputDevice7::GetDeviceState"), 2);
  pxh::SetMouseButton(2, false);
  pxh::SetMouseButton(3, false);
}

TEST_F(Shell, TheProgramsCursorRunsPastTheClipWhileTheVisibleOneStays) {
  pxh::OnHold([&](const pxh::Hold& hold) {
    if (hold.kind != pxh::HoldKind::Wait) return;
    pxh::MoveMouse(60, 0);
    pxh::MoveMouse(40, 0);
    uint64_t now = pxh::NowMs();
    pxh::At(now + 100, [] {
      EXPECT_EQ(g_cursorX, 650);
      EXPECT_EQ(g_cursorY, 441);
      EXPECT_EQ(pxh::Cursor().x, 584);
      pxh::MoveMouse(-70, 3);  // back inside: 580
    });
    pxh::At(now + 200, [] {
      EXPECT_EQ(g_cursorX, 580);
      EXPECT_EQ(pxh::Cursor().x, 580);
      EXPECT_EQ(pxh::Cursor().y, 444);
      pxh::Click(0);
    });
  });
  WaitForContinueClick();
  EXPECT_EQ(g_cursorX, 580);
  EXPECT_EQ(g_cursorY, 444);
}

TEST_F(Shell, QuitEndsTheWaitWithTheClipLiftedAndThePauseTaken) {
  // The user closes the window: WM_CLOSE, default handling, WM_DESTROY, WM_QUIT.
  pxh::PressCloseButton();
  uint64_t start = pxh::NowMs();
  EXPECT_EQ(WaitForContinueClick(), 1);
  EXPECT_EQ(g_waitEndedByQuit, 1);
  EXPECT_FALSE(pxh::WindowExists());
  EXPECT_FALSE(pxh::Cursor().clipped);
  EXPECT_EQ(g_mouseState.rgbButtons[0], 0);
  EXPECT_EQ(g_mouseState.rgbButtons[1], 0);
  EXPECT_GE(pxh::NowMs() - start, 500u);
  EXPECT_EQ(pxh::CallLog().back(), "Sleep 500");
}

TEST_F(Shell, LostInputIsReacquiredAndCountsAsStillness) {
  // A stale movement from an earlier read must not be added again.
  g_mouseState.lX = 30;
  g_mouseState.lY = -4;
  pxh::SetMouseButton(1, true);
  pxh::InjectFault("IDirectInputDevice7::GetDeviceState@mouse", DIERR_INPUTLOST, 3);
  WaitForContinueClick();
  pxh::SetMouseButton(1, false);
  EXPECT_EQ(CountCalls("IDirectInputDevice7::GetDeviceState"), 4);
  EXPECT_EQ(CountCalls("IDirectInputDevice7::Acquire@mouse"), 3);
  EXPECT_EQ(g_cursorX, 550);
  EXPECT_EQ(g_cursorY, 441);
}

TEST_F(Shell, AnUnacquiredMouseIsTakenBack) {
  g_mouseDevice->Unacquire();
  pxh::OnHold([&](const pxh::Hold& hold) {
    if (hold.kind == pxh::HoldKind::Wait) pxh::SetMouseButton(0, true);
  });
  WaitForContinueClick();
  pxh::SetMouseButton(0, false);
  EXPECT_GE(CountCalls("IDirectInputDevice7::Acquire@mouse"), 1);
  EXPECT_LE(CountCalls("IDirectInputDevice7::GetDeviceState"), 2);
}

TEST(CommandLine, SplitAndUnquotedAsTheWindowsRuntimeDoes) {
  struct Case {
    const char* line;
    std::vector<std::string> arguments;
  };
  const Case cases[] = {
      {"", {}},
      {" one  two\tthree ", {"one", "two", "three"}},
      {"\"my art\" next", {"my art", "next"}},
      {"C:\\Games\\art", {"C:\\Games\\art"}},
      {"\"C:\\My Art\\\\\" next", {"C:\\My Art\\", "next"}},
      {"a\\\"b a\\\\\\\"b", {"a\"b", "a\\\"b"}},
      {"\"say \"\"hi\"\"\"", {"say \"hi\""}},
      {"ab\"c d\"e \"\"", {"abc de", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    std::vector<std::string> arguments;
    char argument[64];
    int tooLong = 0;
    const char* cursor = c.line;
    while ((cursor = ReadArgument(cursor, argument, sizeof(argument), &tooLong)) != nullptr) {
      EXPECT_FALSE(tooLong);
      arguments.push_back(argument);
    }
    EXPECT_EQ(arguments, c.arguments);
  }
  char shortBuffer[4];
  int tooLong = 0;
  EXPECT_NE(ReadArgument("\"abcdef\"", shortBuffer, sizeof(shortBuffer), &tooLong), nullptr);
  EXPECT_TRUE(tooLong);
  EXPECT_STREQ(shortBuffer, "abc");
}

}  // namespace
