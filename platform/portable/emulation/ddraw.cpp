// DirectDraw 7 for one display mode, 640 x 480 with 8 bits per pixel: the
// DirectDraw object, a primary surface with an optional back buffer (a flip
// chain), palettes, locks, device contexts, colour fills and flips.
//
// Surface memory is wider than a row (kPitch > 640), so code must step rows
// by lPitch. A flip exchanges the memory behind the two interfaces, as the
// hardware does. The palette belongs to the flip chain: a change of an entry
// recolours every pixel of that index on both surfaces at once.
//
// When the program's window loses the focus, the exclusive owner gives the
// display back: the flip chain is lost (its picture with it) and the desktop
// mode returns. Back in front, the mode comes back by itself but the chain
// stays lost until Restore or RestoreAllSurfaces.
#include <algorithm>
#include <cstring>

#include "platform/portable/emulation/layer.h"

namespace pxport {

struct PaletteObject;
struct SurfaceObject;
struct DirectDrawObject;

struct FlipChain final : LayerObject {
  std::unique_ptr<PixelBuffer> memory[2];
  SurfaceObject* front = nullptr;
  SurfaceObject* back = nullptr;  // null for a single primary surface
  PaletteObject* palette = nullptr;
  DirectDrawObject* owner = nullptr;  // holds one of its references while the chain lives
  bool destroyed = false;
  bool lost = false;  // the display went to another program, or its mode away
  void Forget() override {
    memory[0].reset();
    memory[1].reset();
    destroyed = true;
  }
};

namespace {

std::vector<PaletteObject*> g_palettes;

// The chain's owner: whether it has exclusive use of the display, and giving
// back the reference the chain holds (defined with the DirectDraw object).
bool OwnerExclusive(const FlipChain* chain);
void ReleaseOwner(FlipChain* chain);
void ReleaseDirectDraw(DirectDrawObject* dd);

void FillDescription(DDSURFACEDESC2* desc, DWORD caps, DWORD backBuffers) {
  const DWORD size = desc->dwSize;
  std::memset(desc, 0, sizeof *desc);
  desc->dwSize = size;
  desc->dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PITCH | DDSD_PIXELFORMAT;
  desc->dwHeight = kScreenHeight;
  desc->dwWidth = kScreenWidth;
  desc->lPitch = kPitch;
  if (backBuffers != 0) {
    desc->dwFlags |= DDSD_BACKBUFFERCOUNT;
    desc->dwBackBufferCount = backBuffers;
  }
  desc->ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
  desc->ddpfPixelFormat.dwFlags = DDPF_RGB | DDPF_PALETTEINDEXED8;
  desc->ddpfPixelFormat.dwRGBBitCount = 8;
  desc->ddsCaps.dwCaps = caps;
}

// Gives a lost chain its memory back, once the display is the program's
// again. What the memory held is gone.
HRESULT RestoreChain(FlipChain* chain) {
  if (!chain->lost) return DD_OK;
  if (!W().focused || !W().modeSet) return DDERR_WRONGMODE;
  for (auto& memory : chain->memory) {
    if (memory) std::fill(memory->bytes.begin(), memory->bytes.end(), uint8_t{0});
  }
  chain->lost = false;
  CurrentBackend().Invalidate();
  return DD_OK;
}

bool ValidRect(const RECT* r) {
  return r->left >= 0 && r->top >= 0 && r->right <= kScreenWidth && r->bottom <= kScreenHeight &&
         r->left < r->right && r->top < r->bottom;
}

}  // namespace

// --- Palette ------------------------------------------------------------------------

struct PaletteObject final : ComObject<PaletteObject, IDirectDrawPalette> {
  static constexpr const char* kInterface = "IDirectDrawPalette::";
  static constexpr const char* kReleased = " on a released palette";
  static constexpr HRESULT kGone = DDERR_INVALIDOBJECT;
  static REFIID OwnIid() { return IID_IDirectDrawPalette; }

  DWORD caps = 0;
  PALETTEENTRY entries[256] = {};
  DirectDrawObject* owner = nullptr;  // holds one of its references while the palette lives

  // A reference the layer itself holds (a surface the palette is attached to).
  void ReleaseInternal() {
    if (refs > 0) Released(--refs);
  }
  void Released(ULONG left) {
    if (left != 0) return;
    DirectDrawObject* dd = owner;
    owner = nullptr;
    ReleaseDirectDraw(dd);
  }

