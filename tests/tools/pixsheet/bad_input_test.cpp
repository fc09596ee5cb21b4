// Bad input: status 2, one clear line, and nothing lost or left behind.
#include <gtest/gtest.h>

#include <unistd.h>

#include "support.h"

namespace pstest {
namespace {

class BadInput : public PixsheetTest {
 protected:
  void SetUp() override {
    // An existing sheet that every failed command must leave as it is, and
    // a good 42 x 32 image to go with the bad ones.
    WriteBytes(At("Pieces.pix"), existing_);
    WriteBytes(At("src.pix"), MakeSheet(42, 32, 1));
    ASSERT_EQ(Run({"export", "src.pix", "--size", "42x32", "--image", "0", "-o", "good.png"}).status, 0);
    WriteBytes(At("src2.pix"), MakeSheet(43, 32, 1));
    ASSERT_EQ(Run({"export", "src2.pix", "--size", "43x32", "-o", "wide.png"}).status, 0);
    good_ = ReadBytes(At("good.png"));
  }

  // The existing sheet is untouched and no file came or went.
  void ExpectNothingChanged(const std::vector<std::string>& filesBefore) {
    EXPECT_EQ(ReadBytes(At("Pieces.pix")), existing_);
    EXPECT_EQ(Files(), filesBefore);
  }

  std::vector<uint8_t> existing_ = MakeSheet(42, 32, 2);
  std::vector<uint8_t> good_;
};

TEST_F(BadInput, UnreadableImagesAreRefusedWithTheSheetKept) {
  struct Case {
    std::string name;
    std::vector<uint8_t> bytes;  // written unless empty (but for empty.png)
    std::string mentions;
  };
  auto cut = [&](size_t keep) { return std::vector<uint8_t>(good_.begin(), good_.begin() + static_cast<long>(keep)); };
  auto flipped = [&](size_t at) {
    std::vector<uint8_t> bad = good_;
    bad[at] ^= 0x10;  // in the compressed pixels, or in the header chunk
    return bad;
  };
  const Case cases[] = {
      {"cut4.png", cut(4), "cut4.png"},
      {"cut40.png", cut(40), "cut40.png"},
      {"half.png", cut(good_.size() / 2), "half.png"},
      {"short.png", cut(good_.size() - 13), "short.png"},
      {"bad1.png", flipped(good_.size() / 2), "cannot read PNG bad1.png"},
      {"bad2.png", flipped(20), "cannot read PNG bad2.png"},
      {"notes.png", {'h', 'e', 'l', 'l', 'o', '\n', 0, 1, 2, 3}, "not a PNG file: notes.png"},
      {"empty.png", {}, "not a PNG file: empty.png"},
      {".", {}, "is a directory"},
      {"wide.png", {}, "wide.png is 43 x 32 pixels: neither one 42 x 32 image"},
      {"nowhere.png", {}, "cannot open nowhere.png"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.bytes.empty() || c.name == "empty.png") WriteBytes(At(c.name), c.bytes);
    const std::vector<std::string> before = Files();
    ExpectFailure(Run({"import", "good.png", c.name, "-o", "Pieces.pix"}), c.mentions);
    ExpectFailure(Run({"import", "good.png", c.name, "-o", "Pieces.pix", "--append"}), c.mentions);
    ExpectNothingChanged(before);
  }
  ExpectFailure(Run({"export", "absent.pix", "--size", "4x4"}), "cannot open absent.pix");
  ExpectFailure(Run({"info", "absent.pix", "--size", "4x4"}), "cannot open absent.pix");
}

TEST_F(BadInput, OutputThatCannotBeWritten) {
  // A folder that does not exist, a "folder" that is a file, and a folder
  // where the sheet should be: none can hold the output, whoever runs the test.
  fs::create_directory(At("Borders.pix"));
  const std::vector<std::string> before = Files();
  ExpectFailure(Run({"import", "good.png", "-o", "missing/Pieces.pix"}), "cannot write missing/Pieces.pix");
  ExpectFailure(Run({"import", "good.png", "-o", "good.png/Pieces.pix"}), "cannot write good.png/Pieces.pix");
  ExpectFailure(Run({"export", "Pieces.pix", "-o", "missing/p.png"}), "cannot write missing/p.png");
  ExpectFailure(Run({"palette", "-o", "missing/p.gpl"}), "cannot write missing/p.gpl");
  ExpectFailure(Run({"import", "good.png", "-o", "Pieces.pix/x", "--size", "42x32", "--append"}), "Pieces.pix/x");
  ExpectFailure(Run({"import", "good.png", "-o", "Borders.pix"}), "is a directory");
  ExpectFailure(Run({"import", "good.png", "-o", "Borders.pix", "--append"}), "is a directory");
  ExpectNothingChanged(before);

  if (geteuid() == 0) return;  // permissions do not stop the superuser
  fs::create_directory(At("locked"));
  WriteBytes(At("locked/Pieces.pix"), existing_);
  fs::permissions(At("locked"), fs::perms::owner_read | fs::perms::owner_exec);
  ExpectFailure(Run({"import", "good.png", "-o", "locked/Pieces.pix"}), "locked/Pieces.pix");
  fs::permissions(At("locked"), fs::perms::owner_all);
  EXPECT_EQ(pxtest::List(At("locked")), std::vector<std::string>{"Pieces.pix"});
  EXPECT_EQ(ReadBytes(At("locked/Pieces.pix")), existing_);
  fs::permissions(At("Pieces.pix"), fs::perms::owner_read);  // a read-only sheet is not replaced
  ExpectFailure(Run({"import", "good.png", "-o", "Pieces.pix"}), "cannot write Pieces.pix");
  ExpectFailure(Run({"import", "good.png", "-o", "Pieces.pix", "--append"}), "Pieces.pix");
  EXPECT_EQ(ReadBytes(At("Pieces.pix")), existing_);
}

TEST_F(BadInput, UsageMistakes) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"frobnicate"}, "unknown command"},
      {{"import", "good.png"}, "-o SHEET"},
      {{"import", "-o", "Pieces.pix"}, "IMAGE.png"},
      {{"import", "good.png", "-o", "art.pix"}, "give --size WxH"},
      {{"import", "good.png", "-o", "pieces.pix"}, "give --size WxH"},  // names match exactly
      {{"import", "good.png", "-o", "x.pix", "--size", "42by32"}, "bad image size '42by32'"},
      {{"import", "good.png", "-o", "x.pix", "--size", "0x32"}, "bad image size"},
      {{"import", "good.png", "-o", "Pieces.pix", "--colour"}, "unknown option --colour"},
      {{"export", "Pieces.pix", "--image"}, "needs a value"},
      {{"export", "Pieces.pix", "--image", "-1"}, "bad value '-1' for --image"},
      {{"export", "Pieces.pix", "--image", "0", "--columns", "2"}, "--columns"},
      {{"export", "Pieces.pix", "--columns", "0"}, "--columns"},
      {{"palette", "-o", "colours.txt"}, ".gpl"},
      {{"palette"}, "-o FILE"},
  };
  const std::vector<std::string> before = Files();
  for (const auto& c : cases) ExpectFailure(Run(c.first), c.second);
  ExpectNothingChanged(before);
  // No command at all: the overview on stderr, status 2.
  Result r = Run({});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("usage: pixsheet"), std::string::npos);
}

}  // namespace
}  // namespace pstest
