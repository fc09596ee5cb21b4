// The SDL backend's picture placement, palette conversion and cursor arrow.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/portable/backends/sdl_view.h"

namespace {

using pxport::ConvertFrame;
using pxport::FitPicture;
using pxport::Viewport;

TEST(FitPicture, LargestWholeFactorCentredOnCommonScreensAtLeastOneOnSmallerOnes) {
  struct Case {
    int w, h, scale, x, y;
  } cases[] = {
      {1920, 1080, 2, 320, 60},  // height limits: 3 x 480 = 1440 > 1080
      {1280, 1024, 2, 0, 32},    {640, 480, 1, 0, 0},       {2560, 1440, 3, 320, 0},
      {3840, 2160, 4, 640, 120}, {1279, 959, 1, 319, 239},   // one pixel short of twice the picture
      {800, 600, 1, 80, 60},     {320, 200, 1, -160, -140},  // smaller: the overhang centred
  };
  for (const Case& c : cases) {
    Viewport v = FitPicture(c.w, c.h, 640, 480);
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
    EXPECT_EQ(v.scale, c.scale);
    EXPECT_EQ(v.w * 1000 + v.h, (640 * 1000 + 480) * c.scale);
    EXPECT_EQ(v.x, c.x);
    EXPECT_EQ(v.y, c.y);
  }
  // An odd overhang: the picture's middle stays within a pixel of the host's.
  Viewport odd = FitPicture(639, 479, 640, 480);
  EXPECT_EQ(odd.scale, 1);
  EXPECT_TRUE(odd.x == 0 || odd.x == -1) << odd.x;
  // Degenerate host sizes do not divide by zero or go below factor 1.
  EXPECT_EQ(FitPicture(0, 0, 640, 480).scale, 1);
  EXPECT_EQ(FitPicture(1920, 1080, 0, 0).scale, 1);
}

// A frame over a 640 x 480 buffer of indices with a pitch wider than a row.
struct TestFrame {
  static constexpr int kPitch = 704;
  std::vector<uint8_t> pixels = std::vector<uint8_t>(kPitch * 480, 0);
  pxport::Frame frame{};
  TestFrame() {
    frame.pixels = pixels.data();
    frame.pitch = kPitch;
    frame.width = 640;
    frame.height = 480;
    for (int i = 0; i < 256; ++i)
      frame.palette[i] = PALETTEENTRY{static_cast<BYTE>(i), static_cast<BYTE>(255 - i),
                                      static_cast<BYTE>(i / 2), 0};
  }
  uint8_t& At(int x, int y) { return pixels[y * kPitch + x]; }
};

uint32_t Expected(int i) {
  return 0xff000000u | uint32_t(i) << 16 | uint32_t(255 - i) << 8 | uint32_t(i / 2);
}

TEST(ConvertFrame, EveryIndexGoesThroughThePaletteRowByRowHonouringPitchNoSurfaceIsBlack) {
  TestFrame t;
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) t.At(x, y) = static_cast<uint8_t>(x * 7 + y * 3);
  // Bytes past the row end (inside the pitch) must never be shown.
  for (int y = 0; y < 480; ++y) std::memset(&t.pixels[y * TestFrame::kPitch + 640], 0xAB, 64);
  std::vector<uint32_t> out(800 * 480, 0x12345678u);
  ConvertFrame(t.frame, out.data(), 800);
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x)
      ASSERT_EQ(out[y * 800 + x], Expected(static_cast<uint8_t>(x * 7 + y * 3))) << x << "," << y;
  // Past the picture's width the output row is left alone.
  EXPECT_EQ(out[800 * 10 + 700], 0x12345678u);
  // No surface shows black.
  t.frame.pixels = nullptr;
  ConvertFrame(t.frame, out.data(), 800);
  for (int y = 0; y < 480; ++y) ASSERT_EQ(out[y * 800 + 639 - y], 0xff000000u);
}

