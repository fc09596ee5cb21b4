// Bad input: status 2, one clear line, and nothing lost or left behind.
#include <gtest/gtest.h>

#include <unistd.h>

#include "pxpng.h"
#include "support.h"

namespace pstest {
namespace {

class BadInput : public PixsheetTest {
 protected:
  void SetUp() override {
    PixsheetTest::SetUp();
    // An existing sheet that every failed command must leave as it is, and
    // a good 42 x 32 image to go with the bad ones.
    WriteBytes(At("Pieces.pix"), existing_);
    WriteBytes(At("src.pix"), MakeSheet(42, 32, 1));
    Result r = Run({"export", "src.pix", "--size", "42x32", "--image", "0", "-o", "good.png"});
    ASSERT_EQ(r.status, 0) << r.err;
    good_ = ReadBytes(At("good.png"));
    filesBefore_ = Files();
  }

  // The existing sheet is untouched and no file came or went.
  void ExpectNothingChanged() {
    EXPECT_EQ(ReadBytes(At("Pieces.pix")), existing_);
    EXPECT_EQ(Files(), filesBefore_);
  }

  void ExpectImportRefused(const std::string& input, const std::string& mentions) {
    SCOPED_TRACE(input);
    ExpectFailure(Run({"import", "good.png", input, "-o", "Pieces.pix"}), mentions);
    ExpectNothingChanged();
    ExpectFailure(Run({"import", "good.png", input, "-o", "Pieces.pix", "--append"}), mentions);
    ExpectNothingChanged();
  }

