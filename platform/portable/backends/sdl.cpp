// The SDL2 backend: the program's display in a host window (full screen by
// default), host input turned into the layer's mouse, buttons and keys.
//
// Drawing calls only mark the picture dirty and present when a refresh
// interval has passed since the last present; polling calls and Sleep bring
// in host events, present what is pending and give the processor back.
//
// The picture goes straight into the window's own framebuffer (no renderer,
// no GPU context): presenting is a palette lookup, a whole-factor stretch and
// a copy of the changed rectangle to the window system, and opening the
// window costs next to nothing.
#include <SDL.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/pad_keys.h"
#include "platform/portable/backends/backend.h"
#include "platform/portable/backends/sdl_host.h"
#include "platform/portable/backends/sdl_settings.h"
#include "platform/portable/backends/sdl_view.h"

namespace pxport {

namespace {

bool g_endWithoutDisplay = false;

// Virtual-key codes the host keyboard can produce for the program.
constexpr int kVkBack = 0x08, kVkTab = 0x09, kVkReturn = 0x0D, kVkShift = 0x10, kVkControl = 0x11,
              kVkMenu = 0x12, kVkEscape = 0x1B, kVkSpace = 0x20, kVkLeft = 0x25, kVkUp = 0x26,
              kVkRight = 0x27, kVkDown = 0x28, kVkF1 = 0x70, kVkPrior = 0x21, kVkNext = 0x22,
              kVkHome = 0x24, kVkSnapshot = 0x2C, kVkOem2 = 0xBF;

int VirtualKeyOf(SDL_Keycode key) {
  switch (key) {
    case SDLK_ESCAPE:
      return kVkEscape;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
      return kVkReturn;
    case SDLK_LALT:
    case SDLK_RALT:
      return kVkMenu;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT:
      return kVkShift;
    case SDLK_LCTRL:
    case SDLK_RCTRL:
      return kVkControl;
    case SDLK_SPACE:
      return kVkSpace;
    case SDLK_TAB:
      return kVkTab;
    case SDLK_BACKSPACE:
      return kVkBack;
    case SDLK_LEFT:
      return kVkLeft;
    case SDLK_UP:
      return kVkUp;
    case SDLK_RIGHT:
      return kVkRight;
    case SDLK_DOWN:
      return kVkDown;
    case SDLK_PAGEUP:
      return kVkPrior;
    case SDLK_PAGEDOWN:
      return kVkNext;
    case SDLK_HOME:
      return kVkHome;
    case SDLK_PRINTSCREEN:
      return kVkSnapshot;
    case SDLK_SLASH:
    case SDLK_QUESTION:
      return kVkOem2;
    default:
      break;
  }
  if (key >= SDLK_a && key <= SDLK_z) return 'A' + (key - SDLK_a);
  if (key >= SDLK_0 && key <= SDLK_9) return '0' + (key - SDLK_0);
  if (key >= SDLK_F1 && key <= SDLK_F12) return kVkF1 + (key - SDLK_F1);
  return 0;
}

// A gamepad's buttons as the keys the program knows (platform/pad_keys.h
// says which): SDL's buttons as the pad layout's. 0 for the others.
int VirtualKeyOfPadButton(Uint8 button) {
  switch (button) {
    case SDL_CONTROLLER_BUTTON_A:
      return VirtualKeyOfPadButtonBit(PadA);
    case SDL_CONTROLLER_BUTTON_START:
      return VirtualKeyOfPadButtonBit(PadStart);
    case SDL_CONTROLLER_BUTTON_RIGHTSHOULDER:
      return VirtualKeyOfPadButtonBit(PadRightShoulder);
    case SDL_CONTROLLER_BUTTON_B:
      return VirtualKeyOfPadButtonBit(PadB);
    case SDL_CONTROLLER_BUTTON_LEFTSHOULDER:
      return VirtualKeyOfPadButtonBit(PadLeftShoulder);
    case SDL_CONTROLLER_BUTTON_DPAD_UP:
      return VirtualKeyOfPadButtonBit(PadUp);
    case SDL_CONTROLLER_BUTTON_DPAD_DOWN:
      return VirtualKeyOfPadButtonBit(PadDown);
    case SDL_CONTROLLER_BUTTON_DPAD_LEFT:
      return VirtualKeyOfPadButtonBit(PadLeft);
    case SDL_CONTROLLER_BUTTON_DPAD_RIGHT:
      return VirtualKeyOfPadButtonBit(PadRight);
    case SDL_CONTROLLER_BUTTON_BACK:
      return VirtualKeyOfPadButtonBit(PadBack);
    default:
      return 0;
  }
}

// + (also = and the keypad's) and - step the scale; 0 for other keys.
int ScaleStepOf(SDL_Keycode key) {
  switch (key) {
    case SDLK_PLUS:
    case SDLK_EQUALS:
    case SDLK_KP_PLUS:
      return 1;
    case SDLK_MINUS:
    case SDLK_KP_MINUS:
      return -1;
    default:
      return 0;
  }
}

int ButtonIndexOf(Uint8 button) {
  switch (button) {
    case SDL_BUTTON_LEFT:
      return 0;
    case SDL_BUTTON_RIGHT:
      return 1;
    case SDL_BUTTON_MIDDLE:
      return 2;
    case SDL_BUTTON_X1:
      return 3;
    default:
      return -1;
  }
}

bool EnvFlag(const char* name) {
  const char* v = std::getenv(name);
  return v && *v && std::strcmp(v, "0") != 0;
}

bool EnvSet(const char* name) {
  const char* v = std::getenv(name);
  return v && *v;
}

// The environment's window choices take what their options take (--window
// and --fullscreen set PIXSHOW_WINDOWED to 1 or 0, --scale PIXSHOW_SCALE);
// anything else ends the program as a bad option does.
void RefuseBadEnvironment() {
  const char* windowed = std::getenv("PIXSHOW_WINDOWED");
  if (windowed && *windowed && std::strcmp(windowed, "0") != 0 && std::strcmp(windowed, "1") != 0) {
    std::fprintf(stderr,
                 "pixshow: PIXSHOW_WINDOWED takes 1 (a window) or 0 (full screen), not '%s'\n",
                 windowed);
    std::exit(2);
  }
  const char* scale = std::getenv("PIXSHOW_SCALE");
  if (scale && *scale && !IsScaleValue(scale)) {
    std::fprintf(stderr,
                 "pixshow: PIXSHOW_SCALE takes auto, integer, fit, stretch or 1 to 16, not '%s'\n",
                 scale);
    std::exit(2);
  }
}

// A window surface laid out as 0x..RRGGBB in 32 bits takes the converted
// picture as it is; any other layout goes through SDL's blitter.
bool IsXrgb32(const SDL_PixelFormat* f) {
  return f->BytesPerPixel == 4 && f->Rmask == 0x00ff0000u && f->Gmask == 0x0000ff00u &&
         f->Bmask == 0x000000ffu;
}

constexpr int kWindowedWidth = kScreenWidth, kWindowedHeight = kScreenHeight;
// Room left above a remembered window for a window manager's title bar.
constexpr int kTitleAllowance = 32;
// And for its frame's sides, both together.
constexpr int kSideAllowance = 8;
// Longest sleep of a wait for input. SDL does its housekeeping (keeping the
// screen saver away among it) when events are pumped.
constexpr uint64_t kLongestSleepMs = 10000;
// Polling calls outside a wait after which polling sleeps a little anyway.
constexpr uint64_t kBusyPolls = 256;

class SdlBackend final : public Backend {
 public:
  SdlBackend() : start_(std::chrono::steady_clock::now()), trace_(EnvFlag("PIXSHOW_TRACE")) {
    Trace("backend");
    // The choices of the last run, unless the environment (or an option,
    // through it) says otherwise.
    RefuseBadEnvironment();
    settingsPath_ = SettingsPath();
    if (!settingsPath_.empty()) {
      SettingsFile file = ReadSettings(settingsPath_);
      if (!file.warning.empty())
        std::fprintf(stderr, "pixshow: %s: %s\n", settingsPath_.c_str(), file.warning.c_str());
      if (!file.writable) settingsPath_.clear();  // never writing over it
      saved_ = file.settings;
      rewrite_ = file.rewrite;
    }
    saved_.windowed = std::max(0, saved_.windowed);
    // Options and the environment act for this run alone: only what the
    // user chooses while playing is written back.
    windowed_ = EnvSet("PIXSHOW_WINDOWED") ? EnvFlag("PIXSHOW_WINDOWED") : saved_.windowed == 1;
    scaleGiven_ = EnvSet("PIXSHOW_SCALE");
    scaleText_ = scaleGiven_ ? std::getenv("PIXSHOW_SCALE") : saved_.scale;
    scale_ = ParseScaleChoice(scaleText_.c_str());
  }
  ~SdlBackend() override;

