// Message pumping and the Escape key, on the virtual clock.
#include <gtest/gtest.h>

#include <filesystem>

#include "devices/devices.h"
#include "shell/shell.h"
#include "tests/support/world.h"

namespace {

using namespace pxtest;

TEST(Shell, PumpingServesWaitingMessagesAndEscapeHeldClosesTheWindowOnce) {
  ASSERT_TRUE(StartProgram());
  pxh::ClearCallLog();
  // The new window's WM_PAINT is answered once and does not come back;
  // Escape up changes nothing.
  PumpPendingMessages();
  PumpPendingMessages();
  EXPECT_EQ(CountCalls("DispatchMessageA"), 1);
  EXPECT_EQ(g_quitRequested, 0);
  EXPECT_TRUE(pxh::WindowExists());

  // Every pass sees Escape and posts WM_CLOSE: the first closes the window
  // (WM_QUIT posted once); the later ones fail silently.
  pxh::SetKey(VK_ESCAPE, true);
  PumpPendingMessages();
  pxh::SetKey(VK_ESCAPE, false);
  EXPECT_EQ(g_quitRequested, 1);
  EXPECT_FALSE(pxh::WindowExists());
  EXPECT_EQ(CountCalls("PostQuitMessage"), 1);
  ShutdownDevices();
  ExpectCleanEnd();
}

TEST(CommandLine, SplitAndUnquotedAsTheWindowsRuntimeDoes) {
  struct Case {
    const char* line;
    std::vector<std::string> arguments;
  };
  const Case cases[] = {
      {"", {}},
      {" one  two\tthree ", {"one", "two", "three"}},
      {"\"my art\" next", {"my art", "next"}},
      {"C:\\Games\\art", {"C:\\Games\\art"}},
      {"\"C:\\My Art\\\\\" next", {"C:\\My Art\\", "next"}},
      {"a\\\"b a\\\\\\\"b", {"a\"b", "a\\\"b"}},
      {"\"say \"\"hi\"\"\"", {"say \"hi\""}},
      {"ab\"c d\"e \"\"", {"abc de", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    std::vector<std::string> arguments;
    char argument[64];
    int tooLong = 0;
    const char* cursor = c.line;
    while ((cursor = ReadArgument(cursor, argument, sizeof(argument), &tooLong)) != nullptr) {
      EXPECT_FALSE(tooLong);
      arguments.push_back(argument);
    }
    EXPECT_EQ(arguments, c.arguments);
  }
  char shortBuffer[4];
  int tooLong = 0;
  EXPECT_NE(ReadArgument("\"abcdef\"", shortBuffer, sizeof(shortBuffer), &tooLong), nullptr);
  EXPECT_TRUE(tooLong);
  EXPECT_STREQ(shortBuffer, "abc");
}

TEST(SampleArt, FoundBesideTheProgramInSampleOrInTheInstalledShareFolder) {
  ScratchDirectory dir;
  const char* const names[] = {"a.pix", "b.pix"};
  for (std::string folder : {"zip", "build/sample", "usr/bin", "usr/share/pixshow/sample", "half"})
    std::filesystem::create_directories(folder);
  for (std::string sheet : {"zip/", "build/sample/", "usr/share/pixshow/sample/"})
    for (const char* name : names) dir.WriteFile(sheet + name, {1});
  dir.WriteFile("half/a.pix", {1});
  const char* const cases[][2] = {
      {"zip/pixshow.exe", "zip"},
      {"build/pixshow", "build/sample"},
      {"usr/bin/pixshow", "usr/share/pixshow/sample"},
      {"half/pixshow", nullptr},  // one sheet is not the sample
  };
  for (const auto& c : cases) {
    char folder[MaxPathSize] = "";
    EXPECT_EQ(FindSampleFolder((dir.path() + "/" + c[0]).c_str(), names, 2, folder, MaxPathSize),
              c[1] != nullptr);
    EXPECT_EQ(folder, c[1] ? dir.path() + "/" + c[1] : "") << c[0];
  }
}

// Before the screen is taken: one line naming the folder and the sheets it
// lacks or holds under other capitals (on Linux, where they do not open).
TEST(SampleArt, SheetsMissingOrMiscapitalisedAreNamedWithTheFolder) {
  const char* const names[] = {"ports.pix", "button.pix", "Divadude.pix"};
  const std::string ends = ": \"Load Failure\" ends the show where it first draws from one\n";
  const struct {
    std::vector<std::string> files;
    std::string said;  // after the folder
  } cases[] = {
      {{"ports.pix", "button.pix", "Divadude.pix"}, ""},
      {{"ports.pix", "button.pix"}, "lacks Divadude.pix"},
      {{}, "lacks ports.pix, button.pix and Divadude.pix"},
      {{"PORTS.PIX", "divadude.pix", "button.pix"},
       "has \"PORTS.PIX\" for ports.pix and \"divadude.pix\" for Divadude.pix (names are exact)"},
      {{"Ports.pix"},
       "lacks button.pix and Divadude.pix, and has \"Ports.pix\" for ports.pix (names "
       "are exact)"},
  };
  for (const auto& c : cases) {
    ScratchDirectory dir;
    for (const std::string& file : c.files) dir.WriteFile(file, {1});
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ReportMissingSheets(names, 3), !c.said.empty());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              c.said.empty() ? "" : "pixshow: the folder \"" + dir.path() + "\" " + c.said + ends);
  }
}

}  // namespace
