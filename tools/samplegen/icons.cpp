// The nine stat icons of "Divadude.pix", 82 x 62 each. The captions stand
// to the right of the left 36 columns, so each icon is a dark plaque with its
// symbols in that strip: two symbols, one beside each caption row, or one on
// the three short icons, of which only the top 38 rows are shown.
#include <cmath>

#include "art.h"

namespace samplegen {
namespace {

constexpr int kW = 82;
constexpr int kH = 62;
constexpr int kShortH = 38;
constexpr double kPi = 3.14159265358979323846;

void Plaque(Canvas& c, int height) {
  c.FillRect(0, 0, kW - 1, height - 1, kNight);
  c.FrameRect(0, 0, kW - 1, height - 1, kBlack);
  c.Line(1, 1, kW - 2, 1, kAmber);
  c.Line(1, 1, 1, height - 2, kAmber);
  c.Line(kW - 2, 1, kW - 2, height - 2, kOchre);
  c.Line(1, height - 2, kW - 2, height - 2, kOchre);
}

// The rounded slot a symbol sits in, centred on (18, cy).
void Slot(Canvas& c, int cy) {
  c.FillRect(4, cy - 12, 32, cy + 12, kNavy);
  c.FrameRect(3, cy - 13, 33, cy + 13, kDeepBlue);
  c.Set(3, cy - 13, kNight);
  c.Set(33, cy - 13, kNight);
  c.Set(3, cy + 13, kNight);
  c.Set(33, cy + 13, kNight);
}

void Coins(Canvas& c, int cy) {
  for (int stack = 0; stack < 2; ++stack) {
    const int x = stack ? 22 : 13, n = stack ? 4 : 6;
    for (int i = 0; i < n; ++i) {
      const int y = cy + 9 - i * 3;
      c.FillEllipseOutlined(x, y, 6, 2.2, kGold, kOchre);
      c.Line(x - 4, y - 1, x + 3, y - 1, kGoldYellow);
    }
  }
  c.FillEllipseOutlined(13, cy - 9, 6, 2.2, kGoldYellow, kOchre);
  c.Set(11, cy - 9, kWhite);
}

void Food(Canvas& c, int cy) {
  // A loaf and an apple.
  c.FillEllipseOutlined(13, cy + 3, 9, 6, kCopper, kBark);
  c.FillEllipse(12, cy + 1, 7, 3.5, kPeach);
  for (int i = 0; i < 3; ++i) c.Line(8 + i * 4, cy, 10 + i * 4, cy + 4, kBark);
  c.FillEllipseOutlined(25, cy + 3, 6, 6, kTomato, kMaroon);
  c.FillEllipse(23, cy + 1, 2, 2, kShell);
  c.Line(25, cy - 3, 26, cy - 7, kBark);
  c.FillPolygon({{26, cy - 6}, {31, cy - 9}, {29, cy - 5}}, kGrass);
}

void Ingots(Canvas& c, int cy) {
  auto bar = [&](int x, int y) {
    c.FillPolygon({{x, y + 6}, {x + 3, y}, {x + 12, y}, {x + 15, y + 6}}, kSilver);
    c.Line(x + 3, y, x + 12, y, kWhite);
    c.Line(x, y + 6, x + 15, y + 6, kGrey);
    c.Line(x, y + 6, x + 3, y, kStone);
    c.Line(x + 15, y + 6, x + 12, y, kCharcoal);
  };
  bar(3, cy + 3);
  bar(18, cy + 3);
  bar(10, cy - 4);
  c.Line(12, cy - 9, 22, cy - 9, kWhite);
}

void Fur(Canvas& c, int cy) {
  c.FillPolygon({{18, cy - 11},
                 {22, cy - 8},
                 {30, cy - 10},
                 {26, cy - 3},
                 {28, cy + 6},
                 {32, cy + 10},
                 {24, cy + 9},
                 {18, cy + 12},
                 {12, cy + 9},
                 {4, cy + 10},
                 {8, cy + 6},
                 {10, cy - 3},
                 {6, cy - 10},
                 {14, cy - 8}},
                kLeather);
  c.FillEllipse(18, cy, 6, 8, kTan);
  for (int i = 0; i < 14; ++i) {
    const int x = 10 + HashPick(i, 0, 3, 17), y = cy - 6 + HashPick(i, 1, 3, 14);
    c.Line(x, y, x + 1, y + 2, kBark);
  }
  c.Outline(kNavy, kBark);
}

void Rate(Canvas& c, int cy) {
  // Rising bars with an arrow.
  for (int i = 0; i < 4; ++i) {
    const int x = 5 + i * 6, top = cy + 9 - (i + 1) * 4;
    c.FillRect(x, top, x + 4, cy + 10, i == 3 ? kGrass : kLeafGreen);
    c.Line(x, top, x + 4, top, kLime);
  }
  c.Line(4, cy + 11, 31, cy + 11, kSilver);
  c.Line(6, cy + 1, 27, cy - 9, kYellow, 2);
  c.FillPolygon({{30, cy - 12}, {29, cy - 5}, {23, cy - 10}}, kYellow);
}

void Helmet(Canvas& c, int cy) {
  c.FillPolygon({{17, cy - 9}, {24, cy - 12}, {30, cy - 9}, {25, cy - 8}, {19, cy - 7}}, kScarlet);
  c.FillEllipseOutlined(18, cy + 1, 10, 10, kSilver, kCharcoal);
  c.FillRect(8, cy + 2, 28, cy + 11, kSilver);
  c.FrameRect(8, cy + 2, 28, cy + 11, kCharcoal);
  c.FillRect(10, cy + 1, 26, cy + 2, kBlack);  // eye slit
  c.Line(18, cy - 8, 18, cy + 11, kStone);
  c.Line(11, cy - 4, 14, cy - 7, kWhite);
  for (int y = cy + 5; y <= cy + 9; y += 2) c.Line(21, y, 25, y, kCharcoal);
}

void Men(Canvas& c, int cy) {
  const uint8_t coats[3] = {kBlue, kCrimson, kGreen};
  const int xs[3] = {9, 27, 18};
  const int ys[3] = {cy - 4, cy - 4, cy - 1};
  for (int i = 0; i < 3; ++i) {
    const int x = xs[i], y = ys[i];
    c.FillEllipseOutlined(x, y + 11, 6, 6, coats[i], kBlack);
    c.FillRect(x - 7, y + 13, x + 7, y + 14, kNavy);
    c.FillEllipseOutlined(x, y, 3.5, 3.5, kSkin, kBlack);
    c.FillRect(x - 3, y - 4, x + 3, y - 3, kStone);  // helmets
  }
}

void Swords(Canvas& c, int cy) {
  for (int side = 0; side < 2; ++side) {
    const int x0 = side ? 30 : 6, x1 = side ? 8 : 28;
    c.Line(x0, cy - 10, x1, cy + 8, kCharcoal, 3);
    c.Line(x0, cy - 10, x1, cy + 8, kSilver);
    const int gx = side ? 11 : 25;
    c.Line(gx - 3, cy + 3, gx + 3, cy + 9, kGold, 2);
    c.Line(x1, cy + 8, side ? 5 : 31, cy + 11, kBark, 2);
  }
}

void Target(Canvas& c, int cy) {
  c.FillCircle(16, cy, 11, kWhite);
  c.FillCircle(16, cy, 9, kCrimson);
  c.FillCircle(16, cy, 6.5, kWhite);
  c.FillCircle(16, cy, 4, kCrimson);
  c.FillCircle(16, cy, 1.6, kYellow);
  c.Line(17, cy - 1, 31, cy - 11, kBark, 2);
  c.Line(17, cy - 1, 30, cy - 10, kTan);
  c.FillPolygon({{28, cy - 12}, {32, cy - 13}, {31, cy - 9}}, kWhite);
}

void People(Canvas& c, int cy) {
  struct Person {
    int x, head, height;
    uint8_t coat, hair;
  };
  const Person p[3] = {
      {9, 8, 22, kBark, kBlack}, {19, 10, 20, kViolet, kCopper}, {28, 4, 13, kGoldYellow, kOchre}};
  for (const Person& q : p) {
    const int top = cy + 12 - q.height;
    c.FillPolygon({{q.x - q.head / 2 - 1, cy + 12},
                   {q.x - 2, top + 6},
                   {q.x + 2, top + 6},
                   {q.x + q.head / 2 + 1, cy + 12}},
                  q.coat);
    c.FillEllipseOutlined(q.x, top + 3, 3, 3.2, kSkin, kBlack);
    c.Line(q.x - 3, top, q.x + 3, top, q.hair);
  }
  c.Line(4, cy + 12, 32, cy + 12, kGrass);
}

void Castle(Canvas& c, int cy) {
  c.FillRect(6, cy - 4, 30, cy + 11, kStone);
  c.FillRect(12, cy - 10, 24, cy + 11, kSilver);
  for (int x = 6; x <= 28; x += 4) c.FillRect(x, cy - 6, x + 1, cy - 5, kStone);
  for (int x = 12; x <= 23; x += 4) c.FillRect(x, cy - 12, x + 1, cy - 11, kSilver);
  c.FillRect(15, cy + 3, 21, cy + 11, kBlack);
  c.FillEllipse(18, cy + 3, 3, 3, kBlack);
  c.FillRect(17, cy - 7, 19, cy - 4, kBlack);
  c.Line(18, cy - 12, 18, cy - 13, kBark);
  c.FillPolygon({{19, cy - 13}, {25, cy - 11}, {19, cy - 9}}, kScarlet);
  c.Outline(kNavy, kCharcoal);
}

void Heart(Canvas& c, int cy) {
  c.FillCircle(12, cy - 3, 6, kTomato);
  c.FillCircle(23, cy - 3, 6, kTomato);
  c.FillPolygon({{6, cy - 1}, {29, cy - 1}, {18, cy + 12}}, kTomato);
  c.Outline(kNavy, kMaroon);
  c.FillEllipse(10, cy - 5, 2, 2, kShell);
  // Two hands clasped beneath.
  c.FillRect(7, cy + 8, 13, cy + 11, kSkin);
  c.FillRect(22, cy + 8, 28, cy + 11, kSkin);
}

void Flood(Canvas& c, int cy) {
  c.FillPolygon({{18, cy - 12}, {23, cy - 4}, {18, cy}, {13, cy - 4}}, kSkyBlue);  // a drop
  c.FillEllipse(18, cy - 4, 4.5, 4, kSkyBlue);
  c.Set(16, cy - 5, kWhite);
  for (int row = 0; row < 3; ++row) {
    const int y = cy + 2 + row * 4;
    for (int x = 4; x <= 32; ++x) {
      const int wave = static_cast<int>(std::lround(1.6 * std::sin((x + row * 3) * kPi / 4)));
      c.Set(x, y + wave, row == 0 ? kAqua : kRoyalBlue);
      c.Set(x, y + wave + 1, kBlue);
    }
  }
}

void Barn(Canvas& c, int cy) {
  c.FillRect(4, cy + 8, 32, cy + 12, kGoldYellow);  // field in front
  for (int x = 5; x < 32; x += 3) c.Line(x, cy + 8, x - 1, cy + 12, kOchre);
  c.FillPolygon({{7, cy - 2}, {18, cy - 11}, {29, cy - 2}}, kCharcoal);
  c.FillRect(9, cy - 2, 27, cy + 8, kCrimson);
  c.FillRect(14, cy + 1, 22, cy + 8, kWhite);
  c.Line(14, cy + 1, 22, cy + 8, kWhite);
  c.FillRect(15, cy + 2, 21, cy + 7, kMaroon);
  c.Line(15, cy + 2, 21, cy + 7, kWhite);
  c.Line(21, cy + 2, 15, cy + 7, kWhite);
  c.FillRect(16, cy - 6, 20, cy - 4, kIvory);
}

void Chest(Canvas& c, int cy) {
  c.FillEllipse(18, cy - 6, 12, 5, kGoldYellow);  // coins heaped up
  for (int i = 0; i < 8; ++i)
    c.Set(9 + HashPick(i, 0, 8, 18), cy - 9 + HashPick(i, 1, 8, 5), kWhite);
  c.FillRect(6, cy - 4, 30, cy + 11, kLeather);
  c.FrameRect(6, cy - 4, 30, cy + 11, kBark);
  c.Line(6, cy + 1, 30, cy + 1, kGold);
  c.Line(12, cy - 4, 12, cy + 11, kGold);
  c.Line(24, cy - 4, 24, cy + 11, kGold);
  c.FillRect(16, cy - 1, 20, cy + 4, kGold);
  c.Set(18, cy + 2, kBlack);
  c.FillPolygon({{27, cy - 9}, {31, cy - 12}, {34, cy - 9}, {31, cy - 5}}, kAqua);  // a gem
  c.Set(30, cy - 10, kWhite);
}

using SymbolFn = void (*)(Canvas&, int);

Canvas Icon(SymbolFn top, SymbolFn bottom) {
  Canvas c(kW, kH, kBlack);
  Plaque(c, bottom ? kH : kShortH);
  Slot(c, 15);
  top(c, 15);
  if (bottom) {
    Slot(c, 47);
    bottom(c, 47);
  }
  return c;
}

}  // namespace

std::vector<Canvas> MakeStatIcons() {
  return {Icon(Coins, Food),   Icon(Ingots, Fur),    Icon(Rate, nullptr),
          Icon(Helmet, Men),   Icon(Swords, Target), Icon(People, nullptr),
          Icon(Castle, Heart), Icon(Flood, Barn),    Icon(Chest, nullptr)};
}

}  // namespace samplegen
