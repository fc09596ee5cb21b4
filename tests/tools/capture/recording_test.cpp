// pixshow-capture --gif and --video, read back by other programs than the
// writers: ImageMagick composes the GIF's frames, ffprobe and ffmpeg decode
// the video. Each is compared with the pictures --all-holds writes in the
// same run, at every hold's moment of the recording's timeline.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "raster/sheets.h"
#include "tests/support/tools.h"
#include "tests/support/world.h"

namespace {

using namespace pxtest;

// The six sheets as noise: every pixel differs from its neighbours, the
// hardest art for a video encoder.
void WriteNoiseArt(const std::string& dir) {
  for (int s = 0; s < SheetCount; s++) {
    const SheetFormat& f = ImageSheets[s];
    WriteBytes(dir + "/" + f.fileName, MakeSheet(s + 1, f.imageWidth * f.imageHeight, 40));
  }
}

// One hold's place on the recording's timeline: a pause for its length, a
// wait for the waits' length.
struct Timed {
  std::string picture;
  bool wait;
  uint64_t startMs, lengthMs;
};
std::vector<Timed> Timeline(const std::string& holdsTsv, uint64_t waitMs, uint64_t* totalMs) {
  std::vector<Timed> timeline;
  *totalMs = 0;
  for (const HoldLine& hold : ReadHoldList(holdsTsv)) {
    const bool wait = hold.kind == "wait";
    timeline.push_back({hold.name, wait, *totalMs, wait ? waitMs : hold.pauseMs});
    *totalMs += timeline.back().lengthMs;
  }
  return timeline;
}

// A hold picture as RGB, each pixel `scale` times larger.
std::vector<uint8_t> Enlarged(const std::string& png, int scale) {
  const Picture p = LoadPicture(png);
  std::vector<uint8_t> rgb;
  for (int y = 0; y < H * scale; y++)
    for (int x = 0; x < W * scale; x++)
      for (int c = 0; c < 3; c++)
        rgb.push_back(p.rgb[p.indices[(y / scale) * W + x / scale] * 3 + c]);
  return rgb;
}

double Psnr(const std::vector<uint8_t>& a, const uint8_t* b) {
  double sum = 0;
  for (size_t i = 0; i < a.size(); i++) sum += (a[i] - b[i]) * double(a[i] - b[i]);
  return sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * a.size() / sum);
}

std::vector<std::string> Args(std::vector<std::string> args, const std::vector<std::string>& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

// The GIF, composed frame by frame as a viewer shows it, matches every hold's
// picture from that hold's moment, and lasts as long as the timeline.
TEST(Recording, GifShowsEveryHoldPictureForItsTime) {
  const struct {
    bool noise;
    std::vector<std::string> options;
    int scale;
    uint64_t waitMs;
  } cases[] = {{false, {}, 1, 3000}, {true, {"--scale", "2", "--wait-seconds", "0.25"}, 2, 250}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.noise ? "noise" : "sample art");
    TempDir dir;
    if (c.noise) WriteNoiseArt(dir.Path());
    const RunResult run = RunTool(
        dir.Path(), PIXSHOW_CAPTURE_EXE,
        Args({"--sheets", c.noise ? dir.Path() : SampleArt(), "--all-holds", "--gif", "a.gif"},
             c.options));
    if (run.err.find("not available") != std::string::npos) GTEST_SKIP() << run.err;
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<uint8_t> gif = ReadBytes(dir / "a.gif");
    const std::string loopsForEver("NETSCAPE2.0\x03\x01\x00\x00\x00", 16);  // 0: for ever
    EXPECT_NE(std::string(gif.begin(), gif.end()).find(loopsForEver), std::string::npos);
    if (!c.noise) {
      EXPECT_LT(gif.size(), 2000000u);
    }
    const RunResult delays = RunTool(dir.Path(), "identify", {"-format", "%T %W %H\n", "a.gif"});
    const RunResult frames = RunTool(dir.Path(), "convert", {"a.gif", "-coalesce", "rgb:-"});
    ASSERT_EQ(frames.status, 0) << frames.err;
    std::istringstream lines(delays.out);
    std::vector<uint64_t> ends;  // hundredths of a second
    for (int delay, w, h; lines >> delay >> w >> h;) {
      EXPECT_TRUE(w == W * c.scale && h == H * c.scale);
      ends.push_back((ends.empty() ? 0 : ends.back()) + delay);
    }
    const size_t frameBytes = size_t(W) * H * 3 * c.scale * c.scale;
    ASSERT_EQ(frames.out.size(), ends.size() * frameBytes);
    uint64_t totalMs = 0;
    for (const Timed& hold : Timeline(dir / "capture/holds.tsv", c.waitMs, &totalMs)) {
      if (hold.lengthMs == 0) continue;
      size_t shown = 0;
      while (shown < ends.size() && ends[shown] <= (hold.startMs + 5) / 10) shown++;
      ASSERT_LT(shown, ends.size()) << hold.picture;
      const auto* rgb = reinterpret_cast<const uint8_t*>(frames.out.data()) + shown * frameBytes;
      EXPECT_TRUE(Enlarged(dir / ("capture/" + hold.picture), c.scale) ==
                  std::vector<uint8_t>(rgb, rgb + frameBytes))
          << hold.picture << " at " << hold.startMs << " ms";
    }
    EXPECT_EQ(ends.back(), totalMs / 10);
  }
}

