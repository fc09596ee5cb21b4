// Control of the portable layer's headless backend, for tests and tools.
//
// The headless backend has no window and no real time: a virtual clock that
// Sleep advances at once and every polling call advances a little, scripted
// input, the visible screen readable at any moment, a callback at every hold
// point, fault injection with the platform's own error codes, and a report of
// misuse (leaked locks, device contexts, GDI and COM objects, display mode not
// restored, calls the platform refuses).
//
// Nothing here is used by the program itself: only tests and tools include it.
#ifndef PIXSHOW_PLATFORM_PORTABLE_CONTROL_HEADLESS_H
#define PIXSHOW_PLATFORM_PORTABLE_CONTROL_HEADLESS_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/portable/backends/backend.h"
#include "platform/portable/emulation/hold.h"
#include "platform/win32.h"

namespace pxh {

// Selects the headless backend and starts a fresh world: virtual time 0, no
// window, no class, no DirectX object, no input pending, no fault armed, an
// empty misuse report, cursor counter 0 at (320, 240), no clip. Objects left
// over from an earlier world are forgotten (not reported). Call at the start
// of every test and before a tool runs the program.
void Reset();

// --- Virtual clock ---------------------------------------------------------

// Milliseconds since Reset.
uint64_t NowMs();

// Runs `action` once, the first time the virtual clock reaches `atMs` (checked
// at every Sleep, polling call and clock step; a Sleep that passes the time
// runs the action at that moment of the pause).
void At(uint64_t atMs, std::function<void()> action);

// --- Scripted input --------------------------------------------------------
//
// Input reaches the program through DirectInput and GetAsyncKeyState only; it
// never becomes window messages. Mouse movement also moves the system cursor
// (within its confinement).

// Relative mouse movement, added to what the next mouse GetDeviceState reports.
void MoveMouse(int dx, int dy, int dz = 0);
// Holds (down = true) or releases mouse button 0..3. A press shows in the
// next mouse GetDeviceState even if the button is released before it.
void SetMouseButton(int button, bool down);
// Button 0 down for exactly the next mouse GetDeviceState, up afterwards.
void Click(int button = 0);
// Holds or releases a key, by virtual-key code (VK_ESCAPE, ...).
void SetKey(int virtualKey, bool down);
// The user presses the main window's close button: WM_CLOSE is posted to it.
void PressCloseButton();

// --- Focus -----------------------------------------------------------------
//
// Another program takes the focus (Alt+Tab), as on Windows: the exclusive
// full-screen display goes to it (the flip chain is lost: DDERR_SURFACELOST
// from Lock, Blt, Flip, GetDC, GetAttachedSurface and IsLost; Restore
// answers DDERR_WRONGMODE, RestoreAllSurfaces DD_OK with the surfaces still
// lost; TestCooperativeLevel answers
// DDERR_NOEXCLUSIVEMODE; the desktop mode returns), foreground input devices
// are unacquired (Acquire answers DIERR_OTHERAPPHASPRIO; background devices
// keep their input) and WM_ACTIVATEAPP (FALSE) is sent to the main window.
void LoseFocus();
// The program's window is the active one again: the display mode comes back
// and TestCooperativeLevel answers DD_OK, WM_ACTIVATEAPP (TRUE) and WM_PAINT
// come; the surfaces stay lost until Restore or RestoreAllSurfaces (which
// leave their memory black) and foreground devices until Acquire.
void RegainFocus();
bool HasFocus();

// --- Hold points -----------------------------------------------------------

using pxport::Hold;
using pxport::HoldKind;

// Called at the start of every Sleep (before the clock advances), of every
// timed MsgWaitForMultipleObjects on no objects that follows a plain call (a
// pause that serves messages; its later sleeps, after polling calls, go on
// with it) and on the first pass of every polling loop: the first mouse
// GetDeviceState after any call that is not a polling call (PeekMessageA,
// TranslateMessage, DispatchMessageA, MsgWaitForMultipleObjects,
// GetAsyncKeyState, SetCursorPos, GetCursorPos, GetDeviceState), before the
// state is read, so the callback may
// still script a click for it. Calls made by the window procedure inside
// DispatchMessageA, and PostMessageA, SendMessageA, DefWindowProcA,
// PostQuitMessage, BeginPaint, EndPaint, a device's Acquire, a surface's
// IsLost and TestCooperativeLevel, neither end nor continue a polling loop.
// Pass an empty function to remove the callback.
void OnHold(std::function<void(const Hold&)> callback);

// --- The screen ------------------------------------------------------------

struct Screen {
  uint8_t pixels[pxport::kScreenHeight][pxport::kScreenWidth];  // palette indices
  PALETTEENTRY palette[256];                                    // the palette in force
};

// What the display shows now: the primary surface's memory (the cursor is not
// drawn) and the palette attached to it. False when there is no primary surface.
bool ReadScreen(Screen& out);

// The memory behind a surface interface, 640 x 480 indices, read or written
// without a lock (tests only: preparing and inspecting surfaces).
bool ReadSurface(IDirectDrawSurface7* surface,
                 uint8_t out[pxport::kScreenHeight][pxport::kScreenWidth]);
bool WriteSurface(IDirectDrawSurface7* surface,
                  const uint8_t in[pxport::kScreenHeight][pxport::kScreenWidth]);

// Pitch of the surfaces the layer creates (larger than 640 on purpose).
int SurfacePitch();

// Cursor as the layer keeps it: position, display counter, confinement.
struct CursorInfo {
  int x, y;
  int displayCount;  // shown while >= 0
  bool clipped;
  RECT clip;
};
CursorInfo Cursor();

// Whether the display mode is switched (SetDisplayMode done, not yet restored).
bool DisplayModeSet();

// Whether the main window exists (created and not destroyed).
bool WindowExists();

// --- Fault injection -------------------------------------------------------

// Makes an operation fail with `code`. Operation names are "Interface::Method"
// as in the headers ("IDirectDraw7::SetDisplayMode", "IDirectDrawSurface7::Lock",
// "IDirectDrawSurface7::Flip", "IDirectDrawSurface7::GetDC",
// "IDirectInputDevice7::GetDeviceState", ...) or a plain function name
// ("DirectDrawCreateEx", "DirectInputCreateEx", "RegisterClassExA",
// "CreateWindowExA"). A suffix narrows the target: "@primary" or "@back" for
// a surface interface, "@mouse" or "@keyboard" for a device, and for
// IDirectInput7::CreateDeviceEx the device being created.
// The first `skip` matching calls succeed, then `count` calls fail (count < 0:
// every later call). For functions that return a handle or BOOL rather than an
// HRESULT, failing means returning 0 / NULL; `code` is then ignored.
// A failed call has no effect, except Unlock and ReleaseDC: the lock or the
// device context ends anyway, as when the surface is lost. A fault is not
// misuse: it never shows in MisuseReport().
void InjectFault(const std::string& operation, HRESULT code, int count = 1, int skip = 0);
void ClearFaults();

// --- Misuse report ---------------------------------------------------------

// One line per problem: surfaces still locked, DCs not released, GDI objects
// not deleted or deleted while selected, COM objects not released, display
// mode not restored, and every call the layer refused as misuse (a second
// Lock, GetDC on a locked surface, a wrong record size, ...). Empty when the
// program used the platform cleanly. Usually read after the program's
// teardown; it reports the state at the moment of the call.
std::vector<std::string> MisuseReport();

// --- Call log --------------------------------------------------------------

// Every platform call the program made since Reset, in order, as
// "Interface::Method" or the function name, with a short argument summary
// after a space where useful (e.g. "IDirectDrawSurface7::Lock@back",
// "Sleep 2000", "IDirectDrawPalette::SetEntries 4"). Tests use it to check call orders.
//
// Format: NAME[@TARGET][ ARGUMENTS]
//   NAME      "IDirectDraw7::M", "IDirectDrawSurface7::M", "IDirectDrawPalette::M",
//             "IDirectInput7::M", "IDirectInputDevice7::M" for COM methods (M the
//             method, AddRef and Release included), else the function's name.
//   @TARGET   "@primary" / "@back" on every surface method, "@mouse" /
//             "@keyboard" on every device method and on CreateDeviceEx.
//   ARGUMENTS (numbers in decimal unless shown as 0x...):
//     Sleep MS                         ShowCursor 1|0
//     MsgWaitForMultipleObjects [N objects ]MS|INFINITE
//     SetCursorPos X,Y                 ClipCursor L,T,R,B | ClipCursor NULL
//     GetAsyncKeyState VK              PostMessageA MSG, SendMessageA MSG
//     DispatchMessageA MSG             DefWindowProcA MSG, PostQuitMessage CODE
//     RegisterClassExA CLASS           CreateWindowExA CLASS WxH
//     GetStockObject N                 SetTextColor 0xBBGGRR, SetBkColor 0xBBGGRR
//     SetBkMode 1|2                    TextOutA X,Y "TEXT"
//     CreatePen STYLE,WIDTH,0xBBGGRR   CreateSolidBrush 0xBBGGRR
//     SelectObject 0xHANDLE            DeleteObject 0xHANDLE
//     Rectangle L,T,R,B                IDirectDraw7::SetCooperativeLevel FLAGS
//     IDirectDraw7::SetDisplayMode W,H,BPP
//     IDirectDrawPalette::SetEntries FIRST[,COUNT]   (COUNT shown when not 1)
//     IDirectDrawPalette::GetEntries FIRST
//     IDirectDrawSurface7::Blt@T fill INDEX         (colour fills)
//     IDirectInputDevice7::SetCooperativeLevel@T FLAGS
//   Every other call has no arguments ("PeekMessageA", "TranslateMessage",
//   "IDirectDrawSurface7::Flip@primary", "IDirectDraw7::Release", ...).
// Only calls made while the headless backend is in use are recorded, and at
// most a million of them: then one last entry "(call log full)" ends the log.
// "DestroyWindow" also appears when DefWindowProcA destroys a window on WM_CLOSE.
const std::vector<std::string>& CallLog();
void ClearCallLog();

}  // namespace pxh

#endif
