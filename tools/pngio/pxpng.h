// pxpng: the PNG reading and writing that pixshow's tools share.
//
// A thin layer over libpng. Every failure comes back as false plus a one-line
// message; libpng's own error handling never escapes (no longjmp across our
// code, nothing printed). Writes go to a temporary file beside the target,
// which is renamed over the target only once it is complete, so an existing
// file is never left half-written.
#ifndef PIXSHOW_TOOLS_PXPNG_H
#define PIXSHOW_TOOLS_PXPNG_H

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace pxpng {

// Writes an 8-bit indexed PNG of w x h pixels with a 256-entry colour table.
// Row y of the picture is idx[y * stride + 0 .. w - 1]; rgb[i] is the red,
// green and blue of colour i. On failure the target is untouched.
bool WriteIndexedPng(const std::string& path, int w, int h, const uint8_t* idx, int stride,
                     const uint8_t rgb[256][3], std::string* error);

// A decoded PNG.
struct Image {
  int width = 0;
  int height = 0;

  // True for a colour-mapped PNG (colour type 3). Then `indices` holds the
  // file's own indices, width * height bytes row by row (1, 2 and 4-bit files
  // are widened to one byte per pixel), and `palette` its colour table:
  // paletteSize entries of red, green, blue, alpha (alpha from tRNS, else 255).
  bool indexed = false;
  std::vector<uint8_t> indices;
  int paletteSize = 0;
  uint8_t palette[256][4] = {};

  // Every PNG, indexed or not: width * height pixels of red, green, blue,
  // alpha, 8 bits each (16-bit samples are scaled, grey is widened to RGB,
  // tRNS becomes alpha, no gamma correction). An index beyond the colour
  // table reads as opaque black here.
  std::vector<uint8_t> rgba;
};

// Reads any PNG: grey, grey + alpha, RGB, RGBA or indexed, 1 to 16 bits,
// interlaced or not. Images larger than kMaxSide on a side or kMaxPixels in
// all are refused.
bool ReadPng(const std::string& path, Image* out, std::string* error);

constexpr int kMaxSide = 32768;
constexpr long long kMaxPixels = 64LL * 1024 * 1024;

// Writes a file through a temporary file beside `path`: `fill` writes the
// contents to the stream it is given and returns false (with a message) to
// abandon. The temporary file is flushed, closed and renamed over `path`
// only when everything succeeded; otherwise it is removed and `path` keeps
// what it held. An existing target's permissions carry over.
bool WriteFileReplacing(const std::string& path,
                        const std::function<bool(std::FILE*, std::string*)>& fill,
                        std::string* error);

}  // namespace pxpng

#endif
