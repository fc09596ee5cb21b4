// pixshow-icongen: the program's icons from a portrait (a colour-mapped PNG,
// as pixsheet export writes one): the middle 64 x 64 square of it (a wider
// picture cut at the sides, a lower one with its top and bottom rows
// repeated), as PNGs of 48, 64, 128 and 256 pixels a side in the icon
// theme's folders (SIZExSIZE/pixshow.png; whole blocks of pixels where the
// size is a multiple of 64), as an SVG of the same pixels
// (scalable/pixshow.svg) and as the Windows programs' icon (pixshow.ico: 16, 32
// and 48 pixels as bitmaps, 256 as a PNG, as Windows' own icons hold them).
//
//   pixshow-icongen PORTRAIT.png OUTDIR
//
// Status 0 when done, 2 on a failure (one line on stderr).
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "pngio.h"
#include "toolkit.h"

namespace {

constexpr int kSide = 64;
const int kSizes[] = {48, 64, 128, 256};

int Fail(const std::string& why) {
  std::fprintf(stderr, "pixshow-icongen: %s\n", why.c_str());
  return 2;
}

// The square scaled to size x size pixels (nearest pixel).
std::vector<uint8_t> Scaled(const std::vector<uint8_t>& square, int size) {
  std::vector<uint8_t> icon(size * size);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x)
      icon[y * size + x] = square[y * kSide / size * kSide + x * kSide / size];
  return icon;
}

void PutLittle(std::string* out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out->push_back(static_cast<char>(value >> (8 * i) & 0xff));
}

// An .ico file: a directory of images, then each image, a bitmap (32-bit BGRA
// rows from the bottom, twice the height counting the all-clear AND mask) or a PNG.
bool MakeIco(const std::vector<uint8_t>& square, const uint8_t rgb[256][3], std::string* ico,
             std::string* error) {
  const int sizes[] = {16, 32, 48, 256};
  std::vector<std::string> images;
  for (int size : sizes) {
    const std::vector<uint8_t> icon = Scaled(square, size);
    std::string image;
    if (size == 256) {
      std::FILE* f = std::tmpfile();
      if (f == nullptr || !pngio::WriteIndexedPngTo(f, size, size, icon.data(), size, rgb, error)) {
        if (f != nullptr) std::fclose(f);
        if (error->empty()) *error = "cannot make a temporary file";
        return false;
      }
      std::rewind(f);
      char buffer[4096];
      for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) image.append(buffer, n);
      std::fclose(f);
    } else {
      const int maskRow = (size + 31) / 32 * 4;
      PutLittle(&image, 40, 4);
      PutLittle(&image, size, 4);
      PutLittle(&image, 2 * size, 4);
      PutLittle(&image, 1, 2);
      PutLittle(&image, 32, 2);
      PutLittle(&image, 0, 4);
      PutLittle(&image, size * size * 4 + size * maskRow, 4);
      image.append(16, '\0');  // resolution and colour counts: none
      for (int y = size - 1; y >= 0; --y)
        for (int x = 0; x < size; ++x) {
          const uint8_t* colour = rgb[icon[y * size + x]];
          PutLittle(&image, colour[2] | colour[1] << 8 | colour[0] << 16 | 0xffu << 24, 4);
        }
      image.append(size * maskRow, '\0');
    }
    images.push_back(image);
  }
  PutLittle(ico, 0, 2);
  PutLittle(ico, 1, 2);
  PutLittle(ico, images.size(), 2);
  uint32_t offset = 6 + 16 * images.size();
  for (size_t i = 0; i < images.size(); ++i) {
    PutLittle(ico, sizes[i] & 0xff, 1);  // 0 is 256
    PutLittle(ico, sizes[i] & 0xff, 1);
    PutLittle(ico, 0, 2);
    PutLittle(ico, 1, 2);
    PutLittle(ico, 32, 2);
    PutLittle(ico, images[i].size(), 4);
    PutLittle(ico, offset, 4);
    offset += images[i].size();
  }
  for (const std::string& image : images) *ico += image;
  return true;
}

bool WriteText(const std::string& path, const std::string& text, std::string* error) {
  return toolkit::WriteFileReplacing(
      path,
      [&text](std::FILE* f, std::string* why) {
        if (std::fwrite(text.data(), 1, text.size(), f) == text.size()) return true;
        *why = "cannot write";
        return false;
      },
      error);
}

int Main(const std::vector<std::string>& args) {
  if (args.size() != 3) return Fail("usage: pixshow-icongen PORTRAIT.png OUTDIR");
  pngio::Image portrait;
  std::string error;
  if (!pngio::ReadPng(args[1], &portrait, &error)) return Fail(error);
  if (!portrait.indexed) return Fail(args[1] + ": not a colour-mapped PNG");
  // The square: the portrait's middle, its edges repeated where it is smaller.
  std::vector<uint8_t> square(kSide * kSide);
  const int left = (portrait.width - kSide) / 2, top = (portrait.height - kSide) / 2;
  auto clamp = [](int v, int most) { return v < 0 ? 0 : v > most ? most : v; };
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x)
      square[y * kSide + x] =
          portrait.indices[clamp(y + top, portrait.height - 1) * portrait.width +
                           clamp(x + left, portrait.width - 1)];
  uint8_t rgb[256][3] = {};
  for (int i = 0; i < portrait.paletteSize; ++i)
    for (int c = 0; c < 3; ++c) rgb[i][c] = portrait.palette[i][c];
  std::error_code made;
  for (int size : kSizes) {
    const std::vector<uint8_t> icon = Scaled(square, size);
    const std::string folder = args[2] + "/" + std::to_string(size) + "x" + std::to_string(size);
    std::filesystem::create_directories(toolkit::PathOf(folder), made);
    if (!pngio::WriteIndexedPng(folder + "/pixshow.png", size, size, icon.data(), size, rgb,
                                &error))
      return Fail(error);
  }
  // The SVG: one rectangle per run of a colour along a row.
  std::string svg =
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" viewBox=\"0 0 64 "
      "64\" shape-rendering=\"crispEdges\">\n";
  for (int y = 0; y < kSide; ++y)
    for (int x = 0, end = 0; x < kSide; x = end) {
      const uint8_t colour = square[y * kSide + x];
      while (end < kSide && square[y * kSide + end] == colour) ++end;
      char rect[128];
      std::snprintf(rect, sizeof rect,
                    "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"1\" fill=\"#%02x%02x%02x\"/>\n",
                    x, y, end - x, rgb[colour][0], rgb[colour][1], rgb[colour][2]);
      svg += rect;
    }
  svg += "</svg>\n";
  const std::string folder = args[2] + "/scalable";
  std::filesystem::create_directories(toolkit::PathOf(folder), made);
  std::string ico;
  if (!WriteText(folder + "/pixshow.svg", svg, &error) || !MakeIco(square, rgb, &ico, &error) ||
      !WriteText(args[2] + "/pixshow.ico", ico, &error))
    return Fail(error);
  return 0;
}

}  // namespace

TOOLKIT_MAIN(Main)
