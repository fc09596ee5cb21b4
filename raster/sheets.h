// The six image sheets the presentation reads: each file's name and the size
// of the images it holds. The program, its tools and its tests all take the
// sheets from this one table; the build reads it too (one sheet a line).
#ifndef PIXSHOW_RASTER_SHEETS_H
#define PIXSHOW_RASTER_SHEETS_H

struct SheetFormat {
  const char* fileName;
  int imageWidth;
  int imageHeight;
  int imagesDrawn;  // the presentation draws images 0 .. imagesDrawn - 1 at most
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

// The web page reads no more of a sheet, dropped or served, than imagesDrawn images.
// clang-format off
constexpr SheetFormat ImageSheets[SheetCount] = {
    {"ports.pix", 82, 62, 20},     // portraits
    {"button.pix", 45, 12, 1},     // the continue button
    {"Divadude.pix", 82, 62, 9},   // stat icons
    {"WarTiles.pix", 42, 32, 36},  // map tiles, four seasons of nine terrains
    {"Pieces.pix", 42, 32, 5},     // pieces
    {"Borders.pix", 42, 32, 2},    // cell borders, 0 where the map shows through
};
// clang-format on

#endif
