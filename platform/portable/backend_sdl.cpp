// The SDL2 backend: the program's display in a host window (full screen by
// default), host input turned into the layer's mouse, buttons and keys.
//
// Drawing calls only mark the picture dirty and present when a refresh
// interval has passed since the last present; polling calls and Sleep bring
// in host events, present what is pending and give the processor back.
#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "backend.h"
#include "backend_sdl_view.h"

namespace pxport {

namespace {

// Virtual-key codes the host keyboard can produce for the program.
constexpr int kVkBack = 0x08, kVkTab = 0x09, kVkReturn = 0x0D, kVkShift = 0x10, kVkControl = 0x11,
              kVkMenu = 0x12, kVkEscape = 0x1B, kVkSpace = 0x20, kVkLeft = 0x25, kVkUp = 0x26,
              kVkRight = 0x27, kVkDown = 0x28, kVkF1 = 0x70;

int VirtualKeyOf(SDL_Keycode key) {
  switch (key) {
    case SDLK_ESCAPE: return kVkEscape;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return kVkReturn;
    case SDLK_LALT:
    case SDLK_RALT: return kVkMenu;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return kVkShift;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return kVkControl;
    case SDLK_SPACE: return kVkSpace;
    case SDLK_TAB: return kVkTab;
    case SDLK_BACKSPACE: return kVkBack;
    case SDLK_LEFT: return kVkLeft;
    case SDLK_UP: return kVkUp;
    case SDLK_RIGHT: return kVkRight;
    case SDLK_DOWN: return kVkDown;
    default: break;
  }
  if (key >= SDLK_a && key <= SDLK_z) return 'A' + (key - SDLK_a);
  if (key >= SDLK_0 && key <= SDLK_9) return '0' + (key - SDLK_0);
  if (key >= SDLK_F1 && key <= SDLK_F12) return kVkF1 + (key - SDLK_F1);
  return 0;
}

int ButtonIndexOf(Uint8 button) {
  switch (button) {
    case SDL_BUTTON_LEFT: return 0;
    case SDL_BUTTON_RIGHT: return 1;
    case SDL_BUTTON_MIDDLE: return 2;
    case SDL_BUTTON_X1: return 3;
    default: return -1;
  }
}

bool EnvFlag(const char* name) {
  const char* v = std::getenv(name);
  return v && *v && std::strcmp(v, "0") != 0;
}

class SdlBackend final : public Backend {
 public:
  SdlBackend()
      : start_(std::chrono::steady_clock::now()),
        windowed_(EnvFlag("PIXSHOW_WINDOWED")),
        trace_(EnvFlag("PIXSHOW_TRACE")) {
    Trace("backend");
  }
  ~SdlBackend() override;

  void Shutdown() {
    CloseWindow();
    if (videoOk_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    videoOk_ = false;
  }

  bool DisplayAvailable() override { return InitVideo(); }
  const char* DisplayError() override {
    InitVideo();
    return error_.c_str();
  }

  void WindowCreated(int width, int height, const char* title) override {
    if (!InitVideo() || window_) return;
    Uint32 flags = SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI;
    if (!windowed_) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    window_ = SDL_CreateWindow(title ? title : "", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                               width > 0 ? width : 640, height > 0 ? height : 480, flags);
    if (!window_) {
      std::fprintf(stderr, "pixshow: cannot open a window: %s\n", SDL_GetError());
      return;
    }
    SDL_SetWindowMinimumSize(window_, 160, 120);
    renderer_ = SDL_CreateRenderer(window_, -1, 0);  // no vsync: presents never wait
    if (!renderer_) {
      std::fprintf(stderr, "pixshow: cannot draw into the window: %s\n", SDL_GetError());
      CloseWindow();
      return;
    }
    fullscreen_ = !windowed_;
    SDL_ShowCursor(SDL_DISABLE);
    ApplyMouseMode();
    SDL_DisplayMode mode;
    int display = SDL_GetWindowDisplayIndex(window_);
    if (display >= 0 && SDL_GetCurrentDisplayMode(display, &mode) == 0 && mode.refresh_rate > 0)
      refreshMs_ = 1000u / static_cast<unsigned>(mode.refresh_rate);
    if (refreshMs_ == 0) refreshMs_ = 1;
    Trace("window");
    dirty_ = true;
    Present();
  }

  void WindowDestroyed() override { CloseWindow(); }

  void DisplayModeChanged(bool exclusive640x480x8) override {
    // The host's own mode is never switched: full screen means a desktop-sized
    // window with the picture scaled in it, already in place since the window
    // opened. Only the picture needs showing again.
    (void)exclusive640x480x8;
    dirty_ = true;
  }

  void Invalidate() override {
    dirty_ = true;
    if (NowMs() - lastPresentMs_ >= refreshMs_) Present();
  }

  void Poll() override {
    // The program polls in a tight loop while it waits. Every fourth call
    // waits up to a millisecond for a host event; the others only present
    // what is due, so a pass of the loop stays cheap and the processor idles.
    if ((++polls_ & 3u) == 0) {
      if (videoOk_) {
        SDL_Event e;
        if (SDL_WaitEventTimeout(&e, 1)) Handle(e);
        DrainEvents();
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
    PresentIfDue();
  }

  void Sleep(uint32_t ms) override {
    Trace("sleep-begin", static_cast<long>(ms));
    const uint64_t end = NowMs() + ms;
    for (;;) {
      if (videoOk_) DrainEvents();
      PresentIfDue();
      uint64_t now = NowMs();
      if (now >= end) break;
      uint64_t wait = end - now;
      if (dirty_) {
        uint64_t due = lastPresentMs_ + refreshMs_;
        wait = due > now ? std::min<uint64_t>(wait, due - now) : 1;
      }
      if (videoOk_) {
        SDL_Event e;
        if (SDL_WaitEventTimeout(&e, static_cast<int>(std::min<uint64_t>(wait, 100))))
          Handle(e);
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(wait));
      }
    }
    Trace("sleep-end", static_cast<long>(ms));
  }

  uint64_t NowMs() override {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - start_)
                                     .count());
  }

