// pixshow-capture, run as a child process on the sample art: the eight
// pictures as an ordinary PNG reader sees them, the holds and their list,
// and the statuses for bad options and missing sheets.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "devices/devices.h"
#include "map/map.h"
#include "support.h"

using testsupport::IndexedPng;
using testsupport::ReadBytes;
using testsupport::RunTool;
using testsupport::RunResult;
using testsupport::TempDir;

namespace {

const char* const kSheetNames[] = {"ports.pix",    "button.pix", "Divadude.pix",
                                   "WarTiles.pix", "Pieces.pix", "Borders.pix"};

// An image of a sheet, as the bytes the file holds.
struct SheetImages {
  int width = 0, height = 0;
  std::vector<uint8_t> bytes;
  int At(int image, int x, int y) const {
    return bytes[static_cast<size_t>(image) * width * height + static_cast<size_t>(y) * width + x];
  }
};

IndexedPng LoadPicture(const std::string& path) {
  IndexedPng png;
  std::string error;
  EXPECT_TRUE(testsupport::ReadIndexedPng(path, png, error)) << error;
  return png;
}

// Counts the pixels of a picture's region that differ from an image of a sheet
// placed at (x, y), over the image's columns c0..c1 and rows r0..r1.
int Mismatches(const IndexedPng& pic, const SheetImages& sheet, int image, int x, int y, int c0, int c1,
               int r0, int r1) {
  int bad = 0;
  for (int r = r0; r <= r1; ++r)
    for (int c = c0; c <= c1; ++c) bad += pic.At(x + c, y + r) != sheet.At(image, c, r);
  return bad;
}

int MismatchesWhole(const IndexedPng& pic, const SheetImages& sheet, int image, int x, int y) {
  return Mismatches(pic, sheet, image, x, y, 0, sheet.width - 1, 0, sheet.height - 1);
}

class CaptureOfSampleArt : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    sheets_ = new TempDir;
    out_ = new TempDir;
    const RunResult gen = RunTool(sheets_->Path(), PIXSHOW_SAMPLEGEN_EXE, {"--out", "."});
    ASSERT_EQ(gen.status, 0) << gen.err;
    run_ = new RunResult(
        RunTool(sheets_->Path(), PIXSHOW_CAPTURE_EXE, {"--out", out_->Path() + "/pictures", "--all-holds"}));
    const int sizes[6][2] = {{82, 62}, {45, 12}, {82, 62}, {42, 32}, {42, 32}, {42, 32}};
    for (int i = 0; i < 6; ++i) {
      images_[i].width = sizes[i][0];
      images_[i].height = sizes[i][1];
      images_[i].bytes = ReadBytes(*sheets_ / kSheetNames[i]);
    }
  }
  static void TearDownTestSuite() {
    delete run_;
    delete out_;
    delete sheets_;
  }
  static std::string Picture(const std::string& name) { return out_->Path() + "/pictures/" + name; }
  static IndexedPng Screen(int n) { return LoadPicture(Picture("screen-" + std::to_string(n) + ".png")); }

  static const SheetImages& Portraits() { return images_[0]; }
  static const SheetImages& Button() { return images_[1]; }
  static const SheetImages& Icons() { return images_[2]; }
  static const SheetImages& Tiles() { return images_[3]; }
  static const SheetImages& Pieces() { return images_[4]; }
  static const SheetImages& Borders() { return images_[5]; }

  static TempDir* sheets_;
  static TempDir* out_;
  static RunResult* run_;
  static SheetImages images_[6];
};
TempDir* CaptureOfSampleArt::sheets_ = nullptr;
TempDir* CaptureOfSampleArt::out_ = nullptr;
RunResult* CaptureOfSampleArt::run_ = nullptr;
SheetImages CaptureOfSampleArt::images_[6];

