// The viewer's keys in a wait, read through the DirectInput keyboard: on,
// back, the first screen, a screenshot. And --delay, which ends a wait on its
// own. The screens they lead to are played by the presentation's own replay.
#include <cstring>

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
    } else if (IsBackKey(key) && g_screenNumber > 1) {
      g_screenWanted = g_screenNumber - 1;
      endsWait = 1;
    } else if (key == DIK_HOME && g_screenNumber > 1) {
      g_screenWanted = 1;
      endsWait = 1;
    } else if (key == DIK_F12 || key == DIK_SYSRQ) {
      SaveScreenshot();
    }
  }
  std::memcpy(g_keysBefore, keys, sizeof(keys));
  return endsWait;
}

int DelayIsOver(DWORD waitStartMs) {
  return g_delayMs != 0 && GetTickCount() - waitStartMs >= g_delayMs;
}
