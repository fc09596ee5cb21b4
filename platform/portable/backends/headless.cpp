// The headless backend: no window and no real time. The clock is virtual:
// Sleep advances it at once and every polling call advances it a little, so
// a busy wait cannot spin forever in zero time. A wait for input moves the
// clock straight to the next timed action, the only source of input there is.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/portable/emulation/layer.h"

namespace pxport {

namespace {

// Virtual time one polling call costs: a pass of a typical busy loop (four
// polling calls) takes a millisecond.
constexpr uint64_t kPollCostUs = 250;

class HeadlessBackend final : public Backend {
 public:
  void WindowCreated(int, int, const char*) override {}
  void WindowDestroyed() override {}
  void DisplayModeChanged(bool) override {}
  void Invalidate() override {}
  void Poll() override { AdvanceClockUs(kPollCostUs); }
  void Sleep(uint32_t ms) override { AdvanceClockUs(static_cast<uint64_t>(ms) * 1000); }
  void WaitForInput(uint32_t ms) override {
    World& w = W();
    uint64_t until = ms == INFINITE ? UINT64_MAX : w.nowUs + static_cast<uint64_t>(ms) * 1000;
    for (const TimedAction& action : w.timedActions)
      if (action.atMs * 1000 < until) until = std::max(action.atMs * 1000, w.nowUs);
    if (until == UINT64_MAX) {
      // Nothing will ever come: on Windows the program would sleep for good.
      std::fprintf(stderr,
                   "pixshow: headless: the program waits for input without end and nothing is "
                   "scheduled to bring any\n");
      std::abort();
    }
    AdvanceClockUs(until - w.nowUs);
  }
  uint64_t NowMs() override { return W().nowUs / 1000; }
};

}  // namespace

Backend* CreateHeadlessBackend() { return new HeadlessBackend; }

}  // namespace pxport
