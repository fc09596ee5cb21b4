// The twenty character portraits of "ports.pix", 82 x 62 each: head and
// shoulders in front of a background of their own.
#include <cmath>

#include "art.h"

namespace samplegen {
namespace {

constexpr int kW = 82;
constexpr int kH = 62;
constexpr double kPi = 3.14159265358979323846;

const int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

// A vertical blend from `top` to `bottom`, dithered.
void Background(Canvas& c, uint8_t top, uint8_t bottom) {
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      const double t = y / static_cast<double>(kH - 1);
      c.Set(x, y, (kBayer[y & 3][x & 3] + 0.5) / 16.0 < t ? bottom : top);
    }
}

// Rays from a point, alternating two colours.
void Rays(Canvas& c, double cx, double cy, int count, uint8_t a, uint8_t b) {
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      double angle = std::atan2(y + 0.5 - cy, x + 0.5 - cx) + kPi;
      const int sector = static_cast<int>(angle / (2 * kPi) * count * 2);
      c.Set(x, y, sector % 2 ? a : b);
    }
}

void Stars(Canvas& c, uint32_t seed, int count, uint8_t colour) {
  for (int i = 0; i < count; ++i) {
    const int x = HashPick(i, 1, seed, kW), y = HashPick(i, 2, seed, kH);
    c.Set(x, y, colour);
  }
}

// The part of an ellipse between rows y0 and y1.
void EllipseRows(Canvas& c, double cx, double cy, double rx, double ry, int y0, int y1,
                 uint8_t colour) {
  for (int y = y0; y <= y1; ++y)
    for (int x = 0; x < kW; ++x) {
      const double nx = (x + 0.5 - cx) / rx, ny = (y + 0.5 - cy) / ry;
      if (nx * nx + ny * ny <= 1.0) c.Set(x, y, colour);
    }
}

void Torso(Canvas& c, uint8_t cloth, uint8_t trim) {
  c.FillEllipseOutlined(41, 70, 37, 25, cloth, kBlack);
  c.FillPolygon({{34, 45}, {48, 45}, {41, 56}}, trim);
}

void Neck(Canvas& c, uint8_t skin) {
  c.FillRect(36, 36, 46, 47, kBlack);
  c.FillRect(37, 36, 45, 47, skin);
}

void Ears(Canvas& c, uint8_t skin) {
  c.FillEllipseOutlined(30, 28, 2.5, 4, skin, kBlack);
  c.FillEllipseOutlined(52, 28, 2.5, 4, skin, kBlack);
}

void Face(Canvas& c, uint8_t skin) { c.FillEllipseOutlined(41, 27, 11, 14, skin, kBlack); }

void Eyes(Canvas& c, int y, uint8_t iris, uint8_t white = kWhite) {
  c.FillRect(35, y, 38, y + 1, white);
  c.FillRect(44, y, 47, y + 1, white);
  c.FillRect(36, y, 37, y + 1, iris);
  c.FillRect(45, y, 46, y + 1, iris);
}

void Brows(Canvas& c, int y, uint8_t colour, int slant = 0) {
  c.Line(34, y + slant, 38, y - slant, colour);
  c.Line(44, y - slant, 48, y + slant, colour);
}

void Nose(Canvas& c, uint8_t shade) {
  c.Line(41, 28, 40, 32, shade);
  c.Line(40, 32, 42, 32, shade);
}

void Mouth(Canvas& c, int y, uint8_t colour, int width = 3) {
  c.Line(41 - width, y, 41 + width, y, colour);
}

void Smile(Canvas& c, int y, uint8_t colour) {
  c.Line(38, y, 39, y + 1, colour);
  c.Line(39, y + 1, 43, y + 1, colour);
  c.Line(43, y + 1, 44, y, colour);
}

void Beard(Canvas& c, uint8_t colour, uint8_t shade, int length) {
  c.FillPolygon({{29, 28},
                 {31, 38},
                 {36, 40 + length / 2},
                 {41, 41 + length},
                 {46, 40 + length / 2},
                 {51, 38},
                 {53, 28},
                 {49, 33},
                 {33, 33}},
                colour);
  for (int i = 0; i < 5; ++i) c.Line(35 + i * 3, 36, 36 + i * 2, 38 + length / 2, shade);
  c.FillRect(38, 34, 44, 35, kBlack);  // mouth inside the beard
}

void Moustache(Canvas& c, uint8_t colour) {
  c.FillPolygon({{35, 35}, {38, 33}, {41, 34}, {44, 33}, {47, 35}, {44, 35}, {41, 36}, {38, 35}},
                colour);
}

void ShortHair(Canvas& c, uint8_t colour) {
  EllipseRows(c, 41, 24, 12.5, 12.5, 11, 19, colour);
  c.FillRect(30, 16, 32, 24, colour);
  c.FillRect(50, 16, 52, 24, colour);
}

void LongHairBack(Canvas& c, uint8_t colour) {
  c.FillEllipseOutlined(41, 30, 15, 19, colour, kBlack);
  c.FillRect(26, 30, 56, 50, colour);
}

// --- The characters ---------------------------------------------------------

