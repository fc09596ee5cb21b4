// pixsheet: converts the program's headerless image sheets to and from PNG.
#ifndef PIXSHOW_TOOLS_PIXSHEET_H
#define PIXSHOW_TOOLS_PIXSHEET_H

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "raster/sheets.h"

namespace pngio {
struct Image;
}

namespace pixsheet {

// Any failure the user must hear about: main prints it on one line and
// ends with status 2.
struct Failure {
  std::string message;
};
[[noreturn]] void Fail(const std::string& message);

// --- The palette --------------------------------------------------------------

struct Palette {
  uint8_t rgb[256][3];
};
// The 256 colours the program sets up, from the program's own palette code.
Palette ProgramPalette();

// --- Sheets -------------------------------------------------------------------

struct ImageSize {
  int width = 0;
  int height = 0;
  int Bytes() const { return width * height; }
};

// The sheets the program reads, by exact file name (capitals included).
struct KnownSheet {
  const char* name;
  int width;
  int height;
  int columns;  // contact-sheet columns export uses by default
};
const std::vector<KnownSheet>& KnownSheets();
// The known sheet whose name is the base name of `path`, or null.
const KnownSheet* FindKnownSheet(const std::string& path);

// True when the names differ only in capitals ("pieces.pix", "Pieces.pix").
bool SameButForCapitals(const std::string& a, const std::string& b);

// "WxH", e.g. "82x62", each 1 to 4096; fails with a message naming the text.
ImageSize ParseSize(const std::string& text);
// The image size: `sizeOption` when given, else from the sheet's name.
ImageSize SizeFor(const std::string& sheetPath, const std::string& sizeOption);

// A sheet open for reading: a regular file (anything else fails without
// waiting on it, and so does a PNG picture), with its length. Sheets are read in pieces, never
// whole.
class SheetReader {
 public:
  explicit SheetReader(const std::string& path);
  ~SheetReader();
  SheetReader(const SheetReader&) = delete;
  SheetReader& operator=(const SheetReader&) = delete;
  std::FILE* File() const { return file_; }
  // Lets the file go before the sheet is replaced (Windows cannot replace an open file).
  void Close();
  long long Length() const { return length_; }

