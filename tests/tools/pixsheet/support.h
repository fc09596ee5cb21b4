// Running pixsheet in a scratch folder, the program's colours, and PNG inputs.
#ifndef PIXSHOW_TESTS_PIXSHEET_SUPPORT_H
#define PIXSHOW_TESTS_PIXSHEET_SUPPORT_H

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "pixsheet.h"
#include "pngio.h"
#include "tests/support/tools.h"

namespace pxtest {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// pixsheet runs in an empty folder of each test's own.
class PixsheetTest : public ::testing::Test {
 protected:
  RunResult Run(const std::vector<std::string>& args) {
    return RunTool(work_.Path(), PIXSHEET_PATH, args);
  }
  std::string At(const std::string& name) const { return work_ / name; }
  std::vector<std::string> Files() const { return List(work_.Path()); }
  RunResult Ok(const std::vector<std::string>& args) {
    RunResult r = Run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    return r;
  }
  // Status 2, nothing on stdout, one line on stderr that names the fault.
  static void ExpectFailure(const RunResult& r, const std::string& mentions) {
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("pixsheet: ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find(mentions), std::string::npos)
        << "expected '" << mentions << "' in: " << r.err;
  }
  TempDir work_;
};

// The program's set-up palette as red, green, blue rows.
inline const uint8_t (&ProgramRgb())[256][3] {
  static const pixsheet::Palette palette = pixsheet::ProgramPalette();
  return palette.rgb;
}

inline pngio::Image LoadPng(const std::string& path) {
  pngio::Image png;
  std::string error;
  EXPECT_TRUE(pngio::ReadPng(path, &png, &error)) << error;
  return png;
}

// w x h indices as an indexed PNG with the program's palette.
inline void SaveIndexed(const std::string& path, int w, int h, const uint8_t* indices) {
  std::string error;
  ASSERT_TRUE(pngio::WriteIndexedPng(path, w, h, indices, w, ProgramRgb(), &error)) << error;
}

// `count` w x h images, every byte value in 256 bytes, neighbours differing.
inline Bytes PixSheet(int w, int h, int count) {
  Bytes bytes(static_cast<size_t>(w) * h * count);
  for (size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<uint8_t>(i * 7 + i / (bytes.size() / count) * 3);
  return bytes;
}

// A non-indexed PNG through libpng: 1 (grey), 2 (grey + alpha), 3 (RGB) or 4
// (RGBA) channels; 8-bit samples, or with sixteen each widened to v * 257.
inline void WritePlainPng(const std::string& path, int w, int channels, const Bytes& samples,
                          bool sixteen = false) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(w);
  image.height = static_cast<png_uint_32>(samples.size() / channels / w);
  const png_uint_32 formats[] = {PNG_FORMAT_GRAY, PNG_FORMAT_GA, PNG_FORMAT_RGB, PNG_FORMAT_RGBA};
  image.format = formats[channels - 1] | (sixteen ? PNG_FORMAT_FLAG_LINEAR : 0);
  std::vector<uint16_t> wide(samples.begin(), samples.end());
  for (auto& v : wide) v = static_cast<uint16_t>(v * 257);
  const void* data = sixteen ? static_cast<const void*>(wide.data()) : samples.data();
  ASSERT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, data, 0, nullptr)) << image.message;
}

}  // namespace pxtest

#endif
