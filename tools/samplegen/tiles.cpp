// The map tiles of "WarTiles.pix", 42 x 32 each, four seasons of nine
// terrains (tile = season * 9 + terrain). All land tiles share one ground
// texture per season, so neighbouring cells of different terrains join into
// one landscape; water covers its whole cell, so lakes join too.
//
// Terrains: 0 bare ground, 1 lake, 2 meadow, 3 hills, 4 town, 5 fields,
// 6 forest, 7 marsh, 8 mountains.
#include <cmath>

#include "art.h"

namespace samplegen {
namespace {

constexpr int kW = 42;
constexpr int kH = 32;

struct Season {
  uint8_t ground, groundDark, groundLight;
  uint8_t bloom1, bloom2;  // small flowers or leaves on the meadow (0: none)
  uint8_t water, waterDark, waterLight;
  uint8_t leaf, leafDark, leafLight, trunk;
  bool conifers;  // winter: dark firs with snow instead of round crowns
  uint8_t hill, hillShade, hillLight;
  uint8_t rock, rockShade, rockLight, peak;
  uint8_t field, furrow, hedge;
  uint8_t roof, roofShade, wall;
  uint8_t reed, reedTop;
};

const Season kSeasons[4] = {
    // Spring: fresh green, blossom, full blue water, young crops.
    {kGrass,   kGreen, kLime,  kRose,      kYellow, kRoyalBlue, kBlue,  kSkyBlue,  kLime,   kGrass,
     kRose,    kBark,  false,  kLeafGreen, kGreen,  kGrass,     kGrey,  kCharcoal, kSilver, kWhite,
     kLeather, kLime,  kGreen, kCrimson,   kMaroon, kCream,     kGreen, kLime},
    // Summer: deep green, dark woods, ripe golden wheat.
    {kGreen,     kForest, kGrass,   kYellow,   0,       kBlue,       kDeepBlue,
     kRoyalBlue, kForest, kBlack,   kGreen,    kBark,   false,       kOliveGreen,
     kMoss,      kSage,   kGrey,    kCharcoal, kSilver, kWhite,      kGoldYellow,
     kGold,      kForest, kCrimson, kMaroon,   kCream,  kOliveGreen, kLeather},
    // Fall: olive and brown ground, orange and red woods, ploughed fields.
    {kOliveGreen, kMoss,   kOlive,   kOrange,   kCrimson, kDeepBlue, kNavy,
     kPeriwinkle, kOrange, kCrimson, kGold,     kBark,    false,     kLeather,
     kBark,       kCopper, kGrey,    kCharcoal, kStone,   kSnow,     kBrown,
     kBark,       kMoss,   kBrick,   kMaroon,   kCream,   kStraw,    kBrown},
    // Winter: snow, blue shadows, frozen water, snowy firs.
    {kSnow,     kPaleGrey, kWhite,    0,         0,         kIce,   kLavender,
     kWhite,    kPine,     kDarkTeal, kWhite,    kBark,     true,   kPaleGrey,
     kLavender, kWhite,    kGrey,     kCharcoal, kSilver,   kWhite, kSnow,
     kStone,    kCharcoal, kWhite,    kStone,    kRoseGrey, kStraw, kTan},
};

// The shared ground: base colour with a light sprinkle of darker and lighter
// pixels, and in spring and summer a few flowers.
void Ground(Canvas& c, const Season& s, uint32_t seed) {
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      const int r = HashPick(x, y, 17, 100);
      uint8_t v = s.ground;
      if (r < 10)
        v = s.groundDark;
      else if (r < 16)
        v = s.groundLight;
      c.Set(x, y, v);
    }
  if (s.bloom1) {
    for (int i = 0; i < 6; ++i) {
      const int x = 2 + HashPick(i, 0, seed, kW - 4), y = 2 + HashPick(i, 1, seed, kH - 4);
      c.Set(x, y, i % 2 && s.bloom2 ? s.bloom2 : s.bloom1);
    }
  }
}

void Tuft(Canvas& c, int x, int y, uint8_t colour) {
  c.Set(x, y, colour);
  c.Set(x - 1, y - 1, colour);
  c.Set(x + 1, y - 1, colour);
  c.Set(x, y - 2, colour);
}

void Lake(Canvas& c, const Season& s, bool frozen) {
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      const int r = HashPick(x, y, 5, 100);
      c.Set(x, y, r < 4 ? s.waterDark : s.water);
    }
  if (frozen) {
    // Cracks in the ice and a drift of snow.
    c.Line(3, 6, 12, 12, s.waterDark);
    c.Line(12, 12, 10, 20, s.waterDark);
    c.Line(12, 12, 22, 14, s.waterDark);
    c.Line(28, 22, 38, 27, s.waterDark);
    c.Line(31, 4, 36, 10, s.waterLight);
    c.Line(6, 26, 12, 26, s.waterLight);
    return;
  }
  // Ripples.
  const Point ripples[5] = {{4, 5}, {24, 3}, {14, 14}, {30, 19}, {6, 25}};
  for (const Point& p : ripples) {
    c.Line(p.x, p.y, p.x + 5, p.y, s.waterLight);
    c.Line(p.x + 2, p.y + 1, p.x + 8, p.y + 1, s.waterDark);
  }
}

