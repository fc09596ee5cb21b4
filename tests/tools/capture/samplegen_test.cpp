// The sample art generator: the six sheets at their sizes, the same bytes on
// every run, and bad arguments refused. (What the art shows is pinned by the
// golden pictures the capture test compares.)
#include <gtest/gtest.h>

#include <algorithm>
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
    const std::vector<uint8_t> bytes = ReadBytes(first / s.fileName);
    EXPECT_EQ(bytes.size(), static_cast<size_t>(s.imageWidth) * s.imageHeight * counts[sheet]);
    EXPECT_TRUE(ReadBytes(second / s.fileName) == bytes) << s.fileName;
    EXPECT_LE(*std::max_element(bytes.begin(), bytes.end()), 80) << s.fileName;  // artwork colours
  }
  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {}, {"--out"}, {"--out", "missing"}, {"--out", ".", "-x"}}) {
    EXPECT_EQ(RunTool(first.Path(), PIXSHOW_SAMPLEGEN_EXE, bad).status, 2);
  }
  EXPECT_EQ(List(first.Path()).size(), 6u);
  EXPECT_NE(RunTool(first.Path(), PIXSHOW_SAMPLEGEN_EXE, {"--help"}).out.find("--out DIR"),
            std::string::npos);
}

}  // namespace
