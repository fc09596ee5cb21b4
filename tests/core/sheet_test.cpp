// Image sheets: what is drawn where, short and odd sheets, failed locks and
// sheets that cannot be opened.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "devices/devices.h"
#include "raster/raster.h"
#include "tests/core/core_support.h"

namespace {

using coretest::Pixels;
using coretest::ScratchDirectory;
using coretest::SheetByte;

const uint8_t Background = 7;

class Sheets : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(coretest::StartProgram());
    coretest::FillPixels(g_primarySurface, Background);
    coretest::FillPixels(g_backSurface, Background);
  }
  void TearDown() override {
    ShutdownDevices();
    std::vector<std::string> misuse = pxh::MisuseReport();
    EXPECT_TRUE(misuse.empty()) << ::testing::PrintToString(misuse);
  }

  // Every pixel outside the w x h block at (x, y) still holds the background.
  static void ExpectUntouchedOutside(const Pixels& pixels, int x, int y, int w, int h) {
    int touched = 0;
    for (int row = 0; row < 480; row++)
      for (int column = 0; column < 640; column++) {
        bool inside = column >= x && column < x + w && row >= y && row < y + h;
        if (!inside && pixels.at[row][column] != Background) touched++;
      }
    EXPECT_EQ(touched, 0);
  }

  ScratchDirectory dir_;
};

TEST_F(Sheets, PortraitAndButtonAreDrawnByteForByteOnTheVisibleSurface) {
  dir_.WriteFile("ports.pix", coretest::MakeSheet(82, 62, 20));
  dir_.WriteFile("button.pix", coretest::MakeSheet(45, 12, 2));

  EXPECT_EQ(DrawPortrait(13, 40, 50), 1);
  EXPECT_EQ(DrawContinueButton(1, 540, 435), 1);
  Pixels screen = coretest::ReadVisible();
  for (int row = 0; row < 62; row++)
    for (int column = 0; column < 82; column++)
      ASSERT_EQ(screen.at[50 + row][40 + column], SheetByte(13, row, column))
          << row << "," << column;
  for (int row = 0; row < 12; row++)
    for (int column = 0; column < 45; column++)
      ASSERT_EQ(screen.at[435 + row][540 + column], SheetByte(1, row, column));
  // The back buffer is not touched.
  EXPECT_EQ(coretest::ReadPixels(g_backSurface).at[60][60], Background);
  // No file is created or changed.
  EXPECT_EQ(dir_.Entries().size(), 2u);
}

TEST_F(Sheets, BytesPastTheEndOfASheetAreIndex255) {
  // 100 bytes: the first 100 pixels of image 0 are stored, the rest are not.
  std::vector<uint8_t> shortSheet = coretest::MakeSheet(82, 62, 1);
  shortSheet.resize(100);
  dir_.WriteFile("ports.pix", shortSheet);

  DrawPortrait(0, 0, 100);
  DrawPortrait(7, 200, 100);  // wholly beyond the end
  Pixels screen = coretest::ReadVisible();
  for (int i = 0; i < 82 * 62; i++) {
    int row = i / 82, column = i % 82;
    uint8_t expected = i < 100 ? SheetByte(0, row, column) : 255;
    ASSERT_EQ(screen.at[100 + row][column], expected) << i;
    ASSERT_EQ(screen.at[100 + row][200 + column], 255) << i;
  }

  // An empty sheet gives a block of 255 too.
  dir_.WriteFile("button.pix", {});
  EXPECT_EQ(DrawContinueButton(0, 540, 435), 1);
  screen = coretest::ReadVisible();
  EXPECT_EQ(screen.at[435][540], 255);
  EXPECT_EQ(screen.at[446][584], 255);
  EXPECT_EQ(screen.at[447][584], Background);
}

TEST_F(Sheets, EveryByteValueIsDrawnAsStored) {
  // 540 bytes: every value twice and then some; 0, 10, 13 and 26 included.
  std::vector<uint8_t> bytes;
  for (int i = 0; i < 540; i++) bytes.push_back(static_cast<uint8_t>(i));
  dir_.WriteFile("button.pix", bytes);
  DrawContinueButton(0, 300, 300);
  Pixels screen = coretest::ReadVisible();
  for (int i = 0; i < 540; i++) ASSERT_EQ(screen.at[300 + i / 45][300 + i % 45], i % 256) << i;
  EXPECT_EQ(screen.at[300][300], 0);
  ExpectUntouchedOutside(screen, 300, 300, 45, 12);
}