  void Shutdown() {
    CloseWindow();
    CloseGamepads();
    // All of SDL, not only its video: that also closes the session-bus
    // connection SDL opened for itself.
    if (videoOk_) SDL_Quit();
    videoOk_ = false;
    triedVideo_ = false;
  }

  bool DisplayAvailable() override { return InitVideo(); }

  void WindowCreated(int width, int height, const char* title) override {
    if (!InitVideo()) {
      if (g_endWithoutDisplay) EndForWantOfDisplay();
      return;
    }
    if (window_) return;
    (void)width;
    (void)height;  // the program's window is the display: sized by the mode
    int x = SDL_WINDOWPOS_CENTERED, y = SDL_WINDOWPOS_CENTERED;
    ChooseWindowPlace(&x, &y);
    // Hidden until placed, so that it appears once, where it belongs; drawn
    // at the display's own resolution where it has more pixels than points.
    window_ = SDL_CreateWindow(title ? title : "", x, y, windowW_, windowH_,
                               SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
    if (!window_) {
      std::fprintf(stderr, "pixshow: cannot open a window: %s\n", SDL_GetError());
      return;
    }
    SDL_SetWindowMinimumSize(window_, 160, 120);
    managed_ = HostHasWindowManager(window_);
    connection_ = HostConnection(window_);
    eventFd_ = HostEventDescriptor(window_);
    fullscreen_ = false;
    if (!windowed_) EnterFullscreen();
    SDL_ShowWindow(window_);
    framePending_ = !wayland_;
    SDL_RaiseWindow(window_);
    SDL_ShowCursor(SDL_DISABLE);
    ApplyMouseMode();
    SDL_DisplayMode mode;
    int display = SDL_GetWindowDisplayIndex(window_);
    if (display >= 0 && SDL_GetCurrentDisplayMode(display, &mode) == 0 && mode.refresh_rate > 0)
      refreshMs_ = std::max(1, 1000 / mode.refresh_rate);
    // Take in what the window system said about mapping and sizing the
    // window now, so that it does not ask for a second full repaint later.
    SDL_PumpEvents();
    BringInEvents(false);
    OpenGamepads();
    Trace("window");
    // The first present comes with the program's first drawing (or when the
    // window system reports the window exposed): painting the whole screen
    // now as well would only be done twice.
    dirty_ = true;
    clear_ = true;
  }

  void WindowDestroyed() override { CloseWindow(); }

  void DisplayModeChanged(bool exclusive640x480x8) override {
    // The host's own mode is never switched: full screen is a screen-sized
    // window with the picture scaled in it, in place since the window opened.
    (void)exclusive640x480x8;
    dirty_ = true;
  }

  void Invalidate() override {
    dirty_ = true;
    streak_ = 0;
    if (NowMs() - lastPresentMs_ >= refreshMs_) Present();
  }

  void Poll() override {
    // A busy loop polls in a tight loop. Every fourth call looks for host
    // events; the others only present what is due, so a pass of the loop
    // stays cheap. Waits sleep in MsgWaitForMultipleObjects, not here: only
    // polling that goes on for long without anything else sleeps a
    // millisecond now and then.
    ++streak_;
    if ((++polls_ & 3u) == 0 && polls_ >= heldUntil_) {
      PresentIfDue();
      int wait = streak_ > kBusyPolls ? 1 : 0;
      if (dirty_) wait = std::min<int>(wait, static_cast<int>(MsUntilDue()));
      WaitForHost(wait);
      BringInEvents(true);
    }
    PresentIfDue();
  }

  void Sleep(uint32_t ms) override {
    Trace("sleep-begin", static_cast<long>(ms));
    streak_ = 0;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      BringInEvents(false);
      PresentIfDue();
      Clock::time_point t = Clock::now();
      if (t >= end) break;
      // Whole milliseconds, rounded up: never wake before the time is over.
      auto left = std::chrono::duration_cast<std::chrono::microseconds>(end - t).count();
      uint64_t wait =
          std::min<uint64_t>(static_cast<uint64_t>((left + 999) / 1000), kLongestSleepMs);
      if (dirty_) wait = std::max<uint64_t>(1, std::min(wait, MsUntilDue()));
      WaitForHost(static_cast<int>(wait));
    }
    Trace("sleep-end", static_cast<long>(ms));
  }