Canvas Valiant() {
  Canvas c(kW, kH);
  Background(c, kSkyBlue, kLavender);
  Torso(c, kBlue, kGold);
  c.FillPolygon({{38, 50}, {44, 50}, {44, 62}, {38, 62}}, kGold);  // cross on the tabard
  c.FillRect(31, 54, 51, 57, kGold);
  c.FillEllipseOutlined(14, 52, 9, 6, kStone, kBlack);  // shoulder plates
  c.FillEllipseOutlined(68, 52, 9, 6, kStone, kBlack);
  Neck(c, kSkin);
  Face(c, kSkin);
  // Open helmet: dome, cheek guards and nose guard.
  c.FillEllipseOutlined(41, 22, 13.5, 12, kStone, kBlack);
  c.FillRect(28, 22, 32, 38, kStone);
  c.FillRect(50, 22, 54, 38, kStone);
  c.Line(28, 39, 32, 39, kBlack);
  c.Line(50, 39, 54, 39, kBlack);
  c.FillRect(33, 22, 49, 40, kSkin);
  c.FillRect(40, 18, 42, 30, kSilver);
  c.Line(28, 21, 54, 21, kGrey);
  c.Line(31, 14, 37, 11, kSilver);  // shine
  // Plume.
  c.FillPolygon({{38, 11},
                 {40, 3},
                 {48, 0},
                 {60, 1},
                 {70, 8},
                 {72, 16},
                 {66, 10},
                 {58, 7},
                 {50, 8},
                 {44, 12}},
                kRoyalBlue);
  c.Line(41, 4, 48, 1, kSkyBlue);
  c.Line(48, 2, 62, 3, kSkyBlue);
  c.Line(50, 6, 66, 8, kBlue);
  c.Line(60, 4, 70, 12, kBlue);
  c.FillRect(39, 9, 43, 12, kGold);
  Eyes(c, 25, kBlue);
  Brows(c, 23, kBrown);
  Nose(c, kPeach);
  Mouth(c, 35, kCrimson, 2);
  return c;
}

Canvas Angel() {
  Canvas c(kW, kH);
  Background(c, kIce, kLavender);
  // Wings.
  for (int side = -1; side <= 1; side += 2) {
    std::vector<Point> wing;
    wing.push_back({41 + side * 10, 44});
    wing.push_back({41 + side * 22, 16});
    wing.push_back({41 + side * 38, 6});
    wing.push_back({41 + side * 40, 24});
    wing.push_back({41 + side * 36, 40});
    wing.push_back({41 + side * 30, 55});
    c.FillPolygon(wing, kSnow);
    for (int i = 0; i < 4; ++i)
      c.Line(41 + side * (24 + i * 4), 18 + i * 2, 41 + side * (20 + i * 4), 46 + i * 2, kPaleGrey);
  }
  c.Outline(kIce, kStone);
  LongHairBack(c, kGoldYellow);
  Torso(c, kWhite, kPaleYellow);
  c.Line(30, 52, 36, 62, kSnow);
  c.Line(52, 52, 46, 62, kSnow);
  Neck(c, kBlush);
  Face(c, kBlush);
  EllipseRows(c, 41, 24, 12.5, 12.5, 11, 18, kGoldYellow);
  c.FillRect(29, 16, 32, 40, kGoldYellow);
  c.FillRect(50, 16, 53, 40, kGoldYellow);
  c.Line(33, 15, 38, 19, kButter);
  c.Ring(41, 7, 6, 8, kYellow);  // halo
  c.Ring(41, 7, 8, 8.9, kAmber);
  Eyes(c, 26, kSkyBlue);
  Brows(c, 24, kGold);
  Nose(c, kShell);
  Smile(c, 34, kCoral);
  c.Set(34, 31, kPink);
  c.Set(48, 31, kPink);
  return c;
}

Canvas Maiden() {
  Canvas c(kW, kH);
  Background(c, kShell, kRose);
  LongHairBack(c, kCopper);
  Torso(c, kGreen, kGoldYellow);
  c.FillRect(26, 56, 56, 58, kGoldYellow);
  Neck(c, kCream);
  Face(c, kCream);
  EllipseRows(c, 41, 24, 12.5, 12.5, 11, 18, kCopper);
  c.FillRect(29, 16, 32, 42, kCopper);
  c.FillRect(50, 16, 53, 42, kCopper);
  c.FillPolygon({{34, 14}, {36, 9}, {38, 12}, {41, 7}, {44, 12}, {46, 9}, {48, 14}}, kAmber);
  c.Set(41, 10, kAqua);
  Eyes(c, 26, kGreen);
  Brows(c, 24, kBark);
  Nose(c, kPeach);
  Smile(c, 34, kScarlet);
  return c;
}

