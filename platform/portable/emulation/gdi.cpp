// GDI on a surface's device context: colours, background mode, text, pens,
// brushes and rectangles, drawn straight into the 8-bit surface memory.
//
// A COLORREF becomes the nearest entry of the palette in force (the lowest
// index on a tie). Text uses one proportional bold sans font with a 16-pixel
// line, rendered without anti-aliasing; (x, y) is the top-left corner of the
// first character cell. Device contexts of windows (BeginPaint) draw nothing:
// the screen shows only the DirectDraw surfaces.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/portable/emulation/layer.h"
#include "platform/portable/emulation/text_raster.h"

namespace pxport {

namespace {

constexpr uintptr_t kStockBase = 0x50000;
constexpr int kStockCount = 20;

struct StockTable {
  GdiObject objects[kStockCount];
  bool valid[kStockCount];
  StockTable() : objects(), valid() {
    auto set = [&](int i, GdiKind kind, COLORREF color, bool isNull) {
      objects[i] = GdiObject{kind, true, isNull, color, 1, 0};
      valid[i] = true;
    };
    set(WHITE_BRUSH, GdiKind::Brush, RGB(255, 255, 255), false);
    set(LTGRAY_BRUSH, GdiKind::Brush, RGB(192, 192, 192), false);
    set(GRAY_BRUSH, GdiKind::Brush, RGB(128, 128, 128), false);
    set(DKGRAY_BRUSH, GdiKind::Brush, RGB(64, 64, 64), false);
    set(BLACK_BRUSH, GdiKind::Brush, RGB(0, 0, 0), false);
    set(NULL_BRUSH, GdiKind::Brush, 0, true);
    set(WHITE_PEN, GdiKind::Pen, RGB(255, 255, 255), false);
    set(BLACK_PEN, GdiKind::Pen, RGB(0, 0, 0), false);
    set(NULL_PEN, GdiKind::Pen, 0, true);
    for (int font : {OEM_FIXED_FONT, ANSI_FIXED_FONT, ANSI_VAR_FONT, SYSTEM_FONT,
                     DEVICE_DEFAULT_FONT, SYSTEM_FIXED_FONT, DEFAULT_GUI_FONT}) {
      set(font, GdiKind::Font, 0, false);
    }
    set(DC_BRUSH, GdiKind::Brush, RGB(255, 255, 255), false);
    set(DC_PEN, GdiKind::Pen, RGB(0, 0, 0), false);
  }
};
StockTable g_stock;

HGDIOBJ StockHandle(int i) {
  return reinterpret_cast<HGDIOBJ>(kStockBase + static_cast<uintptr_t>(i));
}

GdiObject* LookupObject(HGDIOBJ handle) {
  const uintptr_t value = reinterpret_cast<uintptr_t>(handle);
  if (value >= kStockBase && value < kStockBase + kStockCount) {
    const int i = static_cast<int>(value - kStockBase);
    return g_stock.valid[i] ? &g_stock.objects[i] : nullptr;
  }
  auto it = W().gdiObjects.find(value);
  return it == W().gdiObjects.end() ? nullptr : &it->second;
}

DeviceContext* LookupDc(HDC hdc) {
  auto it = W().dcs.find(reinterpret_cast<uintptr_t>(hdc));
  return it == W().dcs.end() ? nullptr : &it->second;
}

const char* KindName(GdiKind kind) {
  switch (kind) {
    case GdiKind::Pen:
      return "pen";
    case GdiKind::Brush:
      return "brush";
    default:
      return "font";
  }
}

std::string Hex(COLORREF value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%06x", static_cast<unsigned>(value));
  return text;
}

HDC NewDc(SurfaceObject* surface, HWND window) {
  World& w = W();
  const HDC hdc = reinterpret_cast<HDC>(w.nextGdi);
  w.nextGdi += 0x10;
  w.dcs[reinterpret_cast<uintptr_t>(hdc)] = DeviceContext{surface,
                                                          window,
                                                          RGB(0, 0, 0),
                                                          RGB(255, 255, 255),
                                                          OPAQUE,
                                                          StockHandle(BLACK_PEN),
                                                          StockHandle(WHITE_BRUSH),
                                                          StockHandle(SYSTEM_FONT)};
  return hdc;
}

// Where a device context draws: surface memory and palette, or nothing.
struct Target {
  uint8_t* bytes = nullptr;
  const PALETTEENTRY* palette = nullptr;
  bool visible = false;
};

Target TargetOf(const DeviceContext& dc) {
  Target target;
  if (dc.surface == nullptr) return target;
  target.bytes = SurfaceBytes(dc.surface);
  target.palette = SurfacePalette(dc.surface);
  target.visible = dc.surface == PrimarySurface();
  return target;
}

void FillBox(const Target& target, long left, long top, long right, long bottom, uint8_t index) {
  left = std::max(left, 0L);
  top = std::max(top, 0L);
  right = std::min(right, static_cast<long>(kScreenWidth));
  bottom = std::min(bottom, static_cast<long>(kScreenHeight));
  if (left >= right) return;
  for (long y = top; y < bottom; ++y) {
    std::memset(target.bytes + y * kPitch + left, index, static_cast<size_t>(right - left));
  }
}

// Whether the box of `run`, drawn into `memory`, still holds the pixels the text left.
bool Intact(const TextRun& run, const uint8_t* memory) {
  if (run.memory != memory) return false;
  const long width = run.right - run.left;
  for (long y = run.top; y < run.bottom; ++y) {
    if (std::memcmp(memory + y * kPitch + run.left, &run.pixels[(y - run.top) * width], width) != 0)
      return false;
  }
  return true;
}

// Notes a line just drawn: it takes the place of the lines it covers and of
// those overdrawn since on the same memory. A few hundred are kept at most.
void NoteText(const Target& target, int x, int y, const TextBitmap& glyphs,
              const std::string& text) {
  constexpr size_t kMostRuns = 256;
  TextRun run{target.bytes,
              std::max<long>(x, 0),
              std::max<long>(y, 0),
              std::min<long>(static_cast<long>(x) + glyphs.width, kScreenWidth),
              std::min<long>(static_cast<long>(y) + glyphs.height, kScreenHeight),
              x,
              y,
              text,
              {}};
  if (run.left >= run.right || run.top >= run.bottom) return;
  std::vector<TextRun>& runs = W().textRuns;
  runs.erase(std::remove_if(runs.begin(), runs.end(),
                            [&](const TextRun& old) {
                              if (old.memory != run.memory) return false;
                              const bool meets = old.left < run.right && run.left < old.right &&
                                                 old.top < run.bottom && run.top < old.bottom;
                              return meets || !Intact(old, run.memory);
                            }),
             runs.end());
  if (runs.size() >= kMostRuns) runs.erase(runs.begin());
  for (long row = run.top; row < run.bottom; ++row) {
    run.pixels.insert(run.pixels.end(), run.memory + row * kPitch + run.left,
                      run.memory + row * kPitch + run.right);
  }
  runs.push_back(std::move(run));
}

// A device context lets go of an object; one deleted while selected goes now
// if no other context holds it.
void Deselect(HGDIOBJ handle) {
  GdiObject* object = LookupObject(handle);
  if (object == nullptr || object->stock) return;
  if (--object->selectedIn <= 0 && object->doomed)
    W().gdiObjects.erase(reinterpret_cast<uintptr_t>(handle));
}

}  // namespace

HDC CreateSurfaceDc(SurfaceObject* surface) { return NewDc(surface, nullptr); }

HDC CreateWindowDc(HWND window) { return NewDc(nullptr, window); }

void ReleaseDc(HDC hdc) {
  DeviceContext* dc = LookupDc(hdc);
  if (dc == nullptr) return;
  for (HGDIOBJ handle : {dc->pen, dc->brush, dc->font}) {
    GdiObject* object = LookupObject(handle);
    if (object == nullptr || object->stock) continue;
    Refuse(std::string("device context released with a ") + KindName(object->kind) +
           " of the program still selected");
    Deselect(handle);
  }
  W().dcs.erase(reinterpret_cast<uintptr_t>(hdc));
}

void ReportGdiState(std::vector<std::string>& out) {
  for (const auto& [handle, object] : W().gdiObjects) {
    out.push_back(std::string("GDI ") + KindName(object.kind) + " " +
                  HandleText(reinterpret_cast<void*>(handle)) + " not deleted");
  }
  for (const auto& [handle, dc] : W().dcs) {
    if (dc.surface == nullptr) out.push_back("BeginPaint without EndPaint");
  }
}

std::vector<TextShown> TextOnScreen() {
  std::vector<TextShown> shown;
  const uint8_t* memory = CurrentFrame().pixels;
  if (memory == nullptr) return shown;
  for (const TextRun& run : W().textRuns) {
    if (Intact(run, memory)) shown.push_back({run.x, run.y, run.text});
  }
  return shown;
}

}  // namespace pxport

