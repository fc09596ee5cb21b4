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
#include <utility>
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
  int width;            // pens
  int selectedIn;       // number of live DCs holding it
  bool doomed = false;  // deleted while selected: goes when the last DC lets go
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

// --- Kernel objects ---------------------------------------------------------------

// An event (CreateEventA). An auto-reset one lets one wait through per SetEvent.
struct EventObject {
  bool manualReset;
  bool signalled;
};

// A folder watched for changes (FindFirstChangeNotificationA): set while its
// descriptor has changes to read, or the host said the folder changed
// (InputFolderChanged), until FindNextChangeNotification takes them. Owns the
// descriptor (inotify's; -1 where there is none), closed with the object.
struct ChangeWatch {
  int descriptor = -1;
  bool changed = false;
  ChangeWatch() = default;
  explicit ChangeWatch(int fd) : descriptor(fd) {}
  ChangeWatch(ChangeWatch&& other) noexcept : descriptor(other.descriptor), changed(other.changed) {
    other.descriptor = -1;
  }
  ChangeWatch& operator=(ChangeWatch&&) = delete;
  ChangeWatch(const ChangeWatch&) = delete;
  ~ChangeWatch();
};

// An open file (CreateFileA): the descriptor, closed with the handle or the world.
struct FileObject {
  int descriptor = -1;
  DWORD type = FILE_TYPE_UNKNOWN;  // GetFileType's answer
  FileObject() = default;
  FileObject(int fd, DWORD kind) : descriptor(fd), type(kind) {}
  FileObject(FileObject&& other) noexcept : descriptor(other.descriptor), type(other.type) {
    other.descriptor = -1;
  }
  FileObject& operator=(FileObject&&) = delete;
  FileObject(const FileObject&) = delete;
  ~FileObject();
};

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

// A line TextOutA drew into the surface memory `memory`: its box on the
// screen, clipped, and the box's pixels as it left them (TextOnScreen).
struct TextRun {
  const uint8_t* memory;
  long left, top, right, bottom;
  int x, y;
  std::string text;
  std::vector<uint8_t> pixels;
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
  bool lastCallPlain = true;        // the program's last call (not neutral) was a plain one
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

  // Host input taken in so far, keys [0] and mouse [1], and how much of it the
  // message queue had seen at the last PeekMessageA or MsgWaitForMultipleObjects:
  // later input wakes a wait for QS_KEY or QS_MOUSE.
  uint64_t inputCount[2] = {};
  uint64_t inputSeen[2] = {};

  // Events, by handle.
  std::map<uintptr_t, EventObject> events;
  std::map<uintptr_t, ChangeWatch> changeWatches;
  std::map<uintptr_t, FileObject> files;
  uintptr_t nextHandle = 0x100;

  // Whether the program's window is the active one (another program has the
  // focus otherwise: Alt+Tab, pxh::LoseFocus).
  bool focused = true;

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
  std::vector<TextRun> textRuns;  // the last lines drawn, oldest first
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
uint8_t* SurfaceBytes(SurfaceObject* surface);               // current memory, row 0
const PALETTEENTRY* SurfacePalette(SurfaceObject* surface);  // null if none
SurfaceObject* PrimarySurface();
SurfaceObject* SurfaceFromInterface(IDirectDrawSurface7* surface);  // null if not ours / dead
void SurfaceDcReleased(SurfaceObject* surface);
void ReportDirectDrawState(std::vector<std::string>& out);
void ReportDirectInputState(std::vector<std::string>& out);
void ForegroundWindowGone();  // foreground input devices lose acquisition
// The state of the mouse (or the keyboard) changed: acquired devices of that
// kind signal their notification events.
void DeviceStateChanged(bool mouse);
bool EventNotifiesDevice(HANDLE event);  // a live device still sets it
// The program looked at its message queue: the input so far no longer wakes a wait.
void QueueChecked();
// Sets an open event; false when the handle is not one.
bool SignalEvent(HANDLE event);
bool EventOpen(HANDLE event);
// Closes an open file; false when the handle is not one.
bool CloseFile(HANDLE file);
// The exclusive owner of the display loses it (surfaces lost, desktop mode)
// or, back in front, gets the mode back (the surfaces stay lost).
void DisplayFocusChanged(bool focused);

// Another program takes the focus, or the program's window gets it back: the
// display and foreground input go and WM_ACTIVATEAPP is sent; back in front,
// WM_ACTIVATEAPP and WM_PAINT follow and nothing else is restored.
void FocusLost();
void FocusRegained();

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

// --- The opening every entry point shares --------------------------------------------

// One program call, named once: the guard logs it as NAME[@TARGET][ ARGUMENTS],
// refuses it as NAME[@TARGET] followed by the reason, and looks up the faults
// armed for NAME or NAME@TARGET. NAME is "Interface::Method" for COM methods,
// else the function's name.
class Call {
 public:
  // A function's call.
  explicit Call(std::string name, const std::string& arguments = "",
                CallKind kind = CallKind::Plain)
      : Call(std::move(name), "", arguments, kind) {}
  // A call on a target ("@primary", "@mouse").
  Call(std::string name, std::string target, const std::string& arguments, CallKind kind);

  // Records the call as misuse; `why` follows the name (": no result pointer",
  // " on a locked surface").
  void Refuse(const std::string& why) const;
  // Whether an armed fault fires for this call; its code goes to `code`.
  bool Faulted(HRESULT* code = nullptr) const;
  // The code of a fault that fires for this call, else `otherwise`.
  HRESULT Fault(HRESULT otherwise) const;

 private:
  std::string name_;
  std::string target_;
};

// The guard of a COM method: a Call that also checks the object may still be
// used (not released, not left over from an earlier world).
template <class Object>
class MethodCall : public Call {
 public:
  MethodCall(Object* self, const char* method, const std::string& arguments = "",
             CallKind kind = CallKind::Plain)
      : Call(std::string(Object::kInterface) + method, self->Suffix(), arguments, kind),
        self_(self) {}

  // False (and the call refused) when the object is gone.
  bool Usable() const {
    if (self_->Exists()) return true;
    Refuse(Object::kReleased);
    return false;
  }

 private:
  Object* self_;
};

// Base of the layer's COM objects: the reference count and IUnknown.
// `Object` names its interface (kInterface, "IDirectDraw7::"), what a call on
// it after its release says (kReleased), the code such a call returns
// (kGone), its identifier (OwnIid()), and may add Suffix(), Exists() and
// Released(left), which runs after Release took a reference away.
template <class Object, class Interface>
struct ComObject : Interface, LayerObject {
  ULONG refs = 1;

  std::string Suffix() const { return ""; }
  bool Exists() const { return Alive() && refs > 0; }
  void Released(ULONG left) { (void)left; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    MethodCall<Object> call(Self(), "QueryInterface");
    if (!call.Usable()) return Object::kGone;
    if (out == nullptr) return E_POINTER;
    if (riid == Object::OwnIid() || riid == IID_IUnknown) {
      ++refs;
      *out = static_cast<Interface*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    MethodCall<Object> call(Self(), "AddRef");
    if (!call.Usable()) return 0;
    return ++refs;
  }
  ULONG STDMETHODCALLTYPE Release() override {
    MethodCall<Object> call(Self(), "Release");
    if (!call.Usable()) return 0;
    if (refs == 0) {
      call.Refuse(" without a reference of its own");
      return 0;
    }
    const ULONG left = --refs;
    Self()->Released(left);
    return left;
  }

 protected:
  Object* Self() { return static_cast<Object*>(this); }
};

}  // namespace pxport

#endif
