// The SDL backend end to end on SDL's "dummy" video driver: host events
// become the layer's input, presents are paced and show the frame scaled and
// centred with the cursor, Sleep, waits and Poll pass time without spinning, and a
// missing display is reported instead of failing later.
#include <SDL.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/portable/backends/backend.h"
#include "platform/portable/backends/sdl_settings.h"
#include "platform/portable/backends/sdl_view.h"

namespace {

// A stand-in for the rest of the layer. Its frame has a pitch wider than a
// row: the bytes past the row must never show.
constexpr int kPitch = 704;
struct FakeLayer {
  std::vector<uint8_t> pixels;
  pxport::Frame frame{};
  int framesRead = 0;
  std::vector<std::string> input;
  std::vector<int> watched;
};
FakeLayer g_layer;

}  // namespace

namespace pxport {
Frame CurrentFrame() {
  ++g_layer.framesRead;
  return g_layer.frame;
}
void InputMouseMotion(int dx, int dy, int dz) {
  g_layer.input.push_back("motion " + std::to_string(dx) + " " + std::to_string(dy) + " " +
                          std::to_string(dz));
}
void InputMouseButton(int button, bool down) {
  g_layer.input.push_back("button " + std::to_string(button) + (down ? " down" : " up"));
}
void InputKey(int virtualKey, bool down) {
  g_layer.input.push_back("key " + std::to_string(virtualKey) + (down ? " down" : " up"));
}
void InputCloseButton() { g_layer.input.push_back("close"); }
void InputFocus(bool active) { g_layer.input.push_back(active ? "focus" : "focus lost"); }
std::vector<int> WatchDescriptors() { return g_layer.watched; }
}  // namespace pxport

namespace {

using Clock = std::chrono::steady_clock;
using Input = std::vector<std::string>;

long MsSince(Clock::time_point t) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

class SdlBackendTest : public testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    unsetenv("PIXSHOW_WINDOWED");
    unsetenv("PIXSHOW_TRACE");
    setenv("PIXSHOW_SCALE", "integer", 1);  // whole scales on the dummy 1024 x 768 screen
    char config[] = "/tmp/pixshow-config-XXXXXX";
    config_ = mkdtemp(config);
    setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
    g_layer = FakeLayer{};
    g_layer.pixels.assign(kPitch * 480, 0xAB);
    g_layer.frame.pixels = g_layer.pixels.data();
    g_layer.frame.pitch = kPitch;
    g_layer.frame.width = 640;
    g_layer.frame.height = 480;
    for (int i = 0; i < 256; ++i)
      g_layer.frame.palette[i] = PALETTEENTRY{BYTE(i), BYTE(i ^ 0x55), BYTE(255 - i), 0};
  }
  void TearDown() override {
    backend_.reset();
    std::filesystem::remove_all(config_);
  }

  void Open() {
    backend_.reset(pxport::CreateSdlBackend());
    EXPECT_TRUE(backend_->DisplayAvailable());
    backend_->WindowCreated(640, 480, "DirectDraw Test for Game");
    // Let the window's own start-up events pass, then start from a clean record.
    for (int i = 0; i < 8; ++i) backend_->Poll();
    g_layer.input.clear();
    g_layer.framesRead = 0;
  }

  // Brings every queued host event in: plenty of rounds of the program's
  // four polling calls.
  void PollPass() {
    for (int i = 0; i < 4 * 16; ++i) backend_->Poll();
  }

  static SDL_Window* HostWindow() {
    for (Uint32 id = 1; id < 1000; ++id)
      if (SDL_Window* w = SDL_GetWindowFromID(id)) return w;
    return nullptr;
  }

  static void Push(SDL_Event e) { SDL_PushEvent(&e); }
  static void PushKey(SDL_Keycode key, bool down, Uint16 mod = KMOD_NONE, bool repeat = false) {
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.repeat = repeat ? 1 : 0;
    e.key.keysym.sym = key;
    e.key.keysym.mod = mod;
    Push(e);
  }
  // Any other host event: a is the button, wheel step or window event; a and
  // b the movement.
  static void Push(Uint32 type, int a, int b = 0) {
    SDL_Event e{};
    e.type = type;
    if (type == SDL_MOUSEMOTION) e.motion.xrel = a, e.motion.yrel = b;
    if (type == SDL_MOUSEBUTTONDOWN || type == SDL_MOUSEBUTTONUP) e.button.button = Uint8(a);
    if (type == SDL_MOUSEWHEEL) e.wheel.y = a;
    if (type == SDL_WINDOWEVENT) e.window.event = Uint8(a);
    Push(e);
  }

  std::unique_ptr<pxport::Backend> backend_;
  std::string config_;
};