  void WaitForInput(uint32_t ms) override {
    Trace("idle", ms == INFINITE ? -1 : static_cast<long>(ms));
    // The program sleeps, so it has read what came in before: events held
    // back after a press may come in now.
    heldUntil_ = polls_;
    streak_ = 0;
    PresentIfDue();
    uint64_t wait = std::min<uint64_t>(ms, kLongestSleepMs);
    if (dirty_) wait = std::min(wait, MsUntilDue());
    WaitForHost(static_cast<int>(wait));
    BringInEvents(true);
    PresentIfDue();
  }

  void WaitBegins() override {
    Trace("wait");
    KeepFrameOnArea();
    framePending_ = false;
    waited_ = true;
    if (dirty_) Present();  // the screen is finished: no reason to hold it back
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
    // SIGINT and SIGTERM become SDL_QUIT, which closes the window as its
    // close button does: the program ends its presentation and gives the
    // display back. SDL_QUIT means only that: closing the window is its own
    // event.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    // SDL talks to the desktop's session bus (screen saver, input methods).
    // Where there is none, the bus library would start one for us: a child
    // process at every start, perhaps a bus daemon left behind, and memory it
    // never gives back. No bus then.
    if (!EnvSet("DBUS_SESSION_BUS_ADDRESS")) setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
    // Only a real display will do. Left to itself SDL would fall back to an
    // invisible off-screen driver and the program would play to nobody; and
    // asking a window system that is not there fills standard error with the
    // client library's complaints. So name the candidates: the window systems
    // the environment points at, else the console's. A driver named in
    // SDL_VIDEODRIVER is taken as it is (tests use "dummy").
    const char* chosen = std::getenv("SDL_VIDEODRIVER");
    const bool x11 = EnvSet("DISPLAY"), wayland = EnvSet("WAYLAND_DISPLAY");
    if (!chosen || !*chosen) {
      std::string candidates = x11 ? "x11" : "";
      if (wayland) candidates += candidates.empty() ? "wayland" : ",wayland";
      if (candidates.empty()) candidates = "KMSDRM";
      SDL_SetHint(SDL_HINT_VIDEODRIVER, candidates.c_str());
    }
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    // The window's framebuffer is written directly; where the window system
    // gives one of its own (X11), a GPU context behind it would only cost
    // start-up time. Wayland has none: there SDL makes the framebuffer a
    // texture, and forbidding that would leave the window without one.
    const char* driver = SDL_GetCurrentVideoDriver();
    wayland_ = driver != nullptr && std::strcmp(driver, "wayland") == 0;
    if (driver && !wayland_ && std::strcmp(driver, "KMSDRM") != 0)
      SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    videoOk_ = true;
    Trace("video");
    return true;
  }

  // The first window: the largest whole scale of the picture that fits the
  // desktop's work area (1 when none is known).
  int FirstWindowScale() {
    SDL_Rect area;
    if (SDL_GetDisplayUsableBounds(0, &area) != 0) return 1;
    return std::max(1, std::min(area.w / kWindowedWidth, area.h / kWindowedHeight));
  }

