// pixshow-capture, run as a child process: on the sample art it writes the
// golden pictures and hold list (docs/screen-N.png, tests/show/golden) and
// nothing else; bad options and a missing sheet end with their statuses.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "raster/sheets.h"
#include "tests/support/tools.h"
#include "tests/support/world.h"

namespace {

using namespace pxtest;

TEST(Capture, OnTheSampleArtWritesTheGoldenPicturesAndHoldList) {
  TempDir out;
  const std::vector<std::string> art = List(SampleArt());
  const RunResult run =
      RunTool(out.Path(), PIXSHOW_CAPTURE_EXE, {"--sheets", SampleArt(), "--all-holds"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  std::vector<std::string> expected = List(GoldenPath(""));
  for (int n = 1; n <= 8; n++) expected.push_back("screen-" + std::to_string(n) + ".png");
  std::sort(expected.begin(), expected.end());
  ASSERT_EQ(List(out / "capture"), expected);
  for (const std::string& name : expected) {
    const std::string written = out / ("capture/" + name);
    const std::string golden =
        name.rfind("screen-", 0) == 0 ? SourcePath("docs/" + name) : GoldenPath(name);
    if (name == "holds.tsv")
      EXPECT_TRUE(ReadBytes(written) == ReadBytes(golden)) << "holds.tsv differs";
    else
      EXPECT_EQ(Differences(LoadPicture(golden), LoadPicture(written)), "") << name;
  }
  EXPECT_EQ(List(SampleArt()), art);  // the sheets folder gets nothing
}

TEST(Capture, HelpAndBadOptions) {
  TempDir dir;
  const RunResult help = RunTool(dir.Path(), PIXSHOW_CAPTURE_EXE, {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--all-holds"), std::string::npos);
  std::ofstream(dir / "file") << "x";
  const std::vector<std::vector<std::string>> bad = {
      {"--frobnicate"},
      {"--sheets"},
      {"--sheets", dir / "missing"},
      {"--out", dir / "file"},
      {"--all-holds=yes"},
      {"extra"},
      {"--scale", "2"},
      {"--gif", "a.gif", "--scale", "0"},
      {"--gif", "a.gif", "--wait-seconds", "0"},
      {"--gif", "a.gif", "--wait-seconds", "1.005"},
      {"--video", "a.webm", "--scale", "1"},
      {"--gif", "a.gif", "--video", "a.gif"},
  };
  for (const auto& args : bad) {
    const RunResult r = RunTool(dir.Path(), PIXSHOW_CAPTURE_EXE, args);
    EXPECT_EQ(r.status, 2) << args[0];
    EXPECT_NE(r.err.find("usage: pixshow-capture"), std::string::npos) << args[0];
    EXPECT_EQ(r.out, "");
  }
  // A device is named as one, in one line.
  const RunResult device = RunTool(dir.Path(), PIXSHOW_CAPTURE_EXE, {"--out", "/dev/null"});
  EXPECT_EQ(device.status, 2);
  EXPECT_EQ(device.err, "pixshow-capture: \"/dev/null\" is a device, not a folder (--out)\n");
  // Nothing was created: not the default "capture" folder, not a picture.
  EXPECT_EQ(List(dir.Path()), std::vector<std::string>{"file"});
}

// The program end to end with one sheet missing, or a named pipe in its
// place: it stops where it first needs the sheet (never waiting on the pipe),
// with status 1 and a line naming it; the pictures until then stay and the
// sheets folder gets nothing.
TEST(Capture, EachMissingSheetEndsWithStatusOneAndKeepsThePicturesBefore) {
  for (int missing = 0; missing < SheetCount + 2; missing++) {
    const SheetFormat& gone = ImageSheets[missing % SheetCount];
    const bool pipe = missing >= SheetCount;  // portraits and button as pipes
    SCOPED_TRACE(std::string(gone.fileName) + (pipe ? " (a pipe)" : ""));
    TempDir sheets, out;
    for (const SheetFormat& s : ImageSheets) {
      if (&s != &gone) WriteBytes(sheets / s.fileName, ReadBytes(SampleArt() + "/" + s.fileName));
    }
    if (pipe) {
      ASSERT_EQ(mkfifo((sheets / gone.fileName).c_str(), 0600), 0);
    }
    const RunResult r =
        RunTool(out.Path(), PIXSHOW_CAPTURE_EXE, {"--sheets", sheets.Path(), "--out", "pics"});
    EXPECT_EQ(r.status, 1);
    const std::string why = pipe ? "not a regular file" : "No such file";
    EXPECT_NE(r.err.find(std::string("\"") + gone.fileName + "\": " + why), std::string::npos)
        << r.err;
    EXPECT_EQ(List(sheets.Path()).size(), pipe ? 6u : 5u);
    const std::vector<std::string> pictures = List(out / "pics");
    EXPECT_LT(pictures.size(), 8u);
    for (const std::string& name : pictures)
      EXPECT_EQ(
          Differences(LoadPicture(SourcePath("docs/" + name)), LoadPicture(out / ("pics/" + name))),
          "");
  }
}

// A picture that cannot be written ends the run: one line, status 2, and no
// picture after it, with the hold pictures or without.
TEST(Capture, StopsAtTheFirstPictureNotWritten) {
  const struct {
    const char* blocked;
    std::vector<std::string> more, written;
  } cases[] = {
      {"screen-3.png", {}, {"screen-1.png", "screen-2.png", "screen-3.png"}},
      {"hold-005.png",
       {"--all-holds"},
       {"hold-001.png", "hold-002.png", "hold-003.png", "hold-004.png", "hold-005.png", "holds.tsv",
        "screen-1.png"}},
  };
  for (const auto& c : cases) {
    TempDir out;
    const std::string blocked = out / "pics/" + c.blocked;
    std::filesystem::create_directories(blocked);  // a folder in its place
    std::vector<std::string> args = {"--sheets", SampleArt(), "--out", out / "pics"};
    args.insert(args.end(), c.more.begin(), c.more.end());
    const RunResult r = RunTool(out.Path(), PIXSHOW_CAPTURE_EXE, args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "pixshow-capture: cannot write \"" + blocked + "\": is a directory\n");
    EXPECT_EQ(List(out / "pics"), c.written);
  }
}

// Found by an adversarial round: a link among the outputs let a run write
// over a sheet, a pipe named holds.tsv hung it, and a run that stopped early
// left the earlier run's later pictures beside its own.
TEST(Capture, OutputsThatAreSheetsOrPipesAreRefusedAndEarlierPicturesRemoved) {
  TempDir sheets, out;
  for (const SheetFormat& s : ImageSheets) {
    if (s.fileName != std::string("Pieces.pix"))  // the run stops at the first map with pieces
      WriteBytes(sheets / s.fileName, ReadBytes(SampleArt() + "/" + s.fileName));
  }
  const std::vector<std::string> run = {"--sheets", sheets.Path(), "--out", out.Path(),
                                        "--all-holds"};
  const std::string ports = sheets / "ports.pix";
  const std::vector<uint8_t> portraits = ReadBytes(ports);
  std::filesystem::create_symlink(ports, out / "holds.tsv");
  for (int refusal = 0; refusal < 2; ++refusal) {
    const RunResult r = RunTool(out.Path(), PIXSHOW_CAPTURE_EXE, run);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(refusal ? "holds.tsv\": not a regular file" : "is the image sheet"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("usage"), std::string::npos);
    EXPECT_EQ(List(out.Path()), std::vector<std::string>{"holds.tsv"});
    std::filesystem::remove(out / "holds.tsv");
    ASSERT_EQ(mkfifo((out / "holds.tsv").c_str(), 0600), 0);
  }
  std::filesystem::remove(out / "holds.tsv");
  std::filesystem::create_symlink(sheets / "notes", out / "screen-2.png");  // not an input
  for (const std::string name : {"screen-1.png", "screen-8.png", "hold-999.png", "other.png"})
    WriteBytes(out / name, {1});
  const RunResult r = RunTool(out.Path(), PIXSHOW_CAPTURE_EXE, run);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("\"hold-999.png\", \"screen-8.png\""), std::string::npos) << r.err;
  EXPECT_EQ(ReadBytes(ports), portraits);
  EXPECT_FALSE(Exists(sheets / "notes"));  // the link was replaced, not written through
  const std::vector<std::string> left = List(out.Path());
  EXPECT_TRUE(std::count(left.begin(), left.end(), "other.png") &&
              std::count(left.begin(), left.end(), "holds.tsv") &&
              !std::count(left.begin(), left.end(), "screen-8.png"));
  EXPECT_EQ(
      Differences(LoadPicture(SourcePath("docs/screen-2.png")), LoadPicture(out / "screen-2.png")),
      "");
}

}  // namespace
