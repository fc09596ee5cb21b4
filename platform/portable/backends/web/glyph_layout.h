// Text composed from glyph tables: the layout SDL2_ttf gives a line of text
// (shaped by HarfBuzz), reproduced for the web build. pixshow-glyphgen
// writes the tables from the real font at build time and checks that this
// layout draws what SDL2_ttf draws.
//
// Positions are in 1/64 pixel, as the font renderer keeps them. A token is
// one character or a ligature of two or three; each has one glyph image.
// The pen starts at 0 and moves by the token's advance plus the kerning of
// the pair it forms with the next token; a glyph image lands at the pen's
// whole pixel plus its left bearing.
#ifndef PIXSHOW_PLATFORM_PORTABLE_BACKENDS_WEB_GLYPH_LAYOUT_H
#define PIXSHOW_PLATFORM_PORTABLE_BACKENDS_WEB_GLYPH_LAYOUT_H

#include <cstdint>

#include "platform/portable/emulation/text_raster.h"

namespace pxport {

// The image as drawn, and the box the line's size is reckoned from (the font
// renderer's estimate before drawing; it may differ from the image by a pixel).
struct GlyphImage {
  int16_t left, top;  // from the pen's whole pixel and the line's top to the first column and row
  uint16_t width, rows;
  uint32_t bits;  // offset into GlyphSet::bits: rows of (width + 7) / 8 bytes, high bit first
  int16_t boxLeft, boxTop;
  uint16_t boxWidth, boxRows;
};

struct GlyphToken {
  uint8_t chars[3];  // Latin-1 codes; a ligature of two has chars[2] == 0
  uint8_t length;    // 1 to 3
  int32_t advance;   // 1/64 pixel
  int16_t image;     // into GlyphSet::images; -1 for none
};

struct GlyphKern {
  uint16_t first, second;  // tokens
  int32_t adjust;          // 1/64 pixel, added to the first token's advance
};

struct GlyphSet {
  int lineHeight;  // pixels
  const GlyphImage* images;
  const uint8_t* bits;
  const GlyphToken* tokens;  // tokens[c] is character c (1..255); ligatures follow from 256
  int tokenCount;
  const GlyphKern* kerns;  // sorted by (first, second)
  int kernCount;
};

// Lays out and draws `latin1` (ended by its zero) as SDL2_ttf would.
void ComposeText(const GlyphSet& set, const char* latin1, TextBitmap& out);

}  // namespace pxport

#endif
