// The whole presentation on the sample art on the headless display: at every
// hold the screen, palette, kind, time and length of the golden list
// (tests/show/golden, from scripts/update-golden). Then early ends, the display
// lost, failing surfaces. Then the continue wait alone: the cursor confined to
// the button, which buttons end it, lost input, the window closing while it waits.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "devices/devices.h"
#include "raster/raster.h"
#include "shell/shell.h"
#include "show/show.h"
#include "tests/support/tools.h"
#include "tests/support/world.h"

namespace {

using namespace pxtest;

bool IsDrawing(const std::string& call) {
  for (const char* kind :
       {"IDirectDrawSurface7::Lock", "IDirectDrawSurface7::GetDC", "IDirectDrawSurface7::Flip",
        "IDirectDrawSurface7::Blt", "IDirectDrawPalette::SetEntries"})
    if (call.rfind(kind, 0) == 0) return true;
  return false;
}

class Presentation : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    golden_ = ReadHoldList(GoldenPath("holds.tsv"));
    for (const HoldLine& hold : golden_) pictures_.push_back(LoadPicture(GoldenPath(hold.name)));
  }
  void SetUp() override { CopySampleArt(dir_); }
  void TearDown() override { pxh::OnHold(nullptr); }

  // Runs the program; `atHold` sees every hold first, with its index; every wait
  // is clicked through unless `atWait` (given its number, from 1) says no.
  int Run(std::function<void(const pxh::Hold&, size_t)> atHold = nullptr,
          std::function<bool(int)> atWait = nullptr) {
    ResetProgram();
    if (beforeRun_) beforeRun_();
    holds_.clear();
    waits_ = 0;
    pxh::OnHold([&, atHold, atWait](const pxh::Hold& hold) {
      holds_.push_back(hold);
      if (atHold) atHold(hold, holds_.size() - 1);
      if (hold.kind != pxh::HoldKind::Wait) return;
      waits_++;
      if (!atWait || atWait(waits_)) pxh::Click();
    });
    // A run that stalls in a wait ends anyway, as a failure (a whole run is 15.5 s).
    pxh::At(120000, [] {
      ADD_FAILURE() << "the run stalled";
      pxh::SetMouseButton(0, true);
    });
    int status = WinMain(GetModuleHandleA(NULL), NULL, &commandLine_[0], SW_SHOWNORMAL);
    pxh::OnHold(nullptr);
    return status;
  }
  // The index in the golden list of the `nth` wait or pause (from 1).
  static size_t GoldenIndex(const char* kind, int nth) {
    int seen = 0;
    size_t index = 0;
    while (index < golden_.size() && (golden_[index].kind != kind || ++seen < nth)) index++;
    return index;
  }
  // The golden picture of screen `screen`'s wait is that screen as it stands.
  static void ExpectScreen(int screen) {
    SCOPED_TRACE("screen " + std::to_string(screen));
    ExpectGolden(pxh::Hold{pxh::HoldKind::Wait, 0, 0}, GoldenIndex("wait", screen), false);
  }
  // Something is shown over screen `screen`'s picture.
  static void ExpectCovered(int screen) {
    EXPECT_NE(Differences(pictures_[GoldenIndex("wait", screen)], ScreenPicture()), "") << screen;
  }
  // A key down for the wait's next read, up again 10 ms later.
  static void Press(int key) {
    pxh::SetKey(key, true);
    pxh::At(pxh::NowMs() + 10, [key] { pxh::SetKey(key, false); });
  }
  // The hold and the screen are golden hold `index`; its time too if `onTime`.
  static void ExpectGolden(const pxh::Hold& hold, size_t index, bool onTime = true) {
    ASSERT_LT(index, golden_.size()) << "more holds than the golden list";
    const HoldLine& want = golden_[index];
    SCOPED_TRACE(want.name);
    EXPECT_EQ(hold.kind == pxh::HoldKind::Wait ? "wait" : "pause", want.kind);
    EXPECT_EQ(hold.kind == pxh::HoldKind::Wait ? 0 : hold.pauseMs, want.pauseMs);
    EXPECT_EQ(onTime ? hold.atMs : want.atMs, want.atMs);
    EXPECT_EQ(Differences(pictures_[index], ScreenPicture()), "");
  }

  static std::vector<HoldLine> golden_;
  static std::vector<Picture> pictures_;
  ScratchDirectory dir_;
  std::function<void()> beforeRun_;  // runs in the fresh world, before WinMain
  std::string commandLine_;
  std::vector<pxh::Hold> holds_;
  int waits_ = 0;
};
std::vector<HoldLine> Presentation::golden_;
std::vector<Picture> Presentation::pictures_;

