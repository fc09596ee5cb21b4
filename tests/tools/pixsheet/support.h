// Running pixsheet in a scratch folder, the program's colours, and PNG inputs.
#ifndef PIXSHOW_TESTS_PIXSHEET_SUPPORT_H
#define PIXSHOW_TESTS_PIXSHEET_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "pngio.h"
#include "tests/support/tools.h"

namespace pstest {

namespace fs = std::filesystem;
using pxtest::ReadBytes;
using pxtest::RunResult;
using Result = pxtest::RunResult;
using pxtest::WriteBytes;

// Each test gets an empty working folder; pixsheet runs with it as the
// current directory.
class PixsheetTest : public ::testing::Test {
 protected:
  RunResult Run(const std::vector<std::string>& args) { return pxtest::RunTool(work_.Path(), PIXSHEET_PATH, args); }
  std::string At(const std::string& name) const { return work_ / name; }
  std::vector<std::string> Files() const { return pxtest::List(work_.Path()); }

  // A failure as the tool must report it: status 2, one line on stderr that
  // says what went wrong, nothing on stdout.
  static void ExpectFailure(const RunResult& r, const std::string& mentions);

  pxtest::TempDir work_;
};

// The program's set-up palette, from the program's palette code.
struct Rgb {
  uint8_t r, g, b;
};
const std::vector<Rgb>& ProgramColours();
// The same as red, green, blue rows, as pngio::WriteIndexedPng takes them.
void ProgramRgb(uint8_t rgb[256][3]);
// The lowest index of exactly this colour, or -1.
int LowestIndexOf(Rgb c);

// The PNG at `path`, which must be readable.
pngio::Image LoadPng(const std::string& path);
// Writes w x h indices as an indexed PNG with the program's palette.
void SaveIndexed(const std::string& path, int w, int h, const uint8_t* indices);

// `count` images of w x h in which every byte value 0..255 occurs (given
// enough bytes) and neighbouring images differ.
std::vector<uint8_t> MakeSheet(int w, int h, int count);

// Writes a non-indexed PNG through libpng: channels 1 (grey), 2 (grey +
// alpha), 3 (RGB) or 4 (RGBA); 8-bit samples, or, with sixteen, each sample
// widened to 16 bits (v * 257).
void WritePlainPng(const std::string& path, int w, int h, int channels, const std::vector<uint8_t>& samples,
                   bool sixteen = false);

}  // namespace pstest

#endif