TEST_F(SdlBackendTest, WithoutADisplayTheBackendSaysSoAndStillPassesTime) {
  setenv("SDL_VIDEODRIVER", "no-such-video-driver", 1);
  backend_.reset(pxport::CreateSdlBackend());
  EXPECT_FALSE(backend_->DisplayAvailable());
  backend_->WindowCreated(640, 480, "DirectDraw Test for Game");
  backend_->Invalidate();
  PollPass();
  auto t = Clock::now();
  backend_->Sleep(30);
  EXPECT_GE(MsSince(t), 30);
  backend_->WindowDestroyed();
  EXPECT_EQ(g_layer.framesRead + g_layer.input.size(), 0u);
}

TEST_F(SdlBackendTest, HostInputBecomesLayerInputAndLosingFocusReleasesWhatWasHeld) {
  Open();
  Push(SDL_MOUSEMOTION, 5, -3);
  Push(SDL_MOUSEWHEEL, -2);
  for (Uint8 b :
       {SDL_BUTTON_LEFT, SDL_BUTTON_RIGHT, SDL_BUTTON_MIDDLE, SDL_BUTTON_X1, SDL_BUTTON_X2})
    Push(SDL_MOUSEBUTTONDOWN, b);  // X2: no fifth DirectInput button, dropped
  Push(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT);
  PushKey(SDLK_ESCAPE, true);
  PushKey(SDLK_ESCAPE, true, KMOD_NONE, true);  // auto-repeat: the key is simply still down
  PushKey(SDLK_a, true);
  PushKey(SDLK_a, false);
  PushKey(SDLK_F13, true);  // nothing the program could ask about
  Push(SDL_WINDOWEVENT, SDL_WINDOWEVENT_CLOSE);
  Push(SDL_WINDOWEVENT, SDL_WINDOWEVENT_FOCUS_LOST);
  PollPass();
  EXPECT_EQ(g_layer.input, (Input{"motion 5 -3 0", "motion 0 0 -2", "button 0 down",
                                  "button 1 down", "button 2 down", "button 3 down", "button 0 up",
                                  "key 27 down", "key 65 down", "key 65 up", "close", "button 1 up",
                                  "button 2 up", "button 3 up", "key 27 up", "focus lost"}));
  g_layer.input.clear();
  Push(SDL_WINDOWEVENT, SDL_WINDOWEVENT_FOCUS_GAINED);
  PollPass();
  EXPECT_EQ(g_layer.input, (Input{"focus"}));
  // In a window the display stays the program's when another window is in front.
  PushKey(SDLK_RETURN, true, KMOD_LALT);
  PollPass();
  g_layer.input.clear();
  Push(SDL_WINDOWEVENT, SDL_WINDOWEVENT_FOCUS_LOST);
  PollPass();
  EXPECT_TRUE(g_layer.input.empty());
  // Nothing is released twice when the window closes afterwards.
  backend_->WindowDestroyed();
  EXPECT_TRUE(g_layer.input.empty());
}

// SIGTERM (and SIGINT) end the program as its close button does: the signal
// wakes a wait and becomes the close, and the process lives on to give the
// display back.
TEST_F(SdlBackendTest, ATerminationSignalIsTheCloseButton) {
  Open();
  std::raise(SIGTERM);
  backend_->WaitForInput(5000);
  EXPECT_EQ(g_layer.input, (Input{"close"}));
}

TEST_F(SdlBackendTest, APressAndItsReleaseTakenInTogetherAreSeenARoundApart) {
  Open();
  // The program reads the state as it is: a click whose release arrives in
  // the same batch must still be down for one round of polling calls.
  Push(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT);
  Push(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT);
  PushKey(SDLK_ESCAPE, true);
  PushKey(SDLK_ESCAPE, false);
  int calls = 0;
  while (g_layer.input.empty() && calls++ < 8) backend_->Poll();
  for (int i = 0; i < 3; ++i) backend_->Poll();  // the rest of the program's round
  ASSERT_EQ(g_layer.input, (Input{"button 0 down"}));
  while (g_layer.input.size() == 1 && calls++ < 64) backend_->Poll();
  EXPECT_EQ(g_layer.input, (Input{"button 0 down", "button 0 up", "key 27 down"}));
  PollPass();
  EXPECT_EQ(g_layer.input.back(), "key 27 up");
  // A Sleep is no read of the state: it takes everything in at once.
  g_layer.input.clear();
  Push(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT);
  Push(SDL_MOUSEBUTTONUP, SDL_BUTTON_RIGHT);
  backend_->Sleep(2);
  EXPECT_EQ(g_layer.input, (Input{"button 1 down", "button 1 up"}));
}

