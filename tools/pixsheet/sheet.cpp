#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "pixsheet.h"
#include "pxpng.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace pixsheet {

void Fail(const std::string& message) { throw Failure{message}; }

// --- Sheets -------------------------------------------------------------------

const std::vector<KnownSheet>& KnownSheets() {
  // WarTiles holds nine terrains per season: nine columns put one season on
  // each row of a contact sheet.
  static const std::vector<KnownSheet> sheets = [] {
    std::vector<KnownSheet> known;
    for (const SheetFormat& format : ImageSheets) {
      const int columns = &format == &ImageSheets[TileSheet] ? 9 : 10;
      known.push_back({format.fileName, format.imageWidth, format.imageHeight, columns});
    }
    return known;
  }();
  return sheets;
}

const KnownSheet* FindKnownSheet(const std::string& path) {
  const std::string base = fs::path(path).filename().string();
  for (const KnownSheet& sheet : KnownSheets()) {
    if (base == sheet.name) return &sheet;
  }
  return nullptr;
}

ImageSize ParseSize(const std::string& text) {
  std::string t;
  for (char c : text) {
    if (c != ' ') t += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  const size_t x = t.find('x');
  auto number = [&](const std::string& s) {
    if (s.empty() || s.size() > 5 ||
        !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      return 0;
    }
    return std::stoi(s);
  };
  ImageSize size;
  if (x != std::string::npos) {
    size.width = number(t.substr(0, x));
    size.height = number(t.substr(x + 1));
  }
  if (size.width <= 0 || size.height <= 0 || size.width > 4096 || size.height > 4096) {
    Fail("bad image size '" + text + "': expected WxH, each 1 to 4096, e.g. 82x62");
  }
  return size;
}

ImageSize SizeFor(const std::string& sheetPath, const std::string& sizeOption) {
  if (!sizeOption.empty()) return ParseSize(sizeOption);
  if (const KnownSheet* known = FindKnownSheet(sheetPath)) {
    return ImageSize{known->width, known->height};
  }
  std::string names;
  for (const KnownSheet& sheet : KnownSheets()) names += std::string(names.empty() ? "" : ", ") + sheet.name;
  Fail("cannot tell the image size of " + sheetPath + ": give --size WxH (sizes are known for " +
       names + ")");
}

std::vector<uint8_t> ReadSheet(const std::string& path) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) Fail("cannot read " + path + ": is a directory");
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) Fail("cannot open " + path + ": " + std::strerror(errno));
  std::vector<uint8_t> bytes;
  uint8_t buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
  const bool bad = std::ferror(f) != 0;
  std::fclose(f);
  if (bad) Fail("cannot read " + path + ": read error");
  return bytes;
}

// --- Contact sheets -------------------------------------------------------------

bool GridForPicture(int pngWidth, int pngHeight, ImageSize size, Grid* grid) {
  const int stepX = size.width + kGap;
  const int stepY = size.height + kGap;
  if (pngWidth < size.width || pngHeight < size.height) return false;
  if ((pngWidth + kGap) % stepX != 0 || (pngHeight + kGap) % stepY != 0) return false;
  grid->columns = (pngWidth + kGap) / stepX;
  grid->rows = (pngHeight + kGap) / stepY;
  return true;
}

namespace {

uint8_t EmptyPatternAt(int x, int y) {
  return ((x / kEmptySquare + y / kEmptySquare) % 2 == 0) ? kEmptyLight : kEmptyDark;
}

}  // namespace

