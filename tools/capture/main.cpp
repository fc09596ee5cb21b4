// pixshow-capture: plays the presentation without a screen and writes what
// it shows as PNG pictures, and the whole of it as an animated GIF or a video.
//
// It runs the program itself (WinMain) on the platform layer's headless
// backend, whose virtual clock makes every pause take no real time, and
// clicks the continue button at every wait. At each wait, once its screen is
// complete, the visible surface is written as screen-N.png: 640 x 480 palette
// indices with the palette in force as the PNG's colour table. A GIF or a
// video is recorded by playing the presentation once more for each
// (recording.h), after the pictures.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <system_error>
#include <tuple>

#include "pixshow_version.h"
#include "platform/portable/control/headless.h"
#include "platform/win32.h"
#include "raster/sheets.h"
#include "pngio.h"
#include "recording.h"
#include "toolkit.h"

namespace fs = std::filesystem;
using toolkit::Quoted;

namespace {

const char kUsage[] =
    "usage: pixshow-capture [--sheets DIR] [--out DIR] [--all-holds]\n"
    "                       [--gif FILE] [--video FILE] [--scale N]\n"
    "                       [--wait-seconds S] [--force]\n";

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
    "  --gif FILE    also record the whole presentation as an animated GIF that\n"
    "                loops for ever: at every hold it shows that hold's picture\n"
    "                exactly, for the pause's length, and a wait for\n"
    "                --wait-seconds, after which it goes on as after a click\n"
    "  --video FILE  the same as a video at 30 frames a second: FILE.webm is VP9,\n"
    "                FILE.mp4 H.264 (where the system's FFmpeg has libx264), both\n"
    "                4:4:4; the Linux build only\n"
    "  --scale N     enlarge the GIF and the video N times, with sharp pixels;\n"
    "                default: 1 for the GIF, 2 for the video (at least 2 there)\n"
    "  --wait-seconds S\n"
    "                how long a wait is shown in the GIF and the video, in\n"
    "                seconds (hundredths at most); default: 3\n"
    "  --force       replace a GIF or video file that exists\n"
    "  --help        this text\n"
    "  --version     the version\n"
    "\n"
    "With --gif or --video the PNG pictures are written only when --out or\n"
    "--all-holds is given too.\n"
    "\n"
    "Every file is written to a temporary file and renamed into place: a link\n"
    "in the output folder is replaced, never written through, and an output\n"
    "that is one of the image sheets is refused before anything is written.\n"
    "A GIF or video file that exists is refused without --force; one that is\n"
    "a folder, a pipe or a device always. Interrupted (Ctrl+C, SIGTERM), the\n"
    "file being written is removed, with one line saying so, and a file of its\n"
    "name keeps what it held. Files of this run's picture names that an earlier\n"
    "run left and this run did not write are removed, with a line on standard\n"
    "error saying which.\n"
    "\n"
    "Exit status: the program's own, 0 after the presentation, 1 when an image\n"
    "sheet cannot be opened or is not a regular file (with a line on standard\n"
    "error; pictures written until then stay, nothing is recorded); 2 for a bad\n"
    "option or folder, or a file that cannot be written (nothing more is written\n"
    "after it); 3 when the presentation does not come to an end.\n";

constexpr int kScreens = 8;
constexpr int kLargestScale = 8;
constexpr double kLongestWaitSeconds = 600;

struct Options {
  std::string sheets = ".";
  std::string out = "capture";
  bool allHolds = false;
  bool pictures = true;  // the PNG pictures are written
  std::string gif, video;
  int gifScale = 1, videoScale = 2;
  uint32_t waitMs = 3000;
  bool force = false;
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
                           {"--out", true},
                           {"--gif", true},
                           {"--video", true},
                           {"--scale", true},
                           {"--wait-seconds", true},
                           {"--force"}},
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
  options.gif = args.Value("--gif");
  options.video = args.Value("--video");
  const bool recording = !options.gif.empty() || !options.video.empty();
  options.pictures = !recording || args.Has("--out") || args.Has("--all-holds");
  for (const char* option : {"--scale", "--wait-seconds", "--force"}) {
    if (args.Has(option) && !recording)
      return Usage(std::string(option) + " goes with --gif or --video");
  }
  if (!options.gif.empty() && !options.video.empty() &&
      fs::absolute(toolkit::PathOf(options.gif)) == fs::absolute(toolkit::PathOf(options.video))) {
    return Usage("--gif and --video name the same file");
  }
  if (args.Has("--scale")) {
    const std::string text = args.Value("--scale");
    char* end = nullptr;
    const long scale = std::strtol(text.c_str(), &end, 10);
    if (*end || scale < 1 || scale > kLargestScale ||
        !std::isdigit(static_cast<unsigned char>(text[0])))
      return Usage("--scale takes a whole number from 1 to " + std::to_string(kLargestScale));
    if (!options.video.empty() && scale < 2)
      return Usage("--video needs --scale 2 or more (at least 1280 x 960)");
    options.gifScale = options.videoScale = static_cast<int>(scale);
  }
  if (args.Has("--wait-seconds")) {
    const std::string text = args.Value("--wait-seconds");
    static const std::regex& number = *new std::regex("[0-9]+(\\.[0-9]{1,2})?");
    const double seconds = std::regex_match(text, number) ? std::strtod(text.c_str(), nullptr) : 0;
    if (seconds < 0.01 || seconds > kLongestWaitSeconds)
      return Usage("--wait-seconds takes seconds from 0.01 to 600, in hundredths at most");
    options.waitMs = static_cast<uint32_t>(std::lround(seconds * 100)) * 10;
  }
  options.force = args.Has("--force");
  return 0;
}