TEST_F(SdlBackendTest, AltEnterSwitchesToAWindowWhereThePointersJumpInIsNoMovement) {
  Open();
  SDL_Window* w = HostWindow();
  ASSERT_NE(w, nullptr);
  auto fullscreen = [w] { return (SDL_GetWindowFlags(w) & SDL_WINDOW_FULLSCREEN_DESKTOP) != 0; };
  EXPECT_TRUE(fullscreen());
  PushKey(SDLK_RETURN, true, KMOD_LALT);
  PushKey(SDLK_RETURN, false, KMOD_LALT);
  PollPass();
  EXPECT_FALSE(fullscreen());
  Push(SDL_WINDOWEVENT, SDL_WINDOWEVENT_ENTER);
  Push(SDL_MOUSEMOTION, -300, 120);  // measured from where the pointer left the window
  Push(SDL_MOUSEMOTION, 3, 4);
  PushKey(SDLK_RETURN, true, KMOD_RALT);
  PollPass();
  EXPECT_TRUE(fullscreen());
  // The switch is no key press of the program's (its release changes nothing).
  EXPECT_EQ(g_layer.input, (Input{"key 13 up", "motion 3 4 0"}));
  // Asked for a window from the start.
  backend_.reset();
  setenv("PIXSHOW_WINDOWED", "1", 1);
  Open();
  EXPECT_EQ(SDL_GetWindowFlags(HostWindow()) & SDL_WINDOW_FULLSCREEN_DESKTOP, 0u);
  int width = 0, height = 0;
  SDL_GetWindowSize(HostWindow(), &width, &height);
  EXPECT_EQ(width * 1000 + height, 640480);
  // The option is not remembered; Alt+Enter is, with the window's place.
  const std::string file = config_ + "/pixshow/settings.ini";
  auto read = [&file] {
    std::ifstream in(file);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  backend_.reset();
  EXPECT_FALSE(std::filesystem::exists(file));
  unsetenv("PIXSHOW_WINDOWED");
  Open();
  PushKey(SDLK_RETURN, true, KMOD_LALT);
  PollPass();
  backend_.reset();
  unsetenv("PIXSHOW_SCALE");
  EXPECT_NE(read().find("[window]\nmode=window\n"), std::string::npos) << read();
  EXPECT_NE(read().find("\nx="), std::string::npos) << read();
  struct stat before, after;
  ASSERT_EQ(stat(file.c_str(), &before), 0);
  Open();
  EXPECT_EQ(SDL_GetWindowFlags(HostWindow()) & SDL_WINDOW_FULLSCREEN_DESKTOP, 0u);
  backend_.reset();
  ASSERT_EQ(stat(file.c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);
  // A file not understood: one warning, full screen, and the file left alone.
  std::ofstream(file) << "volume=11\n";
  testing::internal::CaptureStderr();
  Open();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "pixshow: " + file + ": line 1 is not understood (kept as it is)\n");
  EXPECT_NE(SDL_GetWindowFlags(HostWindow()) & SDL_WINDOW_FULLSCREEN_DESKTOP, 0u);
  backend_.reset();
  EXPECT_EQ(read(), "volume=11\n");
}

// The settings file: a regular file only, never waited on, read no further
// than its start; lines not understood are kept while the known keys are
// written; a remembered window larger than the screen is fitted, one larger
// than any display not used. (The dummy display: 1024 x 768.)
TEST_F(SdlBackendTest, SettingsAreReadBoundedWithoutWaitingAndWrittenKeepingTheUsersLines) {
  const std::string file = config_ + "/pixshow/settings.ini";
  const std::string head =
      "# pixshow's window, as it was last left (pixshow --help names the "
      "choices)\n[window]\n";
  mkdir((config_ + "/pixshow").c_str(), 0700);
  const std::string at = "pixshow: " + file + ": ";
  auto write = [&file](const std::string& text, long size) {
    std::ofstream(file, std::ios::trunc) << text;
    if (size > 0) truncate(file.c_str(), size);
  };
  struct Case {
    std::function<void()> make;
    const char* scale;  // PIXSHOW_SCALE
    std::string said;   // on standard error
    int window;         // the window's width and height, 0: full screen
    std::string after;  // the file then ("": unchanged)
  } cases[] = {
      {[&] { mkfifo(file.c_str(), 0600); }, nullptr, at + "not a regular file\n", 0, ""},
      {[&] { write("mode=window\n", 512L << 20); }, nullptr,
       at + "line 2 is longer than 1024 bytes; it and the rest are ignored\n", 640480, ""},
      {[&] {
         std::string notes;
         while (notes.size() <= 65536) notes += "# a note\n";
         write(notes + "mode=window\n", 0);
       },
       nullptr, at + "longer than 64 KiB; only its start is read\n", 0, ""},
      {[&] { write("mode=window\nvolume=11\n# mine\nscale=3\n", 0); }, "fit",
       at + "line 2 is not understood (kept as it is)\n", 640480, ""},
      {[&] { write("scale=bogus\nmode=window\n", 0); }, nullptr,
       at + "line 1 has a value that cannot be used (scale=bogus); it is dropped\n", 640480,
       head + "mode=window\n"},
      {[&] { write("mode=window\nwidth=3840\nheight=2160\n", 0); }, nullptr,
       "pixshow: not using the remembered window size 3840 x 2160: larger than any display "
       "(1024 x 768)\n",
       640480, ""},
      {[&] { write("mode=window\nwidth=1000\nheight=700\n", 0); }, nullptr, "", 1000700, ""},
      {[&] { write("mode=window\nwidth=1024\nheight=768\n", 0); }, nullptr, "", 640480, ""},
  };
  alarm(60);  // a settings file waited on ends the test as a failure
  for (Case& c : cases) {
    SCOPED_TRACE(c.said + " " + std::to_string(c.window));
    std::filesystem::remove(file);
    c.make();
    if (c.scale)
      setenv("PIXSHOW_SCALE", c.scale, 1);
    else
      unsetenv("PIXSHOW_SCALE");
    struct stat before, after;
    ASSERT_EQ(stat(file.c_str(), &before), 0);
    testing::internal::CaptureStderr();
    Open();
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said, c.said);
    int w = 0, h = 0, x = 0, y = 0;
    SDL_GetWindowSize(HostWindow(), &w, &h);
    SDL_GetWindowPosition(HostWindow(), &x, &y);
    const bool windowed = (SDL_GetWindowFlags(HostWindow()) & SDL_WINDOW_FULLSCREEN_DESKTOP) == 0;
    EXPECT_EQ(windowed ? w * 1000 + h : 0, c.window);
    if (windowed) {
      EXPECT_TRUE(x >= 0 && y >= 32 && x + w <= 1024 && y + h <= 768) << x << "," << y;
    }
    backend_.reset();
    ASSERT_EQ(stat(file.c_str(), &after), 0);
    if (c.after.empty()) {  // left alone
      EXPECT_TRUE(before.st_ino == after.st_ino && before.st_size == after.st_size &&
                  before.st_mtim.tv_nsec == after.st_mtim.tv_nsec);
    } else {
      std::ifstream in(file);
      EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), c.after);
    }
  }
  alarm(0);
  unsetenv("PIXSHOW_SCALE");
  // Nothing the reader would refuse is written.
  ASSERT_TRUE(pxport::WriteSettings(file, {1, "bogus", 99999, 5}, {}));
  std::ifstream in(file);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), head + "mode=window\n");
}