TEST_F(Presentation, EveryHoldShowsItsGoldenPictureWithTheCursorAtTheWaitsOnly) {
  int status = Run([&](const pxh::Hold& hold, size_t index) {
    ExpectGolden(hold, index);
    const bool closesAWait = index > 0 && holds_[index - 1].kind == pxh::HoldKind::Wait;
    EXPECT_EQ(pxh::Cursor().displayCount >= 0, hold.kind == pxh::HoldKind::Wait || closesAWait);
  });
  EXPECT_EQ(status, ExitPresented);
  EXPECT_EQ(holds_.size(), golden_.size());
  EXPECT_EQ(waits_, 8);

  // The palette trick: from screen 2's first pause to its last change, nothing is locked.
  const std::vector<std::string>& log = pxh::CallLog();
  auto firstPause = std::find(log.begin(), log.end(), "MsgWaitForMultipleObjects 2000");
  int changes = 0;
  for (auto call = firstPause; call != log.end() && changes < 3; ++call) {
    changes += call->rfind("IDirectDrawPalette::SetEntries", 0) == 0;
    EXPECT_NE(call->rfind("IDirectDrawSurface7::Lock", 0), 0u) << *call;
  }
  EXPECT_EQ(changes, 3);
  EXPECT_GE(pxh::Cursor().displayCount, 0);  // still shown after the last wait
  EXPECT_EQ(dir_.Entries().size(), 6u);      // nothing written
  ExpectCleanEnd();
}

// Another program takes the display (Alt+Tab) at one hold and gives it back: at a
// wait 50 ms later, at a pause within it or after it (the drawing that follows
// meets lost surfaces). Every later hold still shows what the golden list shows.
TEST_F(Presentation, FocusLostAndRegainedAtAnyHoldTheRunShowsWhatItShowsWithoutIt) {
  ASSERT_EQ(golden_.size(), 24u);
  for (size_t lostAt = 0; lostAt < golden_.size(); lostAt++)
    for (bool afterThePause : {false, true}) {
      const bool wait = golden_[lostAt].kind == "wait";
      if (wait && afterThePause) continue;
      SCOPED_TRACE("focus lost at hold " + std::to_string(lostAt + 1) +
                   (afterThePause ? ", back after the pause" : ""));
      size_t next = 0;         // the golden hold the next one must match
      bool lost = false;       // another program has the display
      bool wasLost = false;    // once
      bool showAgain = false;  // the wait where the focus went holds once more
      bool onTime = true;      // nothing was held up: the clock runs as before
      int status = Run(
          [&](const pxh::Hold& hold, size_t) {
            if (lost) {  // a pause drawn into lost surfaces: nothing to compare
              EXPECT_EQ(hold.kind, pxh::HoldKind::Pause);
              next++;
              return;
            }
            const size_t index = showAgain ? next - 1 : next++;
            showAgain = false;
            ExpectGolden(hold, index, onTime);
            if (index != lostAt || wasLost) return;
            pxh::LoseFocus();
            lost = wasLost = true;
            // A wait is held up while the display is away; a pause is not.
            onTime = !wait && !afterThePause;
            const uint64_t away = wait ? 50 : afterThePause ? hold.pauseMs + 1 : hold.pauseMs / 2;
            pxh::At(hold.atMs + away, [&] {
              pxh::RegainFocus();
              lost = false;
              showAgain = wait;
            });
          },
          [&](int) { return !lost; });  // the wait goes on while the display is away
      EXPECT_EQ(status, ExitPresented);
      EXPECT_EQ(next, golden_.size());
      ExpectCleanEnd();
    }
}

// Escape or the close button at any hold, in the middle of a pause (the one
// after a click included) or at a wait: the run stops there within 100 ms,
// with nothing drawn after and the display given back.
TEST_F(Presentation, EscapeOrTheCloseButtonAtAnyMomentStopsTheRunAtOnce) {
  for (size_t at = 0; at < golden_.size(); at++) {
    const bool close = at % 3 == 1;
    SCOPED_TRACE((close ? "close at hold " : "Escape at hold ") + std::to_string(at + 1));
    uint64_t pressedAt = 0;
    size_t callsAtPress = 0;
    auto press = [&] {
      close ? pxh::PressCloseButton() : pxh::SetKey(VK_ESCAPE, true);
      pressedAt = pxh::NowMs();
      callsAtPress = pxh::CallLog().size();
    };
    int status = Run(
        [&](const pxh::Hold& hold, size_t index) {
          if (index == at && hold.kind == pxh::HoldKind::Pause)
            pxh::At(hold.atMs + hold.pauseMs / 2, press);
        },
        [&](int) {
          if (holds_.size() - 1 != at) return true;
          press();
          return false;
        });
    EXPECT_EQ(status, ExitPresented);
    EXPECT_EQ(holds_.size(), at + 1);
    EXPECT_EQ(g_waitEndedByQuit, 1);
    EXPECT_LT(pxh::NowMs() - pressedAt, 100u);
    const std::vector<std::string>& log = pxh::CallLog();
    EXPECT_EQ(std::count_if(log.begin() + callsAtPress, log.end(), IsDrawing), 0)
        << "drawn after the press";
    ExpectCleanEnd();
  }
}