  HRESULT STDMETHODCALLTYPE GetCaps(LPDWORD lpdwCaps) override {
    MethodCall call(this, "GetCaps");
    if (!call.Usable()) return DDERR_INVALIDOBJECT;
    if (lpdwCaps == nullptr) return DDERR_INVALIDPARAMS;
    *lpdwCaps = caps;
    return DD_OK;
  }
  HRESULT STDMETHODCALLTYPE GetEntries(DWORD dwFlags, DWORD dwBase, DWORD dwNumEntries,
                                       LPPALETTEENTRY lpEntries) override {
    MethodCall call(this, "GetEntries", std::to_string(dwBase));
    if (!call.Usable()) return DDERR_INVALIDOBJECT;
    if (dwFlags != 0 || lpEntries == nullptr || dwBase > 256 || dwNumEntries > 256 - dwBase) {
      call.Refuse(": bad flags, range or record");
      return DDERR_INVALIDPARAMS;
    }
    HRESULT code = call.Fault(DD_OK);
    if (FAILED(code)) return code;
    std::memcpy(lpEntries, entries + dwBase, dwNumEntries * sizeof(PALETTEENTRY));
    return DD_OK;
  }
  HRESULT STDMETHODCALLTYPE SetEntries(DWORD dwFlags, DWORD dwStartingEntry, DWORD dwCount,
                                       LPPALETTEENTRY lpEntries) override {
    std::string range = std::to_string(dwStartingEntry);
    if (dwCount != 1) range += "," + std::to_string(dwCount);
    MethodCall call(this, "SetEntries", range);
    if (!call.Usable()) return DDERR_INVALIDOBJECT;
    if (dwFlags != 0 || lpEntries == nullptr) {
      call.Refuse(": bad flags or record");
      return DDERR_INVALIDPARAMS;
    }
    // Windows answers DD_OK for entries past the 256th (Wine writes them past
    // its table); here they are left out, and the call counts as misuse.
    if (dwStartingEntry > 256 || dwCount > 256 - dwStartingEntry)
      call.Refuse(": entries past the 256th");
    HRESULT code = call.Fault(DD_OK);
    if (FAILED(code)) return code;
    const DWORD first = std::min<DWORD>(dwStartingEntry, 256);
    std::memcpy(entries + first, lpEntries,
                std::min<DWORD>(dwCount, 256 - first) * sizeof(PALETTEENTRY));
    if ((caps & DDPCAPS_ALLOW256) == 0) {
      entries[0] = PALETTEENTRY{0, 0, 0, 0};
      entries[255] = PALETTEENTRY{255, 255, 255, 0};
    }
    CurrentBackend().Invalidate();
    return DD_OK;
  }
};

// --- Surfaces -----------------------------------------------------------------------

struct SurfaceObject final : ComObject<SurfaceObject, IDirectDrawSurface7> {
  static constexpr const char* kInterface = "IDirectDrawSurface7::";
  static constexpr const char* kReleased = " on a released surface";
  static constexpr HRESULT kGone = DDERR_INVALIDOBJECT;
  static REFIID OwnIid() { return IID_IDirectDrawSurface7; }

  FlipChain* chain = nullptr;
  bool front = true;
  DWORD caps = 0;
  PixelBuffer* memory = nullptr;
  bool locked = false;
  HDC dc = nullptr;

  std::string Suffix() const { return front ? "@primary" : "@back"; }
  bool Exists() const { return Alive() && chain != nullptr && !chain->destroyed; }
  SurfaceObject* Other() const { return front ? chain->back : chain->front; }
  bool Visible() const { return front; }

  void DestroyChain() {
    FlipChain* c = chain;
    for (SurfaceObject* s : {c->front, c->back}) {
      if (s == nullptr) continue;
      const std::string release = std::string(kInterface) + "Release" + s->Suffix();
      if (s->locked) Refuse(release + ": surface released while locked");
      if (s->dc != nullptr) {
        Refuse(release + ": surface released with its device context outstanding");
        ReleaseDc(s->dc);
        s->dc = nullptr;
      }
      s->locked = false;
    }
    if (c->palette != nullptr) {
      c->palette->caps &= ~static_cast<DWORD>(DDPCAPS_PRIMARYSURFACE);
      c->palette->ReleaseInternal();
    }
    c->palette = nullptr;
    c->Forget();
    if (W().chain == c) W().chain = nullptr;
    ReleaseOwner(c);
    CurrentBackend().Invalidate();
  }

  // The front holds one reference to the back buffer (as Windows counts it);
  // the chain goes with the last reference the program holds to either.
  void Released(ULONG) {
    if (chain->front->refs == 0 && (chain->back == nullptr || chain->back->refs <= 1))
      DestroyChain();
  }