// Options and the environment act for their run alone: the file stays as it
// was. A scale of N given makes the window N times the picture, within the
// work area; a remembered place is used where it is on a display, moved
// onto it as far as needed. (The dummy display: 1024 x 768.)
TEST_F(SdlBackendTest, OneOffChoicesAreNotRememberedAndAScaleOfNSizesTheWindow) {
  const std::string file = config_ + "/pixshow/settings.ini";
  mkdir((config_ + "/pixshow").c_str(), 0700);
  struct Case {
    const char *windowed, *scale, *file;  // PIXSHOW_WINDOWED, PIXSHOW_SCALE, the file ("": none)
    int x, y, w, h;                       // the window then (-1: centred)
    const char* said;
  } cases[] = {
      {"1", "1", "", -1, -1, 640, 480, ""},
      {"1", "2", "", -1, -1, 1016, 736, ""},
      {"0", "3", "mode=window\nscale=fit\n", -1, -1, 0, 0, ""},
      {"1", "3", "mode=fullscreen\nscale=fit\nwidth=800\nheight=600\n", -1, -1, 1016, 736, ""},
      {nullptr, nullptr, "mode=window\nscale=2\n", -1, -1, 1016, 736, ""},
      {nullptr, nullptr, "mode=window\nwidth=800\nheight=600\nx=100\ny=90\n", 100, 90, 800, 600,
       ""},
      {nullptr, nullptr, "mode=window\nwidth=800\nheight=600\nx=900\ny=500\n", 224, 168, 800, 600,
       ""},
      {nullptr, nullptr, "mode=window\nwidth=800\nheight=600\nx=5000\ny=-40\n", -1, -1, 800, 600,
       "pixshow: not using the remembered window place 5000, -40: on no display\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + (c.scale ? c.scale : "-"));
    std::filesystem::remove(file);
    if (*c.file) std::ofstream(file) << c.file;
    c.windowed ? setenv("PIXSHOW_WINDOWED", c.windowed, 1) : unsetenv("PIXSHOW_WINDOWED");
    c.scale ? setenv("PIXSHOW_SCALE", c.scale, 1) : unsetenv("PIXSHOW_SCALE");
    testing::internal::CaptureStderr();
    Open();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.said);
    int x = 0, y = 0, w = 0, h = 0;
    SDL_GetWindowSize(HostWindow(), &w, &h);
    SDL_GetWindowPosition(HostWindow(), &x, &y);
    if (SDL_GetWindowFlags(HostWindow()) & SDL_WINDOW_FULLSCREEN_DESKTOP) w = h = 0;
    EXPECT_EQ(std::vector<int>({w, h}), std::vector<int>({c.w, c.h}));
    if (c.x >= 0) {
      EXPECT_EQ(std::vector<int>({x, y}), std::vector<int>({c.x, c.y}));
    }
    backend_.reset();
    std::ifstream in(file);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), c.file);
  }
  unsetenv("PIXSHOW_WINDOWED");
}

