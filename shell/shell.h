// The shell: the main window, its window procedure, message pumping, the
// Escape key and the one-line report of a failed start-up step.
#ifndef PIXSHOW_SHELL_SHELL_H
#define PIXSHOW_SHELL_SHELL_H

#include "platform/win32.h"

extern HINSTANCE g_instance;
extern HWND g_mainWindow;
// Set once Escape has been seen; stays set.
extern int g_quitRequested;
// Set by the window procedure when what the display shows may no longer be
// the program's picture: the window was to be painted, the program became
// the active one again, or the display mode changed. Whoever draws the
// screen clears it once the picture stands again.
extern int g_screenNeedsRedraw;

// Exit statuses of the program.
const int ExitPresented = 0;     // the presentation ran (to its end or left by the user)
const int ExitSheetMissing = 1;  // an image sheet could not be opened
const int ExitSetUpFailed = 2;   // window class, window or device set-up failed

// Registers the window class and creates the one 640 x 480 popup window
// (g_mainWindow). 1 on success; 0, with a line on stderr, when a step fails.
int CreateMainWindow(HINSTANCE instance);
LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Tells the user which start-up step failed: one line on stderr. Returns 0,
// the failure result of the set-up routines.
int ReportFailedStep(const char* step);

// Posts WM_CLOSE to the main window and sets g_quitRequested while Escape is down.
void PollEscape();
// 14 passes, each polling Escape then handling at most one waiting message.
void PumpPendingMessages();

#endif