std::vector<uint8_t> ComposeContactSheet(const uint8_t* images, int count, ImageSize size,
                                         int columns, int* width, int* height) {
  const int rows = (count + columns - 1) / columns;
  const long long wide = static_cast<long long>(columns) * (size.width + kGap) - kGap;
  const long long high = static_cast<long long>(rows) * (size.height + kGap) - kGap;
  if (wide > pxpng::kMaxSide || high > pxpng::kMaxSide || wide * high > pxpng::kMaxPixels) {
    Fail("a contact sheet of " + std::to_string(count) + " images in " + std::to_string(columns) +
         " columns would be " + std::to_string(wide) + " x " + std::to_string(high) +
         " pixels, more than a PNG may be here: use --columns or --image");
  }
  *width = static_cast<int>(wide);
  *height = static_cast<int>(high);
  std::vector<uint8_t> picture(static_cast<size_t>(*width) * static_cast<size_t>(*height), kGapIndex);
  for (int place = 0; place < rows * columns; ++place) {
    const int left = (place % columns) * (size.width + kGap);
    const int top = (place / columns) * (size.height + kGap);
    for (int y = 0; y < size.height; ++y) {
      uint8_t* out = &picture[static_cast<size_t>(top + y) * static_cast<size_t>(*width) +
                              static_cast<size_t>(left)];
      if (place < count) {
        const uint8_t* in = images + static_cast<size_t>(place) * static_cast<size_t>(size.Bytes()) +
                            static_cast<size_t>(y) * static_cast<size_t>(size.width);
        std::copy(in, in + size.width, out);
      } else {
        for (int x = 0; x < size.width; ++x) out[x] = EmptyPatternAt(x, y);
        out[-kGap] = kEmptyLight;  // the mark in the gap on the left
      }
    }
  }
  return picture;
}

bool IsEmptyPlace(const uint8_t* picture, int pictureWidth, int left, int top, ImageSize size) {
  if (left < kGap) return false;  // the first column always holds an image
  for (int y = 0; y < size.height; ++y) {
    const uint8_t* row = picture + static_cast<size_t>(top + y) * static_cast<size_t>(pictureWidth) +
                         static_cast<size_t>(left);
    if (row[-kGap] != kEmptyLight) return false;
    for (int x = 0; x < size.width; ++x) {
      if (row[x] != EmptyPatternAt(x, y)) return false;
    }
  }
  return true;
}

// --- Colours to indices ------------------------------------------------------------

namespace {

uint32_t Key(uint8_t r, uint8_t g, uint8_t b) {
  return (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) | b;
}

std::string Hex(uint8_t r, uint8_t g, uint8_t b) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", r, g, b);
  return text;
}

}  // namespace

ColourMapper::ColourMapper(const Palette& palette) : palette_(palette) {
  for (int i = 0; i < 256; ++i) {
    exact_.emplace(Key(palette.rgb[i][0], palette.rgb[i][1], palette.rgb[i][2]),
                   static_cast<uint8_t>(i));  // emplace keeps the first, lowest index
  }
}

int ColourMapper::Exact(uint8_t r, uint8_t g, uint8_t b) const {
  auto it = exact_.find(Key(r, g, b));
  return it == exact_.end() ? -1 : it->second;
}

int ColourMapper::Nearest(uint8_t r, uint8_t g, uint8_t b) {
  const uint32_t key = Key(r, g, b);
  auto cached = nearest_.find(key);
  if (cached != nearest_.end()) return cached->second;
  int best = 0;
  long bestDistance = -1;
  for (int i = 0; i < 256; ++i) {
    const long dr = static_cast<long>(r) - palette_.rgb[i][0];
    const long dg = static_cast<long>(g) - palette_.rgb[i][1];
    const long db = static_cast<long>(b) - palette_.rgb[i][2];
    const long distance = dr * dr + dg * dg + db * db;
    if (bestDistance < 0 || distance < bestDistance) {
      best = i;
      bestDistance = distance;
    }
  }
  nearest_.emplace(key, static_cast<uint8_t>(best));
  return best;
}