// Runs leaving at the same time (real processes) each write only the choice
// they changed, into the file as it then stands: neither loses the other's,
// nor a line the user added while they played.
TEST_F(SdlBackendTest, SettingsWrittenAtOnceByTwoRunsKeepEveryChange) {
  const std::string file = config_ + "/pixshow/settings.ini";
  ASSERT_TRUE(pxport::WriteSettings(file, {1, "2", 0, 0}, {"# mine"}));
  std::ofstream(file, std::ios::app) << "# added while playing\n";
  constexpr int kRounds = 150;
  pid_t children[2];
  for (int child = 0; child < 2; ++child) {
    if ((children[child] = fork()) == 0) {
      bool ok = true;
      for (int i = 0; i < kRounds; ++i) {
        pxport::WindowSettings before = {1, "2", 0, 0}, now = before;
        if (child == 0)
          before.scale = std::to_string(2 + i % 2), now.scale = std::to_string(3 - i % 2);
        if (child == 1) now.width = 640 + i, now.height = 480;
        if (child == 1 && i > 0) before.width = 639 + i, before.height = 480;
        // Only this run changes its choice: it must still stand as it was left.
        const pxport::WindowSettings seen = pxport::ReadSettings(file).settings;
        if (i > 0 && (child == 0 ? seen.scale != before.scale : seen.width != before.width))
          ok = false;
        ok = pxport::UpdateSettings(file, before, now) && ok;
      }
      _exit(ok ? 0 : 1);
    }
  }
  for (const pid_t child : children) {
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0);
  }
  const pxport::SettingsFile now = pxport::ReadSettings(file);
  EXPECT_EQ(now.settings, (pxport::WindowSettings{1, std::to_string(3 - (kRounds - 1) % 2),
                                                  640 + kRounds - 1, 480}));
  EXPECT_EQ(now.others, (std::vector<std::string>{"# mine", "# added while playing"}));
  // Nothing but the file is left in the folder: no lock, no scratch file.
  const std::filesystem::directory_iterator folder(config_ + "/pixshow");
  EXPECT_EQ(std::distance(begin(folder), end(folder)), 1);
}

// The environment's window choices take exactly what their options take.
TEST_F(SdlBackendTest, EnvironmentValuesTheOptionsRefuseEndTheProgramWithStatusTwo) {
  struct Case {
    const char* name;
    const char* value;
    const char* refusal;  // nullptr: taken
  } cases[] = {
      {"PIXSHOW_SCALE", "bogus", "takes auto, integer, fit, stretch or 1 to 16, not 'bogus'"},
      {"PIXSHOW_SCALE", "17", "takes auto, integer, fit, stretch or 1 to 16, not '17'"},
      {"PIXSHOW_SCALE", "0", "takes auto, integer, fit, stretch or 1 to 16, not '0'"},
      {"PIXSHOW_WINDOWED", "yes", "takes 1 \\(a window\\) or 0 \\(full screen\\), not 'yes'"},
      {"PIXSHOW_SCALE", "16", nullptr},
      {"PIXSHOW_WINDOWED", "0", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + "=" + c.value);
    setenv(c.name, c.value, 1);
    if (c.refusal)
      EXPECT_EXIT(pxport::CreateSdlBackend(), testing::ExitedWithCode(2),
                  std::string("pixshow: ") + c.name + " " + c.refusal);
    else
      delete pxport::CreateSdlBackend();
    unsetenv(c.name);
  }
  EXPECT_FALSE(std::filesystem::exists(config_ + "/pixshow"));  // nothing written
}

