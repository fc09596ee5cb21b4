// The flip that shows the back buffer, bounded so that a display that never
// comes back cannot hang the program.
#include "devices/devices.h"

// Pauses between attempts: short while the display is still busy with the
// previous flip, longer after other failures so that a lost display is not
// polled flat out.
static const DWORD FlipBusyPauseMs = 1;
static const DWORD FlipRetryPauseMs = 10;

int FlipToFront() {
  DWORD start = GetTickCount();
  for (;;) {
    HRESULT result = g_primarySurface->Flip(NULL, DDFLIP_WAIT);
    if (SUCCEEDED(result)) {
      return 1;
    }

    if (result == DDERR_SURFACELOST) {
      g_directDraw->RestoreAllSurfaces();
    }

    if (GetTickCount() - start >= FlipGiveUpMs) {
      return 0;
    }

    Sleep(result == DDERR_WASSTILLDRAWING ? FlipBusyPauseMs : FlipRetryPauseMs);
  }
}