  HRESULT STDMETHODCALLTYPE Blt(LPRECT lpDestRect, LPDIRECTDRAWSURFACE7 lpDDSrcSurface,
                                LPRECT lpSrcRect, DWORD dwFlags, LPDDBLTFX lpDDBltFx) override {
    std::string fill;
    if ((dwFlags & DDBLT_COLORFILL) != 0 && lpDDBltFx != nullptr) {
      fill = "fill " + std::to_string(lpDDBltFx->dwFillColor);
    }
    MethodCall call(this, "Blt", fill);
    if (!call.Usable()) return DDERR_INVALIDOBJECT;
    if ((dwFlags & DDBLT_COLORFILL) != 0 && lpDDSrcSurface != nullptr) {
      call.Refuse(": colour fill with a source surface");
      return DDERR_INVALIDPARAMS;
    }
    RECT dest{0, 0, kScreenWidth, kScreenHeight};
    if (lpDestRect != nullptr) {
      if (!ValidRect(lpDestRect)) {
        call.Refuse(": destination rectangle outside the surface");
        return DDERR_INVALIDRECT;
      }
      dest = *lpDestRect;
    }
    SurfaceObject* source = nullptr;
    RECT src{0, 0, kScreenWidth, kScreenHeight};
    if ((dwFlags & DDBLT_COLORFILL) != 0) {
      if (lpDDBltFx == nullptr) {
        call.Refuse(": colour fill without a DDBLTFX");
        return DDERR_INVALIDPARAMS;
      }
      // Windows fills anyway (Wine does not look at dwSize either).
      if (lpDDBltFx->dwSize != sizeof(DDBLTFX))
        call.Refuse(": DDBLTFX whose dwSize is not sizeof(DDBLTFX)");
    } else {
      source = SurfaceFromInterface(lpDDSrcSurface);
      if (source == nullptr) {
        call.Refuse(": neither a colour fill nor a source surface");
        return DDERR_INVALIDPARAMS;
      }
      if (lpSrcRect != nullptr) {
        if (!ValidRect(lpSrcRect)) {
          call.Refuse(": source rectangle outside the surface");
          return DDERR_INVALIDRECT;
        }
        src = *lpSrcRect;
      }
      if (src.right - src.left != dest.right - dest.left ||
          src.bottom - src.top != dest.bottom - dest.top) {
        return DDERR_NOSTRETCHHW;
      }
    }
    if (chain->lost) return DDERR_SURFACELOST;
    if (dc != nullptr ||
        (source != nullptr && (locked || source->locked || source->dc != nullptr))) {
      call.Refuse(" on a surface that is locked or has its device context out");
      return DDERR_SURFACEBUSY;
    }
    // A colour fill goes through even while the program holds a lock.
    if (locked) call.Refuse(": colour fill of a locked surface");
    HRESULT code = call.Fault(DD_OK);
    if (FAILED(code)) return code;
    if (source == nullptr) {
      const uint8_t index = static_cast<uint8_t>(lpDDBltFx->dwFillColor);
      for (LONG y = dest.top; y < dest.bottom; ++y) {
        std::memset(memory->Row(y) + dest.left, index, static_cast<size_t>(dest.right - dest.left));
      }
    } else {
      std::vector<uint8_t> copy(static_cast<size_t>(src.right - src.left));
      for (LONG y = 0; y < src.bottom - src.top; ++y) {
        std::memcpy(copy.data(), source->memory->Row(src.top + y) + src.left, copy.size());
        std::memcpy(memory->Row(dest.top + y) + dest.left, copy.data(), copy.size());
      }
    }
    if (Visible()) CurrentBackend().Invalidate();
    return DD_OK;
  }

  HRESULT STDMETHODCALLTYPE Flip(LPDIRECTDRAWSURFACE7 lpDDSurfaceTargetOverride,
                                 DWORD dwFlags) override {
    (void)dwFlags;
    MethodCall call(this, "Flip");
    if (!call.Usable()) return DDERR_INVALIDOBJECT;
    if (!front || chain->back == nullptr) {
      call.Refuse(" on a surface that is not the front of a flip chain");
      return DDERR_NOTFLIPPABLE;
    }
    if (lpDDSurfaceTargetOverride != nullptr && lpDDSurfaceTargetOverride != chain->back) {
      call.Refuse(": the target is not this chain's back buffer");
      return DDERR_NOTFLIPPABLE;
    }
    if (chain->lost) return DDERR_SURFACELOST;
    if (!OwnerExclusive(chain)) {
      call.Refuse(" without exclusive use of the display");
      return DDERR_NOEXCLUSIVEMODE;
    }
    SurfaceObject* other = chain->back;
    if (locked || dc != nullptr || other->locked || other->dc != nullptr) {
      call.Refuse(" while a surface of the chain is locked or has its device context out");
      return DDERR_SURFACEBUSY;
    }
    HRESULT code = call.Fault(DD_OK);
    if (FAILED(code)) return code;
    std::swap(memory, other->memory);
    CurrentBackend().Invalidate();
    return DD_OK;
  }

  HRESULT STDMETHODCALLTYPE
  GetAttachedSurface(LPDDSCAPS2 lpDDSCaps, LPDIRECTDRAWSURFACE7* lplpDDAttachedSurface) override {
    MethodCall call(this, "GetAttachedSurface");
    if (!call.Usable()) return DDERR_INVALIDOBJECT;
    if (lpDDSCaps == nullptr || lplpDDAttachedSurface == nullptr) {
      call.Refuse(": missing capabilities or result pointer");
      return DDERR_INVALIDPARAMS;
    }
    *lplpDDAttachedSurface = nullptr;
    if (chain->lost) return DDERR_SURFACELOST;
    HRESULT code = call.Fault(DD_OK);
    if (FAILED(code)) return code;
    SurfaceObject* other = Other();
    const DWORD wanted = lpDDSCaps->dwCaps;
    if (other == nullptr || wanted == 0 || (other->caps & wanted) != wanted) return DDERR_NOTFOUND;
    ++other->refs;
    *lplpDDAttachedSurface = other;
    return DD_OK;
  }

