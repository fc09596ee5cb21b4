// Sheet -> PNG -> sheet gives back the same bytes, for every sheet the
// program reads; contact sheets and their empty places.
#include <gtest/gtest.h>

#include "support.h"

namespace pxtest {
namespace {

struct Known {
  const char* name;
  int w, h;
  int columns;  // contact-sheet columns export uses by default
};
void PrintTo(const Known& k, std::ostream* os) { *os << k.name; }

class RoundTrip : public PixsheetTest, public ::testing::WithParamInterface<Known> {
 protected:
  // The exported PNG is indexed and carries the program's palette in full.
  pngio::Image LoadExport(const std::string& name) {
    pngio::Image png = LoadPng(At(name));
    EXPECT_TRUE(png.indexed && png.paletteSize == 256);
    for (int i = 0; i < 256; ++i)
      EXPECT_TRUE(std::equal(ProgramRgb()[i], ProgramRgb()[i] + 3, png.palette[i])) << i;
    return png;
  }
};

TEST_P(RoundTrip, ContactSheetAndSingleImagesGiveBackEveryByte) {
  const Known k = GetParam();
  const size_t bytes = static_cast<size_t>(k.w) * k.h;
  // 13 images leave empty places on a grid of 9 or 10 columns.
  const Bytes sheet = PixSheet(k.w, k.h, 13);
  WriteBytes(At(k.name), sheet);
  Ok({"export", k.name, "-o", "all.png"});
  const pngio::Image png = LoadExport("all.png");
  EXPECT_EQ(png.width, k.columns * k.w + (k.columns - 1));
  EXPECT_EQ(png.height, 2 * k.h + 1);
  // Image 12 in row 1 and the gap (41) on its left; the place after it is
  // empty: a checkerboard of 7 and 8.
  auto at = [&](int x, int y) { return png.indices[static_cast<size_t>(y) * png.width + x]; };
  const int x = (12 % k.columns) * (k.w + 1), y = k.h + 1, ex = x + k.w + 1;
  EXPECT_EQ(at(x, y), sheet[12 * bytes]);
  EXPECT_EQ(at(x - 1, y), 41);
  EXPECT_EQ(at(ex + 4, y), 8);
  Ok({"import", "all.png", "-o", k.name});
  EXPECT_EQ(ReadBytes(At(k.name)), sheet);

  // Images one by one; given in reverse, they come back in the order given.
  std::vector<std::string> import = {"import", "-o", "again.pix", "--size",
                                     std::to_string(k.w) + "x" + std::to_string(k.h)};
  Bytes expected;
  for (int i = 0; i < 3; ++i) {
    const std::string out = "one-" + std::to_string(i) + ".png";
    Ok({"export", k.name, "--image", std::to_string(i), "-o", out});
    const pngio::Image one = LoadExport(out);
    ASSERT_TRUE(one.width == k.w && one.height == k.h);
    EXPECT_TRUE(std::equal(one.indices.begin(), one.indices.end(), sheet.begin() + i * bytes));
    import.insert(import.begin() + 1, out);
    expected.insert(expected.begin(), sheet.begin() + i * bytes, sheet.begin() + (i + 1) * bytes);
  }
  Ok(import);
  EXPECT_EQ(ReadBytes(At("again.pix")), expected);
}

INSTANTIATE_TEST_SUITE_P(
    KnownSheets, RoundTrip,
    ::testing::Values(Known{"ports.pix", 82, 62, 10}, Known{"button.pix", 45, 12, 10},
                      Known{"Divadude.pix", 82, 62, 10}, Known{"WarTiles.pix", 42, 32, 9},
                      Known{"Pieces.pix", 42, 32, 10}, Known{"Borders.pix", 42, 32, 10}),
    [](const ::testing::TestParamInfo<Known>& info) {
      const std::string name = info.param.name;
      return name.substr(0, name.find('.'));
    });

using ContactSheet = PixsheetTest;

TEST_F(ContactSheet, ColumnsDefaultNameAndDrawingIntoAnEmptyPlace) {
  // Three columns and the default output name; one column.
  const Bytes odd = PixSheet(5, 4, 7);
  WriteBytes(At("odd.pix"), odd);
  Ok({"export", "odd.pix", "--size", "5x4", "--columns", "3"});
  Ok({"export", "odd.pix", "--size", "5x4", "--columns", "1", "-o", "tall.png"});
  for (const char* png : {"odd.png", "tall.png"}) {
    Ok({"import", png, "--size", "5x4", "-o", "back.pix"});
    EXPECT_EQ(ReadBytes(At("back.pix")), odd) << png;
  }
  // Drawing into the first empty place (row 2, column 1) adds an image.
  pngio::Image png = LoadPng(At("odd.png"));
  ASSERT_TRUE(png.width == 3 * 5 + 2 && png.height == 3 * 4 + 2);
  png.indices[10 * 17 + 6 + 2] = 200;  // pixel (2, 0) of place 7
  SaveIndexed(At("drawn.png"), 17, 14, png.indices.data());
  Ok({"import", "drawn.png", "--size", "5x4", "-o", "out.pix"});
  Bytes expected = odd;
  expected.insert(expected.end(), {7, 7, 200, 7, 8});  // the rest of the checkerboard kept
  const Bytes out = ReadBytes(At("out.pix"));
  ASSERT_EQ(out.size(), 8u * 20);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 145), expected);
}

