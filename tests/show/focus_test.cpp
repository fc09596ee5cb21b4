// Another program takes the display (Alt+Tab) at one hold of the presentation
// and gives it back: afterwards the screen, and every later hold, shows what a
// run without the interruption shows.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "shell/shell.h"
#include "tests/support/world.h"

namespace {

using namespace pxtest;

// The whole run holds 15.5 s of pauses on the virtual clock.
const uint64_t StallMs = 120000;

struct Shot {
  pxh::Hold hold;
  std::unique_ptr<pxh::Screen> screen;
};

// When the focus comes back after it went at a pause: during that pause, or
// only after it, so that the drawing that follows fails on lost surfaces.
enum class Back { WithinThePause, AfterThePause };

class Focus : public ::testing::Test {
 protected:
  void SetUp() override { CopySampleArt(dir_); }
  void TearDown() override { pxh::OnHold(nullptr); }

  // Plays the program, clicking at every wait. Without `lostAt` every hold is
  // kept as the reference; with it the focus goes at that hold and comes
  // back as `back` says (50 ms later at a wait), and every hold where the
  // program has the display is compared with the reference.
  void Play(int lostAt = -1, Back back = Back::WithinThePause) {
    ResetProgram();
    const bool recording = lostAt < 0;
    size_t next = 0;         // the reference hold the next one must match
    bool lost = false;       // another program has the display
    bool showAgain = false;  // the wait where the focus went holds once more
    bool onTime = true;      // nothing was held up: the clock runs as before
    pxh::OnHold([&](const pxh::Hold& hold) {
      if (recording) {
        reference_.push_back({hold, Screen()});
        if (hold.kind == pxh::HoldKind::Wait) pxh::Click();
        return;
      }
      if (lost) {  // a pause drawn into lost surfaces: nothing to compare yet
        EXPECT_EQ(hold.kind, pxh::HoldKind::Pause);
        next++;
        return;
      }
      const size_t index = showAgain ? next - 1 : next++;
      showAgain = false;
      ASSERT_LT(index, reference_.size());
      const Shot& want = reference_[index];
      SCOPED_TRACE("hold " + std::to_string(index + 1));
      EXPECT_EQ(hold.kind, want.hold.kind);
      if (onTime) {
        EXPECT_EQ(hold.atMs, want.hold.atMs);
      }
      auto seen = Screen();
      EXPECT_EQ(std::memcmp(seen->pixels, want.screen->pixels, sizeof seen->pixels), 0);
      EXPECT_EQ(std::memcmp(seen->palette, want.screen->palette, sizeof seen->palette), 0);
      if (static_cast<int>(index) == lostAt) {
        const bool wait = hold.kind == pxh::HoldKind::Wait;
        pxh::LoseFocus();
        lost = true;
        lostAt = -1;  // once
        // A wait is held up while the display is away; a pause is not.
        onTime = !wait && back == Back::WithinThePause;
        const uint64_t away = wait                           ? 50
                              : back == Back::WithinThePause ? hold.pauseMs / 2
                                                             : hold.pauseMs + 1;
        pxh::At(hold.atMs + away, [&, wait] {
          pxh::RegainFocus();
          lost = false;
          showAgain = wait;
        });
        return;  // no click: the wait goes on while the display is away
      }
      if (hold.kind == pxh::HoldKind::Wait) pxh::Click();
    });
    pxh::At(StallMs, [] {
      ADD_FAILURE() << "the run stalled";
      pxh::SetMouseButton(0, true);
    });
    EXPECT_EQ(RunProgram(), 0);
    pxh::OnHold(nullptr);
    if (!recording) {
      EXPECT_EQ(next, reference_.size());
    }
    ExpectCleanEnd();
  }

  static std::unique_ptr<pxh::Screen> Screen() {
    auto screen = std::make_unique<pxh::Screen>();
    EXPECT_TRUE(pxh::ReadScreen(*screen));
    return screen;
  }

  ScratchDirectory dir_;
  std::vector<Shot> reference_;
};

TEST_F(Focus, LostAndRegainedAtAnyHoldTheRunShowsWhatItShowsWithoutIt) {
  Play();
  ASSERT_EQ(reference_.size(), 24u);  // eight waits, their pauses, five of screen 2 and 7
  for (int hold = 0; hold < static_cast<int>(reference_.size()); hold++) {
    for (Back back : {Back::WithinThePause, Back::AfterThePause}) {
      if (back == Back::AfterThePause && reference_[hold].hold.kind == pxh::HoldKind::Wait)
        continue;
      SCOPED_TRACE("focus lost at hold " + std::to_string(hold + 1) +
                   (back == Back::AfterThePause ? ", back after the pause" : ""));
      Play(hold, back);
    }
  }
}

TEST_F(Focus, EscapeWhileAnotherProgramHasTheDisplayIsNotTheProgramsOwn) {
  ResetProgram();
  int waits = 0;
  pxh::OnHold([&](const pxh::Hold& hold) {
    if (hold.kind != pxh::HoldKind::Wait) return;
    if (++waits == 1) {
      pxh::LoseFocus();
      pxh::At(hold.atMs + 10, [] { pxh::SetKey(VK_ESCAPE, true); });
      pxh::At(hold.atMs + 30, [] { pxh::SetKey(VK_ESCAPE, false); });
      pxh::At(hold.atMs + 50, [] { pxh::RegainFocus(); });
      return;
    }
    pxh::Click();
  });
  EXPECT_EQ(RunProgram(), 0);
  EXPECT_EQ(waits, 9);  // the first wait holds again once the display is back
  EXPECT_EQ(g_quitRequested, 0);
  ExpectCleanEnd();
}

}  // namespace