Canvas Merlin() {
  Canvas c(kW, kH);
  Background(c, kNight, kNavy);
  Stars(c, 31, 40, kWhite);
  Stars(c, 32, 12, kYellow);
  Torso(c, kMauve, kViolet);
  Neck(c, kSkin);
  Face(c, kSkin);
  Beard(c, kWhite, kPaleGrey, 18);
  Moustache(c, kSnow);
  // Tall hat with stars and a wide brim.
  c.FillPolygon({{28, 17}, {38, 1}, {44, -1}, {50, 4}, {55, 17}}, kViolet);
  c.FillEllipseOutlined(41, 17, 18, 3, kViolet, kBlack);
  c.FillPolygon({{44, -1}, {52, 3}, {60, 10}, {50, 6}}, kViolet);
  c.Set(38, 9, kYellow);
  c.Set(45, 12, kYellow);
  c.Set(42, 5, kYellow);
  c.Line(36, 9, 40, 9, kYellow);
  c.Line(38, 7, 38, 11, kYellow);
  c.FillRect(23, 20, 59, 22, kBlack);
  c.FillEllipse(41, 17, 18, 3, kViolet);
  Eyes(c, 25, kSkyBlue);
  c.FillRect(33, 22, 39, 23, kWhite);  // bushy brows
  c.FillRect(43, 22, 49, 23, kWhite);
  Nose(c, kPeach);
  // Staff at the side.
  c.Line(72, 6, 72, 61, kBark, 3);
  c.FillCircle(72, 6, 4, kAqua);
  c.Set(71, 5, kWhite);
  return c;
}

// Drawn almost wholly in palette entry 4, so that it changes colour with it.
Canvas RedSun() {
  Canvas c(kW, kH);
  Rays(c, 41, 27, 12, kRed, kMaroon);
  c.FillCircle(41, 27, 25, kRed);
  c.Ring(41, 27, 22, 23, kMaroon);
  Torso(c, kRed, kMaroon);
  c.FillPolygon({{34, 45}, {48, 45}, {41, 56}}, kRed);
  c.Line(18, 54, 64, 54, kMaroon);
  Neck(c, kRed);
  Face(c, kRed);
  // A crown of flame.
  c.FillPolygon(
      {{29, 18}, {30, 8}, {34, 13}, {37, 3}, {41, 11}, {45, 3}, {48, 13}, {52, 8}, {53, 18}}, kRed);
  c.FillRect(30, 15, 52, 18, kMaroon);
  c.FillRect(30, 16, 52, 17, kGold);
  Eyes(c, 25, kBlack, kIvory);
  Brows(c, 23, kMaroon, 1);
  Nose(c, kMaroon);
  Mouth(c, 35, kMaroon, 3);
  c.Set(41, 20, kGold);
  return c;
}

Canvas DeathWatch() {
  Canvas c(kW, kH);
  Background(c, kPlum, kBlack);
  Stars(c, 5, 10, kLilac);
  // Scythe behind the shoulder.
  c.Line(66, 4, 70, 61, kBark, 3);
  c.FillPolygon({{66, 4}, {50, 2}, {36, 8}, {50, 6}, {64, 9}}, kSilver);
  c.Line(37, 8, 64, 8, kStone);
  // Hood and robe.
  c.FillEllipseOutlined(41, 70, 37, 25, kCharcoal, kBlack);
  c.FillEllipseOutlined(41, 27, 17, 21, kCharcoal, kBlack);
  c.FillEllipse(41, 29, 12, 16, kBlack);
  // Skull.
  c.FillEllipse(41, 26, 9, 10, kSnow);
  c.FillRect(36, 33, 46, 40, kSnow);
  c.FillEllipse(37, 26, 2.6, 3, kBlack);
  c.FillEllipse(45, 26, 2.6, 3, kBlack);
  c.Set(37, 26, kTomato);
  c.Set(45, 26, kTomato);
  c.FillPolygon({{40, 30}, {42, 30}, {41, 32}}, kBlack);
  for (int x = 37; x <= 45; x += 2) c.Line(x, 35, x, 39, kStone);
  c.Line(36, 37, 46, 37, kBlack);
  c.Line(33, 22, 36, 18, kWhite);
  c.Line(30, 47, 52, 47, kGrey);  // clasp chain
  c.FillCircle(41, 47, 2, kSilver);
  return c;
}

Canvas GoldenSun() {
  Canvas c(kW, kH);
  Rays(c, 41, 20, 14, kGoldYellow, kButter);
  c.FillCircle(41, 20, 21, kAmber);
  c.Ring(41, 20, 19, 21, kGold);
  Torso(c, kGold, kAmber);
  c.FillCircle(41, 55, 5, kYellow);
  c.Ring(41, 55, 5, 6, kOchre);
  for (int i = 0; i < 8; ++i) {
    const double a = i * kPi / 4;
    c.Line(41 + static_cast<int>(std::lround(7 * std::cos(a))),
           55 + static_cast<int>(std::lround(7 * std::sin(a))),
           41 + static_cast<int>(std::lround(9 * std::cos(a))),
           55 + static_cast<int>(std::lround(9 * std::sin(a))), kYellow);
  }
  Neck(c, kSkin);
  Face(c, kSkin);
  ShortHair(c, kOchre);
  c.FillPolygon(
      {{29, 17}, {29, 6}, {33, 12}, {37, 4}, {41, 11}, {45, 4}, {49, 12}, {53, 6}, {53, 17}},
      kGoldYellow);
  c.FillRect(29, 15, 53, 17, kGold);
  c.Set(41, 14, kScarlet);
  c.Outline(kAmber, kOchre);
  Eyes(c, 26, kLeather);
  Brows(c, 24, kOchre);
  Nose(c, kApricot);
  Smile(c, 34, kBrick);
  return c;
}