  // The window's size and place: N times the picture for a scale of N given
  // for this run, else the remembered size, else N times for a remembered
  // N, else the first window's; at the remembered place where that is on a
  // display.
  void ChooseWindowPlace(int* x, int* y) {
    windowW_ = kWindowedWidth * FirstWindowScale();
    windowH_ = kWindowedHeight * FirstWindowScale();
    const bool factor = scale_.mode == ScaleChoice::Factor;
    SDL_Rect area;
    const bool haveArea = SDL_GetDisplayUsableBounds(0, &area) == 0;
    if (factor && (scaleGiven_ || saved_.width <= 0) && haveArea)
      SizeForScale(scale_.factor, area.w - kSideAllowance, area.h, kTitleAllowance, &windowW_,
                   &windowH_);
    else if (saved_.width > 0 && saved_.height > 0)
      PlaceRemembered(x, y);
    if (!saved_.placed || wayland_) return;  // Wayland gives a window no place of its own
    std::vector<DisplayArea> areas;
    for (int d = 0; d < SDL_GetNumVideoDisplays(); ++d)
      if (SDL_GetDisplayUsableBounds(d, &area) == 0)
        areas.push_back({area.x, area.y, area.w, area.h});
    if (!PlaceAtRemembered(saved_.x, saved_.y, windowW_, windowH_, areas.data(),
                           static_cast<int>(areas.size()), kTitleAllowance, x, y))
      std::fprintf(stderr, "pixshow: not using the remembered window place %d, %d: on no display\n",
                   saved_.x, saved_.y);
  }

  // Once the window manager has framed the window (it says so soon after
  // the window shows; looked for until the first wait), moves it where the
  // frame, title bar and all, lies inside the display's usable area: a
  // window manager may put the frame, not the inside, at the place asked for.
  void KeepFrameOnArea() {
    int top = 0, left = 0, bottom = 0, right = 0, x = 0, y = 0, w = 0, h = 0;
    SDL_Rect area;
    if (!framePending_ || !window_ || fullscreen_ ||
        SDL_GetWindowBordersSize(window_, &top, &left, &bottom, &right) != 0 || top <= 0)
      return;
    framePending_ = false;
    if (SDL_GetDisplayUsableBounds(std::max(0, SDL_GetWindowDisplayIndex(window_)), &area) != 0)
      return;
    SDL_GetWindowPosition(window_, &x, &y);
    SDL_GetWindowSize(window_, &w, &h);
    const DisplayArea inside{area.x + left, area.y + top, area.w - left - right,
                             area.h - top - bottom};
    int placedX = x, placedY = y;
    if (PlaceAtRemembered(x, y, w, h, &inside, 1, 0, &placedX, &placedY) &&
        (placedX != x || placedY != y)) {
      SDL_SetWindowPosition(window_, placedX, placedY);
      placedAt_ = {placedX, placedY};
    }
  }

  // Marks the scale as the user's choice, made while playing (a key), and
  // shows it: it is remembered for the next start, as Alt+Enter and resizing
  // the window are. `text` is a PIXSHOW_SCALE value.
  void ChooseScale(const std::string& text) {
    if (!IsScaleValue(text)) return;
    scaleText_ = text;
    scale_ = ParseScaleChoice(text.c_str());
    scaleChosen_ = true;
    dirty_ = true;
    clear_ = true;
    urgent_ = true;
  }

  // A remembered size (perhaps from a larger monitor) where it fits the
  // display's usable area with the title bar on it; else the first window's
  // size, and the remembered one is kept for the file. A size larger than
  // every display's largest mode is not used.
  void PlaceRemembered(int* x, int* y) {
    SDL_Rect area;
    int largestW = 0, largestH = 0;
    for (int d = 0; d < SDL_GetNumVideoDisplays(); ++d) {
      SDL_DisplayMode mode;
      if (SDL_GetDisplayMode(d, 0, &mode) == 0 || SDL_GetDesktopDisplayMode(d, &mode) == 0) {
        largestW = std::max(largestW, mode.w);
        largestH = std::max(largestH, mode.h);
      }
    }
    if (SDL_GetDisplayUsableBounds(0, &area) != 0 || largestW == 0) {
      windowW_ = saved_.width;  // nothing known to fit it to
      windowH_ = saved_.height;
      return;
    }
    const WindowPlace place = PlaceWindow(saved_.width, saved_.height, area.x, area.y, area.w,
                                          area.h, kTitleAllowance, largestW, largestH);
    if (place.refused) {
      std::fprintf(stderr,
                   "pixshow: not using the remembered window size %d x %d: larger than any "
                   "display (%d x %d)\n",
                   saved_.width, saved_.height, largestW, largestH);
      return;  // kept in the file: not the user's choice now
    }
    *x = place.x;
    *y = place.y;
    windowW_ = place.w;
    windowH_ = place.h;
  }

  // No display to play on: one line saying what is missing and what plays
  // without one, then the set-up failure's status.
  [[noreturn]] void EndForWantOfDisplay() {
    if (!EnvSet("DISPLAY") && !EnvSet("WAYLAND_DISPLAY"))
      std::fputs("pixshow: no display: neither DISPLAY nor WAYLAND_DISPLAY is set", stderr);
    else
      std::fprintf(stderr, "pixshow: cannot open the display: %s", SDL_GetError());
    std::fputs(" (pixshow-capture plays the presentation without one)\n", stderr);
    std::exit(2);
  }

