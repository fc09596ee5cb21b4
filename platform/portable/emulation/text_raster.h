// Inside the portable layer: one line of text as a bitmap, for TextOutA.
// The font is DejaVu Sans Bold at 13 points (a 16-pixel line), drawn without
// anti-aliasing. Natively SDL2_ttf renders it (text_ttf.cpp); the web build
// composes the same bitmaps from glyph tables made at build time
// (backends/web/text_glyphs.cpp), so both draw identical pixels.
#ifndef PIXSHOW_PLATFORM_PORTABLE_EMULATION_TEXT_RASTER_H
#define PIXSHOW_PLATFORM_PORTABLE_EMULATION_TEXT_RASTER_H

#include <cstdint>
#include <vector>

namespace pxport {

constexpr int kFontPoints = 13;

struct TextBitmap {
  int width = 0, height = 0;
  std::vector<uint8_t> ink;  // width * height, row 0 first; nonzero where text is
};

// Draws `latin1` (ended by its zero) into `out`. Returns false when the font
// cannot be had; an empty bitmap (width 0) means nothing visible to draw.
bool RasterizeText(const char* latin1, TextBitmap& out);

}  // namespace pxport

#endif
