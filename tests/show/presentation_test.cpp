// The whole presentation, end to end on the headless display, with synthetic
// sheets whose every byte tells its sheet, image, row and column.
//
// The test builds its own picture of what each screen must show, from the
// positions of the script: both surfaces of the flipping pair, every image,
// caption, panel and flip. The captions' pixels are taken from the text
// routines themselves, drawn once beforehand on a scratch display. At every
// hold point of the run (each pause and the first pass of each wait) the
// visible screen, the palette and the cursor are compared with that picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "shell/shell.h"
#include "devices/devices.h"
#include "map/map.h"
#include "raster/raster.h"
#include "show/show.h"
#include "tests/support/world.h"

namespace {

using namespace pxtest;

const long PortraitBytes = 82 * 62;
const long ButtonBytes = 45 * 12;
const long TileBytes = 42 * 32;

// The whole run takes 15.5 s of pauses on the virtual clock.
const uint64_t StallMs = 120000;

const COLORREF White = 0xffffff;
const COLORREF Red = 255;

// --- Captions as the text routines draw them --------------------------------------

// Draws each caption once on a scratch display over a background that no text
// pixel has, and keeps the pixels that changed: for opaque text the whole
// character cells, for transparent text the glyphs only.
class TextPixels {
 public:
  using Drawn = std::vector<std::pair<int, uint8_t>>;  // offset, index
  const Drawn& Get(const std::string& text, int x, int y, COLORREF colour, bool opaque) {
    Drawn& pixels = cache_[text + "|" + std::to_string(x) + "|" + std::to_string(y) + "|" +
                           std::to_string(colour) + "|" + (opaque ? "o" : "t")];
    if (!pixels.empty()) return pixels;
    const uint8_t sentinel = 77;
    FillPixels(g_primarySurface, sentinel);
    if (opaque) {
      DrawTextOpaque(text.c_str(), x, y, colour, g_primarySurface);
    } else {
      DrawTextTransparent(text.c_str(), x, y, colour, g_primarySurface);
    }
    auto drawn = ReadPixels(g_primarySurface);
    for (int offset = 0; offset < W * H; offset++) {
      uint8_t value = drawn->at[offset / W][offset % W];
      if (value != sentinel) pixels.push_back({offset, value});
    }
    EXPECT_FALSE(pixels.empty()) << "no pixels for \"" << text << "\"";
    return pixels;
  }

 private:
  std::map<std::string, Drawn> cache_;
};

// --- What the screen must show at each hold ------------------------------------------

struct Checkpoint {
  pxh::HoldKind kind;
  uint32_t pauseMs;
  bool cursorShown;
  PALETTEENTRY entry4;
  std::unique_ptr<Pixels> visible;
  std::string what;  // for failure messages
};

class ExpectedRun {
 public:
  explicit ExpectedRun(TextPixels& text) : text_(text) { BuildScript(); }
  std::vector<Checkpoint>& checkpoints() { return checkpoints_; }

 private:
  Pixels& Front() { return *surface_[front_]; }
  Pixels& Back() { return *surface_[1 - front_]; }

  void Text(const std::string& text, int x, int y, COLORREF colour = White, bool opaque = true) {
    for (const auto& pixel : text_.Get(text, x, y, colour, opaque))
      Front().at[pixel.first / W][pixel.first % W] = pixel.second;
  }
  void Title() { Text("Image Display", 260, 20); }
  void Button() { PutSheetImage(Front(), pxtest::Button, ButtonBytes, 0, 45, 12, 12, 540, 435); }
  void Portrait(int image, int x, int y) { PutSheetImage(Front(), Ports, 20 * PortraitBytes, image, 82, 62, 62, x, y); }
  void Clear() {
    for (int y = 37; y < 470; y++)
      for (int x = y < 370 ? 20 : 50; x < (y < 370 ? W : 520); x++) Front().at[y][x] = 0;
  }
  void Map(int season) {
    for (int cell = 1; cell <= MapCellCount; cell++) {
      int x, y;
      FindCellOrigin(cell, &x, &y);
      PutSheetImage(Back(), WarTiles, 36 * TileBytes, season * 9 + BattleMapLayout[cell], 42, 32, 32, x, y);
    }
    front_ = 1 - front_;
  }
  void Piece(int image, int cell, const char* number, int anchorX, int anchorY) {
    int x, y;
    FindCellOrigin(cell, &x, &y);
    PutSheetImage(Front(), pxtest::Pieces, 5 * TileBytes, image, 42, 32, 32, x, y);
    Text(number, anchorX, anchorY, White, false);
  }
  void Border(int image) { PutBorder(Front(), 2 * TileBytes, image, 361, 154); }