Canvas Slasher() {
  Canvas c(kW, kH);
  Background(c, kWine, kMaroon);
  // Bare, muscular shoulders with a strap.
  c.FillEllipseOutlined(41, 72, 38, 25, kSkin, kBlack);
  c.Line(18, 50, 60, 62, kLeather, 3);
  c.Line(30, 56, 34, 58, kApricot);
  Neck(c, kSkin);
  Face(c, kSkin);
  ShortHair(c, kBlack);
  c.FillRect(29, 17, 53, 19, kCrimson);  // headband
  c.FillPolygon({{29, 17}, {23, 23}, {25, 25}, {30, 19}}, kCrimson);
  Eyes(c, 25, kBlack);
  Brows(c, 23, kBlack, -1);
  Nose(c, kApricot);
  Mouth(c, 35, kBrick, 3);
  c.Line(46, 21, 49, 33, kCrimson);  // scar
  for (int y = 23; y <= 31; y += 3) c.Line(46, y, 49, y + 1, kCrimson);
  for (int i = 0; i < 20; ++i)
    c.Set(34 + HashPick(i, 0, 7, 15), 36 + HashPick(i, 1, 7, 4), kLeather);
  // A great blade held across the picture.
  c.Line(60, 60, 78, 0, kCharcoal, 5);
  c.Line(60, 60, 78, 0, kSilver, 3);
  c.Line(61, 57, 77, 2, kWhite);
  c.Line(54, 56, 68, 61, kGold, 3);
  return c;
}

Canvas Marauder() {
  Canvas c(kW, kH);
  Background(c, kMoss, kKhaki);
  // Fur cloak.
  c.FillEllipseOutlined(41, 70, 38, 25, kBark, kBlack);
  for (int i = 0; i < 60; ++i)
    c.Line(4 + HashPick(i, 0, 9, 74), 48 + HashPick(i, 1, 9, 14), 4 + HashPick(i, 0, 9, 74) + 1,
           52 + HashPick(i, 1, 9, 14), kLeather);
  Neck(c, kFlesh);
  Face(c, kFlesh);
  Beard(c, kBrown, kBark, 20);
  c.FillRect(35, 48, 37, 56, kBrown);  // braids
  c.FillRect(45, 48, 47, 56, kBrown);
  c.FillRect(35, 54, 37, 55, kGold);
  c.FillRect(45, 54, 47, 55, kGold);
  Moustache(c, kLeather);
  // Horned helmet.
  c.FillPolygon({{28, 16}, {20, 12}, {14, 2}, {16, 0}, {22, 8}, {30, 12}}, kIvory);
  c.FillPolygon({{54, 16}, {62, 12}, {68, 2}, {66, 0}, {60, 8}, {52, 12}}, kIvory);
  c.Line(14, 2, 22, 8, kStraw);
  c.Line(68, 2, 60, 8, kStraw);
  c.FillEllipseOutlined(41, 19, 13, 10, kGrey, kBlack);
  c.FillRect(27, 19, 55, 22, kCharcoal);
  c.FillRect(28, 20, 54, 21, kStone);
  c.Line(41, 10, 41, 19, kCharcoal);
  c.FillRect(40, 19, 42, 28, kGrey);
  c.Line(33, 12, 37, 10, kSilver);
  Eyes(c, 25, kSea);
  Brows(c, 23, kBlack, -1);
  return c;
}

Canvas FastRider() {
  Canvas c(kW, kH);
  Background(c, kApricot, kSand);
  for (int i = 0; i < 14; ++i) {
    const int y = 3 + HashPick(i, 0, 21, 40), x = HashPick(i, 1, 21, 30);
    c.Line(x, y, x + 8 + HashPick(i, 2, 21, 10), y, kIvory);  // wind
  }
  // A horse's head beside the rider.
  c.FillPolygon({{58, 61},
                 {56, 40},
                 {60, 24},
                 {66, 14},
                 {70, 12},
                 {78, 22},
                 {81, 30},
                 {79, 34},
                 {73, 32},
                 {70, 44},
                 {72, 61}},
                kSnow);
  c.Outline(kApricot, kBlack);
  c.Outline(kSand, kBlack);
  c.FillPolygon({{64, 16}, {58, 26}, {55, 40}, {57, 50}, {54, 40}, {56, 24}}, kCharcoal);  // mane
  c.Line(70, 34, 72, 58, kStone);
  c.Line(74, 30, 79, 31, kStone);
  c.Set(72, 20, kBlack);
  c.Set(73, 20, kBlack);
  c.Line(77, 29, 79, 30, kBlack);
  c.FillPolygon({{66, 14}, {65, 8}, {69, 12}}, kSnow);
  c.Line(62, 22, 58, 40, kRoyalBlue);  // bridle
  c.Line(64, 24, 78, 28, kRoyalBlue);
  c.FillRect(70, 19, 71, 20, kBlack);  // the horse's eye
  c.Set(79, 27, kBlack);
  // Rider with a streaming scarf.
  Torso(c, kGreen, kForest);
  c.FillPolygon({{28, 44}, {2, 38}, {0, 46}, {6, 43}, {2, 50}, {26, 48}}, kScarlet);
  c.Line(2, 38, 26, 44, kTomato);
  c.FillRect(30, 43, 52, 47, kScarlet);
  Neck(c, kSkin);
  Face(c, kSkin);
  c.FillPolygon({{30, 20}, {22, 14}, {14, 16}, {20, 18}, {12, 22}, {22, 22}, {30, 24}}, kBark);
  ShortHair(c, kBark);
  c.FillEllipseOutlined(41, 16, 13, 6, kGreen, kBlack);  // riding cap
  c.FillRect(27, 16, 55, 19, kBlack);
  c.FillRect(28, 16, 56, 18, kForest);
  Eyes(c, 25, kLeather);
  Brows(c, 23, kBark);
  Nose(c, kApricot);
  Smile(c, 34, kBrick);
  return c;
}

