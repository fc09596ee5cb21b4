// The bundled sample art: every image of the six sheets, drawn in the fixed
// artwork colours of the palette (entries 1 to 80, plus 0 for black).
#ifndef PIXSHOW_TOOLS_SAMPLEGEN_ART_H
#define PIXSHOW_TOOLS_SAMPLEGEN_ART_H

#include <cstdint>
#include <string>
#include <vector>

#include "canvas.h"

#include "raster/sheets.h"

namespace samplegen {

// Palette indices by the colour they hold after set-up.
enum Colour : uint8_t {
  kBlack = 0,
  kBlue = 1,
  kLeafGreen = 2,
  kCyan = 3,
  kRed = 4,  // the entry the presentation recolours
  kViolet = 5,
  kRust = 6,
  kSilver = 7,
  kGrey = 8,
  kSand = 9,
  kBlush = 10,
  kPink = 11,
  kCoral = 12,
  kRose = 13,
  kYellow = 14,
  kWhite = 15,
  kSkin = 16,
  kPaleGrey = 17,
  kLime = 18,
  kScarlet = 19,
  kSkyBlue = 20,
  kRoyalBlue = 21,
  kGrass = 22,
  kOchre = 23,
  kKhaki = 24,
  kBrown = 25,
  kDustyRose = 26,
  kOlive = 27,
  kPaleYellow = 28,
  kGoldYellow = 29,
  kMoss = 30,
  kGold = 31,
  kTeal = 32,
  kAqua = 33,
  kIce = 34,
  kDeepTeal = 35,
  kFlesh = 36,
  kFleshLight = 37,
  kStone = 38,
  kSnow = 39,
  kCharcoal = 40,
  kMagenta = 41,
  kPurple = 42,
  kLilac = 43,
  kNight = 44,
  kNavy = 45,
  kDeepBlue = 46,
  kPlum = 47,
  kMauve = 48,
  kDarkTeal = 49,
  kSea = 50,
  kSeaLight = 51,
  kForest = 52,
  kGreen = 53,
  kOliveGreen = 54,
  kSage = 55,
  kWine = 56,
  kMaroon = 57,
  kCrimson = 58,
  kBrick = 59,
  kClay = 60,
  kRoseGrey = 61,
  kOrange = 62,
  kApricot = 63,
  kLeather = 64,
  kCopper = 65,
  kTan = 66,
  kStraw = 67,
  kCream = 68,
  kPeach = 69,
  kIvory = 70,
  kLemon = 71,
  kLavender = 72,
  kShell = 73,
  kPeriwinkle = 74,
  kPine = 75,
  kBark = 76,
  kAmber = 77,
  kButter = 78,
  kTomato = 79,
  kWhite2 = 80,
};

// One image sheet: its file name, image size and images in order.
struct Sheet {
  std::string name;
  int width;
  int height;
  std::vector<Canvas> images;
};

std::vector<Canvas> MakePortraits();  // 20 images, 82 x 62
Canvas MakeButton();                  // 45 x 12
std::vector<Canvas> MakeStatIcons();  // 9 images, 82 x 62
std::vector<Canvas> MakeTiles();      // 36 images, 42 x 32: season * 9 + terrain
std::vector<Canvas> MakePieces();     // 5 images, 42 x 32
std::vector<Canvas> MakeBorders();    // 2 images, 42 x 32

// The six sheets of the presentation, in a fixed order.
std::vector<Sheet> MakeSampleSheets();

}  // namespace samplegen

#endif