  void Hold(pxh::HoldKind kind, uint32_t pauseMs, bool cursorShown, const std::string& what) {
    checkpoints_.push_back({kind, pauseMs, cursorShown, entry4_, std::make_unique<Pixels>(Front()),
                            "screen " + std::to_string(screen_) + ", " + what});
  }
  void Pause(uint32_t ms, const std::string& what) { Hold(pxh::HoldKind::Pause, ms, false, what); }
  // The wait, its closing pause, then the panels cleared for the next screen.
  void Wait(bool clear = true) {
    Hold(pxh::HoldKind::Wait, 0, true, "wait");
    Hold(pxh::HoldKind::Pause, 500, true, "pause after the wait");
    if (clear) Clear();
    screen_++;
  }

  void BuildScript() {
    // Screen 1: portrait gallery, three rows of five with their names.
    Title();
    const int gallery[3][5] = {{0, 1, 3, 5, 6}, {7, 8, 9, 10, 12}, {15, 16, 17, 18, 19}};
    const struct {
      const char* name;
      int x;
    } names[3][5] = {
        {{"Valiant", 60}, {"Angel", 185}, {"Merlin", 300}, {"Death Watch", 400}, {"Golden Sun", 525}},
        {{"The Slasher", 40}, {"Marauder", 170}, {"Fast Rider", 285}, {"Dragon of Zil", 395},
         {"Chain Lightening", 510}},
        {{"Widow Maker", 40}, {"The Rat", 175}, {"Shield of Wan", 275}, {"Night Stalker", 395}, {"Hedgehog", 530}},
    };
    for (int row = 0; row < 3; row++) {
      for (int column = 0; column < 5; column++) Portrait(gallery[row][column], 40 + 120 * column, 50 + 90 * row);
      for (int column = 0; column < 5; column++) Text(names[row][column].name, names[row][column].x, 120 + 90 * row);
    }
    Text("Some sample portraits of my game participants.", 50, 380);
    Text("These are all binary images - even the button.", 50, 410);
    Button();
    Wait();

    // Screen 2: palette entry 4 blue, green, red again.
    Portrait(4, 270, 60);
    Text("Red Sun", 285, 130, Red);
    Pause(2000, "Red Sun");
    entry4_ = {0, 0, 255, PC_NOCOLLAPSE};
    Text("Change a palette entry and he's Blue Sun", 50, 380);
    Pause(2000, "Blue Sun");
    entry4_ = {0, 255, 0, PC_NOCOLLAPSE};
    Text("or Green Sun", 50, 400);
    Pause(2000, "Green Sun");
    entry4_ = {255, 0, 0, PC_NOCOLLAPSE};
    Text("Back to normal.", 50, 420);
    Button();
    Wait();

    // Screen 3: stat icons in the back buffer, flipped to the front.
    const int icons[9][3] = {{104, 112, 62}, {104, 184, 62}, {104, 256, 38},
                             {242, 112, 62}, {242, 184, 62}, {242, 256, 38},
                             {380, 112, 62}, {380, 184, 62}, {380, 256, 38}};
    for (int icon = 0; icon < 9; icon++)
      PutSheetImage(Back(), Divadude, 9 * PortraitBytes, icon, 82, 62, icons[icon][2], icons[icon][0], icons[icon][1]);
    front_ = 1 - front_;
    Title();
    Button();
    const char* captions[3][5] = {{"Gold", "Food", "Metal", "Furs", "Rate"},
                                  {"Heroes", "Men", "Arms", "Skill", "People"},
                                  {"Castles", "Support", "Flood", "Farm", "Wealth"}};
    const int columns[3] = {140, 280, 418};
    const int rows[5] = {119, 155, 190, 226, 263};
    for (int column = 0; column < 3; column++)
      for (int row = 0; row < 5; row++) Text(captions[column][row], columns[column], rows[row]);
    Text("Images for game stats.", 50, 380);
    Wait();

    // Screens 4 to 6: summer, fall, winter.
    Map(1);
    Title();
    Button();
    Text("Part of a battle map made with tiles created", 50, 380);
    Text("with the binary image drawing program.", 50, 400);
    Text("Summer version", 50, 420);
    Wait();
    Map(2);
    Title();
    Button();
    Text("Fall version", 50, 380);
    Wait();
    Map(3);
    Title();
    Button();
    Text("Winter version", 50, 380);
    Wait();

    // Screen 7: spring, six numbered pieces, the blinking turn marker.
    Map(0);
    Title();
    Button();
    Text("Spring version", 50, 380);
    Pause(2000, "Spring version");
    Text("Add some men", 50, 400);
    Piece(3, 39, "100", 286, 136);
    Piece(0, 32, "94", 328, 120);
    Piece(0, 53, "61", 286, 168);
    Piece(4, 60, "98", 328, 184);
    Piece(2, 67, "55", 286, 200);
    Piece(1, 54, "100", 370, 168);
    Text("Whose turn is it?", 50, 420);
    Pause(2000, "pieces placed");
    Border(1);
    Pause(500, "first border 1");
    Border(0);
    Pause(500, "first border 0");
    Border(1);
    Pause(500, "second border 1");
    Border(0);
    Border(1);
    Wait();

    // Screen 8: closing, on the surface of screen 7.
    Text("That's it folks.", 50, 380);
    Text("Thanks for watching.", 50, 400);
    Wait(false);
  }

