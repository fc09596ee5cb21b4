// Pieces and cell borders on the headless display: solid pieces, transparent
// borders, the label anchor, and cells or modes that must draw nothing.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>

#include "devices/devices.h"
#include "map/map.h"
#include "tests/support/world.h"

namespace {

using namespace pxtest;

const long ImageBytes = 42 * 32;

class PiecesAndBorders : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.WriteFile("Pieces.pix", MakeSheet(Pieces, ImageBytes, 5));
    dir_.WriteFile("Borders.pix", MakeBorderSheet(3));
    ASSERT_TRUE(StartProgram());
    front_ = Background(20);
    back_ = Background(21);
    WritePixels(g_primarySurface, *front_);
    WritePixels(g_backSurface, *back_);
    pxh::ClearCallLog();
  }
  void TearDown() override {
    ShutdownDevices();
    ExpectCleanEnd();
  }

  ScratchDirectory dir_;
  std::unique_ptr<Pixels> front_, back_;
};

TEST_F(PiecesAndBorders, APieceReplacesItsWholeCellOnTheVisibleSurfaceAndSetsTheAnchor) {
  auto expected = std::make_unique<Pixels>(*front_);
  const int placements[][2] = {{3, 39}, {0, 32}, {4, 60}, {2, 67}, {1, 54}, {0, 1}, {1, 14}, {2, 15}, {3, 84},
                               {4, 0},  {5, 28}};  // image 5 is past the end of the sheet: all 255
  for (const auto& placement : placements) {
    int image = placement[0], cell = placement[1];
    int x, y;
    FindCellOrigin(cell, &x, &y);
    PlaceAtCell(image, cell, 1);
    PutSheetImage(*expected, Pieces, 5 * ImageBytes, image, 42, 32, 32, x, y);
    EXPECT_EQ(g_labelX, x + 9) << "cell " << cell;
    EXPECT_EQ(g_labelY, y + 14) << "cell " << cell;
  }
  EXPECT_EQ(Differences(*expected, *ReadVisible()), "");
  EXPECT_EQ(Differences(*back_, *ReadPixels(g_backSurface)), "");
  EXPECT_EQ(CountCalls("IDirectDrawSurface7::Lock@primary"), 11);
  EXPECT_EQ(CountCalls("IDirectDrawSurface7::Unlock@primary"), 11);
  EXPECT_EQ(CountCalls("IDirectDrawSurface7::Flip"), 0);
}

TEST_F(PiecesAndBorders, ABorderLeavesThePixelsWhereItsByteIsZero) {
  PlaceAtCell(1, 54, 2);
  PlaceAtCell(0, 54, 2);
  PlaceAtCell(2, 39, 2);  // all zero: changes nothing
  PlaceAtCell(3, 53, 2);  // past the end of the sheet: a solid block of 255

  // Border 1 then border 0: where border 0 is transparent, border 1 stays;
  // where both are, the picture below stays.
  auto expected = std::make_unique<Pixels>(*front_);
  PutBorder(*expected, 3 * ImageBytes, 1, 361, 154);
  PutBorder(*expected, 3 * ImageBytes, 0, 361, 154);
  PutBorder(*expected, 3 * ImageBytes, 3, 277, 154);
  EXPECT_EQ(Differences(*expected, *ReadVisible()), "");
  EXPECT_EQ(expected->at[154 + 20][361 + 5], BorderByte(1, 20, 5));  // the case is in the picture
  EXPECT_EQ(expected->at[154][277], 255);
  EXPECT_EQ(g_labelX, 286);
  EXPECT_EQ(g_labelY, 168);
}

TEST_F(PiecesAndBorders, EveryAnchorIsTheOriginPlusNineAndFourteen) {
  for (int cell = 0; cell <= MapCellCount; cell++) {
    int x, y;
    FindCellOrigin(cell, &x, &y);
    PlaceAtCell(0, cell, 0);
    EXPECT_EQ(g_labelX, x + 9) << "cell " << cell;
    EXPECT_EQ(g_labelY, y + 14) << "cell " << cell;
  }
}

// The sheets are removed first: a routine that opened one anyway would end
// the process with status 1, so the checks run in a child that must end
// with status 0.
TEST_F(PiecesAndBorders, OtherModesCellsOffTheMapAndFailedLocksOpenAndDrawNothing) {
  dir_.Remove("Pieces.pix");
  dir_.Remove("Borders.pix");
  EXPECT_EXIT(
      {
        bool ok = true;
        for (int mode : {0, 3, -1, INT_MAX}) PlaceAtCell(1, 39, mode);
        ok = ok && g_labelX == 286 && g_labelY == 136;  // the anchor moves
        for (int cell : {-1, -14, 85, 98, 1000, INT_MIN, INT_MAX}) {
          for (int mode : {0, 1, 2}) PlaceAtCell(0, cell, mode);
        }
        ok = ok && g_labelX == 286 && g_labelY == 136 && CountCalls("IDirectDrawSurface7::Lock") == 0;
        pxh::InjectFault("IDirectDrawSurface7::Lock@primary", DDERR_SURFACELOST, 2);
        PlaceAtCell(0, 60, 1);
        PlaceAtCell(1, 67, 2);
        ok = ok && g_labelX == 286 && g_labelY == 200 && CountCalls("IDirectDrawSurface7::Unlock") == 0 &&
             CountCalls("IDirectDrawSurface7::Flip") == 0 && Differences(*front_, *ReadVisible()).empty() &&
             Differences(*back_, *ReadPixels(g_backSurface)).empty();
        std::exit(ok ? 0 : 3);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_TRUE(dir_.Entries().empty());
}

}  // namespace
