// DirectDraw set-up and teardown: exclusive 640 x 480 x 8 display, a primary
// surface with one back buffer, the palette, then the input devices.
#include <cstring>

#include "shell/shell.h"
#include "devices/devices.h"

LPDIRECTDRAW7 g_directDraw = NULL;
LPDIRECTDRAWSURFACE7 g_primarySurface = NULL;
LPDIRECTDRAWSURFACE7 g_backSurface = NULL;
LPDIRECTDRAWPALETTE g_palette = NULL;
DDSURFACEDESC2 g_surfaceDesc;
PALETTEENTRY g_paletteEntries[256];

namespace {

const DWORD ScreenWidth = 640;
const DWORD ScreenHeight = 480;
const DWORD ScreenBitsPerPixel = 8;

}  // namespace

HRESULT FillSurface(LPDIRECTDRAWSURFACE7 surface, int colour) {
  DDBLTFX blitEffects;
  std::memset(&blitEffects, 0, sizeof(blitEffects));
  blitEffects.dwSize = sizeof(blitEffects);
  blitEffects.dwFillColor = static_cast<DWORD>(colour);
  return surface->Blt(NULL, NULL, NULL, DDBLT_COLORFILL | DDBLT_WAIT, &blitEffects);
}

int SetPaletteEntry(unsigned int index, const PALETTEENTRY* entry) {
  PALETTEENTRY change = *entry;
  g_palette->SetEntries(0, index, 1, &change);
  g_paletteEntries[index] = change;
  return 1;
}

void ResetPalette() {
  BuildPaletteEntries(g_paletteEntries);
  LoadPaletteEntries();
}

void LoadPaletteEntries() { g_palette->SetEntries(0, 0, 256, g_paletteEntries); }

int DisplayLost() {
  return g_primarySurface->IsLost() == DDERR_SURFACELOST ||
         g_backSurface->IsLost() == DDERR_SURFACELOST;
}

int RestoreDisplay() {
  // Another program has the display until this one is active again.
  if (FAILED(g_directDraw->TestCooperativeLevel())) {
    return 0;
  }
  DDSURFACEDESC2 mode;
  std::memset(&mode, 0, sizeof(mode));
  mode.dwSize = sizeof(mode);
  if (FAILED(g_directDraw->GetDisplayMode(&mode)) || mode.dwWidth != ScreenWidth ||
      mode.dwHeight != ScreenHeight || mode.ddpfPixelFormat.dwRGBBitCount != ScreenBitsPerPixel) {
    if (FAILED(g_directDraw->SetDisplayMode(ScreenWidth, ScreenHeight, ScreenBitsPerPixel, 0, 0))) {
      return 0;
    }
  }
  if (FAILED(g_directDraw->RestoreAllSurfaces())) {
    return 0;
  }
  LoadPaletteEntries();
  return 1;
}

int InitDevices() {
  if (FAILED(DirectDrawCreateEx(NULL, reinterpret_cast<void**>(&g_directDraw), IID_IDirectDraw7,
                                NULL))) {
    return ReportFailedStep("create the DirectDraw object");
  }
  if (FAILED(g_directDraw->SetCooperativeLevel(g_mainWindow, DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT |
                                                                 DDSCL_EXCLUSIVE |
                                                                 DDSCL_ALLOWMODEX))) {
    return ReportFailedStep("take the display for exclusive full-screen use");
  }
  if (FAILED(g_directDraw->SetDisplayMode(ScreenWidth, ScreenHeight, ScreenBitsPerPixel, 0, 0))) {
    return ReportFailedStep("set display mode 640x480x8");
  }

  // The record stays as filled here except for what each Lock writes, so
  // its size is right for every later Lock.
  std::memset(&g_surfaceDesc, 0, sizeof(g_surfaceDesc));
  g_surfaceDesc.dwSize = sizeof(g_surfaceDesc);
  g_surfaceDesc.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
  g_surfaceDesc.dwBackBufferCount = 1;
  g_surfaceDesc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
  if (FAILED(g_directDraw->CreateSurface(&g_surfaceDesc, &g_primarySurface, NULL))) {
    return ReportFailedStep("create the primary surface");
  }
  g_surfaceDesc.ddsCaps.dwCaps = DDSCAPS_BACKBUFFER;
  if (FAILED(g_primarySurface->GetAttachedSurface(&g_surfaceDesc.ddsCaps, &g_backSurface))) {
    return ReportFailedStep("get the back buffer");
  }

  BuildPaletteEntries(g_paletteEntries);
  if (FAILED(g_directDraw->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, g_paletteEntries,
                                         &g_palette, NULL))) {
    return ReportFailedStep("create the palette");
  }
  if (FAILED(g_primarySurface->SetPalette(g_palette))) {
    return ReportFailedStep("attach the palette");
  }

  if (!InitInputDevices()) {
    return 0;
  }

  FillSurface(g_primarySurface, 0);
  FillSurface(g_backSurface, 0);
  return 1;
}

int ShutdownDevices() {
  ShutdownInputDevices();
  if (g_palette != NULL) {
    g_palette->Release();
    g_palette = NULL;
  }
  if (g_backSurface != NULL) {
    g_backSurface->Release();
    g_backSurface = NULL;
  }
  if (g_primarySurface != NULL) {
    g_primarySurface->Release();
    g_primarySurface = NULL;
  }
  if (g_directDraw != NULL) {
    if (FAILED(g_directDraw->RestoreDisplayMode())) {
      return 0;
    }
    g_directDraw->Release();
    g_directDraw = NULL;
  }
  return 1;
}