TEST_F(Sheets, RowsFollowThePitchUpToTheScreensRightEdge) {
  ASSERT_GT(pxh::SurfacePitch(), 640);
  dir_.WriteFile("ports.pix", coretest::MakeSheet(82, 62, 1));
  DrawPortrait(0, 640 - 82, 480 - 62);
  Pixels screen = coretest::ReadVisible();
  for (int row = 0; row < 62; row++)
    for (int column = 0; column < 82; column++)
      ASSERT_EQ(screen.at[418 + row][558 + column], SheetByte(0, row, column));
  ExpectUntouchedOutside(screen, 558, 418, 82, 62);
}

TEST_F(Sheets, TransparentImagesLeaveIndexZeroPixelsAlone) {
  std::vector<uint8_t> bytes(42 * 32, 0);
  bytes[0] = 9;
  bytes[42 * 32 - 1] = 10;
  dir_.WriteFile("Borders.pix", bytes);
  EXPECT_EQ(DrawSheetImage(g_primarySurface, "Borders.pix", 42, 32, 0, 100, 100, 1), 1);
  Pixels screen = coretest::ReadVisible();
  EXPECT_EQ(screen.at[100][100], 9);
  EXPECT_EQ(screen.at[131][141], 10);
  ExpectUntouchedOutside(screen, 100, 100, 42, 32);
  EXPECT_EQ(screen.at[110][110], Background);
}

TEST_F(Sheets, StatIconsGoIntoTheLockedBackBuffer) {
  dir_.WriteFile("Divadude.pix", coretest::MakeSheet(82, 62, 9));
  ASSERT_FALSE(FAILED(g_backSurface->Lock(NULL, &g_surfaceDesc, DDLOCK_WAIT, NULL)));
  DrawStatIcons();
  ASSERT_FALSE(FAILED(g_backSurface->Unlock(NULL)));

  Pixels back = coretest::ReadPixels(g_backSurface);
  const int columns[3] = {104, 242, 380};
  const int rows[3] = {112, 184, 256};
  for (int c = 0; c < 3; c++) {
    for (int r = 0; r < 3; r++) {
      int icon = c * 3 + r + 1;
      int height = r == 2 ? 38 : 62;
      SCOPED_TRACE(icon);
      for (int row = 0; row < 62; row++)
        for (int column = 0; column < 82; column++) {
          uint8_t expected = row < height ? SheetByte(icon - 1, row, column) : Background;
          ASSERT_EQ(back.at[rows[r] + row][columns[c] + column], expected) << row << "," << column;
        }
    }
  }
  EXPECT_EQ(coretest::ReadVisible().at[120][120], Background);
  EXPECT_EQ(coretest::CountCalls("IDirectDrawSurface7::Lock"), 1);
}

TEST_F(Sheets, ShortStatIconLeavesItsLowerRowsUntouched) {
  dir_.WriteFile("Divadude.pix", coretest::MakeSheet(82, 62, 9));
  ASSERT_FALSE(FAILED(g_primarySurface->Lock(NULL, &g_surfaceDesc, DDLOCK_WAIT, NULL)));
  DrawStatIconShort(5, 10, 10);
  g_primarySurface->Unlock(NULL);
  Pixels screen = coretest::ReadVisible();
  for (int column = 0; column < 82; column++) {
    EXPECT_EQ(screen.at[10 + 37][10 + column], SheetByte(4, 37, column));
    for (int row = 38; row < 62; row++) ASSERT_EQ(screen.at[10 + row][10 + column], Background);
  }
  ExpectUntouchedOutside(screen, 10, 10, 82, 38);
}

TEST_F(Sheets, AFailedLockOpensNothingAndDrawsNothing) {
  pxh::InjectFault("IDirectDrawSurface7::Lock@primary", DDERR_SURFACELOST, 2);
  EXPECT_EQ(DrawPortrait(0, 40, 50), 0);  // no ports.pix: it would be a load failure
  EXPECT_EQ(DrawContinueButton(0, 540, 435), 0);
  EXPECT_TRUE(dir_.Entries().empty());
  ExpectUntouchedOutside(coretest::ReadVisible(), 0, 0, 0, 0);
  EXPECT_EQ(coretest::CountCalls("IDirectDrawSurface7::Unlock"), 0);
}

TEST_F(Sheets, AFailedUnlockIsReported) {
  dir_.WriteFile("button.pix", coretest::MakeSheet(45, 12, 1));
  pxh::InjectFault("IDirectDrawSurface7::Unlock@primary", DDERR_GENERIC, 1);
  EXPECT_EQ(DrawContinueButton(0, 540, 435), 0);
  EXPECT_EQ(coretest::ReadVisible().at[435][540], SheetByte(0, 0, 0));
}