Canvas DragonOfZil() {
  Canvas c(kW, kH);
  Background(c, kMaroon, kWine);
  for (int i = 0; i < 30; ++i) {
    const int x = HashPick(i, 0, 44, kW), y = 40 + HashPick(i, 1, 44, 22);
    c.Line(x, y, x + HashPick(i, 2, 44, 5) - 2, y - 6 - HashPick(i, 3, 44, 8),
           i % 3 ? kOrange : kAmber);
  }
  // Neck and head in profile, facing left.
  c.FillPolygon({{48, 61}, {52, 40}, {58, 30}, {76, 30}, {78, 61}}, kGreen);
  c.FillPolygon({{8, 30},
                 {10, 22},
                 {24, 16},
                 {40, 10},
                 {56, 10},
                 {66, 16},
                 {68, 30},
                 {58, 38},
                 {40, 36},
                 {24, 38},
                 {10, 38}},
                kGreen);
  c.FillPolygon({{8, 38}, {24, 38}, {40, 36}, {56, 38}, {48, 44}, {24, 44}, {12, 42}},
                kForest);  // jaw
  c.Outline(kMaroon, kBlack);
  c.Outline(kWine, kBlack);
  c.Outline(kOrange, kBlack);
  c.Outline(kAmber, kBlack);
  // Belly scales down the neck.
  for (int y = 40; y < 62; y += 4) c.Line(52 + (61 - y) / 6, y, 60 + (61 - y) / 8, y, kOliveGreen);
  // Horns and spines.
  c.FillPolygon({{54, 12}, {70, 0}, {64, 10}, {62, 16}}, kStraw);
  c.FillPolygon({{46, 11}, {56, 0}, {52, 10}}, kStraw);
  for (int i = 0; i < 4; ++i)
    c.FillPolygon({{66 + i * 3, 22 + i * 9}, {80, 18 + i * 10}, {70 + i * 2, 28 + i * 9}}, kLime);
  // Eye, nostril, teeth and a wisp of flame.
  c.FillEllipseOutlined(44, 20, 4, 3, kYellow, kBlack);
  c.Line(44, 18, 44, 22, kBlack);
  c.Line(38, 16, 50, 15, kForest, 2);
  c.FillCircle(13, 27, 1.5, kBlack);
  for (int x = 12; x < 40; x += 4) c.FillPolygon({{x, 37}, {x + 3, 37}, {x + 1, 41}}, kWhite);
  c.FillPolygon({{8, 39}, {0, 36}, {0, 46}, {6, 43}}, kOrange);
  c.FillPolygon({{6, 40}, {0, 39}, {0, 43}}, kYellow);
  for (int i = 0; i < 40; ++i) {
    const int x = 18 + HashPick(i, 0, 45, 44), y = 14 + HashPick(i, 1, 45, 20);
    if (c.Get(x, y) == kGreen) c.Set(x, y, kOliveGreen);
  }
  return c;
}

Canvas Monk() {
  Canvas c(kW, kH);
  Background(c, kTan, kStraw);
  c.FillRect(10, 6, 24, 30, kCream);  // a window behind
  c.FrameRect(10, 6, 24, 30, kBark);
  c.Line(17, 6, 17, 30, kBark);
  Torso(c, kLeather, kBark);
  c.FillEllipseOutlined(41, 49, 16, 6, kBark, kBlack);  // hood down
  Neck(c, kPeach);
  Ears(c, kPeach);
  Face(c, kPeach);
  EllipseRows(c, 41, 27, 11, 14, 17, 22, kBark);  // tonsure ring
  c.FillEllipse(41, 16, 7, 4, kPeach);
  c.Line(37, 14, 40, 13, kCream);
  Eyes(c, 27, kLeather);
  c.Line(35, 27, 38, 27, kPeach);  // half-closed lids
  c.Line(44, 27, 47, 27, kPeach);
  Brows(c, 24, kLeather);
  Nose(c, kCopper);
  Smile(c, 34, kBrick);
  c.FillRect(38, 52, 44, 56, kGold);  // a small book
  c.Line(41, 52, 41, 56, kOchre);
  return c;
}