TEST_F(Presentation, EscapeHeldAtTheStartEndsTheRunBeforeTheFirstScreen) {
  beforeRun_ = [] { pxh::SetKey(VK_ESCAPE, true); };
  EXPECT_EQ(Run(), ExitPresented);
  EXPECT_EQ(g_quitRequested, 1);
  EXPECT_TRUE(holds_.empty());
  EXPECT_EQ(CountCalls("IDirectDrawSurface7::Lock"), 0);
  EXPECT_FALSE(pxh::WindowExists());
  ExpectCleanEnd();
}

TEST_F(Presentation, EscapeWhileAnotherProgramHasTheDisplayHasNoEffect) {
  int status = Run(nullptr, [&](int wait) {
    if (wait != 1) return true;
    const uint64_t now = holds_.back().atMs;
    pxh::LoseFocus();
    pxh::At(now + 10, [] { pxh::SetKey(VK_ESCAPE, true); });
    pxh::At(now + 30, [] { pxh::SetKey(VK_ESCAPE, false); });
    pxh::At(now + 50, [] { pxh::RegainFocus(); });
    return false;
  });
  EXPECT_EQ(status, ExitPresented);
  EXPECT_EQ(waits_, 9);  // the first wait holds again once the display is back
  EXPECT_EQ(g_quitRequested, 0);
  ExpectCleanEnd();
}

TEST_F(Presentation, AFailedLockOrAFlipThatNeverSucceedsNeitherStopsNorHangsTheRun) {
  // Screen 3's Lock fails: no icon, no flip, the captions still come. Every
  // flip from then on fails: each gives up within its bound and the run goes on.
  beforeRun_ = [] { pxh::InjectFault("IDirectDrawSurface7::Lock@back", DDERR_SURFACELOST, 1); };
  int flipsAtWait3 = -1;
  int status = Run(nullptr, [&](int wait) {
    if (wait == 3) {
      flipsAtWait3 = CountCalls("IDirectDrawSurface7::Flip");
      pxh::InjectFault("IDirectDrawSurface7::Flip", DDERR_SURFACELOST, -1);
    }
    return true;
  });
  EXPECT_EQ(flipsAtWait3, 0);
  EXPECT_EQ(status, ExitPresented);
  EXPECT_EQ(waits_, 8);
  EXPECT_LT(pxh::NowMs(), 15500 + 4 * (FlipGiveUpMs + 100) + 1000);
  ExpectCleanEnd();
}

// Every key that goes on or back, back from every screen and Home: each wait
// shows its screen as the golden list has it; Left on screen 1 does nothing.
TEST_F(Presentation, KeysGoOnAndBackAndEveryScreenStandsAsItsGoldenPicture) {
  const int next[] = {VK_SPACE, VK_RETURN, VK_RIGHT, VK_NEXT},
            back[] = {VK_LEFT, VK_PRIOR, VK_BACK};
  std::vector<std::pair<int, int>> plan = {{1, VK_LEFT}};  // the screen a wait shows, the key
  for (int s = 2; s <= 8; s++)
    plan.insert(
        plan.end(),
        {{s, back[s % 3]}, {s - 1, next[s % 4]}, {s, s == 8 ? VK_HOME : next[(s + 1) % 4]}});
  plan.push_back({1, VK_ESCAPE});
  // A wait that goes on ends with its pause; going back draws at once.
  auto atHold = [&](const pxh::Hold& hold, size_t index) {
    if (index == 0 || holds_[index - 1].kind != pxh::HoldKind::Wait) return;
    const auto [screen, key] = plan[waits_ - 1];
    const bool goesBack = screen > 1 && (key == VK_HOME || std::count(back, back + 3, key));
    EXPECT_EQ(hold.kind == pxh::HoldKind::Wait, goesBack) << "after the key " << key;
    if (!goesBack) {
      EXPECT_EQ(hold.pauseMs, 500u);
    }
  };
  int status = Run(atHold, [&](int wait) {
    ExpectScreen(plan[wait - 1].first);
    Press(plan[wait - 1].second);
    if (wait == 1) pxh::At(pxh::NowMs() + 100, [] { Press(VK_RETURN); });
    return false;
  });
  EXPECT_EQ(status, ExitPresented);
  EXPECT_EQ(waits_, static_cast<int>(plan.size()));
  ExpectCleanEnd();
}

