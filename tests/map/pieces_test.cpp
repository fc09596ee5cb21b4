// Pieces and cell borders on the headless display: solid pieces, transparent
// borders, the label anchor, and cells or modes that must draw nothing.
#include <gtest/gtest.h>

#include <climits>

#include "map/map.h"
#include "map_support.h"

namespace {

using namespace maptest;

const long ImageBytes = 42 * 32;

class PiecesAndBorders : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    dir_.WriteFile("Pieces.pix", MakeSheet(maptest::Pieces, ImageBytes, 5));
    dir_.WriteFile("Borders.pix", MakeBorderSheet(3));
    ASSERT_TRUE(StartDevices());
    front_ = Background(20);
    back_ = Background(21);
    WritePixels(g_primarySurface, *front_);
    WritePixels(g_backSurface, *back_);
    pxh::ClearCallLog();
  }
  void TearDown() override {
    ShutdownDevices();
    EXPECT_TRUE(pxh::MisuseReport().empty()) << pxh::MisuseReport().front();
  }

  // Nothing on either surface changed and no surface was locked or flipped.
  void ExpectNothingDrawn() {
    EXPECT_EQ(Differences(*front_, *ReadVisible()), "");
    EXPECT_EQ(Differences(*back_, *ReadPixels(g_backSurface)), "");
    EXPECT_EQ(CountCalls("IDirectDrawSurface7::Lock"), 0);
    EXPECT_EQ(CountCalls("IDirectDrawSurface7::Flip"), 0);
  }

  ScratchDirectory dir_;
  std::unique_ptr<Pixels> front_, back_;
};

TEST_F(PiecesAndBorders, APieceReplacesItsWholeCellOnTheVisibleSurface) {
  auto expected = std::make_unique<Pixels>(*front_);
  const int placements[][2] = {{3, 39}, {0, 32}, {4, 60}, {2, 67}, {1, 54},
                               {0, 1},  {1, 14}, {2, 15}, {3, 84}, {4, 0}};
  for (const auto& placement : placements) {
    int image = placement[0], cell = placement[1];
    int x, y;
    FindCellOrigin(cell, &x, &y);
    PlaceAtCell(image, cell, 1);
    PutSheetImage(*expected, maptest::Pieces, 5 * ImageBytes, image, 42, 32, 32, x, y);
    EXPECT_EQ(g_labelX, x + 9) << "cell " << cell;
    EXPECT_EQ(g_labelY, y + 14) << "cell " << cell;
  }
  EXPECT_EQ(Differences(*expected, *ReadVisible()), "");
  EXPECT_EQ(Differences(*back_, *ReadPixels(g_backSurface)), "");
  EXPECT_EQ(CountCalls("IDirectDrawSurface7::Lock@primary"), 10);
  EXPECT_EQ(CountCalls("IDirectDrawSurface7::Unlock@primary"), 10);
  EXPECT_EQ(CountCalls("IDirectDrawSurface7::Flip"), 0);
}

TEST_F(PiecesAndBorders, CellZeroDrawsAtTheTopLeftCorner) {
  PlaceAtCell(2, 0, 1);
  auto expected = std::make_unique<Pixels>(*front_);
  PutSheetImage(*expected, maptest::Pieces, 5 * ImageBytes, 2, 42, 32, 32, 0, 0);
  EXPECT_EQ(Differences(*expected, *ReadVisible()), "");
  EXPECT_EQ(g_labelX, 9);
  EXPECT_EQ(g_labelY, 14);
}

TEST_F(PiecesAndBorders, ABorderLeavesThePixelsWhereItsByteIsZero) {
  PlaceAtCell(1, 54, 2);
  PlaceAtCell(0, 54, 2);

  // Border 1 then border 0: where border 0 is transparent, border 1 stays;
  // where both are, the picture below stays.
  auto expected = std::make_unique<Pixels>(*front_);
  PutBorder(*expected, 3 * ImageBytes, 1, 361, 154);
  PutBorder(*expected, 3 * ImageBytes, 0, 361, 154);
  auto visible = ReadVisible();
  EXPECT_EQ(Differences(*expected, *visible), "");
  EXPECT_EQ(visible->at[154 + 20][361 + 5], BorderByte(1, 20, 5));  // border 1 under a hole of 0
  EXPECT_EQ(visible->at[154 + 5][361 + 5], front_->at[154 + 5][361 + 5]);  // holes in both
  EXPECT_EQ(g_labelX, 370);
  EXPECT_EQ(g_labelY, 168);
}

TEST_F(PiecesAndBorders, AnAllZeroBorderChangesNothing) {
  PlaceAtCell(2, 39, 2);
  EXPECT_EQ(Differences(*front_, *ReadVisible()), "");
  EXPECT_EQ(CountCalls("IDirectDrawSurface7::Lock@primary"), 1);
}

