// pngio: the PNG reading and writing that pixshow's tools share.
//
// A thin layer over libpng. Every failure comes back as false plus a one-line
// message; libpng's own error handling never escapes (no longjmp across our
// code, nothing printed). Writes go through toolkit::WriteFileReplacing, so
// an existing file is never left half-written. Reading trusts nothing in the
// file: chunk lengths are checked against the file before libpng sees it,
// chunks the tools do not use are skipped, and pixel memory grows only with
// pixel data actually present.
#ifndef PIXSHOW_TOOLS_PNGIO_H
#define PIXSHOW_TOOLS_PNGIO_H

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace pngio {

// Writes an 8-bit indexed PNG of w x h pixels with a 256-entry colour table.
// Row y of the picture is idx[y * stride + 0 .. w - 1]; rgb[i] is the red,
// green and blue of colour i. On failure the target is untouched.
bool WriteIndexedPng(const std::string& path, int w, int h, const uint8_t* idx, int stride,
                     const uint8_t rgb[256][3], std::string* error);
// The same into an open stream.
bool WriteIndexedPngTo(std::FILE* f, int w, int h, const uint8_t* idx, int stride,
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

// Given the width and height from a PNG's header, an empty string to go on,
// or the reason (the whole message) to refuse the file before decoding.
using SizeCheck = std::function<std::string(int width, int height)>;

// Reads any PNG: grey, grey + alpha, RGB, RGBA or indexed, 1 to 16 bits,
// interlaced or not. Images larger than kMaxSide on a side or kMaxPixels in
// all are refused, and so is anything but a regular file (without waiting on
// a pipe or device). Ancillary chunks other than tRNS are skipped unread,
// whatever their size; the walk over the chunks stops at the first that is
// damaged (a type that is not four letters, a wrong checksum on a critical
// chunk). `check`, when given, sees the size before any pixel is decoded.
bool ReadPng(const std::string& path, Image* out, std::string* error,
             const SizeCheck& check = SizeCheck());
// The same from an open stream that can seek; `name` is for messages.
bool ReadPngFrom(std::FILE* f, const std::string& name, Image* out, std::string* error,
                 const SizeCheck& check = SizeCheck());

// The same row by row, for pictures too large to hold whole: `start` sees
// the image's size and colour table (its pixel vectors empty) before any
// pixel is decoded and may refuse it (a non-empty message); then `sink`
// gets rows 0 to height - 1 in order, each as width pixels of red, green,
// blue, alpha and, for a colour-mapped PNG, the file's indices (else null).
// Only an interlaced PNG is held whole while it is decoded. Exceptions
// thrown by the callbacks pass through, with nothing left allocated.
using HeaderCheck = std::function<std::string(const Image& header)>;
using RowSink = std::function<void(int y, const uint8_t* rgba, const uint8_t* indices)>;
bool ReadPngRows(const std::string& path, const HeaderCheck& start, const RowSink& sink,
                 std::string* error);
bool ReadPngRowsFrom(std::FILE* f, const std::string& name, const HeaderCheck& start,
                     const RowSink& sink, std::string* error);

constexpr int kMaxSide = 32768;
constexpr long long kMaxPixels = 64LL * 1024 * 1024;
// No chunk that is read (all but the pixel data and the skipped ones) may be
// longer than this.
constexpr long kMaxChunkBytes = 1024 * 1024;

}  // namespace pngio

#endif
