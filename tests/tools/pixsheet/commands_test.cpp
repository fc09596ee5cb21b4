// info, palette, --append, replacing a sheet, and --help.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <sstream>

#include "support.h"

namespace pxtest {
namespace {

using Commands = PixsheetTest;

ino_t Inode(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

void ExpectHas(const std::string& text, const std::string& part) {
  EXPECT_NE(text.find(part), std::string::npos) << "expected '" << part << "' in: " << text;
}

TEST_F(Commands, InfoCountsImagesLeftOverBytesAndIndices) {
  Bytes sheet(540 * 2 + 7, 0);
  sheet[3] = 5, sheet[4] = 6, sheet[5] = 7, sheet[600] = 200, sheet.back() = 255;
  WriteBytes(At("button.pix"), sheet);
  const std::string out = Ok({"info", "button.pix"}).out;
  for (const char* part : {"1087 bytes", "45 x 12", "whole images: 2\n", "bytes left over: 7",
                           "indices used: 6 of 256: 0, 5-7, 200, 255\n"}) {
    ExpectHas(out, part);
  }
  // --size overrides; an empty sheet has no image and no index.
  WriteBytes(At("blank.pix"), {});
  ExpectHas(Ok({"info", "blank.pix", "--size", "8x8"}).out,
            "whole images: 0\nbytes left over: 0\nindices used: 0 of 256: none");
  ExpectFailure(Run({"export", "blank.pix", "--size", "8x8"}), "no whole image");
  EXPECT_FALSE(Exists(At("blank.png")));
}

// --append grows the sheet in place (the same inode); without it the sheet
// is replaced whole, keeping its permissions.
TEST_F(Commands, AppendAddsAfterTheExistingBytesAndImportReplacesAWholeSheet) {
  Bytes expected = PixSheet(42, 32, 2);
  const Bytes added = PixSheet(42, 32, 3);
  WriteBytes(At("Pieces.pix"), expected);
  WriteBytes(At("new.pix"), added);
  const fs::perms perms = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(At("Pieces.pix"), perms);
  const ino_t inode = Inode(At("Pieces.pix"));
  Ok({"export", "new.pix", "--size", "42x32", "-o", "new.png"});
  ExpectHas(Ok({"import", "new.png", "-o", "Pieces.pix", "--append"}).out, "now 5 images");
  expected.insert(expected.end(), added.begin(), added.end());
  EXPECT_EQ(ReadBytes(At("Pieces.pix")), expected);
  EXPECT_EQ(Inode(At("Pieces.pix")), inode);
  // Appending to a missing sheet makes it; to one with a partial image, fails.
  Ok({"import", "new.png", "-o", "fresh.pix", "--size", "42x32", "--append"});
  EXPECT_EQ(ReadBytes(At("fresh.pix")), added);
  expected.push_back(9);
  WriteBytes(At("Pieces.pix"), expected);
  ExpectFailure(Run({"import", "new.png", "-o", "Pieces.pix", "--append"}), "not a whole number");
  EXPECT_EQ(ReadBytes(At("Pieces.pix")), expected);

  Ok({"import", "new.png", "-o", "Pieces.pix"});
  EXPECT_EQ(ReadBytes(At("Pieces.pix")), added);
  EXPECT_EQ(fs::status(At("Pieces.pix")).permissions(), perms);
  EXPECT_EQ(Files(), (std::vector<std::string>{"Pieces.pix", "fresh.pix", "new.pix", "new.png"}));
}

TEST_F(Commands, PaletteInThreeFormats) {
  Ok({"palette", "-o", "pixshow.gpl"});
  Ok({"palette", "-o", "pixshow.PAL"});
  Ok({"palette", "-o", "swatch.png", "--scale", "3"});
  // GIMP: header, then "R G B<tab>name" per entry; JASC: three header lines,
  // then 256 lines, CR LF line ends. Both in index order, the generated
  // entries (81 on) too.
  const Bytes gpl = ReadBytes(At("pixshow.gpl")), pal = ReadBytes(At("pixshow.PAL"));
  std::istringstream gimp(std::string(gpl.begin(), gpl.end()));
  const std::string jasc(pal.begin(), pal.end());
  std::string line, wantJasc = "JASC-PAL\r\n0100\r\n256\r\n";
  std::vector<int> read, want;  // red, green, blue of each entry
  for (int i = 0; i < 256; ++i) {
    const uint8_t* c = ProgramRgb()[i];
    want.insert(want.end(), {c[0], c[1], c[2]});
    wantJasc +=
        std::to_string(c[0]) + " " + std::to_string(c[1]) + " " + std::to_string(c[2]) + "\r\n";
  }
  std::getline(gimp, line);
  EXPECT_EQ(line, "GIMP Palette");
  for (int r, g, b; std::getline(gimp, line);) {
    if (std::sscanf(line.c_str(), "%d %d %d", &r, &g, &b) == 3) read.insert(read.end(), {r, g, b});
  }
  EXPECT_EQ(read, want);
  EXPECT_EQ(jasc, wantJasc);
  ExpectHas(jasc, "\r\n53 164 137\r\n");  // entry 81: not only the fixed table

  // Swatch: 16 x 16 squares of 3 pixels, index i at column i % 16, row i / 16.
  const pngio::Image png = LoadPng(At("swatch.png"));
  ASSERT_TRUE(png.indexed && png.width == 48 && png.height == 48);
  EXPECT_EQ(png.indices[0], 0);
  EXPECT_EQ(png.indices[2 * 48 + 47], 15);
  EXPECT_EQ(png.indices[47 * 48 + 3], 241);
  EXPECT_EQ(png.palette[81][0], 53);
}

TEST_F(Commands, HelpForEachCommand) {
  for (const std::string command : {"info", "export", "import", "palette"}) {
    EXPECT_EQ(Ok({command, "--help"}).out.rfind("usage: pixsheet " + command, 0), 0u) << command;
  }
  ExpectHas(Ok({"--help"}).out, "ports.pix 82x62");
  // The contact-sheet rule and the colour rule are told where an artist looks.
  const std::string import = Ok({"import", "--help"}).out;
  ExpectHas(import, "C*W + (C-1)");
  ExpectHas(import, "lowest index on ties");
  EXPECT_EQ(Files(), std::vector<std::string>{});
}

}  // namespace
}  // namespace pxtest