  TextPixels& text_;
  std::unique_ptr<Pixels> surface_[2] = {std::make_unique<Pixels>(), std::make_unique<Pixels>()};  // all 0
  int front_ = 0;
  int screen_ = 1;
  PALETTEENTRY entry4_ = {255, 0, 0, PC_NOCOLLAPSE};
  std::vector<Checkpoint> checkpoints_;
};

bool SameEntry(const PALETTEENTRY& a, const PALETTEENTRY& b) {
  return a.peRed == b.peRed && a.peGreen == b.peGreen && a.peBlue == b.peBlue && a.peFlags == b.peFlags;
}

// --- The run ---------------------------------------------------------------------

class Presentation : public ::testing::Test {
 protected:
  void SetUp() override { WriteSheets(dir_); }
  void TearDown() override { pxh::OnHold(nullptr); }

  // Every hold of the run, in order, with the screen it belongs to. The
  // pause that closes a wait belongs to the wait's screen.
  struct Seen {
    pxh::Hold hold;
    int screen;
    bool closingPause;
  };

  // Runs the program, clicking the continue button at every wait unless
  // `atWait` decides otherwise (it gets the wait's number, 1..8, and returns
  // whether to click). `atHold` sees every hold first.
  int Run(std::function<void(const pxh::Hold&, int)> atHold = nullptr,
          std::function<bool(int)> atWait = nullptr) {
    ResetProgram();
    if (beforeRun_) beforeRun_();
    seen_.clear();
    waits_ = 0;
    pxh::OnHold([&, atHold, atWait](const pxh::Hold& hold) {
      bool closing = hold.kind == pxh::HoldKind::Pause && !seen_.empty() &&
                     seen_.back().hold.kind == pxh::HoldKind::Wait;
      seen_.push_back({hold, closing ? waits_ : waits_ + 1, closing});
      if (atHold) atHold(hold, static_cast<int>(seen_.size()) - 1);
      if (hold.kind != pxh::HoldKind::Wait) return;
      waits_++;
      if (!atWait || atWait(waits_)) pxh::Click();
    });
    // A run that stalls in a wait ends anyway, as a failure: the virtual
    // clock moves on with every pass of the wait.
    pxh::At(StallMs, [] {
      ADD_FAILURE() << "the run stalled";
      pxh::SetMouseButton(0, true);
    });
    int status = RunProgram();
    pxh::OnHold(nullptr);
    return status;
  }