  HRESULT STDMETHODCALLTYPE GetCaps(LPDDSCAPS2 lpDDSCaps) override {
    MethodCall call(this, "GetCaps");
    if (!call.Usable()) return DDERR_INVALIDOBJECT;
    if (lpDDSCaps == nullptr) return DDERR_INVALIDPARAMS;
    std::memset(lpDDSCaps, 0, sizeof *lpDDSCaps);
    lpDDSCaps->dwCaps = caps;
    return DD_OK;
  }

  HRESULT STDMETHODCALLTYPE GetDC(HDC* lphDC) override {
    MethodCall call(this, "GetDC");
    if (!call.Usable()) return DDERR_INVALIDOBJECT;
    if (lphDC == nullptr) {
      call.Refuse(": no result pointer");
      return DDERR_INVALIDPARAMS;
    }
    // A locked surface gives its device context too (DirectDraw 7 does).
    if (dc != nullptr) {
      call.Refuse(" while its device context is already out");
      return DDERR_DCALREADYCREATED;
    }
    if (chain->lost) return DDERR_SURFACELOST;
    HRESULT code = call.Fault(DD_OK);
    if (FAILED(code)) return code;
    dc = CreateSurfaceDc(this);
    *lphDC = dc;
    return DD_OK;
  }

  HRESULT STDMETHODCALLTYPE GetPalette(LPDIRECTDRAWPALETTE* lplpDDPalette) override {
    MethodCall call(this, "GetPalette");
    if (!call.Usable()) return DDERR_INVALIDOBJECT;
    if (lplpDDPalette == nullptr) return DDERR_INVALIDPARAMS;
    *lplpDDPalette = nullptr;
    if (!front || chain->palette == nullptr)
      return DDERR_NOPALETTEATTACHED;  // the primary holds it
    ++chain->palette->refs;
    *lplpDDPalette = chain->palette;
    return DD_OK;
  }

  HRESULT STDMETHODCALLTYPE IsLost() override {
    MethodCall call(this, "IsLost", "", CallKind::Neutral);
    if (!call.Usable()) return DDERR_INVALIDOBJECT;
    return call.Fault(chain->lost ? DDERR_SURFACELOST : DD_OK);
  }

  HRESULT STDMETHODCALLTYPE Lock(LPRECT lpDestRect, LPDDSURFACEDESC2 lpDDSurfaceDesc, DWORD dwFlags,
                                 HANDLE hEvent) override {
    (void)dwFlags;
    (void)hEvent;
    MethodCall call(this, "Lock");
    if (!call.Usable()) return DDERR_INVALIDOBJECT;
    // The older DDSURFACEDESC is taken too: it is the first part of the newer
    // record, and only that part is written.
    const DWORD size = lpDDSurfaceDesc == nullptr ? 0 : lpDDSurfaceDesc->dwSize;
    if (size != sizeof(DDSURFACEDESC2) && size != sizeof(DDSURFACEDESC)) {
      call.Refuse(": dwSize is neither sizeof(DDSURFACEDESC2) nor sizeof(DDSURFACEDESC)");
      return DDERR_INVALIDPARAMS;
    }
    if (lpDestRect != nullptr && !ValidRect(lpDestRect)) {
      call.Refuse(": rectangle outside the surface");
      lpDDSurfaceDesc->lpSurface = nullptr;
      return DDERR_INVALIDPARAMS;
    }
    if (chain->lost) return DDERR_SURFACELOST;  // lpSurface left as it was
    if (locked) {
      call.Refuse(" of a surface that is already locked");
      return DDERR_SURFACEBUSY;
    }
    if (dc != nullptr) {
      call.Refuse(" while its device context is out");
      return DDERR_SURFACEBUSY;
    }
    HRESULT code = call.Fault(DD_OK);
    if (FAILED(code)) return code;
    DDSURFACEDESC2 full = {};
    full.dwSize = size;
    FillDescription(&full, caps, front && chain->back != nullptr ? 1 : 0);
    full.lpSurface = memory->Row(0);
    if (lpDestRect != nullptr) full.lpSurface = memory->Row(lpDestRect->top) + lpDestRect->left;
    std::memcpy(lpDDSurfaceDesc, &full, size);
    locked = true;
    return DD_OK;
  }

  HRESULT STDMETHODCALLTYPE ReleaseDC(HDC hDC) override {
    MethodCall call(this, "ReleaseDC");
    if (!call.Usable()) return DDERR_INVALIDOBJECT;
    if (dc == nullptr) {
      call.Refuse(" without a device context out");
      return DDERR_NODC;
    }
    if (hDC != dc) {
      call.Refuse(" of a device context that is not this surface's");
      return DDERR_INVALIDPARAMS;
    }
    // Even a failing ReleaseDC ends the device context (as when the surface is lost).
    ReleaseDc(dc);
    dc = nullptr;
    if (Visible()) CurrentBackend().Invalidate();
    return call.Fault(DD_OK);
  }