 private:
  std::FILE* file_ = nullptr;
  long long length_ = 0;
};

// What `info` tells of a sheet: its length (from the file system) and the
// indices in it, read through a small buffer up to `limit` bytes and only
// until all 256 are seen. `scanned` is less than `length` when the rest was
// not read.
struct SheetSummary {
  long long length = 0;
  long long scanned = 0;
  bool used[256] = {};
  int usedCount = 0;
};
constexpr long long kScanLimit = 64LL << 20;
SheetSummary SummariseSheet(std::FILE* sheet, const std::string& name,
                            long long limit = kScanLimit);

// Up to `count` bytes from `offset` (fewer where the sheet ends).
std::vector<uint8_t> ReadSheetBytes(std::FILE* sheet, const std::string& name, long long offset,
                                    size_t count);

// --- Contact sheets -------------------------------------------------------------
//
// Images stand in a grid of `columns` columns, left to right and then top to
// bottom, with a gap of kGap pixels of index kGapIndex between neighbours and
// none around the edge. A grid of C columns and R rows of W x H images is
// C*W + (C-1)*kGap pixels wide and R*H + (R-1)*kGap high, so a PNG's size
// and the image size give back C and R; one image is the grid 1 x 1.
// Places after the last image are empty: they show a checkerboard of
// squares of kEmptySquare pixels, alternately indices kEmptyLight and
// kEmptyDark, light at the place's top-left corner, and the gap on their left
// (beside the place, not above or below it) is kEmptyLight instead of
// kGapIndex. An empty place is never in the first column (the last row
// starts with an image), so it always has that gap. A place counts as empty
// only when both the mark and the pattern are intact: any image, even one
// that looks like the pattern, comes back, and drawing into an empty place
// makes it an image.
constexpr int kGap = 1;
constexpr uint8_t kGapIndex = 41;  // magenta
constexpr int kEmptySquare = 4;
constexpr uint8_t kEmptyLight = 7;
constexpr uint8_t kEmptyDark = 8;

struct Grid {
  int columns = 0;
  int rows = 0;
};
// The grid that a PNG of pngWidth x pngHeight holds, or false when no grid
// of `size` images fits those measures exactly.
bool GridForPicture(int pngWidth, int pngHeight, ImageSize size, Grid* grid);

// Lays `count` images out on a grid of `columns`; gives the picture and its
// measures. imageAt(i) gives image i (size.Bytes() bytes, valid until the
// next call), asked for in order, 0 first.
std::vector<uint8_t> ComposeContactSheet(const std::function<const uint8_t*(int image)>& imageAt,
                                         int count, ImageSize size, int columns, int* width,
                                         int* height);

// True when the place at (left, top) is marked empty and shows the pattern.
bool IsEmptyPlace(const uint8_t* picture, int pictureWidth, int left, int top, ImageSize size);

// A picture of palette indices, row by row.
struct Picture {
  std::vector<uint8_t> pixels;
  int width = 0;
  int height = 0;
};

// Image `image` of a sheet of `length` bytes, padded with 255 where the
// sheet ends, as the program draws it; fails when there is no such image.
Picture ExportImage(std::FILE* sheet, const std::string& name, long long length, ImageSize size,
                    long long image);
// A contact sheet of every whole image in `columns` (fewer when there are
// fewer images), numbered when asked (see NumberPlaces); fails when there is
// no whole image or the picture would be too large, before anything is read.
Picture ExportContactSheet(std::FILE* sheet, const std::string& name, long long length,
                           ImageSize size, int columns, bool numbered = false);

// A numbered preview, for looking images up: a band of kLabelBand rows above
// each row of the contact sheet `picture` (of `count` images) holds each
// image's number in white on black, over its left edge, and the first
// pixels of its first two rows carry a mark by which import knows and
// refuses such a picture (given those rows in palette indices).
constexpr int kLabelBand = 14;
void NumberPlaces(Picture* picture, int count, ImageSize size, int columns);
bool IsNumberedPreview(const uint8_t* firstRow, const uint8_t* secondRow, int width);

// Empty when a picture of width x height is one image of `size` or a grid
// of them, else the message that refuses it.
std::string PictureSizeProblem(int width, int height, const std::string& fileName, ImageSize size);

// --- What the presentation shows ---------------------------------------------------

// One image the program draws: image `image` of sheet `sheet` (a SheetId) on
// screen `screen` (1 to 8), its top `rows` rows (all of them, or fewer where
// the screen shows only part). Learnt at build time by playing the program
// over coded sheets (pixshow-artmap), one entry per image and screen.
struct ArtUse {
  int sheet;
  int image;
  int screen;
  int rows;
};
const std::vector<ArtUse>& ArtUses();

// Prints a table of the six sheets in `folder`: present, readable, a whole
// number of images, holding every image the presentation draws; what is
// wrong is named with the screen it affects. 0 when all is well, 1 when not.
int CheckFolder(const std::string& folder);

class ColourMapper;

// Reads the PNG `fileName` (or, given `f`, that open stream) row by row,
// turns its colours into indices (ColourMapper) and cuts the picture into
// images of `size`: one image or a contact sheet of them (see
// GridForPicture). Empty places are skipped and may only follow the last
// image. Each image goes to `take` as soon as its row of grid places is
// complete, so that only a few rows and one such row of places are held.
// Fails on any other size and on a numbered preview. Returns how many images
// were given.
using ImageSink = std::function<void(const uint8_t* image, size_t bytes)>;
int ImportPicture(const std::string& fileName, ImageSize size, ColourMapper* mapper, bool strict,
                  const ImageSink& take, std::FILE* f = nullptr);
// The most images ImportPicture can give from the PNG `fileName`, from its
// header alone (its grid places; 0 when it can only be refused later); fails
// as ImportPicture does on a file that is not a PNG or has the wrong size.
long long MostImagesIn(const std::string& fileName, ImageSize size);

// --- Colours to indices ------------------------------------------------------------

// Turns the pixels of a decoded PNG into palette indices:
// - a pixel of a colour-mapped PNG keeps its index when the PNG's colour for
//   that index is the program's colour for it, fully opaque (so a PNG made by export keeps
//   every index, even where two indices share a colour);
// - otherwise a fully transparent pixel becomes index 0;
// - otherwise its colour goes to the lowest index of exactly that colour, or,
//   failing that, to the nearest colour (least squared distance in red, green
//   and blue; the lowest index on ties). In strict mode a colour that is not
//   exactly in the palette, or a partly transparent pixel, is refused with
//   a message naming the file, the pixel and its colour.
class ColourMapper {
 public:
  explicit ColourMapper(const Palette& palette);
  // Maps row y of a picture whose size and colour table `header` gives:
  // rows[1] is that row's pixels (red, green, blue, alpha), rows[0] and
  // rows[2] those above and below (null at the edges), `indices` the file's
  // own indices of the row (null unless it is colour-mapped).
  void MapRow(const pngio::Image& header, int y, const uint8_t* const rows[3],
              const uint8_t* indices, uint8_t* out, const std::string& fileName, bool strict);
  int Nearest(uint8_t r, uint8_t g, uint8_t b);      // the lowest index on ties
  int Exact(uint8_t r, uint8_t g, uint8_t b) const;  // -1 when not in the palette

 private:
  Palette palette_;
  std::unordered_map<uint32_t, uint8_t> exact_;
  std::unordered_map<uint32_t, uint8_t> nearest_;
};

// --- Palette files ------------------------------------------------------------------

// The palette as a GIMP palette (.gpl), a JASC palette (.pal) or a swatch PNG
// of 16 x 16 squares of `scale` pixels each (.png), chosen by the extension
// of `path` (any case). Written through a temporary file.
void WritePaletteFile(const std::string& path, const Palette& palette, int scale);

// --- Writing ---------------------------------------------------------------------------

// Replaces `path` with `bytes`, through a temporary file beside it.
void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes);
// Writes the images that `produce` gives its sink, whole images of `size`,
// over the images of the sheet `path` from image `first` on, straight into a
// temporary file: every other byte stays as it was and the length too,
// except that images starting exactly at the end are added there. Images
// that would reach past the end otherwise are refused, before anything is
// written when that follows from `most`, the most there can be (else they
// are counted first by a run of `produce` that writes nothing). Returns how
// many were written.
long long ReplaceImages(const std::string& path, ImageSize size, long long first, long long most,
                        const std::function<void(const ImageSink&)>& produce);

}  // namespace pixsheet

#endif
