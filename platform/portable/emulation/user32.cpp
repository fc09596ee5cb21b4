// USER32 and KERNEL32 for one thread: window classes, windows, the message
// queue, painting, the cursor, the asynchronous key state, Sleep and time.
//
// Input never becomes window messages here: the program reads the mouse
// through DirectInput and keys through GetAsyncKeyState.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/portable/emulation/layer.h"

namespace pxport {

namespace {

const HINSTANCE kModule = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x400000));

// Fixed handles for the system's icons and cursors.
uintptr_t SystemResource(LPCSTR name, uintptr_t base) {
  if (!IS_INTRESOURCE(name)) return 0;
  const uintptr_t id = reinterpret_cast<uintptr_t>(name);
  if (id < 32512 || id > 32700) return 0;
  return base + id;
}

std::string Text(const char* s) { return s != nullptr ? s : "(null)"; }

LRESULT SendToWindow(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* window = LookupWindow(hwnd);
  if (window == nullptr || window->proc == nullptr) return 0;
  World& w = W();
  ++w.dispatchDepth;
  const uint32_t generation = w.generation;
  LRESULT result = window->proc(hwnd, message, wParam, lParam);
  if (W().generation == generation) --W().dispatchDepth;
  return result;
}

bool MatchesFilter(const MSG& msg, HWND hwnd, UINT low, UINT high) {
  if (hwnd == reinterpret_cast<HWND>(static_cast<intptr_t>(-1))) {
    if (msg.hwnd != nullptr) return false;
  } else if (hwnd != nullptr && msg.hwnd != hwnd) {
    return false;
  }
  if (low == 0 && high == 0) return true;
  return msg.message >= low && msg.message <= high;
}

void Stamp(MSG* msg) {
  msg->time = static_cast<DWORD>(CurrentBackend().NowMs());
  msg->pt.x = W().cursorX;
  msg->pt.y = W().cursorY;
}

bool DoDestroyWindow(HWND hwnd) {
  Window* window = LookupWindow(hwnd);
  if (window == nullptr) return false;
  const bool wasMain = window->main;
  SendToWindow(hwnd, WM_DESTROY, 0, 0);
  if (LookupWindow(hwnd) == nullptr) return true;  // destroyed meanwhile
  SendToWindow(hwnd, WM_NCDESTROY, 0, 0);
  window = LookupWindow(hwnd);
  if (window == nullptr) return true;
  window->alive = false;
  World& w = W();
  // Messages posted to a destroyed window are discarded.
  w.queue.erase(
      std::remove_if(w.queue.begin(), w.queue.end(), [&](const MSG& m) { return m.hwnd == hwnd; }),
      w.queue.end());
  if (wasMain) {
    ForegroundWindowGone();
    CurrentBackend().WindowDestroyed();
  }
  return true;
}

}  // namespace

Window* LookupWindow(HWND hwnd) {
  auto it = W().windows.find(reinterpret_cast<uintptr_t>(hwnd));
  if (it == W().windows.end() || !it->second.alive) return nullptr;
  return &it->second;
}

void PostToQueue(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  MSG msg{};
  msg.hwnd = hwnd;
  msg.message = message;
  msg.wParam = wParam;
  msg.lParam = lParam;
  Stamp(&msg);
  W().queue.push_back(msg);
}

void FocusLost() {
  World& w = W();
  if (!w.focused) return;
  w.focused = false;
  DisplayFocusChanged(false);
  ForegroundWindowGone();
  if (LookupWindow(w.mainWindow) != nullptr) PostToQueue(w.mainWindow, WM_ACTIVATEAPP, FALSE, 0);
}

void FocusRegained() {
  World& w = W();
  if (w.focused) return;
  w.focused = true;
  DisplayFocusChanged(true);
  Window* window = LookupWindow(w.mainWindow);
  if (window == nullptr) return;
  PostToQueue(w.mainWindow, WM_ACTIVATEAPP, TRUE, 0);
  window->needsPaint = true;  // shown again: painted again
}

}  // namespace pxport

using namespace pxport;