  HRESULT STDMETHODCALLTYPE Restore() override {
    MethodCall call(this, "Restore");
    if (!call.Usable()) return DDERR_INVALIDOBJECT;
    HRESULT code = call.Fault(DD_OK);
    if (FAILED(code)) return code;
    return RestoreChain(chain);  // the whole chain: its back buffer with it
  }

  HRESULT STDMETHODCALLTYPE SetPalette(LPDIRECTDRAWPALETTE lpDDPalette) override {
    MethodCall call(this, "SetPalette");
    if (!call.Usable()) return DDERR_INVALIDOBJECT;
    PaletteObject* palette = nullptr;
    if (lpDDPalette != nullptr) {
      for (PaletteObject* p : g_palettes) {
        if (p == lpDDPalette) palette = p;
      }
      if (palette == nullptr || !palette->Alive() || palette->refs == 0) {
        call.Refuse(" with a palette that does not exist");
        return DDERR_INVALIDOBJECT;
      }
    }
    HRESULT code = call.Fault(DD_OK);
    if (FAILED(code)) return code;
    if (palette == chain->palette) return DD_OK;
    if (palette != nullptr) {
      ++palette->refs;
      palette->caps |= DDPCAPS_PRIMARYSURFACE;
    }
    if (chain->palette != nullptr) {
      chain->palette->caps &= ~static_cast<DWORD>(DDPCAPS_PRIMARYSURFACE);
      chain->palette->ReleaseInternal();
    }
    chain->palette = palette;
    CurrentBackend().Invalidate();
    return DD_OK;
  }

  HRESULT STDMETHODCALLTYPE Unlock(LPRECT lpRect) override {
    (void)lpRect;
    MethodCall call(this, "Unlock");
    if (!call.Usable()) return DDERR_INVALIDOBJECT;
    if (!locked) {
      call.Refuse(" of a surface that is not locked");
      return DDERR_NOTLOCKED;
    }
    // Even a failing Unlock ends the lock (as when the surface is lost).
    locked = false;
    if (Visible()) CurrentBackend().Invalidate();
    return call.Fault(DD_OK);
  }
};

// --- The DirectDraw object ---------------------------------------------------------

struct DirectDrawObject final : ComObject<DirectDrawObject, IDirectDraw7> {
  static constexpr const char* kInterface = "IDirectDraw7::";
  static constexpr const char* kReleased = " on a released DirectDraw object";
  static constexpr HRESULT kGone = DDERR_INVALIDOBJECT;
  static REFIID OwnIid() { return IID_IDirectDraw7; }

  bool coopSet = false;
  DWORD coopFlags = 0;
  bool ownsMode = false;

  bool Exclusive() const { return coopSet && (coopFlags & DDSCL_EXCLUSIVE) != 0; }

  // The display mode goes back to the desktop's; the surfaces made for the
  // program's mode are lost until restored.
  void LoseMode() {
    if (ownsMode && W().modeSet && W().chain != nullptr && W().chain->owner == this)
      W().chain->lost = true;
    RestoreMode();
  }

  void RestoreMode() {
    if (ownsMode && W().modeSet) {
      W().modeSet = false;
      CurrentBackend().DisplayModeChanged(false);
    }
    ownsMode = false;
  }

  void Released(ULONG left) {
    if (left != 0) return;
    if (ownsMode && W().modeSet)
      Refuse(std::string(kInterface) + "Release while the display mode is still switched");
    RestoreMode();
    coopSet = false;
  }

  HRESULT STDMETHODCALLTYPE CreatePalette(DWORD dwFlags, LPPALETTEENTRY lpColorTable,
                                          LPDIRECTDRAWPALETTE* lplpDDPalette,
                                          IUnknown* pUnkOuter) override {
    MethodCall call(this, "CreatePalette");
    if (!call.Usable()) return DDERR_INVALIDOBJECT;
    if (lplpDDPalette == nullptr || lpColorTable == nullptr) {
      call.Refuse(": missing colour table or result pointer");
      return DDERR_INVALIDPARAMS;
    }
    *lplpDDPalette = nullptr;
    if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;
    if (!coopSet) {
      call.Refuse(" before SetCooperativeLevel");
      return DDERR_NOCOOPERATIVELEVELSET;
    }
    if ((dwFlags & DDPCAPS_8BIT) == 0 ||
        (dwFlags & (DDPCAPS_1BIT | DDPCAPS_2BIT | DDPCAPS_4BIT)) != 0) {
      call.Refuse(": only 8-bit palettes exist in 640 x 480 x 8");
      return DDERR_INVALIDPARAMS;
    }
    HRESULT code = call.Fault(DD_OK);
    if (FAILED(code)) return code;
    PaletteObject* palette = new PaletteObject;
    palette->owner = this;
    ++refs;
    palette->caps = dwFlags;
    std::memcpy(palette->entries, lpColorTable, sizeof palette->entries);
    if ((dwFlags & DDPCAPS_ALLOW256) == 0) {
      palette->entries[0] = PALETTEENTRY{0, 0, 0, 0};
      palette->entries[255] = PALETTEENTRY{255, 255, 255, 0};
    }
    g_palettes.push_back(palette);
    *lplpDDPalette = palette;
    return DD_OK;
  }

