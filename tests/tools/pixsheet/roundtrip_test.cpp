// Sheet -> PNG -> sheet gives back the same bytes, for every sheet the
// program reads.
#include <gtest/gtest.h>

#include "pngio.h"
#include "support.h"

namespace pstest {
namespace {

struct Known {
  const char* name;
  int w;
  int h;
  int columns;  // contact-sheet columns export uses by default
};

const Known kKnown[] = {
    {"ports.pix", 82, 62, 10},   {"button.pix", 45, 12, 10}, {"Divadude.pix", 82, 62, 10},
    {"WarTiles.pix", 42, 32, 9}, {"Pieces.pix", 42, 32, 10}, {"Borders.pix", 42, 32, 10},
};

class RoundTrip : public PixsheetTest, public ::testing::WithParamInterface<Known> {};

// The exported PNG is indexed, carries the program's palette in full and
// holds the sheet's bytes as its indices.
void ExpectIndexedWithProgramPalette(const pngio::Image& png) {
  ASSERT_TRUE(png.indexed);
  ASSERT_EQ(png.paletteSize, 256);
  for (int i = 0; i < 256; ++i) {
    const Rgb c = ProgramColours()[i];
    EXPECT_TRUE(png.palette[i][0] == c.r && png.palette[i][1] == c.g && png.palette[i][2] == c.b) << i;
  }
}

TEST_P(RoundTrip, ContactSheetGivesBackEveryByte) {
  const Known k = GetParam();
  // 13 images leave empty places on a grid of 9 or 10 columns.
  const int count = 13;
  const std::vector<uint8_t> sheet = MakeSheet(k.w, k.h, count);
  WriteBytes(At(k.name), sheet);

  Result r = Run({"export", k.name, "-o", "all.png"});
  ASSERT_EQ(r.status, 0) << r.err;

  pngio::Image png = LoadPng(At("all.png"));
  ExpectIndexedWithProgramPalette(png);
  const int rows = (count + k.columns - 1) / k.columns;
  EXPECT_EQ(png.width, k.columns * k.w + (k.columns - 1));
  EXPECT_EQ(png.height, rows * k.h + (rows - 1));
  // Image 12 sits in row 1 at column 12 - columns; its top-left pixel and the
  // gap to its left.
  const int col = 12 % k.columns;
  const int x = col * (k.w + 1);
  const int y = (12 / k.columns) * (k.h + 1);
  EXPECT_EQ(png.indices[static_cast<size_t>(y) * png.width + x], sheet[static_cast<size_t>(12) * k.w * k.h]);
  if (col > 0) {
    EXPECT_EQ(png.indices[static_cast<size_t>(y) * png.width + x - 1], 41);
  }
  // The place after the last image is marked empty: the gap on its left is
  // 7, its pixels a checkerboard of 7 and 8.
  const int ex = ((count % k.columns)) * (k.w + 1);
  EXPECT_EQ(png.indices[static_cast<size_t>(y) * png.width + ex - 1], 7);
  EXPECT_EQ(png.indices[static_cast<size_t>(y) * png.width + ex], 7);
  EXPECT_EQ(png.indices[static_cast<size_t>(y) * png.width + ex + 4], 8);
  EXPECT_EQ(png.indices[static_cast<size_t>(y - 1) * png.width + ex], 41);  // the gap above: plain

  r = Run({"import", "all.png", "-o", k.name});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadBytes(At(k.name)), sheet);
}

TEST_P(RoundTrip, SingleImagesGiveBackEveryByte) {
  const Known k = GetParam();
  const int count = 3;
  const std::vector<uint8_t> sheet = MakeSheet(k.w, k.h, count);
  WriteBytes(At(k.name), sheet);
  std::vector<std::string> import = {"import"};
  for (int i = 0; i < count; ++i) {
    const std::string out = "one-" + std::to_string(i) + ".png";
    Result r = Run({"export", k.name, "--image", std::to_string(i), "-o", out});
    ASSERT_EQ(r.status, 0) << r.err;
    pngio::Image png = LoadPng(At(out));
    ExpectIndexedWithProgramPalette(png);
    ASSERT_EQ(png.width, k.w);
    ASSERT_EQ(png.height, k.h);
    EXPECT_TRUE(std::equal(png.indices.begin(), png.indices.end(),
                           sheet.begin() + static_cast<ptrdiff_t>(i) * k.w * k.h));
    import.push_back(out);
  }
  // Given in reverse, the images come back in the order given.
  std::reverse(import.begin() + 1, import.end());
  import.insert(import.end(), {"-o", "again.pix", "--size", std::to_string(k.w) + "x" + std::to_string(k.h)});
  Result r = Run(import);
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<uint8_t> expected;
  for (int i = count - 1; i >= 0; --i) {
    expected.insert(expected.end(), sheet.begin() + static_cast<ptrdiff_t>(i) * k.w * k.h,
                    sheet.begin() + static_cast<ptrdiff_t>(i + 1) * k.w * k.h);
  }
  EXPECT_EQ(ReadBytes(At("again.pix")), expected);
}

INSTANTIATE_TEST_SUITE_P(KnownSheets, RoundTrip, ::testing::ValuesIn(kKnown),
                         [](const ::testing::TestParamInfo<Known>& info) {
                           std::string name = info.param.name;
                           return name.substr(0, name.find('.'));
                         });

using ContactSheet = PixsheetTest;

TEST_F(ContactSheet, ColumnsOptionAndDefaultOutputName) {
  const std::vector<uint8_t> sheet = MakeSheet(5, 4, 7);
  WriteBytes(At("odd.pix"), sheet);
  Result r = Run({"export", "odd.pix", "--size", "5x4", "--columns", "3"});
  ASSERT_EQ(r.status, 0) << r.err;
  pngio::Image png = LoadPng(At("odd.png"));
  EXPECT_EQ(png.width, 3 * 5 + 2);
  EXPECT_EQ(png.height, 3 * 4 + 2);
  r = Run({"import", "odd.png", "--size", "5x4", "-o", "back.pix"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadBytes(At("back.pix")), sheet);

  // A single column is a contact sheet too.
  r = Run({"export", "odd.pix", "--size", "5x4", "--columns", "1", "-o", "tall.png"});
  ASSERT_EQ(r.status, 0) << r.err;
  r = Run({"import", "tall.png", "--size", "5x4", "-o", "tall.pix"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadBytes(At("tall.pix")), sheet);
}

TEST_F(ContactSheet, DrawingIntoAnEmptyPlaceAddsAnImage) {
  const std::vector<uint8_t> sheet = MakeSheet(4, 4, 3);
  WriteBytes(At("s.pix"), sheet);
  // Two columns: place 3 (row 1, column 1) holds nothing. Draw one pixel into it.
  ASSERT_EQ(Run({"export", "s.pix", "--size", "4x4", "--columns", "2", "-o", "s2.png"}).status, 0);
  pngio::Image png = LoadPng(At("s2.png"));
  ASSERT_EQ(png.width, 9);
  ASSERT_EQ(png.height, 9);
  std::vector<uint8_t> drawn = png.indices;
  drawn[5 * 9 + 5 + 2] = 200;  // pixel (2, 0) of place 3
  SaveIndexed(At("drawn.png"), png.width, png.height, drawn.data());
  Result r = Run({"import", "drawn.png", "--size", "4x4", "-o", "out.pix"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<uint8_t> out = ReadBytes(At("out.pix"));
  ASSERT_EQ(out.size(), 4u * 16);
  EXPECT_TRUE(std::equal(sheet.begin(), sheet.end(), out.begin()));
  EXPECT_EQ(out[48], 7);       // the pattern's light square, kept
  EXPECT_EQ(out[48 + 2], 200);  // the pixel drawn
}

TEST_F(ContactSheet, ImagesThatLookLikeEmptyPlacesComeBack) {
  // 1 x 1 images: a lone 7 is the whole empty-place pattern, and so are the
  // last images here; without the mark in the gap they are images.
  const std::vector<uint8_t> sheet = {7, 3, 7, 8, 7, 7};
  WriteBytes(At("tiny.pix"), sheet);
  ASSERT_EQ(Run({"export", "tiny.pix", "--size", "1x1", "--columns", "4", "-o", "tiny.png"}).status, 0);
  Result r = Run({"import", "tiny.png", "--size", "1x1", "-o", "back.pix"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadBytes(At("back.pix")), sheet);
}

TEST_F(ContactSheet, AnEmptyPlaceBeforeAnImageIsRefused) {
  WriteBytes(At("s.pix"), MakeSheet(4, 4, 3));
  ASSERT_EQ(Run({"export", "s.pix", "--size", "4x4", "--columns", "3", "-o", "three.png"}).status, 0);
  pngio::Image png = LoadPng(At("three.png"));
  ASSERT_EQ(png.width, 14);
  // Make the middle place empty, as export marks it, with an image after it.
  std::vector<uint8_t> picture = png.indices;
  for (int y = 0; y < 4; ++y) {
    picture[static_cast<size_t>(y) * 14 + 4] = 7;                          // the mark in the gap
    for (int x = 0; x < 4; ++x) picture[static_cast<size_t>(y) * 14 + 5 + x] = 7;  // all light at 4 x 4
  }
  SaveIndexed(At("hole.png"), 14, 4, picture.data());
  ExpectFailure(Run({"import", "hole.png", "--size", "4x4", "-o", "out.pix"}),
                "grid place 1 is empty but an image follows it");
  EXPECT_FALSE(fs::exists(At("out.pix")));
}

TEST_F(ContactSheet, PartialLastImageIsLeftOutOfTheContactSheetButExportableAlone) {
  std::vector<uint8_t> sheet = MakeSheet(45, 12, 2);
  sheet.resize(sheet.size() + 100, 9);
  WriteBytes(At("button.pix"), sheet);
  Result r = Run({"export", "button.pix"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("100 bytes"), std::string::npos) << r.out;
  pngio::Image png = LoadPng(At("button.png"));
  EXPECT_EQ(png.width, 2 * 45 + 1);

  // Alone, the partial image comes out as the program draws it: 255 after
  // the end of the file.
  r = Run({"export", "button.pix", "--image", "2"});
  ASSERT_EQ(r.status, 0) << r.err;
  png = LoadPng(At("button-2.png"));
  for (int i = 0; i < 540; ++i) ASSERT_EQ(png.indices[i], i < 100 ? 9 : 255) << i;

  ExpectFailure(Run({"export", "button.pix", "--image", "3"}), "no image 3");
}

}  // namespace
}  // namespace pstest