TEST_F(CaptureOfSampleArt, EndsWithStatusZeroAndWritesEightIndexedScreensWithThePalette) {
  EXPECT_EQ(run_->status, 0) << run_->err;
  EXPECT_EQ(run_->err, "");
  EXPECT_FALSE(testsupport::Exists(Picture("screen-9.png")));
  PALETTEENTRY entries[256];
  BuildPaletteEntries(entries);
  for (int n = 1; n <= 8; ++n) {
    const IndexedPng pic = Screen(n);
    ASSERT_EQ(pic.width, 640) << n;
    ASSERT_EQ(pic.height, 480) << n;
    ASSERT_EQ(pic.rgb.size(), 256u * 3) << n;
    for (int i = 0; i < 256; ++i) {
      EXPECT_EQ(pic.rgb[i * 3], entries[i].peRed) << "screen " << n << " entry " << i;
      EXPECT_EQ(pic.rgb[i * 3 + 1], entries[i].peGreen) << "screen " << n << " entry " << i;
      EXPECT_EQ(pic.rgb[i * 3 + 2], entries[i].peBlue) << "screen " << n << " entry " << i;
    }
    // Every screen shows the continue button and, at the top, the title.
    EXPECT_EQ(MismatchesWhole(pic, Button(), 0, 540, 435), 0) << "button, screen " << n;
    int title = 0;
    for (int y = 20; y < 37; ++y)
      for (int x = 260; x < 360; ++x) title += pic.At(x, y) != 0;
    EXPECT_GT(title, 50) << "title, screen " << n;
  }
  // The sheets folder gets nothing.
  EXPECT_EQ(testsupport::List(sheets_->Path()).size(), 6u);
}

TEST_F(CaptureOfSampleArt, ScreenOneShowsTheGalleryAndScreenTwoRedSun) {
  const IndexedPng one = Screen(1);
  const int rows[3][5] = {{0, 1, 3, 5, 6}, {7, 8, 9, 10, 12}, {15, 16, 17, 18, 19}};
  const int ys[3] = {50, 140, 230};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 5; ++c)
      EXPECT_EQ(MismatchesWhole(one, Portraits(), rows[r][c], 40 + c * 120, ys[r]), 0)
          << "portrait " << rows[r][c];
  const IndexedPng two = Screen(2);
  EXPECT_EQ(MismatchesWhole(two, Portraits(), 4, 270, 60), 0);
  // The gallery is gone: panel 1 was cleared, only the new portrait is there.
  EXPECT_EQ(two.At(45, 55), 0);
}

TEST_F(CaptureOfSampleArt, ScreenThreeShowsTheSymbolStripOfEachIcon) {
  const IndexedPng three = Screen(3);
  const int xs[3] = {104, 242, 380}, ys[3] = {112, 184, 256};
  for (int col = 0; col < 3; ++col)
    for (int row = 0; row < 3; ++row) {
      const int icon = col * 3 + row;  // numbered down each column
      const int lastRow = row == 2 ? 37 : 61;
      EXPECT_EQ(Mismatches(three, Icons(), icon, xs[col], ys[row], 0, 35, 0, lastRow), 0) << "icon " << icon + 1;
      if (row == 2) {
        for (int y = ys[row] + 38; y < ys[row] + 62; ++y) EXPECT_EQ(three.At(xs[col] + 10, y), 0) << y;
      }
    }
}

TEST_F(CaptureOfSampleArt, MapScreensShowEveryCellInItsSeason) {
  int cellX[CellTableSize], cellY[CellTableSize];
  ComputeCellOrigins(cellX, cellY);
  const int seasons[4] = {1, 2, 3, 0};  // screens 4 to 7
  const int pieceCells[6] = {39, 32, 53, 60, 67, 54};
  for (int s = 0; s < 4; ++s) {
    const IndexedPng pic = Screen(4 + s);
    for (int n = 1; n <= MapCellCount; ++n) {
      bool piece = false;
      for (int p : pieceCells) piece = piece || (s == 3 && p == n);
      if (piece) continue;
      EXPECT_EQ(MismatchesWhole(pic, Tiles(), seasons[s] * 9 + BattleMapLayout[n], cellX[n], cellY[n]), 0)
          << "screen " << 4 + s << " cell " << n;
    }
  }
}