TEST_F(SdlBackendTest, PresentsArePacedAPendingChangeShowsAtTheNextPollOrSleepAndPollingWaits) {
  Open();
  auto burst = Clock::now();
  for (int i = 0; i < 2000; ++i) backend_->Invalidate();
  // At most one present per 16 ms refresh, however often drawing invalidates.
  EXPECT_LE(g_layer.framesRead, 1 + MsSince(burst) / 16);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  int before = g_layer.framesRead;
  backend_->Poll();
  EXPECT_EQ(g_layer.framesRead, before + 1) << "the last change was not shown";
  PollPass();
  backend_->Sleep(20);
  EXPECT_EQ(g_layer.framesRead, before + 1) << "presented again with nothing changed";
  // A Sleep handles host events and shows a pending change.
  backend_->Invalidate();
  backend_->Invalidate();  // second one within the refresh: pending
  Push(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT);
  auto t = Clock::now();
  backend_->Sleep(40);
  EXPECT_GE(MsSince(t), 40);
  EXPECT_EQ(g_layer.input, (Input{"button 0 down"}));
  EXPECT_GE(g_layer.framesRead, before + 3);
  // A wait sleeps until input comes or its time is up; polling that goes on
  // for long without anything else does not spin either.
  t = Clock::now();
  int wakeUps = 0;
  for (; MsSince(t) < 40; ++wakeUps) backend_->WaitForInput(40);
  EXPECT_LE(wakeUps, 3);
  Push(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT);
  backend_->WaitForInput(INFINITE);
  EXPECT_EQ(g_layer.input.back(), "button 0 up");
  // A watched folder's descriptor ends a wait without end when it turns readable.
  int changes[2];
  ASSERT_EQ(pipe(changes), 0);
  g_layer.watched = {changes[0]};
  std::thread writer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(write(changes[1], "c", 1), 1);
  });
  t = Clock::now();
  backend_->WaitForInput(INFINITE);
  EXPECT_LT(MsSince(t), 5000) << "slept its longest instead of waking";  // not 10 s
  writer.join();
  g_layer.watched.clear();
  close(changes[0]);
  close(changes[1]);
  backend_->Sleep(0);
  t = Clock::now();
  for (int call = 0; call < 2000; ++call) backend_->Poll();
  EXPECT_GE(MsSince(t), 300);
}

// + and - step the scale while playing: whole scales, and the 4:3 fit above
// the largest whole one that fits; the last choice is remembered. (The dummy
// screen, 1024 x 768, holds one whole scale; fit fills its height.)
TEST_F(SdlBackendTest, PlusAndMinusStepTheScaleAndTheChoiceIsRemembered) {
  Open();
  auto fills = [] {  // the picture reaches the screen's left edge
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    SDL_Surface* target = SDL_GetWindowSurface(HostWindow());
    Uint32 pixel = 0;
    std::memcpy(&pixel, static_cast<Uint8*>(target->pixels) + 384 * target->pitch + 8, 4);
    return (pixel & 0xffffff) != 0;
  };
  const struct {
    SDL_Keycode key;
    Uint16 mod;
    bool fills;
  } steps[] = {{SDLK_PLUS, 0, true},      {SDLK_EQUALS, 0, true},  {SDLK_MINUS, 0, false},
               {SDLK_KP_MINUS, 0, false}, {SDLK_KP_PLUS, 0, true}, {SDLK_MINUS, KMOD_LCTRL, true},
               {SDLK_MINUS, 0, false}};
  for (const auto& step : steps) {
    PushKey(step.key, true, step.mod);
    PushKey(step.key, false, step.mod);
    PollPass();
    backend_->WaitBegins();
    EXPECT_EQ(fills(), step.fills) << SDL_GetKeyName(step.key) << " " << step.mod;
  }
  EXPECT_TRUE(g_layer.input.empty());  // none of them reaches the program
  backend_.reset();
  std::ifstream in(config_ + "/pixshow/settings.ini");
  EXPECT_NE(std::string(std::istreambuf_iterator<char>(in), {}).find("scale=1\n"),
            std::string::npos);
}

