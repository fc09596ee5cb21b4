// GDI on a surface's device context: rectangles with pen and brush, text in
// opaque and transparent mode, colours mapped to the palette in force, and
// the discipline of selecting and deleting objects.
#include "layer_fixture.h"

namespace layertest {
namespace {

class GdiTest : public LayerTest {
 protected:
  void SetUp() override {
    LayerTest::SetUp();
    OpenDisplay();
    Fill(primary, 2);
    ASSERT_EQ(primary->GetDC(&dc), DD_OK);
  }
  void TearDown() override {
    if (dc != nullptr) primary->ReleaseDC(dc);
    CloseDisplay();
    EXPECT_EQ(pxh::MisuseReport(), std::vector<std::string>{});
  }

  // Draws one rectangle with a new pen and brush, restoring the DC after.
  void DrawRectangle(int l, int t, int r, int b, COLORREF penColour, COLORREF brushColour) {
    HPEN pen = CreatePen(PS_SOLID, 1, penColour);
    HBRUSH brush = CreateSolidBrush(brushColour);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    EXPECT_TRUE(Rectangle(dc, l, t, r, b));
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    EXPECT_TRUE(DeleteObject(pen));
    EXPECT_TRUE(DeleteObject(brush));
  }

  // Bounding box of the pixels that differ from `background` in a region.
  struct Box {
    int left = 10000, top = 10000, right = -1, bottom = -1;
  };
  Box Changed(const Pixels& pixels, uint8_t background) {
    Box box;
    for (int y = 0; y < 480; ++y) {
      for (int x = 0; x < 640; ++x) {
        if (pixels[y][x] == background) continue;
        box.left = std::min(box.left, x);
        box.top = std::min(box.top, y);
        box.right = std::max(box.right, x);
        box.bottom = std::max(box.bottom, y);
      }
    }
    return box;
  }

