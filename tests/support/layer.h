// Set-up for the platform layer's own tests (header only: they link the
// layer alone): a fresh headless world, a window, and the display as the
// program opens it.
#ifndef PIXSHOW_TESTS_SUPPORT_LAYER_H
#define PIXSHOW_TESTS_SUPPORT_LAYER_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/portable/backends/backend.h"
#include "platform/portable/control/headless.h"

namespace pxtest {

using Indices = uint8_t[pxport::kScreenHeight][pxport::kScreenWidth];

inline bool Contains(const std::vector<std::string>& lines, const std::string& part) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

inline std::string Joined(const std::vector<std::string>& lines) {
  return ::testing::PrintToString(lines);
}

class LayerTest : public ::testing::Test {
 protected:
  void SetUp() override { pxh::Reset(); }

  HWND MakeWindow() {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC | CS_DBLCLKS;
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.hIcon = LoadIconA(NULL, IDI_APPLICATION);
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = "WINCLASS1";
    if (RegisterClassExA(&wc) == 0) return NULL;
    window = CreateWindowExA(0, "WINCLASS1", "DirectDraw Test for Game", WS_POPUP | WS_VISIBLE, 0,
                             0, 640, 480, NULL, NULL, wc.hInstance, NULL);
    return window;
  }

  // A palette like the program's in the entries the tests look at: black 0,
  // green 2, pure red 4, white 15 and 255, a ramp elsewhere.
  void FillPalette() {
    for (int i = 0; i < 256; ++i)
      entries[i] = PALETTEENTRY{BYTE(i), BYTE(i), BYTE(i / 2), PC_NOCOLLAPSE};
    entries[0] = PALETTEENTRY{0, 0, 0, PC_NOCOLLAPSE};
    entries[2] = PALETTEENTRY{51, 153, 51, PC_NOCOLLAPSE};
    entries[4] = PALETTEENTRY{255, 0, 0, PC_NOCOLLAPSE};
    entries[15] = entries[255] = PALETTEENTRY{255, 255, 255, PC_NOCOLLAPSE};
  }

  // The program's display set-up, every step asserted.
  void OpenDisplay() {
    ASSERT_NE(MakeWindow(), nullptr);
    ASSERT_EQ(DirectDrawCreateEx(NULL, reinterpret_cast<void**>(&dd), IID_IDirectDraw7, NULL),
              DD_OK);
    ASSERT_EQ(dd->SetCooperativeLevel(window, 0x53), DD_OK);
    ASSERT_EQ(dd->SetDisplayMode(640, 480, 8, 0, 0), DD_OK);
    std::memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    desc.dwBackBufferCount = 1;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    ASSERT_EQ(dd->CreateSurface(&desc, &primary, NULL), DD_OK);
    desc.ddsCaps.dwCaps = DDSCAPS_BACKBUFFER;
    ASSERT_EQ(primary->GetAttachedSurface(&desc.ddsCaps, &back), DD_OK);
    FillPalette();
    ASSERT_EQ(dd->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries, &palette, NULL), DD_OK);
    ASSERT_EQ(primary->SetPalette(palette), DD_OK);
  }

  // The program's teardown order.
  void CloseDisplay() {
    if (palette != nullptr) palette->Release();
    if (back != nullptr) back->Release();
    if (primary != nullptr) primary->Release();
    if (dd != nullptr) {
      dd->RestoreDisplayMode();
      dd->Release();
    }
    palette = nullptr;
    back = primary = nullptr;
    dd = nullptr;
  }

  HRESULT Fill(IDirectDrawSurface7* surface, DWORD index) {
    DDBLTFX fx;
    std::memset(&fx, 0, sizeof fx);
    fx.dwSize = sizeof fx;
    fx.dwFillColor = index;
    return surface->Blt(NULL, NULL, NULL, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
  }

  // One pixel of a surface, read without a lock.
  uint8_t At(IDirectDrawSurface7* surface, int x, int y) {
    static Indices pixels;
    EXPECT_TRUE(pxh::ReadSurface(surface, pixels));
    return pixels[y][x];
  }

  HWND window = nullptr;
  IDirectDraw7* dd = nullptr;
  IDirectDrawSurface7* primary = nullptr;
  IDirectDrawSurface7* back = nullptr;
  IDirectDrawPalette* palette = nullptr;
  DDSURFACEDESC2 desc{};
  PALETTEENTRY entries[256]{};
};

}  // namespace pxtest

#endif
