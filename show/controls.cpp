// The viewer's keys in a wait, read through the DirectInput keyboard: on,
// back, the first screen, a screen by its number, a screenshot, a recording,
// the keys' help, the slideshow paused; and the mouse wheel. And --delay, which ends a
// wait on its own. The screens they lead to are played by the presentation's
// own replay.
#include <cstring>
#include <string>

#include "shell/shell.h"
#include "devices/devices.h"
#include "show/show.h"

int g_screenNumber = 0;
int g_screenWanted = 0;

namespace {

// The keys as the last read found them: a key counts once, when it goes down.
BYTE g_keysBefore[256];

int IsNextKey(int key) {
  return key == DIK_SPACE || key == DIK_RETURN || key == DIK_NUMPADENTER || key == DIK_RIGHT ||
         key == DIK_NEXT;
}

int IsBackKey(int key) { return key == DIK_LEFT || key == DIK_PRIOR || key == DIK_BACK; }

// The slideshow's count: from the wait's start, or from where P resumed it.
DWORD g_delayFromMs = 0;
int g_delayPaused = 0;

// Asks for screen `screen` when it is another than the one shown. 1 then.
int GoToScreen(int screen) {
  if (screen < 1 || screen == g_screenNumber) return 0;
  g_screenWanted = screen;
  return 1;
}

void ToggleSlideshow() {
  if (g_delayMs == 0) {
    ShowNote("No slideshow to pause: --delay starts one");
    return;
  }
  g_delayPaused = !g_delayPaused;
  g_delayFromMs = GetTickCount();
  ShowNote(g_delayPaused ? "Slideshow paused (P goes on)" : "Slideshow goes on");
}

}  // namespace

int HandleViewerKeys() {
  BYTE keys[256];
  if (FAILED(g_keyboardDevice->GetDeviceState(sizeof(keys), keys))) {
    // Not ours now (another window is in front, or input was lost): take the
    // keyboard back for the next pass; no key counts meanwhile.
    g_keyboardDevice->Acquire();
    std::memset(keys, 0, sizeof(keys));
  }
  int endsWait = 0;
  for (int key = 0; key < 256 && !endsWait; key++) {
    if (!(keys[key] & 0x80) || (g_keysBefore[key] & 0x80)) continue;
    if (IsNextKey(key)) {
      endsWait = 1;
    } else if (IsBackKey(key)) {
      endsWait = GoToScreen(g_screenNumber - 1);
    } else if (key == DIK_HOME) {
      endsWait = GoToScreen(1);
    } else if (key >= DIK_1 && key <= DIK_8) {
      endsWait = GoToScreen(key - DIK_1 + 1);
    } else if (key == DIK_P) {
      ToggleSlideshow();
    } else if (key == DIK_F1 || key == DIK_SLASH) {
      ToggleKeysHelp();
    } else if (key == DIK_F12 || key == DIK_SYSRQ) {
      SaveScreenshot();
    } else if (key == DIK_F9) {
      ToggleRecording();
    }
  }
  std::memcpy(g_keysBefore, keys, sizeof(keys));
  if (g_escapeForOverlay) {
    g_escapeForOverlay = 0;
    if (KeysHelpShown()) ToggleKeysHelp();
  }
  return endsWait;
}

int HandleWheel(LONG turn) {
  if (turn < 0) return 1;
  return turn > 0 && GoToScreen(g_screenNumber - 1);
}

void ResetSlideshow() { g_delayPaused = 0; }

void StartDelayCount() { g_delayFromMs = GetTickCount(); }

DWORD DelayTimeLeft() {
  if (g_delayMs == 0 || g_delayPaused) return INFINITE;
  const DWORD passed = GetTickCount() - g_delayFromMs;
  return passed < g_delayMs ? g_delayMs - passed : 0;
}