  HRESULT STDMETHODCALLTYPE CreateSurface(LPDDSURFACEDESC2 desc,
                                          LPDIRECTDRAWSURFACE7* lplpDDSurface,
                                          IUnknown* pUnkOuter) override {
    MethodCall call(this, "CreateSurface");
    if (!call.Usable()) return DDERR_INVALIDOBJECT;
    if (desc == nullptr || lplpDDSurface == nullptr || desc->dwSize != sizeof(DDSURFACEDESC2)) {
      call.Refuse(": missing record or dwSize is not sizeof(DDSURFACEDESC2)");
      return DDERR_INVALIDPARAMS;
    }
    *lplpDDSurface = nullptr;
    if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;
    if (!coopSet) {
      call.Refuse(" before SetCooperativeLevel");
      return DDERR_NOCOOPERATIVELEVELSET;
    }
    const DWORD wanted = (desc->dwFlags & DDSD_CAPS) != 0 ? desc->ddsCaps.dwCaps : 0;
    if ((wanted & DDSCAPS_PRIMARYSURFACE) == 0) {
      call.Refuse(": only the primary surface (with a back buffer) is available");
      return DDERR_INVALIDCAPS;
    }
    if (W().chain != nullptr) {
      call.Refuse(": the primary surface already exists");
      return DDERR_PRIMARYSURFACEALREADYEXISTS;
    }
    if ((desc->dwFlags & (DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT)) != 0) {
      call.Refuse(": a primary surface takes no size or pixel format");
      return DDERR_INVALIDPARAMS;
    }
    DWORD backBuffers = 0;
    if ((wanted & DDSCAPS_FLIP) != 0) {
      if ((wanted & DDSCAPS_COMPLEX) == 0) {
        call.Refuse(": a flippable surface must be complex");
        return DDERR_INVALIDCAPS;
      }
      if ((desc->dwFlags & DDSD_BACKBUFFERCOUNT) == 0 || desc->dwBackBufferCount == 0) {
        call.Refuse(": a flip chain needs DDSD_BACKBUFFERCOUNT and a count");
        return DDERR_INVALIDPARAMS;
      }
      if (desc->dwBackBufferCount != 1) {
        call.Refuse(": only one back buffer is available");
        return DDERR_OUTOFVIDEOMEMORY;
      }
      if (!Exclusive()) {
        call.Refuse(": a flip chain needs exclusive full-screen mode");
        return DDERR_NOEXCLUSIVEMODE;
      }
      backBuffers = 1;
    }
    if (!W().modeSet) {
      call.Refuse(": the display is not in 640 x 480 x 8");
      return DDERR_WRONGMODE;
    }
    HRESULT code = call.Fault(DD_OK);
    if (FAILED(code)) return code;

    FlipChain* chain = new FlipChain;
    chain->owner = this;
    ++refs;
    chain->memory[0] = std::make_unique<PixelBuffer>();
    SurfaceObject* front = new SurfaceObject;
    front->chain = chain;
    front->front = true;
    front->refs = 1;
    front->memory = chain->memory[0].get();
    front->caps = wanted | DDSCAPS_VIDEOMEMORY | DDSCAPS_LOCALVIDMEM | DDSCAPS_VISIBLE;
    chain->front = front;
    if (backBuffers != 0) {
      chain->memory[1] = std::make_unique<PixelBuffer>();
      front->caps |= DDSCAPS_FRONTBUFFER;
      SurfaceObject* back = new SurfaceObject;
      back->chain = chain;
      back->front = false;
      back->refs = 1;  // the front's
      back->memory = chain->memory[1].get();
      back->caps = DDSCAPS_BACKBUFFER | DDSCAPS_COMPLEX | DDSCAPS_FLIP | DDSCAPS_VIDEOMEMORY |
                   DDSCAPS_LOCALVIDMEM;
      chain->back = back;
    }
    W().chain = chain;
    *lplpDDSurface = front;
    CurrentBackend().Invalidate();
    return DD_OK;
  }

