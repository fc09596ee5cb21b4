// Playing the presentation on the headless backend, and the recording's
// timeline.
#include "recording.h"

#include <cstring>

namespace capture {

namespace {

// Virtual time after which a presentation that still runs is taken to hang.
// The whole presentation holds less than 20 seconds of pauses.
constexpr uint64_t kGiveUpMs = 10 * 60 * 1000;

}  // namespace

void ReadFrame(Frame& frame) {
  static pxh::Screen& screen = *new pxh::Screen;
  if (!pxh::ReadScreen(screen)) {
    std::memset(&frame, 0, sizeof frame);
    return;
  }
  std::memcpy(frame.pixels, screen.pixels, sizeof frame.pixels);
  for (int i = 0; i < 256; ++i) {
    frame.rgb[i][0] = screen.palette[i].peRed;
    frame.rgb[i][1] = screen.palette[i].peGreen;
    frame.rgb[i][2] = screen.palette[i].peBlue;
  }
}

int PlayPresentation(const std::function<void(const pxh::Hold&)>& onHold, bool* gaveUp) {
  pxh::Reset();
  *gaveUp = false;
  pxh::At(kGiveUpMs, [gaveUp] {
    *gaveUp = true;
    pxh::PressCloseButton();
  });
  pxh::OnHold(onHold);
  char commandLine[] = "";
  const int status = WinMain(GetModuleHandleA(NULL), NULL, commandLine, SW_SHOWNORMAL);
  pxh::OnHold({});
  return status;
}

bool Record(FrameSink& sink, uint32_t waitMs, std::string* why) {
  std::unique_ptr<Frame> frame(new Frame);
  uint64_t now = 0;
  bool failed = false;
  bool gaveUp = false;
  const int status = PlayPresentation(
      [&](const pxh::Hold& hold) {
        if (failed) return;
        const bool wait = hold.kind == pxh::HoldKind::Wait;
        const uint64_t length = wait ? waitMs : hold.pauseMs;
        if (length > 0) {
          ReadFrame(*frame);
          if (!sink.Show(*frame, now, length, why)) {
            failed = true;
            pxh::PressCloseButton();
            return;
          }
          now += length;
        }
        if (wait) pxh::Click(0);  // read by this very pass of the wait
      },
      &gaveUp);
  if (failed) return false;
  if (gaveUp) {
    *why = "the presentation did not end";
    return false;
  }
  if (status != 0) {
    *why = "the presentation ended with status " + std::to_string(status);
    return false;
  }
  return sink.Close(why);
}

}  // namespace capture
