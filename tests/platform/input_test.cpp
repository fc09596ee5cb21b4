// DirectInput: the mouse's relative movement and buttons, and the platform's
// own checks. (The program reads the keyboard through GetAsyncKeyState only;
// the answers Windows gives to misuse are compared in tests/probe.)
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
    ASSERT_EQ(input->CreateDeviceEx(GUID_SysMouse, IID_IDirectInputDevice7A,
                                    reinterpret_cast<void**>(&mouse), NULL),
              DI_OK);
  }
  DIMOUSESTATE Read() {
    DIMOUSESTATE state;
    std::memset(&state, 0x55, sizeof state);
    EXPECT_EQ(mouse->GetDeviceState(sizeof state, &state), DI_OK);
    return state;
  }
  // One read as "x,y,z" and a 1 for each button down, e.g. "3,0,0 1000".
  std::string ReadText() {
    DIMOUSESTATE s = Read();
    std::string text =
        std::to_string(s.lX) + "," + std::to_string(s.lY) + "," + std::to_string(s.lZ) + " ";
    for (BYTE b : s.rgbButtons) text += b == 0x80 ? '1' : b == 0 ? '0' : '?';
    return text;
  }

  IDirectInput7A* input = nullptr;
  IDirectInputDevice7A* mouse = nullptr;
};

TEST_F(InputTest, MouseReportsMovementSinceThePreviousReadAndEveryPress) {
  ASSERT_EQ(mouse->SetCooperativeLevel(window, DISCL_BACKGROUND | DISCL_NONEXCLUSIVE), DI_OK);
  ASSERT_EQ(mouse->SetDataFormat(&c_dfDIMouse), DI_OK);
  ASSERT_EQ(mouse->Acquire(), DI_OK);
  EXPECT_EQ(ReadText(), "0,0,0 0000");
  pxh::MoveMouse(5, -3);
  pxh::MoveMouse(95, 1, 2);
  pxh::SetMouseButton(1, true);
  EXPECT_EQ(ReadText(), "100,-2,2 0100");
  EXPECT_EQ(ReadText(), "0,0,0 0100");  // held
  pxh::SetMouseButton(1, false);
  pxh::SetMouseButton(0, true);  // a press shorter than the time between two reads
  pxh::SetMouseButton(0, false);
  EXPECT_EQ(ReadText(), "0,0,0 1000");
  EXPECT_EQ(ReadText(), "0,0,0 0000");
  pxh::Click(3);
  EXPECT_EQ(ReadText(), "0,0,0 0001");  // exactly one read
  EXPECT_EQ(ReadText(), "0,0,0 0000");
  mouse->Unacquire();
  mouse->Release();
  input->Release();
  EXPECT_EQ(pxh::MisuseReport(), std::vector<std::string>{});
}

TEST_F(InputTest, PlatformRefusesOtherDevicesAndFormatsAndReportsUnreleasedOnes) {
  EXPECT_EQ(mouse->SetDataFormat(&c_dfDIKeyboard), DIERR_INVALIDPARAM);
  static const GUID kJoystick = {
      0x6F1D2B70, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
  IDirectInputDevice7A* other = nullptr;
  EXPECT_EQ(input->CreateDeviceEx(kJoystick, IID_IDirectInputDevice7A,
                                  reinterpret_cast<void**>(&other), NULL),
            DIERR_DEVICENOTREG);
  EXPECT_EQ(other, nullptr);
  auto report = pxh::MisuseReport();
  EXPECT_TRUE(Contains(report, "IDirectInputDevice7@mouse not released")) << Joined(report);
  EXPECT_TRUE(Contains(report, "IDirectInput7 not released"));
  mouse->Release();
  input->Release();
}

}  // namespace
