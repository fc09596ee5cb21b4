// Hostile files cost little memory: each read runs in a child process whose
// address space may grow by only 64 MiB beyond what it starts with.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>

#include "pixsheet.h"
#include "support.h"

namespace pxtest {
namespace {

// True when `check` returned true in a child whose allocations beyond the
// budget fail.
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
    if (pixsheet::SummariseSheet(sheet.File(), big).usedCount != 4 ||
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