TEST_F(Sheets, AReadOnlySheetIsDrawn) {
  dir_.WriteFile("ports.pix", coretest::MakeSheet(82, 62, 1));
  ASSERT_EQ(chmod((dir_.path() + "/ports.pix").c_str(), 0444), 0);
  EXPECT_EQ(DrawPortrait(0, 40, 50), 1);
  EXPECT_EQ(coretest::ReadVisible().at[50][40], SheetByte(0, 0, 0));
}

// --- Sheets that cannot be opened ------------------------------------------

// Runs in the dying child: at the 2-second hold, tells whether the message
// stands on the visible screen; at exit, whether the display was put back.
void WatchLoadFailure() {
  pxh::OnHold([](const pxh::Hold& hold) {
    if (hold.kind != pxh::HoldKind::Pause || hold.pauseMs != 2000) return;
    static pxh::Screen screen;
    if (!pxh::ReadScreen(screen)) return;
    int white = 0, black = 0;
    for (int row = 430; row < 450; row++)
      for (int column = 30; column < 130; column++) {
        const PALETTEENTRY& colour = screen.palette[screen.pixels[row][column]];
        if (colour.peRed == 255 && colour.peGreen == 255 && colour.peBlue == 255) white++;
        if (colour.peRed == 0 && colour.peGreen == 0 && colour.peBlue == 0) black++;
      }
    if (white > 20 && black > 20) std::fprintf(stderr, "[message shown]\n");
  });
  std::atexit([] {
    if (!pxh::DisplayModeSet() && pxh::MisuseReport().empty()) {
      std::fprintf(stderr, "[display restored]\n");
    }
  });
}

const char* const ShownAndRestored = "\\[message shown\\].*\\[display restored\\]";

TEST_F(Sheets, MissingPortraitSheetIsALoadFailure) {
  EXPECT_EXIT(
      {
        WatchLoadFailure();
        DrawPortrait(0, 40, 50);
      },
      ::testing::ExitedWithCode(1),
      "pixshow: cannot open image sheet \"ports.pix\": No such file or directory");
  EXPECT_EXIT(
      {
        WatchLoadFailure();
        DrawPortrait(0, 40, 50);
      },
      ::testing::ExitedWithCode(1), ShownAndRestored);
  EXPECT_TRUE(dir_.Entries().empty());
}

TEST_F(Sheets, MissingButtonSheetIsALoadFailure) {
  EXPECT_EXIT(
      {
        WatchLoadFailure();
        DrawContinueButton(0, 540, 435);
      },
      ::testing::ExitedWithCode(1),
      "cannot open image sheet \"button.pix\": No such file or directory.*"
      "\\[display restored\\]");
  EXPECT_EXIT(
      {
        WatchLoadFailure();
        DrawContinueButton(0, 540, 435);
      },
      ::testing::ExitedWithCode(1), ShownAndRestored);
  EXPECT_TRUE(dir_.Entries().empty());
}

TEST_F(Sheets, MissingStatIconSheetReleasesTheCallersLock) {
  EXPECT_EXIT(
      {
        WatchLoadFailure();
        g_backSurface->Lock(NULL, &g_surfaceDesc, DDLOCK_WAIT, NULL);
        DrawStatIcons();
      },
      ::testing::ExitedWithCode(1), ShownAndRestored);
  EXPECT_EXIT(
      {
        g_backSurface->Lock(NULL, &g_surfaceDesc, DDLOCK_WAIT, NULL);
        DrawStatIcon(1, 104, 112);
      },
      ::testing::ExitedWithCode(1), "\"Divadude.pix\": No such file or directory");
  EXPECT_TRUE(dir_.Entries().empty());
}

TEST_F(Sheets, ADirectoryNamedLikeASheetIsALoadFailure) {
  ASSERT_EQ(mkdir((dir_.path() + "/ports.pix").c_str(), 0700), 0);
  EXPECT_EXIT(
      {
        WatchLoadFailure();
        DrawPortrait(0, 40, 50);
      },
      ::testing::ExitedWithCode(1), "\\[message shown\\].*\"ports.pix\": Is a directory");
}

TEST_F(Sheets, AnUnreadableSheetIsALoadFailure) {
  dir_.WriteFile("button.pix", coretest::MakeSheet(45, 12, 1));
  ASSERT_EQ(chmod((dir_.path() + "/button.pix").c_str(), 0), 0);
  FILE* probe = std::fopen("button.pix", "rb");
  if (probe != NULL) {
    std::fclose(probe);
    GTEST_SKIP() << "running with rights that read any file";
  }
  EXPECT_EXIT(DrawContinueButton(0, 540, 435), ::testing::ExitedWithCode(1),
              "\"button.pix\": Permission denied");
}

}  // namespace
