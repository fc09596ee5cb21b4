// Inside the portable layer: the one place where all emulated platform state
// lives (windows, message queue, cursor, keys, DirectDraw and DirectInput
// objects, GDI objects), plus the bookkeeping every entry point shares: the
// call log, fault injection, the misuse report, hold points and the clock.
//
// Everything here belongs to one "world". ResetWorld() starts a new world;
// COM objects of an earlier world stay allocated (so stale pointers held by a
// program never dangle) but are marked dead and refuse every call.
#ifndef PIXSHOW_PLATFORM_PORTABLE_EMULATION_LAYER_H
#define PIXSHOW_PLATFORM_PORTABLE_EMULATION_LAYER_H

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/portable/backends/backend.h"
#include "platform/portable/emulation/hold.h"
#include "platform/win32.h"

namespace pxport {

constexpr int kPitch = 704;  // wider than a row on purpose

// Base of every object the layer hands out. Objects are never freed: a
// program may still hold a pointer after releasing it or after a reset, and a
// call through it must be refused, not crash. Forget() frees the bulky parts
// (pixel memory) once the object is gone.
struct LayerObject {
  uint32_t generation;
  LayerObject();
  virtual ~LayerObject() = default;
  virtual void Forget() {}
  bool Alive() const;  // belongs to the current world
};

// --- DirectDraw objects -------------------------------------------------------

struct DirectDrawObject;
struct PaletteObject;
struct FlipChain;
struct SurfaceObject;

// 640 x 480 bytes of palette indices, kPitch bytes per row.
struct PixelBuffer {
  std::vector<uint8_t> bytes;
  PixelBuffer() : bytes(static_cast<size_t>(kPitch) * kScreenHeight, 0) {}
  uint8_t* Row(int y) { return bytes.data() + static_cast<size_t>(y) * kPitch; }
};

// --- GDI --------------------------------------------------------------------------

enum class GdiKind { Pen, Brush, Font };

struct GdiObject {
  GdiKind kind;
  bool stock;
  bool nullObject;  // NULL_PEN, NULL_BRUSH
  COLORREF color;
  int width;        // pens
  int selectedIn;   // number of live DCs holding it
};

struct DeviceContext {
  SurfaceObject* surface;  // null for a window DC (BeginPaint)
  HWND window;
  COLORREF textColor;
  COLORREF bkColor;
  int bkMode;
  HGDIOBJ pen;
  HGDIOBJ brush;
  HGDIOBJ font;
};

// --- Windows ----------------------------------------------------------------------

struct WindowClass {
  std::string name;
  WNDPROC proc;
  UINT style;
  ATOM atom;
};

struct Window {
  WNDPROC proc;
  DWORD style;
  std::string title;
  int x, y, width, height;
  bool alive;
  bool needsPaint;
  bool main;
};

// --- DirectInput ------------------------------------------------------------------

struct InputDevice;

// --- The world --------------------------------------------------------------------

struct FaultRule {
  std::string operation;
  HRESULT code;
  int count;  // < 0: forever
  int skip;
};

struct TimedAction {
  uint64_t atMs;
  uint64_t order;
  std::function<void()> action;
};

struct World {
  uint32_t generation = 1;
  uint64_t nowUs = 0;  // the headless clock

  // Log, faults, misuse.
  std::vector<std::string> callLog;
  std::vector<FaultRule> faults;
  std::vector<std::string> refusals;
  bool logging = false;

  // Hold points and timed actions (headless).
  std::function<void(const Hold&)> holdCallback;
  bool plainSinceMouseRead = true;  // a non-polling call since the last mouse read
  int dispatchDepth = 0;
  std::vector<TimedAction> timedActions;
  uint64_t timedOrder = 0;

  // Windows and messages.
  std::vector<WindowClass> classes;
  std::map<uintptr_t, Window> windows;
  uintptr_t nextWindow = 0x10010;
  HWND mainWindow = nullptr;
  std::deque<MSG> queue;
  bool quitPending = false;
  int quitCode = 0;
  DWORD lastError = 0;
  int paintDepth = 0;