#ifndef _WIN32  // see "Functions" in include/windows.h
extern "C" {
#endif

// --- KERNEL32 ------------------------------------------------------------------------

void WINAPI Sleep(DWORD dwMilliseconds) {
  Call call("Sleep", std::to_string(dwMilliseconds));
  World& w = W();
  if (w.holdCallback) {
    Hold hold{HoldKind::Pause, dwMilliseconds, CurrentBackend().NowMs()};
    auto callback = w.holdCallback;
    callback(hold);
  }
  CurrentBackend().Sleep(dwMilliseconds);
}

DWORD WINAPI GetTickCount(void) { return static_cast<DWORD>(CurrentBackend().NowMs()); }

// What a debugger would show goes to the backend (the web page reads it).
void WINAPI OutputDebugStringA(LPCSTR lpOutputString) {
  const std::string text = lpOutputString != nullptr ? lpOutputString : "";
  Call call("OutputDebugStringA", "\"" + text + "\"", CallKind::Neutral);
  CurrentBackend().DebugOutput(text.c_str());
}

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
  return lpModuleName == nullptr ? kModule : nullptr;
}

DWORD WINAPI GetLastError(void) { return W().lastError; }

BOOL WINAPI SetCurrentDirectoryA(LPCSTR lpPathName) {
  Call call("SetCurrentDirectoryA", Text(lpPathName));
  World& w = W();
  if (lpPathName == nullptr || *lpPathName == '\0') {
    w.lastError = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  if (call.Faulted()) return FALSE;
  if (chdir(lpPathName) == 0) return TRUE;
  switch (errno) {
    case ENOENT:
      w.lastError = ERROR_FILE_NOT_FOUND;
      break;
    case ENOTDIR:
      w.lastError = ERROR_DIRECTORY;
      break;
    case EACCES:
      w.lastError = ERROR_ACCESS_DENIED;
      break;
    default:
      w.lastError = ERROR_PATH_NOT_FOUND;
      break;
  }
  return FALSE;
}

// The program's own file; the length copied, or nSize (truncated, with the
// terminator) when the buffer is too small, as Windows answers.
DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
  World& w = W();
  if (hModule != nullptr && hModule != kModule) {
    w.lastError = ERROR_INVALID_PARAMETER;
    return 0;
  }
  char path[4096];
#ifdef _WIN32  // the tools' headless build on Windows: no program file of its own
  const long length = 0;
  (void)path;
#else
  const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
#endif
  if (length <= 0) {
    w.lastError = ERROR_FILE_NOT_FOUND;
    return 0;
  }
  if (lpFilename == nullptr || nSize == 0) {
    w.lastError = ERROR_INSUFFICIENT_BUFFER;
    return 0;
  }
  const DWORD whole = static_cast<DWORD>(length);
  const DWORD copied = std::min(whole, nSize - 1);
  std::memcpy(lpFilename, path, copied);
  lpFilename[copied] = '\0';
  if (copied < whole) {
    w.lastError = ERROR_INSUFFICIENT_BUFFER;
    return nSize;
  }
  return copied;
}

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) {
  World& w = W();
  struct stat st;
  if (lpFileName == nullptr || *lpFileName == '\0' || stat(lpFileName, &st) != 0) {
    w.lastError =
        lpFileName != nullptr && errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND;
    return INVALID_FILE_ATTRIBUTES;
  }
  return S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

BOOL WINAPI SetEnvironmentVariableA(LPCSTR lpName, LPCSTR lpValue) {
  if (lpName == nullptr || *lpName == '\0' || std::strchr(lpName, '=') != nullptr) {
    W().lastError = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
#ifdef _WIN32  // the tools' headless build on Windows: an empty value removes
  return _putenv_s(lpName, lpValue != nullptr ? lpValue : "") == 0;
#else
  return (lpValue != nullptr ? setenv(lpName, lpValue, 1) : unsetenv(lpName)) == 0;
#endif
}

// --- Classes and windows ----------------------------------------------------------------

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* wc) {
  Call call("RegisterClassExA", (wc != nullptr ? Text(wc->lpszClassName) : "(null)"));
  World& w = W();
  if (wc == nullptr || wc->cbSize != sizeof(WNDCLASSEXA)) {
    call.Refuse(": missing record or cbSize is not sizeof(WNDCLASSEXA)");
    w.lastError = ERROR_INVALID_PARAMETER;
    return 0;
  }
  if (wc->lpszClassName == nullptr || IS_INTRESOURCE(wc->lpszClassName) ||
      wc->lpfnWndProc == nullptr) {
    call.Refuse(": no class name or no window procedure");
    w.lastError = ERROR_INVALID_PARAMETER;
    return 0;
  }
  if (call.Faulted()) return 0;
  for (const WindowClass& c : w.classes) {
    if (strcasecmp(c.name.c_str(), wc->lpszClassName) == 0) {
      w.lastError = ERROR_CLASS_ALREADY_EXISTS;
      return 0;
    }
  }
  const ATOM atom = static_cast<ATOM>(0xC000 + w.classes.size());
  w.classes.push_back(WindowClass{wc->lpszClassName, wc->lpfnWndProc, wc->style, atom});
  return atom;
}

HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle,
                            int X, int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                            HINSTANCE hInstance, LPVOID lpParam) {
  (void)dwExStyle;
  (void)hMenu;
  (void)hInstance;
  const bool byAtom = IS_INTRESOURCE(lpClassName);
  Call call("CreateWindowExA", (byAtom ? std::string("#") : Text(lpClassName)) + " " +
                                   std::to_string(nWidth) + "x" + std::to_string(nHeight));
  World& w = W();
  const WindowClass* cls = nullptr;
  for (const WindowClass& c : w.classes) {
    if (byAtom ? c.atom == reinterpret_cast<uintptr_t>(lpClassName)
               : (lpClassName != nullptr && strcasecmp(c.name.c_str(), lpClassName) == 0)) {
      cls = &c;
    }
  }
  if (cls == nullptr) {
    w.lastError = ERROR_CANNOT_FIND_WND_CLASS;
    return nullptr;
  }
  if (hWndParent != nullptr && LookupWindow(hWndParent) == nullptr) {
    w.lastError = ERROR_INVALID_WINDOW_HANDLE;
    return nullptr;
  }
  if (call.Faulted()) return nullptr;

  const HWND hwnd = reinterpret_cast<HWND>(w.nextWindow);
  w.nextWindow += 0x10;
  Window window{};
  window.proc = cls->proc;
  window.style = dwStyle;
  window.title = lpWindowName != nullptr ? lpWindowName : "";
  window.x = X;
  window.y = Y;
  window.width = nWidth;
  window.height = nHeight;
  window.alive = true;
  window.needsPaint = (dwStyle & WS_VISIBLE) != 0;
  window.main =
      (w.mainWindow == nullptr || LookupWindow(w.mainWindow) == nullptr) && hWndParent == nullptr;
  w.windows[reinterpret_cast<uintptr_t>(hwnd)] = window;
  if (window.main) w.mainWindow = hwnd;

  const uint32_t generation = w.generation;
  // The creation messages, sent straight to the window procedure.
  if (SendToWindow(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(lpParam)) == 0 ||
      W().generation != generation) {
    if (W().generation == generation) {
      Window* created = LookupWindow(hwnd);
      if (created != nullptr) created->alive = false;
    }
    return nullptr;
  }
  if (SendToWindow(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(lpParam)) == -1 ||
      W().generation != generation) {
    if (W().generation == generation) DoDestroyWindow(hwnd);
    return nullptr;
  }
  Window* created = LookupWindow(hwnd);
  if (created == nullptr) return nullptr;
  if (created->main && (dwStyle & WS_VISIBLE) != 0) {
    CurrentBackend().WindowCreated(nWidth, nHeight, created->title.c_str());
  }
  return hwnd;
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
  Call call("DestroyWindow");
  if (LookupWindow(hWnd) == nullptr) {
    W().lastError = ERROR_INVALID_WINDOW_HANDLE;
    return FALSE;
  }
  return DoDestroyWindow(hWnd) ? TRUE : FALSE;
}

LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  (void)wParam;
  (void)lParam;
  Call call("DefWindowProcA", std::to_string(Msg), CallKind::Neutral);
  switch (Msg) {
    case WM_NCCREATE:
      return TRUE;
    case WM_CLOSE:
      // The default answer to a close request: the window is destroyed.
      LogCall("DestroyWindow", CallKind::Neutral);
      DoDestroyWindow(hWnd);
      return 0;
    case WM_PAINT: {
      Window* window = LookupWindow(hWnd);
      if (window != nullptr) window->needsPaint = false;
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    default:
      return 0;
  }
}

// --- Messages ---------------------------------------------------------------------

void WINAPI PostQuitMessage(int nExitCode) {
  Call call("PostQuitMessage", std::to_string(nExitCode), CallKind::Neutral);
  W().quitPending = true;
  W().quitCode = nExitCode;
}

BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                         UINT wRemoveMsg) {
  Call call("PeekMessageA", "", CallKind::Polling);
  PollingCall();
  World& w = W();
  if (lpMsg == nullptr) {
    call.Refuse(": no message record");
    return FALSE;
  }
  if (call.Faulted()) return FALSE;
  QueueChecked();
  const bool remove = (wRemoveMsg & PM_REMOVE) != 0;
  for (auto it = w.queue.begin(); it != w.queue.end(); ++it) {
    if (!MatchesFilter(*it, hWnd, wMsgFilterMin, wMsgFilterMax)) continue;
    *lpMsg = *it;
    if (remove) w.queue.erase(it);
    return TRUE;
  }
  // The quit request comes after every posted message.
  if (w.quitPending &&
      (hWnd == nullptr || hWnd == reinterpret_cast<HWND>(static_cast<intptr_t>(-1))) &&
      ((wMsgFilterMin == 0 && wMsgFilterMax == 0) ||
       (WM_QUIT >= wMsgFilterMin && WM_QUIT <= wMsgFilterMax))) {
    std::memset(lpMsg, 0, sizeof *lpMsg);
    lpMsg->message = WM_QUIT;
    lpMsg->wParam = static_cast<WPARAM>(w.quitCode);
    Stamp(lpMsg);
    if (remove) w.quitPending = false;
    return TRUE;
  }
  // Then a paint request of a window whose content needs drawing.
  if ((wMsgFilterMin == 0 && wMsgFilterMax == 0) ||
      (WM_PAINT >= wMsgFilterMin && WM_PAINT <= wMsgFilterMax)) {
    for (auto& [handle, window] : w.windows) {
      const HWND hwnd = reinterpret_cast<HWND>(handle);
      if (!window.alive || !window.needsPaint) continue;
      if (hWnd != nullptr && hWnd != hwnd) continue;
      std::memset(lpMsg, 0, sizeof *lpMsg);
      lpMsg->hwnd = hwnd;
      lpMsg->message = WM_PAINT;
      Stamp(lpMsg);
      return TRUE;
    }
  }
  return FALSE;
}

