// The shared PNG library on its own: PNG kinds paint programs write that the
// tool tests do not make, and a write that fails keeping the file it replaces.
#include <gtest/gtest.h>

#include <cstdio>

#include "support.h"
#include "toolkit.h"

namespace pxtest {
namespace {

// Two files of the fuzz corpus. 5 x 2 indices 0 1 2 1 0 / 2 2 1 1 0 at 4 bits,
// index 0 transparent, 1 half, 2 opaque; 9 x 9 grey, interlaced (every
// Adam7 pass), pixel p of 16 bits p * 3 * 257.
TEST(Pngio, FourBitPaletteWithTransparencyAndInterlacedSixteenBitGrey) {
  const pngio::Image indexed = LoadPng(PIXSHOW_PNG_CORPUS "/indexed-4bit-trns.png");
  ASSERT_TRUE(indexed.indexed);
  EXPECT_EQ(indexed.paletteSize, 3);
  EXPECT_EQ(indexed.indices, Bytes({0, 1, 2, 1, 0, 2, 2, 1, 1, 0}));
  EXPECT_EQ(Bytes(indexed.rgba.begin(), indexed.rgba.begin() + 12),
            Bytes({0, 0, 0, 0, 10, 20, 30, 128, 255, 0, 0, 255}));
  const pngio::Image grey = LoadPng(PIXSHOW_PNG_CORPUS "/grey16-interlaced.png");
  EXPECT_FALSE(grey.indexed);
  Bytes expected;
  for (uint8_t p = 0; p < 81; ++p)
    expected.insert(expected.end(), {uint8_t(p * 3), uint8_t(p * 3), uint8_t(p * 3), 255});
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
