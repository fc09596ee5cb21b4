// pixshow-glyphgen: the glyph tables of the web build's text.
//
//   pixshow-glyphgen FONT.ttf OUT.h
//
// The native layer draws text with SDL2_ttf, which shapes a line with
// HarfBuzz and draws FreeType's monochrome glyph images. The web build has
// neither, so this tool takes from the same font, at the same size and with
// the same settings: each character's glyph image and advance, the
// ligatures, and the kerning of every pair, and writes them as C++ tables.
// Before writing, it draws every character and every pair of characters
// (and a few longer lines) both ways, with SDL2_ttf and with the tables, and
// fails unless every picture is identical.
#include <SDL.h>
#include <SDL_ttf.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <hb-ft.h>
#include <hb.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/portable/backends/web/glyph_layout.h"

namespace {

using pxport::GlyphImage;
using pxport::GlyphKern;
using pxport::GlyphToken;

struct Shaped {
  hb_codepoint_t glyph;
  int32_t advance;
  bool plain;  // no offsets, no vertical movement
};

hb_font_t* g_hb = nullptr;
FT_Face g_face = nullptr;
int g_ascent = 0;

std::string Utf8(const std::string& latin1) {
  std::string out;
  for (unsigned char c : latin1) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// Shapes as SDL2_ttf does: left to right, script unknown.
std::vector<Shaped> Shape(const std::string& latin1) {
  hb_buffer_t* buffer = hb_buffer_create();
  hb_buffer_set_direction(buffer, HB_DIRECTION_LTR);
  hb_buffer_set_script(buffer, HB_SCRIPT_UNKNOWN);
  const std::string text = Utf8(latin1);
  hb_buffer_add_utf8(buffer, text.c_str(), -1, 0, -1);
  hb_shape(g_hb, buffer, nullptr, 0);
  unsigned count = 0;
  const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer, &count);
  const hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(buffer, &count);
  std::vector<Shaped> out;
  for (unsigned i = 0; i < count; ++i) {
    out.push_back({info[i].codepoint, pos[i].x_advance,
                   pos[i].x_offset == 0 && pos[i].y_offset == 0 && pos[i].y_advance == 0});
  }
  hb_buffer_destroy(buffer);
  return out;
}

struct Tables {
  std::vector<GlyphImage> images;
  std::vector<uint8_t> bits;
  std::vector<GlyphToken> tokens;
  std::vector<GlyphKern> kerns;
  std::map<hb_codepoint_t, int> imageOf;
  std::vector<std::string> text;  // each token's characters
};

bool Fail(const std::string& message) {
  std::fprintf(stderr, "pixshow-glyphgen: %s\n", message.c_str());
  return false;
}

// The glyph image as SDL2_ttf makes it for solid text.
bool AddImage(Tables& t, hb_codepoint_t glyph, int* index) {
  auto found = t.imageOf.find(glyph);
  if (found != t.imageOf.end()) {
    *index = found->second;
    return true;
  }
  if (FT_Load_Glyph(g_face, glyph, FT_LOAD_DEFAULT | FT_LOAD_TARGET_NORMAL) != 0)
    return Fail("cannot load a glyph");
  FT_GlyphSlot slot = g_face->glyph;
  GlyphImage image{};
  image.boxLeft = static_cast<int16_t>(slot->bitmap_left);
  image.boxTop = static_cast<int16_t>(g_ascent - slot->bitmap_top);
  image.boxWidth = static_cast<uint16_t>(slot->bitmap.width);
  image.boxRows = static_cast<uint16_t>(slot->bitmap.rows);
  if (FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) != 0) return Fail("cannot draw a glyph");
  image.left = static_cast<int16_t>(slot->bitmap_left);
  image.top = static_cast<int16_t>(g_ascent - slot->bitmap_top);
  image.width = static_cast<uint16_t>(slot->bitmap.width);
  image.rows = static_cast<uint16_t>(slot->bitmap.rows);
  image.bits = static_cast<uint32_t>(t.bits.size());
  const int rowBytes = (image.width + 7) / 8;
  for (unsigned r = 0; r < slot->bitmap.rows; ++r) {
    const unsigned char* row = slot->bitmap.buffer + static_cast<long>(r) * slot->bitmap.pitch;
    t.bits.insert(t.bits.end(), row, row + rowBytes);
  }
  *index = static_cast<int>(t.images.size());
  t.images.push_back(image);
  t.imageOf[glyph] = *index;
  return true;
}

