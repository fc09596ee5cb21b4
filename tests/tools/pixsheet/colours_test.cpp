// Colours of PNGs that paint programs write, turned into palette indices.
#include <gtest/gtest.h>

#include "support.h"

namespace pxtest {
namespace {

class Colours : public PixsheetTest {
 protected:
  // The sheet import makes of `pngs`, each one image of `size`.
  Bytes Import(std::vector<std::string> pngs, const std::string& size, bool strict = false) {
    pngs.insert(pngs.begin(), "import");
    pngs.insert(pngs.end(), {"--size", size, "-o", "out.pix"});
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

  // The program's palette keeps even duplicate whites; another (the
  // program's reversed) maps by colour: 0 -> white (15), 251 -> red (4),
  // 175 -> colour 80 (white, 15), 255 -> black.
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
  EXPECT_EQ(out[1], 4);   // nearly pure red
  EXPECT_EQ(out[4], 15);  // nearly white: as near to 80 and 255, the first white
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
  const RunResult r = Run({"import", "off.png", "--size", "3x2", "-o", "out.pix", "--strict"});
  ExpectFailure(r, "\"off.png\": pixel (1, 1)");
  EXPECT_NE(r.err.find("#010203"), std::string::npos) << r.err;
  ExpectFailure(Run({"import", "half.png", "--size", "2x1", "-o", "out.pix", "--strict"}),
                "pixel (1, 0)");
  EXPECT_EQ(ReadBytes(At("out.pix")), Bytes({1, 2, 3}));
  // Without --strict the pixel goes to the nearest colour and alpha is ignored.
  EXPECT_EQ(Import({"off.png"}, "3x2"), Bytes({1, 2, 3, 4, 0, 6}));
  EXPECT_EQ(Import({"half.png"}, "2x1"), Bytes({4, 4}));
}

}  // namespace
}  // namespace pxtest