  // Remembers what the user chose while playing (full screen or a window,
  // the scale, the window's size and place), each only when it differs
  // from what the settings file says; options and the environment are
  // never written.
  void RememberWindow() {
    WindowSettings now = saved_;
    if (modeChosen_) now.windowed = fullscreen_ ? 0 : 1;
    if (scaleChosen_) now.scale = scaleText_;
    // A window of another size than the one it opened with was the user's.
    const std::pair<int, int> size = SizeNow();
    if (!fullscreen_ && size.first > 0 && size != std::make_pair(windowW_, windowH_)) {
      windowW_ = now.width = size.first;
      windowH_ = now.height = size.second;
      moved_ = true;
    }
    if (!fullscreen_ && !wayland_ && (moved_ || modeChosen_)) {
      // The frame's corner, where a window manager puts the frame of a
      // window asked for at a place: the next start opens it there again.
      int top = 0, left = 0;
      now.placed = true;
      SDL_GetWindowPosition(window_, &now.x, &now.y);
      if (SDL_GetWindowBordersSize(window_, &top, &left, nullptr, nullptr) == 0)
        now.x -= left, now.y -= top;
    }
    if (!settingsPath_.empty() && (rewrite_ || !(now == saved_)) &&
        UpdateSettings(settingsPath_, saved_, now)) {
      saved_ = now;
      rewrite_ = false;
    }
  }

  std::pair<int, int> SizeNow() {
    int w = 0, h = 0;
    SDL_GetWindowSize(window_, &w, &h);
    return {w, h};
  }

  void CloseWindow() {
    if (window_) {
      RememberWindow();
      SDL_SetRelativeMouseMode(SDL_FALSE);
      SDL_DestroyWindow(window_);
      Trace("window-gone");
    }
    window_ = nullptr;
    connection_ = nullptr;
    eventFd_ = -1;
    ReleaseHeldInput();
  }

  // Full screen: the pointer is captured and only its movement counts. In a
  // window the host pointer stays free; it is hidden over the window and its
  // movement drives the program's cursor.
  void ApplyMouseMode() {
    if (window_) SDL_SetRelativeMouseMode(fullscreen_ ? SDL_TRUE : SDL_FALSE);
    skipMotion_ = true;
  }

  void EnterFullscreen() {
    if (managed_) {
      SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN_DESKTOP);
    } else {
      // Nobody would answer a full-screen request: cover the screen ourselves.
      SDL_Rect screen;
      int display = std::max(0, SDL_GetWindowDisplayIndex(window_));
      if (SDL_GetDisplayBounds(display, &screen) == 0) {
        SDL_SetWindowBordered(window_, SDL_FALSE);
        SDL_SetWindowPosition(window_, screen.x, screen.y);
        SDL_SetWindowSize(window_, screen.w, screen.h);
      }
    }
    fullscreen_ = true;
  }

  void LeaveFullscreen() {
    if (managed_) {
      SDL_SetWindowFullscreen(window_, 0);
    } else {
      SDL_SetWindowBordered(window_, SDL_TRUE);
      SDL_SetWindowSize(window_, windowW_, windowH_);
      SDL_SetWindowPosition(window_, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    }
    fullscreen_ = false;
  }

  void ToggleFullscreen() {
    if (!window_) return;
    modeChosen_ = true;
    if (fullscreen_)
      LeaveFullscreen();
    else
      EnterFullscreen();
    ApplyMouseMode();
    dirty_ = true;
    clear_ = true;
    urgent_ = true;
  }

  // Sleeps until the window system has something for us or `ms` passed.
  void WaitForHost(int ms) {
    if (!videoOk_) {
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
      return;
    }
    if (SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0) return;
    // The folders the program watches wake the wait as input does.
    std::vector<pollfd> watched;
    for (int fd : WatchDescriptors()) watched.push_back(pollfd{fd, POLLIN, 0});
    ms = AddPadDescriptors(watched, ms);
    if (eventFd_ >= 0) {
      if (HostEventsQueued(connection_)) {
        hostReady_ = true;
        return;
      }
      // A signal (EINTR) may have left SDL an event to send: look as well.
      watched.push_back(pollfd{eventFd_, POLLIN, 0});
      const int ready = ::poll(watched.data(), watched.size(), ms);
      if (ready < 0 || (ready > 0 && watched.back().revents != 0)) hostReady_ = true;
    } else if (watched.empty()) {
      SDL_WaitEventTimeout(nullptr, ms);
      hostReady_ = true;
    } else {
      WaitForHostOrWatched(watched, ms);
      hostReady_ = true;
    }
    if (TakePadWakeUps()) hostReady_ = true;
  }

  // Without a descriptor of the window system's, SDL sleeps on its own; a
  // helper thread sleeps on the watched folders meanwhile and wakes SDL with
  // an event of ours when one changes. A pipe ends the helper's sleep.
  void WaitForHostOrWatched(std::vector<pollfd> watched, int ms) {
    int stop[2];
    if (::pipe2(stop, O_CLOEXEC) != 0) {
      SDL_WaitEventTimeout(nullptr, ms);
      return;
    }
    watched.push_back(pollfd{stop[0], POLLIN, 0});
    std::thread helper([&watched, ms] {
      if (::poll(watched.data(), watched.size(), ms) > 0 && watched.back().revents == 0) {
        SDL_Event wake{};
        wake.type = SDL_USEREVENT;
        SDL_PushEvent(&wake);
      }
    });
    SDL_WaitEventTimeout(nullptr, ms);
    const char end = 0;
    (void)!::write(stop[1], &end, 1);
    helper.join();
    ::close(stop[0]);
    ::close(stop[1]);
  }

  // Takes in what the host sent. The window system is asked only when its
  // connection had something, or every few milliseconds in case something
  // came in unseen; otherwise this costs nothing.
  //
  // The program reads the mouse and keys as they are at the moment of the
  // call, so a press and its release taken in together would never be seen:
  // when polling, the events after a press wait until the program has made
  // a whole round of polling calls.
  void BringInEvents(bool pauseAfterPress) {
    if (!videoOk_) return;
    uint64_t now = NowMs();
    if (hostReady_ || eventFd_ < 0 || HostEventsQueued(connection_) || now - lastPumpMs_ >= 16) {
      SDL_PumpEvents();
      if (padsOn_) SDL_JoystickUpdate();  // not done by the pump: see OpenGamepads
      lastPumpMs_ = now;
      hostReady_ = false;
    }
    KeepFrameOnArea();
    SDL_Event e;
    while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0) {
      Handle(e);
      bool press =
          (e.type == SDL_MOUSEBUTTONDOWN && ButtonIndexOf(e.button.button) >= 0) ||
          (e.type == SDL_KEYDOWN && !e.key.repeat && VirtualKeyOf(e.key.keysym.sym) != 0) ||
          (e.type == SDL_CONTROLLERBUTTONDOWN && VirtualKeyOfPadButton(e.cbutton.button));
      if (pauseAfterPress && press) {
        heldUntil_ = polls_ + 4;
        break;
      }
    }
  }

