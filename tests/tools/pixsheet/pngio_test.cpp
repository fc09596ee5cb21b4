// The shared PNG library on its own: PNG kinds paint programs write that the
// tool tests do not make, and a write that fails keeping the file it replaces.
// (Damaged and truncated files are refused through pixsheet in bad_input_test.)
#include <gtest/gtest.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>

#include "pngio.h"
#include "support.h"
#include "toolkit.h"

namespace pstest {
namespace {

struct RawPng {
  int width = 0;
  int height = 0;
  int colourType = PNG_COLOR_TYPE_PALETTE;
  int bitDepth = 8;
  bool interlaced = false;
  std::vector<png_color> palette;
  std::vector<png_byte> trans;
  std::vector<std::vector<png_byte>> rows;  // packed as the file stores them
};

bool WriteRawCore(png_structp png, png_infop info, std::FILE* f, const RawPng* raw, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, f);
  png_set_IHDR(png, info, static_cast<png_uint_32>(raw->width), static_cast<png_uint_32>(raw->height),
               raw->bitDepth, raw->colourType, raw->interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!raw->palette.empty()) png_set_PLTE(png, info, raw->palette.data(), static_cast<int>(raw->palette.size()));
  if (!raw->trans.empty()) png_set_tRNS(png, info, raw->trans.data(), static_cast<int>(raw->trans.size()), nullptr);
  png_write_info(png, info);
  if (raw->bitDepth == 16) png_set_swap(png);  // rows hold little-endian samples
  png_write_image(png, rows);
  png_write_end(png, info);
  return true;
}

// Any PNG libpng can make, written with the low-level interface.
void WriteRaw(const std::string& path, RawPng raw) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep> rows;
  for (auto& row : raw.rows) rows.push_back(row.data());
  const bool ok = WriteRawCore(png, info, f, &raw, rows.data());
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
  ASSERT_TRUE(ok);
}

TEST(Pxpng, FourBitPaletteWithTransparencyKeepsIndicesAndAlpha) {
  RawPng raw;
  raw.width = 5;
  raw.height = 2;
  raw.bitDepth = 4;
  raw.palette = {{0, 0, 0}, {10, 20, 30}, {255, 0, 0}};
  raw.trans = {0, 128};  // index 0 transparent, index 1 half, index 2 opaque
  // Indices 0 1 2 1 0 / 2 2 1 1 0, two to a byte, high nibble first.
  raw.rows = {{0x01, 0x21, 0x00}, {0x22, 0x11, 0x00}};
  pxtest::TempDir dir;
  WriteRaw(dir / "4bit.png", raw);
  const pngio::Image img = LoadPng(dir / "4bit.png");
  ASSERT_TRUE(img.indexed);
  EXPECT_EQ(img.paletteSize, 3);
  EXPECT_EQ(img.indices, std::vector<uint8_t>({0, 1, 2, 1, 0, 2, 2, 1, 1, 0}));
  EXPECT_EQ(img.palette[1][2], 30);
  EXPECT_EQ(img.palette[0][3], 0);
  EXPECT_EQ(img.palette[1][3], 128);
  EXPECT_EQ(img.palette[2][3], 255);
  // RGBA of pixel 1 (index 1) and pixel 2 (index 2).
  EXPECT_EQ(std::vector<uint8_t>(img.rgba.begin() + 4, img.rgba.begin() + 12),
            std::vector<uint8_t>({10, 20, 30, 128, 255, 0, 0, 255}));
}

TEST(Pxpng, InterlacedSixteenBitGreyBecomesRgba) {
  RawPng raw;
  raw.width = 9;
  raw.height = 9;  // big enough for every Adam7 pass
  raw.colourType = PNG_COLOR_TYPE_GRAY;
  raw.bitDepth = 16;
  raw.interlaced = true;
  for (int y = 0; y < 9; ++y) {
    std::vector<png_byte> row;
    for (int x = 0; x < 9; ++x) {
      const int v = (y * 9 + x) * 3 * 257;  // an 8-bit value, widened exactly
      row.push_back(static_cast<png_byte>(v & 0xff));
      row.push_back(static_cast<png_byte>(v >> 8));
    }
    raw.rows.push_back(row);
  }
  pxtest::TempDir dir;
  WriteRaw(dir / "grey16.png", raw);
  const pngio::Image img = LoadPng(dir / "grey16.png");
  EXPECT_FALSE(img.indexed);
  ASSERT_EQ(img.rgba.size(), 81u * 4);
  for (int p = 0; p < 81; ++p) {
    ASSERT_EQ(img.rgba[p * 4 + 0], p * 3) << p;
    ASSERT_EQ(img.rgba[p * 4 + 1], p * 3) << p;
    ASSERT_EQ(img.rgba[p * 4 + 3], 255) << p;
  }
}

TEST(Pxpng, IndexedWriteHonoursTheStrideAndKeepsATargetOnFailure) {
  pxtest::TempDir dir;
  uint8_t rgb[256][3];
  ProgramRgb(rgb);
  // 3 x 2 pixels out of rows 5 bytes apart.
  const uint8_t surface[10] = {1, 2, 3, 99, 99, 4, 5, 6, 99, 99};
  std::string error;
  const std::string path = dir / "out.png";
  ASSERT_TRUE(pngio::WriteIndexedPng(path, 3, 2, surface, 5, rgb, &error)) << error;
  const pngio::Image img = LoadPng(path);
  EXPECT_EQ(img.indices, std::vector<uint8_t>({1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(img.paletteSize, 256);

  // Refused sizes and a failed write leave the file as it was, and no
  // temporary file behind.
  const auto before = ReadBytes(path);
  EXPECT_FALSE(pngio::WriteIndexedPng(path, 0, 2, surface, 5, rgb, &error));
  EXPECT_FALSE(pngio::WriteIndexedPng(path, 6, 2, surface, 5, rgb, &error));  // stride below width
  EXPECT_FALSE(toolkit::WriteFileReplacing(
      path, [](std::FILE* f, std::string* why) {
        std::fputs("half", f);
        *why = "stopped";
        return false;
      },
      &error));
  EXPECT_EQ(error, "cannot write \"" + path + "\": stopped");
  EXPECT_EQ(ReadBytes(path), before);
  EXPECT_EQ(pxtest::List(dir.Path()), std::vector<std::string>{"out.png"});
}

}  // namespace
}  // namespace pstest
