// DirectDraw as the program relies on it: set-up preconditions, surface
// memory and pitch, lock and device-context exclusivity, the flip chain's
// lifetime, and the misuse report. (The answers Windows gives are compared
// call by call in tests/probe; palette changes are checked through the
// program in tests/devices.)
#include "tests/support/layer.h"

namespace {

using namespace pxtest;
using DisplayTest = LayerTest;

TEST_F(DisplayTest, SetUpChecksThePlatformsPreconditionsAndSaysWhy) {
  ASSERT_NE(MakeWindow(), nullptr);
  ASSERT_EQ(DirectDrawCreateEx(NULL, reinterpret_cast<void**>(&dd), IID_IDirectDraw7, NULL), DD_OK);
  DDSURFACEDESC2 d{};
  d.dwSize = sizeof d;
  d.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
  d.dwBackBufferCount = 1;
  d.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
  IDirectDrawSurface7* surface = nullptr;
  EXPECT_EQ(dd->CreateSurface(&d, &surface, NULL), DDERR_NOCOOPERATIVELEVELSET);
  ASSERT_EQ(dd->SetCooperativeLevel(window, 0x53), DD_OK);
  IDirectDraw7* other = nullptr;  // one owner holds the display
  ASSERT_EQ(DirectDrawCreateEx(NULL, reinterpret_cast<void**>(&other), IID_IDirectDraw7, NULL),
            DD_OK);
  EXPECT_EQ(other->SetCooperativeLevel(window, 0x53), DDERR_EXCLUSIVEMODEALREADYSET);
  EXPECT_EQ(other->Release(), 0u);
  EXPECT_EQ(dd->SetDisplayMode(640, 480, 16, 0, 0), DDERR_INVALIDMODE);
  EXPECT_FALSE(pxh::DisplayModeSet());
  ASSERT_EQ(dd->SetDisplayMode(640, 480, 8, 0, 0), DD_OK);
  EXPECT_TRUE(pxh::DisplayModeSet());
  d.dwSize = 124 + 4;  // any size but the record's own
  EXPECT_EQ(dd->CreateSurface(&d, &surface, NULL), DDERR_INVALIDPARAMS);
  const auto report = pxh::MisuseReport();
  for (const char* why : {"before SetCooperativeLevel", "640 x 480 x 8", "sizeof(DDSURFACEDESC2)"})
    EXPECT_TRUE(Contains(report, why)) << why << " in " << Joined(report);
  EXPECT_EQ(dd->RestoreDisplayMode(), DD_OK);
  EXPECT_FALSE(pxh::DisplayModeSet());
  EXPECT_EQ(dd->Release(), 0u);
}

TEST_F(DisplayTest, LockedMemoryIsAddressedByPitchWiderThanARow) {
  OpenDisplay();
  DDSURFACEDESC2 lock{};
  lock.dwSize = sizeof lock;
  ASSERT_EQ(primary->Lock(NULL, &lock, DDLOCK_WAIT, NULL), DD_OK);
  EXPECT_EQ(lock.lPitch, pxh::SurfacePitch());
  EXPECT_GT(lock.lPitch, 640);
  auto* bytes = static_cast<uint8_t*>(lock.lpSurface);
  bytes[10 * lock.lPitch + 20] = 7;  // pixel (20, 10)
  bytes[10 * 640 + 30] = 9;          // what code ignoring the pitch would write for (30, 10)
  ASSERT_EQ(primary->Unlock(NULL), DD_OK);
  EXPECT_EQ(At(primary, 20, 10), 7);
  EXPECT_EQ(At(primary, 30, 10), 0);
  CloseDisplay();
}

TEST_F(DisplayTest, LocksAndDeviceContextsExcludeEachOtherAndEveryRefusalIsReported) {
  OpenDisplay();
  DDSURFACEDESC2 lock{};
  lock.dwSize = sizeof lock;
  HDC dc = NULL, backDc = NULL;
  ASSERT_EQ(primary->Lock(NULL, &lock, DDLOCK_WAIT, NULL), DD_OK);
  EXPECT_EQ(primary->Lock(NULL, &lock, DDLOCK_WAIT, NULL), DDERR_SURFACEBUSY);
  EXPECT_EQ(Fill(primary, 3), DD_OK);  // misuse, answered as Windows answers it
  DDBLTFX fx{};
  fx.dwSize = sizeof fx;
  EXPECT_EQ(back->Blt(NULL, primary, NULL, DDBLT_COLORFILL, &fx), DDERR_INVALIDPARAMS);
  // The older, shorter record is filled as far as it goes, and no further.
  DDSURFACEDESC2 old{};
  old.dwSize = sizeof(DDSURFACEDESC);
  old.dwTextureStage = 0xdeadbeef;
  ASSERT_EQ(back->Lock(NULL, &old, DDLOCK_WAIT, NULL), DD_OK);
  EXPECT_EQ(old.dwSize, sizeof(DDSURFACEDESC));
  EXPECT_EQ(old.dwWidth, 640u);
  EXPECT_EQ(old.lPitch, pxh::SurfacePitch());
  EXPECT_NE(old.lpSurface, nullptr);
  EXPECT_EQ(old.dwTextureStage, 0xdeadbeefu);
  EXPECT_EQ(back->Unlock(NULL), DD_OK);
  EXPECT_EQ(back->Lock(NULL, &lock, DDLOCK_WAIT, NULL), DD_OK);  // another surface may be locked
  EXPECT_EQ(back->Unlock(NULL), DD_OK);
  EXPECT_EQ(primary->Unlock(NULL), DD_OK);
  EXPECT_EQ(primary->Unlock(NULL), DDERR_NOTLOCKED);
  ASSERT_EQ(primary->GetDC(&dc), DD_OK);
  EXPECT_EQ(primary->Lock(NULL, &lock, DDLOCK_WAIT, NULL), DDERR_SURFACEBUSY);
  ASSERT_EQ(back->GetDC(&backDc), DD_OK);
  EXPECT_EQ(primary->ReleaseDC(backDc), DDERR_INVALIDPARAMS);
  EXPECT_EQ(back->ReleaseDC(backDc), DD_OK);
  EXPECT_EQ(primary->ReleaseDC(dc), DD_OK);
  CloseDisplay();
  const auto report = pxh::MisuseReport();  // every refusal, and nothing else
  EXPECT_EQ(report.size(), 6u) << Joined(report);
  for (const char* why : {"already locked", "colour fill of a locked surface",
                          "colour fill with a source", "not locked", "not this surface's"})
    EXPECT_TRUE(Contains(report, why)) << why << " in " << Joined(report);
}

TEST_F(DisplayTest, TheFlipChainOutlivesThePrimaryAndTeardownNamesWhatWasLeft) {
  OpenDisplay();
  const auto ddRefs = [this] { return dd->AddRef(), dd->Release(); };
  EXPECT_EQ(ddRefs(), 3u);            // the program's, the chain's and the palette's
  EXPECT_EQ(palette->Release(), 1u);  // the chain holds the palette too
  palette = nullptr;
  EXPECT_EQ(primary->Release(), 0u);
  primary = nullptr;
  DDSURFACEDESC2 lock{};
  lock.dwSize = sizeof lock;
  ASSERT_EQ(back->Lock(NULL, &lock, DDLOCK_WAIT, NULL), DD_OK);
  HDC dc = NULL;
  ASSERT_EQ(back->GetDC(&dc), DD_OK);
  const auto report = pxh::MisuseReport();
  for (const char* left : {"IDirectDrawSurface7@back still locked",
                           "IDirectDrawSurface7@back device context not released",
                           "IDirectDrawSurface7@back not released", "IDirectDraw7 not released",
                           "display mode not restored"})
    EXPECT_TRUE(Contains(report, left)) << left << " in " << Joined(report);
  ASSERT_EQ(back->ReleaseDC(dc), DD_OK);
  ASSERT_EQ(back->Unlock(NULL), DD_OK);
  // The program's last reference ends the chain; old interfaces refuse calls.
  IDirectDrawSurface7* stale = back;
  EXPECT_EQ(back->Release(), 1u);
  back = nullptr;
  EXPECT_EQ(ddRefs(), 1u);  // the chain and its palette gave theirs back
  EXPECT_EQ(stale->Lock(NULL, &lock, DDLOCK_WAIT, NULL), DDERR_INVALIDOBJECT);
  CloseDisplay();
  EXPECT_TRUE(Contains(pxh::MisuseReport(), "released surface"));
  pxh::Reset();
  EXPECT_EQ(pxh::MisuseReport(), std::vector<std::string>{});
  EXPECT_EQ(stale->Unlock(NULL), DDERR_INVALIDOBJECT);
}

}  // namespace