std::vector<uint8_t> ColourMapper::Map(const pxpng::Image& image, const std::string& fileName,
                                       bool strict) {
  // Which of the file's own indices carry the program's colour for that index.
  bool keeps[256] = {};
  if (image.indexed) {
    for (int i = 0; i < image.paletteSize; ++i) {
      keeps[i] = image.palette[i][0] == palette_.rgb[i][0] && image.palette[i][1] == palette_.rgb[i][1] &&
                 image.palette[i][2] == palette_.rgb[i][2];
    }
  }
  const size_t pixels = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
  std::vector<uint8_t> out(pixels);
  for (size_t p = 0; p < pixels; ++p) {
    if (image.indexed && keeps[image.indices[p]]) {
      out[p] = image.indices[p];
      continue;
    }
    const uint8_t* px = &image.rgba[p * 4];
    if (px[3] == 0) {
      out[p] = 0;
      continue;
    }
    const int exact = Exact(px[0], px[1], px[2]);
    if (strict && (exact < 0 || px[3] != 255)) {
      const std::string where = fileName + ": pixel (" + std::to_string(p % static_cast<size_t>(image.width)) +
                                ", " + std::to_string(p / static_cast<size_t>(image.width)) + ")";
      if (exact < 0) {
        Fail(where + " has colour " + Hex(px[0], px[1], px[2]) +
             ", which is not in the palette (--strict)");
      }
      Fail(where + " is partly transparent (alpha " + std::to_string(px[3]) + ") (--strict)");
    }
    out[p] = static_cast<uint8_t>(exact >= 0 ? exact : Nearest(px[0], px[1], px[2]));
  }
  return out;
}

// --- Writing ---------------------------------------------------------------------------

void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::string error;
  const bool ok = pxpng::WriteFileReplacing(
      path,
      [&](std::FILE* f, std::string* why) {
        if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
          *why = std::strerror(errno);
          return false;
        }
        return true;
      },
      &error);
  if (!ok) Fail(error);
}

void AppendToFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) Fail("cannot write " + path + ": is a directory");
  const bool existed = fs::exists(path, ec);
  const uintmax_t oldLength = existed ? fs::file_size(path, ec) : 0;
  if (ec) Fail("cannot write " + path + ": " + ec.message());
  // Appending mode: every write lands after the bytes already there.
  std::FILE* f = std::fopen(path.c_str(), "ab");
  if (!f) Fail("cannot write " + path + ": " + std::strerror(errno));
  std::string why;
  if (std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fflush(f) != 0) {
    why = std::strerror(errno);
  }
#ifndef _WIN32
  if (why.empty() && fsync(fileno(f)) != 0 && errno != EINVAL) why = std::strerror(errno);
#endif
  if (std::fclose(f) != 0 && why.empty()) why = std::strerror(errno);
  if (!why.empty()) {
    // Take back whatever part of the new bytes got in.
    std::error_code ignored;
    if (existed) {
      fs::resize_file(path, oldLength, ignored);
    } else {
      fs::remove(path, ignored);
    }
    Fail("cannot append to " + path + ": " + why);
  }
}

// --- Palette files ------------------------------------------------------------------

void WritePaletteFile(const std::string& path, const Palette& palette, int scale) {
  std::string ext = fs::path(path).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  std::string text;
  char line[64];
  if (ext == ".gpl") {
    text = "GIMP Palette\nName: pixshow\nColumns: 16\n#\n";
    for (int i = 0; i < 256; ++i) {
      std::snprintf(line, sizeof line, "%3d %3d %3d\tIndex %d\n", palette.rgb[i][0], palette.rgb[i][1],
                    palette.rgb[i][2], i);
      text += line;
    }
  } else if (ext == ".pal") {
    text = "JASC-PAL\r\n0100\r\n256\r\n";
    for (int i = 0; i < 256; ++i) {
      std::snprintf(line, sizeof line, "%d %d %d\r\n", palette.rgb[i][0], palette.rgb[i][1],
                    palette.rgb[i][2]);
      text += line;
    }
  } else if (ext == ".png") {
    const int side = 16 * scale;
    std::vector<uint8_t> swatch(static_cast<size_t>(side) * static_cast<size_t>(side));
    for (int y = 0; y < side; ++y) {
      for (int x = 0; x < side; ++x) {
        swatch[static_cast<size_t>(y) * static_cast<size_t>(side) + static_cast<size_t>(x)] =
            static_cast<uint8_t>((y / scale) * 16 + x / scale);
      }
    }
    std::string error;
    if (!pxpng::WriteIndexedPng(path, side, side, swatch.data(), side, palette.rgb, &error)) Fail(error);
    return;
  } else {
    Fail("cannot tell the palette format of " + path +
         ": the name must end in .gpl (GIMP, Krita, Inkscape, Aseprite), .pal (JASC) or .png (swatch)");
  }
  WriteWholeFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

}  // namespace pixsheet
