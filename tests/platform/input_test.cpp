// DirectInput: the mouse's relative movement and buttons, and the platform's
// checks. (The program reads the keyboard through GetAsyncKeyState only.)
#include "tests/support/layer.h"

namespace {

using namespace pxtest;

class InputTest : public LayerTest {
 protected:
  void SetUp() override {
    LayerTest::SetUp();
    ASSERT_NE(MakeWindow(), nullptr);
    ASSERT_EQ(DirectInputCreateEx(GetModuleHandleA(NULL), 0x0700, IID_IDirectInput7A,
                                  reinterpret_cast<void**>(&input), NULL),
              DI_OK);
  }
  void OpenMouse() {
    ASSERT_EQ(input->CreateDeviceEx(GUID_SysMouse, IID_IDirectInputDevice7A,
                                    reinterpret_cast<void**>(&mouse), NULL),
              DI_OK);
    ASSERT_EQ(mouse->SetCooperativeLevel(window, DISCL_BACKGROUND | DISCL_NONEXCLUSIVE), DI_OK);
    ASSERT_EQ(mouse->SetDataFormat(&c_dfDIMouse), DI_OK);
    ASSERT_EQ(mouse->Acquire(), DI_OK);
  }
  void Close() {
    if (mouse != nullptr) {
      mouse->Unacquire();
      mouse->Release();
    }
    input->Release();
    mouse = nullptr;
  }
  DIMOUSESTATE Read() {
    DIMOUSESTATE state;
    std::memset(&state, 0x55, sizeof state);
    EXPECT_EQ(mouse->GetDeviceState(sizeof state, &state), DI_OK);
    return state;
  }

  IDirectInput7A* input = nullptr;
  IDirectInputDevice7A* mouse = nullptr;
};

TEST_F(InputTest, MouseReportsMovementSinceThePreviousReadAndButtons) {
  OpenMouse();
  DIMOUSESTATE s = Read();
  EXPECT_EQ(s.lX, 0);
  EXPECT_EQ(s.rgbButtons[0], 0);
  pxh::MoveMouse(5, -3);
  pxh::MoveMouse(95, 1, 2);
  s = Read();
  EXPECT_EQ(s.lX, 100);
  EXPECT_EQ(s.lY, -2);
  EXPECT_EQ(s.lZ, 2);
  s = Read();
  EXPECT_EQ(s.lX, 0);
  EXPECT_EQ(s.lY, 0);

  pxh::SetMouseButton(1, true);
  s = Read();
  EXPECT_EQ(s.rgbButtons[0], 0);
  EXPECT_EQ(s.rgbButtons[1], 0x80);
  EXPECT_EQ(Read().rgbButtons[1], 0x80);  // held
  pxh::SetMouseButton(1, false);
  EXPECT_EQ(Read().rgbButtons[1], 0);

  pxh::SetMouseButton(0, true);  // a press shorter than the time between two reads
  pxh::SetMouseButton(0, false);
  EXPECT_EQ(Read().rgbButtons[0], 0x80);
  EXPECT_EQ(Read().rgbButtons[0], 0);

  pxh::Click();
  EXPECT_EQ(Read().rgbButtons[0], 0x80);  // exactly one read
  EXPECT_EQ(Read().rgbButtons[0], 0);
  pxh::Click(3);
  s = Read();
  EXPECT_EQ(s.rgbButtons[3], 0x80);
  EXPECT_EQ(s.rgbButtons[0], 0);
  Close();
  EXPECT_EQ(pxh::MisuseReport(), std::vector<std::string>{});
}

TEST_F(InputTest, PlatformChecksAcquisitionFormatsAndLevelsAndReportsUnreleasedDevices) {
  ASSERT_EQ(input->CreateDeviceEx(GUID_SysMouse, IID_IDirectInputDevice7A,
                                  reinterpret_cast<void**>(&mouse), NULL),
            DI_OK);
  DIMOUSESTATE s;
  EXPECT_EQ(mouse->Acquire(), DIERR_INVALIDPARAM);  // no data format yet
  EXPECT_EQ(mouse->SetDataFormat(&c_dfDIKeyboard), DIERR_INVALIDPARAM);
  ASSERT_EQ(mouse->SetDataFormat(&c_dfDIMouse), DI_OK);
  EXPECT_EQ(mouse->SetCooperativeLevel(window, DISCL_BACKGROUND), DIERR_INVALIDPARAM);
  EXPECT_EQ(mouse->GetDeviceState(sizeof s, &s), DIERR_NOTACQUIRED);
  ASSERT_EQ(mouse->Acquire(), DI_OK);
  EXPECT_EQ(mouse->SetDataFormat(&c_dfDIMouse), DIERR_ACQUIRED);
  EXPECT_EQ(mouse->GetDeviceState(sizeof s - 4, &s), DIERR_INVALIDPARAM);
  EXPECT_EQ(mouse->Unacquire(), DI_OK);
  EXPECT_EQ(mouse->Unacquire(), DI_NOEFFECT);
  EXPECT_EQ(mouse->GetDeviceState(sizeof s, &s), DIERR_NOTACQUIRED);

  static const GUID kJoystick = {
      0x6F1D2B70, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
  IDirectInputDevice7A* other = nullptr;
  EXPECT_EQ(input->CreateDeviceEx(kJoystick, IID_IDirectInputDevice7A,
                                  reinterpret_cast<void**>(&other), NULL),
            DIERR_DEVICENOTREG);
  EXPECT_EQ(other, nullptr);
  IDirectInput7A* old = nullptr;
  EXPECT_EQ(
      DirectInputCreateEx(NULL, 0x0800, IID_IDirectInput7A, reinterpret_cast<void**>(&old), NULL),
      DIERR_BETADIRECTINPUTVERSION);
  auto report = pxh::MisuseReport();
  EXPECT_TRUE(Contains(report, "IDirectInputDevice7@mouse not released")) << Joined(report);
  EXPECT_TRUE(Contains(report, "IDirectInput7 not released"));
  Close();
}

}  // namespace
