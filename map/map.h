// The battle map: the staggered grid of 84 cells, the season maps drawn from
// the tile sheet, and the pieces and cell borders placed on single cells.
#ifndef PIXSHOW_MAP_MAP_H
#define PIXSHOW_MAP_MAP_H

#include "platform/win32.h"
#include "raster/sheets.h"

// Cells are numbered 1..84; per-cell tables have 85 entries so that the cell
// number indexes them directly (entry 0 belongs to no cell).
const int MapCellCount = 84;
const int CellTableSize = 85;
// A cell is the size of one tile.
const int CellWidth = ImageSheets[TileSheet].imageWidth;
const int CellHeight = ImageSheets[TileSheet].imageHeight;

// The seasons, in the order of their blocks in the tile sheet.
const int Spring = 0;
const int Summer = 1;
const int Fall = 2;
const int Winter = 3;

// What PlaceAtCell puts on a cell.
const int PlacePiece = 1;
const int PlaceBorder = 2;

// Base tables, indexed by the position 0..14 inside a band of 14 cells:
// upper half-row at positions 1..7, lower half-row at 8..14. Entry 0 serves
// cell 0 only.
extern const int BandCellX[15];
extern const int BandCellY[15];

// The map's terrain numbers (0..8) by cell; entry 0 is never read.
extern const int BattleMapLayout[CellTableSize];

// Label anchor: origin + (9, 14) of the cell of the latest PlaceAtCell call.
extern int g_labelX;
extern int g_labelY;

// The cell origin rule: the top-left pixel of cell 0..84. Returns 1 and sets
// (*x, *y); for any other cell returns 0 and leaves both untouched.
int FindCellOrigin(int cell, int* x, int* y);

// Fills both 85-entry tables with the origins of cells 0..84.
void ComputeCellOrigins(int* cellX, int* cellY);

// Draws the 84 tiles of one season (Spring, Summer, Fall or Winter)
// into the back buffer and flips it to the front.
void DrawBattleMap(const int* layout, int season);

// Moves the label anchor to the cell and draws a piece (PlacePiece) or a cell
// border (PlaceBorder) there on the visible surface; other modes draw nothing.
// Cells outside 0..84 are ignored altogether.
void PlaceAtCell(int image, int cell, int mode);
void DrawPiece(int image, int x, int y);
void DrawCellBorder(int image, int x, int y);

#endif