// --screen N starts at screen N's wait; --delay ends every wait on its own and
// --loop starts again after screen 8.
TEST_F(Presentation, StartAtAnyScreenAndASlideshowThatLoops) {
  for (int start = 1; start <= 8; start++) {
    commandLine_ = "--screen " + std::to_string(start);
    Run(nullptr, [&](int) {
      ExpectScreen(start);
      Press(VK_ESCAPE);
      return false;
    });
    EXPECT_EQ(holds_.size(), 1u);  // Escape ends the wait and takes no pause
  }
  commandLine_ = "--delay 2.5 --loop --screen 7";
  auto atHold = [&](const pxh::Hold& hold, size_t index) {
    if (hold.pauseMs == 500 && holds_[index - 1].kind == pxh::HoldKind::Wait && waits_ < 4) {
      EXPECT_NEAR(hold.atMs - holds_[index - 1].atMs, 2500.0, 10);
    }
  };
  int status = Run(atHold, [&](int wait) {
    ExpectScreen((wait + 5) % 8 + 1);
    if (wait == 4) Press(VK_ESCAPE);
    return false;
  });
  EXPECT_EQ(status, ExitPresented);
  ExpectCleanEnd();
}

// F12 and Print Screen save the screen as the capture has it, never over a
// file; a folder that cannot be made is said and the run goes on.
TEST_F(Presentation, ScreenshotsAreTheCapturesPictureUnderNamesNotTaken) {
  commandLine_ = "--screenshot-dir \"shots/new\" --screen 2";
  Run(nullptr, [&](int wait) {
    pxh::SetKey(VK_F12, wait == 1);
    pxh::SetKey(VK_SNAPSHOT, wait == 2);
    return wait >= 3;
  });
  const std::vector<std::string> shots = List(dir_.path() + "/shots/new");
  ASSERT_EQ(shots.size(), 2u);
  for (const std::string& shot : shots) {
    EXPECT_TRUE(shot.rfind("pixshow-2-", 0) == 0 && shot.size() >= 29) << shot;
    EXPECT_EQ(Differences(pictures_[5], LoadPicture(dir_.path() + "/shots/new/" + shot)), "");
    // Compressed as the capture's pictures are (stored, 308,548 bytes).
    EXPECT_LT(std::filesystem::file_size(dir_.path() + "/shots/new/" + shot), 20000u);
  }
  // A link at a name the shot would take, pointing nowhere: passed by, never
  // written through.
  commandLine_ = "--screenshot-dir links";
  const std::string links = dir_.path() + "/links/";
  std::filesystem::create_directory(links);
  for (std::time_t t = std::time(NULL); t < std::time(NULL) + 5; t++) {
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", std::localtime(&t));
    symlink(("../elsewhere-" + std::to_string(t)).c_str(),
            (links + "pixshow-1-" + stamp + ".png").c_str());
  }
  Run(nullptr, [&](int wait) { return pxh::SetKey(VK_F12, wait == 1), wait > 1; });
  int pictures = 0;
  size_t first = 0;
  while (golden_[first].kind != "wait") first++;
  for (const std::string& name : List(links)) {
    if (std::filesystem::is_symlink(links + name)) continue;
    EXPECT_EQ(Differences(pictures_[first], LoadPicture(links + name)), "") << name;
    pictures++;
  }
  EXPECT_EQ(pictures, 1);
  EXPECT_EQ(List(dir_.path()).size(), 8u);  // the sheets, shots/ and links/: nothing elsewhere
  commandLine_ = "--screenshot-dir plain.pix";
  dir_.WriteFile("plain.pix", {1});
  ::testing::internal::CaptureStderr();
  Run(nullptr, [&](int wait) { return pxh::SetKey(VK_F12, wait == 1), wait > 1; });
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(
      said.rfind("pixshow: cannot save the screenshot in \"" + dir_.path() + "/plain.pix\": ", 0),
      0u)
      << said;
  EXPECT_EQ(waits_, 9);
  ExpectCleanEnd();
}

