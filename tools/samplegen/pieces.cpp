// The continue button, the five army pieces and the two cell borders, and
// the list of all six sheets.
#include "art.h"

namespace samplegen {
namespace {

constexpr int kCellW = 42;
constexpr int kCellH = 32;

// A raised frame: light on the top and left, dark on the bottom and right.
void Bevel(Canvas& c, int x0, int y0, int x1, int y1, uint8_t light, uint8_t dark) {
  c.Line(x0, y0, x1 - 1, y0, light);
  c.Line(x0, y0, x0, y1 - 1, light);
  c.Line(x1, y0, x1, y1, dark);
  c.Line(x0, y1, x1, y1, dark);
}

struct Army {
  uint8_t light, mid, dark;  // frame, banner, field behind the number
  uint8_t emblem, emblemShade;
};

// A soldier seen from the front, 9 pixels wide and 16 high, at (x, y).
void Soldier(Canvas& c, int x, int y, const Army& army, uint8_t skin) {
  c.FillRect(x + 3, y, x + 5, y + 1, army.light);  // helmet
  c.FillRect(x + 3, y + 2, x + 5, y + 3, skin);
  c.FillRect(x + 2, y + 4, x + 6, y + 10, army.mid);  // body
  c.Line(x + 4, y + 4, x + 4, y + 10, army.light);
  c.FillRect(x + 3, y + 11, x + 3, y + 14, kBlack);  // legs
  c.FillRect(x + 5, y + 11, x + 5, y + 14, kBlack);
  c.Line(x + 8, y - 3, x + 8, y + 13, kStraw);  // spear
  c.Set(x + 8, y - 4, kSilver);
  c.Set(x + 8, y - 5, kSilver);
  c.Line(x + 7, y + 6, x + 8, y + 6, skin);
}

Canvas Piece(const Army& army, int emblem) {
  Canvas c(kCellW, kCellH, army.dark);
  c.FrameRect(0, 0, kCellW - 1, kCellH - 1, kBlack);
  Bevel(c, 1, 1, kCellW - 2, kCellH - 2, army.light, army.mid);
  // The banner strip along the top with the army's emblem.
  c.FillRect(2, 2, kCellW - 3, 12, army.mid);
  c.Line(2, 12, kCellW - 3, 12, kBlack);
  const int ex = 21, ey = 7;
  switch (emblem) {
    case 0:  // cross
      c.FillRect(ex - 1, ey - 4, ex + 1, ey + 4, army.emblem);
      c.FillRect(ex - 4, ey - 1, ex + 4, ey + 1, army.emblem);
      break;
    case 1:  // crown
      c.FillPolygon({{ex - 6, ey + 4},
                     {ex - 6, ey - 3},
                     {ex - 3, ey},
                     {ex, ey - 4},
                     {ex + 3, ey},
                     {ex + 6, ey - 3},
                     {ex + 6, ey + 4}},
                    army.emblem);
      c.Line(ex - 6, ey + 3, ex + 6, ey + 3, army.emblemShade);
      break;
    case 2:  // tree
      c.FillPolygon({{ex, ey - 5}, {ex + 6, ey + 2}, {ex - 6, ey + 2}}, army.emblem);
      c.FillRect(ex - 1, ey + 2, ex + 1, ey + 4, army.emblemShade);
      break;
    case 3:  // star
      c.FillPolygon({{ex, ey - 5},
                     {ex + 2, ey - 1},
                     {ex + 6, ey - 1},
                     {ex + 3, ey + 2},
                     {ex + 4, ey + 5},
                     {ex, ey + 3},
                     {ex - 4, ey + 5},
                     {ex - 3, ey + 2},
                     {ex - 6, ey - 1},
                     {ex - 2, ey - 1}},
                    army.emblem);
      break;
    default:  // skull
      c.FillEllipse(ex + 0.5, ey - 0.5, 5, 4, army.emblem);
      c.FillRect(ex - 2, ey + 2, ex + 3, ey + 4, army.emblem);
      c.FillRect(ex - 2, ey - 2, ex - 1, ey, kBlack);
      c.FillRect(ex + 2, ey - 2, ex + 3, ey, kBlack);
      c.Line(ex - 1, ey + 4, ex + 2, ey + 4, army.emblemShade);
      break;
  }
  // Pennants at both ends of the banner.
  c.FillPolygon({{3, 3}, {10, 3}, {10, 11}, {6, 9}, {3, 11}}, army.light);
  c.FillPolygon({{31, 3}, {38, 3}, {38, 11}, {35, 9}, {31, 11}}, army.light);
  // A soldier on the right, beside where the number goes.
  Soldier(c, 28, 15, army, emblem == 4 ? kSnow : kSkin);
  c.Line(2, 29, kCellW - 3, 29, army.mid);
  return c;
}

Canvas Border(uint8_t outer, uint8_t middle, uint8_t inner) {
  Canvas c(kCellW, kCellH, 0);
  c.FrameRect(0, 0, kCellW - 1, kCellH - 1, outer);
  c.FrameRect(1, 1, kCellW - 2, kCellH - 2, middle);
  c.FrameRect(2, 2, kCellW - 3, kCellH - 3, inner);
  // Heavier corners.
  for (int i = 0; i < 2; ++i) {
    const int x = i ? kCellW - 9 : 3, y = i ? kCellH - 5 : 3;
    c.FillRect(x, 3, x + 5, 4, middle);
    c.FillRect(x, kCellH - 5, x + 5, kCellH - 4, middle);
    c.FillRect(3, y, 4, y + 1, middle);
    c.FillRect(kCellW - 5, y, kCellW - 4, y + 1, middle);
  }
  return c;
}

}  // namespace

Canvas MakeButton() {
  Canvas c(45, 12, kSilver);
  c.FrameRect(0, 0, 44, 11, kBlack);
  Bevel(c, 1, 1, 43, 10, kWhite, kGrey);
  Bevel(c, 2, 2, 42, 9, kSnow, kStone);
  DrawTinyText(c, 9, 4, "NEXT", kBlack);
  c.FillPolygon({{29, 3}, {35, 6}, {29, 9}}, kGreen);
  c.FillPolygon({{34, 3}, {40, 6}, {34, 9}}, kGreen);
  c.Set(29, 3, kForest);
  c.Set(34, 3, kForest);
  return c;
}

std::vector<Canvas> MakePieces() {
  const Army blue{kRoyalBlue, kBlue, kNavy, kWhite, kSnow};
  const Army red{kScarlet, kCrimson, kMaroon, kGoldYellow, kGold};
  const Army green{kLime, kGreen, kForest, kPaleYellow, kBark};
  const Army purple{kLilac, kPurple, kPlum, kYellow, kGold};
  const Army dead{kStone, kCharcoal, kBlack, kSnow, kGrey};
  return {Piece(blue, 0), Piece(red, 1), Piece(green, 2), Piece(purple, 3), Piece(dead, 4)};
}

std::vector<Canvas> MakeBorders() {
  // Image 0 is dark, image 1 bright; the same shape, so each covers the other.
  return {Border(kCharcoal, kNight, kCharcoal), Border(kYellow, kWhite, kAmber)};
}

namespace {

Sheet MakeSheet(SheetId id, std::vector<Canvas> images) {
  const SheetFormat& format = ImageSheets[id];
  return {format.fileName, format.imageWidth, format.imageHeight, std::move(images)};
}

}  // namespace

std::vector<Sheet> MakeSampleSheets() {
  return {
      MakeSheet(PortraitSheet, MakePortraits()), MakeSheet(ButtonSheet, {MakeButton()}),
      MakeSheet(StatIconSheet, MakeStatIcons()), MakeSheet(TileSheet, MakeTiles()),
      MakeSheet(PieceSheet, MakePieces()),       MakeSheet(BorderSheet, MakeBorders()),
  };
}

}  // namespace samplegen