TEST_F(ContactSheet, EmptyPlacesAreOnlySkippedWhereExportPutsThem) {
  // 1 x 1 images: a lone 7 is the whole empty-place pattern, and so are the
  // last images here; without the mark in the gap they are images.
  const Bytes tiny = {7, 3, 7, 8, 7, 7};
  WriteBytes(At("tiny.pix"), tiny);
  Ok({"export", "tiny.pix", "--size", "1x1", "--columns", "4", "-o", "tiny.png"});
  Ok({"import", "tiny.png", "--size", "1x1", "-o", "back.pix"});
  EXPECT_EQ(ReadBytes(At("back.pix")), tiny);

  // The middle place made empty, as export marks it, with an image after it.
  WriteBytes(At("s.pix"), PixSheet(4, 4, 3));
  Ok({"export", "s.pix", "--size", "4x4", "--columns", "3", "-o", "three.png"});
  pngio::Image png = LoadPng(At("three.png"));
  ASSERT_EQ(png.width, 14);
  for (int y = 0; y < 4; ++y)
    std::fill_n(png.indices.begin() + y * 14 + 4, 5, 7);  // gap mark, light at 4 x 4
  SaveIndexed(At("hole.png"), 14, 4, png.indices.data());
  ExpectFailure(Run({"import", "hole.png", "--size", "4x4", "-o", "out.pix"}),
                "grid place 1 is empty but an image follows it");
  EXPECT_FALSE(Exists(At("out.pix")));
}

TEST_F(ContactSheet, PartialLastImageIsLeftOutOfTheContactSheetButExportableAlone) {
  Bytes sheet = PixSheet(45, 12, 2);
  sheet.resize(sheet.size() + 100, 9);
  WriteBytes(At("button.pix"), sheet);
  EXPECT_NE(Ok({"export", "button.pix"}).out.find("100 bytes"), std::string::npos);
  EXPECT_EQ(LoadPng(At("button.png")).width, 2 * 45 + 1);
  // Alone, the partial image comes out as the program draws it: 255 after the end of the file.
  Ok({"export", "button.pix", "--image", "2"});
  Bytes expected(540, 255);
  std::fill_n(expected.begin(), 100, 9);
  EXPECT_EQ(LoadPng(At("button-2.png")).indices, expected);
  ExpectFailure(Run({"export", "button.pix", "--image", "3"}), "no image 3");
}

}  // namespace
}  // namespace pxtest
