// pixshow-capture, run as a child process on the sample art: the eight
// pictures as the PNG reader sees them, the holds and their list,
// and the statuses for bad options and missing sheets. (What each screen
// shows is checked pixel for pixel in tests/show; here, that the pictures
// hold the visible screen's indices and palette.)
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <cstdio>
#include <string>
#include <vector>

#include "devices/devices.h"
#include "map/map.h"
#include "pxpng.h"
#include "tests/support/tools.h"
#include "tests/support/world.h"

namespace {

using namespace pxtest;

// An indexed PNG: its indices and its colour table as red, green, blue.
struct IndexedPng {
  std::vector<uint8_t> indices, rgb;
  int width = 0, height = 0;
  int At(int x, int y) const { return indices[static_cast<size_t>(y) * width + x]; }
};

IndexedPng LoadPicture(const std::string& path) {
  pxpng::Image png;
  std::string error;
  EXPECT_TRUE(pxpng::ReadPng(path, &png, &error)) << error;
  EXPECT_TRUE(png.indexed) << path;
  IndexedPng pic{png.indices, {}, png.width, png.height};
  for (int i = 0; i < png.paletteSize; ++i) pic.rgb.insert(pic.rgb.end(), png.palette[i], png.palette[i] + 3);
  return pic;
}

class CaptureOfSampleArt : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    sheets_ = new TempDir;
    out_ = new TempDir;
    const RunResult gen = RunTool(sheets_->Path(), PIXSHOW_SAMPLEGEN_EXE, {"--out", "."});
    ASSERT_EQ(gen.status, 0) << gen.err;
    run_ = new RunResult(RunTool(sheets_->Path(), PIXSHOW_CAPTURE_EXE, {"--out", *out_ / "pictures", "--all-holds"}));
  }
  static void TearDownTestSuite() {
    delete run_;
    delete out_;
    delete sheets_;
  }
  static std::string Picture(const std::string& name) { return *out_ / ("pictures/" + name); }
  static IndexedPng Screen(int n) { return LoadPicture(Picture("screen-" + std::to_string(n) + ".png")); }

  // Pixels of `pic` that differ from image `image` (width x height) of the
  // sample sheet `sheet` placed at (x, y).
  static int Mismatches(const IndexedPng& pic, const std::string& sheet, int width, int height, int image, int x,
                        int y) {
    const std::vector<uint8_t> bytes = ReadBytes(*sheets_ / sheet);
    int bad = 0;
    for (int r = 0; r < height; ++r)
      for (int c = 0; c < width; ++c)
        bad += pic.At(x + c, y + r) != bytes[static_cast<size_t>(image) * width * height + r * width + c];
    return bad;
  }

  static TempDir* sheets_;
  static TempDir* out_;
  static RunResult* run_;
};
TempDir* CaptureOfSampleArt::sheets_ = nullptr;
TempDir* CaptureOfSampleArt::out_ = nullptr;
RunResult* CaptureOfSampleArt::run_ = nullptr;

TEST_F(CaptureOfSampleArt, WritesEightIndexedScreensWithThePaletteAndTheirPictures) {
  EXPECT_EQ(run_->status, 0) << run_->err;
  EXPECT_EQ(run_->err, "");
  EXPECT_FALSE(Exists(Picture("screen-9.png")));
  PALETTEENTRY entries[256];
  BuildPaletteEntries(entries);
  std::vector<uint8_t> rgb;
  for (const PALETTEENTRY& e : entries) rgb.insert(rgb.end(), {e.peRed, e.peGreen, e.peBlue});
  for (int n = 1; n <= 8; ++n) {
    SCOPED_TRACE("screen " + std::to_string(n));
    const IndexedPng pic = Screen(n);
    ASSERT_EQ(pic.width, 640);
    ASSERT_EQ(pic.height, 480);
    EXPECT_EQ(pic.rgb, rgb);
    EXPECT_EQ(Mismatches(pic, "button.pix", 45, 12, 0, 540, 435), 0);
  }
  // The visible screen, not the back buffer: the gallery of screen 1 and the
  // summer map of screen 4.
  const IndexedPng one = Screen(1);
  const int gallery[3][5] = {{0, 1, 3, 5, 6}, {7, 8, 9, 10, 12}, {15, 16, 17, 18, 19}};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 5; ++c)
      EXPECT_EQ(Mismatches(one, "ports.pix", 82, 62, gallery[r][c], 40 + c * 120, 50 + r * 90), 0)
          << "portrait " << gallery[r][c];
  const IndexedPng four = Screen(4);
  for (int cell = 1; cell <= MapCellCount; ++cell) {
    int x, y;
    FindCellOrigin(cell, &x, &y);
    EXPECT_EQ(Mismatches(four, "WarTiles.pix", 42, 32, 9 + BattleMapLayout[cell], x, y), 0) << "cell " << cell;
  }
  EXPECT_EQ(List(sheets_->Path()).size(), 6u);  // the sheets folder gets nothing
}

