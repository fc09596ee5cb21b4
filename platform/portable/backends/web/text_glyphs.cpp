// Text bitmaps for the web build, composed from the glyph tables that
// pixshow-glyphgen made from the font at build time.
#include <cstdint>

#include "platform/portable/emulation/text_raster.h"
#include "platform/portable/backends/web/glyph_layout.h"

#include "glyph_data.h"  // generated

namespace pxport {

bool RasterizeText(const char* latin1, TextBitmap& out) {
  using namespace glyphdata;
  static const GlyphSet set{kLineHeight,  kImages, kBits,      kTokens,
                            kTokensCount, kKerns,  kKernsCount};
  ComposeText(set, latin1, out);
  return true;
}

}  // namespace pxport
