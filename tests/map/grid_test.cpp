// Cell grid geometry: worked origins, coverage and the edges of the map.
#include <gtest/gtest.h>

#include <set>

#include "map/map.h"

namespace {

TEST(CellGrid, WorkedOriginsCellZeroAndTheEndsOfEachBand) {
  // Every cell's place is pinned by the golden pictures; these are the ends.
  const int worked[][3] = {{0, 0, 0}, {1, 67, 42}, {8, 25, 58}, {84, 529, 218}};
  for (const auto& o : worked) {
    int x = -1, y = -1;
    ASSERT_EQ(FindCellOrigin(o[0], &x, &y), 1) << o[0];
    EXPECT_EQ(x, o[1]) << o[0];
    EXPECT_EQ(y, o[2]) << o[0];
  }
  for (int cell : {-1000000, -15, -14, -1, 85, 98, 1000000}) {
    int x = 123, y = 456;
    EXPECT_EQ(FindCellOrigin(cell, &x, &y), 0) << cell;
    EXPECT_EQ(x * 1000 + y, 123456) << cell;  // untouched
  }
}

TEST(CellGrid, CellsTileTheMapInFourteenColumnsWithoutOverlap) {
  static int owner[480][640];
  long covered = 0;
  std::set<int> columns;
  for (int cell = 1; cell <= MapCellCount; cell++) {
    int cx, cy;
    ASSERT_EQ(FindCellOrigin(cell, &cx, &cy), 1);
    columns.insert(cx);
    for (int y = cy; y < cy + CellHeight; y++)
      for (int x = cx; x < cx + CellWidth; x++) {
        ASSERT_TRUE(x >= 25 && x <= 612 && y >= 42 && y <= 249) << cell << " at " << x << "," << y;
        ASSERT_EQ(owner[y][x], 0) << "cells " << owner[y][x] << " and " << cell << " overlap at "
                                  << x << "," << y;
        owner[y][x] = cell;
        covered++;
      }
  }
  EXPECT_EQ(covered, 84L * 42 * 32);
  EXPECT_EQ(columns.size(), 14u);  // touching columns, 42 pixels apart
}

}  // namespace
