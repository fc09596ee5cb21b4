// DirectInput 7 for the system mouse and keyboard: immediate device state
// only. The mouse reports relative movement since the previous read (lX, lY,
// lZ) and its buttons as 0x80 or 0; the keyboard 256 key bytes by scan code.
#include <algorithm>
#include <cstring>
#include <iterator>

#include "platform/portable/emulation/layer.h"

namespace pxport {

namespace {

// Scan code of a virtual key, for the keyboard's device state.
int ScanCode(int vk) {
  if (vk >= 'A' && vk <= 'Z') {
    static const int kLetters[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17,
                                     0x24, 0x25, 0x26, 0x32, 0x31, 0x18, 0x19, 0x10, 0x13,
                                     0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};
    return kLetters[vk - 'A'];
  }
  if (vk >= '1' && vk <= '9') return 0x02 + (vk - '1');
  if (vk >= VK_F1 && vk <= VK_F10) return DIK_F1 + (vk - VK_F1);
  switch (vk) {
    case '0':
      return DIK_0;
    case VK_ESCAPE:
      return DIK_ESCAPE;
    case VK_RETURN:
      return DIK_RETURN;
    case VK_SPACE:
      return DIK_SPACE;
    case VK_BACK:
      return DIK_BACK;
    case VK_TAB:
      return DIK_TAB;
    case VK_SHIFT:
    case VK_LSHIFT:
      return DIK_LSHIFT;
    case VK_RSHIFT:
      return DIK_RSHIFT;
    case VK_CONTROL:
    case VK_LCONTROL:
      return DIK_LCONTROL;
    case VK_RCONTROL:
      return DIK_RCONTROL;
    case VK_MENU:
    case VK_LMENU:
      return DIK_LMENU;
    case VK_RMENU:
      return DIK_RMENU;
    case VK_F11:
      return DIK_F11;
    case VK_F12:
      return DIK_F12;
    case VK_PAUSE:
      return DIK_PAUSE;
    case VK_SNAPSHOT:
      return DIK_SYSRQ;
    case VK_HOME:
      return DIK_HOME;
    case VK_UP:
      return DIK_UP;
    case VK_PRIOR:
      return DIK_PRIOR;
    case VK_LEFT:
      return DIK_LEFT;
    case VK_RIGHT:
      return DIK_RIGHT;
    case VK_END:
      return DIK_END;
    case VK_DOWN:
      return DIK_DOWN;
    case VK_NEXT:
      return DIK_NEXT;
    case VK_INSERT:
      return DIK_INSERT;
    case VK_DELETE:
      return DIK_DELETE;
    case VK_OEM_2:
      return DIK_SLASH;
    default:
      return -1;
  }
}

}  // namespace

struct InputDevice final : ComObject<InputDevice, IDirectInputDevice7A> {
  static constexpr const char* kInterface = "IDirectInputDevice7::";
  static constexpr const char* kReleased = " on a released device";
  static constexpr HRESULT kGone = E_FAIL;
  static REFIID OwnIid() { return IID_IDirectInputDevice7A; }

  bool mouse = true;
  const DIDATAFORMAT* format = nullptr;
  bool acquired = false;
  DWORD coopFlags = DISCL_BACKGROUND | DISCL_NONEXCLUSIVE;
  HANDLE notify = nullptr;  // the event set when the state changes while acquired

  std::string Suffix() const { return mouse ? "@mouse" : "@keyboard"; }
  void Released(ULONG left) {
    if (left == 0) acquired = false;
  }

  HRESULT STDMETHODCALLTYPE Acquire() override {
    MethodCall call(this, "Acquire", "", CallKind::Neutral);  // a wait may take its mouse back
    if (!call.Usable()) return E_FAIL;
    if (format == nullptr) {
      call.Refuse(" before SetDataFormat");
      return DIERR_INVALIDPARAM;
    }
    HRESULT code = call.Fault(DI_OK);
    if (FAILED(code)) return code;
    // A foreground device is the active window's only; a background one
    // keeps its input whichever window is in front.
    if ((coopFlags & DISCL_FOREGROUND) != 0 &&
        (LookupWindow(W().mainWindow) == nullptr || !W().focused)) {
      return DIERR_OTHERAPPHASPRIO;
    }
    if (acquired) return DI_NOEFFECT;
    acquired = true;
    if (mouse) {
      World& w = W();
      w.mouseDx = w.mouseDy = w.mouseDz = 0;
    }
    return DI_OK;
  }

  HRESULT STDMETHODCALLTYPE Unacquire() override {
    MethodCall call(this, "Unacquire");
    if (!call.Usable()) return E_FAIL;
    HRESULT code = call.Fault(DI_OK);
    if (FAILED(code)) return code;
    if (!acquired) return DI_NOEFFECT;
    acquired = false;
    return DI_OK;
  }

