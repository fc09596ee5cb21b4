// DirectDraw as the program relies on it: set-up preconditions, surface
// memory and pitch, flips, palette changes, lock and device-context
// exclusivity, reference counts and teardown.
#include "layer_fixture.h"

namespace layertest {
namespace {

using DisplayTest = LayerTest;

TEST_F(DisplayTest, SetUpChecksThePlatformsPreconditions) {
  ASSERT_NE(MakeWindow(), nullptr);
  ASSERT_EQ(DirectDrawCreateEx(NULL, reinterpret_cast<void**>(&dd), IID_IDirectDraw7, NULL), DD_OK);
  DDSURFACEDESC2 d{};
  d.dwSize = sizeof d;
  d.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
  d.dwBackBufferCount = 1;
  d.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
  IDirectDrawSurface7* surface = nullptr;
  EXPECT_EQ(dd->CreateSurface(&d, &surface, NULL), DDERR_NOCOOPERATIVELEVELSET);
  EXPECT_EQ(dd->SetDisplayMode(640, 480, 8, 0, 0), DDERR_NOCOOPERATIVELEVELSET);
  EXPECT_EQ(dd->SetCooperativeLevel(window, DDSCL_EXCLUSIVE), DDERR_INVALIDPARAMS);
  EXPECT_EQ(dd->SetCooperativeLevel(NULL, 0x53), DDERR_INVALIDPARAMS);
  ASSERT_EQ(dd->SetCooperativeLevel(window, 0x53), DD_OK);
  EXPECT_EQ(dd->SetDisplayMode(800, 600, 8, 0, 0), DDERR_INVALIDMODE);
  EXPECT_EQ(dd->SetDisplayMode(640, 480, 16, 0, 0), DDERR_INVALIDMODE);
  EXPECT_FALSE(pxh::DisplayModeSet());
  ASSERT_EQ(dd->SetDisplayMode(640, 480, 8, 0, 0), DD_OK);
  EXPECT_TRUE(pxh::DisplayModeSet());

  d.dwSize = 124 + 4;  // any size but the record's own
  EXPECT_EQ(dd->CreateSurface(&d, &surface, NULL), DDERR_INVALIDPARAMS);
  d.dwSize = sizeof d;
  d.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP;
  EXPECT_EQ(dd->CreateSurface(&d, &surface, NULL), DDERR_INVALIDCAPS);
  EXPECT_EQ(surface, nullptr);

  const auto report = pxh::MisuseReport();
  EXPECT_TRUE(Contains(report, "before SetCooperativeLevel")) << Joined(report);
  EXPECT_TRUE(Contains(report, "640 x 480 x 8")) << Joined(report);
  EXPECT_TRUE(Contains(report, "sizeof(DDSURFACEDESC2)")) << Joined(report);

  EXPECT_EQ(dd->RestoreDisplayMode(), DD_OK);
  EXPECT_FALSE(pxh::DisplayModeSet());
  EXPECT_EQ(dd->Release(), 0u);
}

TEST_F(DisplayTest, CleanSetUpAndTeardownLeaveAnEmptyReport) {
  OpenDisplay();
  EXPECT_EQ(Fill(primary, 0), DD_OK);
  EXPECT_EQ(Fill(back, 0), DD_OK);
  pxh::Screen screen;
  ASSERT_TRUE(pxh::ReadScreen(screen));
  EXPECT_EQ(screen.pixels[0][0], 0);
  EXPECT_EQ(screen.palette[4].peRed, 255);
  CloseDisplay();
  EXPECT_EQ(pxh::MisuseReport(), std::vector<std::string>{});
  EXPECT_FALSE(pxh::DisplayModeSet());
  EXPECT_FALSE(pxh::ReadScreen(screen));
}

TEST_F(DisplayTest, LockedMemoryIsAddressedByPitchWiderThanARow) {
  OpenDisplay();
  Fill(primary, 0);
  DDSURFACEDESC2 lock;
  std::memset(&lock, 0, sizeof lock);
  lock.dwSize = sizeof lock;
  ASSERT_EQ(primary->Lock(NULL, &lock, DDLOCK_WAIT, NULL), DD_OK);
  EXPECT_EQ(lock.dwSize, sizeof lock);
  EXPECT_EQ(lock.lPitch, pxh::SurfacePitch());
  EXPECT_GT(lock.lPitch, 640);
  EXPECT_EQ(lock.dwWidth, 640u);
  EXPECT_EQ(lock.dwHeight, 480u);
  EXPECT_EQ(lock.ddpfPixelFormat.dwRGBBitCount, 8u);
  auto* bytes = static_cast<uint8_t*>(lock.lpSurface);
  bytes[10 * lock.lPitch + 20] = 7;  // pixel (20, 10)
  bytes[10 * 640 + 30] = 9;          // what code ignoring the pitch would write for (30, 10)
  ASSERT_EQ(primary->Unlock(NULL), DD_OK);

  pxh::Screen screen;
  ASSERT_TRUE(pxh::ReadScreen(screen));
  EXPECT_EQ(screen.pixels[10][20], 7);
  EXPECT_EQ(screen.pixels[10][30], 0);  // the row-640 store lands elsewhere

  // A rectangle lock points at the rectangle's corner.
  RECT r{100, 50, 200, 60};
  ASSERT_EQ(primary->Lock(&r, &lock, DDLOCK_WAIT, NULL), DD_OK);
  static_cast<uint8_t*>(lock.lpSurface)[0] = 5;
  ASSERT_EQ(primary->Unlock(&r), DD_OK);
  EXPECT_EQ(At(primary, 100, 50), 5);
  CloseDisplay();
}

TEST_F(DisplayTest, FlipExchangesTheMemoryBehindTheTwoInterfaces) {
  OpenDisplay();
  Fill(primary, 1);
  Fill(back, 2);
  DDSURFACEDESC2 lock{};
  lock.dwSize = sizeof lock;
  ASSERT_EQ(primary->Lock(NULL, &lock, DDLOCK_WAIT, NULL), DD_OK);
  void* frontMemory = lock.lpSurface;
  primary->Unlock(NULL);
  ASSERT_EQ(back->Lock(NULL, &lock, DDLOCK_WAIT, NULL), DD_OK);
  void* backMemory = lock.lpSurface;
  back->Unlock(NULL);

  ASSERT_EQ(primary->Flip(NULL, DDFLIP_WAIT), DD_OK);
  pxh::Screen screen;
  ASSERT_TRUE(pxh::ReadScreen(screen));
  EXPECT_EQ(screen.pixels[240][320], 2);
  EXPECT_EQ(At(back, 0, 0), 1);

  ASSERT_EQ(primary->Lock(NULL, &lock, DDLOCK_WAIT, NULL), DD_OK);
  EXPECT_EQ(lock.lpSurface, backMemory);
  primary->Unlock(NULL);
  ASSERT_EQ(back->Lock(NULL, &lock, DDLOCK_WAIT, NULL), DD_OK);
  EXPECT_EQ(lock.lpSurface, frontMemory);
  back->Unlock(NULL);

  ASSERT_EQ(primary->Flip(NULL, DDFLIP_WAIT), DD_OK);
  ASSERT_TRUE(pxh::ReadScreen(screen));
  EXPECT_EQ(screen.pixels[0][0], 1);

  EXPECT_EQ(back->Flip(NULL, DDFLIP_WAIT), DDERR_NOTFLIPPABLE);
  ASSERT_EQ(back->Lock(NULL, &lock, DDLOCK_WAIT, NULL), DD_OK);
  EXPECT_EQ(primary->Flip(NULL, DDFLIP_WAIT), DDERR_SURFACEBUSY);
  back->Unlock(NULL);
  CloseDisplay();
}

TEST_F(DisplayTest, PaletteChangeRecoloursBothSurfacesWithoutTouchingPixels) {
  OpenDisplay();
  Fill(primary, 4);
  Fill(back, 4);
  Pixels before;
  ASSERT_TRUE(pxh::ReadSurface(primary, before));

  PALETTEENTRY blue{0, 0, 255, PC_NOCOLLAPSE};
  ASSERT_EQ(palette->SetEntries(0, 4, 1, &blue), DD_OK);
  pxh::Screen screen;
  ASSERT_TRUE(pxh::ReadScreen(screen));
  EXPECT_EQ(std::memcmp(screen.pixels, before, sizeof before), 0);
  EXPECT_EQ(screen.palette[4].peBlue, 255);
  EXPECT_EQ(screen.palette[4].peRed, 0);

  primary->Flip(NULL, DDFLIP_WAIT);  // the other surface shows the same colour
  ASSERT_TRUE(pxh::ReadScreen(screen));
  EXPECT_EQ(screen.pixels[100][100], 4);
  EXPECT_EQ(screen.palette[4].peBlue, 255);

  PALETTEENTRY red{255, 0, 0, PC_NOCOLLAPSE};
  ASSERT_EQ(palette->SetEntries(0, 4, 1, &red), DD_OK);
  ASSERT_TRUE(pxh::ReadScreen(screen));
  EXPECT_EQ(screen.palette[4].peRed, 255);
  EXPECT_EQ(screen.palette[4].peBlue, 0);

  EXPECT_EQ(palette->SetEntries(0, 255, 2, &red), DDERR_INVALIDPARAMS);
  PALETTEENTRY all[256];
  ASSERT_EQ(palette->GetEntries(0, 0, 256, all), DD_OK);
  EXPECT_EQ(all[0].peRed, 0);      // entries 0 and 255 kept as given (DDPCAPS_ALLOW256)
  EXPECT_EQ(all[255].peBlue, 255);
  CloseDisplay();
}

TEST_F(DisplayTest, LocksAndDeviceContextsExcludeEachOther) {
  OpenDisplay();
  DDSURFACEDESC2 lock{};
  lock.dwSize = sizeof lock;
  HDC dc = NULL;

  ASSERT_EQ(primary->Lock(NULL, &lock, DDLOCK_WAIT, NULL), DD_OK);
  EXPECT_EQ(primary->Lock(NULL, &lock, DDLOCK_WAIT, NULL), DDERR_SURFACEBUSY);
  EXPECT_EQ(primary->GetDC(&dc), DDERR_SURFACEBUSY);
  EXPECT_EQ(Fill(primary, 3), DDERR_SURFACEBUSY);
  EXPECT_EQ(back->Lock(NULL, &lock, DDLOCK_WAIT, NULL), DD_OK);  // another surface may be locked
  EXPECT_EQ(back->Unlock(NULL), DD_OK);
  EXPECT_EQ(primary->Unlock(NULL), DD_OK);
  EXPECT_EQ(primary->Unlock(NULL), DDERR_NOTLOCKED);

  ASSERT_EQ(primary->GetDC(&dc), DD_OK);
  ASSERT_NE(dc, nullptr);
  HDC second = NULL;
  EXPECT_EQ(primary->GetDC(&second), DDERR_DCALREADYCREATED);
  EXPECT_EQ(primary->Lock(NULL, &lock, DDLOCK_WAIT, NULL), DDERR_SURFACEBUSY);
  HDC backDc = NULL;
  ASSERT_EQ(back->GetDC(&backDc), DD_OK);
  EXPECT_EQ(primary->ReleaseDC(backDc), DDERR_INVALIDPARAMS);
  EXPECT_EQ(back->ReleaseDC(backDc), DD_OK);
  EXPECT_EQ(primary->ReleaseDC(dc), DD_OK);
  EXPECT_EQ(primary->ReleaseDC(dc), DDERR_NODC);

  lock.dwSize = sizeof lock - 4;
  EXPECT_EQ(primary->Lock(NULL, &lock, DDLOCK_WAIT, NULL), DDERR_INVALIDPARAMS);
  DDBLTFX fx{};
  fx.dwSize = sizeof fx - 4;
  EXPECT_EQ(primary->Blt(NULL, NULL, NULL, DDBLT_COLORFILL | DDBLT_WAIT, &fx), DDERR_INVALIDPARAMS);

  CloseDisplay();
  const auto report = pxh::MisuseReport();  // every refusal, and nothing else
  EXPECT_EQ(report.size(), 10u) << Joined(report);
  EXPECT_TRUE(Contains(report, "already locked"));
  EXPECT_TRUE(Contains(report, "GetDC@primary on a locked surface"));
  EXPECT_TRUE(Contains(report, "not locked"));
  EXPECT_TRUE(Contains(report, "not this surface's"));
}

TEST_F(DisplayTest, APrimaryWithoutBackBufferCannotFlipAndOneOwnerHoldsTheDisplay) {
  ASSERT_NE(MakeWindow(), nullptr);
  ASSERT_EQ(DirectDrawCreateEx(NULL, reinterpret_cast<void**>(&dd), IID_IDirectDraw7, NULL), DD_OK);
  ASSERT_EQ(dd->SetCooperativeLevel(window, 0x53), DD_OK);
  IDirectDraw7* other = nullptr;
  ASSERT_EQ(DirectDrawCreateEx(NULL, reinterpret_cast<void**>(&other), IID_IDirectDraw7, NULL), DD_OK);
  EXPECT_EQ(other->SetCooperativeLevel(window, 0x53), DDERR_EXCLUSIVEMODEALREADYSET);
  EXPECT_EQ(other->Release(), 0u);
  ASSERT_EQ(dd->SetDisplayMode(640, 480, 8, 0, 0), DD_OK);

  DDSURFACEDESC2 d{};
  d.dwSize = sizeof d;
  d.dwFlags = DDSD_CAPS;
  d.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
  ASSERT_EQ(dd->CreateSurface(&d, &primary, NULL), DD_OK);
  IDirectDrawSurface7* second = nullptr;
  EXPECT_EQ(dd->CreateSurface(&d, &second, NULL), DDERR_PRIMARYSURFACEALREADYEXISTS);
  DDSCAPS2 caps{};
  caps.dwCaps = DDSCAPS_BACKBUFFER;
  EXPECT_EQ(primary->GetAttachedSurface(&caps, &back), DDERR_NOTFOUND);
  EXPECT_EQ(back, nullptr);
  EXPECT_EQ(primary->Flip(NULL, DDFLIP_WAIT), DDERR_NOTFLIPPABLE);
  EXPECT_EQ(Fill(primary, 6), DD_OK);
  pxh::Screen screen;
  ASSERT_TRUE(pxh::ReadScreen(screen));
  EXPECT_EQ(screen.pixels[479][639], 6);
  CloseDisplay();
}

TEST_F(DisplayTest, ColourFillCoversTheWholeSurfaceOrItsRectangle) {
  OpenDisplay();
  ASSERT_EQ(Fill(back, 9), DD_OK);
  Pixels pixels;
  ASSERT_TRUE(pxh::ReadSurface(back, pixels));
  EXPECT_EQ(pixels[0][0], 9);
  EXPECT_EQ(pixels[479][639], 9);
  DDBLTFX fx{};
  fx.dwSize = sizeof fx;
  fx.dwFillColor = 3;
  RECT r{10, 20, 30, 40};
  ASSERT_EQ(back->Blt(&r, NULL, NULL, DDBLT_COLORFILL | DDBLT_WAIT, &fx), DD_OK);
  ASSERT_TRUE(pxh::ReadSurface(back, pixels));
  EXPECT_EQ(pixels[20][10], 3);
  EXPECT_EQ(pixels[39][29], 3);
  EXPECT_EQ(pixels[40][29], 9);
  EXPECT_EQ(pixels[39][30], 9);
  CloseDisplay();
}

TEST_F(DisplayTest, ReferenceCountsFollowTheFlipChain) {
  OpenDisplay();
  EXPECT_EQ(back->AddRef(), 2u);  // one from GetAttachedSurface
  EXPECT_EQ(back->Release(), 1u);
  // The palette is held by the chain as well as by the program.
  EXPECT_EQ(palette->Release(), 1u);
  palette = nullptr;

  // Releasing the primary first keeps the chain alive for the back buffer.
  EXPECT_EQ(primary->Release(), 0u);
  primary = nullptr;
  DDSURFACEDESC2 lock{};
  lock.dwSize = sizeof lock;
  EXPECT_EQ(back->Lock(NULL, &lock, DDLOCK_WAIT, NULL), DD_OK);
  EXPECT_EQ(back->Unlock(NULL), DD_OK);
  EXPECT_TRUE(Contains(pxh::MisuseReport(), "IDirectDrawSurface7@back not released"));

  // The last reference ends the chain and the palette with it.
  EXPECT_EQ(back->Release(), 0u);
  IDirectDrawSurface7* stale = back;
  back = nullptr;
  EXPECT_EQ(stale->Lock(NULL, &lock, DDLOCK_WAIT, NULL), DDERR_INVALIDOBJECT);
  EXPECT_EQ(dd->RestoreDisplayMode(), DD_OK);
  EXPECT_EQ(dd->Release(), 0u);
  dd = nullptr;
  const auto report = pxh::MisuseReport();
  ASSERT_EQ(report.size(), 1u) << Joined(report);
  EXPECT_TRUE(Contains(report, "released surface"));
}

TEST_F(DisplayTest, TeardownReportNamesWhatWasLeftBehind) {
  OpenDisplay();
  DDSURFACEDESC2 lock{};
  lock.dwSize = sizeof lock;
  ASSERT_EQ(back->Lock(NULL, &lock, DDLOCK_WAIT, NULL), DD_OK);
  HDC dc = NULL;
  ASSERT_EQ(primary->GetDC(&dc), DD_OK);
  const auto report = pxh::MisuseReport();
  EXPECT_TRUE(Contains(report, "IDirectDrawSurface7@back still locked")) << Joined(report);
  EXPECT_TRUE(Contains(report, "IDirectDrawSurface7@primary device context not released"));
  EXPECT_TRUE(Contains(report, "IDirectDrawSurface7@primary not released"));
  EXPECT_TRUE(Contains(report, "IDirectDrawPalette not released"));
  EXPECT_TRUE(Contains(report, "IDirectDraw7 not released"));
  EXPECT_TRUE(Contains(report, "display mode not restored"));

  // A reset forgets the world: old interfaces refuse calls instead of crashing.
  IDirectDrawSurface7* stale = primary;
  pxh::Reset();
  EXPECT_EQ(pxh::MisuseReport(), std::vector<std::string>{});
  EXPECT_EQ(stale->Unlock(NULL), DDERR_INVALIDOBJECT);
  EXPECT_EQ(stale->Release(), 0u);
  primary = back = nullptr;
  palette = nullptr;
  dd = nullptr;
}

TEST_F(DisplayTest, InjectedFaultsFailTheNamedCallWithTheGivenCode) {
  ASSERT_NE(MakeWindow(), nullptr);
  pxh::InjectFault("IDirectDraw7::SetDisplayMode", DDERR_INVALIDMODE);
  ASSERT_EQ(DirectDrawCreateEx(NULL, reinterpret_cast<void**>(&dd), IID_IDirectDraw7, NULL), DD_OK);
  ASSERT_EQ(dd->SetCooperativeLevel(window, 0x53), DD_OK);
  EXPECT_EQ(dd->SetDisplayMode(640, 480, 8, 0, 0), DDERR_INVALIDMODE);
  EXPECT_EQ(dd->SetDisplayMode(640, 480, 8, 0, 0), DD_OK);  // once only
  dd->RestoreDisplayMode();
  dd->Release();
  dd = nullptr;
  EXPECT_EQ(pxh::MisuseReport(), std::vector<std::string>{});  // a fault is not misuse

  pxh::Reset();
  OpenDisplay();
  DDSURFACEDESC2 lock{};
  lock.dwSize = sizeof lock;
  pxh::InjectFault("IDirectDrawSurface7::Lock@back", DDERR_SURFACELOST, 2, 1);
  EXPECT_EQ(back->Lock(NULL, &lock, DDLOCK_WAIT, NULL), DD_OK);  // skipped
  back->Unlock(NULL);
  EXPECT_EQ(primary->Lock(NULL, &lock, DDLOCK_WAIT, NULL), DD_OK);  // other surface untouched
  primary->Unlock(NULL);
  EXPECT_EQ(back->Lock(NULL, &lock, DDLOCK_WAIT, NULL), DDERR_SURFACELOST);
  EXPECT_EQ(back->Lock(NULL, &lock, DDLOCK_WAIT, NULL), DDERR_SURFACELOST);
  EXPECT_EQ(back->Lock(NULL, &lock, DDLOCK_WAIT, NULL), DD_OK);
  back->Unlock(NULL);

  pxh::InjectFault("IDirectDrawSurface7::Flip", DDERR_SURFACELOST, -1);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(primary->Flip(NULL, DDFLIP_WAIT), DDERR_SURFACELOST);
  pxh::ClearFaults();
  EXPECT_EQ(primary->Flip(NULL, DDFLIP_WAIT), DD_OK);

  pxh::InjectFault("IDirectDrawSurface7::GetDC", DDERR_CANTCREATEDC);
  HDC dc = NULL;
  EXPECT_EQ(primary->GetDC(&dc), DDERR_CANTCREATEDC);
  CloseDisplay();
  EXPECT_EQ(pxh::MisuseReport(), std::vector<std::string>{});
}

}  // namespace
}  // namespace layertest
