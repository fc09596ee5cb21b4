// Pieces and cell borders: single images put straight onto the visible map.
#include "devices/devices.h"
#include "map/map.h"
#include "raster/raster.h"

int g_labelX = 0;
int g_labelY = 0;

namespace {

// Where a piece's number goes, relative to its cell's origin.
const int LabelOffsetX = 9;
const int LabelOffsetY = 14;

}  // namespace

void PlaceAtCell(int image, int cell, int mode) {
  int x, y;
  if (!FindCellOrigin(cell, &x, &y)) {
    return;  // not a cell of the map: nothing to draw, anchor kept
  }

  g_labelX = x + LabelOffsetX;
  g_labelY = y + LabelOffsetY;

  if (mode == PlacePiece) {
    DrawPiece(image, x, y);
  } else if (mode == PlaceBorder) {
    DrawCellBorder(image, x, y);
  }
}

// A piece covers its whole cell, black (index 0) included.
void DrawPiece(int image, int x, int y) {
  const SheetFormat& pieces = ImageSheets[PieceSheet];
  DrawSheetImage(g_primarySurface, pieces.fileName, pieces.imageWidth, pieces.imageHeight, image, x,
                 y, 0);
}

// A border leaves the pixels where its byte is 0, so the map shows through.
void DrawCellBorder(int image, int x, int y) {
  const SheetFormat& borders = ImageSheets[BorderSheet];
  DrawSheetImage(g_primarySurface, borders.fileName, borders.imageWidth, borders.imageHeight, image,
                 x, y, 1);
}