 private:
  bool InitVideo() {
    if (triedVideo_) return videoOk_;
    triedVideo_ = true;
    // Let SIGINT and SIGTERM end the process as usual instead of becoming a
    // quit event the program never asked for.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
      error_ = std::string("no display available (") + SDL_GetError() + ")";
      return false;
    }
    videoOk_ = true;
    Trace("video");
    return true;
  }

  void CloseWindow() {
    if (texture_) SDL_DestroyTexture(texture_);
    if (renderer_) SDL_DestroyRenderer(renderer_);
    if (window_) {
      SDL_SetRelativeMouseMode(SDL_FALSE);
      SDL_DestroyWindow(window_);
    }
    texture_ = nullptr;
    renderer_ = nullptr;
    window_ = nullptr;
    texW_ = texH_ = 0;
    ReleaseHeldInput();
  }

  // Full screen: the pointer is captured and only its movement counts. In a
  // window the host pointer stays free; it is hidden over the window and its
  // movement drives the program's cursor.
  void ApplyMouseMode() {
    SDL_SetRelativeMouseMode(fullscreen_ ? SDL_TRUE : SDL_FALSE);
  }

  void ToggleFullscreen() {
    if (!window_) return;
    fullscreen_ = !fullscreen_;
    SDL_SetWindowFullscreen(window_, fullscreen_ ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    ApplyMouseMode();
    dirty_ = true;
  }

  void DrainEvents() {
    SDL_Event e;
    while (SDL_PollEvent(&e)) Handle(e);
  }

  void Handle(const SDL_Event& e) {
    switch (e.type) {
      case SDL_MOUSEMOTION:
        if (e.motion.xrel || e.motion.yrel) InputMouseMotion(e.motion.xrel, e.motion.yrel, 0);
        break;
      case SDL_MOUSEWHEEL: {
        int dz = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
        if (dz) InputMouseMotion(0, 0, dz);
        break;
      }
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP: {
        int b = ButtonIndexOf(e.button.button);
        if (b < 0) break;
        bool down = e.type == SDL_MOUSEBUTTONDOWN;
        if (down) Trace("button-down", b);
        buttonsHeld_ = down ? (buttonsHeld_ | (1u << b)) : (buttonsHeld_ & ~(1u << b));
        InputMouseButton(b, down);
        break;
      }
      case SDL_KEYDOWN:
      case SDL_KEYUP: {
        bool down = e.type == SDL_KEYDOWN;
        SDL_Keycode key = e.key.keysym.sym;
        if (down && !e.key.repeat && (key == SDLK_RETURN || key == SDLK_KP_ENTER) &&
            (e.key.keysym.mod & KMOD_ALT)) {
          ToggleFullscreen();
          break;
        }
        if (e.key.repeat) break;
        int vk = VirtualKeyOf(key);
        if (vk == 0) break;
        if (down) keysHeld_[vk] = true;
        else keysHeld_[vk] = false;
        InputKey(vk, down);
        break;
      }
      case SDL_WINDOWEVENT:
        switch (e.window.event) {
          case SDL_WINDOWEVENT_CLOSE:
            InputCloseButton();
            break;
          case SDL_WINDOWEVENT_FOCUS_LOST:
            // Keys and buttons released elsewhere never reach us.
            ReleaseHeldInput();
            break;
          case SDL_WINDOWEVENT_FOCUS_GAINED:
            ApplyMouseMode();
            dirty_ = true;
            break;
          case SDL_WINDOWEVENT_EXPOSED:
          case SDL_WINDOWEVENT_SIZE_CHANGED:
          case SDL_WINDOWEVENT_RESTORED:
            dirty_ = true;
            urgent_ = true;  // show it again at once
            break;
          default:
            break;
        }
        break;
      default:
        break;
    }
  }

  void ReleaseHeldInput() {
    for (int b = 0; b < 4; ++b)
      if (buttonsHeld_ & (1u << b)) InputMouseButton(b, false);
    buttonsHeld_ = 0;
    for (int vk = 0; vk < 256; ++vk)
      if (keysHeld_[vk]) {
        keysHeld_[vk] = false;
        InputKey(vk, false);
      }
  }

  void PresentIfDue() {
    if (dirty_ && (urgent_ || NowMs() - lastPresentMs_ >= refreshMs_)) Present();
  }

  void Present() {
    if (!renderer_) {
      dirty_ = false;
      return;
    }
    Frame frame = CurrentFrame();
    if (frame.width <= 0 || frame.height <= 0) {
      frame.pixels = nullptr;
      frame.width = 640;
      frame.height = 480;
    }
    if (!texture_ || texW_ != frame.width || texH_ != frame.height) {
      if (texture_) SDL_DestroyTexture(texture_);
      texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING,
                                   frame.width, frame.height);
      if (!texture_) {
        std::fprintf(stderr, "pixshow: cannot make the picture: %s\n", SDL_GetError());
        dirty_ = false;
        return;
      }
      texW_ = frame.width;
      texH_ = frame.height;
    }
    void* pixels = nullptr;
    int pitch = 0;
    if (SDL_LockTexture(texture_, nullptr, &pixels, &pitch) == 0) {
      ConvertFrame(frame, static_cast<uint32_t*>(pixels), pitch / 4);
      SDL_UnlockTexture(texture_);
    }
    int outW = 0, outH = 0;
    SDL_GetRendererOutputSize(renderer_, &outW, &outH);
    Viewport v = FitPicture(outW, outH, frame.width, frame.height);
    SDL_Rect dst{v.x, v.y, v.w, v.h};
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
    SDL_RenderCopy(renderer_, texture_, nullptr, &dst);
    SDL_RenderPresent(renderer_);
    lastPresentMs_ = NowMs();
    dirty_ = false;
    urgent_ = false;
    Trace(frame.cursorShown ? "present-cursor" : "present", static_cast<long>(++presents_));
  }

