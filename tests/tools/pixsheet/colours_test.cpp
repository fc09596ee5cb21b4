// Colours of PNGs that paint programs write, turned into palette indices.
#include <gtest/gtest.h>

#include "pngio.h"
#include "support.h"

namespace pstest {
namespace {

using Colours = PixsheetTest;

long Distance(Rgb a, Rgb b) {
  const long dr = a.r - b.r, dg = a.g - b.g, db = a.b - b.b;
  return dr * dr + dg * dg + db * db;
}

// The first index at the least distance: what import must choose.
int NearestByHand(Rgb c) {
  int best = 0;
  for (int i = 1; i < 256; ++i) {
    if (Distance(c, ProgramColours()[i]) < Distance(c, ProgramColours()[best])) best = i;
  }
  return best;
}

TEST_F(Colours, ExactColoursOfAnRgbPngTakeTheLowestIndexOfThatColour) {
  // Every palette entry once, as RGB: a 16 x 16 image with index i at i.
  std::vector<uint8_t> rgb;
  for (int i = 0; i < 256; ++i) {
    rgb.insert(rgb.end(), {ProgramColours()[i].r, ProgramColours()[i].g, ProgramColours()[i].b});
  }
  WritePlainPng(At("all.png"), 16, 16, 3, rgb);
  Result r = Run({"import", "all.png", "--size", "16x16", "-o", "out.pix", "--strict"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<uint8_t> out = ReadBytes(At("out.pix"));
  ASSERT_EQ(out.size(), 256u);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(out[i], LowestIndexOf(ProgramColours()[i])) << "index " << i;
  // White stands at 15, 80 and 255: all three become 15.
  EXPECT_EQ(out[80], 15);
  EXPECT_EQ(out[255], 15);
}

TEST_F(Colours, IndexedPngsKeepTheProgramsIndicesAndMapAnotherPaletteByColour) {
  uint8_t rgb[256][3], reversed[256][3];
  ProgramRgb(rgb);
  for (int i = 0; i < 256; ++i)
    for (int c = 0; c < 3; ++c) reversed[i][c] = rgb[255 - i][c];  // file index i is program colour 255 - i
  const uint8_t indices[4] = {15, 80, 255, 4};
  const uint8_t others[4] = {0, 251, 175, 255};
  SaveIndexed(At("dup.png"), 4, 1, indices);
  std::string error;
  ASSERT_TRUE(pngio::WriteIndexedPng(At("rev.png"), 4, 1, others, 4, reversed, &error)) << error;
  Result r = Run({"import", "dup.png", "rev.png", "--size", "4x1", "-o", "out.pix"});
  ASSERT_EQ(r.status, 0) << r.err;
  // The program's palette: even duplicate whites keep their index. Another:
  // 0 -> white (15), 251 -> red (4), 175 -> colour 80 (white, 15), 255 -> black.
  EXPECT_EQ(ReadBytes(At("out.pix")), std::vector<uint8_t>({15, 80, 255, 4, 15, 4, 15, 0}));
}

TEST_F(Colours, OffPaletteColoursGoToTheNearestEntryLowestOnTies) {
  // A colour exactly between two entries of different colours, with no
  // entry nearer: the midpoint of some pair of palette colours.
  Rgb tie{};
  int tieLow = -1;
  for (int i = 0; i < 256 && tieLow < 0; ++i) {
    for (int j = i + 1; j < 256 && tieLow < 0; ++j) {
      const Rgb a = ProgramColours()[i], b = ProgramColours()[j];
      if ((a.r + b.r) % 2 || (a.g + b.g) % 2 || (a.b + b.b) % 2 || Distance(a, b) == 0) continue;
      const Rgb m = {static_cast<uint8_t>((a.r + b.r) / 2), static_cast<uint8_t>((a.g + b.g) / 2),
                     static_cast<uint8_t>((a.b + b.b) / 2)};
      if (NearestByHand(m) == i && LowestIndexOf(m) < 0 && Distance(m, b) == Distance(m, a)) {
        tie = m;
        tieLow = i;
      }
    }
  }
  ASSERT_GE(tieLow, 0) << "no tie in the palette";
  const std::vector<Rgb> probes = {tie,          {1, 1, 1},     {250, 3, 2},   {100, 100, 100},
                                   {12, 200, 90}, {254, 254, 254}, {60, 60, 250}, {7, 7, 7}};
  std::vector<uint8_t> rgb;
  for (Rgb c : probes) rgb.insert(rgb.end(), {c.r, c.g, c.b});
  WritePlainPng(At("near.png"), static_cast<int>(probes.size()), 1, 3, rgb);
  Result r = Run({"import", "near.png", "--size", std::to_string(probes.size()) + "x1", "-o", "out.pix"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<uint8_t> out = ReadBytes(At("out.pix"));
  ASSERT_EQ(out.size(), probes.size());
  for (size_t i = 0; i < probes.size(); ++i) EXPECT_EQ(out[i], NearestByHand(probes[i])) << "probe " << i;
  EXPECT_EQ(out[0], tieLow);
  EXPECT_EQ(out[2], 4);   // nearly pure red
  EXPECT_EQ(out[5], 15);  // nearly white: the first white
}

TEST_F(Colours, GreyAlphaAndSixteenBitPngs) {
  // Grey 8-bit: black and white are in the palette.
  WritePlainPng(At("grey.png"), 2, 1, 1, {0, 255});
  // Grey + alpha: a fully transparent pixel is index 0 whatever its colour.
  WritePlainPng(At("ga.png"), 2, 1, 2, {255, 0, 255, 255});
  // RGBA: transparent red is 0, opaque red is 4.
  WritePlainPng(At("rgba.png"), 2, 1, 4, {255, 0, 0, 0, 255, 0, 0, 255});
  // RGB 16-bit: samples scale back to the 8-bit palette colours exactly.
  WritePlainPng(At("deep.png"), 2, 1, 3, {0, 0, 204, 51, 153, 51}, true);
  Result r = Run({"import", "grey.png", "ga.png", "rgba.png", "deep.png", "--size", "2x1", "-o", "out.pix",
                  "--strict"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadBytes(At("out.pix")), std::vector<uint8_t>({0, 15, 0, 15, 0, 4, 1, 2}));
}

TEST_F(Colours, StrictRefusesOffPaletteOrPartlyTransparentPixelsAndNamesThem) {
  const std::vector<uint8_t> before = {1, 2, 3};
  WriteBytes(At("keep.pix"), before);
  // 3 x 2 RGB: every pixel a palette colour but (1, 1), which is (1, 2, 3).
  std::vector<uint8_t> rgb;
  for (int i = 0; i < 6; ++i) {
    const Rgb c = i == 4 ? Rgb{1, 2, 3} : ProgramColours()[i + 1];
    rgb.insert(rgb.end(), {c.r, c.g, c.b});
  }
  WritePlainPng(At("off.png"), 3, 2, 3, rgb);
  WritePlainPng(At("half.png"), 2, 1, 4, {255, 0, 0, 255, 255, 0, 0, 128});
  Result r = Run({"import", "off.png", "--size", "3x2", "-o", "keep.pix", "--strict"});
  ExpectFailure(r, "\"off.png\": pixel (1, 1)");
  EXPECT_NE(r.err.find("#010203"), std::string::npos) << r.err;
  ExpectFailure(Run({"import", "half.png", "--size", "2x1", "-o", "keep.pix", "--strict"}), "pixel (1, 0)");
  EXPECT_EQ(ReadBytes(At("keep.pix")), before);

  // Without --strict the pixel goes to the nearest colour and alpha is ignored.
  r = Run({"import", "off.png", "--size", "3x2", "-o", "keep.pix"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadBytes(At("keep.pix")), std::vector<uint8_t>({1, 2, 3, 4, 0, 6}));
  r = Run({"import", "half.png", "--size", "2x1", "-o", "out.pix"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadBytes(At("out.pix")), std::vector<uint8_t>({4, 4}));
}

}  // namespace
}  // namespace pstest
