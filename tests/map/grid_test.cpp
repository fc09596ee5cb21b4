// Cell grid geometry: origins, coverage and the edges of the map.
#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

#include "map/map.h"

namespace {

struct Origin {
  int cell, x, y;
};

TEST(CellGrid, WorkedOriginsAndCellZero) {
  const Origin worked[] = {
      {0, 0, 0},      {1, 67, 42},    {7, 571, 42},   {8, 25, 58},    {14, 529, 58},
      {15, 67, 74},   {28, 529, 90},  {32, 319, 106}, {39, 277, 122}, {53, 277, 154},
      {54, 361, 154}, {60, 319, 170}, {67, 277, 186}, {71, 67, 202},  {84, 529, 218},
  };
  int cellX[CellTableSize], cellY[CellTableSize];
  ComputeCellOrigins(cellX, cellY);
  for (const Origin& o : worked) {
    int x = -1, y = -1;
    ASSERT_EQ(FindCellOrigin(o.cell, &x, &y), 1) << "cell " << o.cell;
    EXPECT_EQ(x, o.x) << "cell " << o.cell;
    EXPECT_EQ(y, o.y) << "cell " << o.cell;
    EXPECT_EQ(cellX[o.cell], o.x) << "cell " << o.cell;
    EXPECT_EQ(cellY[o.cell], o.y) << "cell " << o.cell;
  }
}

TEST(CellGrid, MultiplesOfFourteenCloseTheirBand) {
  for (int band = 0; band < 6; band++) {
    int x, y;
    ASSERT_EQ(FindCellOrigin(14 * (band + 1), &x, &y), 1);
    EXPECT_EQ(x, BandCellX[14]);
    EXPECT_EQ(y, 32 * band + BandCellY[14]);
  }
}

TEST(CellGrid, ClosedFormForEveryCell) {
  for (int cell = 1; cell <= MapCellCount; cell++) {
    int band = (cell - 1) / 14, position = (cell - 1) % 14 + 1;
    int x, y;
    ASSERT_EQ(FindCellOrigin(cell, &x, &y), 1);
    if (position <= 7) {
      EXPECT_EQ(x, 67 + 84 * (position - 1)) << cell;
      EXPECT_EQ(y, 42 + 32 * band) << cell;
    } else {
      EXPECT_EQ(x, 25 + 84 * (position - 8)) << cell;
      EXPECT_EQ(y, 58 + 32 * band) << cell;
    }
  }
}

TEST(CellGrid, CellsTileTheMapWithoutOverlap) {
  int cellX[CellTableSize], cellY[CellTableSize];
  ComputeCellOrigins(cellX, cellY);
  static int owner[480][640];
  for (auto& row : owner)
    for (int& o : row) o = 0;
  long covered = 0;
  int minX = 640, minY = 480, maxX = -1, maxY = -1;
  for (int cell = 1; cell <= MapCellCount; cell++) {
    for (int y = cellY[cell]; y < cellY[cell] + CellHeight; y++) {
      for (int x = cellX[cell]; x < cellX[cell] + CellWidth; x++) {
        ASSERT_GE(x, 0);
        ASSERT_LT(x, 640);
        ASSERT_GE(y, 0);
        ASSERT_LT(y, 480);
        ASSERT_EQ(owner[y][x], 0) << "cells " << owner[y][x] << " and " << cell << " overlap at "
                                  << x << "," << y;
        owner[y][x] = cell;
        covered++;
        if (x < minX) minX = x;
        if (y < minY) minY = y;
        if (x > maxX) maxX = x;
        if (y > maxY) maxY = y;
      }
    }
  }
  EXPECT_EQ(covered, 112896);
  EXPECT_EQ(minX, 25);
  EXPECT_EQ(minY, 42);
  EXPECT_EQ(maxX, 612);
  EXPECT_EQ(maxY, 249);

  // Fourteen touching columns, 42 pixels apart, alternately 16 pixels lower.
  std::set<int> columns;
  for (int cell = 1; cell <= MapCellCount; cell++) columns.insert(cellX[cell]);
  ASSERT_EQ(columns.size(), 14u);
  int expectX = 25;
  for (int x : columns) {
    EXPECT_EQ(x, expectX);
    expectX += 42;
  }
  // No gap inside a column: each column runs 6 cells deep, 192 rows without a hole.
  for (int x : columns) {
    int top = (x - 25) / 42 % 2 == 0 ? 58 : 42;
    for (int y = top; y < top + 192; y++) EXPECT_NE(owner[y][x], 0) << x << "," << y;
    EXPECT_EQ(owner[top - 1][x], 0);
    EXPECT_EQ(owner[top + 192][x], 0);
  }
}

TEST(CellGrid, EntryZeroIsZeroAndTablesAreStable) {
  int x1[CellTableSize], y1[CellTableSize], x2[CellTableSize], y2[CellTableSize];
  for (int i = 0; i < CellTableSize; i++) x1[i] = y1[i] = x2[i] = y2[i] = 777;
  ComputeCellOrigins(x1, y1);
  ComputeCellOrigins(x2, y2);
  EXPECT_EQ(x1[0], 0);
  EXPECT_EQ(y1[0], 0);
  for (int i = 0; i < CellTableSize; i++) {
    EXPECT_EQ(x1[i], x2[i]);
    EXPECT_EQ(y1[i], y2[i]);
  }
}

TEST(CellGrid, CellsOutsideTheMapHaveNoOrigin) {
  for (int cell : {-1000000, -15, -14, -1, 85, 98, 1000000}) {
    int x = 123, y = 456;
    EXPECT_EQ(FindCellOrigin(cell, &x, &y), 0) << cell;
    EXPECT_EQ(x, 123);
    EXPECT_EQ(y, 456);
  }
}

TEST(BattleMapLayoutTable, TerrainsOneToEightAndKnownCells) {
  EXPECT_EQ(BattleMapLayout[0], 0);
  for (int cell = 1; cell <= MapCellCount; cell++) {
    EXPECT_GE(BattleMapLayout[cell], 1) << cell;
    EXPECT_LE(BattleMapLayout[cell], 8) << cell;
  }
  EXPECT_EQ(BattleMapLayout[17], 7);
  EXPECT_EQ(BattleMapLayout[47], 4);
  EXPECT_EQ(BattleMapLayout[1], 1);
  EXPECT_EQ(BattleMapLayout[84], 2);
  EXPECT_EQ(BattleMapLayout[59], 5);
}

}  // namespace
