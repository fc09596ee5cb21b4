// The sample art generator: the six sheets at their sizes, the same bytes on
// every run, and the few properties of the art that the presentation relies on.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/tools.h"
#include "tests/support/world.h"

namespace {

using namespace pxtest;

TEST(SampleArt, SixSheetsAtTheirSizesTheSameOnEveryRunInTheArtworkColours) {
  TempDir first, second;
  ASSERT_EQ(RunTool(first.Path(), PIXSHOW_SAMPLEGEN_EXE, {"--out", "."}).status, 0);
  const RunResult r = RunTool(second.Path(), PIXSHOW_SAMPLEGEN_EXE, {"--out", second.Path()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(List(second.Path()).size(), 6u);  // nothing else left behind
  for (const SheetFile& s : kSheets) {
    SCOPED_TRACE(s.name);
    const std::vector<uint8_t> bytes = ReadBytes(first / s.name);
    EXPECT_EQ(bytes.size(), static_cast<size_t>(s.width) * s.height * s.count);
    EXPECT_TRUE(ReadBytes(second / s.name) == bytes);
    for (uint8_t b : bytes) ASSERT_LE(b, 80);  // black and the fixed artwork colours only
  }

  // Red Sun is mostly the recoloured entry 4, and no other portrait uses it.
  const std::vector<uint8_t> ports = ReadBytes(first / "ports.pix");
  const size_t size = 82 * 62;
  for (size_t image = 0; image < 20; ++image) {
    size_t fours = 0;
    for (size_t i = 0; i < size; ++i) fours += ports[image * size + i] == 4;
    EXPECT_EQ(fours * 2 > size, image == 4) << "portrait " << image;
    EXPECT_TRUE(image == 4 || fours == 0) << "portrait " << image;
  }

  // The borders are frames around a transparent interior; the blink only
  // works if each paints every pixel the other does.
  const std::vector<uint8_t> borders = ReadBytes(first / "Borders.pix");
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 42; ++x) {
      const uint8_t dark = borders[y * 42 + x], bright = borders[42 * 32 + y * 42 + x];
      const bool edge = x == 0 || y == 0 || x == 41 || y == 31;
      const bool interior = x >= 6 && x <= 35 && y >= 6 && y <= 25;
      EXPECT_EQ(dark != 0, bright != 0) << x << "," << y;
      EXPECT_TRUE(!(edge || interior) || (dark != 0) == edge) << x << "," << y;
    }
}

TEST(SampleArt, RefusesBadArguments) {
  TempDir dir;
  const std::vector<std::vector<std::string>> bad = {{}, {"--out"}, {"--out", dir / "missing"}, {"--out", ".", "-x"}};
  for (const auto& args : bad) EXPECT_EQ(RunTool(dir.Path(), PIXSHOW_SAMPLEGEN_EXE, args).status, 2);
  EXPECT_TRUE(List(dir.Path()).empty());
  const RunResult help = RunTool(dir.Path(), PIXSHOW_SAMPLEGEN_EXE, {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--out DIR"), std::string::npos);
}

}  // namespace
