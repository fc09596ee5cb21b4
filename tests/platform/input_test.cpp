// DirectInput: the mouse's relative movement and buttons, the devices' events
// and a wait on them, a gamepad's buttons as keys, and the platform's own
// checks. (The answers Windows gives to misuse are compared in tests/probe.)
#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <vector>

#include "platform/pad_keys.h"
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

// Every change of an acquired device's state sets its event, and a wait on
// the events sleeps, without a single polling call, until the first of them.
TEST_F(InputTest, DevicesSetTheirEventsOnChangesWhileAcquiredAndAWaitSleepsUntilTheFirst) {
  IDirectInputDevice7A* keyboard = nullptr;
  ASSERT_EQ(input->CreateDeviceEx(GUID_SysKeyboard, IID_IDirectInputDevice7A,
                                  reinterpret_cast<void**>(&keyboard), NULL),
            DI_OK);
  HANDLE events[2] = {CreateEventA(NULL, FALSE, FALSE, NULL),
                      CreateEventA(NULL, FALSE, FALSE, NULL)};
  const DWORD flags[2] = {DISCL_BACKGROUND | DISCL_NONEXCLUSIVE,
                          DISCL_FOREGROUND | DISCL_NONEXCLUSIVE};
  IDirectInputDevice7A* devices[2] = {mouse, keyboard};
  for (int i = 0; i < 2; i++) {
    ASSERT_EQ(devices[i]->SetCooperativeLevel(window, flags[i]), DI_OK);
    ASSERT_EQ(devices[i]->SetDataFormat(i == 0 ? &c_dfDIMouse : &c_dfDIKeyboard), DI_OK);
    ASSERT_EQ(devices[i]->SetEventNotification(events[i]), DI_OK);
  }
  pxh::MoveMouse(1, 0);  // not acquired yet
  EXPECT_EQ(MsgWaitForMultipleObjects(2, events, FALSE, 0, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  for (IDirectInputDevice7A* device : devices) ASSERT_EQ(device->Acquire(), DI_OK);
  const struct {
    std::function<void()> input;
    DWORD woken;
  } cases[] = {
      {[] { pxh::MoveMouse(0, 0, 1); }, WAIT_OBJECT_0},
      {[] { pxh::SetMouseButton(2, true); }, WAIT_OBJECT_0},
      {[] { pxh::Click(0); }, WAIT_OBJECT_0},
      {[] { pxh::SetKey(VK_SPACE, true); }, WAIT_OBJECT_0 + 1},
      {[] { pxh::LoseFocus(); }, WAIT_OBJECT_0 + 1},  // losing acquisition is a change
  };
  for (const auto& c : cases) {
    const uint64_t start = pxh::NowMs();
    pxh::At(start + 1000, c.input);
    pxh::ClearCallLog();
    EXPECT_EQ(MsgWaitForMultipleObjects(2, events, FALSE, INFINITE, QS_POSTMESSAGE), c.woken);
    EXPECT_EQ(pxh::NowMs(), start + 1000);
    EXPECT_EQ(pxh::CallLog().size(), 1u) << Joined(pxh::CallLog());
    // Auto-reset: the wait took the event.
    EXPECT_EQ(MsgWaitForMultipleObjects(2, events, FALSE, 0, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  }
  // Misuse: a handle that is no event, closing twice, closing one a device still sets.
  HANDLE stale[1] = {window};
  EXPECT_EQ(MsgWaitForMultipleObjects(1, stale, FALSE, 0, 0), static_cast<DWORD>(WAIT_FAILED));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_TRUE(CloseHandle(events[0]));
  EXPECT_FALSE(CloseHandle(events[0]));
  EXPECT_EQ(SetEvent(events[0]), FALSE);
  for (IDirectInputDevice7A* device : devices) {
    device->Unacquire();
    device->Release();
  }
  EXPECT_TRUE(CloseHandle(events[1]));
  input->Release();
  EXPECT_EQ(Joined(pxh::MisuseReport()),
            Joined({"MsgWaitForMultipleObjects: object 0 is not an open event",
                    "CloseHandle: a device still sets the event", "CloseHandle: not an open handle",
                    "SetEvent: not an open event"}));
}

// A wait on the queue alone wakes for the kinds of input its mask names. A
// timed one right after a plain call is a pause of the program: a hold, as a
// Sleep is; one after a polling call goes on with it.
TEST_F(InputTest, AQueueWaitWakesForItsKindOfInputAndATimedOneAfterDrawingIsAPause) {
  std::vector<pxh::Hold> holds;
  pxh::OnHold([&](const pxh::Hold& hold) { holds.push_back(hold); });
  const struct {
    bool afterDrawing;  // else after a polling call
    DWORD mask;
    std::function<void()> input;
    DWORD woken;
  } cases[] = {
      {true, QS_KEY, [] { pxh::Click(0); }, WAIT_TIMEOUT},
      {true, QS_KEY, [] { pxh::SetKey(VK_ESCAPE, true); }, WAIT_OBJECT_0},
      {true, QS_MOUSEBUTTON, [] { pxh::SetKey(VK_ESCAPE, false); }, WAIT_TIMEOUT},
      {false, QS_MOUSE, [] { pxh::MoveMouse(1, 0); }, WAIT_OBJECT_0},
  };
  for (const auto& c : cases) {
    MSG message;
    c.afterDrawing ? ShowCursor(TRUE) : PeekMessageA(&message, NULL, 0, 0, PM_NOREMOVE);
    holds.clear();
    const uint64_t start = pxh::NowMs();
    pxh::At(start + 10, c.input);
    EXPECT_EQ(MsgWaitForMultipleObjects(0, NULL, FALSE, 40, c.mask), c.woken);
    EXPECT_EQ(pxh::NowMs(), start + (c.woken == WAIT_TIMEOUT ? 40 : 10));
    ASSERT_EQ(holds.size(), c.afterDrawing ? 1u : 0u);
    if (c.afterDrawing) {
      EXPECT_TRUE(holds[0].kind == pxh::HoldKind::Pause && holds[0].pauseMs == 40 &&
                  holds[0].atMs == start);
    }
  }
  pxh::OnHold(nullptr);
}

TEST_F(InputTest, PlatformRefusesOtherDevicesFormatsAndInvertedClipsAndReportsUnreleasedOnes) {
  RECT clip = {10, 20, 30, 40}, inverted = {30, 40, 10, 20};
  ASSERT_TRUE(ClipCursor(&clip));
  EXPECT_FALSE(ClipCursor(&inverted));  // refused, and the clip in force stays
  POINT at{};
  SetCursorPos(0, 0);
  GetCursorPos(&at);
  EXPECT_EQ(at.x, 10);
  EXPECT_EQ(at.y, 20);
  ClipCursor(NULL);
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
  EXPECT_TRUE(Contains(report, "ClipCursor: an inverted rectangle")) << Joined(report);
  mouse->Release();
  input->Release();
}

// A change notification on a folder is set by a file written, renamed into it
// or deleted, wakes a wait, stays set until FindNextChangeNotification takes
// the changes, and is refused once closed.
TEST_F(InputTest, ChangeNotificationIsSetByChangesInTheFolderUntilTakenAndWakesAWait) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::temp_directory_path() / ("pixshow-watch-" + std::to_string(getpid()));
  fs::create_directories(folder);
  const std::string name = folder.string(), sheet = (folder / "ports.pix").string();
  auto write = [](const std::string& path) { std::fclose(std::fopen(path.c_str(), "wb")); };
  const DWORD filter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE;
  HANDLE watch = FindFirstChangeNotificationA(name.c_str(), FALSE, filter);
  ASSERT_NE(watch, INVALID_HANDLE_VALUE);
  write(sheet + ".new");
  for (const std::function<void()>& change : std::vector<std::function<void()>>{
           [&] { write(sheet); }, [&] { fs::rename(sheet + ".new", sheet); },
           [&] { fs::remove(sheet); }}) {
    EXPECT_EQ(WaitForSingleObject(watch, 0), static_cast<DWORD>(WAIT_OBJECT_0));  // still set
    ASSERT_TRUE(FindNextChangeNotification(watch));
    EXPECT_EQ(WaitForSingleObject(watch, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    const uint64_t start = pxh::NowMs();
    pxh::At(start + 300, change);
    HANDLE handles[2] = {CreateEventA(NULL, FALSE, FALSE, NULL), watch};
    EXPECT_EQ(MsgWaitForMultipleObjects(2, handles, FALSE, INFINITE, QS_POSTMESSAGE),
              static_cast<DWORD>(WAIT_OBJECT_0 + 1));
    EXPECT_EQ(pxh::NowMs(), start + 300);
    CloseHandle(handles[0]);
  }
  EXPECT_TRUE(FindCloseChangeNotification(watch));
  // A closed handle, a folder that is not there, a file.
  EXPECT_FALSE(FindNextChangeNotification(watch));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(WaitForSingleObject(watch, 0), static_cast<DWORD>(WAIT_FAILED));
  write(sheet);
  for (const auto& [path, error] :
       {std::pair<std::string, DWORD>{name + "/none", ERROR_FILE_NOT_FOUND},
        {sheet, ERROR_DIRECTORY}}) {
    EXPECT_EQ(FindFirstChangeNotificationA(path.c_str(), FALSE, filter), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), error) << path;
  }
  HANDLE left = FindFirstChangeNotificationA(name.c_str(), FALSE, filter);
  fs::remove_all(folder);
  const auto report = pxh::MisuseReport();
  EXPECT_EQ(Joined({report.begin(), report.begin() + 2}),
            Joined({"FindNextChangeNotification: not an open change notification",
                    "WaitForSingleObject: not an open event or change notification"}));
  EXPECT_TRUE(Contains({report.back()}, "change notification ")) << Joined(report);
  FindCloseChangeNotification(left);
  mouse->Release();
  input->Release();
}

// A gamepad's buttons as keys (platform/pad_keys.h; on Windows fed with XInput's
// states, read when a pad reports): each button's key code is the one this
// keyboard reports for its virtual key; a press and release between two looks
// counts once, a held button at every look, buttons without a use never, and a
// pad unplugged lets go of its buttons.
TEST_F(InputTest, PadButtonsAreTheirKeysAndAPressBetweenTwoLooksCountsOnce) {
  IDirectInputDevice7A* keyboard = nullptr;
  ASSERT_EQ(input->CreateDeviceEx(GUID_SysKeyboard, IID_IDirectInputDevice7A,
                                  reinterpret_cast<void**>(&keyboard), NULL),
            DI_OK);
  ASSERT_EQ(keyboard->SetDataFormat(&c_dfDIKeyboard), DI_OK);
  ASSERT_EQ(keyboard->Acquire(), DI_OK);
  for (const PadButtonKey& key : PadButtonKeys) {
    BYTE keys[256];
    pxh::SetKey(key.virtualKey, true);
    ASSERT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DI_OK);
    pxh::SetKey(key.virtualKey, false);
    EXPECT_EQ(keys[key.keyboardKey], 0x80) << "pad button " << key.button;
  }
  keyboard->Release();
  const unsigned short unused = 0x4000 | 0x8000 | 0x0040 | 0x0080;  // X, Y, the sticks
  const struct {
    std::vector<std::array<unsigned short, 3>> reads;  // pad, connected, buttons
    std::vector<int> keys;                             // down at the look after them
  } looks[] = {
      {{{0, 1, PadA}, {0, 1, 0}}, {DIK_SPACE}},
      {{}, {}},
      {{{0, 1, PadUp | PadRight}}, {DIK_UP, DIK_RIGHT}},
      {{{0, 1, PadUp | PadRight | unused}}, {DIK_UP, DIK_RIGHT}},
      {{{1, 1, PadBack}}, {DIK_UP, DIK_RIGHT, DIK_HOME}},
      {{{0, 0, 0xFFFF}}, {DIK_HOME}},
      {{{1, 1, PadStart | PadLeftShoulder},
        {1, 1, PadRightShoulder | PadB | PadDown},
        {1, 1, PadLeft}},
       {DIK_RETURN, DIK_BACK, DIK_PRIOR, DIK_DOWN, DIK_NEXT, DIK_LEFT}},
  };
  PadButtonsSeen pads[2] = {};
  int look = 0;
  for (const auto& l : looks) {
    for (const auto& read : l.reads) NotePadState(pads[read[0]], read[1], read[2]);
    unsigned char keys[256] = {};
    for (PadButtonsSeen& pad : pads) TakePadKeys(pad, keys);
    std::vector<int> down, expected = l.keys;
    for (int key = 0; key < 256; key++)
      if (keys[key] == 0x80) down.push_back(key);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(down, expected) << "look " << ++look;
  }
}

}  // namespace