  HRESULT STDMETHODCALLTYPE GetDisplayMode(LPDDSURFACEDESC2 desc) override {
    MethodCall call(this, "GetDisplayMode");
    if (!call.Usable()) return DDERR_INVALIDOBJECT;
    if (desc == nullptr || desc->dwSize != sizeof(DDSURFACEDESC2)) {
      call.Refuse(": dwSize is not sizeof(DDSURFACEDESC2)");
      return DDERR_INVALIDPARAMS;
    }
    FillDescription(desc, 0, 0);
    desc->dwFlags |= DDSD_REFRESHRATE;
    desc->dwRefreshRate = 60;
    if (!W().modeSet) {
      // The desktop the program found: 32 bits per pixel, not palettized.
      desc->dwWidth = 1024;
      desc->dwHeight = 768;
      desc->lPitch = 1024 * 4;
      desc->ddpfPixelFormat.dwFlags = DDPF_RGB;
      desc->ddpfPixelFormat.dwRGBBitCount = 32;
      desc->ddpfPixelFormat.dwRBitMask = 0x00FF0000;
      desc->ddpfPixelFormat.dwGBitMask = 0x0000FF00;
      desc->ddpfPixelFormat.dwBBitMask = 0x000000FF;
    }
    return DD_OK;
  }

  HRESULT STDMETHODCALLTYPE RestoreDisplayMode() override {
    MethodCall call(this, "RestoreDisplayMode");
    if (!call.Usable()) return DDERR_INVALIDOBJECT;
    HRESULT code = call.Fault(DD_OK);
    if (FAILED(code)) return code;
    RestoreMode();
    return DD_OK;
  }

  HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND hWnd, DWORD dwFlags) override {
    MethodCall call(this, "SetCooperativeLevel", std::to_string(dwFlags));
    if (!call.Usable()) return DDERR_INVALIDOBJECT;
    const bool exclusive = (dwFlags & DDSCL_EXCLUSIVE) != 0;
    const bool fullscreen = (dwFlags & DDSCL_FULLSCREEN) != 0;
    const bool normal = (dwFlags & DDSCL_NORMAL) != 0;
    if ((exclusive && !fullscreen) || (normal && exclusive) || (!normal && !exclusive)) {
      call.Refuse(
          ": flags must be DDSCL_NORMAL (with or without DDSCL_FULLSCREEN) or DDSCL_EXCLUSIVE | "
          "DDSCL_FULLSCREEN");
      return DDERR_INVALIDPARAMS;
    }
    if (exclusive && (hWnd == nullptr || LookupWindow(hWnd) == nullptr)) {
      call.Refuse(": exclusive mode needs the program's window");
      return DDERR_INVALIDPARAMS;
    }
    if (exclusive) {
      for (DirectDrawObject* other : W().directDraws) {
        if (other != this && other->Alive() && other->refs > 0 && other->Exclusive()) {
          return DDERR_EXCLUSIVEMODEALREADYSET;
        }
      }
    }
    HRESULT code = call.Fault(DD_OK);
    if (FAILED(code)) return code;
    if (Exclusive() && !exclusive) LoseMode();
    coopSet = true;
    coopFlags = dwFlags;
    return DD_OK;
  }

  HRESULT STDMETHODCALLTYPE SetDisplayMode(DWORD dwWidth, DWORD dwHeight, DWORD dwBPP,
                                           DWORD dwRefreshRate, DWORD dwFlags) override {
    MethodCall call(
        this, "SetDisplayMode",
        std::to_string(dwWidth) + "," + std::to_string(dwHeight) + "," + std::to_string(dwBPP));
    if (!call.Usable()) return DDERR_INVALIDOBJECT;
    if (!coopSet) {
      call.Refuse(" before SetCooperativeLevel");
      return DDERR_NOCOOPERATIVELEVELSET;
    }
    if ((dwFlags & ~static_cast<DWORD>(DDSDM_STANDARDVGAMODE)) != 0) {
      call.Refuse(": unknown flags");
      return DDERR_INVALIDPARAMS;
    }
    if (dwWidth != kScreenWidth || dwHeight != kScreenHeight || dwBPP != 8 ||
        (dwRefreshRate != 0 && dwRefreshRate != 60)) {
      call.Refuse(": only 640 x 480 x 8 is available");
      return DDERR_INVALIDMODE;
    }
    if (Exclusive() && !W().focused) return DDERR_NOEXCLUSIVEMODE;
    HRESULT code = call.Fault(DD_OK);
    if (FAILED(code)) return code;
    ownsMode = true;
    if (!W().modeSet) {
      W().modeSet = true;
      CurrentBackend().DisplayModeChanged(true);
    }
    return DD_OK;
  }

  HRESULT STDMETHODCALLTYPE RestoreAllSurfaces() override {
    MethodCall call(this, "RestoreAllSurfaces");
    if (!call.Usable()) return DDERR_INVALIDOBJECT;
    HRESULT code = call.Fault(DD_OK);
    if (FAILED(code)) return code;
    // What cannot be restored yet stays lost; the answer is DD_OK all the same
    // (as Wine gives it; Restore tells the surface's own state).
    if (W().chain != nullptr && W().chain->owner == this) RestoreChain(W().chain);
    return DD_OK;
  }

  HRESULT STDMETHODCALLTYPE TestCooperativeLevel() override {
    MethodCall call(this, "TestCooperativeLevel", "", CallKind::Neutral);
    if (!call.Usable()) return DDERR_INVALIDOBJECT;
    if (!coopSet) return DDERR_NOCOOPERATIVELEVELSET;
    if (Exclusive() && !W().focused) return DDERR_NOEXCLUSIVEMODE;
    return call.Fault(DD_OK);
  }
};