  HRESULT STDMETHODCALLTYPE GetDeviceState(DWORD cbData, LPVOID lpvData) override {
    MethodCall call(this, "GetDeviceState", "", CallKind::Polling);
    if (mouse) {
      PollingCall();
      // The first read of a polling loop is where the program waits.
      if (W().plainSinceMouseRead) {
        W().plainSinceMouseRead = false;
        MaybeWaitHoldFirst();
      }
    }
    if (!call.Usable()) return E_FAIL;
    if (!acquired) return DIERR_NOTACQUIRED;
    if (lpvData == nullptr || format == nullptr || cbData != format->dwDataSize) {
      call.Refuse(": the size is not the data format's");
      return DIERR_INVALIDPARAM;
    }
    HRESULT code = call.Fault(DI_OK);
    if (FAILED(code)) return code;
    World& w = W();
    if (mouse) {
      DIMOUSESTATE state{};
      state.lX = static_cast<LONG>(w.mouseDx);
      state.lY = static_cast<LONG>(w.mouseDy);
      state.lZ = static_cast<LONG>(w.mouseDz);
      w.mouseDx = w.mouseDy = w.mouseDz = 0;
      for (int b = 0; b < 4; ++b) {
        state.rgbButtons[b] = (w.mouseButton[b] || w.clickPending[b]) ? 0x80 : 0;
        w.clickPending[b] = false;
      }
      std::memcpy(lpvData, &state, sizeof state);
    } else {
      uint8_t keys[256] = {};
      for (int vk = 0; vk < 256; ++vk) {
        const int scan = ScanCode(vk);
        if (scan >= 0 && w.keyDown[vk]) keys[scan] = 0x80;
      }
      std::memcpy(lpvData, keys, sizeof keys);
    }
    return DI_OK;
  }

  HRESULT STDMETHODCALLTYPE SetDataFormat(LPCDIDATAFORMAT lpdf) override {
    MethodCall call(this, "SetDataFormat");
    if (!call.Usable()) return E_FAIL;
    const DIDATAFORMAT* expected = mouse ? &c_dfDIMouse : &c_dfDIKeyboard;
    if (lpdf == nullptr || lpdf->dwSize != sizeof(DIDATAFORMAT) ||
        lpdf->dwDataSize != expected->dwDataSize) {
      call.Refuse(": not the device's predefined data format");
      return DIERR_INVALIDPARAM;
    }
    if (acquired) {
      call.Refuse(" while acquired");
      return DIERR_ACQUIRED;
    }
    HRESULT code = call.Fault(DI_OK);
    if (FAILED(code)) return code;
    format = expected;
    return DI_OK;
  }

  // Any handle is taken, at any time, as DirectInput does; one that is not an
  // open event is misuse all the same (it would never be set).
  HRESULT STDMETHODCALLTYPE SetEventNotification(HANDLE hEvent) override {
    MethodCall call(this, "SetEventNotification", hEvent != nullptr ? "event" : "NULL");
    if (!call.Usable()) return E_FAIL;
    if (hEvent != nullptr && !EventOpen(hEvent)) call.Refuse(": not an open event");
    HRESULT code = call.Fault(DI_OK);
    if (FAILED(code)) return code;
    notify = hEvent;
    return DI_OK;
  }

  HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND hwnd, DWORD dwFlags) override {
    MethodCall call(this, "SetCooperativeLevel", std::to_string(dwFlags));
    if (!call.Usable()) return E_FAIL;
    const bool exclusive = (dwFlags & DISCL_EXCLUSIVE) != 0,
               nonexclusive = (dwFlags & DISCL_NONEXCLUSIVE) != 0;
    const bool foreground = (dwFlags & DISCL_FOREGROUND) != 0,
               background = (dwFlags & DISCL_BACKGROUND) != 0;
    if (exclusive == nonexclusive || foreground == background) {
      call.Refuse(": needs one of EXCLUSIVE/NONEXCLUSIVE and one of FOREGROUND/BACKGROUND");
      return DIERR_INVALIDPARAM;
    }
    // Only a background, non-exclusive device does without a window.
    if (hwnd == nullptr ? exclusive || foreground : LookupWindow(hwnd) == nullptr) {
      call.Refuse(": not a window of the program");
      return E_HANDLE;
    }
    if (exclusive && background) return DIERR_UNSUPPORTED;
    if (acquired) {
      call.Refuse(" while acquired");
      return DIERR_ACQUIRED;
    }
    HRESULT code = call.Fault(DI_OK);
    if (FAILED(code)) return code;
    coopFlags = dwFlags;
    return DI_OK;
  }

 private:
  void MaybeWaitHoldFirst() {
    World& w = W();
    CurrentBackend().WaitBegins();
    if (!w.holdCallback) return;
    Hold hold{HoldKind::Wait, 0, CurrentBackend().NowMs()};
    auto callback = w.holdCallback;
    callback(hold);
  }
};