BOOL WINAPI TranslateMessage(const MSG* lpMsg) {
  Call call("TranslateMessage", "", CallKind::Polling);
  if (lpMsg == nullptr) return FALSE;
  return (lpMsg->message == WM_KEYDOWN || lpMsg->message == WM_SYSKEYDOWN) ? TRUE : FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG* lpMsg) {
  Call call("DispatchMessageA", lpMsg != nullptr ? std::to_string(lpMsg->message) : "",
            CallKind::Polling);
  if (lpMsg == nullptr) {
    call.Refuse(": no message record");
    return 0;
  }
  if (lpMsg->hwnd == nullptr || LookupWindow(lpMsg->hwnd) == nullptr) return 0;
  const MSG msg = *lpMsg;
  return SendToWindow(msg.hwnd, msg.message, msg.wParam, msg.lParam);
}

BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  Call call("PostMessageA", std::to_string(Msg), CallKind::Neutral);
  if (hWnd != nullptr && LookupWindow(hWnd) == nullptr) {
    W().lastError = ERROR_INVALID_WINDOW_HANDLE;
    return FALSE;
  }
  if (call.Faulted()) return FALSE;
  PostToQueue(hWnd, Msg, wParam, lParam);
  return TRUE;
}

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  Call call("SendMessageA", std::to_string(Msg), CallKind::Neutral);
  if (LookupWindow(hWnd) == nullptr) {
    W().lastError = ERROR_INVALID_WINDOW_HANDLE;
    return 0;
  }
  return SendToWindow(hWnd, Msg, wParam, lParam);
}

// --- Painting ----------------------------------------------------------------------

HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
  Call call("BeginPaint", "", CallKind::Neutral);
  Window* window = LookupWindow(hWnd);
  if (window == nullptr || lpPaint == nullptr) {
    call.Refuse(": no window or no paint record");
    return nullptr;
  }
  if (call.Faulted()) return nullptr;
  window->needsPaint = false;
  std::memset(lpPaint, 0, sizeof *lpPaint);
  lpPaint->hdc = CreateWindowDc(hWnd);
  lpPaint->rcPaint = RECT{0, 0, window->width, window->height};
  ++W().paintDepth;
  return lpPaint->hdc;
}