TEST(CursorArrow, ClippedAtEveryScreenEdgeWithoutWritingOutside) {
  // Output with guard rows and columns around the 640 x 480 picture: pitch
  // 660 and 10 spare rows above and below. Nothing may land in the guards.
  const int pitch = 660, guard = 10;
  int full = 0;
  {
    std::vector<uint32_t> out(640 * 480, 0xff123456u);
    pxport::DrawArrow(out.data(), 640, 640, 480, 100, 100);
    full = 640 * 480 - static_cast<int>(std::count(out.begin(), out.end(), 0xff123456u));
  }
  struct Pos {
    int x, y;
    bool partial;
  } positions[] = {{635, 200, true}, {200, 470, true},  {639, 479, true},  {0, 0, false},
                   {-5, -5, true},   {-20, 100, false}, {700, 500, false}, {628, 461, false}};
  for (const Pos& p : positions) {
    SCOPED_TRACE(testing::Message() << p.x << "," << p.y);
    std::vector<uint32_t> buf(pitch * (480 + 2 * guard), 0xff123456u);
    uint32_t* origin = buf.data() + guard * pitch;
    pxport::DrawArrow(origin, pitch, 640, 480, p.x, p.y);
    int drawn = 0;
    for (int y = -guard; y < 480 + guard; ++y)
      for (int x = 0; x < pitch; ++x) {
        bool changed = origin[y * pitch + x] != 0xff123456u;
        if (y < 0 || y >= 480 || x >= 640) {
          ASSERT_FALSE(changed) << "outside at " << x << "," << y;
        }
        drawn += changed;
      }
    if (p.partial) {
      EXPECT_GT(drawn, 0);
      EXPECT_LT(drawn, full);
    } else if (p.x >= 0 && p.y >= 0 && p.x < 640 && p.y < 480) {
      EXPECT_EQ(drawn, full);
    } else {
      EXPECT_EQ(drawn, 0);
    }
  }
}

// A small picture whose pixel at (x, y) is 1000 * y + x.
std::vector<uint32_t> Numbered(int w, int h) {
  std::vector<uint32_t> p(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) p[y * w + x] = 1000u * y + x;
  return p;
}

TEST(ScalePicture, EachPixelBecomesAScaleByScaleBlockAtTheViewportOnly) {
  const int w = 5, h = 3;
  std::vector<uint32_t> src = Numbered(w, h);
  for (int k : {1, 2, 3}) {
    SCOPED_TRACE(k);
    const int dw = 24, dh = 14;
    pxport::Viewport v{k, 2, 1, w * k, h * k};  // any factor, placed at (2, 1)
    std::vector<uint32_t> dst(dw * dh, 0xdeadu);
    pxport::ScalePicture(src.data(), w, w, h, dst.data(), dw, dw, dh, v);
    for (int y = 0; y < dh; ++y)
      for (int x = 0; x < dw; ++x) {
        bool inside = x >= 2 && x < 2 + w * k && y >= 1 && y < 1 + h * k;
        uint32_t want = inside ? 1000u * ((y - 1) / k) + (x - 2) / k : 0xdeadu;
        ASSERT_EQ(dst[y * dw + x], want) << x << "," << y;
      }
  }
}

TEST(ScalePicture, AnAreaSmallerThanThePictureShowsItsMiddleWithoutOverrun) {
  const int w = 10, h = 8;
  std::vector<uint32_t> src = Numbered(w, h);
  // Factor 2 at (-3, -5) into 9 x 6 with a pitch of 12: the guard column
  // beyond 9 and everything past the last row must stay untouched.
  pxport::Viewport v{2, -3, -5, w * 2, h * 2};
  std::vector<uint32_t> dst(12 * 7, 0xdeadu);
  pxport::ScalePicture(src.data(), w, w, h, dst.data(), 12, 9, 6, v);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 12; ++x) {
      uint32_t want = (x < 9 && y < 6) ? 1000u * ((y + 5) / 2) + (x + 3) / 2 : 0xdeadu;
      ASSERT_EQ(dst[y * 12 + x], want) << x << "," << y;
    }
  // Entirely outside: nothing written.
  std::vector<uint32_t> none(12 * 7, 0xdeadu);
  pxport::ScalePicture(src.data(), w, w, h, none.data(), 12, 9, 6,
                       pxport::Viewport{1, 50, 0, w, h});
  for (uint32_t p : none) ASSERT_EQ(p, 0xdeadu);
}

}  // namespace