struct DirectInputObject final : ComObject<DirectInputObject, IDirectInput7A> {
  static constexpr const char* kInterface = "IDirectInput7::";
  static constexpr const char* kReleased = " on a released DirectInput object";
  static constexpr HRESULT kGone = E_FAIL;
  static REFIID OwnIid() { return IID_IDirectInput7A; }

  HRESULT STDMETHODCALLTYPE CreateDeviceEx(REFGUID rguid, REFIID riid, LPVOID* pvOut,
                                           LPUNKNOWN lpUnknownOuter) override {
    const bool isMouse = rguid == GUID_SysMouse, isKeyboard = rguid == GUID_SysKeyboard;
    const std::string suffix = isMouse ? "@mouse" : isKeyboard ? "@keyboard" : "";
    // Logged and refused under the device it makes.
    Call call(std::string(kInterface) + "CreateDeviceEx", suffix, "", CallKind::Plain);
    if (!Exists()) {
      call.Refuse(kReleased);
      return kGone;
    }
    if (pvOut == nullptr) {
      call.Refuse(": no result pointer");
      return DIERR_INVALIDPARAM;
    }
    *pvOut = nullptr;
    if (lpUnknownOuter != nullptr) return DIERR_NOAGGREGATION;
    if (riid != IID_IDirectInputDevice7A) {
      call.Refuse(": the interface must be IID_IDirectInputDevice7A");
      return DIERR_NOINTERFACE;
    }
    if (!isMouse && !isKeyboard) return DIERR_DEVICENOTREG;
    HRESULT code = DI_OK;
    if (call.Faulted(&code)) return code;
    InputDevice* device = new InputDevice;
    device->mouse = isMouse;
    W().devices.push_back(device);
    *pvOut = static_cast<IDirectInputDevice7A*>(device);
    return DI_OK;
  }
};

void ForegroundWindowGone() {
  for (InputDevice* device : W().devices) {
    if (device->Alive() && device->acquired && (device->coopFlags & DISCL_FOREGROUND) != 0) {
      device->acquired = false;
      // Losing acquisition is a change of state too.
      if (device->notify != nullptr) SignalEvent(device->notify);
    }
  }
}

void DeviceStateChanged(bool mouse) {
  for (InputDevice* device : W().devices) {
    if (device->Exists() && device->mouse == mouse && device->acquired && device->notify != nullptr)
      SignalEvent(device->notify);
  }
}

bool EventNotifiesDevice(HANDLE event) {
  for (InputDevice* device : W().devices)
    if (device->Exists() && device->notify == event) return true;
  return false;
}

void ReportDirectInputState(std::vector<std::string>& out) {
  for (LayerObject* object : W().directInputs) {
    auto* input = static_cast<DirectInputObject*>(object);
    if (input->Alive() && input->refs > 0) {
      out.push_back("IDirectInput7 not released (" + std::to_string(input->refs) +
                    " reference(s) left)");
    }
  }
  for (InputDevice* device : W().devices) {
    if (device->Alive() && device->refs > 0) {
      out.push_back("IDirectInputDevice7" + device->Suffix() + " not released (" +
                    std::to_string(device->refs) + " reference(s) left)");
    }
  }
}

}  // namespace pxport

using namespace pxport;

extern "C" HRESULT WINAPI DirectInputCreateEx(HINSTANCE hinst, DWORD dwVersion, REFIID riidltf,
                                              LPVOID* ppvOut, LPUNKNOWN punkOuter) {
  Call call("DirectInputCreateEx");
  if (ppvOut == nullptr) {
    call.Refuse(": no result pointer");
    return DIERR_INVALIDPARAM;
  }
  *ppvOut = nullptr;
  if (punkOuter != nullptr) return DIERR_NOAGGREGATION;
  if (riidltf != IID_IDirectInput7A) {
    call.Refuse(": the interface must be IID_IDirectInput7A");
    return DIERR_NOINTERFACE;
  }
  if (hinst == nullptr) {
    call.Refuse(": no module instance");
    return DIERR_INVALIDPARAM;
  }
  // The versions DirectInput 3 to 7 shipped as; later ones are DirectInput 8's.
  static const DWORD kVersions[] = {0x0300, 0x0500, 0x050A, 0x05B2, 0x0602, 0x061A, 0x0700};
  if (dwVersion == 0) return DIERR_NOTINITIALIZED;
  if (dwVersion > 0x0700) return DIERR_OLDDIRECTINPUTVERSION;
  if (std::find(std::begin(kVersions), std::end(kVersions), dwVersion) == std::end(kVersions)) {
    return DIERR_BETADIRECTINPUTVERSION;
  }
  HRESULT code = DI_OK;
  if (call.Faulted(&code)) return code;
  DirectInputObject* input = new DirectInputObject;
  W().directInputs.push_back(input);
  *ppvOut = static_cast<IDirectInput7A*>(input);
  return DI_OK;
}
