// Shared set-up for the core tests: a fresh headless world, the program's
// globals back at their start values, a main window and devices, and a
// scratch directory for image sheets.
#ifndef PIXSHOW_TESTS_CORE_CORE_SUPPORT_H
#define PIXSHOW_TESTS_CORE_CORE_SUPPORT_H

#include <cstdint>
#include <string>
#include <vector>

#include "platform/portable/headless.h"

namespace coretest {

// pxh::Reset() and every program global back to its value at process start.
void ResetProgram();

// Registers the window class and creates the main window as the program does.
bool CreateMainWindow();

// ResetProgram, the main window and InitDevices; true when all succeeded.
bool StartProgram();

// The calls in the layer's log whose text starts with `prefix`.
std::vector<std::string> CallsStartingWith(const std::string& prefix);
int CountCalls(const std::string& prefix);
// Index of the first log entry at or after `from` starting with `prefix`, or -1.
int FindCall(const std::string& prefix, int from = 0);

// A surface's 640 x 480 indices.
struct Pixels {
  uint8_t at[pxh::kScreenHeight][pxh::kScreenWidth];
};
Pixels ReadPixels(IDirectDrawSurface7* surface);
Pixels ReadVisible();
void FillPixels(IDirectDrawSurface7* surface, uint8_t value);

// A fresh empty directory made the current one for the object's life.
class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;
  const std::string& path() const { return path_; }
  // Writes `bytes` to `name` inside the directory.
  void WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) const;
  bool Exists(const std::string& name) const;
  // Names of everything in the directory.
  std::vector<std::string> Entries() const;

 private:
  std::string path_;
  std::string previous_;
};

// A sheet of `count` images of width x height whose every byte tells the
// image, row and column: SheetByte(image, row, column).
std::vector<uint8_t> MakeSheet(int width, int height, int count);
uint8_t SheetByte(int image, int row, int column);

}  // namespace coretest

#endif
