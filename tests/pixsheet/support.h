// Helpers for running pixsheet in a scratch folder and making PNG inputs.
#ifndef PIXSHOW_TESTS_PIXSHEET_SUPPORT_H
#define PIXSHOW_TESTS_PIXSHEET_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace pstest {

namespace fs = std::filesystem;

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

// Each test gets an empty working folder; pixsheet runs with it as the
// current directory.
class PixsheetTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  Result Run(const std::vector<std::string>& args);
  std::string At(const std::string& name) const { return (work_ / name).string(); }
  // The names in the working folder, sorted.
  std::vector<std::string> Files() const;

  // A failure as the tool must report it: status 2, one line on stderr that
  // says what went wrong, nothing on stdout.
  void ExpectFailure(const Result& r, const std::string& mentions);

  fs::path base_;
  fs::path work_;
};

std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// The program's set-up palette, from the program's palette code.
struct Rgb {
  uint8_t r, g, b;
};
const std::vector<Rgb>& ProgramColours();
// The same as red, green, blue rows, as pxpng::WriteIndexedPng takes them.
void ProgramRgb(uint8_t rgb[256][3]);
// The lowest index of exactly this colour, or -1.
int LowestIndexOf(Rgb c);

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
