#include "platform/portable/backends/web/glyph_layout.h"

#include <algorithm>
#include <vector>

namespace pxport {

namespace {

// Whole pixels of a 1/64-pixel position, rounded down.
int Floor64(int32_t v) { return static_cast<int>(v >> 6); }

int32_t Kerning(const GlyphSet& set, int first, int second) {
  const GlyphKern* end = set.kerns + set.kernCount;
  const GlyphKern* k =
      std::lower_bound(set.kerns, end, GlyphKern{uint16_t(first), uint16_t(second), 0},
                       [](const GlyphKern& a, const GlyphKern& b) {
                         return a.first != b.first ? a.first < b.first : a.second < b.second;
                       });
  return k != end && k->first == first && k->second == second ? k->adjust : 0;
}

// The token at `text`: the longest ligature that starts there, else the character.
int TokenAt(const GlyphSet& set, const uint8_t* text, int* length) {
  int best = text[0];
  *length = 1;
  for (int t = 256; t < set.tokenCount; ++t) {
    const GlyphToken& token = set.tokens[t];
    if (token.length <= *length) continue;
    int n = 0;
    while (n < token.length && text[n] == token.chars[n]) ++n;
    if (n == token.length) {
      best = t;
      *length = n;
    }
  }
  return best;
}

}  // namespace

void ComposeText(const GlyphSet& set, const char* latin1, TextBitmap& out) {
  out = TextBitmap();
  std::vector<int> tokens;
  const uint8_t* text = reinterpret_cast<const uint8_t*>(latin1);
  while (*text != 0) {
    int length = 1;
    tokens.push_back(TokenAt(set, text, &length));
    text += length;
  }
  // Pen positions, and the box every image and the final pen fit in.
  std::vector<int32_t> pen(tokens.size());
  int32_t x = 0;
  int minX = 0, maxX = 0, minY = 0, maxY = set.lineHeight;
  for (size_t i = 0; i < tokens.size(); ++i) {
    const GlyphToken& token = set.tokens[tokens[i]];
    pen[i] = x;
    x += token.advance;
    if (i + 1 < tokens.size()) x += Kerning(set, tokens[i], tokens[i + 1]);
    if (token.image < 0) continue;
    const GlyphImage& image = set.images[token.image];
    const int left = Floor64(pen[i]) + image.boxLeft;
    minX = std::min(minX, left);
    maxX = std::max(maxX, left + image.boxWidth);
    minY = std::min(minY, static_cast<int>(image.boxTop));
    maxY = std::max(maxY, image.boxTop + image.boxRows);
  }
  maxX = std::max(maxX, Floor64(x));
  if (maxX - minX == 0) return;  // nothing visible
  out.width = maxX - minX;
  out.height = maxY - minY;
  out.ink.assign(static_cast<size_t>(out.width) * out.height, 0);
  for (size_t i = 0; i < tokens.size(); ++i) {
    const GlyphToken& token = set.tokens[tokens[i]];
    if (token.image < 0) continue;
    const GlyphImage& image = set.images[token.image];
    const int x0 = Floor64(pen[i]) + image.left - minX, y0 = image.top - minY;
    const int rowBytes = (image.width + 7) / 8;
    // Parts outside the line's box are cut off.
    for (int r = std::max(0, -y0); r < std::min<int>(image.rows, out.height - y0); ++r) {
      const uint8_t* bits = set.bits + image.bits + r * rowBytes;
      uint8_t* dest = out.ink.data() + static_cast<size_t>(y0 + r) * out.width;
      for (int c = std::max(0, -x0); c < std::min<int>(image.width, out.width - x0); ++c) {
        if (bits[c >> 3] & (0x80 >> (c & 7))) dest[x0 + c] = 1;
      }
    }
  }
}

}  // namespace pxport