using namespace pxport;

namespace {

// SetTextColor and SetBkColor: the previous colour, CLR_INVALID for a device
// context that does not exist.
COLORREF SetDcColour(Call& call, HDC hdc, COLORREF DeviceContext::*field, COLORREF color) {
  DeviceContext* dc = LookupDc(hdc);
  if (dc == nullptr) {
    call.Refuse(" on a device context that does not exist");
    return CLR_INVALID;
  }
  const COLORREF previous = dc->*field;
  dc->*field = color;
  return previous;
}

}  // namespace

#ifndef _WIN32  // see "Functions" in include/windows.h
extern "C" {
#endif

HGDIOBJ WINAPI GetStockObject(int i) {
  Call call("GetStockObject", std::to_string(i));
  if (i < 0 || i >= kStockCount || !g_stock.valid[i]) return nullptr;
  return StockHandle(i);
}

COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color) {
  Call call("SetTextColor", Hex(color));
  return SetDcColour(call, hdc, &DeviceContext::textColor, color);
}

COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color) {
  Call call("SetBkColor", Hex(color));
  return SetDcColour(call, hdc, &DeviceContext::bkColor, color);
}

int WINAPI SetBkMode(HDC hdc, int mode) {
  Call call("SetBkMode", std::to_string(mode));
  DeviceContext* dc = LookupDc(hdc);
  if (dc == nullptr) {
    call.Refuse(" on a device context that does not exist");
    return 0;
  }
  if (mode != OPAQUE && mode != TRANSPARENT) return 0;
  const int previous = dc->bkMode;
  dc->bkMode = mode;
  return previous;
}

