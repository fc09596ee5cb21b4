// The SDL backend's picture placement, scaling and cursor arrow (the palette
// and the pitch are checked end to end in backend_test).
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/portable/backends/sdl_view.h"

namespace {

using pxport::FitPicture;
using pxport::Viewport;

TEST(FitPicture, WholeScalesWhereTheyFillThreeQuartersOfTheHeightElseASharpFit) {
  struct Case {
    int w, h;
    const char* choice;  // PIXSHOW_SCALE
    Viewport v;          // scale 0: resampled
  } cases[] = {
      {1366, 768, nullptr, {0, 171, 0, 1024, 768}},  // 1x fills 62 %: fit
      {1280, 720, "auto", {0, 160, 0, 960, 720}},
      {1920, 1080, "auto", {2, 320, 60, 1280, 960}},
      {800, 600, "auto", {1, 80, 60, 640, 480}},
      {1280, 1024, "bogus", {2, 0, 32, 1280, 960}},
      {320, 240, "auto", {0, 0, 0, 320, 240}},  // smaller than the picture: shrunk
      {1366, 768, "integer", {1, 363, 144, 640, 480}},
      {2560, 1440, "integer", {3, 320, 0, 1920, 1440}},
      {1279, 959, "integer", {1, 319, 239, 640, 480}},   // one pixel short of twice the picture
      {320, 200, "integer", {1, -160, -140, 640, 480}},  // smaller: the overhang centred
      {0, 0, "integer", {1, -320, -240, 640, 480}},      // degenerate: no division by zero
      {1280, 1024, "fit", {2, 0, 32, 1280, 960}},
      {1920, 1080, "fit", {0, 240, 0, 1440, 1080}},
      {1000, 1500, "fit", {0, 0, 375, 1000, 750}},
      {1366, 768, "stretch", {0, 0, 0, 1366, 768}},
      {1366, 768, "3", {3, -277, -336, 1920, 1440}},
      {1366, 768, "17", {0, 171, 0, 1024, 768}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " " << (c.choice ? c.choice : "-"));
    Viewport v = FitPicture(c.w, c.h, 640, 480, pxport::ParseScaleChoice(c.choice));
    EXPECT_EQ(std::vector<int>({v.scale, v.x, v.y, v.w, v.h}),
              std::vector<int>({c.v.scale, c.v.x, c.v.y, c.v.w, c.v.h}));
  }
  EXPECT_EQ(FitPicture(1920, 1080, 0, 0).scale, 1);
}

TEST(CursorArrow, ClippedAtEveryScreenEdgeWithoutWritingOutside) {
  // Output with guard rows and columns around the 640 x 480 picture.
  const int pitch = 660, guard = 10;
  const uint32_t bg = 0xff123456u;
  int full = 0;
  for (int r = 0; r < pxport::kArrowHeight; ++r)
    for (int c = 0; c < pxport::kArrowWidth; ++c) full += pxport::ArrowCell(c, r) != 0;
  struct Pos {
    int x, y, drawn;  // -1: some but not all
  } positions[] = {{635, 200, -1}, {200, 470, -1}, {639, 479, -1}, {0, 0, full},
                   {-5, -5, -1},   {-20, 100, 0},  {700, 500, 0},  {628, 461, full}};
  for (const Pos& p : positions) {
    SCOPED_TRACE(testing::Message() << p.x << "," << p.y);
    std::vector<uint32_t> buf(pitch * (480 + 2 * guard), bg);
    uint32_t* origin = buf.data() + guard * pitch;
    pxport::DrawArrow(origin, pitch, 640, 480, p.x, p.y);
    int drawn = 0;
    for (int y = -guard; y < 480 + guard; ++y)
      for (int x = 0; x < pitch; ++x) {
        bool changed = origin[y * pitch + x] != bg;
        ASSERT_FALSE(changed && (y < 0 || y >= 480 || x >= 640)) << "outside at " << x << "," << y;
        drawn += changed;
      }
    EXPECT_TRUE(p.drawn >= 0 ? drawn == p.drawn : drawn > 0 && drawn < full) << drawn;
  }
}

TEST(ScalePicture, EachPixelBecomesABlockAtTheViewportClippedToTheArea) {
  // A 10 x 8 picture whose pixel (x, y) is 1000 * y + x, into a 9 x 6 area
  // with pitch 12 and a spare row: nothing outside the area may change.
  const int w = 10, h = 8;
  std::vector<uint32_t> src(w * h);
  for (int i = 0; i < w * h; ++i) src[i] = 1000u * (i / w) + i % w;
  for (Viewport v :
       {Viewport{1, 2, 1, w, h}, Viewport{2, 1, 2, 2 * w, 2 * h}, Viewport{3, 0, 0, 3 * w, 3 * h},
        Viewport{2, -3, -5, 2 * w, 2 * h}, Viewport{1, 50, 0, w, h}}) {
    SCOPED_TRACE(testing::Message() << v.scale << " at " << v.x << "," << v.y);
    std::vector<uint32_t> dst(12 * 7, 0xdeadu);
    pxport::ScalePicture(src.data(), w, w, h, dst.data(), 12, 9, 6, v);
    for (int y = 0; y < 7; ++y)
      for (int x = 0; x < 12; ++x) {
        bool inside = x < 9 && y < 6 && x >= v.x && x < v.x + v.w && y >= v.y && y < v.y + v.h;
        uint32_t want = inside ? 1000u * ((y - v.y) / v.scale) + (x - v.x) / v.scale : 0xdeadu;
        ASSERT_EQ(dst[y * 12 + x], want) << x << "," << y;
      }
  }
}

}  // namespace

// A remembered window on a 1366 x 768 screen with a 28-point panel at the top.
TEST(PlaceWindow, ARememberedWindowFitsTheUsableAreaWithItsTitleBarOnIt) {
  struct Case {
    int w, h, largestW, largestH;
    pxport::WindowPlace place;
  } cases[] = {
      {1000, 600, 1366, 768, {183, 114, 1000, 600, false, false}},
      {1366, 768, 1366, 768, {363, 174, 640, 480, true, false}},    // the whole screen: fitted
      {3840, 2160, 3840, 2160, {363, 174, 640, 480, true, false}},  // a 4K monitor's, elsewhere
      {3840, 2160, 1366, 768, {363, 174, 640, 480, false, true}},   // no display that large
  };
  for (const Case& c : cases) {
    const pxport::WindowPlace p =
        pxport::PlaceWindow(c.w, c.h, 0, 28, 1366, 740, 32, c.largestW, c.largestH);
    EXPECT_EQ(std::vector<int>({p.x, p.y, p.w, p.h, p.fitted, p.refused}),
              std::vector<int>(
                  {c.place.x, c.place.y, c.place.w, c.place.h, c.place.fitted, c.place.refused}))
        << c.w << "x" << c.h;
  }
}
