// pixshow-capture: plays the presentation without a screen and writes what
// it shows as PNG pictures.
//
// It runs the program itself (WinMain) on the platform layer's headless
// backend, whose virtual clock makes every pause take no real time, and
// clicks the continue button at every wait. At each wait, once its screen is
// complete, the visible surface is written as screen-N.png: 640 x 480 palette
// indices with the palette in force as the PNG's colour table.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "pixshow_version.h"
#include "platform/portable/control/headless.h"
#include "platform/win32.h"
#include "pngio.h"
#include "toolkit.h"

namespace fs = std::filesystem;
using toolkit::Quoted;

namespace {

const char kUsage[] = "usage: pixshow-capture [--sheets DIR] [--out DIR] [--all-holds]\n";

const char kHelp[] =
    "Plays the pixshow presentation without a screen and writes its eight\n"
    "screens as pictures.\n"
    "\n"
    "The program runs unchanged on a headless display with a virtual clock, so\n"
    "the pauses take no real time, and the continue button is clicked at every\n"
    "wait. When a wait begins, its screen is written as screen-N.png (N = 1 to 8):\n"
    "an 8-bit indexed PNG of the 640 x 480 palette indices on display, with the\n"
    "palette in force as its colour table. The cursor is not drawn.\n"
    "\n"
    "  --sheets DIR  folder holding the six image sheets (ports.pix, button.pix,\n"
    "                Divadude.pix, WarTiles.pix, Pieces.pix, Borders.pix);\n"
    "                default: the current folder\n"
    "  --out DIR     folder the pictures are written to, created if needed;\n"
    "                default: capture\n"
    "  --all-holds   also write hold-NNN.png (from 001) at every hold point: the\n"
    "                start of each pause and of each wait, and holds.tsv, one\n"
    "                tab-separated line per picture: file name, virtual time in\n"
    "                ms when the hold began, pause or wait, the pause length in\n"
    "                ms (0 for a wait), the screen number 1 to 8 (the pause\n"
    "                that ends a wait counts to that wait's screen)\n"
    "  --help        this text\n"
    "  --version     the version\n"
    "\n"
    "Exit status: the program's own, 0 after the presentation, 1 when an image\n"
    "sheet cannot be opened or is not a regular file (with a line on standard\n"
    "error; pictures written until then stay); 2 for a bad option or folder, or a\n"
    "picture that cannot be written (nothing more is written after it); 3 when\n"
    "the presentation does not come to an end.\n";

// Virtual time after which a presentation that still runs is taken to hang.
// The whole presentation holds less than 20 seconds of pauses.
constexpr uint64_t kGiveUpMs = 10 * 60 * 1000;

constexpr int kScreens = 8;

struct Options {
  std::string sheets = ".";
  std::string out = "capture";
  bool allHolds = false;
};

int Usage(const std::string& problem) {
  std::fprintf(stderr, "pixshow-capture: %s\n%sTry 'pixshow-capture --help'.\n", problem.c_str(),
               kUsage);
  return 2;
}

// 0: go on; 1: help shown; 2: bad option (message written).
int ParseOptions(const std::vector<std::string>& argv, Options& options) {
  toolkit::ParsedArgs args;
  std::string error;
  if (!toolkit::ParseArgs(std::vector<std::string>(argv.begin() + 1, argv.end()),
                          {{"--help", false, "-h"},
                           {"--version"},
                           {"--all-holds"},
                           {"--sheets", true},
                           {"--out", true}},
                          &args, &error)) {
    return Usage(error);
  }
  if (args.Has("--help")) {
    std::fputs(kUsage, stdout);
    std::fputs("\n", stdout);
    std::fputs(kHelp, stdout);
    return 1;
  }
  if (args.Has("--version")) {
    std::printf("pixshow-capture (pixshow) %s\n", PIXSHOW_VERSION);
    return 1;
  }
  if (!args.positional.empty()) return Usage("unexpected argument " + Quoted(args.positional[0]));
  options.allHolds = args.Has("--all-holds");
  if (args.Has("--sheets")) options.sheets = args.Value("--sheets");
  if (args.Has("--out")) options.out = args.Value("--out");
  return 0;
}

class Capture {
 public:
  Capture(std::string out, bool allHolds)
      : out_(std::move(out)), allHolds_(allHolds), screen_(new pxh::Screen) {}
  ~Capture() {
    if (tsv_) std::fclose(tsv_);
  }

  bool Open() {
    if (!allHolds_) return true;
    const std::string path = out_ + "/holds.tsv";
    tsv_ = toolkit::OpenFile(path, "wb");  // the same bytes on every system
    if (!tsv_) {
      std::fprintf(stderr, "pixshow-capture: cannot write %s: %s\n", Quoted(path).c_str(),
                   std::strerror(errno));
      return false;
    }
    return true;
  }