void Meadow(Canvas& c, const Season& s) {
  const Point tufts[6] = {{6, 8}, {20, 5}, {33, 11}, {12, 20}, {27, 24}, {38, 28}};
  for (const Point& p : tufts) Tuft(c, p.x, p.y, s.groundDark);
  if (s.bloom1) {
    c.Set(15, 12, s.bloom1);
    c.Set(31, 20, s.bloom2 ? s.bloom2 : s.bloom1);
    c.Set(8, 27, s.bloom1);
  }
}

void Hills(Canvas& c, const Season& s) {
  auto mound = [&](double cx, double cy, double rx, double ry) {
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        const double nx = (x + 0.5 - cx) / rx, ny = (y + 0.5 - cy) / ry;
        if (y + 0.5 > cy || nx * nx + ny * ny > 1.0) continue;
        uint8_t v = s.hill;
        if (nx > 0.35)
          v = s.hillShade;
        else if (nx < -0.45 && ny < -0.2)
          v = s.hillLight;
        c.Set(x, y, v);
      }
    c.Line(static_cast<int>(cx - rx), static_cast<int>(cy), static_cast<int>(cx + rx) - 1,
           static_cast<int>(cy), s.groundDark);
  };
  mound(12, 17, 11, 12);
  mound(31, 27, 12, 13);
  mound(33, 10, 8, 8);
}

void Tree(Canvas& c, const Season& s, int x, int y) {
  if (s.conifers) {
    c.FillPolygon({{x, y - 9}, {x + 5, y}, {x - 5, y}}, s.leaf);
    c.Line(x, y - 9, x - 4, y - 1, s.leafLight);
    c.Line(x - 2, y - 4, x + 2, y - 4, s.leafLight);
    c.Line(x + 1, y - 8, x + 5, y, s.leafDark);
    c.FillRect(x, y + 1, x, y + 2, s.trunk);
    return;
  }
  c.FillRect(x, y, x, y + 3, s.trunk);
  c.FillEllipse(x + 0.5, y - 3, 5, 4.5, s.leafDark);
  c.FillEllipse(x, y - 4, 4, 3.5, s.leaf);
  c.Set(x - 2, y - 6, s.leafLight);
  c.Set(x + 1, y - 4, s.leafLight);
}

void Forest(Canvas& c, const Season& s) {
  // The floor of a wood is darker than open ground.
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      if (HashPick(x, y, 23, 3) == 0) c.Set(x, y, s.groundDark);
  const Point trees[9] = {{6, 8},   {19, 6}, {33, 9},  {12, 17}, {26, 16},
                          {38, 19}, {5, 27}, {19, 28}, {32, 28}};
  for (const Point& p : trees) Tree(c, s, p.x, p.y);
}

void Town(Canvas& c, const Season& s) {
  auto house = [&](int x, int y, int w, int h) {
    c.FillRect(x, y, x + w, y + h, s.wall);
    c.FrameRect(x, y, x + w, y + h, kCharcoal);
    c.FillPolygon({{x - 1, y + 1}, {x + w / 2, y - w / 2 - 1}, {x + w + 2, y + 1}}, s.roof);
    c.Line(x + w / 2, y - w / 2 - 1, x + w + 1, y, s.roofShade);
    c.FillRect(x + w / 2, y + h - 3, x + w / 2 + 1, y + h - 1, kBark);
  };
  // A road through the town.
  c.FillRect(0, 22, kW - 1, 25, s.hill == kPaleGrey ? kSnow : kTan);
  c.Line(0, 22, kW - 1, 22, s.groundDark);
  house(4, 12, 8, 7);
  house(28, 13, 9, 7);
  house(15, 26, 7, 4);
  // Church tower.
  c.FillRect(18, 4, 24, 19, kStone);
  c.FrameRect(18, 4, 24, 19, kCharcoal);
  c.FillPolygon({{17, 5}, {21, -2}, {26, 5}}, s.roofShade);
  c.FillRect(20, 8, 22, 11, kBlack);
  c.FillRect(20, 15, 22, 19, kBark);
  c.Set(21, -1, kGold);
}

