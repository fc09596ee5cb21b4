// Cell grid geometry: where each of the 84 cells of the battle map stands.
#include "map/map.h"

const int BandCellX[15] = {0, 67, 151, 235, 319, 403, 487, 571, 25, 109, 193, 277, 361, 445, 529};
const int BandCellY[15] = {0, 42, 42, 42, 42, 42, 42, 42, 58, 58, 58, 58, 58, 58, 58};

int FindCellOrigin(int cell, int* x, int* y) {
  if (cell < 0 || cell > MapCellCount) {
    return 0;
  }

  int position = cell;
  int band = 0;
  if (cell > 14) {
    position = cell % 14;
    band = cell / 14;
    if (position == 0) {  // multiples of 14 close their band
      position = 14;
      band -= 1;
    }
  }
  *x = BandCellX[position];
  *y = 32 * band + BandCellY[position];
  return 1;
}

void ComputeCellOrigins(int* cellX, int* cellY) {
  for (int cell = 0; cell <= MapCellCount; cell++) {
    FindCellOrigin(cell, &cellX[cell], &cellY[cell]);
  }
}