// Before anything is written: a GIF or video file that exists is replaced
// only with --force, and never when it is (or links to) an image sheet, a
// folder, a pipe or a device. Its folder must be there.
bool CheckRecordingOutput(const fs::path& file, const std::string& sheets, bool force) {
  const std::string path = toolkit::TextOf(file);
  std::error_code ec;
  if (!fs::is_directory(file.parent_path(), ec)) {
    Refuse("cannot write " + Quoted(path) + ": no folder " +
           Quoted(toolkit::TextOf(file.parent_path())));
    return false;
  }
  const fs::file_status st = fs::symlink_status(file, ec);
  if (ec || !fs::exists(st)) return true;
  for (const SheetFormat& sheet : ImageSheets) {
    const std::string input = toolkit::TextOf(toolkit::PathOf(sheets) / sheet.fileName);
    if (toolkit::SameFile(path, input)) {
      Refuse("the output " + Quoted(path) + " is the image sheet " + Quoted(input) +
             ": choose another file");
      return false;
    }
  }
  if (!fs::is_regular_file(st) && !fs::is_symlink(st)) {
    Refuse("cannot write " + Quoted(path) + ": " +
           (fs::is_directory(st) ? "is a directory" : "not a regular file"));
    return false;
  }
  if (!force) {
    Refuse(Quoted(path) + " exists: give --force to replace it");
    return false;
  }
  return true;
}

// Records the presentation into `path` through the writer `open` makes.
bool WriteRecording(
    const std::string& path, uint32_t waitMs,
    const std::function<std::unique_ptr<capture::FrameSink>(std::FILE*, std::string*)>& open) {
  std::string error;
  if (toolkit::WriteFileReplacing(
          path,
          [&](std::FILE* f, std::string* why) {
            std::unique_ptr<capture::FrameSink> sink = open(f, why);
            return sink && capture::Record(*sink, waitMs, why);
          },
          &error, false)) {
    return true;
  }
  std::fprintf(stderr, "pixshow-capture: %s\n", error.c_str());
  return false;
}

class Capture {
 public:
  // Without `pictures` nothing is written: the presentation is only played.
  Capture(std::string out, bool allHolds, bool pictures)
      : out_(std::move(out)),
        allHolds_(allHolds),
        pictures_(pictures),
        frame_(new capture::Frame) {}

