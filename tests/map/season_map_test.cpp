// Season maps on the headless display: the right tile of the right season in
// every cell, only the cells written, one flip, and the failure paths.
#include <gtest/gtest.h>

#include "devices/devices.h"
#include "map/map.h"
#include "tests/support/world.h"

namespace {

using namespace pxtest;

const long TileBytes = 42 * 32;

class SeasonMap : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteTiles(36);
    ASSERT_TRUE(StartProgram());
  }
  void TearDown() override {
    ShutdownDevices();
    ExpectCleanEnd();
  }

  void WriteTiles(int count) {
    tileSheetBytes_ = TileBytes * count;
    dir_.WriteFile("WarTiles.pix", MakeSheet(WarTiles, TileBytes, count));
  }

  // `before` with the tiles of `season` drawn at every cell.
  std::unique_ptr<Pixels> WithMap(const Pixels& before, const int* layout, int season) const {
    auto expected = std::make_unique<Pixels>(before);
    for (int cell = 1; cell <= MapCellCount; cell++) {
      int x, y;
      FindCellOrigin(cell, &x, &y);
      PutSheetImage(*expected, WarTiles, tileSheetBytes_, season * 9 + layout[cell], 42, 32, 32, x, y);
    }
    return expected;
  }

  ScratchDirectory dir_;
  long tileSheetBytes_ = 0;
};

TEST_F(SeasonMap, EachSeasonShowsItsTilesInEveryCellAndNothingElse) {
  // A layout of our own, terrain 0 included, whose entry 0 would show a
  // tile at the top-left corner if it were read; then the program's own.
  int layout[CellTableSize];
  layout[0] = 7;
  for (int cell = 1; cell <= MapCellCount; cell++) layout[cell] = (cell * 5) % 9;
  for (const int* map : {static_cast<const int*>(layout), BattleMapLayout}) {
    for (int season = 0; season < 4; season++) {
      SCOPED_TRACE("season " + std::to_string(season));
      auto backBefore = Background(season);
      auto frontBefore = Background(10 + season);
      WritePixels(g_backSurface, *backBefore);
      WritePixels(g_primarySurface, *frontBefore);
      pxh::ClearCallLog();

      DrawBattleMap(map, season);

      // The drawn buffer is now the visible one; the other keeps what it showed.
      EXPECT_EQ(Differences(*WithMap(*backBefore, map, season), *ReadVisible()), "");
      EXPECT_EQ(Differences(*frontBefore, *ReadPixels(g_backSurface)), "");
      EXPECT_EQ(CountCalls("IDirectDrawSurface7::Lock"), 1);
      EXPECT_EQ(CountCalls("IDirectDrawSurface7::Lock@back"), 1);
      EXPECT_EQ(CountCalls("IDirectDrawSurface7::Unlock@back"), 1);
      EXPECT_EQ(CountCalls("IDirectDrawSurface7::Flip"), 1);
    }
  }
}

TEST_F(SeasonMap, ASheetOfThreeSeasonsDrawsWinterAsSolidWhiteCells) {
  WriteTiles(27);
  auto before = Background(4);
  WritePixels(g_backSurface, *before);
  DrawBattleMap(BattleMapLayout, 3);
  auto visible = ReadVisible();
  EXPECT_EQ(Differences(*WithMap(*before, BattleMapLayout, 3), *visible), "");  // past the end: 255
  EXPECT_EQ(visible->at[122][277], 255);
}

TEST_F(SeasonMap, AFailedLockOpensDrawsUnlocksAndFlipsNothing) {
  dir_.Remove("WarTiles.pix");  // opening it now would end the process
  auto back = Background(5);
  auto front = Background(6);
  WritePixels(g_backSurface, *back);
  WritePixels(g_primarySurface, *front);
  pxh::InjectFault("IDirectDrawSurface7::Lock@back", DDERR_SURFACELOST, 1);
  pxh::ClearCallLog();

  DrawBattleMap(BattleMapLayout, 1);

  EXPECT_EQ(Differences(*front, *ReadVisible()), "");
  EXPECT_EQ(Differences(*back, *ReadPixels(g_backSurface)), "");
  EXPECT_EQ(CountCalls("IDirectDrawSurface7::Unlock"), 0);
  EXPECT_EQ(CountCalls("IDirectDrawSurface7::Flip"), 0);
  EXPECT_TRUE(dir_.Entries().empty());
}

// --- The bounded flip ----------------------------------------------------------

TEST_F(SeasonMap, AFlipThatKeepsFailingGivesUpWithinItsBound) {
  for (HRESULT failure : {DDERR_WASSTILLDRAWING, DDERR_GENERIC}) {
    SCOPED_TRACE(failure);
    auto front = Background(7);
    WritePixels(g_primarySurface, *front);
    pxh::InjectFault("IDirectDrawSurface7::Flip", failure, -1);
    pxh::ClearCallLog();
    uint64_t start = pxh::NowMs();

    DrawBattleMap(BattleMapLayout, 0);

    uint64_t spent = pxh::NowMs() - start;
    EXPECT_GE(spent, FlipGiveUpMs);
    EXPECT_LT(spent, FlipGiveUpMs + 100);
    EXPECT_EQ(Differences(*front, *ReadVisible()), "");
    EXPECT_GT(CountCalls("IDirectDrawSurface7::Flip"), 1);
    pxh::ClearFaults();
  }
  // Lost surfaces end it at once, unrestored: their picture is gone and is
  // drawn again whole once the display is back.
  pxh::InjectFault("IDirectDrawSurface7::Flip", DDERR_SURFACELOST, -1);
  pxh::ClearCallLog();
  uint64_t start = pxh::NowMs();
  EXPECT_EQ(FlipToFront(), 0);
  EXPECT_EQ(pxh::NowMs(), start);
  EXPECT_EQ(CountCalls("IDirectDrawSurface7::Flip"), 1);
  EXPECT_EQ(CountCalls("IDirectDraw7::RestoreAllSurfaces"), 0);
  pxh::ClearFaults();
}

}  // namespace
