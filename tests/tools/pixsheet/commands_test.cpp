// The commands (info, palette, --append, replacing a sheet, --help), and bad
// input: status 2, one clear line, and nothing lost or left behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <tuple>

#include "support.h"

namespace pxtest {
namespace {

using Cases = std::vector<std::pair<std::vector<std::string>, std::string>>;

class BadInput : public PixsheetTest {
 protected:
  void SetUp() override {
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
  auto cut = [&](size_t keep) { return Bytes(good_.data(), good_.data() + keep); };
  auto flipped = [](Bytes png, size_t at) { return png[at] ^= 0x10, png; };
  // Neither a pipe nor a device is waited on (the tool runs under a watchdog).
  ASSERT_EQ(mkfifo(At("pipe.png").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", At("zero.png"));
  const std::tuple<std::string, std::string, Bytes> bad[] = {
      {"cut4.png", "\"cut4.png\"", cut(4)},
      {"cut40.png", "\"cut40.png\"", cut(40)},
      {"half.png", "\"half.png\"", cut(good_.size() / 2)},
      {"short.png", "\"short.png\"", cut(good_.size() - 13)},
      {"bad1.png", "cannot read PNG \"bad1.png\"", flipped(good_, good_.size() / 2)},
      {"bad2.png", "cannot read PNG \"bad2.png\"", flipped(good_, 20)},
      {"notes.png", "\"notes.png\": not a PNG file", {'h', 'e', 'l', 'l', 'o', '\n', 0, 1}},
      {"empty.png", "\"empty.png\": not a PNG file", {}},
      {".", "is a directory", {}},
      {"wide.png", "\"wide.png\" is 43 x 32 pixels: neither one 42 x 32 image", {}},
      {"nowhere.png", "cannot open \"nowhere.png\"", {}},
      {"pipe.png", "\"pipe.png\": is a named pipe, not a regular file", {}},
      {"zero.png", "\"zero.png\": is a device, not a regular file", {}}};
  Cases cases;
  for (const auto& [name, mentions, bytes] : bad) {
    if (!bytes.empty() || name == "empty.png") WriteBytes(At(name), bytes);  // the PNG files
    cases.push_back({{"import", "good.png", name, "-o", "Pieces.pix"}, mentions});
    cases.push_back({{"import", "good.png", name, "-o", "Pieces.pix", "--append"}, mentions});
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
        "not a regular file"},
       // Not there to be painted: --force would not help either.
       {{"export", "Pieces.pix", "-o", "Borders.pix"}, "cannot write \"Borders.pix\": is a dir"},
       {{"export", "Pieces.pix", "-o", "pipe.pix"}, "\"pipe.pix\": is a named pipe"}});
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

// Found by an adversarial round: a failed --append onto a dangling link
// removed the link and left the file it made; a file-size limit ended the
// run mid-write; libpng said only "Write Error"; a 255-byte name had no room
// for the temporary name; a killed run's temporary files stayed.
TEST_F(BadInput, FileSizeLimitLinksLongNamesAndStaleTemporaries) {
  fs::create_symlink("made.pix", At("dangling.pix"));
  const std::vector<std::string> before = Files();
  for (const auto& [args, says] :
       Cases{{{"import", "good.png", "-o", "dangling.pix", "--append"}, "File too large"},
             {{"import", "good.png", "-o", "Pieces.pix", "--replace"}, "File too large"},
             {{"export", "Pieces.pix", "-o", "out.png"}, "\"out.png\": File too large"},
             {{"import", "good.png", "-o", "Pieces.pix", "--append"}, "File too large"}}) {
    std::vector<std::string> limited = {"-c", "ulimit -f 1 && exec \"$0\" \"$@\"", PIXSHEET_PATH};
    limited.insert(limited.end(), args.begin(), args.end());
    limited.insert(limited.end(), {"--size", "42x32"});
    ExpectFailure(RunTool(work_.Path(), "/bin/sh", limited), says);
  }
  EXPECT_EQ(Files(), before);
  EXPECT_EQ(ReadBytes(At("Pieces.pix")), existing_);
  EXPECT_TRUE(fs::is_symlink(At("dangling.pix")));
  WriteBytes(At(".pixtmp-999999999-0"), {1});  // of processes long gone
  WriteBytes(At(".Pieces.pix.tmp-999999999-3-12345"), {1});
  fs::last_write_time(At(".Pieces.pix.tmp-999999999-3-12345"),
                      fs::file_time_type::clock::now() - std::chrono::hours(2));
  const std::string longName = std::string(251, 'n') + ".pix";
  Ok({"import", "good.png", "-o", longName, "--size", "42x32"});
  EXPECT_EQ(ReadBytes(At(longName)), Bytes(existing_.begin(), existing_.begin() + 42 * 32));
  EXPECT_EQ(Files().size(), before.size() + 1);
}

TEST_F(BadInput, UsageMistakes) {
  ExpectAllFail(
      {{{"frobnicate"}, "unknown command"},
       {{"import", "good.png"}, "-o SHEET"},
       {{"import", "-o", "Pieces.pix"}, "IMAGE.png"},
       {{"import", "good.png", "-o", "art.pix"}, "give --size WxH"},
       {{"import", "good.png", "-o", "pieces.pix"},
        "from the sheet the program reads, \"Pieces.pix\", in its capitals"},
       {{"info", "nothere.pix"}, "cannot open \"nothere.pix\": no such file"},
       {{"export", "good.png"},
        "\"good.png\" is a PNG picture, not an image sheet: pixsheet import"},
       {{"export", "Pieces.pix", "-"}, "not to standard output"},
       {{"export", "Pieces.pix", "--image", "1", "-o", "good.png"},
        "differs from what export would write"},
       {{"import", "good.png", "-o", "x.pix", "--size", "42by32"}, "bad image size '42by32'"},
       {{"import", "good.png", "-o", "x.pix", "--size", "0x32"}, "bad image size"},
       {{"import", "good.png", "-o", "x.pix", "--size", "42X32"}, "bad image size"},
       {{"import", "good.png", "-o", "x.pix", "--size", " 42x32"}, "bad image size"},
       {{"import", "good.png", "-o", "Pieces.pix", "--colour"}, "unknown option --colour"},
       {{"import", "good.png", "-o", ""}, "option -o needs a value"},  // an empty name is no name
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
  // The same picture again may be written over; --force writes over another.
  Ok({"export", "Pieces.pix", "--image", "0", "-o", "good.png"});
  Ok({"export", "Pieces.pix", "--image", "1", "-o", "good.png", "--force"});
  EXPECT_NE(ReadBytes(At("good.png")), good_);
  // The output named after the sheet, as users type it.
  Ok({"export", "Pieces.pix", "p.png"});
  EXPECT_EQ(LoadPng(At("p.png")).indices.size(), 85u * 32);  // two images side by side
}

using Commands = PixsheetTest;

void ExpectHas(const std::string& text, const std::string& part) {
  EXPECT_NE(text.find(part), std::string::npos) << "expected '" << part << "' in: " << text;
}

TEST_F(Commands, InfoCountsImagesLeftOverBytesAndIndices) {
  Bytes sheet(540 * 2 + 7, 0);
  sheet[3] = 5, sheet[4] = 6, sheet[5] = 7, sheet[600] = 200, sheet.back() = 255;
  WriteBytes(At("button.pix"), sheet);
  const std::string out = Ok({"info", "button.pix"}).out;
  for (const char* part : {"1087 bytes", "45 x 12", "whole images: 2\n", "bytes left over: 7",
                           "indices used: 6 of 256: 0, 5-7, 200, 255\n"})
    ExpectHas(out, part);
  // --size overrides; an empty sheet has no image and no index.
  WriteBytes(At("blank.pix"), {});
  ExpectHas(Ok({"info", "blank.pix", "--size", "8x8"}).out,
            "whole images: 0\nbytes left over: 0\nindices used: 0 of 256: none");
  ExpectFailure(Run({"export", "blank.pix", "--size", "8x8"}), "no whole image");
  EXPECT_FALSE(Exists(At("blank.png")));
}

// --append grows the sheet in place (a hard link sees it grow); --replace
// replaces it whole, keeping its permissions.
TEST_F(Commands, AppendAddsAfterTheExistingBytesAndImportReplacesAWholeSheet) {
  Bytes expected = PixSheet(42, 32, 2);
  const Bytes added = PixSheet(42, 32, 3);
  WriteBytes(At("Pieces.pix"), expected);
  WriteBytes(At("new.pix"), added);
  const fs::perms perms = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(At("Pieces.pix"), perms);
  fs::create_hard_link(At("Pieces.pix"), At("link"));
  Ok({"export", "new.pix", "--size", "42x32", "-o", "new.png"});
  ExpectHas(Ok({"import", "new.png", "-o", "Pieces.pix", "--append"}).out, "now 5 images");
  expected.insert(expected.end(), added.begin(), added.end());
  EXPECT_EQ(ReadBytes(At("Pieces.pix")), expected);
  EXPECT_EQ(ReadBytes(At("link")), expected);
  // Appending to a missing sheet makes it; to one with a partial image, fails.
  Ok({"import", "new.png", "-o", "fresh.pix", "--size", "42x32", "--append"});
  EXPECT_EQ(ReadBytes(At("fresh.pix")), added);
  expected.push_back(9);
  WriteBytes(At("Pieces.pix"), expected);
  ExpectFailure(Run({"import", "new.png", "-o", "Pieces.pix", "--append"}), "not a whole number");
  EXPECT_EQ(ReadBytes(At("Pieces.pix")), expected);

  Ok({"import", "new.png", "-o", "Pieces.pix", "--replace"});
  EXPECT_EQ(ReadBytes(At("Pieces.pix")), added);
  EXPECT_EQ(fs::status(At("Pieces.pix")).permissions(), perms);
  EXPECT_EQ(Files(),
            (std::vector<std::string>{"Pieces.pix", "fresh.pix", "link", "new.pix", "new.png"}));
}

// --image K writes over images in place, through a temporary file, and keeps
// every other byte; an import that would leave a sheet with fewer images is
// refused unless --replace asks for it.
TEST_F(Commands, ImportOverImagesInPlaceAndNeverShrinksUnasked) {
  const size_t B = 42 * 32;
  const Bytes sheet = PixSheet(42, 32, 5), art(2 * B, 9);
  WriteBytes(At("art.pix"), art);
  Ok({"export", "art.pix", "--size", "42x32", "-o", "two.png"});
  Ok({"export", "art.pix", "--size", "42x32", "--image", "0", "-o", "one.png"});
  // The sheet after the import: `sheet` with `count` images of 9 from `first`.
  auto with = [&](size_t first, size_t count) {
    Bytes out = sheet;
    out.resize(std::max(out.size(), (first + count) * B));
    std::fill_n(out.begin() + first * B, count * B, 9);
    return out;
  };
  const std::tuple<std::vector<std::string>, std::string, Bytes> cases[] = {
      {{"one.png", "--image", "0"}, "1 image over image 0 of \"Pieces.pix\": 5 images", with(0, 1)},
      {{"two.png", "--image", "3"}, "over images 3-4", with(3, 2)},
      {{"two.png", "--image", "5"}, "over images 5-6 of \"Pieces.pix\": 7 images", with(5, 2)},
      {{"two.png", "--image", "4"}, "holds 5 images: images 4-5 would reach past its end", sheet},
      {{"one.png", "--image", "6"}, "(--image 5 adds images after the last)", sheet},
      {{"one.png"},
       "\"Pieces.pix\" holds 5 images and the import gives only 1: give --image K",
       sheet},
      {{"one.png", "--image", "1", "--append"}, "give one of them", sheet},
      {{"one.png", "--replace"}, "wrote \"Pieces.pix\": 1 image", Bytes(B, 9)}};
  for (const auto& [args, message, expected] : cases) {
    WriteBytes(At("Pieces.pix"), sheet);
    std::vector<std::string> command = {"import", "-o", "Pieces.pix"};
    command.insert(command.end(), args.begin(), args.end());
    const RunResult r = Run(command);
    if (expected == sheet) {
      ExpectFailure(r, message);
    } else {
      EXPECT_EQ(r.status, 0) << r.err;
      ExpectHas(r.out, message);
    }
    EXPECT_EQ(ReadBytes(At("Pieces.pix")), expected) << message;
  }
  EXPECT_EQ(Files(), (std::vector<std::string>{"Pieces.pix", "art.pix", "one.png", "two.png"}));
}

// Large pictures are never held whole: neither the images an import writes
// over others (nor when they are refused as too many), nor an OUT.png that
// export compares, nor a numbered preview too large to write.
TEST_F(Commands, LargePicturesAreNeverHeldWhole) {
  const size_t B = 64 * 64;
  Bytes edited = PixSheet(64, 64, 4800);
  WriteBytes(At("big.pix"), edited);
  Ok({"export", "big.pix", "--size", "64x64", "--columns", "80", "-o", "a.png"});  // 5199 x 3899
  edited.back() ^= 1;  // found different only in the last row
  WriteBytes(At("edited.pix"), edited);
  fs::copy_file(At("a.png"), At("b.png"));
  WriteBytes(At("room.pix"), Bytes(9600 * B, 1));
  WriteBytes(At("one.pix"), Bytes(3000, 1));
  const std::tuple<std::vector<std::string>, int, std::string, int> cases[] = {
      {{"import", "a.png", "b.png", "-o", "room.pix", "--size", "64x64", "--image", "0"},
       0,
       "9600 images",
       60},
      {{"import", "a.png", "b.png", "-o", "room.pix", "--size", "64x64", "--image", "1"},
       2,
       "images 1-9600",
       60},
      {{"export", "edited.pix", "--size", "64x64", "--columns", "80", "-o", "a.png"},
       2,
       "differs",
       90},
      {{"export", "one.pix", "--size", "1x1", "--columns", "1", "--labels"},
       2,
       "a numbered preview of 3000 images in 1 columns would be 1 x 45000 pixels",
       60}};
  const char* peak =
      "import os, subprocess, sys\n"
      "p = subprocess.Popen(sys.argv[1:], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)\n"
      "said = p.stdout.read().decode()\n"
      "_, status, usage = os.wait4(p.pid, 0)\n"
      "print(os.waitstatus_to_exitcode(status), usage.ru_maxrss // 1024, said)\n";
  for (const auto& [args, status, said, most] : cases) {
    std::vector<std::string> command = {"-c", peak, PIXSHEET_PATH};
    command.insert(command.end(), args.begin(), args.end());
    std::istringstream r(RunTool(work_.Path(), "python3", command).out);
    int exited = -1, mb = -1;
    r >> exited >> mb;
    EXPECT_EQ(exited, status) << r.str();
    ExpectHas(r.str(), said);
    EXPECT_LT(mb, most) << r.str();
  }
  EXPECT_EQ(ReadBytes(At("room.pix")), [] {
    Bytes both = PixSheet(64, 64, 4800);
    both.insert(both.end(), both.begin(), both.end());
    return both;
  }());
}

// check: a complete folder, then one with a short, a missing, a mis-sized and
// a wrongly capitalised sheet; what will not draw is named with its screen.
TEST_F(Commands, CheckNamesWhatWillNotDrawWithItsScreen) {
  fs::create_directory(At("art"));
  for (const SheetFormat& f : ImageSheets) {
    // The counts the web page reads by are what the program is seen to draw.
    int drawn = 0;
    for (const pixsheet::ArtUse& use : pixsheet::ArtUses())
      if (ImageSheets + use.sheet == &f) drawn = std::max(drawn, use.image + 1);
    EXPECT_EQ(drawn, f.imagesDrawn) << f.fileName;
    WriteBytes(At("art/") + f.fileName, PixSheet(f.imageWidth, f.imageHeight, f.imagesDrawn));
  }
  ExpectHas(Ok({"check", "art"}).out, "every image the presentation draws is in \"art\"\n");
  Bytes ports = PixSheet(82, 62, 4);
  ports.resize(ports.size() + 100, 1);  // image 4 begun, not finished
  WriteBytes(At("art/ports.pix"), ports);
  WriteBytes(At("art/button.pix"), Bytes(540 + 7, 1));
  fs::remove(At("art/Pieces.pix"));
  fs::rename(At("art/Borders.pix"), At("art/borders.pix"));
  const RunResult r = Run({"check", "art"});
  EXPECT_EQ(r.status, 1);
  for (const char* part :
       {"ports.pix           4     20  100 bytes left over after the last whole 82 x 62 image "
        "(imported at another size?); screen 1 draws images 5-10, 12, 15-19 as white blocks; "
        "screen 2 draws image 4 only in part, white after its first 100 bytes\n",
        "button.pix          1      1  7 bytes left over after the last whole 45 x 12 image",
        "Divadude.pix        9      9  ok\n",
        "Pieces.pix          -      5  missing: the show stops at screen 7 with \"Load Failure\"",
        "missing (\"borders.pix\" is there: the name must be \"Borders.pix\")",
        "4 of the 6 sheets in \"art\" need attention"})
    ExpectHas(r.out, part);
  EXPECT_EQ(Run({"check"}).status, 1);  // the current folder holds none
  ExpectFailure(Run({"check", "art/ports.pix"}), "\"art/ports.pix\": not a folder");
}

// What a sheet that ends early draws, to the byte: white only where a screen
// draws bytes that are not there (the icons of screen 3 show the top 38 rows
// of their 62). Links that lead nowhere are named so.
TEST_F(Commands, CheckCountsTheBytesEachScreenDraws) {
  const size_t P = 82 * 62;
  const std::tuple<const char*, size_t, std::string> cases[] = {
      {"ports.pix", 19 * P, "19     20  screen 1 draws image 19 as a white block\n"},
      {"ports.pix", 20 * P - 1, "image 19 only in part, white after its first 5083 bytes\n"},
      {"ports.pix", 20 * P, "20     20  ok\n"},
      {"Divadude.pix", 8 * P + 38 * 82,
       "8      9  3116 bytes left over after the last whole 82 x 62 image (imported at another "
       "size?)\n"},
      {"Divadude.pix", 8 * P + 38 * 82 - 1,
       "(imported at another size?); screen 3 draws image 8 only in part, white after its first "
       "3115 bytes\n"},
      {"ports.pix", 0, "ports.pix           -     20  a link loop (the link leads back to itself)"},
      {"Pieces.pix", 0, "a link to \"gone.pix\", which is missing: the show stops at screen 7"}};
  for (const auto& [name, bytes, said] : cases) {
    fs::remove_all(At("art"));
    fs::create_directory(At("art"));
    for (const SheetFormat& f : ImageSheets)
      WriteBytes(At("art/") + f.fileName, PixSheet(f.imageWidth, f.imageHeight, f.imagesDrawn));
    fs::remove(At("art/") + name);
    if (bytes) {
      WriteBytes(At("art/") + name, PixSheet(82, 62, 20));
      fs::resize_file(At("art/") + name, bytes);
    } else {
      fs::create_symlink(name == std::string("ports.pix") ? name : "gone.pix", At("art/") + name);
    }
    ExpectHas(Run({"check", "art"}).out, said);
  }
}

TEST_F(Commands, PaletteInThreeFormats) {
  Ok({"palette", "-o", "pixshow.gpl"});
  Ok({"palette", "-o", "pixshow.PAL"});
  Ok({"palette", "-o", "swatch.png", "--scale", "3"});
  // GIMP: a header, then "R G B<tab>name"; JASC: three header lines, then "R G B",
  // CR LF. Both in index order, the generated entries (81 on) too.
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
  for (int r, g, b; std::getline(gimp, line);)
    if (std::sscanf(line.c_str(), "%d %d %d", &r, &g, &b) == 3) read.insert(read.end(), {r, g, b});
  EXPECT_EQ(read, want);
  EXPECT_EQ(jasc, wantJasc);
  ExpectHas(jasc, "\r\n53 164 137\r\n");  // entry 81: not only the fixed table

  // Swatch: 16 x 16 squares of 3 pixels, index i at column i % 16, row i / 16.
  const pngio::Image png = LoadPng(At("swatch.png"));
  ASSERT_TRUE(png.indexed && png.width == 48 && png.height == 48);
  EXPECT_EQ(Bytes({png.indices[0], png.indices[2 * 48 + 47], png.indices[47 * 48 + 3]}),
            Bytes({0, 15, 241}));
  EXPECT_EQ(png.palette[81][0], 53);
}

TEST_F(Commands, HelpForEachCommand) {
  for (const std::string command : {"info", "export", "import", "check", "palette"})
    EXPECT_EQ(Ok({command, "--help"}).out.rfind("usage: pixsheet " + command, 0), 0u) << command;
  ExpectHas(Ok({"--help"}).out, "ports.pix 82x62");
  // The contact-sheet rule and the colour rule are told where an artist looks.
  for (const char* rule : {"C*W + (C-1)", "lowest index on ties"})
    ExpectHas(Ok({"import", "--help"}).out, rule);
  EXPECT_EQ(Files(), std::vector<std::string>{});
}

}  // namespace
}  // namespace pxtest