Canvas ChainLightening() {
  Canvas c(kW, kH);
  Background(c, kNight, kNavy);
  auto bolt = [&](std::vector<Point> pts, uint8_t glow, uint8_t core) {
    for (size_t i = 0; i + 1 < pts.size(); ++i)
      c.Line(pts[i].x, pts[i].y, pts[i + 1].x, pts[i + 1].y, glow, 3);
    for (size_t i = 0; i + 1 < pts.size(); ++i)
      c.Line(pts[i].x, pts[i].y, pts[i + 1].x, pts[i + 1].y, core);
  };
  bolt({{4, 0}, {12, 14}, {6, 20}, {16, 36}, {10, 42}, {20, 61}}, kSkyBlue, kWhite);
  bolt({{78, 0}, {68, 12}, {74, 18}, {62, 32}, {70, 36}, {60, 50}}, kSkyBlue, kWhite);
  bolt({{56, 0}, {60, 8}, {55, 12}}, kAqua, kIce);
  Torso(c, kDeepBlue, kAqua);
  c.Line(26, 52, 34, 62, kAqua);
  c.Line(56, 52, 48, 62, kAqua);
  Neck(c, kShell);
  // Wild white hair standing on end.
  for (int i = 0; i < 11; ++i) {
    const double a = kPi + i * kPi / 10;
    c.FillPolygon({{41, 22},
                   {41 + static_cast<int>(std::lround(21 * std::cos(a - 0.12))),
                    22 + static_cast<int>(std::lround(19 * std::sin(a - 0.12)))},
                   {41 + static_cast<int>(std::lround(24 * std::cos(a))),
                    20 + static_cast<int>(std::lround(22 * std::sin(a)))},
                   {41 + static_cast<int>(std::lround(21 * std::cos(a + 0.12))),
                    22 + static_cast<int>(std::lround(19 * std::sin(a + 0.12)))}},
                  kSnow);
  }
  c.Outline(kNight, kStone);
  c.Outline(kNavy, kStone);
  Face(c, kShell);
  EllipseRows(c, 41, 24, 12, 12, 12, 17, kSnow);
  Eyes(c, 25, kAqua, kIce);
  Brows(c, 23, kWhite, 1);
  Nose(c, kRoseGrey);
  c.FillRect(38, 34, 44, 36, kBlack);  // a shout
  c.Line(39, 34, 43, 34, kWhite);
  // Sparks in the hands' place.
  bolt({{20, 50}, {26, 46}, {24, 44}, {30, 40}}, kAqua, kWhite);
  return c;
}

Canvas Archer() {
  Canvas c(kW, kH);
  Background(c, kLeafGreen, kForest);
  for (int i = 0; i < 50; ++i) c.Set(HashPick(i, 0, 13, kW), HashPick(i, 1, 13, 40), kGreen);
  c.Line(6, 4, 22, 61, kBark, 2);  // bow
  c.Line(14, 2, 26, 58, kIvory);
  Torso(c, kGreen, kLeather);
  c.Line(24, 46, 60, 62, kLeather, 2);
  // Hood.
  c.FillPolygon({{25, 44}, {26, 20}, {34, 8}, {41, 5}, {52, 9}, {58, 22}, {57, 44}}, kGreen);
  c.Outline(kLeafGreen, kBlack);
  c.Outline(kForest, kBlack);
  c.FillEllipse(41, 28, 11.5, 14.5, kBlack);
  Face(c, kSkin);
  c.FillPolygon({{29, 24}, {34, 13}, {41, 11}, {50, 13}, {53, 24}, {46, 16}, {36, 16}}, kGreen);
  Eyes(c, 25, kMoss);
  Brows(c, 23, kBark, 1);
  Nose(c, kApricot);
  c.Line(38, 35, 44, 34, kBrick);
  c.FillPolygon({{52, 62}, {60, 44}, {64, 46}, {58, 62}}, kBark);  // quiver
  for (int i = 0; i < 3; ++i) c.Line(60 + i * 2, 44, 62 + i * 3, 38, kWhite);
  return c;
}

Canvas Orc() {
  Canvas c(kW, kH);
  Background(c, kCharcoal, kStone);
  Torso(c, kRust, kCharcoal);
  for (int x = 10; x < 74; x += 6) c.FillCircle(x, 54, 1.2, kSilver);  // studs
  Neck(c, kOliveGreen);
  Ears(c, kOliveGreen);
  c.FillPolygon({{29, 24}, {20, 18}, {30, 30}}, kOliveGreen);
  c.FillPolygon({{53, 24}, {62, 18}, {52, 30}}, kOliveGreen);
  c.FillEllipseOutlined(41, 28, 12.5, 13.5, kOliveGreen, kBlack);
  ShortHair(c, kBlack);
  Eyes(c, 25, kScarlet, kYellow);
  c.Line(33, 22, 39, 25, kBlack, 2);
  c.Line(43, 25, 49, 22, kBlack, 2);
  c.FillRect(38, 29, 44, 31, kMoss);
  c.Set(39, 31, kBlack);
  c.Set(43, 31, kBlack);
  c.FillRect(35, 35, 47, 37, kBlack);
  c.FillPolygon({{36, 36}, {38, 36}, {37, 31}}, kIvory);  // tusks
  c.FillPolygon({{44, 36}, {46, 36}, {45, 31}}, kIvory);
  return c;
}