BOOL WINAPI EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint) {
  Call call("EndPaint", "", CallKind::Neutral);
  if (lpPaint == nullptr || LookupWindow(hWnd) == nullptr) {
    call.Refuse(": no window or no paint record");
    return FALSE;
  }
  if (W().dcs.count(reinterpret_cast<uintptr_t>(lpPaint->hdc)) == 0) {
    call.Refuse(": the paint record's device context is not one from BeginPaint");
    return FALSE;
  }
  ReleaseDc(lpPaint->hdc);
  if (W().paintDepth > 0) --W().paintDepth;
  return TRUE;
}

HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName) {
  Call call("LoadIconA");
  if (hInstance != nullptr || call.Faulted()) return nullptr;
  return reinterpret_cast<HICON>(SystemResource(lpIconName, 0x30000));
}

HCURSOR WINAPI LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName) {
  Call call("LoadCursorA");
  if (hInstance != nullptr || call.Faulted()) return nullptr;
  return reinterpret_cast<HCURSOR>(SystemResource(lpCursorName, 0x40000));
}

// --- Cursor and keys ------------------------------------------------------------------

int WINAPI ShowCursor(BOOL bShow) {
  Call call("ShowCursor", (bShow ? "1" : "0"));
  World& w = W();
  const bool wasShown = w.cursorCount >= 0;
  w.cursorCount += bShow ? 1 : -1;
  if (wasShown != (w.cursorCount >= 0)) CurrentBackend().Invalidate();
  return w.cursorCount;
}

BOOL WINAPI SetCursorPos(int X, int Y) {
  Call call("SetCursorPos", std::to_string(X) + "," + std::to_string(Y), CallKind::Polling);
  PollingCall();
  if (call.Faulted()) return FALSE;
  PlaceCursor(X, Y);
  return TRUE;
}

BOOL WINAPI GetCursorPos(LPPOINT lpPoint) {
  Call call("GetCursorPos", "", CallKind::Polling);
  if (lpPoint == nullptr) return FALSE;
  lpPoint->x = W().cursorX;
  lpPoint->y = W().cursorY;
  return TRUE;
}

BOOL WINAPI ClipCursor(const RECT* lpRect) {
  Call call("ClipCursor", lpRect == nullptr
                              ? std::string("NULL")
                              : std::to_string(lpRect->left) + "," + std::to_string(lpRect->top) +
                                    "," + std::to_string(lpRect->right) + "," +
                                    std::to_string(lpRect->bottom));
  if (call.Faulted()) return FALSE;
  World& w = W();
  if (lpRect == nullptr) {
    w.clipped = false;
    return TRUE;
  }
  // An inverted rectangle is refused and the clip in force stays; an empty
  // one holds the cursor on a point.
  if (lpRect->left > lpRect->right || lpRect->top > lpRect->bottom) {
    call.Refuse(": an inverted rectangle");
    w.lastError = ERROR_ACCESS_DENIED;
    return FALSE;
  }
  // The rectangle is kept inside the screen.
  RECT r = *lpRect;
  r.left = std::clamp<LONG>(r.left, 0, kScreenWidth - 1);
  r.top = std::clamp<LONG>(r.top, 0, kScreenHeight - 1);
  r.right = std::clamp<LONG>(r.right, r.left + 1, kScreenWidth);
  r.bottom = std::clamp<LONG>(r.bottom, r.top + 1, kScreenHeight);
  w.clipped = true;
  w.clip = r;
  PlaceCursor(w.cursorX, w.cursorY);
  return TRUE;
}

SHORT WINAPI GetAsyncKeyState(int vKey) {
  Call call("GetAsyncKeyState", std::to_string(vKey), CallKind::Polling);
  PollingCall();
  if (vKey < 0 || vKey > 255) return 0;
  World& w = W();
  unsigned value = w.keyDown[vKey] ? 0x8000u : 0u;
  if (w.keyPressedSince[vKey]) value |= 1u;
  w.keyPressedSince[vKey] = false;
  return static_cast<SHORT>(static_cast<int16_t>(static_cast<uint16_t>(value)));
}

#ifndef _WIN32
}  // extern "C"
#endif
