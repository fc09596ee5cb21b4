// GDI on a surface's device context: rectangles with pen and brush, the text
// on show, and the discipline of selecting and deleting objects. (Text, colours and clipping
// as the program meets them are pinned by the golden pictures in tests/show,
// the answers Windows gives by tests/probe.)
#include "tests/support/layer.h"

namespace {

using namespace pxtest;

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

  HDC dc = nullptr;
};

TEST_F(GdiTest, RectangleOutlinesAndFillsExcludingRightAndBottomClippedToTheSurface) {
  DrawRectangle(50, 370, 520, 470, RGB(255, 0, 0), RGB(255, 255, 255));
  DrawRectangle(-30, -30, 10, 10, RGB(0, 0, 0), RGB(0, 0, 0));
  DrawRectangle(600, 37, 670, 100, RGB(0, 0, 0), RGB(0, 0, 0));
  Indices p;
  ASSERT_TRUE(pxh::ReadSurface(primary, p));
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) {
      const bool outline = x >= 50 && x < 520 && y >= 370 && y < 470 &&
                           (x == 50 || x == 519 || y == 370 || y == 469);
      const bool inside = x > 50 && x < 519 && y > 370 && y < 469;
      const bool black = (x < 10 && y < 10) || (x >= 600 && y >= 37 && y < 100);
      ASSERT_EQ(p[y][x], outline ? 4 : inside ? 15 : black ? 0 : 2) << "at " << x << "," << y;
    }
}

// What the web page tells screen readers: the lines still on show as drawn, in the order drawn.
TEST_F(GdiTest, TextOnScreenIsTheLinesLeftAsDrawnInOrderAndGoesWithItsSurface) {
  auto shown = [] {
    std::string all;
    for (const pxport::TextShown& line : pxport::TextOnScreen())
      all += std::to_string(line.x) + "," + std::to_string(line.y) + " " + line.text + ";";
    return all;
  };
  TextOutA(dc, 50, 380, "first", 5);
  TextOutA(dc, 50, 400, "second", 6);
  TextOutA(dc, -20, 20, "title\0hidden", 12);
  TextOutA(dc, 52, 382, "again", 5);       // over the first
  DrawRectangle(40, 405, 300, 420, 0, 0);  // over part of the second
  EXPECT_EQ(shown(), "-20,20 title;52,382 again;");
  primary->ReleaseDC(dc);
  dc = nullptr;
  ASSERT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
  EXPECT_EQ(shown(), "");
  ASSERT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
  EXPECT_EQ(shown(), "-20,20 title;52,382 again;");
}

TEST_F(GdiTest, SelectedObjectsGoWhenDeselectedAndLeaksAreReported) {
  HPEN pen = CreatePen(PS_SOLID, 1, 0);
  HGDIOBJ oldPen = SelectObject(dc, pen);
  EXPECT_TRUE(DeleteObject(pen));  // misuse, yet Windows says yes
  EXPECT_TRUE(Contains(pxh::MisuseReport(), "still selected"));
  EXPECT_TRUE(Rectangle(dc, 0, 0, 4, 4));  // the pen still draws
  EXPECT_EQ(SelectObject(dc, oldPen), pen);
  EXPECT_FALSE(DeleteObject(pen));  // gone with its deselection
  pen = CreatePen(PS_SOLID, 1, 0);
  oldPen = SelectObject(dc, pen);
  SelectObject(dc, oldPen);
  EXPECT_TRUE(DeleteObject(pen));
  EXPECT_FALSE(DeleteObject(pen));
  // A context released with the program's brush selected; a brush never deleted.
  HBRUSH brush = CreateSolidBrush(RGB(255, 0, 0));
  SelectObject(dc, brush);
  EXPECT_EQ(primary->ReleaseDC(dc), DD_OK);
  dc = nullptr;
  HBRUSH leaked = CreateSolidBrush(0);
  auto report = pxh::MisuseReport();
  EXPECT_TRUE(Contains(report, "brush of the program still selected")) << Joined(report);
  EXPECT_TRUE(Contains(report, "GDI brush")) << Joined(report);
  EXPECT_TRUE(DeleteObject(brush));  // the context is gone, so the brush is free
  EXPECT_TRUE(DeleteObject(leaked));
  // Deleted while selected, it goes with the context.
  ASSERT_EQ(primary->GetDC(&dc), DD_OK);
  brush = CreateSolidBrush(0);
  SelectObject(dc, brush);
  EXPECT_TRUE(DeleteObject(brush));
  EXPECT_EQ(primary->ReleaseDC(dc), DD_OK);
  dc = nullptr;
  EXPECT_FALSE(DeleteObject(brush));
  EXPECT_EQ(SetTextColor(reinterpret_cast<HDC>(0x1234), 0), CLR_INVALID);
  pxh::Reset();  // the refusals above are expected; start the teardown check afresh
  OpenDisplay();
  ASSERT_EQ(primary->GetDC(&dc), DD_OK);
}

}  // namespace
