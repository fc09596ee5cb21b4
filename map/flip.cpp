// The flip that shows the back buffer, bounded so that a display that never
// comes back cannot hang the program.
#include "devices/devices.h"
#include "map/map.h"

// Pause between attempts when the flip failed for a reason other than a
// display still busy drawing, so that a lost display is not polled flat out.
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

    if (result != DDERR_WASSTILLDRAWING) {
      Sleep(FlipRetryPauseMs);
    }
  }
}
