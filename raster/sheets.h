// The six image sheets the presentation reads: each file's name and the size
// of the images it holds. The program, its tools and its tests all take the
// sheets from this one table; the build reads it too (one sheet a line).
#ifndef PIXSHOW_RASTER_SHEETS_H
#define PIXSHOW_RASTER_SHEETS_H

struct SheetFormat {
  const char* fileName;
  int imageWidth;
  int imageHeight;
};

enum SheetId {
  PortraitSheet,
  ButtonSheet,
  StatIconSheet,
  TileSheet,
  PieceSheet,
  BorderSheet,
  SheetCount
};

// clang-format off
constexpr SheetFormat ImageSheets[SheetCount] = {
    {"ports.pix", 82, 62},     // portraits
    {"button.pix", 45, 12},    // the continue button
    {"Divadude.pix", 82, 62},  // stat icons
    {"WarTiles.pix", 42, 32},  // map tiles, four seasons of nine terrains
    {"Pieces.pix", 42, 32},    // pieces
    {"Borders.pix", 42, 32},   // cell borders, 0 where the map shows through
};
// clang-format on

#endif
