// Presentation: the continue-button wait and the fixed run of screens.
#ifndef PIXSHOW_SHOW_SHOW_H
#define PIXSHOW_SHOW_SHOW_H

#include <string>
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
// click does; Left, Page Up and Backspace ask for the previous screen, Home
// for the first and 1 to 8 for that screen (nothing for the screen shown);
// F12 and Print Screen save the screen, P pauses or resumes the slideshow,
// F1 and ? (the key, shifted or not) show or hide the keys' help, as Escape
// hides it; the wait goes on. 1 when the wait is to end.
int HandleViewerKeys();
// The mouse wheel in a wait (DIMOUSESTATE's lZ): turned down (towards the
// user) it goes on as a click does, up it asks for the previous screen (the
// wait passes only a turn made while it waits). 1 when the wait is to end.
int HandleWheel(LONG turn);
// --delay: the count starts with each wait, or again where P resumes it;
// DelayTimeLeft is INFINITE without --delay or while paused. P's pause lasts
// until P again (ResetSlideshow: not paused, at the start of a run).
void StartDelayCount();
DWORD DelayTimeLeft();
void ResetSlideshow();

// --- Over the picture in a wait (show/overlay.cpp) ---
// The keys' help and a note, each over a band of rows whose pixels are kept
// and put back when it goes. Neither is ever in a screenshot nor outside a
// wait: the palette and the picture are left exactly as they were.

// Nothing shown (the start of a run).
void ResetOverlays();
// Shows the help, or takes it away. Shown, it stays over every wait until
// F1, ? or Escape; meanwhile Escape closes only the help.
void ToggleKeysHelp();
int KeysHelpShown();
// One line at the top of the screen for a few seconds, or until the wait ends.
void ShowNote(const std::string& text);
// Milliseconds until the note goes; INFINITE when there is none.
DWORD NoteTimeLeft();
// In a wait, with the display the program's: draws what is to be shown and
// is not yet on screen, and takes away a note whose time is over.
void PutOverlaysOn();
// The wait ends: the picture as it was, the note gone (the help stays
// asked for, to come back at the next wait).
void TakeOverlaysOff();
// The surfaces were drawn anew: nothing of an overlay is on them.
void ForgetOverlaysDrawn();
// Puts the kept pixels into a copy of the visible surface (`pitch` bytes a
// row), where overlays cover it: the picture without them, for screenshots
// and recordings.
void CoverOverlays(unsigned char* pixels, int pitch);

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
