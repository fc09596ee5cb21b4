// Shared set-up for the tests that run the program in-process on the headless
// display: the program's globals back at their start values, the main window
// and devices, pixel access, the call log, a scratch folder and synthetic
// image sheets whose every byte tells its sheet and offset.
#ifndef PIXSHOW_TESTS_SUPPORT_WORLD_H
#define PIXSHOW_TESTS_SUPPORT_WORLD_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/portable/control/headless.h"
#include "tests/support/tools.h"

namespace pxtest {

constexpr int W = pxport::kScreenWidth;
constexpr int H = pxport::kScreenHeight;

// pxh::Reset() and every program global back to its value at process start.
void ResetProgram();
// Registers the window class and creates the main window as WinMain does.
bool CreateMainWindow();
// ResetProgram, the main window and InitDevices; true when all succeeded.
bool StartProgram();
// The program from its entry point.
int RunProgram();
// The display mode is restored and the layer saw no misuse.
void ExpectCleanEnd();

// The number of calls in the layer's log whose text starts with `prefix`.
int CountCalls(const std::string& prefix);

struct Pixels {
  uint8_t at[H][W];
};
std::unique_ptr<Pixels> ReadPixels(IDirectDrawSurface7* surface);
std::unique_ptr<Pixels> ReadVisible();
void WritePixels(IDirectDrawSurface7* surface, const Pixels& pixels);
void FillPixels(IDirectDrawSurface7* surface, uint8_t value);
// A busy picture whose every pixel differs from its neighbours, so that a
// pixel written where it should not be shows.
std::unique_ptr<Pixels> Background(int seed);
// The first few differences between two pictures; empty when they are equal.
std::string Differences(const Pixels& expected, const Pixels& actual);

// A fresh empty folder, the current one for the object's life.
class ScratchDirectory : public TempDir {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  const std::string& path() const { return Path(); }
  void WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) const { WriteBytes(*this / name, bytes); }
  void Remove(const std::string& name) const;
  // Names of everything in the folder, sorted.
  std::vector<std::string> Entries() const { return List(Path()); }

 private:
  std::string previous_;
};

// --- Synthetic sheets ---------------------------------------------------------

enum SheetId { Ports = 1, Button, Divadude, WarTiles, Pieces, Borders };

struct SheetFile {
  const char* name;
  SheetId id;
  int width, height, count;
};
// The six sheets the presentation reads, with the sizes and counts it uses.
extern const SheetFile kSheets[6];

// The byte at `offset` of synthetic sheet `sheet`: a hash of both, so that a
// byte taken from another sheet, image, row or column shows. Every value,
// 0 included, occurs.
uint8_t SheetByte(int sheet, long offset);
// Byte (row, column) of image `image` of a sheet of width x height images.
uint8_t ImageByte(int sheet, int width, int height, int image, int row, int column);
std::vector<uint8_t> MakeSheet(int sheet, long imageBytes, int count);

// Cell borders with large transparent parts, so that drawing order shows:
// image 0 is transparent in its left half, image 1 in its top half, image 2
// everywhere; elsewhere bytes as MakeSheet's, zeros made 1.
uint8_t BorderByte(int image, int row, int column);
std::vector<uint8_t> MakeBorderSheet(int count);

// Writes the six sheets (borders as MakeBorderSheet) into the current folder
// of `dir`, all but `except`.
void WriteSheets(const ScratchDirectory& dir, const std::string& except = "");

// Puts image `image` of a synthetic sheet `sheetBytes` long into `pixels` at
// (x, y): `rows` rows of width x height images, bytes past the end as 255.
void PutSheetImage(Pixels& pixels, int sheet, long sheetBytes, int image, int width, int height,
                   int rows, int x, int y);
// A border image of MakeBorderSheet drawn at (x, y), zero bytes skipped.
void PutBorder(Pixels& pixels, long sheetBytes, int image, int x, int y);

}  // namespace pxtest

#endif