TEST_F(CaptureOfSampleArt, ScreenSevenShowsThePiecesAndTheTurnMarkerThenScreenEightIsClosing) {
  const IndexedPng seven = Screen(7);
  int cellX[CellTableSize], cellY[CellTableSize];
  ComputeCellOrigins(cellX, cellY);
  const struct {
    int image, cell;
  } pieces[5] = {{3, 39}, {0, 32}, {0, 53}, {4, 60}, {2, 67}};
  for (const auto& p : pieces) {
    // Above the number and left of it the piece shows untouched.
    EXPECT_EQ(Mismatches(seven, Pieces(), p.image, cellX[p.cell], cellY[p.cell], 0, 41, 0, 13), 0) << p.cell;
    EXPECT_EQ(Mismatches(seven, Pieces(), p.image, cellX[p.cell], cellY[p.cell], 0, 8, 0, 31), 0) << p.cell;
  }
  // Cell 54: piece 1 under the bright border, drawn last.
  const int x = cellX[54], y = cellY[54];
  for (int r = 0; r < 32; ++r)
    for (int c = 0; c < 42; ++c) {
      const int bright = Borders().At(1, c, r);
      if (bright != 0) {
        EXPECT_EQ(seven.At(x + c, y + r), bright) << c << "," << r;
      } else if (r < 14 || c < 9) {
        EXPECT_EQ(seven.At(x + c, y + r), Pieces().At(1, c, r)) << c << "," << r;
      }
    }
  const IndexedPng eight = Screen(8);
  int lit = 0;
  for (int yy = 37; yy < 370; ++yy)
    for (int xx = 20; xx < 640; ++xx) lit += eight.At(xx, yy) != 0;
  EXPECT_EQ(lit, 0) << "the map is cleared before the closing screen";
  int caption = 0;
  for (int yy = 380; yy < 416; ++yy)
    for (int xx = 50; xx < 200; ++xx) caption += eight.At(xx, yy) != 0;
  EXPECT_GT(caption, 100);
}

struct HoldLine {
  std::string name;
  unsigned long long atMs;
  std::string kind;
  unsigned pauseMs;
  int screen;
};

TEST_F(CaptureOfSampleArt, ListsEveryHoldWithItsPicture) {
  std::ifstream tsv(Picture("holds.tsv"));
  ASSERT_TRUE(tsv.good());
  std::vector<HoldLine> holds;
  std::string line;
  while (std::getline(tsv, line)) {
    std::istringstream fields(line);
    HoldLine h;
    std::string at, pause, screen;
    ASSERT_TRUE(std::getline(fields, h.name, '\t') && std::getline(fields, at, '\t') &&
                std::getline(fields, h.kind, '\t') && std::getline(fields, pause, '\t') &&
                std::getline(fields, screen))
        << line;
    h.atMs = std::stoull(at);
    h.pauseMs = static_cast<unsigned>(std::stoul(pause));
    h.screen = std::stoi(screen);
    holds.push_back(h);
  }
  // Eight waits, each followed by its 500 ms pause; three 2000 ms pauses on
  // screen 2; on screen 7 two of 2000 ms and three of 500 ms.
  ASSERT_EQ(holds.size(), 24u);
  unsigned total = 0;
  int waits = 0;
  for (size_t i = 0; i < holds.size(); ++i) {
    const HoldLine& h = holds[i];
    char expected[32];
    std::snprintf(expected, sizeof expected, "hold-%03zu.png", i + 1);
    EXPECT_EQ(h.name, expected);
    EXPECT_TRUE(h.kind == "wait" || h.kind == "pause") << h.kind;
    if (i > 0) {
      EXPECT_GE(h.atMs, holds[i - 1].atMs + holds[i - 1].pauseMs) << h.name;
    }
    EXPECT_EQ(h.screen, std::min(waits + 1, 8)) << h.name;
    if (h.kind == "wait") {
      EXPECT_EQ(h.pauseMs, 0u);
      ++waits;
      // The wait's picture is the screen's picture.
      EXPECT_TRUE(LoadPicture(Picture(h.name)).indices == Screen(waits).indices) << h.name;
    } else {
      total += h.pauseMs;
    }
  }
  EXPECT_EQ(waits, 8);
  EXPECT_EQ(total, 15500u);
  // Screen 2's three pauses: entry 4 red, then blue, then green.
  const unsigned char colours[3][3] = {{255, 0, 0}, {0, 0, 255}, {0, 255, 0}};
  int seen = 0;
  for (const HoldLine& h : holds) {
    if (h.kind != "pause" || h.pauseMs != 2000 || h.screen != 2) continue;
    ASSERT_LT(seen, 3);
    const IndexedPng pic = LoadPicture(Picture(h.name));
    EXPECT_EQ(pic.rgb[4 * 3], colours[seen][0]) << h.name;
    EXPECT_EQ(pic.rgb[4 * 3 + 1], colours[seen][1]) << h.name;
    EXPECT_EQ(pic.rgb[4 * 3 + 2], colours[seen][2]) << h.name;
    EXPECT_EQ(MismatchesWhole(pic, Portraits(), 4, 270, 60), 0) << "no pixel is rewritten";
    ++seen;
  }
  EXPECT_EQ(seen, 3);
}