  // Called at every hold point of the program. After a picture could not be
  // written nothing more is written, and the presentation is closed.
  void OnHold(const pxh::Hold& hold) {
    if (writeFailed_) return;
    const bool wait = hold.kind == pxh::HoldKind::Wait;
    // The pause that ends a wait still shows that wait's screen.
    const int screen = std::min(!wait && afterWait_ ? waits_ : waits_ + 1, kScreens);
    afterWait_ = wait;
    if (!pxh::ReadScreen(*screen_)) {
      std::memset(screen_->pixels, 0, sizeof screen_->pixels);
      std::memset(screen_->palette, 0, sizeof screen_->palette);
    }
    if (allHolds_) {
      char name[32];
      std::snprintf(name, sizeof name, "hold-%03d.png", ++holds_);
      if (!Write(name)) return;
      if (tsv_) {
        // Each line is flushed at once: the program may end the process
        // from inside (a sheet that cannot be opened).
        std::fprintf(tsv_, "%s\t%llu\t%s\t%u\t%d\n", name,
                     static_cast<unsigned long long>(hold.atMs), wait ? "wait" : "pause",
                     static_cast<unsigned>(wait ? 0 : hold.pauseMs), screen);
        std::fflush(tsv_);
      }
    }
    if (wait) {
      if (waits_ < kScreens && !Write("screen-" + std::to_string(waits_ + 1) + ".png")) return;
      ++waits_;
      pxh::Click(0);  // read by this very pass of the wait
    }
  }

  bool WriteFailed() const { return writeFailed_; }
  int Waits() const { return waits_; }

 private:
  bool Write(const std::string& name) {
    uint8_t rgb[256][3];
    for (int i = 0; i < 256; ++i) {
      rgb[i][0] = screen_->palette[i].peRed;
      rgb[i][1] = screen_->palette[i].peGreen;
      rgb[i][2] = screen_->palette[i].peBlue;
    }
    std::string error;
    if (!pngio::WriteIndexedPng(out_ + "/" + name, pxport::kScreenWidth, pxport::kScreenHeight,
                                &screen_->pixels[0][0], pxport::kScreenWidth, rgb, &error)) {
      std::fprintf(stderr, "pixshow-capture: %s\n", error.c_str());
      writeFailed_ = true;
      pxh::PressCloseButton();
      return false;
    }
    return true;
  }

  std::string out_;
  bool allHolds_;
  std::unique_ptr<pxh::Screen> screen_;
  std::FILE* tsv_ = nullptr;
  int waits_ = 0;
  bool afterWait_ = false;  // the last hold was a wait
  int holds_ = 0;
  bool writeFailed_ = false;
};

int Main(const std::vector<std::string>& argv) {
  Options options;
  if (const int parsed = ParseOptions(argv, options)) return parsed == 1 ? 0 : 2;

  // The sheets are opened relative to the current folder, so everything else
  // is resolved before moving there.
  std::error_code ec;
  if (!fs::is_directory(toolkit::PathOf(options.sheets), ec)) {
    return Usage(Quoted(options.sheets) + " is not a folder (--sheets)");
  }
  const fs::path out = fs::absolute(toolkit::PathOf(options.out), ec);
  if (ec) return Usage("cannot resolve " + Quoted(options.out) + " (--out): " + ec.message());
  if (fs::exists(out, ec) && !fs::is_directory(out, ec)) {
    return Usage(Quoted(options.out) + " exists and is not a folder (--out)");
  }
  fs::create_directories(out, ec);
  if (ec) return Usage("cannot create " + Quoted(options.out) + " (--out): " + ec.message());
  fs::current_path(toolkit::PathOf(options.sheets), ec);
  if (ec) return Usage("cannot enter " + Quoted(options.sheets) + " (--sheets): " + ec.message());

  Capture capture(toolkit::TextOf(out), options.allHolds);
  if (!capture.Open()) return 2;

  pxh::Reset();
  bool gaveUp = false;
  pxh::At(kGiveUpMs, [&gaveUp] {
    gaveUp = true;
    pxh::PressCloseButton();
  });
  pxh::OnHold([&capture](const pxh::Hold& hold) { capture.OnHold(hold); });
  char commandLine[] = "";
  const int status = WinMain(GetModuleHandleA(NULL), NULL, commandLine, SW_SHOWNORMAL);
  pxh::OnHold({});

  if (gaveUp) {
    std::fprintf(stderr, "pixshow-capture: the presentation did not end; gave up after %d waits\n",
                 capture.Waits());
    return 3;
  }
  if (capture.WriteFailed()) return 2;
  return status;
}

}  // namespace

TOOLKIT_MAIN(Main)