// F9 records the run as played (a screen gone back to, each pause for its
// length) into a GIF beside the screenshots, under a name not taken: composed
// by ImageMagick, every hold's picture shows from that hold's moment to the
// next, with the mark on the screen but never in the file; a recording wait
// still sleeps until input.
TEST_F(Presentation, F9RecordsTheRunAsPlayedWithoutItsMarkUnderANameNotTaken) {
  commandLine_ = "--screenshot-dir shots";
  const std::string shots = dir_.path() + "/shots/";
  std::filesystem::create_directory(shots);
  for (std::time_t t = std::time(NULL); t < std::time(NULL) + 5; t++) {
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", std::localtime(&t));
    WriteBytes(shots + "pixshow-1-" + stamp + ".gif", {'o', 'l', 'd'});
  }
  std::vector<std::pair<uint64_t, size_t>> shown;  // from when, which golden picture
  uint64_t startMs = 0, stopMs = 0;
  int seen = 0, visits = 0;
  auto atHold = [&](const pxh::Hold& hold, size_t) {
    const size_t golden = hold.kind == pxh::HoldKind::Wait ? GoldenIndex("wait", g_screenNumber)
                                                           : shown.back().second + 1;
    if (shown.empty() || golden != shown.back().second) shown.push_back({hold.atMs, golden});
  };
  ::testing::internal::CaptureStderr();
  Run(atHold, [&](int) {
    if (g_screenNumber == seen) return false;
    const uint64_t t = pxh::NowMs();
    seen = g_screenNumber;
    if (++visits == 1) {
      startMs = t, Press(VK_F9);
      pxh::At(t + 1000, [] { pxh::Click(); });
    } else if (visits == 3) {
      pxh::At(t + 300, [] { Press(VK_LEFT); });  // back to screen 2
    } else if (seen == 8) {
      pxh::ClearCallLog();
      pxh::At(t + 700, [&] {
        ExpectCovered(8);  // the mark
        // Not a read since the hold's own: the wait slept.
        EXPECT_EQ(CountCalls("IDirectInputDevice7::GetDeviceState@mouse"), 0);
        stopMs = pxh::NowMs(), Press(VK_F9);
      });
      pxh::At(t + 800, [] { Press(VK_ESCAPE); });
    } else {
      pxh::At(t + 200, [] { pxh::Click(); });
    }
    return false;
  });
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(visits, 10);
  const std::vector<std::string> names = List(shots);
  ASSERT_EQ(names.size(), 6u);
  std::string gif;
  for (const std::string& name : names)
    if (ReadBytes(shots + name) != std::vector<uint8_t>{'o', 'l', 'd'}) gif = name;
  EXPECT_NE(said.find("pixshow: recording saved as " + shots + gif), std::string::npos) << said;
  const RunResult delays = RunTool(shots, "identify", {"-format", "%T\n", gif});
  const RunResult frames = RunTool(shots, "convert", {gif, "-coalesce", "rgb:-"});
  ASSERT_EQ(frames.status, 0) << frames.err;
  std::vector<uint64_t> ends;  // hundredths of a second
  std::istringstream lines(delays.out);
  for (uint64_t delay; lines >> delay;) ends.push_back((ends.empty() ? 0 : ends.back()) + delay);
  const size_t frameBytes = size_t(W) * H * 3;
  ASSERT_EQ(frames.out.size(), ends.size() * frameBytes);
  EXPECT_NEAR(double(ends.back()) * 10, double(stopMs - startMs), 10);
  shown.push_back({stopMs, 0});
  for (size_t i = 0; i + 1 < shown.size(); i++) {
    const Picture& want = pictures_[shown[i].second];
    for (uint64_t atMs : {shown[i].first + 15, shown[i + 1].first - 15}) {
      if (shown[i + 1].first - shown[i].first < 30 || atMs < startMs) continue;
      size_t k = 0;
      while (k < ends.size() && ends[k] <= (atMs - startMs) / 10) k++;
      ASSERT_LT(k, ends.size());
      const char* rgb = frames.out.data() + k * frameBytes;
      bool same = true;
      for (size_t p = 0; p < size_t(W) * H && same; p++)
        same = std::equal(rgb + p * 3, rgb + p * 3 + 3, want.rgb.begin() + want.indices[p] * 3,
                          [](char a, uint8_t b) { return uint8_t(a) == b; });
      EXPECT_TRUE(same) << golden_[shown[i].second].name << " at " << atMs - startMs << " ms";
    }
  }
  ExpectCleanEnd();
  // Escape while recording (in a pause) saves it; a disk that fills leaves no
  // file and says why at the next wait.
  for (const bool full : {false, true}) {
    if (full) beforeRun_ = [] { pxh::InjectFault("WriteFile", 0, -1); };
    ::testing::internal::CaptureStderr();
    seen = 0;
    Run(nullptr, [&](int) {
      if (g_screenNumber == seen) return false;
      const uint64_t t = pxh::NowMs();
      if ((seen = g_screenNumber) == 1) {
        Press(VK_F9), pxh::At(t + 100, [] { pxh::Click(); });
        if (!full) pxh::At(t + 800, [] { Press(VK_ESCAPE); });
      } else {
        pxh::At(t + 100, [] { ExpectCovered(2), Press(VK_ESCAPE); });  // the note
      }
      return false;
    });
    const std::string saidNow = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(List(shots).size(), 7u) << saidNow;  // one more: the first run's
    EXPECT_NE(saidNow.find(full ? ".gif\": No space left on device" : "recording saved as"),
              std::string::npos)
        << saidNow;
    ExpectCleanEnd();
  }
}