TEST(CaptureOptions, HelpAndBadOptions) {
  TempDir dir;
  const RunResult help = RunTool(dir.Path(), PIXSHOW_CAPTURE_EXE, {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--all-holds"), std::string::npos);
  std::ofstream(dir / "file") << "x";
  const std::vector<std::vector<std::string>> bad = {
      {"--frobnicate"},         {"--sheets"},     {"--sheets", dir / "missing"}, {"--sheets", dir / "file"},
      {"--out", dir / "file"},  {"--all-holds=yes"}, {"--out="},                 {"extra"},
  };
  for (const auto& args : bad) {
    const RunResult r = RunTool(dir.Path(), PIXSHOW_CAPTURE_EXE, args);
    EXPECT_EQ(r.status, 2) << args[0];
    EXPECT_NE(r.err.find("usage: pixshow-capture"), std::string::npos) << args[0];
    EXPECT_EQ(r.out, "");
  }
  // Nothing was created: not the default "capture" folder, not a picture.
  EXPECT_EQ(testsupport::List(dir.Path()), std::vector<std::string>{"file"});
}

// With one sheet missing the program stops where it first needs it, with
// status 1 and a line naming the sheet; the pictures until then stay and the
// sheets folder gets nothing.
TEST(CaptureMissingSheet, EndsWithStatusOneAndKeepsThePicturesBefore) {
  TempDir art;
  ASSERT_EQ(RunTool(art.Path(), PIXSHOW_SAMPLEGEN_EXE, {"--out", "."}).status, 0);
  const int screensBefore[6] = {0, 0, 2, 3, 6, 6};
  for (int missing = 0; missing < 6; ++missing) {
    TempDir sheets, out;
    for (int i = 0; i < 6; ++i)
      if (i != missing) testsupport::CopyFile(art / kSheetNames[i], sheets / kSheetNames[i]);
    const std::vector<std::string> before = testsupport::List(sheets.Path());
    const RunResult r = RunTool(out.Path(), PIXSHOW_CAPTURE_EXE, {"--sheets", sheets.Path(), "--out", "pics"});
    EXPECT_EQ(r.status, 1) << kSheetNames[missing];
    EXPECT_NE(r.err.find(kSheetNames[missing]), std::string::npos) << r.err;
    EXPECT_EQ(testsupport::List(sheets.Path()), before) << kSheetNames[missing];
    for (int n = 1; n <= 8; ++n) {
      EXPECT_EQ(testsupport::Exists(out / ("pics/screen-" + std::to_string(n) + ".png")), n <= screensBefore[missing])
          << kSheetNames[missing] << " screen " << n;
    }
  }
}

}  // namespace