  // Writes holds.tsv and removes the pictures of this run's names that an
  // earlier run left and this one did not write (the one whose write failed
  // keeps what it held). Runs once: at the end, or as the program ends the
  // process from inside (a sheet that cannot be opened).
  void Finish() {
    if (finished_ || !pictures_) return;
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
    if (pictures_) capture::ReadFrame(*frame_);
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
      if (pictures_ && waits_ < kScreens &&
          !Write("screen-" + std::to_string(waits_ + 1) + ".png")) {
        return;
      }
      ++waits_;
      pxh::Click(0);  // read by this very pass of the wait
    }
  }

  bool WriteFailed() const { return writeFailed_; }
  int Waits() const { return waits_; }

 private:
  bool Write(const std::string& name) {
    std::string error;
    // A link in the output folder is replaced, never written through.
    if (!toolkit::WriteFileReplacing(
            out_ + "/" + name,
            [&](std::FILE* f, std::string* why) {
              return pngio::WriteIndexedPngTo(f, capture::kWidth, capture::kHeight,
                                              &frame_->pixels[0][0], capture::kWidth, frame_->rgb,
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
  bool pictures_;
  std::unique_ptr<capture::Frame> frame_;
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
  if (options.pictures && fs::exists(out, ec) && !fs::is_directory(out, ec)) {
    return Usage(Quoted(options.out) + " exists and is not a folder (--out)");
  }
  std::string gif, video;  // absolute
  for (auto [option, path, unavailable] :
       {std::make_tuple(&options.gif, &gif, capture::GifUnavailable()),
        std::make_tuple(&options.video, &video, capture::VideoUnavailable(options.video))}) {
    if (option->empty()) continue;
    if (!unavailable.empty()) return Refuse(unavailable);
    const fs::path file = fs::absolute(toolkit::PathOf(*option), ec);
    if (ec) return Refuse("cannot resolve " + Quoted(*option) + ": " + ec.message());
    if (!CheckRecordingOutput(file, options.sheets, options.force)) return 2;
    *path = toolkit::TextOf(file);
  }
  if (options.pictures && !CheckOutputs(out, options.sheets, options.allHolds)) return 2;
  if (options.pictures) fs::create_directories(out, ec);
  if (ec) return Refuse("cannot create " + Quoted(options.out) + " (--out): " + ec.message());
  fs::current_path(toolkit::PathOf(options.sheets), ec);
  if (ec) return Refuse("cannot enter " + Quoted(options.sheets) + " (--sheets): " + ec.message());

  // The pictures first; without them the presentation is played once all
  // the same, so that a sheet that cannot be opened ends the run before
  // anything is recorded.
  Capture capture(toolkit::TextOf(out), options.allHolds, options.pictures);
  g_capture = &capture;
  std::atexit([] {
    if (g_capture) g_capture->Finish();
  });
  bool gaveUp = false;
  const int status = capture::PlayPresentation(
      [&capture](const pxh::Hold& hold) { capture.OnHold(hold); }, &gaveUp);
  capture.Finish();
  g_capture = nullptr;

  if (gaveUp) {
    std::fprintf(stderr, "pixshow-capture: the presentation did not end; gave up after %d waits\n",
                 capture.Waits());
    return 3;
  }
  if (capture.WriteFailed()) return 2;
  if (status != 0) return status;
  if (!gif.empty() && !WriteRecording(gif, options.waitMs, [&](std::FILE* f, std::string* why) {
        return capture::OpenGif(f, options.gifScale, why);
      })) {
    return 2;
  }
  if (!video.empty() && !WriteRecording(video, options.waitMs, [&](std::FILE* f, std::string* why) {
        return capture::OpenVideo(f, video, options.videoScale, why);
      })) {
    return 2;
  }
  return 0;
}

}  // namespace

TOOLKIT_MAIN(Main)
