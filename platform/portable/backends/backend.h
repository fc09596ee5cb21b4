// Inside the portable layer: what the Win32 / DirectDraw / DirectInput / GDI
// emulation asks of the backend that shows the display and brings input, and
// what the backend may call back into the layer. Three backends exist: the SDL2
// window (sdl.cpp), the headless one (headless.cpp) and, in the web build
// instead of SDL2, a canvas on a web page (web/backend_web.cpp).
//
// Layer state (windows, messages, surfaces, palette, cursor, devices) lives in
// the layer; a backend never keeps a copy of it beyond one frame.
#ifndef PIXSHOW_PLATFORM_PORTABLE_BACKENDS_BACKEND_H
#define PIXSHOW_PLATFORM_PORTABLE_BACKENDS_BACKEND_H

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace pxport {

// The one display mode there is: 640 x 480 with 8 bits per pixel.
constexpr int kScreenWidth = 640;
constexpr int kScreenHeight = 480;

class Backend {
 public:
  virtual ~Backend() = default;

  // Whether the host display can be used at all (the SDL backend: video
  // initialised). DirectDrawCreateEx fails when it cannot, so that the program
  // stops cleanly instead of drawing into nothing. Safe to call repeatedly.
  virtual bool DisplayAvailable() { return true; }

  // The program created its main window (WS_VISIBLE): open the host window.
  virtual void WindowCreated(int width, int height, const char* title) = 0;
  // The main window was destroyed: close the host window.
  virtual void WindowDestroyed() = 0;

  // The display mode was set / restored.
  virtual void DisplayModeChanged(bool exclusive640x480x8) = 0;

  // Something visible changed (primary surface pixels, a flip, the palette,
  // the cursor). Must not wait for the display: the backend shows the change
  // within one refresh (at the latest at the next Poll or Sleep).
  virtual void Invalidate() = 0;

  // Called from every polling call (PeekMessageA, GetAsyncKeyState, mouse
  // GetDeviceState, SetCursorPos): bring in host events, present if due, and
  // give the processor back for a moment (about a millisecond at most).
  virtual void Poll() = 0;

  // Sleep: pass the time, keep the host window responsive, deliver no
  // messages to the program.
  virtual void Sleep(uint32_t ms) = 0;

  // MsgWaitForMultipleObjects: give the processor back until host input
  // comes or `ms` passed (INFINITE: until input comes), then bring the input
  // in. May return early; the caller looks at what came and waits again.
  virtual void WaitForInput(uint32_t ms) = 0;

  // The program starts waiting for input: the first pass of a polling loop
  // (the first mouse GetDeviceState after a call that is not a polling call,
  // the point where the headless backend reports a wait hold). Its picture
  // is complete: the SDL backend shows it at once.
  virtual void WaitBegins() {}

  // Milliseconds since the backend started (virtual for headless).
  virtual uint64_t NowMs() = 0;

  // The program's OutputDebugStringA: nothing shows it but the web page.
  virtual void DebugOutput(const char*) {}
};

// The backend in use. The SDL2 backend unless the headless one was selected
// (by the control API's Reset, or PIXSHOW_BACKEND=headless in the environment).
Backend& CurrentBackend();

// Called by the program's main(): a display that cannot be opened then ends
// the process with status 2 and one line naming what is missing, instead of
// a window and a display set-up that fail one after the other.
void EndProgramWithoutDisplay();

// Factories, one per backend file.
Backend* CreateSdlBackend();       // sdl.cpp
Backend* CreateHeadlessBackend();  // headless.cpp
Backend* CreateWebBackend();       // web/backend_web.cpp (the web build's host backend)

// --- What a backend may read of the layer ------------------------------------

struct Frame {
  const uint8_t* pixels;  // visible surface, row 0 first; nullptr if none
  int pitch;              // bytes from one row to the next
  int width, height;      // 640 x 480
  PALETTEENTRY palette[256];
  bool cursorShown;
  int cursorX, cursorY;
};
// The visible picture; pixels is valid until the next call into the layer.
Frame CurrentFrame();

// A line of text drawn with TextOutA on the visible picture and still there
// as drawn (no pixel of its box changed since), its box's top-left corner.
struct TextShown {
  int x, y;
  std::string text;
};
// The lines of text on show, in the order they were drawn.
std::vector<TextShown> TextOnScreen();

// Descriptors that may end a wait for input besides the host's own: those of
// the folders the program watches. A backend that sleeps in WaitForInput
// wakes when one of them becomes readable.
std::vector<int> WatchDescriptors();

// --- Input the backend feeds into the layer ---------------------------------
//
// Each change wakes MsgWaitForMultipleObjects (QS_INPUT) and sets the
// notification event of the acquired device it concerns.

void InputMouseMotion(int dx, int dy, int dz);  // relative, host pixels / wheel clicks
void InputMouseButton(int button, bool down);   // 0 left, 1 right, 2 middle, 3 x1;
                                                // a press shows in the next read
void InputMouseClick(int button);               // a press and its release at once
void InputKey(int virtualKey, bool down);       // VK_ESCAPE, VK_RETURN, VK_MENU ...
void InputCloseButton();                        // posts WM_CLOSE to the main window
void InputFocus(bool active);                   // the program's window gets / loses the focus
void InputFolderChanged();  // files of the program's folder were replaced (the page's drop)

}  // namespace pxport

#endif
