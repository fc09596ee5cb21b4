// Gamepads on Windows: XInput pads, read only when the system says one did
// something. XInput is loaded when the program starts (a system without it
// has no pads here); the game pads and joysticks among the HID devices are
// registered for raw input, so a report of theirs (WM_INPUT) and a pad
// plugged in or out (WM_INPUT_DEVICE_CHANGE) come as messages to a
// message-only window of this module, on the thread that started it. Only
// then are the pads' states read. A thread asleep on its queue therefore wakes
// for a pad only when one reports: never while none is plugged in, and not
// while one lies still. Raw input is asked for without RIDEV_INPUTSINK: as
// the keyboard (DISCL_FOREGROUND), a pad counts only while the program is in
// front.
#include "platform/gamepad.h"

#include <xinput.h>

#include "platform/pad_keys.h"

namespace {

typedef DWORD(WINAPI* GetPadStateCall)(DWORD pad, XINPUT_STATE* state);

const char* const PadWindowClass = "pixshow gamepads";
// XInput's libraries, newest first: Windows 8 and later, Vista and later,
// the DirectX runtime's.
const char* const XInputLibraries[] = {"xinput1_4.dll", "xinput9_1_0.dll", "xinput1_3.dll"};
// HID usage page "generic desktop": joystick and game pad.
const USHORT GenericDesktopPage = 0x01;
const USHORT JoystickUsage = 0x04;
const USHORT GamePadUsage = 0x05;

HMODULE g_xinput = NULL;
GetPadStateCall g_getPadState = NULL;
HINSTANCE g_padInstance = NULL;
HWND g_padWindow = NULL;
PadButtonsSeen g_pads[XUSER_MAX_COUNT];

void ReadPads() {
  for (DWORD pad = 0; pad < XUSER_MAX_COUNT; pad++) {
    XINPUT_STATE state;
    ZeroMemory(&state, sizeof(state));
    const int connected = g_getPadState(pad, &state) == ERROR_SUCCESS;
    NotePadState(g_pads[pad], connected, state.Gamepad.wButtons);
  }
}

LRESULT CALLBACK PadWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INPUT || message == WM_INPUT_DEVICE_CHANGE) ReadPads();
  // For WM_INPUT the default handling frees the input's data.
  return DefWindowProcA(window, message, wParam, lParam);
}

int ListenToPads(DWORD flags, HWND target) {
  RAWINPUTDEVICE devices[2];
  const USHORT usages[2] = {JoystickUsage, GamePadUsage};
  for (int i = 0; i < 2; i++) {
    devices[i].usUsagePage = GenericDesktopPage;
    devices[i].usUsage = usages[i];
    devices[i].dwFlags = flags;
    devices[i].hwndTarget = target;
  }
  return RegisterRawInputDevices(devices, 2, sizeof(devices[0])) != FALSE;
}

}  // namespace

int StartGamepads(HINSTANCE instance) {
  for (const char* name : XInputLibraries) {
    g_xinput = LoadLibraryA(name);
    if (g_xinput != NULL) break;
  }
  if (g_xinput == NULL) return 0;
  // Through void (*)(), which any function pointer may be cast to and from.
  g_getPadState = reinterpret_cast<GetPadStateCall>(
      reinterpret_cast<void (*)()>(GetProcAddress(g_xinput, "XInputGetState")));
  WNDCLASSEXA padClass;
  ZeroMemory(&padClass, sizeof(padClass));
  padClass.cbSize = sizeof(padClass);
  padClass.lpfnWndProc = PadWindowProc;
  padClass.hInstance = instance;
  padClass.lpszClassName = PadWindowClass;
  g_padInstance = instance;
  if (g_getPadState == NULL || RegisterClassExA(&padClass) == 0) {
    StopGamepads();
    return 0;
  }
  g_padWindow =
      CreateWindowExA(0, PadWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, instance, NULL);
  if (g_padWindow == NULL || !ListenToPads(RIDEV_DEVNOTIFY, g_padWindow)) {
    StopGamepads();
    return 0;
  }
  return 1;
}

void StopGamepads() {
  if (g_padWindow != NULL) {
    ListenToPads(RIDEV_REMOVE, NULL);
    DestroyWindow(g_padWindow);
    g_padWindow = NULL;
  }
  if (g_padInstance != NULL) {
    UnregisterClassA(PadWindowClass, g_padInstance);
    g_padInstance = NULL;
  }
  if (g_xinput != NULL) {
    FreeLibrary(g_xinput);
    g_xinput = NULL;
    g_getPadState = NULL;
  }
  ZeroMemory(g_pads, sizeof(g_pads));
}

void AddGamepadKeys(BYTE keys[256]) {
  if (g_padWindow == NULL) return;
  for (PadButtonsSeen& pad : g_pads) TakePadKeys(pad, keys);
}
