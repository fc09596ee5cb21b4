// The shell: the command line, the main window, its window procedure, message pumping, the
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
const int ExitPresented = 0;       // the presentation ran (to its end or left by the user)
const int ExitSheetMissing = 1;    // an image sheet could not be opened
const int ExitSetUpFailed = 2;     // window class, window or device set-up failed
const int ExitBadCommandLine = 2;  // an unknown option, or a FOLDER that cannot be entered
// HandleCommandLine's answer when the presentation is to be played.
const int StartPresentation = -1;

// The viewer's options, as the command line set them (the defaults play the
// presentation as it always plays).
extern int g_startScreen;  // --screen N: the screen whose wait the run starts at, 1..8
extern DWORD g_delayMs;    // --delay SECONDS: a wait ends on its own after this; 0 never
extern int g_loopShow;     // --loop: after screen 8 the presentation starts again
extern int g_watchSheets;  // --watch: the screen is drawn again when a sheet changes
extern char g_screenshotFolder[4096];  // --screenshot-dir DIR, absolute; empty: the default

// WinMain's command line, `[OPTIONS] [FOLDER]`, `--help` or `--version`: prints the help
// or the version and returns ExitPresented; for an unknown option, a second
// FOLDER, a bad option value or a FOLDER that cannot be entered writes one
// line on stderr and returns ExitBadCommandLine; otherwise sets the viewer's
// options, passes --window, --fullscreen and --scale on to the platform layer
// (PIXSHOW_WINDOWED, PIXSHOW_SCALE), makes FOLDER (when given) the current folder and returns
// StartPresentation. Touches neither window nor display.
int HandleCommandLine(const char* commandLine);
// Copies the next argument of a Windows command line into `argument` (at
// most size - 1 characters; *tooLong set when it had more), split and
// unquoted as the C runtime does. Returns the position after the argument,
// or NULL when none is left.
const char* ReadArgument(const char* cursor, char* argument, int size, int* tooLong);

// Set by HandleCommandLine when a FOLDER was named.
extern int g_folderNamed;
const int MaxPathSize = 4096;
// Without a named FOLDER, when the current folder holds none of the sheets,
// makes the sample art that came with the program the current folder and
// says so in one line on stderr: 1 then, else 0.
int PlaySampleArtIfNoSheets(const char* const* sheetNames, int sheetCount);
// When the current folder lacks sheets, or holds them under other capitals,
// says so in one line on stderr, naming the folder: 1 then, else 0. The
// presentation still plays, up to the first sheet it cannot open.
int ReportMissingSheets(const char* const* sheetNames, int sheetCount);
// The folder of the sample art for the program at programPath: the first of
// its own folder, sample/ in it and share/pixshow/sample beside it that holds
// every sheet. 1 with the folder in `folder` (at most size bytes), else 0.
int FindSampleFolder(const char* programPath, const char* const* sheetNames, int sheetCount,
                     char* folder, int size);

// Registers the window class and creates the one 640 x 480 popup window
// (g_mainWindow). 1 on success; 0, with a line on stderr, when a step fails.
int CreateMainWindow(HINSTANCE instance);
LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Tells the user which start-up step failed: one line on stderr. Returns 0,
// the failure result of the set-up routines.
int ReportFailedStep(const char* step);

// Posts WM_CLOSE to the main window and sets g_quitRequested while Escape is
// down (GetAsyncKeyState), noting in g_escapeDown what it read; not while
// Escape belongs to an overlay (below).
void PollEscape();
extern int g_escapeDown;
// The same for Escape seen down by other means: its WM_KEYDOWN, which the
// window procedure passes here. A press always leaves that message in the
// queue, while the key state PollEscape samples can miss it: a press already
// released when the program looks, or, under Wine while DirectInput's
// keyboard hook holds the key back, a state read in the very call that takes
// the key in, which answers with the state from before it.
void EscapeDown();
// Set by the presentation while something on screen is closed by Escape:
// Escape is then one of its keys, read with the others through DirectInput.
extern int g_escapeClosesOverlay;
// Set by the presentation when Escape closed an overlay; cleared once both
// the keyboard and the key state show it released. Escape does not end the
// run meanwhile (the press that closed the overlay is still held).
extern int g_escapeHeldForOverlay;
// 14 passes, each polling Escape then handling at most one waiting message.
void PumpPendingMessages();

#endif