bool AddToken(Tables& t, const std::string& chars, const Shaped& shaped) {
  GlyphToken token{};
  for (size_t i = 0; i < chars.size(); ++i) token.chars[i] = static_cast<uint8_t>(chars[i]);
  token.length = static_cast<uint8_t>(chars.size());
  token.advance = shaped.advance;
  int image = -1;
  if (!AddImage(t, shaped.glyph, &image)) return false;
  token.image = static_cast<int16_t>(image);
  t.tokens.push_back(token);
  t.text.push_back(chars);
  return true;
}

bool BuildTables(Tables& t) {
  // Token 0 stands for the string's end and is never drawn.
  t.tokens.push_back(GlyphToken{{0, 0, 0}, 1, 0, -1});
  t.text.push_back("");
  for (int c = 1; c < 256; ++c) {
    std::vector<Shaped> s = Shape(std::string(1, static_cast<char>(c)));
    if (s.size() != 1 || !s[0].plain)
      return Fail("character " + std::to_string(c) + " is not one plain glyph");
    if (!AddToken(t, std::string(1, static_cast<char>(c)), s[0])) return false;
  }
  // Ligatures of two characters, then of such a pair and one more.
  for (int a = 1; a < 256; ++a) {
    for (int b = 1; b < 256; ++b) {
      const std::string pair{static_cast<char>(a), static_cast<char>(b)};
      std::vector<Shaped> s = Shape(pair);
      if (s.size() == 1 && !AddToken(t, pair, s[0])) return false;
    }
  }
  const size_t pairs = t.tokens.size();
  for (size_t l = 256; l < pairs; ++l) {
    for (int c = 1; c < 256; ++c) {
      const std::string triple = t.text[l] + static_cast<char>(c);
      std::vector<Shaped> s = Shape(triple);
      if (s.size() == 1 && !AddToken(t, triple, s[0])) return false;
    }
  }
  // Kerning: what the first token's advance gains in front of the second.
  for (size_t i = 1; i < t.tokens.size(); ++i) {
    for (size_t j = 1; j < t.tokens.size(); ++j) {
      std::vector<Shaped> s = Shape(t.text[i] + t.text[j]);
      if (s.size() != 2) continue;  // a longer ligature: taken whole
      const int32_t adjust = s[0].advance - t.tokens[i].advance;
      if (adjust != 0) t.kerns.push_back({uint16_t(i), uint16_t(j), adjust});
    }
  }
  return true;
}

bool Check(const pxport::GlyphSet& set, TTF_Font* font, const std::string& text) {
  pxport::TextBitmap mine;
  pxport::ComposeText(set, text.c_str(), mine);
  SDL_Surface* real = TTF_RenderText_Solid(font, text.c_str(), SDL_Color{255, 255, 255, 255});
  bool same = real == nullptr ? mine.width == 0 : real->w == mine.width && real->h == mine.height;
  if (same && real != nullptr) {
    SDL_LockSurface(real);
    for (int y = 0; y < real->h && same; ++y) {
      const uint8_t* row = static_cast<const uint8_t*>(real->pixels) + y * real->pitch;
      for (int x = 0; x < real->w && same; ++x)
        same = (row[x] != 0) == (mine.ink[y * mine.width + x] != 0);
    }
    SDL_UnlockSurface(real);
  }
  if (real != nullptr) SDL_FreeSurface(real);
  if (!same) {
    std::string shown;
    for (unsigned char c : text) {
      char code[8];
      std::snprintf(code, sizeof code, "\\x%02x", c);
      shown += (c >= 32 && c < 127) ? std::string(1, char(c)) : std::string(code);
    }
    return Fail("the tables draw \"" + shown + "\" differently from SDL2_ttf");
  }
  return true;
}

bool CheckAll(const Tables& t, TTF_Font* font) {
  const pxport::GlyphSet set{TTF_FontHeight(font),
                             t.images.data(),
                             t.bits.data(),
                             t.tokens.data(),
                             static_cast<int>(t.tokens.size()),
                             t.kerns.data(),
                             static_cast<int>(t.kerns.size())};
  for (int a = 1; a < 256; ++a) {
    if (!Check(set, font, std::string(1, char(a)))) return false;
    for (int b = 1; b < 256; ++b) {
      if (!Check(set, font, std::string{char(a), char(b)})) return false;
    }
  }
  for (const char* text :
       {"Load Failure", "The quick brown fox jumps over the lazy dog.", "AVATAR Yoyo, WAVE Tj",
        "office affluent baffle ffffi fiflffl", "0123456789 -1 +42 (x) [y] {z}",
        "\xC0\xC9\xD6\xDC\xE0\xE9\xF6\xFC \xA9\xAE\xB0\xB5 T\xF6 V\xE4"}) {
    if (!Check(set, font, text)) return false;
  }
  return true;
}

