// The shared PNG library on its own: PNG kinds paint programs write that the
// tool tests do not make, and a write that fails keeping the file it replaces.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>

#include "support.h"
#include "toolkit.h"

namespace pxtest {
namespace {

// Any PNG libpng can make: rows packed as the file stores them, big-endian.
void WriteRaw(const std::string& path, int w, int depth, int type, bool interlaced,
              std::vector<Bytes> rows, const std::vector<png_color>& palette = {},
              const Bytes& trans = {}) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, f);
  png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(rows.size()), depth,
               type, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  if (!trans.empty())
    png_set_tRNS(png, info, trans.data(), static_cast<int>(trans.size()), nullptr);
  png_write_info(png, info);
  std::vector<png_bytep> pointers;
  for (auto& row : rows) pointers.push_back(row.data());
  png_write_image(png, pointers.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
}

TEST(Pngio, FourBitPaletteWithTransparencyAndInterlacedSixteenBitGrey) {
  TempDir dir;
  // Indices 0 1 2 1 0 / 2 2 1 1 0, two to a byte; index 0 transparent, 1 half, 2 opaque.
  WriteRaw(dir / "4bit.png", 5, 4, PNG_COLOR_TYPE_PALETTE, false,
           {{0x01, 0x21, 0x00}, {0x22, 0x11, 0x00}}, {{0, 0, 0}, {10, 20, 30}, {255, 0, 0}},
           {0, 128});
  const pngio::Image indexed = LoadPng(dir / "4bit.png");
  ASSERT_TRUE(indexed.indexed);
  EXPECT_EQ(indexed.paletteSize, 3);
  EXPECT_EQ(indexed.indices, Bytes({0, 1, 2, 1, 0, 2, 2, 1, 1, 0}));
  EXPECT_EQ(Bytes(indexed.rgba.begin(), indexed.rgba.begin() + 12),
            Bytes({0, 0, 0, 0, 10, 20, 30, 128, 255, 0, 0, 255}));

  // 9 x 9: big enough for every Adam7 pass; 8-bit values widened exactly.
  std::vector<Bytes> rows(9);
  for (int p = 0; p < 81; ++p)
    rows[p / 9].insert(rows[p / 9].end(),
                       {static_cast<uint8_t>(p * 3), static_cast<uint8_t>(p * 3)});
  WriteRaw(dir / "grey16.png", 9, 16, PNG_COLOR_TYPE_GRAY, true, rows);
  const pngio::Image grey = LoadPng(dir / "grey16.png");
  EXPECT_FALSE(grey.indexed);
  Bytes expected;
  for (int p = 0; p < 81; ++p)
    expected.insert(expected.end(), {static_cast<uint8_t>(p * 3), static_cast<uint8_t>(p * 3),
                                     static_cast<uint8_t>(p * 3), 255});
  EXPECT_EQ(grey.rgba, expected);
}

TEST(Pngio, IndexedWriteHonoursTheStrideAndKeepsATargetOnFailure) {
  TempDir dir;
  const std::string path = dir / "out.png";
  const uint8_t surface[10] = {1, 2, 3, 99, 99,
                               4, 5, 6, 99, 99};  // 3 x 2 out of rows 5 bytes apart
  std::string error;
  ASSERT_TRUE(pngio::WriteIndexedPng(path, 3, 2, surface, 5, ProgramRgb(), &error)) << error;
  EXPECT_EQ(LoadPng(path).indices, Bytes({1, 2, 3, 4, 5, 6}));
  // Refused sizes and a failed write leave the file as it was, and no temporary file behind.
  const Bytes before = ReadBytes(path);
  EXPECT_FALSE(pngio::WriteIndexedPng(path, 0, 2, surface, 5, ProgramRgb(), &error));
  EXPECT_FALSE(
      pngio::WriteIndexedPng(path, 6, 2, surface, 5, ProgramRgb(), &error));  // stride below width
  EXPECT_FALSE(toolkit::WriteFileReplacing(
      path,
      [](std::FILE* f, std::string* why) {
        std::fputs("half", f);
        *why = "stopped";
        return false;
      },
      &error));
  EXPECT_EQ(error, "cannot write \"" + path + "\": stopped");
  EXPECT_EQ(ReadBytes(path), before);
  EXPECT_EQ(List(dir.Path()), std::vector<std::string>{"out.png"});
}

}  // namespace
}  // namespace pxtest
