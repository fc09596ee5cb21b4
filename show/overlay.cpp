// What the viewer shows over the picture: in a wait the keys' help (F1, ?)
// and a short note (a screenshot saved or not, the slideshow paused), and,
// in waits and pauses alike, a small mark while a recording runs. Each
// covers a rectangle (the help and the note whole rows); the pixels under it
// are kept when it is drawn and put back when it goes, so the picture is then
// exactly as it was. The palette is never touched: black and white are
// entries 0 and 255, which the script never changes. A screenshot and a
// recording take the kept pixels for what an overlay covers (CoverOverlays).
#include <cstring>
#include <string>
#include <vector>

#include "shell/shell.h"
#include "devices/devices.h"
#include "raster/raster.h"
#include "show/show.h"

namespace {

const COLORREF White = 0xffffff;
const unsigned char BlackIndex = 0;
const unsigned char WhiteIndex = 255;
const int ScreenWidth = 640;
const int LineHeight = 20;
const DWORD NoteShownMs = 4000;

const char* const HelpLines[] = {
    "Keys",
    "Click NEXT at the bottom right, or Space, Enter, Right,",
    "Page Down or the wheel down: on to the next screen",
    "Left, Page Up, Backspace or the wheel up: the one before",
    "Home: the first screen       1 to 8: that screen",
    "P: pause or resume the slideshow (--delay)",
    "F12 or Print Screen: save the screen as a PNG",
    "F9: record what is shown as a GIF, until F9 again",
#ifndef _WIN32
    "Alt+Enter: full screen or a window     + or -: the scale",
    "Gamepad: A, Start, R: on   B, L: back   Back: the first",
#endif
    "F1 or ?: this help on and off     Escape: close it",
    "Escape (with the help closed) or Alt+F4: leave",
};
const int HelpLineCount = sizeof(HelpLines) / sizeof(HelpLines[0]);

struct Overlay {
  int top, bottom;                   // the rows it covers, bottom excluded
  int left, right;                   // the columns, right excluded
  int shown;                         // is to be on screen in a wait
  int drawn;                         // is on screen, `under` kept
  std::vector<unsigned char> under;  // the covered rows as they were
};

Overlay g_help = {40, 40 + (HelpLineCount + 1) * LineHeight, 0, ScreenWidth, 0, 0, {}};
Overlay g_note = {0, LineHeight + 4, 0, ScreenWidth, 0, 0, {}};
// Bottom left, clear of the note, the help and the continue button.
Overlay g_mark = {480 - LineHeight - 8, 480 - 4, 4, 52, 0, 0, {}};
std::string g_noteText;
DWORD g_noteFromMs = 0;

// Keeps the pixels under `overlay` and blackens them with a white line below,
// on the locked primary surface. 0 when the surface cannot be locked.
int Cover(Overlay& overlay) {
  if (FAILED(g_primarySurface->Lock(NULL, &g_surfaceDesc, DDLOCK_WAIT, NULL))) return 0;
  unsigned char* surface = static_cast<unsigned char*>(g_surfaceDesc.lpSurface);
  const LONG pitch = g_surfaceDesc.lPitch;
  const int width = overlay.right - overlay.left;
  overlay.under.resize(static_cast<size_t>(overlay.bottom - overlay.top) * width);
  for (int y = overlay.top; y < overlay.bottom; y++) {
    unsigned char* row = surface + y * pitch + overlay.left;
    std::memcpy(&overlay.under[(y - overlay.top) * width], row, width);
    std::memset(row, y == overlay.bottom - 1 ? WhiteIndex : BlackIndex, width);
  }
  g_primarySurface->Unlock(NULL);
  overlay.drawn = 1;
  return 1;
}

void Draw(Overlay& overlay) {
  if (overlay.drawn || !overlay.shown || !Cover(overlay)) return;
  if (&overlay == &g_help) {
    for (int line = 0; line < HelpLineCount; line++)
      DrawTextOpaque(HelpLines[line], line == 0 ? 290 : 40, g_help.top + 6 + line * LineHeight,
                     White, g_primarySurface);
  } else if (&overlay == &g_note) {
    DrawTextOpaque(g_noteText.c_str(), 8, g_note.top + 2, White, g_primarySurface);
  } else {
    DrawTextOpaque("REC", g_mark.left + 8, g_mark.top + 2, White, g_primarySurface);
  }
}

// Puts the kept rows back. A surface that cannot be locked now (the display
// is another program's) is drawn again whole when it comes back.
void Uncover(Overlay& overlay) {
  if (!overlay.drawn) return;
  overlay.drawn = 0;
  if (FAILED(g_primarySurface->Lock(NULL, &g_surfaceDesc, DDLOCK_WAIT, NULL))) return;
  unsigned char* surface = static_cast<unsigned char*>(g_surfaceDesc.lpSurface);
  const int width = overlay.right - overlay.left;
  for (int y = overlay.top; y < overlay.bottom; y++)
    std::memcpy(surface + y * g_surfaceDesc.lPitch + overlay.left,
                &overlay.under[(y - overlay.top) * width], width);
  g_primarySurface->Unlock(NULL);
}

void SetEscapeUse() { g_escapeClosesOverlay = g_help.drawn; }

}  // namespace

void ResetOverlays() {
  g_help.shown = g_help.drawn = g_note.shown = g_note.drawn = 0;
  g_mark.shown = g_mark.drawn = 0;
  g_escapeClosesOverlay = g_escapeForOverlay = 0;
}

void ToggleKeysHelp() {
  g_help.shown = !g_help.shown;
  if (g_help.shown)
    Draw(g_help);
  else
    Uncover(g_help);
  SetEscapeUse();
}

int KeysHelpShown() { return g_help.shown; }

void ShowNote(const std::string& text) {
  Uncover(g_note);
  g_noteText = text;
  g_noteFromMs = GetTickCount();
  g_note.shown = 1;
  Draw(g_note);
}

DWORD NoteTimeLeft() {
  if (!g_note.shown) return INFINITE;
  const DWORD passed = GetTickCount() - g_noteFromMs;
  return passed < NoteShownMs ? NoteShownMs - passed : 0;
}

void PutOverlaysOn() {
  if (g_note.shown && NoteTimeLeft() == 0) {
    g_note.shown = 0;
    Uncover(g_note);
  }
  Draw(g_help);
  Draw(g_note);
  Draw(g_mark);
  SetEscapeUse();
}

void ShowRecordingMark(int shown) {
  g_mark.shown = shown;
  if (shown)
    Draw(g_mark);
  else
    Uncover(g_mark);
}

void PutRecordingMarkOn() { Draw(g_mark); }

void TakeRecordingMarkOff() { Uncover(g_mark); }

void TakeOverlaysOff() {
  Uncover(g_mark);
  Uncover(g_note);
  Uncover(g_help);
  g_note.shown = 0;  // a note is about the wait it came in
  g_escapeClosesOverlay = 0;
}

void ForgetOverlaysDrawn() {
  g_help.drawn = g_note.drawn = g_mark.drawn = 0;
  g_escapeClosesOverlay = 0;
}

void CoverOverlays(unsigned char* pixels, int pitch) {
  for (const Overlay* overlay : {&g_help, &g_note, &g_mark}) {
    if (!overlay->drawn) continue;
    const int width = overlay->right - overlay->left;
    for (int y = overlay->top; y < overlay->bottom; y++)
      std::memcpy(pixels + y * pitch + overlay->left, &overlay->under[(y - overlay->top) * width],
                  width);
  }
}