  void Handle(const SDL_Event& e) {
    switch (e.type) {
      case SDL_MOUSEMOTION:
        // The first movement after the pointer enters a window is measured
        // from wherever it left: not a real movement.
        if (skipMotion_ && !fullscreen_) {
          skipMotion_ = false;
          break;
        }
        skipMotion_ = false;
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
        if (down && ScaleStepOf(key) != 0 && !(e.key.keysym.mod & (KMOD_CTRL | KMOD_ALT))) {
          StepScale(ScaleStepOf(key));
          break;
        }
        if (e.key.repeat) break;
        int vk = VirtualKeyOf(key);
        if (vk == 0) break;
        if (down) Trace("key-down", vk);
        keysHeld_[vk] = down;
        InputKey(vk, down);
        break;
      }
      case SDL_CONTROLLERDEVICEADDED:
      case SDL_CONTROLLERDEVICEREMOVED:
      case SDL_CONTROLLERBUTTONDOWN:
      case SDL_CONTROLLERBUTTONUP:
        HandlePad(e);
        break;
      case SDL_QUIT:
        Trace("quit");
        InputCloseButton();
        break;
      case SDL_WINDOWEVENT:
        switch (e.window.event) {
          case SDL_WINDOWEVENT_CLOSE:
            Trace("close");
            InputCloseButton();
            break;
          case SDL_WINDOWEVENT_FOCUS_LOST:
            Trace("focus-lost");
            // Keys and buttons released elsewhere never reach us.
            ReleaseHeldInput();
            // Full screen is the exclusive display: it goes to the program
            // that has the focus now, and the window makes way for it.
            if (fullscreen_) {
              InputFocus(false);
              // Only where the window can come back: a Wayland client
              // cannot undo a minimize, and a compositor without a task bar
              // would leave it hidden for good. There the compositor stacks
              // the window below the one in front and gives it the focus
              // again.
              if (managed_ && !wayland_) SDL_MinimizeWindow(window_);
            }
            break;
          case SDL_WINDOWEVENT_FOCUS_GAINED:
            Trace("focus-gained");
            ApplyMouseMode();
            InputFocus(true);
            break;
          case SDL_WINDOWEVENT_MOVED:
            // Moved by the user: only once the program waits (the window
            // manager has placed the window by then), in a window, and
            // not where the backend put it.
            if (waited_ && !fullscreen_ &&
                std::make_pair(e.window.data1, e.window.data2) != placedAt_)
              moved_ = true;
            break;
          case SDL_WINDOWEVENT_ENTER:
            skipMotion_ = true;
            break;
          case SDL_WINDOWEVENT_EXPOSED:
          case SDL_WINDOWEVENT_SIZE_CHANGED:
          case SDL_WINDOWEVENT_RESTORED:
            dirty_ = true;
            clear_ = true;
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

  // + and - while playing: the next whole scale up or down from the
  // picture's size as shown; up from the largest whole scale that fits, the
  // largest 4:3 size (fit), and down from there the whole scales again. The
  // user's choice, remembered as --scale would be (ChooseScale).
  void StepScale(int step) {
    SDL_Surface* target = window_ ? SDL_GetWindowSurface(window_) : nullptr;
    if (!target) return;
    const Viewport now = FitPicture(target->w, target->h, kScreenWidth, kScreenHeight, scale_);
    const Viewport fit = FitPicture(target->w, target->h, kScreenWidth, kScreenHeight,
                                    ScaleChoice{ScaleChoice::Fit, 0});
    const int largest = std::max(1, std::min(target->w / kScreenWidth, target->h / kScreenHeight));
    const int whole = now.scale > 0 ? now.scale : std::max(1, now.w / kScreenWidth);
    std::string choice;
    if (step > 0 && whole + 1 <= largest && (whole + 1) * kScreenWidth > now.w)
      choice = std::to_string(whole + 1);
    else if (step > 0 && fit.w > now.w)
      choice = "fit";
    else if (step < 0 && now.scale == 0 && whole * kScreenWidth < now.w)
      choice = std::to_string(std::min(whole, largest));
    else if (step < 0 && whole > 1)
      choice = std::to_string(std::min(whole - 1, largest));
    if (!choice.empty()) ChooseScale(choice);
  }

  // Gamepads through SDL's game controller API, plugged in and out while
  // playing. SDL would poll them every millisecond while one is plugged in
  // (its event wait cannot sleep on them), so they are updated here, when
  // events are brought in, and a wait sleeps on descriptors of our own
  // instead: each pad's device node (its events wake us; SDL reads its own
  // copy) and the input folder's changes (a pad plugged in). With no pad
  // and nothing pressed, a wait stays asleep.
  void OpenGamepads() {
    if (padsTried_) return;
    padsTried_ = true;
    SDL_SetHint(SDL_HINT_AUTO_UPDATE_JOYSTICKS, "0");
    if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) return;
    padsOn_ = true;
    inputFolderFd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inputFolderFd_ >= 0 &&
        ::inotify_add_watch(inputFolderFd_, "/dev/input", IN_CREATE | IN_ATTRIB | IN_DELETE) < 0) {
      ::close(inputFolderFd_);
      inputFolderFd_ = -1;
    }
  }