  std::vector<uint8_t> existing_ = MakeSheet(42, 32, 2);
  std::vector<uint8_t> good_;
  std::vector<std::string> filesBefore_;
};

TEST_F(BadInput, TruncatedPng) {
  for (size_t keep : {size_t{4}, size_t{40}, good_.size() / 2, good_.size() - 13}) {
    std::vector<uint8_t> cut(good_.begin(), good_.begin() + static_cast<ptrdiff_t>(keep));
    WriteBytes(At("cut.png"), cut);
    filesBefore_ = Files();
    ExpectImportRefused("cut.png", "cut.png");
  }
}

TEST_F(BadInput, CorruptPng) {
  // A flipped bit in the middle of the compressed pixels, and another in the
  // header chunk: libpng's checks catch both.
  for (size_t at : {good_.size() / 2, size_t{20}}) {
    std::vector<uint8_t> bad = good_;
    bad[at] ^= 0x10;
    WriteBytes(At("bad.png"), bad);
    filesBefore_ = Files();
    ExpectImportRefused("bad.png", "cannot read PNG bad.png");
  }
}

TEST_F(BadInput, NotAPng) {
  WriteBytes(At("notes.png"), {'h', 'e', 'l', 'l', 'o', '\n', 0, 1, 2, 3, 4, 5});
  WriteBytes(At("empty.png"), {});
  filesBefore_ = Files();
  ExpectImportRefused("notes.png", "not a PNG file: notes.png");
  ExpectImportRefused("empty.png", "not a PNG file: empty.png");
  ExpectImportRefused(".", "is a directory");
}

TEST_F(BadInput, WrongImageSizeNamesTheFileAndBothSizes) {
  WriteBytes(At("src2.pix"), MakeSheet(43, 32, 1));
  ASSERT_EQ(Run({"export", "src2.pix", "--size", "43x32", "-o", "wide.png"}).status, 0);
  filesBefore_ = Files();
  ExpectImportRefused("wide.png", "wide.png is 43 x 32 pixels: neither one 42 x 32 image");
}

TEST_F(BadInput, MissingFile) {
  ExpectImportRefused("nowhere.png", "cannot open nowhere.png");
  ExpectFailure(Run({"export", "absent.pix", "--size", "4x4"}), "cannot open absent.pix");
  ExpectFailure(Run({"info", "absent.pix", "--size", "4x4"}), "cannot open absent.pix");
  ExpectNothingChanged();
}

TEST_F(BadInput, OutputFolderCannotBeWritten) {
  // A folder that does not exist, and a "folder" that is a file: neither can
  // hold the output, whoever runs the test.
  ExpectFailure(Run({"import", "good.png", "-o", "missing/Pieces.pix"}), "cannot write missing/Pieces.pix");
  ExpectFailure(Run({"import", "good.png", "-o", "good.png/Pieces.pix"}), "cannot write good.png/Pieces.pix");
  ExpectFailure(Run({"export", "Pieces.pix", "-o", "missing/p.png"}), "cannot write missing/p.png");
  ExpectFailure(Run({"palette", "-o", "missing/p.gpl"}), "cannot write missing/p.gpl");
  ExpectFailure(Run({"import", "good.png", "-o", "Pieces.pix/x", "--size", "42x32", "--append"}),
                "Pieces.pix/x");
  ExpectNothingChanged();

  if (geteuid() != 0) {  // permissions do not stop the superuser
    fs::create_directory(At("locked"));
    WriteBytes(At("locked/Pieces.pix"), existing_);
    fs::permissions(At("locked"), fs::perms::owner_read | fs::perms::owner_exec);
    ExpectFailure(Run({"import", "good.png", "-o", "locked/Pieces.pix"}), "locked/Pieces.pix");
    fs::permissions(At("locked"), fs::perms::owner_all);
    EXPECT_EQ(ReadBytes(At("locked/Pieces.pix")), existing_);
    EXPECT_EQ(fs::directory_iterator(At("locked"))->path().filename(), "Pieces.pix");
  }
}

TEST_F(BadInput, OutputThatIsAFolder) {
  fs::create_directory(At("Borders.pix"));
  filesBefore_ = Files();
  ExpectFailure(Run({"import", "good.png", "-o", "Borders.pix"}), "is a directory");
  ExpectFailure(Run({"import", "good.png", "-o", "Borders.pix", "--append"}), "is a directory");
  ExpectNothingChanged();
}

TEST_F(BadInput, UsageMistakes) {
  ExpectFailure(Run({"frobnicate"}), "unknown command");
  ExpectFailure(Run({"import", "good.png"}), "-o SHEET");
  ExpectFailure(Run({"import", "-o", "Pieces.pix"}), "IMAGE.png");
  ExpectFailure(Run({"import", "good.png", "-o", "art.pix"}), "give --size WxH");
  ExpectFailure(Run({"import", "good.png", "-o", "pieces.pix"}), "give --size WxH");  // names match exactly
  ExpectFailure(Run({"import", "good.png", "-o", "x.pix", "--size", "42by32"}), "bad image size '42by32'");
  ExpectFailure(Run({"import", "good.png", "-o", "x.pix", "--size", "0x32"}), "bad image size");
  ExpectFailure(Run({"import", "good.png", "-o", "Pieces.pix", "--colour"}), "unknown option --colour");
  ExpectFailure(Run({"export", "Pieces.pix", "--image"}), "needs a value");
  ExpectFailure(Run({"export", "Pieces.pix", "--image", "-1"}), "bad value '-1' for --image");
  ExpectFailure(Run({"export", "Pieces.pix", "--image", "0", "--columns", "2"}), "--columns");
  ExpectFailure(Run({"export", "Pieces.pix", "--columns", "0"}), "--columns");
  ExpectFailure(Run({"palette", "-o", "colours.txt"}), ".gpl");
  ExpectFailure(Run({"palette"}), "-o FILE");
  ExpectNothingChanged();
  // No command at all: the overview on stderr, status 2.
  Result r = Run({});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("usage: pixsheet"), std::string::npos);
}

TEST_F(BadInput, ReadOnlySheetIsNotReplaced) {
  if (geteuid() == 0) GTEST_SKIP() << "the superuser writes read-only files";
  fs::permissions(At("Pieces.pix"), fs::perms::owner_read);
  ExpectFailure(Run({"import", "good.png", "-o", "Pieces.pix"}), "cannot write Pieces.pix");
  ExpectFailure(Run({"import", "good.png", "-o", "Pieces.pix", "--append"}), "Pieces.pix");
  fs::permissions(At("Pieces.pix"), fs::perms::owner_all);
  ExpectNothingChanged();
}

}  // namespace
}  // namespace pstest
