// Presentation: the continue-button wait and the fixed run of screens.
#ifndef PIXSHOW_SHOW_SHOW_H
#define PIXSHOW_SHOW_SHOW_H

#include <vector>

#include "platform/win32.h"
#include "devices/devices.h"

// Holds the screen until mouse button 0 or 1 is pressed with the cursor
// confined to the continue button, then pauses 500 ms (PassPause); or until
// WM_QUIT arrives, which ends the wait or its pause at once. Always 1.
int WaitForContinueClick();

// 1 when the last WaitForContinueClick, or a pause of the presentation since,
// ended because WM_QUIT arrived (the window is gone: Escape or the close
// button), 0 when it ended by a click.
extern int g_waitEndedByQuit;

// Lets `ms` milliseconds pass while serving the window's messages and
// watching Escape: the window answers, and a pause keeps its length. 1 when
// the time is over; 0, with g_waitEndedByQuit set, as soon as WM_QUIT
// arrives (the program is closing).
int PassPause(DWORD ms);

// Plays the eight screens. Always 1.
int RunPresentation();

// How far the presentation has come: the number of holds (pauses and waits)
// it has reached, 0 before the first and after the end.
extern int g_holdsReached;

// Keeps the display showing the presentation as it stands. When the surfaces
// were lost (another program had the display) they are taken back, and then,
// or when the window asked to be painted (g_screenNeedsRedraw), the current
// screen is drawn again exactly as it stood, without its pauses. 1 when the
// display shows the program's picture; 0 while another program has it.
int KeepScreenShown();

// --- The viewer's controls (show/controls.cpp, show/screenshot.cpp) ---

// The screen whose wait the run last reached, 1 to 8 (0 before the first).
extern int g_screenNumber;
// The screen a key asked for (back, Home) or the loop starts again at, 1 to
// 8; 0 when none. The run then stops where it stands and plays on from that
// screen's wait, drawn as if arrived there.
extern int g_screenWanted;

// Reads the keyboard in a wait. Space, Enter, Right and Page Down go on as a
// click does; Left, Page Up and Backspace ask for the previous screen and
// Home for the first (nothing on screen 1); F12 and Print Screen save the
// screen, and the wait goes on. 1 when the wait is to end.
int HandleViewerKeys();
// 1 when --delay is given and has passed since the wait began (GetTickCount).
int DelayIsOver(DWORD waitStartMs);

// Writes the visible screen as pixshow-SCREEN-YYYYMMDD-HHMMSS.png (a suffix
// when the name is taken) in the screenshot folder, created if needed, and
// names it on stderr. 1 when saved; 0, with the reason on stderr, when not.
int SaveScreenshot();
// An 8-bit indexed PNG of `width` x `height` indices (`pitch` bytes a row)
// with `palette` as its colour table, into `png`. Always 1.
int EncodeIndexedPng(const unsigned char* pixels, int width, int height, int pitch,
                     const PALETTEENTRY palette[256], std::vector<unsigned char>& png);

// --- Live reload (show/watch.cpp) ---

// The most handles a wait sleeps on: the input events and the sheets' watch.
const int WaitHandleCount = InputEventCount + 1;
// With --watch, starts watching the current folder, the sheets'; where that
// cannot be, says so in one line and plays on without it (0).
int StartWatchingSheets();
void StopWatchingSheets();
// 1 when the watched folder changed since the last look: the screen is then
// to be drawn again (g_screenNeedsRedraw) and the folder is watched afresh.
int NoteSheetChanges();
// The handles a wait sleeps on, into `handles` (WaitHandleCount at most):
// the input events and, while watching, the sheets' watch. Returns how many.
DWORD CollectWaitHandles(HANDLE* handles);

#endif
