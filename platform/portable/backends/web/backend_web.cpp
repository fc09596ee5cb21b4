// The web backend: the program's display on a canvas of a web page, the
// page's mouse and keys as the layer's input.
//
// The program blocks in its pauses and waits; built with Asyncify, Sleep and
// the polling calls of a wait hand the browser its turn (emscripten_sleep,
// and in a wait a sleep that input ends), so that the page paints, input
// arrives and the processor idles. The page's script (page.js) receives the
// pictures and feeds input through the functions exported at the end.
#include <emscripten.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/portable/backends/backend.h"
#include "platform/portable/backends/sdl_view.h"

// Hands one 640 x 480 picture of RGBA bytes to the page.
EM_JS(void, pxweb_show, (const uint8_t* rgba, int width, int height), {
  if (Module.pixshowShow)
    Module.pixshowShow(HEAPU8.subarray(rgba, rgba + width * height * 4), width, height);
});
// The program waits for a click; the cursor is at (x, y).
EM_JS(void, pxweb_wait_begins, (int x, int y), {
  if (Module.pixshowWait) Module.pixshowWait(x, y);
});
// The program pauses for `ms` milliseconds (a Sleep, or a wait with a time limit).
EM_JS(void, pxweb_pause_begins, (int ms), {
  if (Module.pixshowPause) Module.pixshowPause(ms);
});
// Sleeps until `ms` pass (never when `ms` is negative) or the page wakes the
// program (Module.pixshowWake: input came, or another run begins): a promise
// that the first of them resolves.
EM_JS(void, pxweb_idle, (int ms), {
  Asyncify.handleSleep(function(wakeUp) {
    var timer = 0;
    new Promise(function(resolve) {
      Module.pixshowWake = resolve;
      if (ms >= 0) timer = setTimeout(resolve, ms);
    }).then(function() {
      clearTimeout(timer);
      Module.pixshowWake = null;
      wakeUp();
    });
  });
});
// The lines of text on the picture, each "x\ty\ttext\n", in the order drawn.
EM_JS(void, pxweb_text, (const char* lines), {
  if (Module.pixshowText) Module.pixshowText(UTF8ToString(lines));
});
// The program's debug output (the name of the screen it draws).
EM_JS(void, pxweb_debug, (const char* text), {
  if (Module.pixshowDebug) Module.pixshowDebug(UTF8ToString(text));
});
// The page started another run: this one is to end.
EM_JS(int, pxweb_retired, (), { return Module.pixshowRetired ? 1 : 0; });

namespace pxport {

namespace {

// A pass of the program's wait loop makes about four polling calls; every
// fourth call sleeps until input comes, or this long at most.
constexpr int kWaitIdleMs = 250;
// Polling calls outside a wait after which the browser gets a turn anyway.
constexpr uint64_t kBusyPolls = 256;

class WebBackend final : public Backend {
 public:
  WebBackend() : start_(emscripten_get_now()) {}

  void WindowCreated(int, int, const char*) override { dirty_ = true; }
  void WindowDestroyed() override {}
  void DisplayModeChanged(bool) override { dirty_ = true; }
  void Invalidate() override {
    dirty_ = true;
    streak_ = 0;
  }

  void Poll() override {
    ++streak_;
    if ((++polls_ & 3u) != 0) return;
    // A wait that sleeps in MsgWaitForMultipleObjects hands the browser its
    // turn there, once a pass: a key pressed then is seen by the whole next
    // pass before its release can come in.
    if (waiting_ && !sleepsInWaits_) {
      Yield(kWaitIdleMs, true);
    } else if (streak_ > kBusyPolls) {
      streak_ = 0;
      Yield(1, false);
    }
  }

  void Sleep(uint32_t ms) override {
    waiting_ = false;
    streak_ = 0;
    pxweb_pause_begins(static_cast<int>(std::min<uint32_t>(ms, INT32_MAX)));
    Yield(static_cast<int>(ms), false);
  }

  void WaitBegins() override {
    waiting_ = true;
    Present();
    const Frame frame = CurrentFrame();
    pxweb_wait_begins(frame.cursorX, frame.cursorY);
  }

  // MsgWaitForMultipleObjects: the page wakes the program when input comes;
  // without a timeout nothing else does.
  void WaitForInput(uint32_t ms) override {
    sleepsInWaits_ = true;
    streak_ = 0;
    const int limit = ms == INFINITE ? -1 : static_cast<int>(std::min<uint32_t>(ms, INT32_MAX));
    if (limit >= 0) pxweb_pause_begins(limit);  // a pause that input may end
    Yield(limit, true);
  }

  uint64_t NowMs() override { return static_cast<uint64_t>(emscripten_get_now() - start_); }

  void DebugOutput(const char* text) override { pxweb_debug(text); }

 private:
  // Shows what changed and lets the browser run for `ms` milliseconds, or
  // until input comes when `untilInput`.
  void Yield(int ms, bool untilInput) {
    if (dirty_) Present();
    if (untilInput) {
      pxweb_idle(ms);
    } else {
      emscripten_sleep(static_cast<unsigned>(ms));
    }
    if (pxweb_retired()) std::exit(0);
  }

  void Present() {
    dirty_ = false;
    const Frame frame = CurrentFrame();
    picture_.resize(static_cast<size_t>(frame.width) * frame.height);
    ConvertFrame(frame, picture_.data(), frame.width);
    // 0xAARRGGBB to the canvas's byte order R, G, B, A.
    for (uint32_t& p : picture_) p = (p & 0xff00ff00u) | ((p >> 16) & 0xffu) | ((p & 0xffu) << 16);
    pxweb_show(reinterpret_cast<const uint8_t*>(picture_.data()), frame.width, frame.height);
    // The text on show, for screen readers, when it changed. The program's
    // text is Windows-1252: bytes above 127 go as Latin-1 (close enough).
    std::string lines;
    for (const TextShown& line : TextOnScreen()) {
      lines += std::to_string(line.x) + '\t' + std::to_string(line.y) + '\t';
      for (const char c : line.text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x80) {
          lines += c == '\t' || c == '\n' ? ' ' : c;
        } else {
          lines += static_cast<char>(0xc0 | (u >> 6));
          lines += static_cast<char>(0x80 | (u & 0x3f));
        }
      }
      lines += '\n';
    }
    if (lines != text_) {
      text_ = lines;
      pxweb_text(text_.c_str());
    }
  }

  const double start_;
  std::vector<uint32_t> picture_;
  std::string text_;
  bool dirty_ = true;
  bool waiting_ = false;
  bool sleepsInWaits_ = false;
  uint64_t polls_ = 0;
  uint64_t streak_ = 0;
};

}  // namespace

Backend* CreateWebBackend() { return new WebBackend; }

}  // namespace pxport

// --- Input from the page -------------------------------------------------------

extern "C" {

EMSCRIPTEN_KEEPALIVE void pxweb_mouse_motion(int dx, int dy) {
  pxport::InputMouseMotion(dx, dy, 0);
}
EMSCRIPTEN_KEEPALIVE void pxweb_mouse_button(int button, int down) {
  pxport::InputMouseButton(button, down != 0);
}
EMSCRIPTEN_KEEPALIVE void pxweb_key(int virtualKey, int down) {
  pxport::InputKey(virtualKey, down != 0);
}
// The page wrote sheets into the program's folder.
EMSCRIPTEN_KEEPALIVE void pxweb_folder_changed() { pxport::InputFolderChanged(); }

}  // extern "C"