  // Cursor and keys.
  int cursorX = kScreenWidth / 2, cursorY = kScreenHeight / 2;
  int cursorCount = 0;
  bool clipped = false;
  RECT clip = {0, 0, 0, 0};
  bool keyDown[256] = {};
  bool keyPressedSince[256] = {};

  // Mouse as DirectInput sees it.
  long mouseDx = 0, mouseDy = 0, mouseDz = 0;
  bool mouseButton[4] = {};
  bool clickPending[4] = {};

  // DirectDraw.
  std::vector<DirectDrawObject*> directDraws;
  FlipChain* chain = nullptr;  // the primary flip chain, if any
  bool modeSet = false;

  // DirectInput.
  std::vector<InputDevice*> devices;
  std::vector<LayerObject*> directInputs;

  // GDI.
  std::map<uintptr_t, GdiObject> gdiObjects;
  std::map<uintptr_t, DeviceContext> dcs;
  uintptr_t nextGdi = 0x20100;
};

World& W();


// --- Shared bookkeeping --------------------------------------------------------

// How a call counts for the hold point of polling loops: a plain call ends a
// polling loop, a polling call continues it, a neutral call does neither.
enum class CallKind { Plain, Polling, Neutral };

// Records a program call (when logging) and notes what kind of call it was.
void LogCall(const std::string& entry, CallKind kind = CallKind::Plain);
// An armed fault for `operation` (with optional `@suffix`): returns true and
// sets `code` when this call must fail.
bool FaultFires(const std::string& operation, const std::string& suffix, HRESULT* code);
// A call refused because the program used the platform wrongly.
void Refuse(const std::string& what);

// The polling step shared by PeekMessageA, GetAsyncKeyState, SetCursorPos and
// the mouse's GetDeviceState.
void PollingCall();

// Moves the system cursor, confined to the clip rectangle and the screen.
void PlaceCursor(long x, long y);

// Nearest palette entry to a colour (the lowest index on a tie).
uint8_t NearestIndex(const PALETTEENTRY* palette, COLORREF color);

// Window helpers shared by USER32 and the input functions.
Window* LookupWindow(HWND hwnd);
void PostToQueue(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// DirectDraw helpers used by GDI and the headless controls.
uint8_t* SurfaceBytes(SurfaceObject* surface);  // current memory, row 0
const PALETTEENTRY* SurfacePalette(SurfaceObject* surface);  // null if none
SurfaceObject* PrimarySurface();
SurfaceObject* SurfaceFromInterface(IDirectDrawSurface7* surface);  // null if not ours / dead
void SurfaceDcReleased(SurfaceObject* surface);
void ReportDirectDrawState(std::vector<std::string>& out);
void ReportDirectInputState(std::vector<std::string>& out);
void ForegroundWindowGone();  // foreground input devices lose acquisition

// GDI helpers.
HDC CreateSurfaceDc(SurfaceObject* surface);
HDC CreateWindowDc(HWND window);
void ReleaseDc(HDC hdc);
void ReportGdiState(std::vector<std::string>& out);

// Forgets the world's objects (marks COM objects dead) and starts afresh.
void ResetWorld();

// Headless clock, driven by the headless backend: advances W().nowUs and
// runs the timed actions that fall due on the way.
void AdvanceClockUs(uint64_t us);
bool HeadlessActive();
void SelectHeadless();

std::string HandleText(const void* handle);

// IUnknown's answers, shared by the layer's COM objects. `self` has a
// reference count `refs` and `Usable(method)`, which refuses calls on a
// released object; callers log the call under their own name first.
template <class Object, class Interface>
HRESULT QueryOwnInterface(Object* self, Interface* asInterface, REFIID own, REFIID riid, void** out,
                          HRESULT whenReleased) {
  if (!self->Usable("QueryInterface")) return whenReleased;
  if (out == nullptr) return E_POINTER;
  if (riid == own || riid == IID_IUnknown) {
    ++self->refs;
    *out = asInterface;
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

template <class Object>
ULONG AddOwnReference(Object* self) {
  if (!self->Usable("AddRef")) return 0;
  return ++self->refs;
}

}  // namespace pxport

#endif
