// Season maps on the headless display: the right tile of the right season in
// every cell, only the cells written, one flip, and the failure paths.
#include <gtest/gtest.h>

#include "map/map.h"
#include "map_support.h"

namespace {

using namespace maptest;

const long TileBytes = 42 * 32;

class SeasonMap : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    WriteTiles(36);
    ASSERT_TRUE(StartDevices());
  }
  void TearDown() override {
    ShutdownDevices();
    EXPECT_TRUE(pxh::MisuseReport().empty()) << pxh::MisuseReport().front();
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
      PutSheetImage(*expected, WarTiles, tileSheetBytes_, season * 9 + layout[cell], 42, 32, 32, x,
                    y);
    }
    return expected;
  }

  ScratchDirectory dir_;
  long tileSheetBytes_ = 0;
};

TEST_F(SeasonMap, EachSeasonShowsItsTilesInEveryCellAndNothingElse) {
  for (int season = 0; season < 4; season++) {
    SCOPED_TRACE("season " + std::to_string(season));
    auto backBefore = Background(season);
    auto frontBefore = Background(10 + season);
    WritePixels(g_backSurface, *backBefore);
    WritePixels(g_primarySurface, *frontBefore);
    pxh::ClearCallLog();

    DrawBattleMap(BattleMapLayout, season);

    // The drawn buffer is now the visible one; the other keeps what it showed.
    auto expected = WithMap(*backBefore, BattleMapLayout, season);
    EXPECT_EQ(Differences(*expected, *ReadVisible()), "");
    EXPECT_EQ(Differences(*frontBefore, *ReadPixels(g_backSurface)), "");
    EXPECT_EQ(CountCalls("IDirectDrawSurface7::Lock"), 1);
    EXPECT_EQ(CountCalls("IDirectDrawSurface7::Lock@back"), 1);
    EXPECT_EQ(CountCalls("IDirectDrawSurface7::Unlock@back"), 1);
    EXPECT_EQ(CountCalls("IDirectDrawSurface7::Flip"), 1);
  }
}

TEST_F(SeasonMap, TheLayoutPassedDecidesTheTilesAndItsEntryZeroIsNeverRead) {
  int layout[CellTableSize];
  layout[0] = 7;  // would show a tile at the top-left corner if it were read
  for (int cell = 1; cell <= MapCellCount; cell++) {
    layout[cell] = (cell * 5) % 9;  // terrain 0 included
  }
  auto before = Background(3);
  WritePixels(g_backSurface, *before);

  DrawBattleMap(layout, 2);

  EXPECT_EQ(Differences(*WithMap(*before, layout, 2), *ReadVisible()), "");
}

TEST_F(SeasonMap, DrawingTheSameSeasonTwiceFillsBothBuffersAlike) {
  auto first = Background(1);
  auto second = Background(2);
  WritePixels(g_backSurface, *first);
  WritePixels(g_primarySurface, *second);

  DrawBattleMap(BattleMapLayout, 1);
  DrawBattleMap(BattleMapLayout, 1);

  EXPECT_EQ(Differences(*WithMap(*first, BattleMapLayout, 1), *ReadPixels(g_backSurface)), "");
  EXPECT_EQ(Differences(*WithMap(*second, BattleMapLayout, 1), *ReadVisible()), "");
}

TEST_F(SeasonMap, ASheetOfThreeSeasonsDrawsWinterAsSolidWhiteCells) {
  WriteTiles(27);
  auto before = Background(4);
  WritePixels(g_backSurface, *before);

  DrawBattleMap(BattleMapLayout, 3);

  auto visible = ReadVisible();
  auto expected = WithMap(*before, BattleMapLayout, 3);  // past the end: 255
  EXPECT_EQ(Differences(*expected, *visible), "");
  int x, y;
  FindCellOrigin(47, &x, &y);
  EXPECT_EQ(visible->at[y][x], 255);
  EXPECT_EQ(visible->at[y + 31][x + 41], 255);

  // The three seasons the sheet holds are complete.
  WritePixels(g_backSurface, *before);
  DrawBattleMap(BattleMapLayout, 2);
  EXPECT_EQ(Differences(*WithMap(*before, BattleMapLayout, 2), *ReadVisible()), "");
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

TEST_F(SeasonMap, AMissingTileSheetIsALoadFailure) {
  dir_.Remove("WarTiles.pix");
  EXPECT_EXIT(DrawBattleMap(BattleMapLayout, 1), ::testing::ExitedWithCode(1),
              "cannot open image sheet \"WarTiles.pix\"");
  EXPECT_TRUE(dir_.Entries().empty());
}

// --- The bounded flip ----------------------------------------------------------

TEST_F(SeasonMap, AFlipThatKeepsFailingGivesUpWithinItsBound) {
  for (HRESULT failure : {DDERR_SURFACELOST, DDERR_WASSTILLDRAWING, DDERR_GENERIC}) {
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
    EXPECT_EQ(CountCalls("IDirectDraw7::RestoreAllSurfaces") > 0, failure == DDERR_SURFACELOST);
    pxh::ClearFaults();
  }
}

TEST_F(SeasonMap, AFlipThatRecoversShowsTheBackBuffer) {
  pxh::InjectFault("IDirectDrawSurface7::Flip", DDERR_SURFACELOST, 3);
  pxh::ClearCallLog();

  EXPECT_EQ(FlipToFront(), 1);

  EXPECT_EQ(CountCalls("IDirectDrawSurface7::Flip"), 4);
  EXPECT_EQ(CountCalls("IDirectDraw7::RestoreAllSurfaces"), 3);
}

}  // namespace