// F1 and ? show the keys over the picture, until F1, ? or Escape (which then
// leaves only at its next press, not while still held); the help comes back
// at the next wait. A
// screenshot is the picture without them, and its note stays a while. When
// they go, and in every pause, the screen is its golden picture exactly.
// (Drawing in a wait makes the layer report the wait again: only a screen
// newly reached counts.)
TEST_F(Presentation, TheKeysHelpAndANoteComeOverAWaitAndLeaveThePictureAsItWas) {
  commandLine_ = "--screenshot-dir shots";
  int seen = 0, pauses = 0, done = 0;
  auto atHold = [&](const pxh::Hold& hold, size_t) {
    if (hold.kind != pxh::HoldKind::Wait) ExpectGolden(hold, GoldenIndex("pause", ++pauses), false);
  };
  int status = Run(atHold, [&](int) {
    if (g_screenNumber == seen) return false;
    seen = g_screenNumber;
    const uint64_t t = pxh::NowMs();
    const std::vector<std::pair<int, std::function<void()>>> steps =
        seen == 1 ? decltype(steps){{0, [] { Press(VK_F1); }},
                                    {100, [] { ExpectCovered(1), Press(VK_ESCAPE); }},
                                    {200, [] { ExpectScreen(1), Press(VK_OEM_2); }},
                                    {300, [] { Press(VK_F12); }},
                                    {400, [] { ExpectCovered(1), Press(VK_F1); }},
                                    {4000, [] { ExpectCovered(1); }},
                                    {4400, [] { ExpectScreen(1), Press(VK_F1); }},
                                    {4500, [] { pxh::Click(); }}}
                  : decltype(steps){{100, [] { ExpectCovered(2), pxh::SetKey(VK_ESCAPE, true); }},
                                    {250, [] { pxh::MoveMouse(1, 0); }},  // wakes the wait
                                    {400, [] { ExpectScreen(2), pxh::SetKey(VK_ESCAPE, false); }},
                                    {500, [] { Press(VK_ESCAPE); }}};
    for (const auto& step : steps) pxh::At(t + step.first, [&, f = step.second] { f(), done++; });
    return false;
  });
  EXPECT_EQ(status, ExitPresented);
  EXPECT_EQ(seen, 2);
  EXPECT_EQ(done, 12);  // every step came: nothing ended the run early
  const std::vector<std::string> shots = List(dir_.path() + "/shots");
  ASSERT_EQ(shots.size(), 1u);
  EXPECT_EQ(Differences(pictures_[0], LoadPicture(dir_.path() + "/shots/" + shots[0])), "");
  ExpectCleanEnd();
}

// 1 to 8 go to that screen, drawn as if arrived; the wheel goes on (down) and
// back (up), a turn made before the wait (at its hold) not counting; P holds
// the slideshow until P again, from where it counts anew.
TEST_F(Presentation, NumberKeysAndTheWheelGoToScreensAndPHoldsTheSlideshow) {
  const auto key = [](int vk) { return [vk] { Press(vk); }; };
  const auto wheel = [](int turn, int before) {
    return [turn, before] {
      pxh::MoveMouse(0, 0, before);
      pxh::At(pxh::NowMs() + 10, [turn] { pxh::MoveMouse(0, 0, turn); });
    };
  };
  const std::vector<std::pair<int, std::function<void()>>> plan = {
      {1, key('8')}, {8, key('3')}, {3, wheel(120, 0)}, {2, wheel(-120, -120)}, {3, key('3')}};
  size_t step = 0;
  int seen = 0;
  int status = Run(nullptr, [&](int) {
    if (g_screenNumber == seen || step == plan.size()) return false;
    seen = g_screenNumber;
    ExpectScreen(plan[step].first);
    plan[step++].second();
    if (step == plan.size()) pxh::At(pxh::NowMs() + 100, [] { Press(VK_ESCAPE); });
    return false;
  });
  EXPECT_EQ(status, ExitPresented);
  EXPECT_EQ(step, plan.size());
  // Only the wheel turned down went on, with the wait's pause.
  EXPECT_EQ(std::count_if(holds_.begin(), holds_.end(),
                          [](const pxh::Hold& hold) { return hold.pauseMs == 500; }),
            1);

  commandLine_ = "--delay 2 --screen 3";
  seen = 0;
  uint64_t arrived[2] = {};
  Run(nullptr, [&](int) {
    if (g_screenNumber == seen) return false;
    seen = g_screenNumber;
    arrived[seen - 3] = pxh::NowMs();
    if (seen == 3) {
      pxh::At(pxh::NowMs() + 1000, [] { Press('P'); });
      pxh::At(pxh::NowMs() + 6000, [] { Press('P'); });
    } else {
      Press(VK_ESCAPE);
    }
    return false;
  });
  EXPECT_EQ(seen, 4);
  EXPECT_NEAR(static_cast<double>(arrived[1] - arrived[0]), 8500, 20);
  ExpectCleanEnd();
}

