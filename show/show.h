// Presentation: the continue-button wait and the fixed run of screens.
#ifndef PIXSHOW_SHOW_SHOW_H
#define PIXSHOW_SHOW_SHOW_H

#include <cstdint>
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
// F12 and Print Screen save the screen, F9 starts or stops a recording, P
// pauses or resumes the slideshow,
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
// The recording's mark: shown (drawn at once) or taken away for good; and,
// in a pause, put on at its start and taken off at its end, before the
// script draws on.
void ShowRecordingMark(int shown);
void PutRecordingMarkOn();
void TakeRecordingMarkOff();
// Puts the kept pixels into a copy of the visible surface (`pitch` bytes a
// row), where overlays cover it: the picture without them, for screenshots
// and recordings.
void CoverOverlays(unsigned char* pixels, int pitch);

// Writes the visible screen as pixshow-SCREEN-YYYYMMDD-HHMMSS.png (a suffix
// when the name is taken) in the screenshot folder, created if needed, and
// names it on stderr. 1 when saved; 0, with the reason on stderr, when not.
int SaveScreenshot();
// Makes the screenshot folder when needed and a new file in it,
// pixshow-SCREEN-YYYYMMDD-HHMMSS plus `extension`, with a suffix when the
// name is taken: never over a file, nor through a link. The file, open for
// writing, its path in *path and its name in *name; INVALID_HANDLE_VALUE with
// what could not be made (in "FOLDER", "PATH", NAME*) in *what and why in *why.
HANDLE CreateShotFile(const char* extension, std::string* path, std::string* name,
                      std::string* what, std::string* why);
// A failed open or write in words.
std::string FileErrorText(DWORD error);
// An 8-bit indexed PNG of `width` x `height` indices (`pitch` bytes a row)
// with `palette` as its colour table, into `png`. Always 1.
int EncodeIndexedPng(const unsigned char* pixels, int width, int height, int pitch,
                     const PALETTEENTRY palette[256], std::vector<unsigned char>& png);

// --- Recordings (show/recording.cpp, show/gif.cpp) ---

// F9: starts recording what is shown into pixshow-SCREEN-YYYYMMDD-HHMMSS.gif
// in the screenshot folder (a suffix when the name is taken, never over a
// file), or stops and saves it; a note says which, or why not. While it
// records a mark is shown, which is never in the recording nor a screenshot.
void ToggleRecording();
int RecordingOn();
// Before the program sleeps (in a wait or a pause): the picture on show
// becomes the recording's next frame from now when it differs from the last
// one. Nothing when not recording; never a wake-up of its own. A recording
// given up in a pause (the disk full) is said in a note at the next wait.
void RecordShownPicture(int inWait);
// The run ends (or the program closes): a recording under way is saved,
// said on standard error only; the display is not touched.
void StopRecording();

// One picture of the screen: palette indices and the palette's colours.
struct ScreenFrame {
  unsigned char pixels[480][640];
  unsigned char rgb[256][3];
};
// Where a GIF's bytes go: 1 when all `length` bytes were written.
typedef int (*GifOutput)(void* context, const unsigned char* bytes, int length);
// An animated GIF under way (show/gif.cpp, giflib): pictures in, frames out
// as they come; it keeps two pictures, never the whole recording.
struct GifRecording;
// Why this build cannot write GIFs; empty when it can.
std::string GifUnavailable();
// A GIF of the pictures enlarged `scale` times (1 to 8) that loops for ever,
// into `output`. NULL, with the reason, when giflib cannot start one.
GifRecording* StartGif(GifOutput output, void* context, int scale, std::string* why);
// `picture` is on show from `startMs` for `lengthMs` of the recording; the
// calls come in order, one straight after the other. 1, or 0 with the reason.
int AddGifPicture(GifRecording* gif, const ScreenFrame& picture, std::uint64_t startMs,
                  std::uint64_t lengthMs, std::string* why);
// Writes the last frame and the end of the file and frees `gif`. 1, or 0
// with the reason.
int FinishGif(GifRecording* gif, std::string* why);
// Frees `gif` (NULL too) without finishing it.
void DiscardGif(GifRecording* gif);

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
