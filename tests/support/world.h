// Shared set-up for the tests that run the program in-process on the headless
// display: fresh globals, pixels, the call log, a scratch folder, synthetic
// sheets, the sample art and its golden pictures.
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

// Synthetic sheets: the byte at `offset` of sheet `sheet` is a hash of both,
// so that a byte taken from another sheet, image, row or column shows.
enum SheetSeed { Ports = 1, Button, Divadude };
uint8_t SheetByte(int sheet, long offset);
std::vector<uint8_t> MakeSheet(int sheet, long imageBytes, int count);

std::string SourcePath(const std::string& relative);  // from the top of the tree
std::string SampleArt();  // the build's six sample sheets (pixshow-samplegen)
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