  HDC dc = nullptr;
};

TEST_F(GdiTest, RectangleFillsInteriorOutlinesEdgesAndExcludesRightAndBottom) {
  DrawRectangle(50, 370, 520, 470, RGB(255, 0, 0), RGB(255, 255, 255));
  Pixels p;
  ASSERT_TRUE(pxh::ReadSurface(primary, p));
  EXPECT_EQ(p[370][50], 4);    // outline in the pen's colour
  EXPECT_EQ(p[469][519], 4);   // last row and column inside
  EXPECT_EQ(p[400][50], 4);
  EXPECT_EQ(p[371][51], 15);   // interior in the brush's colour
  EXPECT_EQ(p[468][518], 15);
  EXPECT_EQ(p[470][519], 2);   // bottom edge excluded
  EXPECT_EQ(p[469][520], 2);   // right edge excluded
  EXPECT_EQ(p[369][50], 2);
  EXPECT_EQ(p[370][49], 2);
}

TEST_F(GdiTest, RectangleIsClippedToTheSurface) {
  DrawRectangle(20, 37, 670, 370, RGB(0, 0, 0), RGB(0, 0, 0));
  DrawRectangle(-30, -30, 10, 10, RGB(0, 0, 0), RGB(0, 0, 0));
  DrawRectangle(700, 500, 800, 600, RGB(0, 0, 0), RGB(0, 0, 0));
  Pixels p;
  ASSERT_TRUE(pxh::ReadSurface(primary, p));
  for (int y = 0; y < 480; ++y) {
    for (int x = 0; x < 640; ++x) {
      const bool panel = x >= 20 && y >= 37 && y < 370;
      const bool corner = x < 10 && y < 10;
      ASSERT_EQ(p[y][x], (panel || corner) ? 0 : 2) << "at " << x << "," << y;
    }
  }
}

TEST_F(GdiTest, WithoutAPenTheFillLosesItsLastRowAndColumn) {
  HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
  HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(BLACK_BRUSH));
  EXPECT_TRUE(Rectangle(dc, 10, 10, 20, 20));
  SelectObject(dc, oldPen);
  SelectObject(dc, oldBrush);
  Pixels p;
  ASSERT_TRUE(pxh::ReadSurface(primary, p));
  EXPECT_EQ(p[10][10], 0);
  EXPECT_EQ(p[18][18], 0);
  EXPECT_EQ(p[19][18], 2);
  EXPECT_EQ(p[18][19], 2);
}

TEST_F(GdiTest, OpaqueTextFillsItsCellsAtTheGivenCorner) {
  SetTextColor(dc, 0xffffff);
  SetBkColor(dc, 0);
  SetBkMode(dc, OPAQUE);
  ASSERT_TRUE(TextOutA(dc, 30, 430, "Load Failure", 12));
  Pixels p;
  ASSERT_TRUE(pxh::ReadSurface(primary, p));
  const Box box = Changed(p, 2);
  EXPECT_EQ(box.left, 30);
  EXPECT_EQ(box.top, 430);
  EXPECT_EQ(box.bottom - box.top + 1, 16);  // one 16-pixel line
  EXPECT_GT(box.right - box.left, 60);
  EXPECT_LT(box.right - box.left, 130);
  int ink = 0, paper = 0;
  for (int y = box.top; y <= box.bottom; ++y) {
    for (int x = box.left; x <= box.right; ++x) {
      ASSERT_TRUE(p[y][x] == 15 || p[y][x] == 0) << int(p[y][x]) << " at " << x << "," << y;
      (p[y][x] == 15 ? ink : paper)++;
    }
  }
  EXPECT_GT(ink, 100);
  EXPECT_GT(paper, ink);
}

TEST_F(GdiTest, TransparentTextChangesOnlyGlyphPixels) {
  SetTextColor(dc, 255);  // red
  SetBkColor(dc, 0);
  SetBkMode(dc, TRANSPARENT);
  ASSERT_TRUE(TextOutA(dc, 200, 100, "Chain Lightening", 16));
  Pixels p;
  ASSERT_TRUE(pxh::ReadSurface(primary, p));
  const Box box = Changed(p, 2);
  EXPECT_GE(box.left, 200);
  EXPECT_LE(box.left, 202);
  EXPECT_GE(box.top, 100);
  EXPECT_LT(box.bottom, 116);
  int ink = 0;
  for (int y = 0; y < 480; ++y) {
    for (int x = 0; x < 640; ++x) {
      if (p[y][x] == 2) continue;
      ASSERT_EQ(p[y][x], 4) << "at " << x << "," << y;
      ++ink;
    }
  }
  EXPECT_GT(ink, 100);
}

TEST_F(GdiTest, DefaultStateIsBlackOnWhiteOpaque) {
  ASSERT_TRUE(TextOutA(dc, 0, 0, "Ab", 2));
  Pixels p;
  ASSERT_TRUE(pxh::ReadSurface(primary, p));
  EXPECT_EQ(p[0][0], 15);  // background cell, white
  bool black = false;
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 20; ++x) black = black || p[y][x] == 0;
  }
  EXPECT_TRUE(black);
}

TEST_F(GdiTest, TextIsClippedAndEmptyTextDrawsNothing) {
  ASSERT_TRUE(TextOutA(dc, 600, 470, "Clipped text", 12));
  ASSERT_TRUE(TextOutA(dc, -20, -8, "Clipped text", 12));
  Pixels p;
  ASSERT_TRUE(pxh::ReadSurface(primary, p));
  EXPECT_NE(p[479][600], 2);
  EXPECT_NE(p[0][0], 2);
  EXPECT_EQ(p[240][320], 2);

  Pixels before;
  std::memcpy(before, p, sizeof p);
  EXPECT_TRUE(TextOutA(dc, 100, 100, "", 0));
  ASSERT_TRUE(pxh::ReadSurface(primary, p));
  EXPECT_EQ(std::memcmp(before, p, sizeof p), 0);
}

TEST_F(GdiTest, ColoursMapToTheNearestEntryOfThePaletteInForce) {
  DrawRectangle(0, 0, 4, 4, RGB(255, 0, 0), RGB(255, 255, 255));    // red, white
  DrawRectangle(10, 0, 14, 4, RGB(250, 10, 5), RGB(10, 10, 100));   // nearly red
  Pixels p;
  ASSERT_TRUE(pxh::ReadSurface(primary, p));
  EXPECT_EQ(p[0][0], 4);
  EXPECT_EQ(p[1][1], 15);  // the lowest of the white entries
  EXPECT_EQ(p[0][10], 4);

  // The mapping follows the palette in force when drawing.
  PALETTEENTRY green{0, 255, 0, PC_NOCOLLAPSE};
  ASSERT_EQ(palette->SetEntries(0, 7, 1, &green), DD_OK);
  DrawRectangle(20, 0, 24, 4, RGB(0, 250, 0), RGB(0, 250, 0));
  ASSERT_TRUE(pxh::ReadSurface(primary, p));
  EXPECT_EQ(p[0][20], 7);
}