// An array and its length; an empty one holds one unused entry, as C++ has no
// empty arrays.
template <typename T, typename F>
void WriteArray(FILE* out, const char* type, const char* name, const std::vector<T>& items, F row) {
  std::fprintf(out, "constexpr int %sCount = %zu;\nconstexpr %s %s[] = {\n", name, items.size(),
               type, name);
  for (const T& item : items) row(item);
  if (items.empty()) row(T{});
  std::fprintf(out, "};\n");
}

bool Write(const Tables& t, int lineHeight, const char* path) {
  FILE* out = std::fopen(path, "w");
  if (out == nullptr)
    return Fail(std::string("cannot write ") + path + ": " + std::strerror(errno));
  std::fprintf(out,
               "// Made by pixshow-glyphgen from DejaVu Sans Bold at %d points: do not edit.\n",
               pxport::kFontPoints);
  std::fprintf(out,
               "namespace pxport {\nnamespace glyphdata {\n\nconstexpr int kLineHeight = %d;\n\n",
               lineHeight);
  WriteArray(out, "GlyphImage", "kImages", t.images, [&](const GlyphImage& g) {
    std::fprintf(out, "    {%d, %d, %u, %u, %u, %d, %d, %u, %u},\n", g.left, g.top, g.width, g.rows,
                 g.bits, g.boxLeft, g.boxTop, g.boxWidth, g.boxRows);
  });
  std::fprintf(out, "constexpr uint8_t kBits[] = {");
  for (size_t i = 0; i < t.bits.size(); ++i)
    std::fprintf(out, "%s%u,", i % 24 == 0 ? "\n    " : "", t.bits[i]);
  std::fprintf(out, "\n};\n");
  WriteArray(out, "GlyphToken", "kTokens", t.tokens, [&](const GlyphToken& k) {
    std::fprintf(out, "    {{%u, %u, %u}, %u, %d, %d},\n", k.chars[0], k.chars[1], k.chars[2],
                 k.length, k.advance, k.image);
  });
  WriteArray(out, "GlyphKern", "kKerns", t.kerns, [&](const GlyphKern& k) {
    std::fprintf(out, "    {%u, %u, %d},\n", k.first, k.second, k.adjust);
  });
  std::fprintf(out, "\n}  // namespace glyphdata\n}  // namespace pxport\n");
  if (std::fclose(out) != 0) return Fail(std::string("cannot write ") + path);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: pixshow-glyphgen FONT.ttf OUT.h\n");
    return 2;
  }
  if (TTF_Init() != 0) return Fail(std::string("cannot start SDL2_ttf: ") + TTF_GetError()), 1;
  TTF_Font* font = TTF_OpenFont(argv[1], pxport::kFontPoints);
  FT_Library library;
  if (font == nullptr || FT_Init_FreeType(&library) != 0 ||
      FT_New_Face(library, argv[1], 0, &g_face) != 0) {
    Fail(std::string("cannot open the font ") + argv[1]);
    return 1;
  }
  // The font renderer's settings: 72 dpi, hinted, HarfBuzz measuring hinted advances.
  g_hb = hb_ft_font_create(g_face, nullptr);
  hb_ft_font_set_load_flags(g_hb, FT_LOAD_DEFAULT | FT_LOAD_TARGET_NORMAL);
  FT_Set_Char_Size(g_face, 0, pxport::kFontPoints * 64, 0, 0);
  hb_ft_font_changed(g_hb);
  g_ascent = TTF_FontAscent(font);
  Tables tables;
  const bool done =
      BuildTables(tables) && CheckAll(tables, font) && Write(tables, TTF_FontHeight(font), argv[2]);
  hb_font_destroy(g_hb);
  FT_Done_Face(g_face);
  FT_Done_FreeType(library);
  TTF_CloseFont(font);
  TTF_Quit();
  return done ? 0 : 1;
}
