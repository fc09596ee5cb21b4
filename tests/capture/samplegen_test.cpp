// The sample art generator: the six sheets at their sizes, the same bytes on
// every run, and the few properties of the art that the presentation relies on.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support.h"

using testsupport::ReadBytes;
using testsupport::RunTool;
using testsupport::TempDir;

namespace {

struct SheetSize {
  const char* name;
  int width, height, images;
};

const SheetSize kSheets[] = {
    {"ports.pix", 82, 62, 20},   {"button.pix", 45, 12, 1}, {"Divadude.pix", 82, 62, 9},
    {"WarTiles.pix", 42, 32, 36}, {"Pieces.pix", 42, 32, 5}, {"Borders.pix", 42, 32, 2},
};

class SampleArt : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    const auto r = RunTool(dir_->Path(), PIXSHOW_SAMPLEGEN_EXE, {"--out", "."});
    ASSERT_EQ(r.status, 0) << r.err;
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static std::vector<uint8_t> Sheet(const std::string& name) { return ReadBytes(*dir_ / name); }
  static TempDir* dir_;
};
TempDir* SampleArt::dir_ = nullptr;

TEST_F(SampleArt, WritesTheSixSheetsAtTheirSizes) {
  for (const SheetSize& s : kSheets) {
    EXPECT_EQ(Sheet(s.name).size(), static_cast<size_t>(s.width) * s.height * s.images) << s.name;
  }
}

TEST_F(SampleArt, IsTheSameOnEveryRun) {
  TempDir again;
  const auto r = RunTool(again.Path(), PIXSHOW_SAMPLEGEN_EXE, {"--out", again.Path()});
  ASSERT_EQ(r.status, 0) << r.err;
  for (const SheetSize& s : kSheets) EXPECT_TRUE(ReadBytes(again / s.name) == Sheet(s.name)) << s.name;
  // Nothing but the six sheets is left behind.
  EXPECT_EQ(testsupport::List(again.Path()).size(), 6u);
}

TEST_F(SampleArt, UsesOnlyBlackAndTheFixedArtworkColours) {
  for (const SheetSize& s : kSheets) {
    for (uint8_t b : Sheet(s.name)) {
      ASSERT_LE(b, 80) << s.name;
    }
  }
}

TEST_F(SampleArt, RedSunIsMostlyTheRecolouredEntryAndNoOtherPortraitUsesIt) {
  const std::vector<uint8_t> ports = Sheet("ports.pix");
  const size_t size = 82 * 62;
  for (size_t image = 0; image < 20; ++image) {
    size_t fours = 0;
    for (size_t i = 0; i < size; ++i) fours += ports[image * size + i] == 4;
    if (image == 4) {
      EXPECT_GT(fours * 2, size) << "portrait 4 should be drawn largely in entry 4";
    } else {
      EXPECT_EQ(fours, 0u) << "portrait " << image;
    }
  }
}

TEST_F(SampleArt, BordersAreFramesAroundATransparentInteriorThatCoverEachOther) {
  const std::vector<uint8_t> borders = Sheet("Borders.pix");
  const size_t size = 42 * 32;
  size_t frame = 0;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 42; ++x) {
      const uint8_t dark = borders[y * 42 + x], bright = borders[size + y * 42 + x];
      const bool edge = x == 0 || y == 0 || x == 41 || y == 31;
      const bool interior = x >= 6 && x <= 35 && y >= 6 && y <= 25;
      if (edge) {
        EXPECT_NE(dark, 0) << x << "," << y;
        EXPECT_NE(bright, 0) << x << "," << y;
      }
      if (interior) {
        EXPECT_EQ(dark, 0) << x << "," << y;
        EXPECT_EQ(bright, 0) << x << "," << y;
      }
      // The blink only works if each image paints every pixel of the other.
      EXPECT_EQ(dark != 0, bright != 0) << x << "," << y;
      frame += bright != 0;
    }
  EXPECT_GT(frame, 200u);
}

TEST(SampleGenerator, RefusesBadArguments) {
  TempDir dir;
  EXPECT_EQ(RunTool(dir.Path(), PIXSHOW_SAMPLEGEN_EXE, {}).status, 2);
  EXPECT_EQ(RunTool(dir.Path(), PIXSHOW_SAMPLEGEN_EXE, {"--out"}).status, 2);
  EXPECT_EQ(RunTool(dir.Path(), PIXSHOW_SAMPLEGEN_EXE, {"--out", dir / "missing"}).status, 2);
  EXPECT_EQ(RunTool(dir.Path(), PIXSHOW_SAMPLEGEN_EXE, {"--out", ".", "--frobnicate"}).status, 2);
  EXPECT_TRUE(testsupport::List(dir.Path()).empty());
  const auto help = RunTool(dir.Path(), PIXSHOW_SAMPLEGEN_EXE, {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--out DIR"), std::string::npos);
}

}  // namespace