// A gamepad plugged in while playing (SDL's virtual one): its buttons are the
// keys the program knows, held ones are let go with the focus, it can go
// again, and while it is still a wait sleeps.
TEST_F(SdlBackendTest, GamepadButtonsAreTheViewersKeysAndAStillPadLetsAWaitSleep) {
  // The dummy window never has the keyboard focus, without which SDL drops
  // a pad's events.
  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  Open();
  SDL_VirtualJoystickDesc desc{};
  desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
  desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
  desc.naxes = SDL_CONTROLLER_AXIS_MAX;
  desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
  desc.name = "test pad";
  const int index = SDL_JoystickAttachVirtualEx(&desc);
  ASSERT_GE(index, 0) << SDL_GetError();
  PollPass();
  SDL_Joystick* pad = SDL_JoystickOpen(index);
  ASSERT_NE(pad, nullptr);
  const int keys[][2] = {{SDL_CONTROLLER_BUTTON_A, 32},
                         {SDL_CONTROLLER_BUTTON_START, 13},
                         {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, 34},
                         {SDL_CONTROLLER_BUTTON_B, 8},
                         {SDL_CONTROLLER_BUTTON_LEFTSHOULDER, 33},
                         {SDL_CONTROLLER_BUTTON_BACK, 36},
                         {SDL_CONTROLLER_BUTTON_DPAD_LEFT, 37},
                         {SDL_CONTROLLER_BUTTON_DPAD_UP, 38},
                         {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, 39},
                         {SDL_CONTROLLER_BUTTON_DPAD_DOWN, 40},
                         {SDL_CONTROLLER_BUTTON_X, 0},
                         {SDL_CONTROLLER_BUTTON_GUIDE, 0}};
  for (const auto& key : keys) {
    g_layer.input.clear();
    SDL_JoystickSetVirtualButton(pad, key[0], 1);
    PollPass();
    SDL_JoystickSetVirtualButton(pad, key[0], 0);
    PollPass();
    const std::string vk = std::to_string(key[1]);
    const Input want = key[1] ? Input{"key " + vk + " down", "key " + vk + " up"} : Input{};
    EXPECT_EQ(g_layer.input, want) << "button " << key[0];
  }
  g_layer.input.clear();
  SDL_JoystickSetVirtualButton(pad, SDL_CONTROLLER_BUTTON_A, 1);
  PollPass();
  Push(SDL_WINDOWEVENT, SDL_WINDOWEVENT_FOCUS_LOST);
  PollPass();
  SDL_JoystickSetVirtualButton(pad, SDL_CONTROLLER_BUTTON_A, 0);
  PollPass();
  EXPECT_EQ(g_layer.input, (Input{"key 32 down", "key 32 up", "focus lost"}));
  // Still: a wait sleeps its time through (on an X server, SDL too: see below).
  auto t = Clock::now();
  int wakeUps = 0;
  for (; MsSince(t) < 200; ++wakeUps) backend_->WaitForInput(200);
  EXPECT_LE(wakeUps, 2);
  // Unplugged and plugged in again.
  SDL_JoystickClose(pad);
  ASSERT_EQ(SDL_JoystickDetachVirtual(index), 0);
  PollPass();
  const int again = SDL_JoystickAttachVirtualEx(&desc);
  PollPass();
  pad = SDL_JoystickOpen(again);
  g_layer.input.clear();
  SDL_JoystickSetVirtualButton(pad, SDL_CONTROLLER_BUTTON_B, 1);
  PollPass();
  EXPECT_EQ(g_layer.input, (Input{"key 8 down"}));
  SDL_JoystickClose(pad);
  SDL_JoystickDetachVirtual(again);
  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "0");
}

