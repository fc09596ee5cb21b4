// The flip that shows the back buffer, bounded so that a display that never
// comes back cannot hang the program.
#include "devices/devices.h"

// Pauses between attempts: short while the display is still busy with the
// previous flip, longer after other failures so that they are not polled
// flat out.
static const DWORD FlipBusyPauseMs = 1;
static const DWORD FlipRetryPauseMs = 10;

int FlipToFront() {
  DWORD start = GetTickCount();
  for (;;) {
    HRESULT result = g_primarySurface->Flip(NULL, DDFLIP_WAIT);
    if (SUCCEEDED(result)) {
      return 1;
    }

    // Lost surfaces are not restored here: what they held is gone, so the
    // whole picture has to be drawn again, which is not the flip's business.
    if (result == DDERR_SURFACELOST) {
      return 0;
    }

    if (GetTickCount() - start >= FlipGiveUpMs) {
      return 0;
    }

    Sleep(result == DDERR_WASSTILLDRAWING ? FlipBusyPauseMs : FlipRetryPauseMs);
  }
}
