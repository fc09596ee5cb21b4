// The sample art generator: the six sheets at their sizes and the same bytes
// on every run. (What the art shows is pinned by the golden pictures.)
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "raster/sheets.h"
#include "tests/support/tools.h"

namespace {

using namespace pxtest;

TEST(SampleArt, SixSheetsAtTheirSizesTheSameOnEveryRunInTheArtworkColours) {
  TempDir first, second;
  ASSERT_EQ(RunTool(first.Path(), PIXSHOW_SAMPLEGEN_EXE, {"--out", "."}).status, 0);
  const RunResult r = RunTool(second.Path(), PIXSHOW_SAMPLEGEN_EXE, {"--out", second.Path()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(List(second.Path()).size(), 6u);            // nothing else left behind
  const int counts[SheetCount] = {20, 1, 9, 36, 5, 2};  // images in each sheet
  for (int sheet = 0; sheet < SheetCount; ++sheet) {
    const SheetFormat& s = ImageSheets[sheet];
    SCOPED_TRACE(s.fileName);
    const std::vector<uint8_t> bytes = ReadBytes(first / s.fileName);
    EXPECT_EQ(bytes.size(), static_cast<size_t>(s.imageWidth) * s.imageHeight * counts[sheet]);
    EXPECT_TRUE(ReadBytes(second / s.fileName) == bytes);
    for (uint8_t b : bytes) ASSERT_LE(b, 80);  // black and the fixed artwork colours only
  }
}

TEST(SampleArt, RefusesBadArguments) {
  TempDir dir;
  const std::vector<std::vector<std::string>> bad = {
      {}, {"--out"}, {"--out", dir / "missing"}, {"--out", ".", "-x"}};
  for (const auto& args : bad)
    EXPECT_EQ(RunTool(dir.Path(), PIXSHOW_SAMPLEGEN_EXE, args).status, 2);
  EXPECT_TRUE(List(dir.Path()).empty());
  const RunResult help = RunTool(dir.Path(), PIXSHOW_SAMPLEGEN_EXE, {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--out DIR"), std::string::npos);
}

}  // namespace
