// Cell grid geometry: origins, coverage and the edges of the map.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "map/map.h"

namespace {

TEST(CellGrid, WorkedOriginsCellZeroAndTheEndsOfEachBand) {
  const int worked[][3] = {
      {0, 0, 0},      {1, 67, 42},    {7, 571, 42},   {8, 25, 58},    {14, 529, 58},  {15, 67, 74},
      {28, 529, 90},  {32, 319, 106}, {39, 277, 122}, {42, 529, 122}, {54, 361, 154}, {56, 529, 154},
      {60, 319, 170}, {70, 529, 186}, {71, 67, 202},  {84, 529, 218},
  };
  int cellX[CellTableSize], cellY[CellTableSize];
  ComputeCellOrigins(cellX, cellY);
  for (const auto& o : worked) {
    SCOPED_TRACE(o[0]);
    int x = -1, y = -1;
    ASSERT_EQ(FindCellOrigin(o[0], &x, &y), 1);
    EXPECT_EQ(x, o[1]);
    EXPECT_EQ(y, o[2]);
    EXPECT_EQ(cellX[o[0]], o[1]);
    EXPECT_EQ(cellY[o[0]], o[2]);
  }
}

TEST(CellGrid, CellsTileTheMapWithoutOverlap) {
  static int owner[480][640];
  long covered = 0;
  int minX = 640, minY = 480, maxX = -1, maxY = -1;
  std::set<int> columns;
  for (int cell = 1; cell <= MapCellCount; cell++) {
    int cx, cy;
    ASSERT_EQ(FindCellOrigin(cell, &cx, &cy), 1);
    columns.insert(cx);
    for (int y = cy; y < cy + CellHeight; y++) {
      for (int x = cx; x < cx + CellWidth; x++) {
        ASSERT_TRUE(x >= 0 && x < 640 && y >= 0 && y < 480) << cell;
        ASSERT_EQ(owner[y][x], 0) << "cells " << owner[y][x] << " and " << cell << " overlap at " << x << "," << y;
        owner[y][x] = cell;
        covered++;
        minX = std::min(minX, x), minY = std::min(minY, y), maxX = std::max(maxX, x), maxY = std::max(maxY, y);
      }
    }
  }
  EXPECT_EQ(covered, 112896);
  EXPECT_EQ(minX, 25);
  EXPECT_EQ(minY, 42);
  EXPECT_EQ(maxX, 612);
  EXPECT_EQ(maxY, 249);
  EXPECT_EQ(columns.size(), 14u);  // fourteen touching columns, 42 pixels apart
}

TEST(CellGrid, CellsOutsideTheMapHaveNoOrigin) {
  for (int cell : {-1000000, -15, -14, -1, 85, 98, 1000000}) {
    int x = 123, y = 456;
    EXPECT_EQ(FindCellOrigin(cell, &x, &y), 0) << cell;
    EXPECT_EQ(x, 123);
    EXPECT_EQ(y, 456);
  }
}

}  // namespace
