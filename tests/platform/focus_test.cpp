// Another program takes the focus and gives it back: the exclusive display
// and foreground input go as on Windows and nothing comes back by itself but
// the display mode.
#include "tests/support/layer.h"

namespace {

using namespace pxtest;

class FocusTest : public LayerTest {
 protected:
  // Handles every waiting message and notes which came.
  void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
      received.push_back(msg.message);
      DispatchMessageA(&msg);
    }
  }
  bool Received(UINT message) { return std::count(received.begin(), received.end(), message) > 0; }
  std::vector<UINT> received;
};

TEST_F(FocusTest, TheDisplayIsLostUntilTheProgramRestoresItInFront) {
  OpenDisplay();
  ASSERT_EQ(Fill(primary, 7), DD_OK);
  pxh::LoseFocus();
  EXPECT_EQ(dd->TestCooperativeLevel(), DDERR_NOEXCLUSIVEMODE);
  EXPECT_FALSE(pxh::DisplayModeSet());
  DDSURFACEDESC2 lock = {};
  lock.dwSize = sizeof lock;
  lock.lpSurface = &lock;
  HDC dc = nullptr;
  for (IDirectDrawSurface7* surface : {primary, back}) {
    EXPECT_EQ(surface->IsLost(), DDERR_SURFACELOST);
    EXPECT_EQ(surface->Lock(NULL, &lock, DDLOCK_WAIT, NULL), DDERR_SURFACELOST);
    EXPECT_EQ(lock.lpSurface, &lock);  // the record is left alone
    EXPECT_EQ(Fill(surface, 3), DDERR_SURFACELOST);
    EXPECT_EQ(surface->GetDC(&dc), DDERR_SURFACELOST);
    EXPECT_EQ(surface->Restore(), DDERR_WRONGMODE);
  }
  EXPECT_EQ(primary->Flip(NULL, DDFLIP_WAIT), DDERR_SURFACELOST);
  IDirectDrawSurface7* attached = nullptr;
  EXPECT_EQ(primary->GetAttachedSurface(&desc.ddsCaps, &attached), DDERR_SURFACELOST);
  EXPECT_EQ(dd->RestoreAllSurfaces(), DD_OK);  // as Wine answers: the surfaces stay lost
  EXPECT_EQ(primary->IsLost(), DDERR_SURFACELOST);
  EXPECT_EQ(dd->SetDisplayMode(640, 480, 8, 0, 0), DDERR_NOEXCLUSIVEMODE);

  // Back in front: the mode returns, the surfaces stay lost until restored,
  // and then hold no picture.
  pxh::RegainFocus();
  EXPECT_EQ(dd->TestCooperativeLevel(), DD_OK);
  EXPECT_TRUE(pxh::DisplayModeSet());
  EXPECT_EQ(primary->IsLost(), DDERR_SURFACELOST);
  EXPECT_EQ(primary->Flip(NULL, DDFLIP_WAIT), DDERR_SURFACELOST);
  EXPECT_EQ(dd->RestoreAllSurfaces(), DD_OK);
  EXPECT_EQ(primary->IsLost(), DD_OK);
  EXPECT_EQ(back->IsLost(), DD_OK);
  EXPECT_EQ(At(primary, 0, 0), 0);
  EXPECT_EQ(primary->Flip(NULL, DDFLIP_WAIT), DD_OK);
  ASSERT_EQ(back->Lock(NULL, &lock, DDLOCK_WAIT, NULL), DD_OK);
  EXPECT_EQ(back->Unlock(NULL), DD_OK);

  // A program that ends while another has the focus ends cleanly, and its
  // mode does not come back afterwards.
  pxh::LoseFocus();
  CloseDisplay();
  pxh::RegainFocus();
  EXPECT_FALSE(pxh::DisplayModeSet());
  EXPECT_EQ(pxh::MisuseReport(), std::vector<std::string>{});
}

TEST_F(FocusTest, ForegroundInputGoesAndTheWindowIsToldAndPainted) {
  ASSERT_NE(MakeWindow(), nullptr);
  IDirectInput7A* input = nullptr;
  ASSERT_EQ(DirectInputCreateEx(GetModuleHandleA(NULL), 0x0700, IID_IDirectInput7A,
                                reinterpret_cast<void**>(&input), NULL),
            DI_OK);
  auto open = [&](REFGUID guid, const DIDATAFORMAT* format, DWORD level) {
    IDirectInputDevice7A* device = nullptr;
    EXPECT_EQ(input->CreateDeviceEx(guid, IID_IDirectInputDevice7A,
                                    reinterpret_cast<void**>(&device), NULL),
              DI_OK);
    EXPECT_EQ(device->SetDataFormat(format), DI_OK);
    EXPECT_EQ(device->SetCooperativeLevel(window, level), DI_OK);
    EXPECT_EQ(device->Acquire(), DI_OK);
    return device;
  };
  IDirectInputDevice7A* keyboard =
      open(GUID_SysKeyboard, &c_dfDIKeyboard, DISCL_FOREGROUND | DISCL_NONEXCLUSIVE);
  IDirectInputDevice7A* mouse =
      open(GUID_SysMouse, &c_dfDIMouse, DISCL_BACKGROUND | DISCL_NONEXCLUSIVE);
  Pump();
  received.clear();

  uint8_t keys[256];
  DIMOUSESTATE state;
  pxh::LoseFocus();
  EXPECT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DIERR_NOTACQUIRED);
  EXPECT_EQ(keyboard->Acquire(), DIERR_OTHERAPPHASPRIO);
  // A background device keeps its input.
  EXPECT_EQ(mouse->GetDeviceState(sizeof state, &state), DI_OK);
  Pump();
  EXPECT_TRUE(Received(WM_ACTIVATEAPP));
  EXPECT_FALSE(Received(WM_PAINT));

  received.clear();
  pxh::RegainFocus();
  EXPECT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DIERR_NOTACQUIRED);
  EXPECT_EQ(keyboard->Acquire(), DI_OK);
  EXPECT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DI_OK);
  // Waiting for messages ends at once while some wait, else after its time.
  uint64_t start = pxh::NowMs();
  EXPECT_EQ(MsgWaitForMultipleObjects(0, NULL, FALSE, 5, QS_ALLINPUT),
            static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(pxh::NowMs(), start);
  Pump();
  EXPECT_TRUE(Received(WM_ACTIVATEAPP));
  EXPECT_TRUE(Received(WM_PAINT));
  start = pxh::NowMs();
  EXPECT_EQ(MsgWaitForMultipleObjects(0, NULL, FALSE, 5, QS_ALLINPUT),
            static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(pxh::NowMs(), start + 5);

  for (IDirectInputDevice7A* device : {keyboard, mouse}) {
    device->Unacquire();
    device->Release();
  }
  input->Release();
  EXPECT_EQ(pxh::MisuseReport(), std::vector<std::string>{});
}

}  // namespace