BOOL WINAPI TextOutA(HDC hdc, int x, int y, LPCSTR lpString, int c) {
  const std::string text =
      (lpString != nullptr && c > 0) ? std::string(lpString, static_cast<size_t>(c)) : "";
  Call call("TextOutA", std::to_string(x) + "," + std::to_string(y) + " \"" + text + "\"");
  DeviceContext* dc = LookupDc(hdc);
  if (dc == nullptr) {
    call.Refuse(" on a device context that does not exist");
    return FALSE;
  }
  if (c < 0 || (c > 0 && lpString == nullptr)) {
    call.Refuse(" with a negative length or no string");
    return FALSE;
  }
  if (call.Faulted()) return FALSE;
  const Target target = TargetOf(*dc);
  if (target.bytes == nullptr || text.empty()) return TRUE;
  // Characters after an embedded zero are not drawn.
  TextBitmap glyphs;
  if (!RasterizeText(text.c_str(), glyphs)) return FALSE;
  const uint8_t ink = NearestIndex(target.palette, dc->textColor);
  const uint8_t paper = NearestIndex(target.palette, dc->bkColor);
  const bool opaque = dc->bkMode == OPAQUE;
  for (int row = 0; row < glyphs.height; ++row) {
    const long sy = static_cast<long>(y) + row;
    if (sy < 0 || sy >= kScreenHeight) continue;
    const uint8_t* source = glyphs.ink.data() + static_cast<size_t>(row) * glyphs.width;
    uint8_t* dest = target.bytes + sy * kPitch;
    for (int col = 0; col < glyphs.width; ++col) {
      const long sx = static_cast<long>(x) + col;
      if (sx < 0 || sx >= kScreenWidth) continue;
      if (source[col] != 0) {
        dest[sx] = ink;
      } else if (opaque) {
        dest[sx] = paper;
      }
    }
  }
  NoteText(target, x, y, glyphs, text.substr(0, std::strlen(text.c_str())));
  if (target.visible) CurrentBackend().Invalidate();
  return TRUE;
}

