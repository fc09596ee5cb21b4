// DirectDraw as the program relies on it: set-up preconditions, surface
// memory and pitch, flips, lock and device-context exclusivity, reference
// counts and teardown. (Palette changes are checked through the program in
// tests/devices.)
#include "tests/support/layer.h"

namespace {

using namespace pxtest;
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
  IDirectDraw7* other = nullptr;  // one owner holds the display
  ASSERT_EQ(DirectDrawCreateEx(NULL, reinterpret_cast<void**>(&other), IID_IDirectDraw7, NULL),
            DD_OK);
  EXPECT_EQ(other->SetCooperativeLevel(window, 0x53), DDERR_EXCLUSIVEMODEALREADYSET);
  EXPECT_EQ(other->Release(), 0u);
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

TEST_F(DisplayTest, LockedMemoryIsAddressedByPitchWiderThanARow) {
  OpenDisplay();
  Fill(primary, 0);
  DDSURFACEDESC2 lock{};
  lock.dwSize = sizeof lock;
  ASSERT_EQ(primary->Lock(NULL, &lock, DDLOCK_WAIT, NULL), DD_OK);
  EXPECT_EQ(lock.lPitch, pxh::SurfacePitch());
  EXPECT_GT(lock.lPitch, 640);
  EXPECT_EQ(lock.dwWidth * 1000 + lock.dwHeight, 640480u);
  EXPECT_EQ(lock.ddpfPixelFormat.dwRGBBitCount, 8u);
  auto* bytes = static_cast<uint8_t*>(lock.lpSurface);
  bytes[10 * lock.lPitch + 20] = 7;  // pixel (20, 10)
  bytes[10 * 640 + 30] = 9;          // what code ignoring the pitch would write for (30, 10)
  ASSERT_EQ(primary->Unlock(NULL), DD_OK);
  EXPECT_EQ(At(primary, 20, 10), 7);
  EXPECT_EQ(At(primary, 30, 10), 0);  // the row-640 store lands elsewhere

  // A rectangle lock points at the rectangle's corner.
  RECT r{100, 50, 200, 60};
  ASSERT_EQ(primary->Lock(&r, &lock, DDLOCK_WAIT, NULL), DD_OK);
  static_cast<uint8_t*>(lock.lpSurface)[0] = 5;
  ASSERT_EQ(primary->Unlock(&r), DD_OK);
  EXPECT_EQ(At(primary, 100, 50), 5);
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
  CloseDisplay();
  const auto report = pxh::MisuseReport();
  ASSERT_EQ(report.size(), 1u) << Joined(report);
  EXPECT_TRUE(Contains(report, "released surface"));
}

TEST_F(DisplayTest, TeardownReportNamesWhatWasLeftBehindAndAResetForgetsIt) {
  OpenDisplay();
  DDSURFACEDESC2 lock{};
  lock.dwSize = sizeof lock;
  ASSERT_EQ(back->Lock(NULL, &lock, DDLOCK_WAIT, NULL), DD_OK);
  HDC dc = NULL;
  ASSERT_EQ(primary->GetDC(&dc), DD_OK);
  const auto report = pxh::MisuseReport();
  for (const char* left :
       {"IDirectDrawSurface7@back still locked",
        "IDirectDrawSurface7@primary device context not released",
        "IDirectDrawSurface7@primary not released", "IDirectDrawPalette not released",
        "IDirectDraw7 not released", "display mode not restored"})
    EXPECT_TRUE(Contains(report, left)) << left << " in " << Joined(report);

  // Old interfaces refuse calls instead of crashing.
  IDirectDrawSurface7* stale = primary;
  pxh::Reset();
  EXPECT_EQ(pxh::MisuseReport(), std::vector<std::string>{});
  EXPECT_EQ(stale->Unlock(NULL), DDERR_INVALIDOBJECT);
  EXPECT_EQ(stale->Release(), 0u);
  primary = back = nullptr;
  palette = nullptr;
  dd = nullptr;
}

}  // namespace