TEST_F(CaptureOfSampleArt, ListsEveryHoldWithItsPicture) {
  std::ifstream tsv(Picture("holds.tsv"));
  ASSERT_TRUE(tsv.good());
  struct Hold {
    std::string name, kind;
    unsigned long long atMs;
    unsigned pauseMs;
    int screen;
  };
  std::vector<Hold> holds;
  std::string line;
  while (std::getline(tsv, line)) {
    char name[64], kind[16];
    Hold h;
    ASSERT_EQ(std::sscanf(line.c_str(), "%63[^\t]\t%llu\t%15[^\t]\t%u\t%d", name, &h.atMs, kind, &h.pauseMs,
                          &h.screen), 5) << line;
    h.name = name;
    h.kind = kind;
    holds.push_back(h);
  }
  // Eight waits, each followed by its 500 ms pause; three 2000 ms pauses on
  // screen 2; on screen 7 two of 2000 ms and three of 500 ms.
  ASSERT_EQ(holds.size(), 24u);
  unsigned total = 0;
  int waits = 0;
  const unsigned char entry4[3][3] = {{255, 0, 0}, {0, 0, 255}, {0, 255, 0}};  // screen 2's pauses
  int screen2 = 0;
  for (size_t i = 0; i < holds.size(); ++i) {
    const Hold& h = holds[i];
    char expected[32];
    std::snprintf(expected, sizeof expected, "hold-%03zu.png", i + 1);
    EXPECT_EQ(h.name, expected);
    EXPECT_GE(h.atMs, i > 0 ? holds[i - 1].atMs + holds[i - 1].pauseMs : 0) << h.name;
    // The pause that ends a wait belongs to that wait's screen.
    const bool endsWait = i > 0 && holds[i - 1].kind == "wait";
    EXPECT_EQ(h.screen, std::min(endsWait ? waits : waits + 1, 8)) << h.name;
    const IndexedPng pic = LoadPicture(Picture(h.name));
    if (h.kind == "wait") {
      EXPECT_EQ(h.pauseMs, 0u);
      ++waits;
      EXPECT_TRUE(pic.indices == Screen(waits).indices) << h.name;  // the screen's own picture
    } else {
      ASSERT_EQ(h.kind, "pause");
      total += h.pauseMs;
      if (h.screen == 2 && h.pauseMs == 2000 && screen2 < 3) {
        EXPECT_EQ(std::vector<uint8_t>(pic.rgb.begin() + 12, pic.rgb.begin() + 15),
                  std::vector<uint8_t>(entry4[screen2], entry4[screen2] + 3))
            << h.name;
        ++screen2;
      }
    }
  }
  EXPECT_EQ(waits, 8);
  EXPECT_EQ(screen2, 3);
  EXPECT_EQ(total, 15500u);
}

TEST(CaptureOptions, HelpAndBadOptions) {
  TempDir dir;
  const RunResult help = RunTool(dir.Path(), PIXSHOW_CAPTURE_EXE, {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--all-holds"), std::string::npos);
  std::ofstream(dir / "file") << "x";
  const std::vector<std::vector<std::string>> bad = {
      {"--frobnicate"},        {"--sheets"},        {"--sheets", dir / "missing"}, {"--sheets", dir / "file"},
      {"--out", dir / "file"}, {"--all-holds=yes"}, {"--out="},                    {"extra"},
  };
  for (const auto& args : bad) {
    const RunResult r = RunTool(dir.Path(), PIXSHOW_CAPTURE_EXE, args);
    EXPECT_EQ(r.status, 2) << args[0];
    EXPECT_NE(r.err.find("usage: pixshow-capture"), std::string::npos) << args[0];
    EXPECT_EQ(r.out, "");
  }
  // Nothing was created: not the default "capture" folder, not a picture.
  EXPECT_EQ(List(dir.Path()), std::vector<std::string>{"file"});
}

// With one sheet missing the tool stops where it first needs it, with status
// 1 and a line naming the sheet; the pictures until then stay and the
// sheets folder gets nothing.
TEST(CaptureMissingSheet, EndsWithStatusOneAndKeepsThePicturesBefore) {
  TempDir art;
  ASSERT_EQ(RunTool(art.Path(), PIXSHOW_SAMPLEGEN_EXE, {"--out", "."}).status, 0);
  const int screensBefore[6] = {0, 0, 2, 3, 6, 6};
  for (int missing = 0; missing < 6; ++missing) {
    const std::string name = kSheets[missing].name;
    SCOPED_TRACE(name);
    TempDir sheets, out;
    for (const SheetFile& s : kSheets)
      if (s.name != name) WriteBytes(sheets / s.name, ReadBytes(art / s.name));
    const RunResult r = RunTool(out.Path(), PIXSHOW_CAPTURE_EXE, {"--sheets", sheets.Path(), "--out", "pics"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(name), std::string::npos) << r.err;
    EXPECT_EQ(List(sheets.Path()).size(), 5u);
    for (int n = 1; n <= 8; ++n)
      EXPECT_EQ(Exists(out / ("pics/screen-" + std::to_string(n) + ".png")), n <= screensBefore[missing]) << n;
  }
}

}  // namespace
