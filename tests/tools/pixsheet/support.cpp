#include "support.h"

#include <png.h>

#include <algorithm>
#include <cstring>

#include "devices/devices.h"

namespace pstest {

void PixsheetTest::ExpectFailure(const RunResult& r, const std::string& mentions) {
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind("pixsheet: ", 0), 0u) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_NE(r.err.find(mentions), std::string::npos) << "expected '" << mentions << "' in: " << r.err;
}

const std::vector<Rgb>& ProgramColours() {
  static const std::vector<Rgb> colours = [] {
    PALETTEENTRY entries[256];
    BuildPaletteEntries(entries);
    std::vector<Rgb> c(256);
    for (int i = 0; i < 256; ++i) c[i] = {entries[i].peRed, entries[i].peGreen, entries[i].peBlue};
    return c;
  }();
  return colours;
}

void ProgramRgb(uint8_t rgb[256][3]) {
  for (int i = 0; i < 256; ++i) {
    rgb[i][0] = ProgramColours()[i].r;
    rgb[i][1] = ProgramColours()[i].g;
    rgb[i][2] = ProgramColours()[i].b;
  }
}

int LowestIndexOf(Rgb c) {
  for (int i = 0; i < 256; ++i) {
    const Rgb p = ProgramColours()[i];
    if (p.r == c.r && p.g == c.g && p.b == c.b) return i;
  }
  return -1;
}

pngio::Image LoadPng(const std::string& path) {
  pngio::Image png;
  std::string error;
  EXPECT_TRUE(pngio::ReadPng(path, &png, &error)) << error;
  return png;
}

void SaveIndexed(const std::string& path, int w, int h, const uint8_t* indices) {
  uint8_t rgb[256][3];
  ProgramRgb(rgb);
  std::string error;
  ASSERT_TRUE(pngio::WriteIndexedPng(path, w, h, indices, w, rgb, &error)) << error;
}

std::vector<uint8_t> MakeSheet(int w, int h, int count) {
  std::vector<uint8_t> bytes(static_cast<size_t>(w) * h * count);
  // 7 is odd, so any 256 consecutive bytes hold every value; the image
  // number shifts each image's pattern.
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / (static_cast<size_t>(w) * h) * 3);
  return bytes;
}

void WritePlainPng(const std::string& path, int w, int h, int channels, const std::vector<uint8_t>& samples,
                   bool sixteen) {
  ASSERT_EQ(samples.size(), static_cast<size_t>(w) * h * channels);
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(w);
  image.height = static_cast<png_uint_32>(h);
  const png_uint_32 formats[] = {PNG_FORMAT_GRAY, PNG_FORMAT_GA, PNG_FORMAT_RGB, PNG_FORMAT_RGBA};
  image.format = formats[channels - 1] | (sixteen ? PNG_FORMAT_FLAG_LINEAR : 0);
  // Linear 16-bit samples are stored as given when there is no alpha.
  std::vector<uint16_t> wide(samples.begin(), samples.end());
  for (auto& v : wide) v = static_cast<uint16_t>(v * 257);
  const void* data = sixteen ? static_cast<const void*>(wide.data()) : samples.data();
  ASSERT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, data, 0, nullptr)) << image.message;
}

}  // namespace pstest