TEST_F(SdlBackendTest, TheFrameIsShownScaledCentredWithTheCursorOnBlackAndNotWhenClosed) {
  Open();
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) g_layer.pixels[y * kPitch + x] = static_cast<uint8_t>(x + y);
  g_layer.frame.cursorShown = true;
  g_layer.frame.cursorX = 550;
  g_layer.frame.cursorY = 441;
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  backend_->Invalidate();
  ASSERT_EQ(g_layer.framesRead, 1);

  SDL_Surface* target = SDL_GetWindowSurface(HostWindow());
  ASSERT_NE(target, nullptr);
  const int outW = target->w, outH = target->h;
  pxport::Viewport v = pxport::FitPicture(outW, outH, 640, 480);
  ASSERT_TRUE(v.x > 0 && v.y > 0);  // the dummy screen is larger than the picture
  std::vector<uint32_t> shown(static_cast<size_t>(outW) * outH);
  auto read = [&] {
    ASSERT_EQ(SDL_ConvertPixels(outW, outH, target->format->format, target->pixels, target->pitch,
                                SDL_PIXELFORMAT_ARGB8888, shown.data(), outW * 4),
              0);
  };
  read();
  auto at = [&](int x, int y) { return shown[static_cast<size_t>(y) * outW + x] | 0xff000000u; };
  auto picture = [&](int px, int py) {
    return at(v.x + px * v.scale + v.scale / 2, v.y + py * v.scale + v.scale / 2);
  };
  for (int py : {0, 1, 100, 479})
    for (int px : {0, 1, 333, 639}) {
      if (px >= 550 && px < 562 && py >= 441 && py < 460) continue;  // under the arrow
      EXPECT_EQ(picture(px, py), pxport::PackColour(g_layer.frame.palette[(px + py) & 255]))
          << px << "," << py;
    }
  EXPECT_EQ(picture(550, 441), 0xff000000u);      // the arrow's tip
  EXPECT_EQ(picture(551, 446), 0xffffffffu);      // its white body
  EXPECT_EQ(at(v.x - 1, outH / 2), 0xff000000u);  // black beside the picture
  EXPECT_EQ(at(v.x + v.w, outH / 2), 0xff000000u);
  EXPECT_EQ(at(outW / 2, v.y - 1), 0xff000000u);  // and above it
  // No surface to show: black.
  g_layer.frame.pixels = nullptr;
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  backend_->Invalidate();
  read();
  EXPECT_EQ(picture(333, 100), 0xff000000u);
  // A closed window shows nothing; a new one shows the picture at once.
  g_layer.framesRead = 0;
  backend_->WindowDestroyed();
  EXPECT_EQ(HostWindow(), nullptr);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  backend_->Invalidate();
  PollPass();
  backend_->Sleep(5);
  EXPECT_EQ(g_layer.framesRead, 0);
  backend_->WindowCreated(640, 480, "again");
  EXPECT_NE(HostWindow(), nullptr);
  backend_->WaitBegins();  // the program waits: its picture shows at once
  backend_->WaitBegins();  // nothing changed since: nothing to show
  EXPECT_EQ(g_layer.framesRead, 1);
}

// On a real X server (run under xvfb-run; skipped without one). Xvfb has no
// window manager: full screen is then a borderless window over the screen.
TEST_F(SdlBackendTest, OnABareXServerFullScreenCoversTheScreenAndAltEnterLeavesIt) {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) GTEST_SKIP() << "no X display";
  setenv("SDL_VIDEODRIVER", "x11", 1);
  backend_.reset(pxport::CreateSdlBackend());
  if (!backend_->DisplayAvailable()) GTEST_SKIP() << "no X display for SDL";
  backend_->WindowCreated(640, 480, "DirectDraw Test for Game");
  SDL_Window* w = HostWindow();
  ASSERT_NE(w, nullptr);
  SDL_Rect screen;
  ASSERT_EQ(SDL_GetDisplayBounds(SDL_GetWindowDisplayIndex(w), &screen), 0);
  auto covers = [&] {
    if (SDL_GetWindowFlags(w) & SDL_WINDOW_FULLSCREEN_DESKTOP)
      return true;  // a manager's full screen
    int x, y, width, height;
    SDL_GetWindowPosition(w, &x, &y);
    SDL_GetWindowSize(w, &width, &height);
    return x == screen.x && y == screen.y && width == screen.w && height == screen.h &&
           (SDL_GetWindowFlags(w) & SDL_WINDOW_BORDERLESS);
  };
  EXPECT_TRUE(covers());
  backend_->WaitBegins();
  EXPECT_EQ(g_layer.framesRead, 1);

  PushKey(SDLK_RETURN, true, KMOD_LALT);
  PollPass();
  int width = 0, height = 0;
  SDL_GetWindowSize(w, &width, &height);
  EXPECT_FALSE(covers());
  EXPECT_EQ(width, 640);
  EXPECT_EQ(height, 480);
  PushKey(SDLK_RETURN, true, KMOD_LALT);
  PollPass();
  EXPECT_TRUE(covers());

  // A wait sleeps on the X connection: a few wake-ups at most while nothing
  // comes, nor any inside, with a gamepad plugged in too (the thread's
  // switches: SDL would poll a pad every millisecond).
  auto switches = [] {
    std::ifstream in("/proc/thread-self/status");
    std::string line;
    while (std::getline(in, line))
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0) return std::stol(line.substr(24));
    return 0L;
  };
  SDL_VirtualJoystickDesc pad{};
  pad.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
  pad.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
  pad.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
  for (int pads : {0, 1}) {
    if (pads) {
      ASSERT_GE(SDL_JoystickAttachVirtualEx(&pad), 0) << SDL_GetError();
    }
    PollPass();
    auto t = Clock::now();
    const long before = switches();
    int wakeUps = 0;
    for (; MsSince(t) < 200; ++wakeUps) backend_->WaitForInput(200);
    EXPECT_LE(wakeUps, 5);
    EXPECT_LE(switches() - before, 10) << pads << " pads";
  }
}

}  // namespace