namespace {

bool OwnerExclusive(const FlipChain* chain) {
  return chain->owner != nullptr && chain->owner->Exclusive();
}

void ReleaseOwner(FlipChain* chain) {
  DirectDrawObject* owner = chain->owner;
  chain->owner = nullptr;
  ReleaseDirectDraw(owner);
}

void ReleaseDirectDraw(DirectDrawObject* dd) {
  if (dd == nullptr || !dd->Alive() || dd->refs == 0) return;
  dd->Released(--dd->refs);
}

}  // namespace

// --- Helpers for the rest of the layer ---------------------------------------------

uint8_t* SurfaceBytes(SurfaceObject* surface) {
  if (surface == nullptr || !surface->Exists() || surface->memory == nullptr) return nullptr;
  return surface->memory->Row(0);
}

const PALETTEENTRY* SurfacePalette(SurfaceObject* surface) {
  if (surface == nullptr || !surface->Exists() || surface->chain->palette == nullptr)
    return nullptr;
  return surface->chain->palette->entries;
}

SurfaceObject* PrimarySurface() {
  FlipChain* chain = W().chain;
  if (chain == nullptr || !chain->Alive() || chain->destroyed) return nullptr;
  return chain->front;
}

SurfaceObject* SurfaceFromInterface(IDirectDrawSurface7* surface) {
  FlipChain* chain = W().chain;
  if (surface == nullptr || chain == nullptr || !chain->Alive() || chain->destroyed) return nullptr;
  if (surface == chain->front) return chain->front;
  if (chain->back != nullptr && surface == chain->back) return chain->back;
  return nullptr;
}

void DisplayFocusChanged(bool focused) {
  for (DirectDrawObject* dd : W().directDraws) {
    if (!dd->Exists() || !dd->Exclusive() || !dd->ownsMode) continue;
    if (!focused) {
      if (W().chain != nullptr) W().chain->lost = true;
      if (W().modeSet) {
        W().modeSet = false;
        CurrentBackend().DisplayModeChanged(false);
      }
    } else if (!W().modeSet) {
      W().modeSet = true;
      CurrentBackend().DisplayModeChanged(true);
    }
  }
  CurrentBackend().Invalidate();
}

void SurfaceDcReleased(SurfaceObject* surface) {
  if (surface != nullptr) surface->dc = nullptr;
}

void ReportDirectDrawState(std::vector<std::string>& out) {
  for (DirectDrawObject* dd : W().directDraws) {
    if (dd->Alive() && dd->refs > 0) {
      out.push_back("IDirectDraw7 not released (" + std::to_string(dd->refs) +
                    " reference(s) left)");
    }
  }
  SurfaceObject* front = PrimarySurface();
  if (front != nullptr) {
    for (SurfaceObject* s : {front, front->chain->back}) {
      if (s == nullptr) continue;
      const std::string name = std::string("IDirectDrawSurface7") + s->Suffix();
      const ULONG own =
          s->front ? s->refs : s->refs - std::min<ULONG>(s->refs, 1);  // less the front's
      if (own > 0)
        out.push_back(name + " not released (" + std::to_string(own) + " reference(s) left)");
      if (s->locked) out.push_back(name + " still locked");
      if (s->dc != nullptr) out.push_back(name + " device context not released");
    }
  }
  for (PaletteObject* p : g_palettes) {
    if (p->Alive() && p->refs > 0) {
      out.push_back("IDirectDrawPalette not released (" + std::to_string(p->refs) +
                    " reference(s) left)");
    }
  }
  if (W().modeSet) out.push_back("display mode not restored");
}

}  // namespace pxport

using namespace pxport;

extern "C" HRESULT WINAPI DirectDrawCreateEx(GUID* lpGUID, LPVOID* lplpDD, REFIID iid,
                                             IUnknown* pUnkOuter) {
  Call call("DirectDrawCreateEx");
  if (lplpDD == nullptr) {
    call.Refuse(": no result pointer");
    return DDERR_INVALIDPARAMS;
  }
  *lplpDD = nullptr;
  if (iid != IID_IDirectDraw7) {
    call.Refuse(": the interface must be IID_IDirectDraw7");
    return DDERR_INVALIDPARAMS;
  }
  if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;
  const uintptr_t driver = reinterpret_cast<uintptr_t>(lpGUID);
  if (driver != 0 && driver != DDCREATE_HARDWAREONLY && driver != DDCREATE_EMULATIONONLY) {
    return DDERR_INVALIDDIRECTDRAWGUID;
  }
  HRESULT code = DD_OK;
  if (call.Faulted(&code)) return code;
  if (!CurrentBackend().DisplayAvailable()) return DDERR_NODIRECTDRAWHW;
  DirectDrawObject* dd = new DirectDrawObject;
  W().directDraws.push_back(dd);
  *lplpDD = static_cast<IDirectDraw7*>(dd);
  return DD_OK;
}
