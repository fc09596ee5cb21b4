// Bad input: status 2, one clear line, and nothing lost or left behind.
#include <gtest/gtest.h>

#include <sys/stat.h>
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
  // Neither a pipe nor a device is waited on (the tool runs under a watchdog).
  ASSERT_EQ(mkfifo(At("pipe.png").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", At("zero.png"));
  const Case cases[] = {
      {"cut4.png", cut(4), "\"cut4.png\""},
      {"cut40.png", cut(40), "\"cut40.png\""},
      {"half.png", cut(good_.size() / 2), "\"half.png\""},
      {"short.png", cut(good_.size() - 13), "\"short.png\""},
      {"bad1.png", flipped(good_.size() / 2), "cannot read PNG \"bad1.png\""},
      {"bad2.png", flipped(20), "cannot read PNG \"bad2.png\""},
      {"notes.png", {'h', 'e', 'l', 'l', 'o', '\n', 0, 1, 2, 3}, "\"notes.png\": not a PNG file"},
      {"empty.png", {}, "\"empty.png\": not a PNG file"},
      {".", {}, "is a directory"},
      {"wide.png", {}, "\"wide.png\" is 43 x 32 pixels: neither one 42 x 32 image"},
      {"nowhere.png", {}, "cannot open \"nowhere.png\""},
      {"pipe.png", {}, "\"pipe.png\": is a named pipe, not a regular file"},
      {"zero.png", {}, "\"zero.png\": is a device, not a regular file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.bytes.empty() || c.name == "empty.png") WriteBytes(At(c.name), c.bytes);
    const std::vector<std::string> before = Files();
    ExpectFailure(Run({"import", "good.png", c.name, "-o", "Pieces.pix"}), c.mentions);
    ExpectFailure(Run({"import", "good.png", c.name, "-o", "Pieces.pix", "--append"}), c.mentions);
    ExpectNothingChanged(before);
  }
  for (const char* sheet : {"absent.pix", "pipe.png", "zero.png"}) {
    ExpectFailure(Run({"export", sheet, "--size", "4x4", "-o", "out.png"}), "cannot open \"" + std::string(sheet));
    ExpectFailure(Run({"info", sheet, "--size", "4x4"}), "cannot open \"" + std::string(sheet));
  }
  EXPECT_FALSE(pxtest::Exists(At("out.png")));
}

TEST_F(BadInput, AnOutputThatIsAnInputIsRefusedAndKept) {
  // Found by fuzzing: export to the sheet itself replaced the sheet with its
  // own picture, and import over one of its PNGs lost that PNG.
  fs::create_symlink("Pieces.pix", At("link.png"));
  fs::create_symlink("good.png", At("link.pix"));
  const std::vector<std::string> before = Files();
  const std::vector<std::vector<std::string>> cases = {
      {"export", "Pieces.pix", "-o", "Pieces.pix"},
      {"export", "Pieces.pix", "Pieces.pix"},
      {"export", "Pieces.pix", "link.png", "--image", "1"},
      {"import", "good.png", "-o", "good.png", "--size", "42x32"},
      {"import", "wide.png", "good.png", "-o", "link.pix", "--size", "42x32", "--append"},
  };
  for (const auto& args : cases) ExpectFailure(Run(args), "is the input");
  ExpectNothingChanged(before);
  EXPECT_EQ(ReadBytes(At("good.png")), good_);
}

TEST_F(BadInput, OutputThatCannotBeWritten) {
  // A folder that does not exist, a "folder" that is a file, and a folder
  // where the sheet should be: none can hold the output, whoever runs the test.
  fs::create_directory(At("Borders.pix"));
  ASSERT_EQ(mkfifo(At("pipe.pix").c_str(), 0600), 0);
  const std::vector<std::string> before = Files();
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"import", "good.png", "-o", "missing/Pieces.pix"}, "cannot write \"missing/Pieces.pix\""},
      {{"import", "good.png", "-o", "good.png/Pieces.pix"}, "cannot write \"good.png/Pieces.pix\""},
      {{"export", "Pieces.pix", "-o", "missing/p.png"}, "cannot write \"missing/p.png\""},
      {{"palette", "-o", "missing/p.gpl"}, "cannot write \"missing/p.gpl\""},
      {{"import", "good.png", "-o", "Pieces.pix/x", "--size", "42x32", "--append"}, "\"Pieces.pix/x\""},
      {{"import", "good.png", "-o", "Borders.pix"}, "is a directory"},
      {{"import", "good.png", "-o", "Borders.pix", "--append"}, "Is a directory"},
      {{"import", "good.png", "-o", "pipe.pix", "--size", "42x32"}, "not a regular file"},
      {{"import", "good.png", "-o", "pipe.pix", "--size", "42x32", "--append"}, "not a regular file"},
  };
  for (const auto& c : cases) ExpectFailure(Run(c.first), c.second);
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
  ExpectFailure(Run({"import", "good.png", "-o", "Pieces.pix"}), "cannot write \"Pieces.pix\"");
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
      {{"import", "good.png", "-o", "x.pix", "--size", "42X32"}, "bad image size"},  // one spelling: WxH
      {{"import", "good.png", "-o", "x.pix", "--size", " 42x32"}, "bad image size"},
      {{"import", "good.png", "-o", "Pieces.pix", "--colour"}, "unknown option --colour"},
      {{"import", "good.png", "-o", ""}, "option -o needs a value"},  // an empty name is no name
      {{"export", "Pieces.pix", "-o", ""}, "option -o needs a value"},
      {{"export", "Pieces.pix", "--image"}, "needs a value"},
      {{"export", "Pieces.pix", "--image", "-1"}, "bad value '-1' for --image"},
      {{"export", "Pieces.pix", "--image", "0", "--columns", "2"}, "--columns"},
      {{"export", "Pieces.pix", "--columns", "0"}, "--columns"},
      {{"export", "Pieces.pix", "a.png", "-o", "b.png"}, "OUT.png once"},
      {{"export", "Pieces.pix", "a.png", "b.png"}, "at most one OUT.png"},
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
  // The output named after the sheet, as users type it.
  ASSERT_EQ(Run({"export", "Pieces.pix", "p.png"}).status, 0);
  EXPECT_EQ(LoadPng(At("p.png")).indices.size(), 85u * 32);  // two images side by side
}

}  // namespace
}  // namespace pstest