  void CloseGamepads() {
    for (Pad& pad : pads_) {
      if (pad.fd >= 0) ::close(pad.fd);
      SDL_GameControllerClose(pad.controller);
    }
    pads_.clear();
    if (inputFolderFd_ >= 0) ::close(inputFolderFd_);
    inputFolderFd_ = -1;
    if (padsOn_) SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
    padsOn_ = padsTried_ = false;
  }

  void HandlePad(const SDL_Event& e) {
    if (e.type == SDL_CONTROLLERDEVICEADDED) {
      SDL_GameController* controller = SDL_GameControllerOpen(e.cdevice.which);
      if (!controller) return;
      const SDL_JoystickID id = SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(controller));
      for (const Pad& pad : pads_)
        if (pad.id == id) {
          SDL_GameControllerClose(controller);  // already open: one reference is enough
          return;
        }
      const char* path = SDL_GameControllerPath(controller);
      const int fd = path ? ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC) : -1;
      pads_.push_back(Pad{controller, id, fd});
      Trace("pad", id);
    } else if (e.type == SDL_CONTROLLERDEVICEREMOVED) {
      for (size_t i = 0; i < pads_.size(); ++i) {
        if (pads_[i].id != e.cdevice.which) continue;
        if (pads_[i].fd >= 0) ::close(pads_[i].fd);
        SDL_GameControllerClose(pads_[i].controller);
        pads_.erase(pads_.begin() + static_cast<long>(i));
        Trace("pad-gone", e.cdevice.which);
        break;
      }
    } else {
      const int vk = VirtualKeyOfPadButton(e.cbutton.button);
      const bool down = e.type == SDL_CONTROLLERBUTTONDOWN;
      if (vk == 0 || keysHeld_[vk] == down) return;
      if (down) Trace("pad-down", vk);
      keysHeld_[vk] = down;
      InputKey(vk, down);
    }
  }

  // Adds the pads' descriptors to a wait's; returns how long it may sleep:
  // a moment while a pad plugged in or out may not have reached SDL yet.
  int AddPadDescriptors(std::vector<pollfd>& watched, int ms) {
    if (!padsOn_) return ms;
    for (const Pad& pad : pads_)
      if (pad.fd >= 0) watched.push_back(pollfd{pad.fd, POLLIN, 0});
    if (inputFolderFd_ >= 0) watched.push_back(pollfd{inputFolderFd_, POLLIN, 0});
    if (NowMs() < padSettleUntilMs_) ms = std::min(ms, 50);
    return ms;
  }

  // Empties the pads' descriptors after a wait. True when something came:
  // a pad's input (SDL reads it), or a pad plugged in or out, after which
  // SDL is asked for a second (AddPadDescriptors).
  bool TakePadWakeUps() {
    if (!padsOn_) return false;
    bool came = false;
    char buffer[4096];
    for (Pad& pad : pads_) {
      if (pad.fd < 0) continue;
      ssize_t n;
      while ((n = ::read(pad.fd, buffer, sizeof(buffer))) > 0) came = true;
      if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
        ::close(pad.fd);  // unplugged: SDL tells the rest
        pad.fd = -1;
        padSettleUntilMs_ = NowMs() + 1000;
        came = true;
      }
    }
    if (inputFolderFd_ >= 0) {
      bool changed = false;
      while (::read(inputFolderFd_, buffer, sizeof(buffer)) > 0) changed = true;
      if (changed) padSettleUntilMs_ = NowMs() + 1000;
      came = came || changed;
    }
    return came || NowMs() < padSettleUntilMs_;
  }

  uint64_t MsUntilDue() {
    uint64_t now = NowMs(), due = lastPresentMs_ + refreshMs_;
    return due > now ? due - now : 0;
  }

  void PresentIfDue() {
    if (dirty_ && (urgent_ || NowMs() - lastPresentMs_ >= refreshMs_)) Present();
  }

  void Present() {
    dirty_ = false;
    urgent_ = false;
    if (!window_) return;
    const auto began = std::chrono::steady_clock::now();
    Frame frame = CurrentFrame();
    if (frame.width <= 0 || frame.height <= 0 || frame.width > 4096 || frame.height > 4096) {
      frame.pixels = nullptr;
      frame.width = kScreenWidth;
      frame.height = kScreenHeight;
    }
    picture_.resize(static_cast<size_t>(frame.width) * frame.height);
    ConvertFrame(frame, picture_.data(), frame.width);

    SDL_Surface* target = SDL_GetWindowSurface(window_);
    if (!target) {
      if (!reportedSurface_)
        std::fprintf(stderr, "pixshow: cannot draw into the window: %s\n", SDL_GetError());
      reportedSurface_ = true;
      return;
    }
    Viewport v = FitPicture(target->w, target->h, frame.width, frame.height, scale_);
    bool whole = clear_ || v.x != lastView_.x || v.y != lastView_.y || v.w != lastView_.w ||
                 v.h != lastView_.h;
    if (whole) {
      // Black around the picture (the picture itself is written just below).
      const int right = v.x + v.w, bottom = v.y + v.h;
      SDL_Rect around[4] = {{0, 0, target->w, v.y},
                            {0, bottom, target->w, target->h - bottom},
                            {0, v.y, v.x, v.h},
                            {right, v.y, target->w - right, v.h}};
      for (SDL_Rect& r : around)
        if (r.w > 0 && r.h > 0) SDL_FillRect(target, &r, SDL_MapRGB(target->format, 0, 0, 0));
    }
    if (IsXrgb32(target->format) && SDL_LockSurface(target) == 0) {
      ScalePicture(picture_.data(), frame.width, frame.width, frame.height,
                   static_cast<uint32_t*>(target->pixels), target->pitch / 4, target->w, target->h,
                   v);
      SDL_UnlockSurface(target);
    } else if (SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(
                   picture_.data(), frame.width, frame.height, 32, frame.width * 4,
                   SDL_PIXELFORMAT_ARGB8888)) {
      SDL_Rect place{v.x, v.y, v.w, v.h};
      SDL_BlitScaled(source, nullptr, target, &place);
      SDL_FreeSurface(source);
    }
    SDL_Rect shown{std::max(0, v.x), std::max(0, v.y), 0, 0};
    shown.w = std::min(target->w, v.x + v.w) - shown.x;
    shown.h = std::min(target->h, v.y + v.h) - shown.y;
    if (whole)
      SDL_UpdateWindowSurface(window_);
    else if (shown.w > 0 && shown.h > 0)
      SDL_UpdateWindowSurfaceRects(window_, &shown, 1);
    clear_ = false;
    lastView_ = v;
    lastPresentMs_ = NowMs();
    // Traced with the time the present took, in microseconds.
    Trace(frame.cursorShown ? "present-cursor" : "present",
          static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(
                                std::chrono::steady_clock::now() - began)
                                .count()));
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
  bool windowed_ = false;
  std::string settingsPath_;  // empty: nothing is remembered
  WindowSettings saved_;      // as the file has them
  bool rewrite_ = false;      // the file has values that cannot be used: written again
  std::string scaleText_;
  ScaleChoice scale_{};
  bool scaleGiven_ = false;    // by an option or PIXSHOW_SCALE, for this run alone
  bool scaleChosen_ = false;   // by the user while playing: remembered
  bool modeChosen_ = false;    // Alt+Enter pressed: the mode at the end is remembered
  bool moved_ = false;         // the window moved or resized by the user: its place is remembered
  bool waited_ = false;        // the program has reached a wait
  bool framePending_ = false;  // the window manager's frame not seen yet
  std::pair<int, int> placedAt_{-1, -1};  // where the backend itself moved the window
  int windowW_ = kWindowedWidth, windowH_ = kWindowedHeight;
  const bool trace_;
  bool triedVideo_ = false;
  bool videoOk_ = false;
  SDL_Window* window_ = nullptr;
  bool managed_ = true;
  bool wayland_ = false;
  void* connection_ = nullptr;
  int eventFd_ = -1;
  bool hostReady_ = false;
  uint64_t lastPumpMs_ = 0;
  bool fullscreen_ = false;
  bool skipMotion_ = false;
  std::vector<uint32_t> picture_;
  Viewport lastView_{};
  bool dirty_ = false;
  bool urgent_ = false;
  bool clear_ = true;
  bool reportedSurface_ = false;
  uint64_t lastPresentMs_ = 0;
  uint64_t refreshMs_ = 16;
  uint64_t polls_ = 0;
  uint64_t heldUntil_ = 0;  // no host events before this many polling calls
  uint64_t streak_ = 0;     // polling calls since the program last did something else
  unsigned buttonsHeld_ = 0;
  bool keysHeld_[256] = {};
  struct Pad {
    SDL_GameController* controller;
    SDL_JoystickID id;
    int fd;  // our own reading of its device node, -1 when none
  };
  std::vector<Pad> pads_;
  bool padsTried_ = false;
  bool padsOn_ = false;
  int inputFolderFd_ = -1;
  uint64_t padSettleUntilMs_ = 0;
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

void EndProgramWithoutDisplay() { g_endWithoutDisplay = true; }

Backend* CreateSdlBackend() {
  auto* backend = new SdlBackend();
  static bool closeAtExit = std::atexit(CloseSdlAtExit) == 0;
  (void)closeAtExit;
  g_liveSdlBackend = backend;
  return backend;
}

}  // namespace pxport