#ifdef PIXSHOW_PRESENTATION_GIF
// The README's GIF, as this build recorded it, has the frames and delays of
// the committed one (scripts/update-golden writes it again).
TEST(Recording, TheReadmesGifIsThePresentationAsRecordedNow) {
  std::vector<RunResult> decoded;
  for (const std::string& gif :
       {std::string(PIXSHOW_PRESENTATION_GIF), SourcePath("docs/presentation.gif")}) {
    decoded.push_back(RunTool(".", "identify", {"-format", "%T %W %H %X %Y\n", gif}));
    decoded.push_back(RunTool(".", "convert", {gif, "-coalesce", "rgb:-"}));
    ASSERT_EQ(decoded.back().status, 0) << decoded.back().err;
  }
  EXPECT_EQ(decoded[0].out, decoded[2].out) << "the frames' delays and places differ";
  EXPECT_TRUE(decoded[1].out == decoded[3].out) << "a frame differs";
  EXPECT_LT(ReadBytes(SourcePath("docs/presentation.gif")).size(), 300000u);
}
#endif

// The video: its size and length, and the frame in the middle of every wait
// near the capture (PSNR), on noise-like art, for both kinds of file.
TEST(Recording, VideoHoldsEveryWaitCloseToTheCapture) {
  for (const std::string name : {"a.webm", "a.mp4"}) {
    SCOPED_TRACE(name);
    TempDir dir;
    WriteNoiseArt(dir.Path());
    const RunResult run =
        RunTool(dir.Path(), PIXSHOW_CAPTURE_EXE,
                {"--sheets", dir.Path(), "--all-holds", "--video", name, "--wait-seconds", "1"});
    if (run.err.find("not available") != std::string::npos ||
        run.err.find("cannot encode") != std::string::npos) {
      GTEST_SKIP() << run.err;
    }
    ASSERT_EQ(run.status, 0) << run.err;
    const RunResult probe =
        RunTool(dir.Path(), "ffprobe",
                {"-v", "error", "-select_streams", "v", "-show_entries",
                 "stream=width,height,r_frame_rate:format=duration", "-of", "csv=p=0:nk=1", name});
    uint64_t totalMs = 0;
    const std::vector<Timed> timeline = Timeline(dir / "capture/holds.tsv", 1000, &totalMs);
    int width = 0, height = 0;
    double duration = 0;
    char rate[16] = "";
    ASSERT_EQ(
        std::sscanf(probe.out.c_str(), "%d,%d,%15[0-9/]\n%lf", &width, &height, rate, &duration), 4)
        << probe.out << probe.err;
    EXPECT_TRUE(width == 1280 && height == 960 && std::string(rate) == "30/1") << probe.out;
    EXPECT_NEAR(duration, totalMs / 1000.0, 1 / 30.0);
    std::string select, pictures;
    for (const Timed& hold : timeline) {
      if (!hold.wait) continue;
      select += (select.empty() ? "eq(n\\," : "+eq(n\\,") +
                std::to_string((hold.startMs + hold.lengthMs / 2) * 30 / 1000) + ")";
      pictures += hold.picture + " ";
    }
    const RunResult frames = RunTool(dir.Path(), "ffmpeg",
                                     {"-v", "error", "-i", name, "-vf", "select=" + select,
                                      "-vsync", "0", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
    const size_t frameBytes = size_t(1280) * 960 * 3;
    ASSERT_EQ(frames.out.size(), 8 * frameBytes) << frames.err;
    std::istringstream names(pictures);
    std::string picture;
    for (int n = 0; names >> picture; n++) {
      const double psnr =
          Psnr(Enlarged(dir / ("capture/" + picture), 2),
               reinterpret_cast<const uint8_t*>(frames.out.data()) + n * frameBytes);
      EXPECT_GE(psnr, 35) << picture;
      std::printf("%s %s: %.1f dB\n", name.c_str(), picture.c_str(), psnr);
    }
  }
}

// Outputs that must not be written are refused before anything is, with one
// line; a file that cannot be finished (here a file-size limit, as a full
// disk) leaves nothing behind; a link is replaced, never written through.
TEST(Recording, RefusesOutputsItMustNotWriteAndLeavesNoPartFile) {
  const std::string ports = SampleArt() + "/ports.pix";
  const struct {
    const char* what;
    std::vector<std::string> args;
    const char* error;  // empty: written
    std::vector<std::string> left;
  } cases[] = {
      {"old", {"--gif", "a.gif"}, "a.gif\" exists: give --force to replace it", {"a.gif"}},
      {"sheet", {"--gif", "a.gif", "--force"}, "is the image sheet", {"a.gif"}},
      {"fifo", {"--gif", "a.gif", "--force"}, "a.gif\": not a regular file", {"a.gif"}},
      {"", {"--gif", "/dev/null", "--force"}, "\"/dev/null\": not a regular file", {}},
      {"", {"--gif", "nowhere/a.gif"}, "a.gif\": no folder", {}},
      {"", {"--video", "a.avi"}, "--video writes .webm (VP9) or .mp4 (H.264)", {}},
      {"full", {"--gif", "a.gif"}, "a.gif\": File too large", {}},
      {"full", {"--video", "a.webm"}, "a.webm\": File too large", {}},
      {"dangling", {"--gif", "a.gif", "--force"}, "", {"a.gif"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[1] + " " + c.what);
    TempDir dir;
    const std::string what = c.what, out = dir / "a.gif";
    if (what == "old") WriteBytes(out, {'o', 'l', 'd'});
    if (what == "sheet") std::filesystem::create_symlink(ports, out);
    if (what == "fifo") mkfifo(out.c_str(), 0600);
    if (what == "dangling") std::filesystem::create_symlink(dir / "elsewhere", out);
    std::vector<std::string> args = Args({"--sheets", SampleArt()}, c.args);
    const RunResult r =
        what == "full"
            ? RunTool(dir.Path(), "/bin/sh",
                      Args({"-c", "ulimit -f 40 && exec \"$0\" \"$@\"", PIXSHOW_CAPTURE_EXE}, args))
            : RunTool(dir.Path(), PIXSHOW_CAPTURE_EXE, args);
    if (r.err.find("not available") != std::string::npos) GTEST_SKIP() << r.err;
    EXPECT_EQ(List(dir.Path()), c.left);
    if (!*c.error) {
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(out)));
      continue;
    }
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_TRUE(what != "old" || ReadBytes(out) == (std::vector<uint8_t>{'o', 'l', 'd'}));
  }
}

// Ended by a signal while recording: one line, no part file, and the file
// of that name keeps what it held.
TEST(Recording, ASignalWhileRecordingLeavesTheOldFile) {
  TempDir dir;
  const std::string out = dir / "a.webm", err = dir / "err";
  WriteBytes(out, {'o', 'l', 'd'});
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.Path().c_str()) == 0 && freopen(err.c_str(), "w", stderr))
      execl(PIXSHOW_CAPTURE_EXE, PIXSHOW_CAPTURE_EXE, "--sheets", SampleArt().c_str(), "--video",
            "a.webm", "--force", static_cast<char*>(nullptr));
    _exit(127);
  }
  bool recording = false;
  for (int i = 0; i < 6000 && !recording; i++) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    for (const std::string& name : List(dir.Path())) recording |= name.rfind(".pixtmp-", 0) == 0;
    if (waitpid(pid, nullptr, WNOHANG) == pid) break;  // ended: --video is not available
  }
  if (!recording) GTEST_SKIP() << ReadBytes(err).size();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
  const std::vector<uint8_t> said = ReadBytes(err);
  EXPECT_EQ(std::string(said.begin(), said.end()),
            "pixshow-capture: interrupted: \"" + out + "\" was not written\n");
  EXPECT_EQ(List(dir.Path()), (std::vector<std::string>{"a.webm", "err"}));
  EXPECT_EQ(ReadBytes(out), (std::vector<uint8_t>{'o', 'l', 'd'}));
}

}  // namespace