HPEN WINAPI CreatePen(int iStyle, int cWidth, COLORREF color) {
  Call call("CreatePen", std::to_string(iStyle) + "," + std::to_string(cWidth) + "," + Hex(color));
  if (iStyle < PS_SOLID || iStyle > PS_INSIDEFRAME) return nullptr;
  if (call.Faulted()) return nullptr;
  World& w = W();
  const uintptr_t handle = w.nextGdi;
  w.nextGdi += 0x10;
  w.gdiObjects[handle] =
      GdiObject{GdiKind::Pen, false, iStyle == PS_NULL, color, std::max(cWidth, 1), 0};
  return reinterpret_cast<HPEN>(handle);
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
  Call call("CreateSolidBrush", Hex(color));
  if (call.Faulted()) return nullptr;
  World& w = W();
  const uintptr_t handle = w.nextGdi;
  w.nextGdi += 0x10;
  w.gdiObjects[handle] = GdiObject{GdiKind::Brush, false, false, color, 1, 0};
  return reinterpret_cast<HBRUSH>(handle);
}

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
  Call call("SelectObject", HandleText(h));
  DeviceContext* dc = LookupDc(hdc);
  if (dc == nullptr) {
    call.Refuse(" on a device context that does not exist");
    return nullptr;
  }
  GdiObject* object = LookupObject(h);
  if (object == nullptr) {
    call.Refuse(" of an object that does not exist");
    return nullptr;
  }
  HGDIOBJ* slot = object->kind == GdiKind::Pen     ? &dc->pen
                  : object->kind == GdiKind::Brush ? &dc->brush
                                                   : &dc->font;
  const HGDIOBJ previous = *slot;
  if (previous == h) return previous;
  if (!object->stock) ++object->selectedIn;
  *slot = h;
  Deselect(previous);
  return previous;
}

BOOL WINAPI DeleteObject(HGDIOBJ ho) {
  Call call("DeleteObject", HandleText(ho));
  GdiObject* object = LookupObject(ho);
  if (object == nullptr) {
    call.Refuse(" of an object that does not exist");
    return FALSE;
  }
  if (object->stock) return TRUE;
  // Windows says yes and deletes the object once no device context holds it.
  if (object->selectedIn > 0) {
    call.Refuse(std::string(" of a ") + KindName(object->kind) +
                " still selected into a device context");
    object->doomed = true;
    return TRUE;
  }
  W().gdiObjects.erase(reinterpret_cast<uintptr_t>(ho));
  return TRUE;
}

BOOL WINAPI Rectangle(HDC hdc, int left, int top, int right, int bottom) {
  Call call("Rectangle", std::to_string(left) + "," + std::to_string(top) + "," +
                             std::to_string(right) + "," + std::to_string(bottom));
  DeviceContext* dc = LookupDc(hdc);
  if (dc == nullptr) {
    call.Refuse(" on a device context that does not exist");
    return FALSE;
  }
  if (call.Faulted()) return FALSE;
  const Target target = TargetOf(*dc);
  if (target.bytes == nullptr) return TRUE;
  long l = std::min(left, right), r = std::max(left, right);
  long t = std::min(top, bottom), b = std::max(top, bottom);
  const GdiObject* pen = LookupObject(dc->pen);
  const GdiObject* brush = LookupObject(dc->brush);
  const bool drawOutline = pen != nullptr && !pen->nullObject;
  const bool fill = brush != nullptr && !brush->nullObject;
  if (!drawOutline) {
    // Without a pen the filled area loses its right column and bottom row.
    if (fill) FillBox(target, l, t, r - 1, b - 1, NearestIndex(target.palette, brush->color));
  } else {
    const long width = std::max(pen->width, 1);
    const uint8_t ink = NearestIndex(target.palette, pen->color);
    if (fill && r - l > 2 * width && b - t > 2 * width) {
      FillBox(target, l + width, t + width, r - width, b - width,
              NearestIndex(target.palette, brush->color));
    }
    FillBox(target, l, t, r, std::min(t + width, b), ink);  // top
    FillBox(target, l, std::max(b - width, t), r, b, ink);  // bottom
    FillBox(target, l, t, std::min(l + width, r), b, ink);  // left
    FillBox(target, std::max(r - width, l), t, r, b, ink);  // right
  }
  if (target.visible) CurrentBackend().Invalidate();
  return TRUE;
}

#ifndef _WIN32
}  // extern "C"
#endif