  ScratchDirectory dir_;
  std::function<void()> beforeRun_;  // runs in the fresh world, before WinMain
  std::vector<Seen> seen_;
  int waits_ = 0;
};

TEST_F(Presentation, EveryHoldShowsWhatTheScriptDrew) {
  // The expected screens, with the captions drawn on a scratch display.
  ASSERT_TRUE(StartProgram());
  TextPixels text;
  ExpectedRun expected(text);
  ShutdownDevices();
  std::vector<Checkpoint>& checkpoints = expected.checkpoints();

  PALETTEENTRY basePalette[256];
  BuildPaletteEntries(basePalette);

  int status = Run([&](const pxh::Hold& hold, int index) {
    if (index >= static_cast<int>(checkpoints.size())) {
      ADD_FAILURE() << "hold " << index << " beyond the script";
      return;
    }
    const Checkpoint& want = checkpoints[index];
    SCOPED_TRACE("hold " + std::to_string(index) + " (" + want.what + ")");
    EXPECT_EQ(hold.kind, want.kind);
    EXPECT_EQ(hold.pauseMs, want.pauseMs);
    EXPECT_EQ(pxh::Cursor().displayCount >= 0, want.cursorShown);

    auto screen = std::make_unique<pxh::Screen>();
    ASSERT_TRUE(pxh::ReadScreen(*screen));
    auto visible = std::make_unique<Pixels>();
    std::memcpy(visible->at, screen->pixels, sizeof(visible->at));
    EXPECT_EQ(Differences(*want.visible, *visible), "");

    EXPECT_TRUE(SameEntry(screen->palette[4], want.entry4))
        << int(screen->palette[4].peRed) << "," << int(screen->palette[4].peGreen) << ","
        << int(screen->palette[4].peBlue);
    for (int i = 0; i < 256; i++)
      ASSERT_TRUE(i == 4 || SameEntry(screen->palette[i], basePalette[i])) << "palette entry " << i;
  });

  EXPECT_EQ(status, ExitPresented);
  EXPECT_EQ(seen_.size(), checkpoints.size());
  EXPECT_EQ(waits_, 8);
  uint32_t paused = 0;
  for (const Seen& seen : seen_) paused += seen.hold.pauseMs;
  EXPECT_EQ(paused, 8 * 500u + 5 * 2000u + 3 * 500u);

  // Between the first pause of screen 2 and its last palette change only
  // captions are written: no surface is locked, so no pixel of the portrait
  // is drawn again.
  const std::vector<std::string>& log = pxh::CallLog();
  int firstPause = -1, lastChange = -1, changes = 0;
  for (int i = 0; i < static_cast<int>(log.size()); i++) {
    if (firstPause < 0 && log[i] == "Sleep 2000") firstPause = i;
    if (log[i].rfind("IDirectDrawPalette::SetEntries", 0) == 0) lastChange = i, changes++;
  }
  EXPECT_EQ(changes, 3);
  ASSERT_GT(lastChange, firstPause);
  for (int i = std::max(firstPause, 0); i < lastChange; i++)
    EXPECT_NE(log[i].rfind("IDirectDrawSurface7::Lock", 0), 0u) << log[i];
  EXPECT_GE(pxh::Cursor().displayCount, 0);  // still shown after the last wait
  EXPECT_EQ(dir_.Entries().size(), 6u);        // nothing written
  ExpectCleanEnd();
}

TEST_F(Presentation, EscapeOrTheCloseButtonDuringAWaitStopsTheRun) {
  struct Case {
    int wait;
    bool closeButton;
  };
  for (Case c : {Case{1, false}, Case{3, false}, Case{6, true}, Case{8, false}}) {
    SCOPED_TRACE("wait " + std::to_string(c.wait));
    int status = Run(nullptr, [&](int wait) {
      if (wait != c.wait) return true;
      c.closeButton ? pxh::PressCloseButton() : pxh::SetKey(VK_ESCAPE, true);
      return false;
    });
    EXPECT_EQ(status, ExitPresented);
    EXPECT_EQ(waits_, c.wait);
    EXPECT_EQ(g_waitEndedByQuit, 1);
    // Nothing of the next screen was drawn.
    int flips = std::max(0, std::min(c.wait - 2, 5));
    EXPECT_EQ(CountCalls("IDirectDrawSurface7::Flip"), flips);
    ExpectCleanEnd();
  }
}

TEST_F(Presentation, EscapeHeldAtTheStartEndsTheRunBeforeTheFirstScreen) {
  beforeRun_ = [] { pxh::SetKey(VK_ESCAPE, true); };
  int status = Run();
  EXPECT_EQ(status, ExitPresented);
  EXPECT_EQ(g_quitRequested, 1);
  EXPECT_TRUE(seen_.empty());
  EXPECT_EQ(CountCalls("IDirectDrawSurface7::Lock"), 0);
  EXPECT_FALSE(pxh::WindowExists());
  ExpectCleanEnd();
}

TEST_F(Presentation, AFailedLockOrAFlipThatNeverSucceedsNeitherStopsNorHangsTheRun) {
  // Screen 3's Lock fails: no icon, no flip, the captions still come. Every
  // flip from then on fails: each gives up within its bound and the run goes on.
  beforeRun_ = [] { pxh::InjectFault("IDirectDrawSurface7::Lock@back", DDERR_SURFACELOST, 1); };
  int flipsAtWait3 = -1;
  uint8_t iconCorner = 1;
  int status = Run([&](const pxh::Hold& hold, int) {
    if (hold.kind == pxh::HoldKind::Wait && seen_.back().screen == 3) {
      flipsAtWait3 = CountCalls("IDirectDrawSurface7::Flip");
      iconCorner = ReadVisible()->at[112][104];
      pxh::InjectFault("IDirectDrawSurface7::Flip", DDERR_SURFACELOST, -1);
    }
  });
  EXPECT_EQ(flipsAtWait3, 0);
  EXPECT_EQ(iconCorner, 0);
  EXPECT_EQ(status, ExitPresented);
  EXPECT_EQ(waits_, 8);
  EXPECT_LT(pxh::NowMs(), 15500 + 4 * (FlipGiveUpMs + 100) + 1000);
  ExpectCleanEnd();
}

TEST_F(Presentation, EscapeWithinAPauseHasNoEffect) {
  int escapes = 0;
  int status = Run([&](const pxh::Hold& hold, int) {
    const Seen& now = seen_.back();
    bool inScreen2 = now.screen == 2 && hold.pauseMs == 2000 && escapes == 0;
    bool inScreen7 = now.screen == 7 && hold.pauseMs == 500 && !now.closingPause && escapes == 1;
    if (hold.kind == pxh::HoldKind::Pause && (inScreen2 || inScreen7)) {
      escapes++;
      pxh::SetKey(VK_ESCAPE, true);
      pxh::At(hold.atMs + hold.pauseMs / 2, [] { pxh::SetKey(VK_ESCAPE, false); });
    }
  });
  EXPECT_EQ(escapes, 2);
  EXPECT_EQ(status, ExitPresented);
  EXPECT_EQ(waits_, 8);
  EXPECT_EQ(g_quitRequested, 0);
  ExpectCleanEnd();
}

TEST_F(Presentation, EachMissingSheetEndsWithStatusOneAndCreatesNothing) {
  for (const SheetFile& sheet : kSheets) {
    SCOPED_TRACE(sheet.name);
    ScratchDirectory dir;
    WriteSheets(dir, sheet.name);
    std::vector<std::string> before = dir.Entries();
    std::string line = std::string("cannot open image sheet \"") + sheet.name + "\"";
    EXPECT_EXIT(std::exit(Run()), ::testing::ExitedWithCode(1), line);
    EXPECT_EQ(dir.Entries(), before);
  }
}

}  // namespace
