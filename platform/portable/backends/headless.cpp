// The headless backend: no window and no real time. The clock is virtual:
// Sleep advances it at once and every polling call advances it a little, so
// a busy wait cannot spin forever in zero time.
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
  // Scripted input is there at once: the whole time passes.
  bool WaitForInput(uint32_t ms) override {
    AdvanceClockUs(static_cast<uint64_t>(ms) * 1000);
    return false;
  }
  uint64_t NowMs() override { return W().nowUs / 1000; }
};

}  // namespace

Backend* CreateHeadlessBackend() { return new HeadlessBackend; }

}  // namespace pxport
