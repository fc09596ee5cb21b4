// pixshow-icongen: the program's icons from a portrait (a colour-mapped PNG,
// as pixsheet export writes one): the middle 64 x 64 square of it (a wider
// picture cut at the sides, a lower one with its top and bottom rows
// repeated), as PNGs of 48, 64, 128 and 256 pixels a side in the icon
// theme's folders (SIZExSIZE/pixshow.png; whole blocks of pixels where the
// size is a multiple of 64) and as an SVG of the same pixels
// (scalable/pixshow.svg).
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
    std::vector<uint8_t> icon(size * size);
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x)
        icon[y * size + x] = square[y * kSide / size * kSide + x * kSide / size];
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
  const bool written = toolkit::WriteFileReplacing(
      folder + "/pixshow.svg",
      [&svg](std::FILE* f, std::string* why) {
        if (std::fwrite(svg.data(), 1, svg.size(), f) == svg.size()) return true;
        *why = "cannot write";
        return false;
      },
      &error);
  return written ? 0 : Fail(error);
}

}  // namespace

TOOLKIT_MAIN(Main)
