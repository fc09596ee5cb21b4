// Temporary placeholders so that the layer links while it is being written.
#include "platform/portable/backend.h"
#include "platform/portable/headless.h"

extern "C" {
void WINAPI Sleep(DWORD) {}
DWORD WINAPI GetTickCount(void) { return 0; }
HMODULE WINAPI GetModuleHandleA(LPCSTR) { return NULL; }
DWORD WINAPI GetLastError(void) { return 0; }
void WINAPI SetLastError(DWORD) {}
ATOM WINAPI RegisterClassExA(const WNDCLASSEXA*) { return 0; }
BOOL WINAPI UnregisterClassA(LPCSTR, HINSTANCE) { return FALSE; }
HWND WINAPI CreateWindowExA(DWORD, LPCSTR, LPCSTR, DWORD, int, int, int, int, HWND, HMENU, HINSTANCE, LPVOID) {
  return NULL;
}
BOOL WINAPI DestroyWindow(HWND) { return FALSE; }
BOOL WINAPI IsWindow(HWND) { return FALSE; }
LRESULT WINAPI DefWindowProcA(HWND, UINT, WPARAM, LPARAM) { return 0; }
void WINAPI PostQuitMessage(int) {}
BOOL WINAPI PeekMessageA(LPMSG, HWND, UINT, UINT, UINT) { return FALSE; }
BOOL WINAPI TranslateMessage(const MSG*) { return FALSE; }
LRESULT WINAPI DispatchMessageA(const MSG*) { return 0; }
BOOL WINAPI PostMessageA(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
LRESULT WINAPI SendMessageA(HWND, UINT, WPARAM, LPARAM) { return 0; }
HDC WINAPI BeginPaint(HWND, LPPAINTSTRUCT) { return NULL; }
BOOL WINAPI EndPaint(HWND, const PAINTSTRUCT*) { return TRUE; }
HICON WINAPI LoadIconA(HINSTANCE, LPCSTR) { return NULL; }
HCURSOR WINAPI LoadCursorA(HINSTANCE, LPCSTR) { return NULL; }
int WINAPI ShowCursor(BOOL) { return 0; }
BOOL WINAPI SetCursorPos(int, int) { return FALSE; }
BOOL WINAPI GetCursorPos(LPPOINT) { return FALSE; }
BOOL WINAPI ClipCursor(const RECT*) { return FALSE; }
BOOL WINAPI GetClipCursor(LPRECT) { return FALSE; }
SHORT WINAPI GetAsyncKeyState(int) { return 0; }
HGDIOBJ WINAPI GetStockObject(int) { return NULL; }
COLORREF WINAPI SetTextColor(HDC, COLORREF) { return CLR_INVALID; }
COLORREF WINAPI SetBkColor(HDC, COLORREF) { return CLR_INVALID; }
int WINAPI SetBkMode(HDC, int) { return 0; }
BOOL WINAPI TextOutA(HDC, int, int, LPCSTR, int) { return FALSE; }
HPEN WINAPI CreatePen(int, int, COLORREF) { return NULL; }
HBRUSH WINAPI CreateSolidBrush(COLORREF) { return NULL; }
HGDIOBJ WINAPI SelectObject(HDC, HGDIOBJ) { return NULL; }
BOOL WINAPI DeleteObject(HGDIOBJ) { return FALSE; }
BOOL WINAPI Rectangle(HDC, int, int, int, int) { return FALSE; }
HRESULT WINAPI DirectDrawCreateEx(GUID*, LPVOID* out, REFIID, IUnknown*) {
  if (out) *out = NULL;
  return DDERR_GENERIC;
}
HRESULT WINAPI DirectInputCreateEx(HINSTANCE, DWORD, REFIID, LPVOID* out, LPUNKNOWN) {
  if (out) *out = NULL;
  return DIERR_GENERIC;
}
}

namespace pxport {
namespace {
class NullBackend final : public Backend {
 public:
  void WindowCreated(int, int, const char*) override {}
  void WindowDestroyed() override {}
  void DisplayModeChanged(bool) override {}
  void Invalidate() override {}
  void Poll() override {}
  void Sleep(uint32_t) override {}
  uint64_t NowMs() override { return 0; }
};
}  // namespace
Backend& CurrentBackend() {
  static NullBackend backend;
  return backend;
}
Backend* CreateHeadlessBackend() { return new NullBackend; }
Frame CurrentFrame() {
  Frame f{};
  f.width = 640;
  f.height = 480;
  return f;
}
void InputMouseMotion(int, int, int) {}
void InputMouseButton(int, bool) {}
void InputKey(int, bool) {}
void InputCloseButton() {}
}  // namespace pxport

namespace pxh {
void Reset() {}
uint64_t NowMs() { return 0; }
void At(uint64_t, std::function<void()>) {}
void MoveMouse(int, int, int) {}
void SetMouseButton(int, bool) {}
void Click(int) {}
void SetKey(int, bool) {}
void PressCloseButton() {}
void OnHold(std::function<void(const Hold&)>) {}
bool ReadScreen(Screen&) { return false; }
bool ReadSurface(IDirectDrawSurface7*, uint8_t[kScreenHeight][kScreenWidth]) { return false; }
bool WriteSurface(IDirectDrawSurface7*, const uint8_t[kScreenHeight][kScreenWidth]) { return false; }
int SurfacePitch() { return 704; }
CursorInfo Cursor() { return CursorInfo{}; }
bool DisplayModeSet() { return false; }
bool WindowExists() { return false; }
void InjectFault(const std::string&, HRESULT, int, int) {}
void ClearFaults() {}
std::vector<std::string> MisuseReport() { return {}; }
const std::vector<std::string>& CallLog() {
  static std::vector<std::string> log;
  return log;
}
void ClearCallLog() {}
}  // namespace pxh
