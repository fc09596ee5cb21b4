// Season maps: the 84 cells drawn from the tile sheet into the back buffer,
// then shown with one flip.
#include <cstdio>

#include "devices/devices.h"
#include "map/map.h"
#include "raster/raster.h"

// One row per band of 14 cells: positions 1..7 (upper half-row), then 8..14.
// clang-format off
const int BattleMapLayout[CellTableSize] = {
    0,
    1, 2, 2, 2, 2, 3, 3, 1, 2, 2, 2, 2, 3, 3,
    1, 2, 7, 2, 3, 8, 6, 1, 1, 7, 2, 6, 8, 6,
    1, 1, 7, 2, 3, 8, 6, 2, 1, 8, 2, 3, 8, 6,
    2, 8, 8, 3, 4, 8, 2, 2, 2, 8, 3, 6, 5, 6,
    2, 8, 5, 3, 6, 6, 2, 6, 3, 8, 5, 3, 5, 2,
    6, 3, 2, 5, 6, 5, 2, 6, 3, 2, 2, 3, 6, 2,
};
// clang-format on

namespace {

// The tile sheet holds four blocks of nine terrains: spring, summer, fall, winter.
const int TerrainsPerSeason = 9;

}  // namespace

void DrawBattleMap(const int* layout, int season) {
  int cellX[CellTableSize];
  int cellY[CellTableSize];
  ComputeCellOrigins(cellX, cellY);

  if (FAILED(g_backSurface->Lock(NULL, &g_surfaceDesc, DDLOCK_WAIT, NULL))) {
    return;
  }

  // One open for the whole map; each tile is found by an absolute seek.
  HANDLE sheet = OpenImageSheet(ImageSheets[TileSheet].fileName, g_backSurface);
  for (int cell = 1; cell <= MapCellCount; cell++) {
    int tile = season * TerrainsPerSeason + layout[cell];
    PlotSheetImage(sheet, tile, CellWidth, CellHeight, CellHeight, cellX[cell], cellY[cell], 0);
  }
  CloseHandle(sheet);

  g_backSurface->Unlock(NULL);
  FlipToFront();
}
