// Text bitmaps from SDL2_ttf and the font embedded at build time.
#include <SDL.h>
#include <SDL_ttf.h>

#include <cstdio>
#include <cstring>

#include "platform/portable/emulation/text_raster.h"

extern "C" const unsigned char pxport_font_begin[];
extern "C" const unsigned char pxport_font_end[];

namespace pxport {

namespace {

TTF_Font* Font() {
  static TTF_Font* font = nullptr;
  static bool tried = false;
  if (!tried) {
    tried = true;
    if (TTF_WasInit() == 0 && TTF_Init() != 0) {
      std::fprintf(stderr, "pixshow: cannot start the font renderer: %s\n", TTF_GetError());
      return nullptr;
    }
    SDL_RWops* data = SDL_RWFromConstMem(pxport_font_begin,
                                         static_cast<int>(pxport_font_end - pxport_font_begin));
    font = data != nullptr ? TTF_OpenFontRW(data, 1, kFontPoints) : nullptr;
    if (font == nullptr)
      std::fprintf(stderr, "pixshow: cannot load the built-in font: %s\n", TTF_GetError());
  }
  return font;
}

}  // namespace

bool RasterizeText(const char* latin1, TextBitmap& out) {
  out = TextBitmap();
  TTF_Font* font = Font();
  if (font == nullptr) return false;
  SDL_Surface* glyphs = TTF_RenderText_Solid(font, latin1, SDL_Color{255, 255, 255, 255});
  if (glyphs == nullptr) return true;  // nothing visible to draw
  out.width = glyphs->w;
  out.height = glyphs->h;
  out.ink.resize(static_cast<size_t>(out.width) * out.height);
  SDL_LockSurface(glyphs);
  for (int row = 0; row < glyphs->h; ++row) {
    std::memcpy(out.ink.data() + static_cast<size_t>(row) * out.width,
                static_cast<const uint8_t*>(glyphs->pixels) + row * glyphs->pitch,
                static_cast<size_t>(out.width));
  }
  SDL_UnlockSurface(glyphs);
  SDL_FreeSurface(glyphs);
  return true;
}

}  // namespace pxport