Canvas WidowMaker() {
  Canvas c(kW, kH);
  Background(c, kDarkTeal, kBlack);
  // A web in the corner.
  for (int i = 0; i < 6; ++i) c.Line(0, 0, 24 - i * 4, i * 5, kStone);
  for (int r = 6; r < 26; r += 6) c.Ring(0, 0, r, r + 0.8, kStone);
  Torso(c, kCharcoal, kBlack);
  c.Line(10, 62, 30, 46, kMaroon, 2);
  c.Line(72, 62, 52, 46, kMaroon, 2);
  // Hood and mask.
  c.FillEllipseOutlined(41, 27, 16, 19, kPlum, kBlack);
  c.FillEllipse(41, 28, 11, 14, kSkin);
  c.FillPolygon({{29, 30}, {53, 30}, {52, 40}, {41, 44}, {30, 40}}, kBlack);
  c.Line(30, 32, 52, 32, kCharcoal);
  EllipseRows(c, 41, 27, 16, 19, 8, 20, kPlum);
  c.FillEllipse(41, 21, 10, 3, kPlum);
  c.FillRect(34, 23, 48, 27, kSkin);
  c.FillRect(34, 25, 38, 26, kWhite);
  c.FillRect(44, 25, 48, 26, kWhite);
  c.FillRect(36, 25, 37, 26, kMagenta);
  c.FillRect(45, 25, 46, 26, kMagenta);
  c.Line(33, 23, 39, 24, kBlack);
  c.Line(43, 24, 49, 23, kBlack);
  // Daggers.
  c.Line(60, 58, 74, 38, kSilver, 2);
  c.Line(58, 54, 64, 60, kGold, 2);
  c.Line(22, 58, 8, 38, kSilver, 2);
  c.Line(24, 54, 18, 60, kGold, 2);
  // The red hourglass mark of the widow spider on the chest.
  c.FillPolygon({{38, 48}, {44, 48}, {41, 52}}, kCrimson);
  c.FillPolygon({{38, 56}, {44, 56}, {41, 52}}, kCrimson);
  return c;
}

Canvas TheRat() {
  Canvas c(kW, kH);
  Background(c, kKhaki, kMoss);
  for (int y = 4; y < 44; y += 8)  // sewer bricks
    for (int x = (y / 8) % 2 * 6; x < kW; x += 12) c.FrameRect(x, y, x + 11, y + 7, kMoss);
  Torso(c, kLeather, kBark);
  c.FillRect(26, 50, 56, 52, kBark);
  Neck(c, kGrey);
  // Big round ears.
  c.FillEllipseOutlined(26, 14, 9, 9, kGrey, kBlack);
  c.FillEllipseOutlined(56, 14, 9, 9, kGrey, kBlack);
  c.FillEllipse(26, 14, 6, 6, kPink);
  c.FillEllipse(56, 14, 6, 6, kPink);
  // Head narrowing to a long snout.
  c.FillPolygon({{28, 20},
                 {36, 13},
                 {46, 13},
                 {54, 20},
                 {54, 30},
                 {46, 40},
                 {42, 46},
                 {40, 46},
                 {36, 40},
                 {28, 30}},
                kGrey);
  c.Outline(kKhaki, kBlack);
  c.Outline(kMoss, kBlack);
  c.FillPolygon({{36, 32}, {46, 32}, {43, 42}, {39, 42}}, kStone);
  c.FillEllipse(41, 45, 2.5, 2, kPink);  // nose
  c.Set(40, 44, kBlack);
  c.FillRect(36, 24, 38, 26, kBlack);
  c.FillRect(44, 24, 46, 26, kBlack);
  c.Set(37, 25, kTomato);
  c.Set(45, 25, kTomato);
  c.FillRect(40, 47, 42, 50, kIvory);  // teeth
  c.Line(41, 47, 41, 50, kStone);
  for (int i = -1; i <= 1; ++i) {
    c.Line(36, 42 + i, 22, 40 + i * 4, kCharcoal);
    c.Line(46, 42 + i, 60, 40 + i * 4, kCharcoal);
  }
  // A tail curling up.
  c.Line(70, 61, 74, 46, kPink, 2);
  c.Line(74, 46, 68, 36, kPink, 2);
  return c;
}

Canvas ShieldOfWan() {
  Canvas c(kW, kH);
  Background(c, kPaleGrey, kStone);
  for (int y = 6; y < 62; y += 9)
    for (int x = (y / 9) % 2 * 8; x < kW; x += 16) c.FrameRect(x, y, x + 15, y + 8, kSilver);
  Torso(c, kGrey, kCharcoal);
  Neck(c, kGrey);
  // Great helm with an eye slit and breaths.
  c.FillPolygon({{28, 12}, {34, 6}, {48, 6}, {54, 12}, {54, 40}, {41, 44}, {28, 40}}, kSilver);
  c.Outline(kPaleGrey, kBlack);
  c.Outline(kStone, kBlack);
  c.FillRect(31, 22, 51, 24, kBlack);
  c.Line(41, 8, 41, 42, kGrey);
  for (int y = 30; y <= 36; y += 3) c.Line(44, y, 49, y, kBlack);
  c.Line(31, 10, 35, 8, kWhite);
  c.FillPolygon({{40, 6}, {41, 0}, {43, 0}, {44, 6}}, kGold);
  // A large kite shield in front.
  const std::vector<Point> shield = {{8, 34}, {30, 32}, {32, 46}, {20, 61}, {8, 52}};
  c.FillPolygon({{6, 32}, {32, 30}, {34, 46}, {20, 62}, {6, 53}}, kBlack);
  c.FillPolygon(shield, kDeepBlue);
  c.FillPolygon({{19, 33}, {31, 32}, {32, 46}, {20, 61}}, kGold);
  c.FillCircle(19, 44, 4, kWhite);
  c.Ring(19, 44, 4, 5, kBlack);
  // Sword behind, the other side.
  c.Line(64, 60, 72, 8, kSilver, 3);
  c.Line(58, 50, 72, 53, kGold, 2);
  return c;
}

