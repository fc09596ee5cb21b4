// Sheet -> PNG -> sheet gives back every byte of every sheet the program reads;
// contact sheets and their empty places; PNG colours turned into palette indices.
#include <gtest/gtest.h>

#include "support.h"

namespace pxtest {
namespace {

struct Known {
  const char* name;  // without .pix
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
  const std::string name = std::string(k.name) + ".pix";
  const size_t bytes = static_cast<size_t>(k.w) * k.h;
  // 13 images leave empty places on a grid of 9 or 10 columns.
  const Bytes sheet = PixSheet(k.w, k.h, 13);
  WriteBytes(At(name), sheet);
  Ok({"export", name, "-o", "all.png"});
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
  Ok({"import", "all.png", "-o", name});
  EXPECT_EQ(ReadBytes(At(name)), sheet);

  // Images one by one; given in reverse, they come back in the order given.
  std::vector<std::string> import = {"import", "-o", "again.pix", "--size",
                                     std::to_string(k.w) + "x" + std::to_string(k.h)};
  Bytes expected;
  for (int i = 0; i < 3; ++i) {
    const std::string out = "one-" + std::to_string(i) + ".png";
    Ok({"export", name, "--image", std::to_string(i), "-o", out});
    const pngio::Image one = LoadExport(out);
    ASSERT_TRUE(one.width == k.w && one.height == k.h);
    import.insert(import.begin() + 1, out);
    expected.insert(expected.begin(), sheet.begin() + i * bytes, sheet.begin() + (i + 1) * bytes);
  }
  Ok(import);
  EXPECT_EQ(ReadBytes(At("again.pix")), expected);
}

INSTANTIATE_TEST_SUITE_P(KnownSheets, RoundTrip,
                         ::testing::Values(Known{"ports", 82, 62, 10}, Known{"button", 45, 12, 10},
                                           Known{"Divadude", 82, 62, 10},
                                           Known{"WarTiles", 42, 32, 9},
                                           Known{"Pieces", 42, 32, 10},
                                           Known{"Borders", 42, 32, 10}),
                         ::testing::PrintToStringParamName());

using ContactSheet = PixsheetTest;

TEST_F(ContactSheet, ColumnsDefaultNameAndDrawingIntoAnEmptyPlace) {
  // Three columns and the default output name; one column.
  const Bytes odd = PixSheet(5, 4, 7);
  WriteBytes(At("odd.pix"), odd);
  Ok({"export", "odd.pix", "--size", "5x4", "--columns", "3"});
  EXPECT_NE(Ok({"export", "odd.pix", "--size", "5x4", "--columns", "1", "-o", "tall.png"})
                .out.find("in 1 column,"),
            std::string::npos);
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

TEST_F(ContactSheet, NumberedPreviewShowsNumbersAndIsRefusedByImport) {
  const Bytes sheet = PixSheet(42, 32, 12);
  WriteBytes(At("Pieces.pix"), sheet);
  Ok({"export", "Pieces.pix", "--labels"});
  const pngio::Image png = LoadPng(At("Pieces-numbered.png"));
  ASSERT_TRUE(png.width == 10 * 43 - 1 && png.height == 2 * (14 + 32));
  // Image 11 (row 1, column 1) under a band whose "11" starts at its left edge + 1.
  auto at = [&](int x, int y) { return png.indices[static_cast<size_t>(y) * png.width + x]; };
  EXPECT_EQ(Bytes({at(43, 60), at(43 + 41, 60 + 31)}), Bytes({sheet[11 * 1344], sheet.back()}));
  EXPECT_EQ(Bytes({at(43 + 1 + 2, 46 + 2), at(43 + 1, 46 + 2), at(43 + 1 + 8 + 2, 46 + 2)}),
            Bytes({255, 0, 255}));
  // Refused as it is, and saved again as RGB by a paint program.
  Bytes rgb;
  for (uint8_t i : png.indices) rgb.insert(rgb.end(), ProgramRgb()[i], ProgramRgb()[i] + 3);
  WritePlainPng(At("rgb.png"), png.width, 3, rgb);
  for (const char* preview : {"Pieces-numbered.png", "rgb.png"}) {
    ExpectFailure(Run({"import", preview, "-o", "Pieces.pix", "--image", "0"}),
                  "is a numbered preview (export --labels)");
  }
  EXPECT_EQ(ReadBytes(At("Pieces.pix")), sheet);
  // Art that begins as the mark once did is art: button.pix comes back whole.
  Bytes button = PixSheet(45, 12, 3);
  std::copy_n(Bytes{41, 0, 41, 0, 0, 41, 0, 41}.begin(), 8, button.begin());
  WriteBytes(At("button.pix"), button);
  Ok({"export", "button.pix"});
  Ok({"import", "button.png", "-o", "button.pix", "--replace"});
  EXPECT_EQ(ReadBytes(At("button.pix")), button);
  // A picture of a preview's measures without its mark is refused by its size.
  const Bytes plain(static_cast<size_t>(png.width) * png.height, 3);
  SaveIndexed(At("band.png"), png.width, png.height, plain.data());
  ExpectFailure(Run({"import", "band.png", "-o", "Pieces.pix", "--image", "0"}),
                "\"band.png\" is 429 x 92 pixels: neither one 42 x 32 image");
}

TEST_F(ContactSheet, ImagesLeaveAsSoonAsTheirRowOfPlacesIsRead) {
  // --strict meets a colour off the palette in the last row of places: the
  // six images above it have gone on already, the picture was never held.
  const Bytes sheet = PixSheet(4, 4, 9);
  WriteBytes(At("s.pix"), sheet);
  Ok({"export", "s.pix", "--size", "4x4", "--columns", "3", "-o", "nine.png"});
  Bytes rgb;
  for (uint8_t i : LoadPng(At("nine.png")).indices)
    rgb.insert(rgb.end(), ProgramRgb()[i], ProgramRgb()[i] + 3);
  rgb[(13 * 14 + 13) * 3] ^= 1;
  WritePlainPng(At("rgb.png"), 14, 3, rgb);
  pixsheet::ColourMapper mapper(pixsheet::ProgramPalette());
  Bytes taken;
  try {
    pixsheet::ImportPicture(At("rgb.png"), {4, 4}, &mapper, true, [&](const uint8_t* p, size_t n) {
      taken.insert(taken.end(), p, p + n);
    });
    ADD_FAILURE() << "an off-palette colour passed --strict";
  } catch (const pixsheet::Failure& f) {
    EXPECT_NE(f.message.find("pixel (13, 13)"), std::string::npos) << f.message;
  }
  EXPECT_EQ(taken, Bytes(sheet.begin(), sheet.begin() + 6 * 16));
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

class Colours : public PixsheetTest {
 protected:
  // The sheet import makes of `pngs`, each one image of `size`.
  Bytes Import(std::vector<std::string> pngs, const std::string& size, bool strict = false) {
    pngs.insert(pngs.begin(), "import");
    pngs.insert(pngs.end(), {"--size", size, "-o", "out.pix", "--replace"});
    if (strict) pngs.push_back("--strict");
    Ok(pngs);
    return ReadBytes(At("out.pix"));
  }
};

long Distance(const uint8_t* a, const uint8_t* b) {
  const long dr = a[0] - b[0], dg = a[1] - b[1], db = a[2] - b[2];
  return dr * dr + dg * dg + db * db;
}

// The first index at the least distance.
int NearestByHand(const uint8_t* c) {
  int best = 0;
  for (int i = 1; i < 256; ++i) {
    if (Distance(c, ProgramRgb()[i]) < Distance(c, ProgramRgb()[best])) best = i;
  }
  return best;
}

TEST_F(Colours, ExactColoursTakeTheLowestIndexAndIndexedPngsKeepTheirs) {
  // Every palette entry once, as RGB: index i at i. White stands at 15, 80
  // and 255: all three become 15.
  WritePlainPng(At("all.png"), 16, 3, Bytes(&ProgramRgb()[0][0], &ProgramRgb()[0][0] + 768));
  const Bytes out = Import({"all.png"}, "16x16", true);
  ASSERT_EQ(out.size(), 256u);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(out[i], NearestByHand(ProgramRgb()[i])) << i;

  // The program's palette keeps even duplicate whites; the program's reversed maps by
  // colour: 0 -> white (15), 251 -> red (4), 175 -> colour 80 (white, 15), 255 -> black.
  uint8_t reversed[256][3];
  for (int i = 0; i < 256; ++i)
    std::copy(ProgramRgb()[255 - i], ProgramRgb()[255 - i] + 3, reversed[i]);
  const uint8_t indices[4] = {15, 80, 255, 4}, others[4] = {0, 251, 175, 255};
  SaveIndexed(At("dup.png"), 4, 1, indices);
  std::string error;
  ASSERT_TRUE(pngio::WriteIndexedPng(At("rev.png"), 4, 1, others, 4, reversed, &error)) << error;
  EXPECT_EQ(Import({"dup.png", "rev.png"}, "4x1"), Bytes({15, 80, 255, 4, 15, 4, 15, 0}));
}

TEST_F(Colours, OffPaletteColoursGoToTheNearestEntryLowestOnTies) {
  const Bytes probes = {1, 1, 1, 250, 3, 2, 100, 100, 100, 12, 200, 90, 254, 254, 254, 60, 60, 250};
  WritePlainPng(At("near.png"), 6, 3, probes);
  const Bytes out = Import({"near.png"}, "6x1");
  ASSERT_EQ(out.size(), 6u);
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(out[i], NearestByHand(&probes[i * 3])) << "probe " << i;
}

TEST_F(Colours, GreyAlphaAndSixteenBitPngs) {
  WritePlainPng(At("grey.png"), 2, 1, {0, 255});          // black and white
  WritePlainPng(At("ga.png"), 2, 2, {255, 0, 255, 255});  // transparent is 0 whatever its colour
  WritePlainPng(At("rgba.png"), 2, 4,
                {255, 0, 0, 0, 255, 0, 0, 255});  // transparent red 0, opaque red 4
  WritePlainPng(At("deep.png"), 2, 3, {0, 0, 204, 51, 153, 51}, true);  // scaled back exactly
  EXPECT_EQ(Import({"grey.png", "ga.png", "rgba.png", "deep.png"}, "2x1", true),
            Bytes({0, 15, 0, 15, 0, 4, 1, 2}));
}

TEST_F(Colours, StrictRefusesOffPaletteOrPartlyTransparentPixelsAndNamesThem) {
  WriteBytes(At("out.pix"), {1, 2, 3});
  // 3 x 2 RGB of colours 1 to 6 but (1, 1), which is (1, 2, 3).
  Bytes rgb(&ProgramRgb()[1][0], &ProgramRgb()[7][0]);
  std::copy_n("\1\2\3", 3, rgb.begin() + 12);
  WritePlainPng(At("off.png"), 3, 3, rgb);
  WritePlainPng(At("half.png"), 2, 4, {255, 0, 0, 255, 255, 0, 0, 128});
  ExpectFailure(Run({"import", "off.png", "--size", "3x2", "-o", "out.pix", "--strict"}),
                "\"off.png\": pixel (1, 1) has colour #010203");
  ExpectFailure(Run({"import", "half.png", "--size", "2x1", "-o", "out.pix", "--strict"}),
                "pixel (1, 0) is partly transparent (alpha 128) (--strict); soft edges");
  // A colour between its neighbours' is named as anti-aliasing.
  WritePlainPng(At("edge.png"), 3, 3, {0, 0, 0, 37, 41, 43, 255, 255, 255});
  ExpectFailure(Run({"import", "edge.png", "--size", "3x1", "-o", "out.pix", "--strict"}),
                "#25292b, which is not in the palette (--strict); soft edges like this come from "
                "anti-aliasing");
  EXPECT_EQ(ReadBytes(At("out.pix")), Bytes({1, 2, 3}));
  // Without --strict the pixel goes to the nearest colour and alpha is ignored.
  EXPECT_EQ(Import({"off.png"}, "3x2"), Bytes({1, 2, 3, 4, 0, 6}));
  EXPECT_EQ(Import({"half.png"}, "2x1"), Bytes({4, 4}));
  // An indexed PNG's transparency counts too: entry 5 transparent, 6 half.
  png_image image{};
  image.version = PNG_IMAGE_VERSION, image.width = 3, image.height = 1;
  image.format = PNG_FORMAT_RGBA_COLORMAP, image.colormap_entries = 256;
  uint8_t map[256][4], indices[3] = {5, 6, 7};
  for (int i = 0; i < 256; ++i) std::copy_n(ProgramRgb()[i], 3, map[i]), map[i][3] = 255;
  map[5][3] = 0, map[6][3] = 128;
  ASSERT_TRUE(png_image_write_to_file(&image, At("trns.png").c_str(), 0, indices, 0, map));
  ExpectFailure(Run({"import", "trns.png", "--size", "3x1", "-o", "out.pix", "--strict"}),
                "pixel (1, 0) is partly transparent (alpha 128)");
  EXPECT_EQ(Import({"trns.png"}, "3x1")[0], 0);
}

}  // namespace
}  // namespace pxtest
