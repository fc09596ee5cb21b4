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
  void WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) const {
    WriteBytes(*this / name, bytes);
  }
  // Names of everything in the folder, sorted.
  std::vector<std::string> Entries() const { return List(Path()); }

 private:
  std::string previous_;
};

// --- Synthetic sheets ---------------------------------------------------------

// Seeds of the synthetic sheets' bytes, one per sheet.
enum SheetSeed { Ports = 1, Button, Divadude };

// The byte at `offset` of synthetic sheet `sheet`: a hash of both, so that a
// byte taken from another sheet, image, row or column shows. Every value,
// 0 included, occurs.
uint8_t SheetByte(int sheet, long offset);
// Byte (row, column) of image `image` of a sheet of width x height images.
uint8_t ImageByte(int sheet, int width, int height, int image, int row, int column);
std::vector<uint8_t> MakeSheet(int sheet, long imageBytes, int count);

// --- The sample art and its golden pictures -------------------------------------

// A file of the source tree, by its path from the top.
std::string SourcePath(const std::string& relative);
// The build's sample art folder (the six sheets of pixshow-samplegen).
std::string SampleArt();
// Copies the six sample sheets into `dir`.
void CopySampleArt(const ScratchDirectory& dir);

// One line of a holds.tsv (pixshow-capture --all-holds): picture, virtual
// time, "pause" or "wait", pause length, screen.
struct HoldLine {
  std::string name, kind;
  uint64_t atMs = 0;
  uint32_t pauseMs = 0;
  int screen = 0;
};
std::vector<HoldLine> ReadHoldList(const std::string& path);
// tests/show/golden/`name`: the hold pictures and holds.tsv of the sample art.
std::string GoldenPath(const std::string& name);

// A picture: 640 x 480 indices and the colours of the palette in force.
struct Picture {
  std::vector<uint8_t> indices;
  std::vector<uint8_t> rgb;  // 256 x red, green, blue
};
Picture LoadPicture(const std::string& pngPath);
Picture ScreenPicture();  // the visible screen now
// The first few differences between two pictures; empty when they are equal.
std::string Differences(const Picture& expected, const Picture& actual);

}  // namespace pxtest

#endif
