// Bad input: status 2, one clear line, and nothing lost or left behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support.h"

namespace pxtest {
namespace {

using Cases = std::vector<std::pair<std::vector<std::string>, std::string>>;

class BadInput : public PixsheetTest {
 protected:
  void SetUp() override {
    // A sheet every failed command must leave as it is, and good and wrong-sized PNGs.
    WriteBytes(At("Pieces.pix"), existing_);
    WriteBytes(At("src.pix"), PixSheet(43, 32, 1));
    Ok({"export", "src.pix", "--size", "43x32", "-o", "wide.png"});
    Ok({"export", "Pieces.pix", "--image", "0", "-o", "good.png"});
    good_ = ReadBytes(At("good.png"));
  }
  // Each case fails naming what is wrong; the sheet and the folder stay as they were.
  void ExpectAllFail(const Cases& cases) {
    const std::vector<std::string> before = Files();
    for (const auto& c : cases) ExpectFailure(Run(c.first), c.second);
    EXPECT_EQ(ReadBytes(At("Pieces.pix")), existing_);
    EXPECT_EQ(Files(), before);
  }
  Bytes existing_ = PixSheet(42, 32, 2);
  Bytes good_;
};

TEST_F(BadInput, UnreadableImagesAreRefusedWithTheSheetKept) {
  auto cut = [&](size_t keep) {
    return Bytes(good_.begin(), good_.begin() + static_cast<long>(keep));
  };
  auto flipped = [&](size_t at) {
    Bytes bad = good_;
    bad[at] ^= 0x10;  // in the compressed pixels, or in the header chunk
    return bad;
  };
  // Neither a pipe nor a device is waited on (the tool runs under a watchdog).
  ASSERT_EQ(mkfifo(At("pipe.png").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", At("zero.png"));
  struct Bad {
    std::string name, mentions;
    Bytes bytes;  // written unless empty (but for empty.png)
  };
  const Bad bad[] = {
      {"cut4.png", "\"cut4.png\"", cut(4)},
      {"cut40.png", "\"cut40.png\"", cut(40)},
      {"half.png", "\"half.png\"", cut(good_.size() / 2)},
      {"short.png", "\"short.png\"", cut(good_.size() - 13)},
      {"bad1.png", "cannot read PNG \"bad1.png\"", flipped(good_.size() / 2)},
      {"bad2.png", "cannot read PNG \"bad2.png\"", flipped(20)},
      {"notes.png", "\"notes.png\": not a PNG file", {'h', 'e', 'l', 'l', 'o', '\n', 0, 1}},
      {"empty.png", "\"empty.png\": not a PNG file", {}},
      {".", "is a directory", {}},
      {"wide.png", "\"wide.png\" is 43 x 32 pixels: neither one 42 x 32 image", {}},
      {"nowhere.png", "cannot open \"nowhere.png\"", {}},
      {"pipe.png", "\"pipe.png\": is a named pipe, not a regular file", {}},
      {"zero.png", "\"zero.png\": is a device, not a regular file", {}}};
  Cases cases;
  for (const Bad& b : bad) {
    if (!b.bytes.empty() || b.name == "empty.png") WriteBytes(At(b.name), b.bytes);
    cases.push_back({{"import", "good.png", b.name, "-o", "Pieces.pix"}, b.mentions});
    cases.push_back({{"import", "good.png", b.name, "-o", "Pieces.pix", "--append"}, b.mentions});
  }
  for (const std::string sheet : {"absent.pix", "pipe.png", "zero.png"}) {
    cases.push_back(
        {{"export", sheet, "--size", "4x4", "-o", "out.png"}, "cannot open \"" + sheet});
    cases.push_back({{"info", sheet, "--size", "4x4"}, "cannot open \"" + sheet});
  }
  ExpectAllFail(cases);
}

TEST_F(BadInput, AnOutputThatIsAnInputIsRefusedAndKept) {
  // Found by fuzzing: export to the sheet itself replaced the sheet with its
  // own picture, and import over one of its PNGs lost that PNG.
  fs::create_symlink("Pieces.pix", At("link.png"));
  fs::create_symlink("good.png", At("link.pix"));
  ExpectAllFail(
      {{{"export", "Pieces.pix", "-o", "Pieces.pix"}, "is the input"},
       {{"export", "Pieces.pix", "Pieces.pix"}, "is the input"},
       {{"export", "Pieces.pix", "link.png", "--image", "1"}, "is the input"},
       {{"import", "good.png", "-o", "good.png", "--size", "42x32"}, "is the input"},
       {{"import", "wide.png", "good.png", "-o", "link.pix", "--size", "42x32", "--append"},
        "is the input"}});
  EXPECT_EQ(ReadBytes(At("good.png")), good_);
}

TEST_F(BadInput, OutputThatCannotBeWritten) {
  // A folder that does not exist, a "folder" that is a file, a folder or a
  // pipe where the sheet should be: none can hold the output, whoever runs the test.
  fs::create_directory(At("Borders.pix"));
  ASSERT_EQ(mkfifo(At("pipe.pix").c_str(), 0600), 0);
  ExpectAllFail(
      {{{"import", "good.png", "-o", "missing/Pieces.pix"}, "cannot write \"missing/Pieces.pix\""},
       {{"import", "good.png", "-o", "good.png/Pieces.pix"},
        "cannot write \"good.png/Pieces.pix\""},
       {{"export", "Pieces.pix", "-o", "missing/p.png"}, "cannot write \"missing/p.png\""},
       {{"palette", "-o", "missing/p.gpl"}, "cannot write \"missing/p.gpl\""},
       {{"import", "good.png", "-o", "Pieces.pix/x", "--size", "42x32", "--append"},
        "\"Pieces.pix/x\""},
       {{"import", "good.png", "-o", "Borders.pix"}, "is a directory"},
       {{"import", "good.png", "-o", "Borders.pix", "--append"}, "Is a directory"},
       {{"import", "good.png", "-o", "pipe.pix", "--size", "42x32"}, "not a regular file"},
       {{"import", "good.png", "-o", "pipe.pix", "--size", "42x32", "--append"},
        "not a regular file"}});
  if (geteuid() == 0) return;  // permissions do not stop the superuser
  fs::create_directory(At("locked"));
  WriteBytes(At("locked/Pieces.pix"), existing_);
  fs::permissions(At("locked"), fs::perms::owner_read | fs::perms::owner_exec);
  fs::permissions(At("Pieces.pix"), fs::perms::owner_read);  // a read-only sheet is not replaced
  ExpectAllFail({{{"import", "good.png", "-o", "locked/Pieces.pix"}, "locked/Pieces.pix"},
                 {{"import", "good.png", "-o", "Pieces.pix"}, "cannot write \"Pieces.pix\""},
                 {{"import", "good.png", "-o", "Pieces.pix", "--append"}, "Pieces.pix"}});
  fs::permissions(At("locked"), fs::perms::owner_all);
  EXPECT_EQ(List(At("locked")), std::vector<std::string>{"Pieces.pix"});
  EXPECT_EQ(ReadBytes(At("locked/Pieces.pix")), existing_);
}

TEST_F(BadInput, UsageMistakes) {
  ExpectAllFail(
      {{{"frobnicate"}, "unknown command"},
       {{"import", "good.png"}, "-o SHEET"},
       {{"import", "-o", "Pieces.pix"}, "IMAGE.png"},
       {{"import", "good.png", "-o", "art.pix"}, "give --size WxH"},
       {{"import", "good.png", "-o", "pieces.pix"}, "give --size WxH"},  // names match exactly
       {{"import", "good.png", "-o", "x.pix", "--size", "42by32"}, "bad image size '42by32'"},
       {{"import", "good.png", "-o", "x.pix", "--size", "0x32"}, "bad image size"},
       {{"import", "good.png", "-o", "x.pix", "--size", "42X32"},
        "bad image size"},  // one spelling: WxH
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
       {{"palette"}, "-o FILE"}});
  // No command at all: the overview on stderr, status 2.
  const RunResult r = Run({});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("usage: pixsheet"), std::string::npos);
  // The output named after the sheet, as users type it.
  Ok({"export", "Pieces.pix", "p.png"});
  EXPECT_EQ(LoadPng(At("p.png")).indices.size(), 85u * 32);  // two images side by side
}

}  // namespace
}  // namespace pxtest
