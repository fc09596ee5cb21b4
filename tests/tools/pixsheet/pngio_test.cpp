// The PNG library and sheet reader alone: PNG kinds paint programs write that
// the tool tests do not make, a failed write keeping the file it replaces, and
// hostile files costing little memory (read in a child limited to 64 MiB more).
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <functional>

#include "pixsheet.h"
#include "support.h"
#include "toolkit.h"

namespace pxtest {
namespace {

// Two files of the fuzz corpus. 5 x 2 indices 0 1 2 1 0 / 2 2 1 1 0 at 4 bits,
// index 0 transparent, 1 half, 2 opaque; 9 x 9 grey, interlaced (every
// Adam7 pass), pixel p of 16 bits p * 3 * 257.
TEST(Pngio, FourBitPaletteWithTransparencyAndInterlacedSixteenBitGrey) {
  const pngio::Image indexed = LoadPng(PIXSHOW_PNG_CORPUS "/indexed-4bit-trns.png");
  ASSERT_TRUE(indexed.indexed);
  EXPECT_EQ(indexed.paletteSize, 3);
  EXPECT_EQ(indexed.indices, Bytes({0, 1, 2, 1, 0, 2, 2, 1, 1, 0}));
  EXPECT_EQ(Bytes(indexed.rgba.begin(), indexed.rgba.begin() + 12),
            Bytes({0, 0, 0, 0, 10, 20, 30, 128, 255, 0, 0, 255}));
  const pngio::Image grey = LoadPng(PIXSHOW_PNG_CORPUS "/grey16-interlaced.png");
  EXPECT_FALSE(grey.indexed);
  Bytes expected;
  for (uint8_t p = 0; p < 81; ++p)
    expected.insert(expected.end(), {uint8_t(p * 3), uint8_t(p * 3), uint8_t(p * 3), 255});
  EXPECT_EQ(grey.rgba, expected);
}

TEST(Pngio, IndexedWriteHonoursTheStrideAndKeepsATargetOnFailure) {
  TempDir dir;
  const std::string path = dir / "out.png";
  const uint8_t surface[10] = {1, 2, 3, 99, 99,
                               4, 5, 6, 99, 99};  // 3 x 2 out of rows 5 bytes apart
  std::string error;
  ASSERT_TRUE(pngio::WriteIndexedPng(path, 3, 2, surface, 5, ProgramRgb(), &error)) << error;
  EXPECT_EQ(LoadPng(path).indices, Bytes({1, 2, 3, 4, 5, 6}));
  // Refused sizes and a failed write leave the file as it was, and no temporary file behind.
  const Bytes before = ReadBytes(path);
  EXPECT_FALSE(pngio::WriteIndexedPng(path, 0, 2, surface, 5, ProgramRgb(), &error));
  EXPECT_FALSE(
      pngio::WriteIndexedPng(path, 6, 2, surface, 5, ProgramRgb(), &error));  // stride below width
  EXPECT_FALSE(toolkit::WriteFileReplacing(
      path,
      [](std::FILE* f, std::string* why) {
        std::fputs("half", f);
        *why = "stopped";
        return false;
      },
      &error));
  EXPECT_EQ(error, "cannot write \"" + path + "\": stopped");
  EXPECT_EQ(ReadBytes(path), before);
  EXPECT_EQ(List(dir.Path()), std::vector<std::string>{"out.png"});
  // A signal that ends the process mid-write takes the temporary file with it.
  for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
    const pid_t pid = fork();
    if (pid == 0) {
      toolkit::WriteFileReplacing(
          path, [sig](std::FILE* f, std::string*) { return std::fputs("half", f), !raise(sig); },
          nullptr);
      _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << sig;
    EXPECT_EQ(List(dir.Path()), std::vector<std::string>{"out.png"});
  }
}

// Whether `check` holds in a child whose allocations beyond the budget fail.
bool TrueWithinBudget(const std::function<bool()>& check) {
  const pid_t pid = fork();
  if (pid == 0) {
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    const rlim_t limit = static_cast<rlim_t>(pages * sysconf(_SC_PAGESIZE)) + (64 << 20);
    const rlimit rl = {limit, limit};
    setrlimit(RLIMIT_AS, &rl);
    _exit(check() ? 0 : 3);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Found by fuzzing: a text chunk claiming 2 GiB made libpng allocate it, and
// a 68-byte file declaring the largest image took its whole buffer first.
TEST(Limits, PngsClaimingMoreThanTheyHoldAreRefusedAtOnce) {
  for (const auto& [file, says] : std::vector<std::pair<std::string, std::string>>{
           {"bomb-tEXt.png", "chunk tEXt claims 2147483647 bytes"},
           {"bomb-zTXt.png", "chunk zTXt claims"},
           {"bomb-iTXt.png", "chunk iTXt claims"},
           {"bomb-sPLT.png", "chunk sPLT claims"},
           {"huge-declared.png", "far too short for 32768 x 2048 pixels"}}) {
    EXPECT_TRUE(TrueWithinBudget([&] {
      pngio::Image png;
      std::string error;
      return !pngio::ReadPng(PIXSHOW_PNG_CORPUS "/" + file, &png, &error) &&
             error.find(says) != std::string::npos;
    })) << file;
  }
}

// A PNG chunk: length, type, data and checksum.
Bytes Chunk(const char* type, const Bytes& data) {
  const uint32_t n = static_cast<uint32_t>(data.size());
  Bytes c = {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)};
  c.insert(c.end(), type, type + 4);
  c.insert(c.end(), data.begin(), data.end());
  const uLong crc = crc32(0, c.data() + 4, static_cast<uInt>(n + 4));
  c.insert(c.end(), {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)});
  return c;
}

// Found by an adversarial round: a 1.1 MB XMP chunk refused a good PNG, a
// sparse gigabyte after the header was walked 12 bytes at a time, and a
// 32768 x 2048 PNG was decoded whole before its size was refused.
TEST(Limits, UnusedChunksAreSkippedDamageStopsTheWalkAndSizesComeFirst) {
  TempDir dir;
  const uint8_t indices[6] = {1, 2, 3, 4, 5, 6};
  SaveIndexed(dir / "good.png", 3, 2, indices);
  const Bytes good = ReadBytes(dir / "good.png");  // IHDR ends at byte 33, PLTE follows
  Bytes xmp(good.begin(), good.begin() + 33), damaged = good;
  const Bytes text = Chunk("iTXt", Bytes(1100000, 'x'));
  xmp.insert(xmp.end(), text.begin(), text.end());
  xmp.insert(xmp.end(), good.begin() + 33, good.end());
  WriteBytes(dir / "xmp.png", xmp);
  EXPECT_EQ(LoadPng(dir / "xmp.png").indices, Bytes(indices, indices + 6));
  damaged[33 + 8 + 5] ^= 1;
  WriteBytes(dir / "damaged.png", damaged);
  WriteBytes(dir / "sparse.png", Bytes(good.begin(), good.begin() + 33));
  fs::resize_file(dir / "sparse.png", 1 << 30);
  Bytes rows(32769 * 2048, 0), packed(compressBound(rows.size()));
  uLongf packedSize = packed.size();
  ASSERT_EQ(compress(packed.data(), &packedSize, rows.data(), rows.size()), Z_OK);
  packed.resize(packedSize);
  Bytes wide = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  for (const Bytes& c : {Chunk("IHDR", {0, 0, 128, 0, 0, 0, 8, 0, 8, 0, 0, 0, 0}),
                         Chunk("IDAT", packed), Chunk("IEND", {})})
    wide.insert(wide.end(), c.begin(), c.end());
  WriteBytes(dir / "wide.png", wide);
  rows = packed = wide = Bytes();
  for (const auto& [file, says] : std::vector<std::pair<std::string, std::string>>{
           {"damaged.png", "chunk PLTE has a wrong checksum"},
           {"sparse.png", "invalid chunk type at byte 37"},
           {"wide.png", "32768 x 2048 pixels: neither one 42 x 32 image"}}) {
    EXPECT_TRUE(TrueWithinBudget([&] {
      pngio::Image png;
      std::string error;
      return !pngio::ReadPng(dir / file, &png, &error, [&](int w, int h) {
        return pixsheet::PictureSizeProblem(w, h, file, {42, 32});
      }) && error.find(says) != std::string::npos;
    })) << file;
  }
}

// Found by fuzzing: info and export read the whole sheet into memory. A
// contact sheet too large for a PNG is refused before anything is read.
TEST(Limits, LargeSheetsAreReadInPieces) {
  TempDir dir;
  const std::string big = dir / "big.pix";
  WriteBytes(big, {1, 2, 3});
  fs::resize_file(big, 128 << 20);  // sparse: 128 MiB of which 3 bytes are set
  const pixsheet::ImageSize size{42, 32};
  EXPECT_TRUE(TrueWithinBudget([&] {
    const pixsheet::SheetReader sheet(big);
    const long long last = sheet.Length() / size.Bytes();
    const pixsheet::SheetSummary summary = pixsheet::SummariseSheet(sheet.File(), big);
    if (summary.usedCount != 4 || summary.scanned != pixsheet::kScanLimit ||
        pixsheet::ExportImage(sheet.File(), big, sheet.Length(), size, last).pixels.back() != 255) {
      return false;
    }
    try {
      pixsheet::ExportContactSheet(sheet.File(), big, sheet.Length(), size, 10);
    } catch (const pixsheet::Failure& failure) {
      return failure.message.find("use --columns or --image") != std::string::npos;
    }
    return false;
  }));
}

}  // namespace
}  // namespace pxtest
