#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>

#include "pixsheet.h"
#include "pngio.h"
#include "toolkit.h"

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
  const std::string base = toolkit::TextOf(toolkit::PathOf(path).filename());
  for (const KnownSheet& sheet : KnownSheets()) {
    if (base == sheet.name) return &sheet;
  }
  return nullptr;
}

bool SameButForCapitals(const std::string& a, const std::string& b) {
  auto lower = [](std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
  };
  return a != b && lower(a) == lower(b);
}

ImageSize ParseSize(const std::string& text) {
  auto number = [](const std::string& digits) {
    if (digits.empty() || digits.size() > 4 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      return 0;
    }
    return std::stoi(digits);
  };
  const size_t x = text.find('x');
  ImageSize size;
  if (x != std::string::npos) {
    size.width = number(text.substr(0, x));
    size.height = number(text.substr(x + 1));
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
  const std::string base = toolkit::TextOf(toolkit::PathOf(sheetPath).filename());
  std::string names;
  for (const KnownSheet& sheet : KnownSheets()) {
    if (SameButForCapitals(base, sheet.name)) {
      Fail(toolkit::Quoted(sheetPath) + " differs from the sheet the program reads, \"" +
           sheet.name +
           "\", in its capitals: rename it (names must match exactly), or give "
           "--size WxH");
    }
    names += std::string(names.empty() ? "" : ", ") + sheet.name;
  }
  Fail("cannot tell the image size of " + toolkit::Quoted(sheetPath) +
       ": give --size WxH (sizes are known for " + names + ")");
}

SheetReader::SheetReader(const std::string& path) {
  std::string why;
  errno = 0;
  file_ = toolkit::OpenRegularFile(path, &why);
  if (!file_)
    Fail("cannot open " + toolkit::Quoted(path) + ": " + (errno == ENOENT ? "no such file" : why));
  if (std::fseek(file_, 0, SEEK_END) == 0) length_ = std::ftell(file_);
  if (length_ < 0 || std::fseek(file_, 0, SEEK_SET) != 0) {
    std::fclose(file_);
    Fail("cannot read " + toolkit::Quoted(path) + ": cannot tell its length");
  }
  // A sheet has no header; a PNG given in its place is the usual mix-up.
  unsigned char head[8] = {};
  const bool png = std::fread(head, 1, sizeof head, file_) == sizeof head &&
                   std::memcmp(head, "\x89PNG\r\n\x1a\n", sizeof head) == 0;
  if (png || std::fseek(file_, 0, SEEK_SET) != 0) {
    std::fclose(file_);
    if (png) {
      Fail(toolkit::Quoted(path) + " is a PNG picture, not an image sheet: pixsheet import " +
           toolkit::Quoted(path) + " -o SHEET turns it into one");
    }
    Fail("cannot read " + toolkit::Quoted(path) + ": cannot seek");
  }
}

SheetReader::~SheetReader() { Close(); }

void SheetReader::Close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

SheetSummary SummariseSheet(std::FILE* sheet, const std::string& name, long long limit) {
  SheetSummary summary;
  if (std::fseek(sheet, 0, SEEK_END) == 0) summary.length = std::ftell(sheet);
  if (summary.length < 0 || std::fseek(sheet, 0, SEEK_SET) != 0)
    Fail("cannot read " + toolkit::Quoted(name) + ": cannot seek");
  uint8_t buffer[65536];
  size_t n;
  while (summary.usedCount < 256 && summary.scanned < limit &&
         (n = std::fread(
              buffer, 1,
              static_cast<size_t>(std::min<long long>(sizeof buffer, limit - summary.scanned)),
              sheet)) > 0) {
    summary.scanned += static_cast<long long>(n);
    for (size_t i = 0; i < n; ++i) summary.used[buffer[i]] = true;
    summary.usedCount = static_cast<int>(std::count(summary.used, summary.used + 256, true));
  }
  if (std::ferror(sheet)) Fail("cannot read " + toolkit::Quoted(name) + ": read error");
  if (summary.usedCount == 256) summary.scanned = summary.length;  // nothing more to find
  return summary;
}

std::vector<uint8_t> ReadSheetBytes(std::FILE* sheet, const std::string& name, long long offset,
                                    size_t count) {
  std::vector<uint8_t> bytes(count);
  if (std::fseek(sheet, static_cast<long>(offset), SEEK_SET) != 0) {
    Fail("cannot read " + toolkit::Quoted(name) + ": cannot seek");
  }
  bytes.resize(count ? std::fread(bytes.data(), 1, count, sheet) : 0);
  if (std::ferror(sheet)) Fail("cannot read " + toolkit::Quoted(name) + ": read error");
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

// The measures of a contact sheet (or of its numbered preview), refused
// when larger than a PNG may be.
void MeasureContactSheet(long long count, ImageSize size, int columns, int* width, int* height,
                         bool numbered = false) {
  const long long rows = (count + columns - 1) / columns;
  const long long wide = static_cast<long long>(columns) * (size.width + kGap) - kGap;
  const long long high =
      numbered ? rows * (size.height + kLabelBand) : rows * (size.height + kGap) - kGap;
  if (wide > pngio::kMaxSide || high > pngio::kMaxSide || wide * high > pngio::kMaxPixels) {
    Fail(std::string(numbered ? "a numbered preview" : "a contact sheet") + " of " +
         std::to_string(count) + " images in " + std::to_string(columns) + " columns would be " +
         std::to_string(wide) + " x " + std::to_string(high) +
         " pixels, more than a PNG may be here: use --columns or --image");
  }
  *width = static_cast<int>(wide);
  *height = static_cast<int>(high);
}

}  // namespace

std::vector<uint8_t> ComposeContactSheet(const std::function<const uint8_t*(int image)>& imageAt,
                                         int count, ImageSize size, int columns, int* width,
                                         int* height) {
  const int rows = (count + columns - 1) / columns;
  MeasureContactSheet(count, size, columns, width, height);
  std::vector<uint8_t> picture(static_cast<size_t>(*width) * static_cast<size_t>(*height),
                               kGapIndex);
  const uint8_t* image = nullptr;
  for (int place = 0; place < rows * columns; ++place) {
    const int left = (place % columns) * (size.width + kGap);
    const int top = (place / columns) * (size.height + kGap);
    for (int y = 0; y < size.height; ++y) {
      uint8_t* out = &picture[static_cast<size_t>(top + y) * static_cast<size_t>(*width) +
                              static_cast<size_t>(left)];
      if (place < count) {
        if (y == 0) image = imageAt(place);
        const uint8_t* in = image + static_cast<size_t>(y) * static_cast<size_t>(size.width);
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
    const uint8_t* row = picture +
                         static_cast<size_t>(top + y) * static_cast<size_t>(pictureWidth) +
                         static_cast<size_t>(left);
    if (row[-kGap] != kEmptyLight) return false;
    for (int x = 0; x < size.width; ++x) {
      if (row[x] != EmptyPatternAt(x, y)) return false;
    }
  }
  return true;
}

Picture ExportImage(std::FILE* sheet, const std::string& name, long long length, ImageSize size,
                    long long image) {
  const long long imageBytes = size.Bytes();
  const long long available = (length + imageBytes - 1) / imageBytes;
  if (image < 0 || image >= available) {
    Fail(toolkit::Quoted(name) + " holds " + std::to_string(available) + " image" +
         (available == 1 ? "" : "s") + " of " + std::to_string(size.width) + " x " +
         std::to_string(size.height) + ": there is no image " + std::to_string(image));
  }
  Picture picture;
  picture.width = size.width;
  picture.height = size.height;
  picture.pixels = ReadSheetBytes(sheet, name, image * imageBytes, static_cast<size_t>(imageBytes));
  picture.pixels.resize(static_cast<size_t>(imageBytes),
                        255);  // the program draws 255 past the end
  return picture;
}

Picture ExportContactSheet(std::FILE* sheet, const std::string& name, long long length,
                           ImageSize size, int columns, bool numbered) {
  const long long whole = length / size.Bytes();
  if (whole == 0) {
    Fail(toolkit::Quoted(name) + " holds no whole image of " + std::to_string(size.width) + " x " +
         std::to_string(size.height) + " (" + std::to_string(length) + " byte" +
         (length == 1 ? "" : "s") + ")");
  }
  columns = static_cast<int>(std::min<long long>(columns, whole));
  Picture picture;
  // Before reading: the numbered preview is the taller.
  if (numbered) MeasureContactSheet(whole, size, columns, &picture.width, &picture.height, true);
  MeasureContactSheet(whole, size, columns, &picture.width, &picture.height);
  const int count = static_cast<int>(whole);  // fits: the picture holds them all
  // The images are read a row of places at a time, as they are laid out,
  // into one buffer.
  std::vector<uint8_t> row;
  const size_t imageBytes = static_cast<size_t>(size.Bytes());
  if (std::fseek(sheet, 0, SEEK_SET) != 0)
    Fail("cannot read " + toolkit::Quoted(name) + ": cannot seek");
  auto imageAt = [&](int image) {
    const int column = image % columns;
    if (column == 0) {
      row.resize(static_cast<size_t>(std::min(columns, count - image)) * imageBytes);
      if (std::fread(row.data(), 1, row.size(), sheet) != row.size()) {
        Fail("cannot read " + toolkit::Quoted(name) + ": " +
             (std::ferror(sheet) ? "read error" : "it became shorter while being read"));
      }
    }
    return row.data() + static_cast<size_t>(column) * imageBytes;
  };
  picture.pixels =
      ComposeContactSheet(imageAt, count, size, columns, &picture.width, &picture.height);
  if (numbered) NumberPlaces(&picture, count, size, columns);
  return picture;
}

namespace {

// Digits 3 wide and 5 high, a row of three bits each, drawn twice as large.
const uint8_t kDigits[10][5] = {{7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7},
                                {5, 5, 7, 1, 1}, {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 1, 1},
                                {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7}};
constexpr int kDigitScale = 2;
constexpr int kDigitStep = 4 * kDigitScale;  // a digit and the space after it
// The mark of a numbered preview, in the first two rows of its first band,
// 8 pixels each, which no digit reaches: sixteen different indices in no
// order art would follow, each of a colour no other index has, so that it
// survives a paint program that saves RGB. Random art matches it at odds of
// 1 in 2^128, art of those sixteen colours alone at 1 in 2^64.
constexpr int kMarkWidth = 8;
const uint8_t kPreviewMark[2][kMarkWidth] = {{41, 200, 17, 133, 92, 250, 3, 171},
                                             {58, 224, 110, 29, 187, 66, 145, 236}};

}  // namespace

void NumberPlaces(Picture* picture, int count, ImageSize size, int columns) {
  const int rows = (count + columns - 1) / columns;
  const int step = size.height + kGap;
  Picture out;
  out.width = picture->width;
  out.height = rows * (kLabelBand + size.height);
  out.pixels.assign(static_cast<size_t>(out.width) * static_cast<size_t>(out.height), 0);
  for (int row = 0; row < rows; ++row) {
    for (int y = 0; y < size.height; ++y) {
      const auto in = picture->pixels.begin() + static_cast<long>(row * step + y) * out.width;
      std::copy(
          in, in + out.width,
          out.pixels.begin() +
              static_cast<long>(row * (kLabelBand + size.height) + kLabelBand + y) * out.width);
    }
  }
  for (int image = 0; image < count; ++image) {
    const int left = (image % columns) * (size.width + kGap);
    const int top = (image / columns) * (kLabelBand + size.height) + 2;
    const std::string digits = std::to_string(image);
    for (size_t d = 0; d < digits.size(); ++d) {
      for (int y = 0; y < 5 * kDigitScale; ++y) {
        for (int x = 0; x < 3 * kDigitScale; ++x) {
          const int px = left + 1 + static_cast<int>(d) * kDigitStep + x;
          const bool ink = (kDigits[digits[d] - '0'][y / kDigitScale] >> (2 - x / kDigitScale)) & 1;
          if (ink && px < left + size.width)
            out.pixels[static_cast<size_t>(top + y) * static_cast<size_t>(out.width) +
                       static_cast<size_t>(px)] = 255;
        }
      }
    }
  }
  const size_t marked = std::min<size_t>(kMarkWidth, static_cast<size_t>(out.width));
  for (size_t y = 0; y < 2; ++y)
    std::copy_n(kPreviewMark[y], marked, out.pixels.begin() + static_cast<long>(y) * out.width);
  *picture = std::move(out);
}

bool IsNumberedPreview(const uint8_t* firstRow, const uint8_t* secondRow, int width) {
  return width >= kMarkWidth &&
         std::equal(kPreviewMark[0], kPreviewMark[0] + kMarkWidth, firstRow) &&
         std::equal(kPreviewMark[1], kPreviewMark[1] + kMarkWidth, secondRow);
}

namespace {

std::string SizeMessage(int width, int height, const std::string& fileName, ImageSize size) {
  return toolkit::Quoted(fileName) + " is " + std::to_string(width) + " x " +
         std::to_string(height) + " pixels: neither one " + std::to_string(size.width) + " x " +
         std::to_string(size.height) + " image nor a contact sheet of them (" +
         std::to_string(size.width) + " + " + std::to_string(size.width + kGap) + "n wide, " +
         std::to_string(size.height) + " + " + std::to_string(size.height + kGap) + "n high)";
}

}  // namespace

std::string PictureSizeProblem(int width, int height, const std::string& fileName, ImageSize size) {
  Grid grid;
  if (GridForPicture(width, height, size, &grid)) return std::string();
  // The measures of a numbered preview: read on, to be named as one.
  if (height % (size.height + kLabelBand) == 0 && (width + kGap) % (size.width + kGap) == 0)
    return std::string();
  return SizeMessage(width, height, fileName, size);
}

int ImportPicture(const std::string& fileName, ImageSize size, ColourMapper* mapper, bool strict,
                  const ImageSink& take, std::FILE* f) {
  pngio::Image header;
  size_t width = 0;
  Grid grid;
  bool isGrid = false, preview = false;
  // The last three rows decoded (colours and the file's indices) by row
  // number modulo 3: a row is mapped once the row below it is there.
  std::vector<uint8_t> colours[3], indices[3];
  // A row in palette indices; the rows of one row of grid places; an image.
  std::vector<uint8_t> mapped, strip, image, firstRow;
  int images = 0, firstEmpty = -1;

  auto cut = [&](int y) {
    if (y == 0)
      firstRow.assign(mapped.begin(), mapped.begin() + std::min(kMarkWidth, header.width));
    if (y == 1) preview = IsNumberedPreview(firstRow.data(), mapped.data(), header.width);
    const int step = size.height + kGap;
    const int inStrip = y % step;
    if (!isGrid || preview || inStrip >= size.height) return;  // gap rows are not kept
    std::copy(mapped.begin(), mapped.end(),
              strip.begin() + static_cast<long>(inStrip) * static_cast<long>(width));
    if (inStrip != size.height - 1) return;
    const int row = y / step;
    for (int column = 0; column < grid.columns; ++column) {
      const int left = column * (size.width + kGap);
      if (IsEmptyPlace(strip.data(), header.width, left, 0, size)) {
        if (firstEmpty < 0) firstEmpty = row * grid.columns + column;
        continue;
      }
      if (firstEmpty >= 0) {
        Fail(toolkit::Quoted(fileName) + ": grid place " + std::to_string(firstEmpty) +
             " is empty but an image follows it at row " + std::to_string(row) + ", column " +
             std::to_string(column) + " (empty places may only come after the last image)");
      }
      image.clear();
      for (int line = 0; line < size.height; ++line) {
        const auto in = strip.begin() + static_cast<long>(line) * static_cast<long>(width) + left;
        image.insert(image.end(), in, in + size.width);
      }
      take(image.data(), image.size());
      ++images;
    }
  };
  auto map = [&](int y) {
    const uint8_t* const near[3] = {y > 0 ? colours[(y + 2) % 3].data() : nullptr,
                                    colours[y % 3].data(),
                                    y + 1 < header.height ? colours[(y + 1) % 3].data() : nullptr};
    mapper->MapRow(header, y, near, header.indexed ? indices[y % 3].data() : nullptr, mapped.data(),
                   fileName, strict);
    cut(y);
  };
  auto start = [&](const pngio::Image& h) {
    std::string refusal = PictureSizeProblem(h.width, h.height, fileName, size);
    if (!refusal.empty()) return refusal;
    header = h;
    width = static_cast<size_t>(h.width);
    isGrid = GridForPicture(h.width, h.height, size, &grid);
    for (int i = 0; i < 3; ++i) {
      colours[i].resize(width * 4);
      if (h.indexed) indices[i].resize(width);
    }
    mapped.resize(width);
    if (isGrid) strip.resize(width * static_cast<size_t>(size.height));
    return refusal;
  };
  auto sink = [&](int y, const uint8_t* rgba, const uint8_t* idx) {
    std::copy(rgba, rgba + width * 4, colours[y % 3].begin());
    if (idx) std::copy(idx, idx + width, indices[y % 3].begin());
    if (y > 0) map(y - 1);
  };
  std::string error;
  if (!(f ? pngio::ReadPngRowsFrom(f, fileName, start, sink, &error)
          : pngio::ReadPngRows(fileName, start, sink, &error))) {
    Fail(error);
  }
  map(header.height - 1);
  if (preview) {
    Fail(toolkit::Quoted(fileName) +
         " is a numbered preview (export --labels), for looking up which image is which: the "
         "numbers are not art. Import a contact sheet exported without --labels, or one image");
  }
  if (!isGrid) Fail(SizeMessage(header.width, header.height, fileName, size));
  return images;
}

long long MostImagesIn(const std::string& fileName, ImageSize size) {
  struct Seen {};  // the header is all that is wanted
  long long places = 0;
  std::string error;
  try {
    const bool ok = pngio::ReadPngRows(
        fileName,
        [&](const pngio::Image& h) {
          std::string refusal = PictureSizeProblem(h.width, h.height, fileName, size);
          Grid grid;
          if (!refusal.empty()) return refusal;
          if (GridForPicture(h.width, h.height, size, &grid))
            places = static_cast<long long>(grid.columns) * grid.rows;
          throw Seen{};
        },
        [](int, const uint8_t*, const uint8_t*) {}, &error);
    if (!ok) Fail(error);
  } catch (const Seen&) {
  }
  return places;
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

// True when pixel x of rows[1] has a colour between those of two of its
// four neighbours that differ from each other, as anti-aliasing paints an
// edge. rows[0] and rows[2] are the rows above and below, null at the edges.
bool IsBlendOfNeighbours(const uint8_t* const rows[3], int width, int x) {
  std::vector<const uint8_t*> near;
  if (x > 0) near.push_back(&rows[1][static_cast<size_t>(x - 1) * 4]);
  if (x + 1 < width) near.push_back(&rows[1][static_cast<size_t>(x + 1) * 4]);
  for (int r : {0, 2}) {
    if (rows[r]) near.push_back(&rows[r][static_cast<size_t>(x) * 4]);
  }
  const uint8_t* c = &rows[1][static_cast<size_t>(x) * 4];
  for (size_t i = 0; i < near.size(); ++i) {
    for (size_t j = i + 1; j < near.size(); ++j) {
      bool between = !std::equal(near[i], near[i] + 3, near[j]);
      for (int k = 0; k < 3; ++k) {
        between = between && c[k] >= std::min(near[i][k], near[j][k]) &&
                  c[k] <= std::max(near[i][k], near[j][k]);
      }
      if (between) return true;
    }
  }
  return false;
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

void ColourMapper::MapRow(const pngio::Image& header, int y, const uint8_t* const rows[3],
                          const uint8_t* indices, uint8_t* out, const std::string& fileName,
                          bool strict) {
  // Which of the file's own indices carry the program's colour for that
  // index, opaque (a transparent entry goes by its alpha below).
  bool keeps[256] = {};
  if (indices) {
    for (int i = 0; i < header.paletteSize; ++i) {
      keeps[i] = header.palette[i][3] == 255 && header.palette[i][0] == palette_.rgb[i][0] &&
                 header.palette[i][1] == palette_.rgb[i][1] &&
                 header.palette[i][2] == palette_.rgb[i][2];
    }
  }
  for (int x = 0; x < header.width; ++x) {
    if (indices && keeps[indices[x]]) {
      out[x] = indices[x];
      continue;
    }
    const uint8_t* px = &rows[1][static_cast<size_t>(x) * 4];
    if (px[3] == 0) {
      out[x] = 0;
      continue;
    }
    const int exact = Exact(px[0], px[1], px[2]);
    if (strict && (exact < 0 || px[3] != 255)) {
      const std::string where = toolkit::Quoted(fileName) + ": pixel (" + std::to_string(x) + ", " +
                                std::to_string(y) + ")";
      const char* soft =
          "; soft edges like this come from anti-aliasing or smoothing: turn "
          "them off in the paint program";
      if (exact < 0) {
        Fail(where + " has colour " + Hex(px[0], px[1], px[2]) +
             ", which is not in the palette (--strict)" +
             (IsBlendOfNeighbours(rows, header.width, x) ? soft : ""));
      }
      Fail(where + " is partly transparent (alpha " + std::to_string(px[3]) + ") (--strict)" +
           soft);
    }
    out[x] = static_cast<uint8_t>(exact >= 0 ? exact : Nearest(px[0], px[1], px[2]));
  }
}

// --- Writing ---------------------------------------------------------------------------

void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::string error;
  const bool ok = toolkit::WriteFileReplacing(
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

long long ReplaceImages(const std::string& path, ImageSize size, long long first, long long most,
                        const std::function<void(const ImageSink&)>& produce) {
  SheetReader reader(path);
  const long long length = reader.Length();
  const long long imageBytes = size.Bytes();
  const long long start = first * imageBytes;
  const long long held = length / imageBytes;
  auto fits = [&](long long count) {
    return start == length || start + count * imageBytes <= length;
  };
  auto refuse = [&](long long count) {
    const std::string which =
        count == 1 ? "image " + std::to_string(first)
                   : "images " + std::to_string(first) + "-" + std::to_string(first + count - 1);
    Fail(toolkit::Quoted(path) + " holds " + std::to_string(held) + " image" +
         (held == 1 ? "" : "s") + (length % imageBytes ? " and a partial one" : "") + ": " + which +
         " would reach past its end (--image " + std::to_string(held) +
         " adds images after the last)");
  };
  if (!fits(most)) {
    // Empty places may make fewer: count them, writing nothing.
    long long bytes = 0;
    produce([&](const uint8_t*, size_t n) { bytes += static_cast<long long>(n); });
    if (!fits(bytes / imageBytes)) refuse(bytes / imageBytes);
  }
  long long written = 0;
  std::string refusal, error;
  const bool ok = toolkit::WriteFileReplacing(
      path,
      [&](std::FILE* out, std::string* why) {
        // The sheet's own bytes before and after the new images, copied in pieces.
        auto copy = [&](long long from, long long to) {
          uint8_t buffer[65536];
          if (from < to && std::fseek(reader.File(), static_cast<long>(from), SEEK_SET) != 0) {
            *why = "cannot seek in it";
            return false;
          }
          for (; from < to;) {
            const size_t want = static_cast<size_t>(std::min<long long>(to - from, sizeof buffer));
            if (std::fread(buffer, 1, want, reader.File()) != want) {
              *why = "it could not be read to its end";
              return false;
            }
            if (std::fwrite(buffer, 1, want, out) != want) {
              *why = std::strerror(errno);
              return false;
            }
            from += static_cast<long long>(want);
          }
          return true;
        };
        if (!copy(0, start)) return false;
        try {
          produce([&](const uint8_t* image, size_t n) {
            if (std::fwrite(image, 1, n, out) != n) {
              *why = std::strerror(errno);
              throw Failure{};
            }
            written += static_cast<long long>(n);
          });
          if (!fits(written / imageBytes)) refuse(written / imageBytes);
        } catch (const Failure& failure) {
          refusal = failure.message;
          return false;
        } catch (const std::bad_alloc&) {
          refusal = "not enough memory";
          return false;
        }
        const bool copied = copy(start + written, length);
        reader.Close();  // Windows cannot rename over a file still open
        return copied;
      },
      &error);
  if (!ok) Fail(refusal.empty() ? error : refusal);
  return written / imageBytes;
}

// --- Palette files ------------------------------------------------------------------

void WritePaletteFile(const std::string& path, const Palette& palette, int scale) {
  std::string ext = toolkit::TextOf(toolkit::PathOf(path).extension());
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  std::string text;
  char line[64];
  if (ext == ".gpl") {
    text = "GIMP Palette\nName: pixshow\nColumns: 16\n#\n";
    for (int i = 0; i < 256; ++i) {
      std::snprintf(line, sizeof line, "%3d %3d %3d\tIndex %d\n", palette.rgb[i][0],
                    palette.rgb[i][1], palette.rgb[i][2], i);
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
    if (!pngio::WriteIndexedPng(path, side, side, swatch.data(), side, palette.rgb, &error))
      Fail(error);
    return;
  } else {
    Fail("cannot tell the palette format of " + toolkit::Quoted(path) +
         ": the name must end in .gpl (GIMP, Krita, Inkscape, Aseprite), .pal (JASC) or .png "
         "(swatch)");
  }
  WriteWholeFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

}  // namespace pixsheet
