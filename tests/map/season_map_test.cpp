// The map when drawing fails or goes nowhere: cells off the map, a lock
// refused. No sheet is in the folder: a routine that opened one anyway would
// end the process. (What the maps, pieces and borders show is pinned by the
// golden pictures in tests/show.)
#include <gtest/gtest.h>

#include <climits>

#include "devices/devices.h"
#include "map/map.h"
#include "tests/support/world.h"

namespace {

using namespace pxtest;

class MapDrawing : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(StartProgram());
    WritePixels(g_primarySurface, *front_);
    WritePixels(g_backSurface, *back_);
    pxh::ClearCallLog();
  }
  void TearDown() override {
    ShutdownDevices();
    ExpectCleanEnd();
  }
  void ExpectNothingDrawn() {
    EXPECT_EQ(Differences(*front_, *ReadVisible()), "");
    EXPECT_EQ(Differences(*back_, *ReadPixels(g_backSurface)), "");
    EXPECT_EQ(CountCalls("IDirectDrawSurface7::Unlock"), 0);
    EXPECT_TRUE(dir_.Entries().empty());
  }

  ScratchDirectory dir_;
  std::unique_ptr<Pixels> front_ = Background(5), back_ = Background(6);
};

TEST_F(MapDrawing, CellsOffTheMapAndFailedLocksOpenAndDrawNothing) {
  for (int cell : {-1, -14, 85, 98, 1000, INT_MIN, INT_MAX}) {
    PlaceAtCell(0, cell, PlacePiece);
    PlaceAtCell(0, cell, PlaceBorder);
  }
  EXPECT_EQ(CountCalls("IDirectDrawSurface7::Lock"), 0);
  pxh::InjectFault("IDirectDrawSurface7::Lock@primary", DDERR_SURFACELOST, 2);
  PlaceAtCell(0, 60, PlacePiece);
  PlaceAtCell(1, 67, PlaceBorder);
  pxh::InjectFault("IDirectDrawSurface7::Lock@back", DDERR_SURFACELOST, 1);
  DrawBattleMap(BattleMapLayout, Summer);
  EXPECT_EQ(CountCalls("IDirectDrawSurface7::Flip"), 0);
  ExpectNothingDrawn();
}

}  // namespace