void Fields(Canvas& c, const Season& s) {
  // Two fields with their furrows at right angles, a hedge between them.
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      const bool left = x + y / 2 < 24;
      const bool furrow = left ? (x % 4 == 0) : (y % 3 == 0);
      c.Set(x, y, furrow ? s.furrow : s.field);
    }
  for (int y = 0; y < kH; ++y) {
    const int x = 24 - y / 2;
    c.Set(x, y, s.hedge);
    c.Set(x - 1, y, s.hedge);
  }
  c.Line(0, 0, kW - 1, 0, s.hedge);
}

void Marsh(Canvas& c, const Season& s, bool frozen) {
  const struct {
    double x, y, rx, ry;
  } pools[4] = {{10, 8, 7, 3}, {29, 12, 9, 3.5}, {15, 22, 8, 3}, {34, 27, 6, 2.5}};
  for (const auto& p : pools) {
    c.FillEllipse(p.x, p.y, p.rx + 1, p.ry + 1, s.groundDark);
    c.FillEllipse(p.x, p.y, p.rx, p.ry, s.water);
    c.Line(static_cast<int>(p.x - p.rx / 2), static_cast<int>(p.y), static_cast<int>(p.x),
           static_cast<int>(p.y), frozen ? s.waterDark : s.waterLight);
  }
  const Point reeds[7] = {{3, 14}, {20, 10}, {23, 19}, {38, 18}, {6, 29}, {27, 29}, {40, 6}};
  for (const Point& p : reeds) {
    for (int i = -1; i <= 1; ++i) c.Line(p.x + i, p.y, p.x + i * 2, p.y - 5, s.reed);
    c.Set(p.x, p.y - 6, s.reedTop);
    c.Set(p.x, p.y - 5, s.reedTop);
  }
}

void Mountains(Canvas& c, const Season& s) {
  auto peak = [&](int px, int py, int left, int right, int base) {
    c.FillPolygon({{left, base}, {px, py}, {right, base}}, s.rock);
    c.FillPolygon({{px, py}, {right, base}, {px + (right - px) / 3, base}}, s.rockShade);
    c.Line(px, py, left, base, s.rockLight);
    // Snow cap.
    const int capH = (base - py) / 3;
    c.FillPolygon({{px - capH * (px - left) / (base - py), py + capH},
                   {px, py},
                   {px + capH * (right - px) / (base - py), py + capH},
                   {px + 1, py + capH - 2},
                   {px - 1, py + capH}},
                  s.peak);
  };
  // Rocky foothills under the peaks fill the cell, so that ranges join; in
  // winter they lie under snow.
  const uint8_t foot = s.conifers ? s.ground : s.rock;
  const uint8_t footShade = s.conifers ? s.hillShade : s.rockShade;
  for (int y = 18; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      if (y > 24 - static_cast<int>(std::lround(3 * std::sin(x * 0.45))))
        c.Set(x, y, HashPick(x, y, 29, 4) ? footShade : foot);
  peak(29, 1, 8, kW + 8, 28);
  peak(10, 5, -10, 30, kH + 1);
  peak(34, 14, 18, kW + 10, kH + 2);
}

Canvas Tile(int season, int terrain) {
  const Season& s = kSeasons[season];
  Canvas c(kW, kH);
  Ground(c, s, static_cast<uint32_t>(season * 9 + terrain));
  const bool winter = season == 3;
  switch (terrain) {
    case 1:
      Lake(c, s, winter);
      break;
    case 2:
      Meadow(c, s);
      break;
    case 3:
      Hills(c, s);
      break;
    case 4:
      Town(c, s);
      break;
    case 5:
      Fields(c, s);
      break;
    case 6:
      Forest(c, s);
      break;
    case 7:
      Marsh(c, s, winter);
      break;
    case 8:
      Mountains(c, s);
      break;
    default:
      break;  // bare ground
  }
  return c;
}

}  // namespace

std::vector<Canvas> MakeTiles() {
  std::vector<Canvas> tiles;
  for (int season = 0; season < 4; ++season)
    for (int terrain = 0; terrain < 9; ++terrain) tiles.push_back(Tile(season, terrain));
  return tiles;
}

}  // namespace samplegen