Canvas NightStalker() {
  Canvas c(kW, kH);
  Background(c, kBlack, kNight);
  Stars(c, 18, 25, kStone);
  c.FillCircle(66, 12, 9, kLemon);  // crescent moon
  c.FillCircle(62, 9, 8, kBlack);
  c.Ring(66, 12, 9, 10, kNight);
  // A dark cloaked shape with a deep hood.
  c.FillPolygon({{4, 62},
                 {14, 46},
                 {26, 40},
                 {24, 22},
                 {32, 8},
                 {41, 4},
                 {50, 8},
                 {58, 22},
                 {56, 40},
                 {68, 46},
                 {78, 62}},
                kPlum);
  c.Outline(kBlack, kNavy);
  c.Outline(kNight, kNavy);
  c.FillPolygon({{30, 38}, {30, 22}, {36, 12}, {46, 12}, {52, 22}, {52, 38}, {41, 42}}, kBlack);
  c.Line(33, 16, 38, 10, kMauve);
  c.Line(20, 50, 41, 62, kNight, 2);
  // Glowing eyes in the shadow.
  c.FillRect(35, 25, 38, 26, kYellow);
  c.FillRect(44, 25, 47, 26, kYellow);
  c.Set(36, 24, kAmber);
  c.Set(45, 24, kAmber);
  c.FillRect(34, 27, 39, 27, kOchre);
  c.FillRect(43, 27, 48, 27, kOchre);
  return c;
}

Canvas Hedgehog() {
  Canvas c(kW, kH);
  Background(c, kGrass, kLeafGreen);
  for (int i = 0; i < 12; ++i) {
    const int x = HashPick(i, 0, 19, kW), y = 44 + HashPick(i, 1, 19, 18);
    c.FillCircle(x, y, 1.2, i % 2 ? kYellow : kWhite);  // daisies
  }
  // A ring of spines round the head and shoulders.
  for (int i = 0; i < 26; ++i) {
    const double a = kPi * 0.85 + i * (kPi * 1.3) / 25;
    const double ox = 41 + 17 * std::cos(a), oy = 32 + 17 * std::sin(a);
    const double tx = 41 + 33 * std::cos(a + 0.08), ty = 32 + 30 * std::sin(a + 0.08);
    c.FillPolygon(
        {{static_cast<int>(ox - 3 * std::sin(a)), static_cast<int>(oy + 3 * std::cos(a))},
         {static_cast<int>(tx), static_cast<int>(ty)},
         {static_cast<int>(ox + 3 * std::sin(a)), static_cast<int>(oy - 3 * std::cos(a))}},
        i % 2 ? kLeather : kBark);
  }
  c.FillEllipse(41, 34, 20, 22, kBark);
  c.Outline(kGrass, kBlack);
  c.Outline(kLeafGreen, kBlack);
  Torso(c, kCopper, kLeather);
  c.FillEllipse(41, 62, 14, 10, kCream);
  // Face: pale and pointed, with a round black nose.
  c.FillPolygon(
      {{29, 26}, {33, 18}, {41, 16}, {49, 18}, {53, 26}, {50, 36}, {44, 44}, {38, 44}, {32, 36}},
      kCream);
  c.FillEllipseOutlined(32, 17, 3, 3, kCream, kBlack);
  c.FillEllipseOutlined(50, 17, 3, 3, kCream, kBlack);
  c.FillEllipse(32, 17, 1.5, 1.5, kPink);
  c.FillEllipse(50, 17, 1.5, 1.5, kPink);
  c.FillEllipse(41, 43, 3, 2.5, kBlack);
  c.Set(40, 42, kGrey);
  c.FillRect(35, 26, 37, 29, kBlack);
  c.FillRect(45, 26, 47, 29, kBlack);
  c.Set(35, 26, kWhite);
  c.Set(45, 26, kWhite);
  c.Set(33, 34, kPink);
  c.Set(49, 34, kPink);
  c.Line(39, 46, 43, 46, kBrick);
  return c;
}

}  // namespace

std::vector<Canvas> MakePortraits() {
  return {Valiant(),     Angel(),     Maiden(),          Merlin(),       RedSun(),
          DeathWatch(),  GoldenSun(), Slasher(),         Marauder(),     FastRider(),
          DragonOfZil(), Monk(),      ChainLightening(), Archer(),       Orc(),
          WidowMaker(),  TheRat(),    ShieldOfWan(),     NightStalker(), Hedgehog()};
}

}  // namespace samplegen
