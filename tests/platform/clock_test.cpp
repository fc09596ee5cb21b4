// The headless world's clock, timed actions, hold points and call log.
#include "layer_fixture.h"

namespace layertest {
namespace {

using ClockTest = LayerTest;

TEST_F(ClockTest, SleepPassesAtOnceAndPollingTakesALittleTime) {
  EXPECT_EQ(pxh::NowMs(), 0u);
  Sleep(2000);
  EXPECT_EQ(pxh::NowMs(), 2000u);
  MSG msg;
  for (int i = 0; i < 400; ++i) PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE);
  EXPECT_GT(pxh::NowMs(), 2000u);
  EXPECT_LT(pxh::NowMs(), 2400u);
  EXPECT_EQ(GetTickCount(), static_cast<DWORD>(pxh::NowMs()));
}

TEST_F(ClockTest, TimedActionsRunWhenTheClockReachesThem) {
  std::vector<uint64_t> ran;
  pxh::At(700, [&] { ran.push_back(pxh::NowMs()); });
  pxh::At(300, [&] { ran.push_back(pxh::NowMs()); });
  Sleep(500);
  EXPECT_EQ(ran, std::vector<uint64_t>{300});
  EXPECT_EQ(pxh::NowMs(), 500u);
  // A busy wait on the key state ends when the scripted press arrives.
  pxh::At(900, [] { pxh::SetKey(VK_ESCAPE, true); });
  int passes = 0;
  while (!(GetAsyncKeyState(VK_ESCAPE) & 0x8000) && passes < 1000000) ++passes;
  EXPECT_GE(pxh::NowMs(), 900u);
  EXPECT_LT(passes, 1000000);
  EXPECT_EQ(ran, (std::vector<uint64_t>{300, 700}));
}

TEST_F(ClockTest, HoldPointsAtEverySleepAndTheFirstPassOfEachWait) {
  ASSERT_NE(MakeWindow(), nullptr);
  IDirectInput7A* input = nullptr;
  IDirectInputDevice7A* mouse = nullptr;
  ASSERT_EQ(DirectInputCreateEx(NULL, 0x0700, IID_IDirectInput7A, reinterpret_cast<void**>(&input), NULL), DI_OK);
  ASSERT_EQ(input->CreateDeviceEx(GUID_SysMouse, IID_IDirectInputDevice7A, reinterpret_cast<void**>(&mouse), NULL),
            DI_OK);
  mouse->SetDataFormat(&c_dfDIMouse);
  mouse->Acquire();

  std::vector<pxh::Hold> holds;
  pxh::OnHold([&](const pxh::Hold& hold) {
    holds.push_back(hold);
    if (hold.kind == pxh::HoldKind::Wait) pxh::Click();  // the user clicks at once
  });
  // The program's wait: loop until a read shows a button.
  auto wait = [&] {
    SetCursorPos(550, 441);
    ShowCursor(TRUE);
    int passes = 0;
    DIMOUSESTATE state{};
    do {
      MSG msg;
      if (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
      GetAsyncKeyState(VK_ESCAPE);
      mouse->GetDeviceState(sizeof state, &state);
      SetCursorPos(550, 441);
      ++passes;
    } while (state.rgbButtons[0] == 0 && passes < 100);
    Sleep(500);
    return passes;
  };
  EXPECT_EQ(wait(), 1);
  EXPECT_EQ(wait(), 1);
  ASSERT_EQ(holds.size(), 4u);
  EXPECT_EQ(holds[0].kind, pxh::HoldKind::Wait);
  EXPECT_EQ(holds[1].kind, pxh::HoldKind::Pause);
  EXPECT_EQ(holds[1].pauseMs, 500u);
  EXPECT_EQ(holds[2].kind, pxh::HoldKind::Wait);
  EXPECT_GE(holds[2].atMs, holds[1].atMs + 500);

  // Without a click the wait goes on, and its later passes are no new holds.
  pxh::OnHold([&](const pxh::Hold& hold) { holds.push_back(hold); });
  holds.clear();
  EXPECT_EQ(wait(), 100);
  EXPECT_EQ(holds.size(), 2u);
  pxh::OnHold(nullptr);
  mouse->Unacquire();
  mouse->Release();
  input->Release();
}

TEST_F(ClockTest, CallLogRecordsTheProgramsCallsInOrder) {
  OpenDisplay();
  pxh::ClearCallLog();
  PALETTEENTRY blue{0, 0, 255, PC_NOCOLLAPSE};
  palette->SetEntries(0, 4, 1, &blue);
  DDSURFACEDESC2 lock{};
  lock.dwSize = sizeof lock;
  back->Lock(NULL, &lock, DDLOCK_WAIT, NULL);
  back->Unlock(NULL);
  primary->Flip(NULL, DDFLIP_WAIT);
  Fill(back, 0);
  HDC dc;
  primary->GetDC(&dc);
  TextOutA(dc, 30, 430, "Load Failure", 12);
  Rectangle(dc, 20, 37, 670, 370);
  primary->ReleaseDC(dc);
  ShowCursor(FALSE);
  Sleep(2000);
  const std::vector<std::string> expected = {
      "IDirectDrawPalette::SetEntries 4",
      "IDirectDrawSurface7::Lock@back",
      "IDirectDrawSurface7::Unlock@back",
      "IDirectDrawSurface7::Flip@primary",
      "IDirectDrawSurface7::Blt@back fill 0",
      "IDirectDrawSurface7::GetDC@primary",
      "TextOutA 30,430 \"Load Failure\"",
      "Rectangle 20,37,670,370",
      "IDirectDrawSurface7::ReleaseDC@primary",
      "ShowCursor 0",
      "Sleep 2000",
  };
  EXPECT_EQ(pxh::CallLog(), expected);
  CloseDisplay();
  EXPECT_EQ(pxh::CallLog().back(), "IDirectDraw7::Release");
}

}  // namespace
}  // namespace layertest
