// DirectInput mouse and keyboard. The mouse gives relative movement and
// button bytes for the program's own cursor; the keyboard gives the viewer's
// keys (Escape is polled through the key state). Each device sets its own
// event when its state changes, so that a wait can sleep until then.
// Gamepads, where the program reads them itself, come as window messages
// (platform/gamepad.h), which wake a wait as well.

#include "shell/shell.h"
#include "devices/devices.h"
#include "platform/gamepad.h"

LPDIRECTINPUT7 g_directInput = NULL;
LPDIRECTINPUTDEVICE7 g_mouseDevice = NULL;
LPDIRECTINPUTDEVICE7 g_keyboardDevice = NULL;
HANDLE g_inputEvents[InputEventCount] = {NULL, NULL};
DIMOUSESTATE g_mouseState;
int g_cursorX = 0;
int g_cursorY = 0;

namespace {

void ReleaseDevice(LPDIRECTINPUTDEVICE7& device) {
  if (device != NULL) {
    device->Unacquire();
    device->Release();
    device = NULL;
  }
}

void CloseInputEvent(HANDLE& event) {
  if (event != NULL) {
    CloseHandle(event);
    event = NULL;
  }
}

// An auto-reset event the device sets on every change of its state.
int NotifyThroughEvent(LPDIRECTINPUTDEVICE7 device, HANDLE& event) {
  event = CreateEventA(NULL, FALSE, FALSE, NULL);
  return event != NULL && SUCCEEDED(device->SetEventNotification(event));
}

}  // namespace

int InitInputDevices() {
  if (FAILED(DirectInputCreateEx(g_instance, DIRECTINPUT_VERSION, IID_IDirectInput7A,
                                 reinterpret_cast<void**>(&g_directInput), NULL))) {
    return ReportFailedStep("create the DirectInput object");
  }

  // The mouse takes its cooperative level first, the keyboard its data format.
  if (FAILED(g_directInput->CreateDeviceEx(GUID_SysMouse, IID_IDirectInputDevice7A,
                                           reinterpret_cast<void**>(&g_mouseDevice), NULL))) {
    return ReportFailedStep("create the mouse device");
  }
  if (FAILED(g_mouseDevice->SetCooperativeLevel(g_mainWindow,
                                                DISCL_BACKGROUND | DISCL_NONEXCLUSIVE))) {
    return ReportFailedStep("set the mouse cooperative level");
  }
  if (FAILED(g_mouseDevice->SetDataFormat(&c_dfDIMouse))) {
    return ReportFailedStep("set the mouse data format");
  }
  if (!NotifyThroughEvent(g_mouseDevice, g_inputEvents[MouseEvent])) {
    return ReportFailedStep("set the mouse event notification");
  }
  g_mouseDevice->Acquire();

  if (FAILED(g_directInput->CreateDeviceEx(GUID_SysKeyboard, IID_IDirectInputDevice7A,
                                           reinterpret_cast<void**>(&g_keyboardDevice), NULL))) {
    return ReportFailedStep("create the keyboard device");
  }
  if (FAILED(g_keyboardDevice->SetDataFormat(&c_dfDIKeyboard))) {
    return ReportFailedStep("set the keyboard data format");
  }
  if (FAILED(g_keyboardDevice->SetCooperativeLevel(g_mainWindow,
                                                   DISCL_FOREGROUND | DISCL_NONEXCLUSIVE))) {
    return ReportFailedStep("set the keyboard cooperative level");
  }
  if (!NotifyThroughEvent(g_keyboardDevice, g_inputEvents[KeyboardEvent])) {
    return ReportFailedStep("set the keyboard event notification");
  }
  g_keyboardDevice->Acquire();
  StartGamepads(g_instance);  // none is no failure

  g_cursorX = 320;
  g_cursorY = 240;
  return 1;
}

void ShutdownInputDevices() {
  StopGamepads();
  ReleaseDevice(g_keyboardDevice);
  CloseInputEvent(g_inputEvents[KeyboardEvent]);
  ReleaseDevice(g_mouseDevice);
  CloseInputEvent(g_inputEvents[MouseEvent]);
  if (g_directInput != NULL) {
    g_directInput->Release();
    g_directInput = NULL;
  }
}
