// pixshow-samplegen: writes the six image sheets of the bundled sample art.
//
//   pixshow-samplegen --out DIR [--preview DIR]
//
// The art is drawn by code, the same bytes on every run. Each sheet is written
// to a temporary file beside its target and renamed when complete.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "art.h"
#include "toolkit.h"

#ifdef PIXSHOW_SAMPLEGEN_PREVIEW
#include "devices/devices.h"
#include "map/map.h"
#include "pngio.h"
#endif

namespace {

using samplegen::Canvas;
using samplegen::Sheet;

const char kUsage[] =
    "usage: pixshow-samplegen --out DIR [--preview DIR]\n"
    "Writes the six image sheets of the sample art (ports.pix, button.pix,\n"
    "Divadude.pix, WarTiles.pix, Pieces.pix, Borders.pix) into DIR, which must\n"
    "exist. With --preview, also writes one PNG contact sheet per sheet into a\n"
    "second folder, for looking at the art.\n";

bool WriteSheet(const std::string& dir, const Sheet& sheet) {
  std::string error;
  const bool ok = toolkit::WriteFileReplacing(
      dir + "/" + sheet.name,
      [&sheet](std::FILE* f, std::string* why) {
        for (const Canvas& image : sheet.images) {
          const auto& px = image.Pixels();
          if (std::fwrite(px.data(), 1, px.size(), f) != px.size()) {
            *why = std::strerror(errno);
            return false;
          }
        }
        return true;
      },
      &error);
  if (!ok) std::fprintf(stderr, "pixshow-samplegen: %s\n", error.c_str());
  return ok;
}

#ifdef PIXSHOW_SAMPLEGEN_PREVIEW
// A contact sheet: the images in a grid, two pixels apart, each drawn twice
// as large, with the palette the program sets up.
bool WritePng(const std::string& path, int w, int h, const std::vector<uint8_t>& pixels) {
  PALETTEENTRY entries[256];
  BuildPaletteEntries(entries);
  uint8_t rgb[256][3];
  for (int i = 0; i < 256; ++i) {
    rgb[i][0] = entries[i].peRed;
    rgb[i][1] = entries[i].peGreen;
    rgb[i][2] = entries[i].peBlue;
  }
  std::string error;
  if (!pngio::WriteIndexedPng(path, w, h, pixels.data(), w, rgb, &error)) {
    std::fprintf(stderr, "pixshow-samplegen: %s\n", error.c_str());
    return false;
  }
  return true;
}

// The battle map of one season as the program lays it out, twice as large.
bool WriteMapPreview(const std::string& dir, const Sheet& tiles, int season) {
  const int scale = 2, left = 20, top = 37, w = 600, h = 220;
  std::vector<uint8_t> pixels(static_cast<size_t>(w * scale) * h * scale, 0);
  int cellX[CellTableSize], cellY[CellTableSize];
  ComputeCellOrigins(cellX, cellY);
  for (int n = 1; n <= MapCellCount; ++n) {
    const Canvas& tile = tiles.images[season * 9 + BattleMapLayout[n]];
    for (int y = 0; y < tiles.height * scale; ++y)
      for (int x = 0; x < tiles.width * scale; ++x) {
        const int px = (cellX[n] - left) * scale + x, py = (cellY[n] - top) * scale + y;
        pixels[static_cast<size_t>(py) * w * scale + px] = tile.Get(x / scale, y / scale);
      }
  }
  return WritePng(dir + "/map-" + std::to_string(season) + ".png", w * scale, h * scale, pixels);
}

bool WritePreview(const std::string& dir, const Sheet& sheet) {
  const int scale = 2, gap = 2;
  const int columns = sheet.images.size() >= 9 ? 9 : static_cast<int>(sheet.images.size());
  const int rows = (static_cast<int>(sheet.images.size()) + columns - 1) / columns;
  const int cw = sheet.width * scale + gap, ch = sheet.height * scale + gap;
  const int w = columns * cw + gap, h = rows * ch + gap;
  std::vector<uint8_t> pixels(static_cast<size_t>(w) * h, 8);
  for (size_t i = 0; i < sheet.images.size(); ++i) {
    const int ox = gap + static_cast<int>(i % columns) * cw,
              oy = gap + static_cast<int>(i / columns) * ch;
    for (int y = 0; y < sheet.height * scale; ++y)
      for (int x = 0; x < sheet.width * scale; ++x)
        pixels[static_cast<size_t>(oy + y) * w + ox + x] =
            sheet.images[i].Get(x / scale, y / scale);
  }
  if (sheet.name == ImageSheets[TileSheet].fileName) {
    for (int season = 0; season < 4; ++season)
      if (!WriteMapPreview(dir, sheet, season)) return false;
  }
  return WritePng(dir + "/" + sheet.name + ".png", w, h, pixels);
}
#endif

}  // namespace

int main(int argc, char** argv) {
  toolkit::ParsedArgs args;
  std::string error;
  if (!toolkit::ParseArgs(std::vector<std::string>(argv + 1, argv + argc),
                          {{"--help", false, "-h"}, {"--out", true}, {"--preview", true}}, &args,
                          &error)) {
    std::fprintf(stderr, "pixshow-samplegen: %s\n%s", error.c_str(), kUsage);
    return 2;
  }
  if (args.Has("--help")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!args.positional.empty()) {
    std::fprintf(stderr, "pixshow-samplegen: unexpected argument %s\n%s",
                 toolkit::Quoted(args.positional[0]).c_str(), kUsage);
    return 2;
  }
  const std::string out = args.Value("--out");
  const std::string preview = args.Value("--preview");
  if (out.empty()) {
    std::fprintf(stderr, "pixshow-samplegen: --out DIR is required\n%s", kUsage);
    return 2;
  }
  for (const std::string* dir : {&out, &preview}) {
    std::error_code ec;
    if (!dir->empty() && !std::filesystem::is_directory(*dir, ec)) {
      std::fprintf(stderr, "pixshow-samplegen: %s is not a folder\n",
                   toolkit::Quoted(*dir).c_str());
      return 2;
    }
  }
#ifndef PIXSHOW_SAMPLEGEN_PREVIEW
  if (!preview.empty()) {
    std::fprintf(stderr, "pixshow-samplegen: this build cannot write previews (no PNG library)\n");
    return 2;
  }
#endif

  const std::vector<Sheet> sheets = samplegen::MakeSampleSheets();
  for (const Sheet& sheet : sheets) {
    if (!WriteSheet(out, sheet)) return 1;
#ifdef PIXSHOW_SAMPLEGEN_PREVIEW
    if (!preview.empty() && !WritePreview(preview, sheet)) return 1;
#endif
  }
  return 0;
}