// --watch: a sheet written in place or replaced by a rename is drawn again at
// once in a wait, and when a pause ends; where the folder cannot be watched
// the run says so and plays on.
TEST_F(Presentation, WatchDrawsTheScreenAgainFromTheSheetsAsTheyAreNow) {
  const std::string ports = dir_.path() + "/ports.pix";
  const std::vector<uint8_t> original = ReadBytes(ports);
  std::vector<uint8_t> changed = original;
  const long portrait = 82 * 62;
  for (int image : {0, 4}) std::fill_n(changed.begin() + image * portrait, portrait, 7);
  auto replace = [&] {
    WriteBytes(ports + ".new", changed);
    std::filesystem::rename(ports + ".new", ports);
  };
  auto middleOf = [](int x, int y) { return ScreenPicture().indices[(y + 31) * W + x + 41]; };
  commandLine_ = "--watch";
  // A redraw in a wait is seen as a wait begun again: the screen tells them apart.
  int longPauses = 0;
  bool changed1 = false;
  int status = Run(
      [&](const pxh::Hold& hold, size_t) {
        if (hold.pauseMs != 2000) return;
        if (++longPauses == 1) replace();  // the first pause of screen 2: seen as it ends
        if (longPauses == 2) {
          EXPECT_EQ(middleOf(270, 60), 7);
          WriteBytes(ports, original);
        }
        if (longPauses == 3) ExpectGolden(hold, 4, false);
      },
      [&](int) {
        if (g_screenNumber == 2) Press(VK_ESCAPE);
        if (g_screenNumber != 1 || changed1) return false;
        changed1 = true;
        pxh::At(pxh::NowMs() + 100, replace);
        pxh::At(pxh::NowMs() + 150, [&] {
          EXPECT_EQ(middleOf(40, 50), 7);
          WriteBytes(ports, original);
        });
        pxh::At(pxh::NowMs() + 200, [&] {
          ExpectScreen(1);
          pxh::Click();
        });
        return false;
      });
  EXPECT_EQ(status, ExitPresented);
  EXPECT_EQ(longPauses, 3);
  EXPECT_LE(waits_, 8) << "a wait that redraws pass after pass";  // a few, not one a pass
  ExpectCleanEnd();
  beforeRun_ = [] { pxh::InjectFault("FindFirstChangeNotificationA", 0); };
  ::testing::internal::CaptureStderr();
  Run();
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "pixshow: --watch is not available here; the sheets are not watched\n");
  EXPECT_EQ(waits_, 8);
}

// Where every wait puts the cursor: inside the button, towards its left.
const int StartX = ContinueButtonX + 10, StartY = ContinueButtonY + 6;

class Wait : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(StartProgram());
    pxh::ClearCallLog();
  }
  void TearDown() override {
    pxh::OnHold(nullptr);
    ShutdownDevices();
    ExpectCleanEnd();
  }
  static void AtWait(std::function<void()> action) {
    pxh::OnHold([action](const pxh::Hold& hold) {
      if (hold.kind == pxh::HoldKind::Wait) action();
    });
  }
  static void ExpectEndedWithThePause(uint64_t startMs) {
    EXPECT_EQ(g_mouseState.rgbButtons[0], 0);
    EXPECT_EQ(g_mouseState.rgbButtons[1], 0);
    EXPECT_FALSE(pxh::Cursor().clipped);
    EXPECT_GE(pxh::NowMs() - startMs, 500u);
    EXPECT_EQ(pxh::CallLog().back(), "MsgWaitForMultipleObjects 500");
  }
};

TEST_F(Wait, EveryWaitStartsConfinedAtTheButtonAndLeavesTheCursorShown) {
  for (int round = 0; round < 2; round++) {
    g_cursorX = 5 + round;
    g_cursorY = 7;
    pxh::CursorInfo atStart = {};
    AtWait([&] {
      atStart = pxh::Cursor();
      pxh::Click(0);
    });
    int before = pxh::Cursor().displayCount;
    uint64_t start = pxh::NowMs();
    EXPECT_EQ(WaitForContinueClick(), 1);
    const RECT& clip = atStart.clip;
    EXPECT_TRUE(atStart.clipped && atStart.x == StartX && atStart.y == StartY &&
                clip.left == ContinueButtonX && clip.top == ContinueButtonY &&
                clip.right == ContinueButtonX + ContinueButtonWidth &&
                clip.bottom == ContinueButtonY + ContinueButtonHeight);
    EXPECT_EQ(atStart.displayCount, before + 1);
    EXPECT_EQ(pxh::Cursor().displayCount, before + 1);
    EXPECT_EQ(g_waitEndedByQuit, 0);
    ExpectEndedWithThePause(start);
  }
}