  // PIXSHOW_TRACE=1: one line per event on stderr with the wall-clock time in
  // milliseconds since the epoch, for measuring start-up and reaction times.
  void Trace(const char* what, long arg = 0) {
    if (!trace_) return;
    auto us = std::chrono::duration_cast<std::chrono::microseconds>(
                  std::chrono::system_clock::now().time_since_epoch())
                  .count();
    std::fprintf(stderr, "pixshow-trace %s %ld %lld.%03lld\n", what, arg,
                 static_cast<long long>(us / 1000), static_cast<long long>(us % 1000));
  }

  const std::chrono::steady_clock::time_point start_;
  const bool windowed_;
  const bool trace_;
  std::string error_;
  bool triedVideo_ = false;
  bool videoOk_ = false;
  SDL_Window* window_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* texture_ = nullptr;
  int texW_ = 0, texH_ = 0;
  bool fullscreen_ = false;
  bool dirty_ = false;
  bool urgent_ = false;
  uint64_t lastPresentMs_ = 0;
  uint64_t refreshMs_ = 16;
  unsigned polls_ = 0;
  long presents_ = 0;
  unsigned buttonsHeld_ = 0;
  bool keysHeld_[256] = {};
};

SdlBackend* g_liveSdlBackend = nullptr;

void CloseSdlAtExit() {
  if (g_liveSdlBackend) g_liveSdlBackend->Shutdown();
}

SdlBackend::~SdlBackend() {
  if (g_liveSdlBackend == this) g_liveSdlBackend = nullptr;
  Shutdown();
}

}  // namespace

Backend* CreateSdlBackend() {
  auto* backend = new SdlBackend();
  static bool closeAtExit = std::atexit(CloseSdlAtExit) == 0;
  (void)closeAtExit;
  g_liveSdlBackend = backend;
  return backend;
}

}  // namespace pxport
