// Image sheets: what is drawn where, short and odd sheets, failed locks and
// sheets that cannot be opened; captions, and panels without a device context.
// (Every image, caption and panel in its place on the eight screens is checked
// by the golden pictures in tests/show; borders' transparency in tests/map.)
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "devices/devices.h"
#include "raster/raster.h"
#include "shell/shell.h"
#include "tests/support/world.h"

namespace {

using namespace pxtest;

const uint8_t Grey = 7;  // grey (204, 204, 204) in the set-up palette

class Sheets : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(StartProgram());
    FillPixels(g_primarySurface, Grey);
    FillPixels(g_backSurface, Grey);
  }
  void TearDown() override {
    ShutdownDevices();
    ExpectCleanEnd();
  }

  static void ExpectUntouchedOutside(const Pixels& pixels, int x, int y, int w, int h) {
    int touched = 0;
    for (int row = 0; row < H; row++)
      for (int column = 0; column < W; column++) {
        bool inside = column >= x && column < x + w && row >= y && row < y + h;
        touched += !inside && pixels.at[row][column] != Grey;
      }
    EXPECT_EQ(touched, 0);
  }
  static int Count(uint8_t index, int x0, int y0, int x1, int y1) {
    auto screen = ReadVisible();
    int count = 0;
    for (int y = y0; y < y1; y++)
      for (int x = x0; x < x1; x++) count += screen->at[y][x] == index;
    return count;
  }

  ScratchDirectory dir_;
};
using Text = Sheets;

TEST_F(Sheets, ShortReadOnlySheetsDrawWhatTheyHoldThenIndex255OnTheVisibleSurfaceOnly) {
  // 100 bytes: the first 100 pixels of image 0 are stored, the rest are not.
  dir_.WriteFile("ports.pix", MakeSheet(Ports, 100, 1));
  ASSERT_EQ(chmod("ports.pix", 0444), 0);

  EXPECT_EQ(DrawPortrait(0, 0, 100), 1);
  EXPECT_EQ(DrawPortrait(7, 200, 100), 1);  // wholly beyond the end
  auto screen = ReadVisible();
  for (int i = 0; i < 82 * 62; i++) {
    int row = i / 82, column = i % 82;
    ASSERT_EQ(screen->at[100 + row][column], i < 100 ? SheetByte(Ports, i) : 255) << i;
    ASSERT_EQ(screen->at[100 + row][200 + column], 255) << i;
  }
  EXPECT_EQ(ReadPixels(g_backSurface)->at[120][20], Grey);
  EXPECT_EQ(dir_.Entries().size(), 1u);  // nothing created
}

TEST_F(Sheets, EveryByteValueIsDrawnAsStored) {
  // 540 bytes: every value twice and then some; 0, 10, 13 and 26 included.
  std::vector<uint8_t> bytes;
  for (int i = 0; i < 540; i++) bytes.push_back(static_cast<uint8_t>(i));
  dir_.WriteFile("button.pix", bytes);
  EXPECT_EQ(DrawContinueButton(0, 300, 300), 1);
  auto screen = ReadVisible();
  for (int i = 0; i < 540; i++) ASSERT_EQ(screen->at[300 + i / 45][300 + i % 45], i % 256) << i;
  ExpectUntouchedOutside(*screen, 300, 300, 45, 12);
}

TEST_F(Sheets, AFailedLockOpensNothingAndAFailedUnlockIsReported) {
  pxh::InjectFault("IDirectDrawSurface7::Lock@primary", DDERR_SURFACELOST, 2);
  EXPECT_EQ(DrawPortrait(0, 40, 50), 0);  // no ports.pix: opening it would end the process
  EXPECT_EQ(DrawContinueButton(0, 540, 435), 0);
  EXPECT_TRUE(dir_.Entries().empty());
  ExpectUntouchedOutside(*ReadVisible(), 0, 0, 0, 0);
  EXPECT_EQ(CountCalls("IDirectDrawSurface7::Unlock"), 0);

  dir_.WriteFile("button.pix", MakeSheet(Button, 45 * 12, 1));
  pxh::InjectFault("IDirectDrawSurface7::Unlock@primary", DDERR_GENERIC, 1);
  EXPECT_EQ(DrawContinueButton(0, 540, 435), 0);
  EXPECT_EQ(ReadVisible()->at[435][540], SheetByte(Button, 0));
}

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
        white += colour.peRed == 255 && colour.peGreen == 255 && colour.peBlue == 255;
        black += colour.peRed == 0 && colour.peGreen == 0 && colour.peBlue == 0;
      }
    if (white > 20 && black > 20) std::fprintf(stderr, "[message shown]\n");
  });
  std::atexit([] {
    if (!pxh::DisplayModeSet() && pxh::MisuseReport().empty())
      std::fprintf(stderr, "[display restored]\n");
  });
}