TEST_F(PiecesAndBorders, AnImagePastTheEndOfItsSheetIsASolidWhiteBlock) {
  PlaceAtCell(5, 39, 1);  // Pieces.pix holds 5 images
  PlaceAtCell(3, 53, 2);  // Borders.pix holds 3
  auto visible = ReadVisible();
  for (int cell : {39, 53}) {
    int x, y;
    FindCellOrigin(cell, &x, &y);
    for (int row = 0; row < 32; row++) {
      for (int column = 0; column < 42; column++) {
        ASSERT_EQ(visible->at[y + row][x + column], 255) << "cell " << cell;
      }
    }
  }
}

TEST_F(PiecesAndBorders, AShortSheetDrawsWhatItHoldsThenWhite) {
  std::vector<uint8_t> bytes = MakeSheet(maptest::Pieces, ImageBytes, 5);
  bytes.resize(ImageBytes + 500);  // image 1 cut short
  dir_.WriteFile("Pieces.pix", bytes);
  PlaceAtCell(1, 28, 1);
  auto expected = std::make_unique<Pixels>(*front_);
  PutSheetImage(*expected, maptest::Pieces, ImageBytes + 500, 1, 42, 32, 32, 529, 90);
  EXPECT_EQ(Differences(*expected, *ReadVisible()), "");
}

TEST_F(PiecesAndBorders, TheLabelAnchorIsTheOriginPlusNineAndFourteen) {
  for (int cell = 0; cell <= MapCellCount; cell++) {
    int x, y;
    FindCellOrigin(cell, &x, &y);
    PlaceAtCell(0, cell, 0);
    EXPECT_EQ(g_labelX, x + 9) << "cell " << cell;
    EXPECT_EQ(g_labelY, y + 14) << "cell " << cell;
  }
  const int worked[][3] = {{32, 328, 120}, {39, 286, 136}, {53, 286, 168}, {54, 370, 168},
                           {60, 328, 184}, {67, 286, 200}, {14, 538, 72},  {15, 76, 88}};
  for (const auto& w : worked) {
    PlaceAtCell(0, w[0], 7);
    EXPECT_EQ(g_labelX, w[1]);
    EXPECT_EQ(g_labelY, w[2]);
  }
}

// The checks below remove the sheets first: a routine that opened one anyway
// would end the process with status 1, so each runs in a child process that
// must end with status 0.
TEST_F(PiecesAndBorders, OtherModesMoveTheAnchorAndOpenLockAndDrawNothing) {
  dir_.Remove("Pieces.pix");
  dir_.Remove("Borders.pix");
  EXPECT_EXIT(
      {
        for (int mode : {0, 3, -1, INT_MAX}) {
          PlaceAtCell(1, 39, mode);
        }
        ExpectNothingDrawn();
        bool ok = !::testing::Test::HasFailure() && g_labelX == 286 && g_labelY == 136;
        std::exit(ok ? 0 : 3);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_TRUE(dir_.Entries().empty());
}

TEST_F(PiecesAndBorders, CellsOutsideTheMapDoNothingAtAll) {
  dir_.Remove("Pieces.pix");
  dir_.Remove("Borders.pix");
  EXPECT_EXIT(
      {
        PlaceAtCell(0, 39, 0);  // anchor at (286, 136)
        for (int cell : {-1, -14, 85, 98, 1000, INT_MIN, INT_MAX}) {
          PlaceAtCell(0, cell, 1);
          PlaceAtCell(1, cell, 2);
          PlaceAtCell(1, cell, 0);
        }
        ExpectNothingDrawn();
        bool ok = !::testing::Test::HasFailure() && g_labelX == 286 && g_labelY == 136;
        std::exit(ok ? 0 : 3);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_TRUE(dir_.Entries().empty());
}

TEST_F(PiecesAndBorders, AFailedLockOpensAndDrawsNothingButTheAnchorMoves) {
  dir_.Remove("Pieces.pix");
  dir_.Remove("Borders.pix");
  EXPECT_EXIT(
      {
        pxh::InjectFault("IDirectDrawSurface7::Lock@primary", DDERR_SURFACELOST, 2);
        PlaceAtCell(0, 60, 1);
        PlaceAtCell(1, 67, 2);
        bool ok = g_labelX == 286 && g_labelY == 200 &&
                  Differences(*front_, *ReadVisible()).empty() &&
                  CountCalls("IDirectDrawSurface7::Unlock") == 0;
        std::exit(ok ? 0 : 3);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_TRUE(dir_.Entries().empty());
}

TEST_F(PiecesAndBorders, AMissingSheetIsALoadFailure) {
  dir_.Remove("Pieces.pix");
  EXPECT_EXIT(PlaceAtCell(0, 39, 1), ::testing::ExitedWithCode(1),
              "cannot open image sheet \"Pieces.pix\"");
  dir_.Remove("Borders.pix");
  EXPECT_EXIT(PlaceAtCell(0, 39, 2), ::testing::ExitedWithCode(1),
              "cannot open image sheet \"Borders.pix\"");
  EXPECT_TRUE(dir_.Entries().empty());
}

}  // namespace