TEST_F(GdiTest, DrawingLandsInTheSurfaceWhoseContextItIs) {
  HDC backDc = NULL;
  Fill(back, 2);
  ASSERT_EQ(back->GetDC(&backDc), DD_OK);
  SetTextColor(backDc, 0xffffff);
  SetBkColor(backDc, 0);
  ASSERT_TRUE(TextOutA(backDc, 100, 200, "Back", 4));
  ASSERT_EQ(back->ReleaseDC(backDc), DD_OK);
  pxh::Screen screen;
  ASSERT_TRUE(pxh::ReadScreen(screen));
  EXPECT_EQ(screen.pixels[200][100], 2);  // not on the visible surface yet
  primary->ReleaseDC(dc);
  dc = nullptr;
  ASSERT_EQ(primary->Flip(NULL, DDFLIP_WAIT), DD_OK);
  ASSERT_TRUE(pxh::ReadScreen(screen));
  EXPECT_EQ(screen.pixels[200][100], 0);  // the opaque cell, after the flip
  ASSERT_EQ(primary->GetDC(&dc), DD_OK);

  // A window's paint context draws nowhere.
  PAINTSTRUCT ps;
  HDC windowDc = BeginPaint(window, &ps);
  ASSERT_NE(windowDc, nullptr);
  EXPECT_TRUE(TextOutA(windowDc, 0, 0, "nothing", 7));
  EXPECT_TRUE(Rectangle(windowDc, 0, 0, 640, 480));
  EndPaint(window, &ps);
  Pixels p;
  ASSERT_TRUE(pxh::ReadSurface(back, p));
  EXPECT_EQ(p[0][0], 2);
}

TEST_F(GdiTest, ReleasingAContextWithTheProgramsObjectsSelectedIsReported) {
  HBRUSH brush = CreateSolidBrush(RGB(255, 0, 0));
  SelectObject(dc, brush);
  EXPECT_EQ(primary->ReleaseDC(dc), DD_OK);
  dc = nullptr;
  EXPECT_TRUE(Contains(pxh::MisuseReport(), "brush of the program still selected"));
  EXPECT_TRUE(DeleteObject(brush));  // the context is gone, so the brush is free
  EXPECT_EQ(SelectObject(reinterpret_cast<HDC>(0x42), GetStockObject(BLACK_PEN)), nullptr);
  pxh::Reset();
  OpenDisplay();
  ASSERT_EQ(primary->GetDC(&dc), DD_OK);
}

TEST_F(GdiTest, SelectedObjectsCannotBeDeletedAndLeaksAreReported) {
  HPEN pen = CreatePen(PS_SOLID, 1, 0);
  HGDIOBJ oldPen = SelectObject(dc, pen);
  EXPECT_EQ(oldPen, GetStockObject(BLACK_PEN));
  EXPECT_FALSE(DeleteObject(pen));
  auto report = pxh::MisuseReport();
  EXPECT_TRUE(Contains(report, "still selected")) << Joined(report);
  EXPECT_EQ(SelectObject(dc, oldPen), pen);
  EXPECT_TRUE(DeleteObject(pen));
  EXPECT_FALSE(DeleteObject(pen));

  HBRUSH leaked = CreateSolidBrush(0);
  report = pxh::MisuseReport();
  EXPECT_TRUE(Contains(report, "GDI brush")) << Joined(report);
  EXPECT_TRUE(DeleteObject(leaked));
  EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_BRUSH)));  // harmless on stock objects

  // Device contexts are per surface and ReleaseDC hands the DC back.
  EXPECT_EQ(SetTextColor(reinterpret_cast<HDC>(0x1234), 0), CLR_INVALID);
  pxh::Reset();  // the refusals above are expected; start the teardown check afresh
  OpenDisplay();
  ASSERT_EQ(primary->GetDC(&dc), DD_OK);
}

}  // namespace
}  // namespace layertest
