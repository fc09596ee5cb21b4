// info, palette, --append and --help.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <sstream>

#include "pngio.h"
#include "support.h"

namespace pstest {
namespace {

using Commands = PixsheetTest;

TEST_F(Commands, InfoCountsImagesLeftOverBytesAndIndices) {
  std::vector<uint8_t> sheet(540 * 2 + 7, 0);
  sheet[3] = 5;
  sheet[4] = 6;
  sheet[5] = 7;
  sheet[600] = 200;
  sheet.back() = 255;
  WriteBytes(At("button.pix"), sheet);
  Result r = Run({"info", "button.pix"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("1087 bytes"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("45 x 12"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("whole images: 2\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("bytes left over: 7"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("indices used: 6 of 256: 0, 5-7, 200, 255\n"), std::string::npos) << r.out;

  // --size overrides; an empty sheet has no image and no index.
  WriteBytes(At("blank.pix"), {});
  r = Run({"info", "blank.pix", "--size", "8x8"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("whole images: 0\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("indices used: 0 of 256: none"), std::string::npos) << r.out;
  ExpectFailure(Run({"export", "blank.pix", "--size", "8x8"}), "no whole image");
  EXPECT_FALSE(fs::exists(At("blank.png")));
}

TEST_F(Commands, AppendAddsAfterTheExistingBytesWithoutRewritingThem) {
  const std::vector<uint8_t> old = MakeSheet(42, 32, 2);
  WriteBytes(At("Pieces.pix"), old);
  struct stat before {};
  ASSERT_EQ(stat(At("Pieces.pix").c_str(), &before), 0);

  WriteBytes(At("new.pix"), MakeSheet(42, 32, 3));
  ASSERT_EQ(Run({"export", "new.pix", "--size", "42x32", "-o", "new.png"}).status, 0);
  Result r = Run({"import", "new.png", "-o", "Pieces.pix", "--append"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("now 5 images"), std::string::npos) << r.out;

  std::vector<uint8_t> expected = old;
  const std::vector<uint8_t> added = MakeSheet(42, 32, 3);
  expected.insert(expected.end(), added.begin(), added.end());
  EXPECT_EQ(ReadBytes(At("Pieces.pix")), expected);
  // Same file, grown in place: not a new file renamed over the old one.
  struct stat after {};
  ASSERT_EQ(stat(At("Pieces.pix").c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);

  // Appending to a missing sheet makes it; to one with a partial image, fails.
  r = Run({"import", "new.png", "-o", "fresh.pix", "--size", "42x32", "--append"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadBytes(At("fresh.pix")), added);
  expected.push_back(9);
  WriteBytes(At("Pieces.pix"), expected);
  ExpectFailure(Run({"import", "new.png", "-o", "Pieces.pix", "--append"}), "not a whole number");
  EXPECT_EQ(ReadBytes(At("Pieces.pix")), expected);
}

TEST_F(Commands, ImportReplacesAWholeSheetAndKeepsItsPermissions) {
  WriteBytes(At("Pieces.pix"), MakeSheet(42, 32, 4));
  fs::permissions(At("Pieces.pix"), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  WriteBytes(At("new.pix"), MakeSheet(42, 32, 1));
  ASSERT_EQ(Run({"export", "new.pix", "--size", "42x32", "--image", "0", "-o", "one.png"}).status, 0);
  Result r = Run({"import", "one.png", "-o", "Pieces.pix"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadBytes(At("Pieces.pix")), MakeSheet(42, 32, 1));
  EXPECT_EQ(fs::status(At("Pieces.pix")).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(Files(), (std::vector<std::string>{"Pieces.pix", "new.pix", "one.png"}));
}

TEST_F(Commands, PaletteInThreeFormats) {
  ASSERT_EQ(Run({"palette", "-o", "pixshow.gpl"}).status, 0);
  ASSERT_EQ(Run({"palette", "-o", "pixshow.PAL"}).status, 0);
  ASSERT_EQ(Run({"palette", "-o", "swatch.png", "--scale", "3"}).status, 0);

  // GIMP: header, then "R G B<tab>name" per entry, in index order.
  const std::vector<uint8_t> gplBytes = ReadBytes(At("pixshow.gpl"));
  std::istringstream gpl(std::string(gplBytes.begin(), gplBytes.end()));
  std::string line;
  std::getline(gpl, line);
  EXPECT_EQ(line, "GIMP Palette");
  std::vector<int> read, want;  // red, green, blue of each entry
  while (std::getline(gpl, line)) {
    if (line.empty() || line[0] == '#' || line.find(':') != std::string::npos) continue;
    std::istringstream fields(line);
    int r, g, b;
    ASSERT_TRUE(fields >> r >> g >> b) << line;
    read.insert(read.end(), {r, g, b});
  }
  for (const Rgb& c : ProgramColours()) want.insert(want.end(), {c.r, c.g, c.b});
  EXPECT_EQ(read, want);
  // The generated entries are there, not only the fixed table.
  EXPECT_EQ(std::vector<int>(read.begin() + 81 * 3, read.begin() + 82 * 3), (std::vector<int>{53, 164, 137}));

  // JASC: three header lines, then 256 lines, CR LF line ends.
  const std::vector<uint8_t> pal = ReadBytes(At("pixshow.PAL"));
  const std::string text(pal.begin(), pal.end());
  EXPECT_EQ(text.rfind("JASC-PAL\r\n0100\r\n256\r\n0 0 0\r\n0 0 204\r\n", 0), 0u);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 259);
  EXPECT_NE(text.find("\r\n53 164 137\r\n"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 13), "255 255 255\r\n");

  // Swatch: 16 x 16 squares of 3 pixels, index i at column i % 16, row i / 16.
  pngio::Image png = LoadPng(At("swatch.png"));
  ASSERT_TRUE(png.indexed);
  ASSERT_EQ(png.width, 48);
  ASSERT_EQ(png.height, 48);
  EXPECT_EQ(png.indices[0], 0);
  EXPECT_EQ(png.indices[2 * 48 + 47], 15);
  EXPECT_EQ(png.indices[47 * 48 + 3], 241);
  EXPECT_EQ(png.palette[81][0], 53);
}

TEST_F(Commands, HelpForEachCommand) {
  for (const char* command : {"info", "export", "import", "palette"}) {
    Result r = Run({command, "--help"});
    EXPECT_EQ(r.status, 0) << command;
    EXPECT_EQ(r.out.rfind(std::string("usage: pixsheet ") + command, 0), 0u) << r.out;
  }
  EXPECT_NE(Run({"--help"}).out.find("ports.pix 82x62"), std::string::npos);
  // The contact-sheet rule and the colour rule are told where an artist looks.
  const std::string import = Run({"import", "--help"}).out;
  EXPECT_NE(import.find("C*W + (C-1)"), std::string::npos);
  EXPECT_NE(import.find("lowest index on ties"), std::string::npos);
  EXPECT_EQ(Files(), std::vector<std::string>{});
}

}  // namespace
}  // namespace pstest
