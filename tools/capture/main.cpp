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
#include <regex>
#include <set>
#include <string>
#include <system_error>

#include "pixshow_version.h"
#include "platform/portable/control/headless.h"
#include "platform/win32.h"
#include "raster/sheets.h"
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
    "Every file is written to a temporary file and renamed into place: a link\n"
    "in the output folder is replaced, never written through, and an output\n"
    "that is one of the image sheets is refused before anything is written.\n"
    "Files of this run's names that an earlier run left and this run did not\n"
    "write are removed, with a line on standard error saying which.\n"
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

// A failure that is not the command line's: the reason alone.
int Refuse(const std::string& problem) {
  std::fprintf(stderr, "pixshow-capture: %s\n", problem.c_str());
  return 2;
}

// The names a run writes: screen-1.png to screen-8.png, and with the hold
// pictures hold-NNN.png and holds.tsv.
bool IsOutputName(const std::string& name, bool allHolds) {
  static const std::regex& screen = *new std::regex("screen-[1-8]\\.png");
  static const std::regex& hold = *new std::regex("hold-[0-9]{3,}\\.png|holds\\.tsv");
  return std::regex_match(name, screen) || (allHolds && std::regex_match(name, hold));
}

// Before anything is written: no output of this run may be (or link to) an
// image sheet, and holds.tsv must not be a pipe or device to wait on.
bool CheckOutputs(const fs::path& out, const std::string& sheets, bool allHolds) {
  std::error_code ec;
  for (fs::directory_iterator it(out, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = toolkit::TextOf(it->path().filename());
    if (!IsOutputName(name, allHolds)) continue;
    for (const SheetFormat& sheet : ImageSheets) {
      const std::string input = toolkit::TextOf(toolkit::PathOf(sheets) / sheet.fileName);
      if (toolkit::SameFile(toolkit::TextOf(it->path()), input)) {
        Refuse("the output " + Quoted(toolkit::TextOf(it->path())) + " is the image sheet " +
               Quoted(input) + ": choose another --out");
        return false;
      }
    }
    const fs::file_status st = it->symlink_status(ec);
    if (!ec && name == "holds.tsv" && st.type() != fs::file_type::regular &&
        st.type() != fs::file_type::symlink) {
      Refuse("cannot write " + Quoted(toolkit::TextOf(it->path())) + ": not a regular file");
      return false;
    }
  }
  return true;
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

  // Writes holds.tsv and removes the pictures of this run's names that an
  // earlier run left and this one did not write (the one whose write failed
  // keeps what it held). Runs once: at the end, or as the program ends the
  // process from inside (a sheet that cannot be opened).
  void Finish() {
    if (finished_) return;
    finished_ = true;
    std::string error;
    if (allHolds_ && !toolkit::WriteFileReplacing(
                         out_ + "/holds.tsv",
                         [this](std::FILE* f, std::string* why) {
                           if (std::fwrite(tsv_.data(), 1, tsv_.size(), f) == tsv_.size())
                             return true;
                           *why = std::strerror(errno);
                           return false;
                         },
                         &error, false)) {
      std::fprintf(stderr, "pixshow-capture: %s\n", error.c_str());
      writeFailed_ = true;
    }
    if (allHolds_) written_.insert("holds.tsv");
    std::vector<std::string> stale;
    std::error_code ec;
    for (fs::directory_iterator it(toolkit::PathOf(out_), ec), end; !ec && it != end;
         it.increment(ec)) {
      const std::string name = toolkit::TextOf(it->path().filename());
      const fs::file_type type = it->symlink_status(ec).type();
      if (ec || !IsOutputName(name, allHolds_) || written_.count(name) || name == failed_ ||
          (type != fs::file_type::regular && type != fs::file_type::symlink)) {
        continue;
      }
      if (fs::remove(it->path(), ec)) stale.push_back(name);
    }
    if (stale.empty()) return;
    std::sort(stale.begin(), stale.end());
    std::string names;
    for (const std::string& name : stale) names += (names.empty() ? "" : ", ") + Quoted(name);
    std::fprintf(stderr, "pixshow-capture: removed %zu picture%s of an earlier run from %s: %s\n",
                 stale.size(), stale.size() == 1 ? "" : "s", Quoted(out_).c_str(), names.c_str());
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
      char line[128];
      std::snprintf(line, sizeof line, "%s\t%llu\t%s\t%u\t%d\n", name,
                    static_cast<unsigned long long>(hold.atMs), wait ? "wait" : "pause",
                    static_cast<unsigned>(wait ? 0 : hold.pauseMs), screen);
      tsv_ += line;
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
    // A link in the output folder is replaced, never written through.
    if (!toolkit::WriteFileReplacing(
            out_ + "/" + name,
            [&](std::FILE* f, std::string* why) {
              return pngio::WriteIndexedPngTo(f, pxport::kScreenWidth, pxport::kScreenHeight,
                                              &screen_->pixels[0][0], pxport::kScreenWidth, rgb,
                                              why);
            },
            &error, false)) {
      std::fprintf(stderr, "pixshow-capture: %s\n", error.c_str());
      writeFailed_ = true;
      failed_ = name;
      pxh::PressCloseButton();
      return false;
    }
    written_.insert(name);
    return true;
  }

  std::string out_;
  bool allHolds_;
  std::unique_ptr<pxh::Screen> screen_;
  std::string tsv_;  // the lines of holds.tsv
  std::set<std::string> written_;
  std::string failed_;  // the picture that could not be written
  bool finished_ = false;
  int waits_ = 0;
  bool afterWait_ = false;  // the last hold was a wait
  int holds_ = 0;
  bool writeFailed_ = false;
};

Capture* g_capture = nullptr;  // finished by exit() when the program ends the process

int Main(const std::vector<std::string>& argv) {
  Options options;
  if (const int parsed = ParseOptions(argv, options)) return parsed == 1 ? 0 : 2;

  // The sheets are opened relative to the current folder, so everything else
  // is resolved before moving there.
  std::error_code ec;
  if (!fs::is_directory(toolkit::PathOf(options.sheets), ec)) {
    return Usage(Quoted(options.sheets) + " is not a folder (--sheets)");
  }
  // NUL or /dev/null is no place for pictures (and on Windows looks like a
  // file that is missing, or one that cannot be made).
  if (toolkit::IsDevice(options.out))
    return Refuse(Quoted(options.out) + " is a device, not a folder (--out)");
  const fs::path out = fs::absolute(toolkit::PathOf(options.out), ec);
  if (ec) return Refuse("cannot resolve " + Quoted(options.out) + " (--out): " + ec.message());
  if (fs::exists(out, ec) && !fs::is_directory(out, ec)) {
    return Usage(Quoted(options.out) + " exists and is not a folder (--out)");
  }
  if (!CheckOutputs(out, options.sheets, options.allHolds)) return 2;
  fs::create_directories(out, ec);
  if (ec) return Refuse("cannot create " + Quoted(options.out) + " (--out): " + ec.message());
  fs::current_path(toolkit::PathOf(options.sheets), ec);
  if (ec) return Refuse("cannot enter " + Quoted(options.sheets) + " (--sheets): " + ec.message());

  Capture capture(toolkit::TextOf(out), options.allHolds);
  g_capture = &capture;
  std::atexit([] {
    if (g_capture) g_capture->Finish();
  });

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
  capture.Finish();
  g_capture = nullptr;

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
