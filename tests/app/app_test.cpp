// The program from its entry point: the command line, and set-up failures (status
// 2, one line on stderr, no presentation, a clean teardown). Whole runs: tests/show;
// a missing sheet: tests/tools/capture; main()'s quoting: tests/install.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "pixshow_version.h"
#include "shell/shell.h"
#include "tests/support/world.h"

namespace {

using namespace pxtest;

TEST(Program, SetUpFailuresEndWithStatusTwoAndSkipThePresentation) {
  ScratchDirectory dir;
  CopySampleArt(dir);
  const struct {
    const char* operation;
    HRESULT error;
    const char* said;
  } cases[] = {
      {"RegisterClassExA", 0, "pixshow: cannot register the window class\n"},
      {"CreateWindowExA", 0, "pixshow: cannot create the main window\n"},
      {"IDirectInput7::CreateDeviceEx@mouse", DIERR_DEVICENOTREG,
       "pixshow: cannot create the mouse device\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.operation);
    ResetProgram();
    pxh::InjectFault(c.operation, c.error);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RunProgram(), ExitSetUpFailed);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.said);
    EXPECT_EQ(CountCalls("PeekMessageA"), 0);
    ExpectCleanEnd();
  }
  // Sheets missing are named before the window is made.
  ScratchDirectory empty;
  ResetProgram();
  pxh::InjectFault("RegisterClassExA", 0);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(RunProgram(), ExitSetUpFailed);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "pixshow: the folder \"" + empty.path() +
                "\" lacks ports.pix, button.pix, Divadude.pix, WarTiles.pix, Pieces.pix and "
                "Borders.pix: \"Load Failure\" ends the show where it first draws from one\n"
                "pixshow: cannot register the window class\n");
}

TEST(Program, CommandLineIsAnsweredBeforeTheWindowOrDisplay) {
  ScratchDirectory dir;
  ASSERT_EQ(mkdir("art", 0755), 0);
  dir.WriteFile("plain.pix", {1});
  const std::string help = "usage: pixshow [OPTIONS] [FOLDER]\n";
  struct Case {
    const char* line;
    int status;
    std::string out, err;
    const char* call = nullptr;
  };
  const std::string longValue(5000, '1'), longDelay = "--delay " + longValue,
                                          longJoined = "--delay=" + longValue,
                                          longFolder = "-- " + longValue;
  const std::string tooLong = "pixshow: the value of --delay is too long (4095 characters at most)";
  const char* const tryHelp = " (try 'pixshow --help')\n";
  const Case cases[] = {
      {longDelay.c_str(), ExitBadCommandLine, "", tooLong + tryHelp},
      {longJoined.c_str(), ExitBadCommandLine, "", tooLong + tryHelp},
      {longFolder.c_str(), ExitBadCommandLine, "",
       "pixshow: argument too long (4095 characters at most): '" + longValue.substr(0, 40) +
           "...'" + tryHelp},
      {"--help", ExitPresented, help, ""},
      {"art --help", ExitPresented, help, ""},
      {"--version", ExitPresented, "pixshow " PIXSHOW_VERSION "\n", ""},
      {"--window --scale=fit --help", ExitPresented, help, ""},
      {"--full", ExitBadCommandLine, "",
       "pixshow: unknown option '--full' (try 'pixshow --help')\n"},
      {"--scale 0", ExitBadCommandLine, "",
       "pixshow: --scale takes auto, integer, fit, stretch or 1 to 16, not '0' (try 'pixshow "
       "--help')\n"},
      {"art \"art\"", ExitBadCommandLine, "",
       "pixshow: one FOLDER at most; also given 'art' (try 'pixshow --help')\n"},
      {"\"no such art\"", ExitBadCommandLine, "",
       "pixshow: cannot play the folder \"no such art\": no such folder\n",
       "SetCurrentDirectoryA no such art"},
      {"plain.pix", ExitBadCommandLine, "",
       "pixshow: cannot play the folder \"plain.pix\": not a folder\n",
       "SetCurrentDirectoryA plain.pix"},
      {"--screen 9", ExitBadCommandLine, "",
       "pixshow: --screen takes a screen from 1 to 8, not '9' (try 'pixshow --help')\n"},
      {"--delay=0", ExitBadCommandLine, "",
       "pixshow: --delay takes seconds above 0, up to a day, not '0' (try 'pixshow --help')\n"},
      {"--loop --screen", ExitBadCommandLine, "",
       "pixshow: --screen needs a value (try 'pixshow --help')\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    ResetProgram();
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(WinMain(NULL, NULL, const_cast<LPSTR>(c.line), SW_SHOWNORMAL), c.status);
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.substr(0, c.out.size()), c.out);
    EXPECT_EQ(out.empty(), c.out.empty());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.err);
    EXPECT_EQ(pxh::CallLog(),
              c.call ? std::vector<std::string>{c.call} : std::vector<std::string>{});
    EXPECT_EQ(std::filesystem::current_path().string(), dir.path());
  }
  // The window choices reach the platform layer.
  EXPECT_STREQ(std::getenv("PIXSHOW_WINDOWED"), "1");
  EXPECT_STREQ(std::getenv("PIXSHOW_SCALE"), "fit");
  unsetenv("PIXSHOW_WINDOWED");
  unsetenv("PIXSHOW_SCALE");
}

}  // namespace