TEST_F(Sheets, ASheetThatCannotBeOpenedShowsTheMessageAndEndsWithStatusOne) {
  struct Case {
    const char* sheet;
    const char* why;
    std::function<void()> draw;
    std::function<void()> make;  // puts something other than a sheet in its place
  };
  const auto drawIcons = [] {
    g_backSurface->Lock(NULL, &g_surfaceDesc, DDLOCK_WAIT, NULL);
    DrawStatIcons();
  };
  // Every sheet missing, and a named pipe, end to end: tests/tools/capture.
  const Case cases[] = {
      // The caller's lock is released before the message is drawn.
      {"Divadude.pix", "No such file or directory", drawIcons, nullptr},
      {"ports.pix", "Is a directory", [] { DrawPortrait(0, 40, 50); },
       [] { mkdir("ports.pix", 0700); }},
      // Not waited on: an endless device.
      {"Divadude.pix", "not a regular file", drawIcons,
       [] { symlink("/dev/zero", "Divadude.pix"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.sheet) + ": " + c.why);
    if (c.make) c.make();
    std::string said = std::string("\\[message shown\\].*pixshow: cannot open image sheet \"") +
                       c.sheet + "\": " + c.why + ".*\\[display restored\\]";
    EXPECT_EXIT(
        {
          alarm(120);  // a sheet that is waited on ends the child as a failure
          WatchLoadFailure();
          c.draw();
        },
        ::testing::ExitedWithCode(1), said);
  }
  EXPECT_EQ(dir_.Entries(), (std::vector<std::string>{"Divadude.pix", "ports.pix"}));
}

// As --watch draws again while a named pipe is renamed over a sheet, now and
// then for a moment: whenever the drawing meets the pipe it is refused, never
// waited on (looking at the name, then opening it, would wait there at times).
TEST_F(Sheets, APipeRenamedOverASheetWhileItIsDrawnAgainIsRefusedNeverWaitedOn) {
  std::FILE* sheet = std::fopen("ports.pix", "wb");
  std::fputs("portrait bytes", sheet);
  std::fclose(sheet);
  ASSERT_EQ(link("ports.pix", "kept"), 0);
  for (int run = 0; run < 8; run++) {
    SCOPED_TRACE(run);
    EXPECT_EXIT(
        {
          alarm(20);  // waited on: the child ends as a failure
          std::thread([] {
            for (;;) {
              mkfifo("pipe.tmp", 0600);
              std::rename("pipe.tmp", "ports.pix");
              link("kept", "sheet.tmp");
              std::rename("sheet.tmp", "ports.pix");
              usleep(100);
            }
          }).detach();
          for (;;) DrawPortrait(0, 40, 50);
        },
        ::testing::ExitedWithCode(1), "cannot open image sheet \"ports.pix\": not a regular file");
  }
}

TEST_F(Text, OpaqueTextBlackensItsCellsTransparentTextOnlyItsGlyphsEmptyTextNothing) {
  EXPECT_EQ(DrawTextOpaque("Image Display", 260, 20, 0xffffff, g_primarySurface), 1);
  EXPECT_EQ(DrawTextTransparent("Image Display", 260, 260, 0xffffff, g_primarySurface), 1);
  EXPECT_EQ(DrawTextOpaque("", 100, 100, 0xffffff, g_primarySurface), 1);
  EXPECT_EQ(DrawTextTransparent("", 100, 100, 0xffffff, g_primarySurface), 1);
  // White is index 15, black 0; the text stands right of and below its corner.
  EXPECT_GT(Count(15, 260, 20, 640, 240), 30);
  EXPECT_GT(Count(0, 260, 20, 640, 240), 30);
  EXPECT_GT(Count(15, 260, 260, 640, 480), 30);
  EXPECT_EQ(Count(0, 0, 240, 640, 480), 0);
  EXPECT_EQ(
      Count(Grey, 0, 0, 640, 480) + Count(15, 260, 20, 640, 480) + Count(0, 260, 20, 640, 240),
      640 * 480);
}

TEST_F(Text, NoDeviceContextMeansNothingDrawn) {
  pxh::InjectFault("IDirectDrawSurface7::GetDC", DDERR_SURFACEBUSY, 3);
  EXPECT_EQ(DrawTextOpaque("Gold", 140, 119, 0xffffff, g_primarySurface), 0);
  EXPECT_EQ(DrawTextTransparent("100", 286, 136, 0xffffff, g_primarySurface), 0);
  ClearPanel(PicturePanel);
  EXPECT_EQ(Count(Grey, 0, 0, 640, 480), 640 * 480);
}

// With --watch, a sheet missing for a moment (an editor writing it again) is
// waited for at the folder's changes, two seconds at most, then it fails.
TEST_F(Sheets, WhileWatchedAMissingSheetIsWaitedForTwoSecondsAtMost) {
  g_watchSheets = 1;
  const uint64_t start = pxh::NowMs();
  pxh::At(start + 300, [] { WriteBytes("ports.pix", MakeSheet(Ports, 82 * 62, 1)); });
  EXPECT_EQ(DrawPortrait(0, 40, 50), 1);
  EXPECT_EQ(pxh::NowMs() - start, 300u);
  EXPECT_EQ(CountCalls("WaitForSingleObject"), 1) << "woken by the change, not polling";
  std::remove("ports.pix");
  EXPECT_EXIT(
      {
        alarm(120);
        pxh::OnHold([start = pxh::NowMs()](const pxh::Hold& hold) {
          std::fprintf(stderr, "[%d ms]\n", static_cast<int>(hold.atMs - start));
        });
        DrawPortrait(0, 40, 50);
      },
      ::testing::ExitedWithCode(1), "\\[2000 ms\\].*\"ports.pix\": No such file");
  g_watchSheets = 0;
}

}  // namespace