TEST_F(Wait, ButtonZeroOrOneEndsItAtOnceButtonsTwoAndThreeAndTheWheelDoNotAndItSleeps) {
  for (int button : {0, 1}) {
    SCOPED_TRACE(button);
    pxh::ClearCallLog();
    pxh::SetMouseButton(button, true);  // already down: the first pass ends it
    WaitForContinueClick();
    pxh::SetMouseButton(button, false);
    EXPECT_EQ(CountCalls("IDirectInputDevice7::GetDeviceState@mouse"), 1);
  }
  uint64_t clickAt = 0;
  AtWait([&] {
    pxh::SetMouseButton(2, true);
    pxh::SetMouseButton(3, true);
    pxh::MoveMouse(0, 0, 120);
    clickAt = pxh::NowMs() + 1000;
    pxh::At(clickAt, [] { pxh::Click(0); });
    pxh::ClearCallLog();
  });
  WaitForContinueClick();
  // A still wait sleeps until input: one pass for what came at the hold, one
  // for the click, which ends the wait at once (the 500 ms pause follows).
  EXPECT_EQ(CountCalls("IDirectInputDevice7::GetDeviceState@mouse"), 2);
  EXPECT_EQ(CountCalls("MsgWaitForMultipleObjects 2 objects INFINITE"), 2);
  EXPECT_GE(pxh::NowMs(), clickAt + 500);
  EXPECT_LT(pxh::NowMs(), clickAt + 510);
}

TEST_F(Wait, TheProgramsCursorRunsPastTheClipWhileTheVisibleOneStays) {
  AtWait([] {
    pxh::MoveMouse(60, 0);
    pxh::MoveMouse(40, 0);
    uint64_t now = pxh::NowMs();
    pxh::At(now + 100, [] {
      EXPECT_EQ(g_cursorX, StartX + 100);
      EXPECT_EQ(g_cursorY, StartY);
      EXPECT_EQ(pxh::Cursor().x, ContinueButtonX + ContinueButtonWidth - 1);
      pxh::MoveMouse(-70, 3);  // back inside
    });
    pxh::At(now + 200, [] {
      EXPECT_EQ(pxh::Cursor().x, StartX + 30);
      EXPECT_EQ(pxh::Cursor().y, StartY + 3);
      pxh::Click(0);
    });
  });
  WaitForContinueClick();
  EXPECT_EQ(g_cursorX, StartX + 30);
  EXPECT_EQ(g_cursorY, StartY + 3);
}

TEST_F(Wait, QuitEndsTheWaitAtOnceWithTheClipLiftedAndNoPause) {
  pxh::PressCloseButton();
  uint64_t start = pxh::NowMs();
  EXPECT_EQ(WaitForContinueClick(), 1);
  EXPECT_EQ(g_waitEndedByQuit, 1);
  EXPECT_FALSE(pxh::WindowExists());
  EXPECT_FALSE(pxh::Cursor().clipped);
  EXPECT_LT(pxh::NowMs() - start, 5u);
  EXPECT_EQ(CountCalls("MsgWaitForMultipleObjects 500"), 0);
}

TEST_F(Wait, LostOrUnacquiredInputIsTakenBackAndCountsAsStillness) {
  // A stale movement from an earlier read must not be added again.
  g_mouseState.lX = 30;
  g_mouseState.lY = -4;
  pxh::SetMouseButton(1, true);
  pxh::InjectFault("IDirectInputDevice7::GetDeviceState@mouse", DIERR_INPUTLOST, 3);
  WaitForContinueClick();
  pxh::SetMouseButton(1, false);
  EXPECT_EQ(CountCalls("IDirectInputDevice7::GetDeviceState@mouse"), 4);
  EXPECT_EQ(g_cursorX, StartX);
  EXPECT_EQ(g_cursorY, StartY);

  pxh::ClearCallLog();
  g_mouseDevice->Unacquire();
  AtWait([] { pxh::SetMouseButton(0, true); });
  WaitForContinueClick();
  pxh::SetMouseButton(0, false);
  EXPECT_LE(CountCalls("IDirectInputDevice7::GetDeviceState@mouse"), 2);
}

}  // namespace
