#include "tests/support/world.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "devices/devices.h"
#include "map/map.h"
#include "pngio.h"
#include "raster/sheets.h"
#include "shell/shell.h"
#include "show/show.h"

namespace pxtest {

void ResetProgram() {
  pxh::Reset();
  g_instance = GetModuleHandleA(NULL);  // what Windows hands WinMain
  g_mainWindow = NULL;
  g_quitRequested = g_screenNeedsRedraw = g_waitEndedByQuit = g_holdsReached = 0;
  g_screenNumber = g_screenWanted = g_loopShow = g_watchSheets = 0;
  g_startScreen = 1;
  g_delayMs = 0;
  g_screenshotFolder[0] = '\0';
  g_directDraw = NULL;
  g_primarySurface = g_backSurface = NULL;
  g_palette = NULL;
  std::memset(&g_surfaceDesc, 0, sizeof(g_surfaceDesc));
  std::memset(g_paletteEntries, 0, sizeof(g_paletteEntries));
  g_directInput = NULL;
  g_mouseDevice = g_keyboardDevice = NULL;
  g_inputEvents[MouseEvent] = g_inputEvents[KeyboardEvent] = NULL;
  std::memset(&g_mouseState, 0, sizeof(g_mouseState));
  g_cursorX = g_cursorY = g_labelX = g_labelY = 0;
}

bool StartProgram() {
  ResetProgram();
  return CreateMainWindow(GetModuleHandleA(NULL)) == 1 && InitDevices() == 1;
}

int RunProgram() {
  return WinMain(GetModuleHandleA(NULL), NULL, const_cast<LPSTR>(""), SW_SHOWNORMAL);
}

void ExpectCleanEnd() {
  EXPECT_FALSE(pxh::DisplayModeSet());
  std::vector<std::string> misuse = pxh::MisuseReport();
  EXPECT_TRUE(misuse.empty()) << ::testing::PrintToString(misuse);
}

int CountCalls(const std::string& prefix) {
  int count = 0;
  for (const std::string& call : pxh::CallLog())
    count += call.compare(0, prefix.size(), prefix) == 0;
  return count;
}

std::unique_ptr<Pixels> ReadPixels(IDirectDrawSurface7* surface) {
  auto pixels = std::make_unique<Pixels>();
  EXPECT_TRUE(pxh::ReadSurface(surface, pixels->at));
  return pixels;
}

std::unique_ptr<Pixels> ReadVisible() {
  auto pixels = std::make_unique<Pixels>();
  std::memcpy(pixels->at, ScreenPicture().indices.data(), sizeof(pixels->at));
  return pixels;
}

void WritePixels(IDirectDrawSurface7* surface, const Pixels& pixels) {
  EXPECT_TRUE(pxh::WriteSurface(surface, pixels.at));
}

void FillPixels(IDirectDrawSurface7* surface, uint8_t value) {
  auto pixels = std::make_unique<Pixels>();
  std::memset(pixels->at, value, sizeof(pixels->at));
  WritePixels(surface, *pixels);
}

std::unique_ptr<Pixels> Background(int seed) {
  auto pixels = std::make_unique<Pixels>();
  for (int y = 0; y < H; y++)
    for (int x = 0; x < W; x++)
      pixels->at[y][x] = static_cast<uint8_t>((x * 7 + y * 13 + seed * 29) % 251 + 1);
  return pixels;
}

std::string Differences(const Pixels& expected, const Pixels& actual) {
  std::ostringstream out;
  int count = 0;
  for (int y = 0; y < H; y++)
    for (int x = 0; x < W; x++) {
      if (expected.at[y][x] == actual.at[y][x]) continue;
      if (count++ < 8)
        out << " (" << x << "," << y << ") expected " << int(expected.at[y][x]) << " got "
            << int(actual.at[y][x]) << ";";
    }
  return count == 0 ? "" : std::to_string(count) + " pixels differ:" + out.str();
}

ScratchDirectory::ScratchDirectory() {
  char current[PATH_MAX];
  if (getcwd(current, sizeof(current)) != NULL) previous_ = current;
  EXPECT_EQ(chdir(Path().c_str()), 0) << Path();
}

ScratchDirectory::~ScratchDirectory() {
  if (!previous_.empty() && chdir(previous_.c_str()) != 0) std::perror("chdir");
}

uint8_t SheetByte(int sheet, long offset) {
  uint32_t h =
      static_cast<uint32_t>(sheet) * 0x9E3779B1u ^ static_cast<uint32_t>(offset) * 0x85EBCA77u;
  h = (h ^ (h >> 15)) * 0x2C1B3C6Du;
  h = (h ^ (h >> 12)) * 0x297A2D39u;
  return static_cast<uint8_t>(h ^ (h >> 15));
}

std::vector<uint8_t> MakeSheet(int sheet, long imageBytes, int count) {
  std::vector<uint8_t> bytes(static_cast<size_t>(imageBytes) * count);
  for (size_t i = 0; i < bytes.size(); i++) bytes[i] = SheetByte(sheet, static_cast<long>(i));
  return bytes;
}

std::string SourcePath(const std::string& relative) {
  return std::string(PIXSHOW_SOURCE_DIR) + "/" + relative;
}

std::string SampleArt() { return PIXSHOW_SAMPLE_DIR; }

void CopySampleArt(const ScratchDirectory& dir) {
  for (const SheetFormat& sheet : ImageSheets)
    dir.WriteFile(sheet.fileName, ReadBytes(SampleArt() + "/" + sheet.fileName));
}

std::vector<HoldLine> ReadHoldList(const std::string& path) {
  std::vector<HoldLine> holds;
  std::ifstream in(path);
  EXPECT_TRUE(in.good()) << path;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    HoldLine hold;
    std::getline(fields, hold.name, '\t');
    fields >> hold.atMs >> hold.kind >> hold.pauseMs >> hold.screen;
    EXPECT_TRUE(fields && (hold.kind == "pause" || hold.kind == "wait")) << line;
    holds.push_back(hold);
  }
  return holds;
}

std::string GoldenPath(const std::string& name) { return SourcePath("tests/show/golden/" + name); }

Picture LoadPicture(const std::string& pngPath) {
  pngio::Image png;
  std::string error;
  EXPECT_TRUE(pngio::ReadPng(pngPath, &png, &error)) << error;
  EXPECT_TRUE(png.indexed && png.width == W && png.height == H) << pngPath;
  Picture picture{png.indices, {}};
  for (int i = 0; i < png.paletteSize; i++)
    picture.rgb.insert(picture.rgb.end(), png.palette[i], png.palette[i] + 3);
  return picture;
}

Picture ScreenPicture() {
  auto screen = std::make_unique<pxh::Screen>();
  EXPECT_TRUE(pxh::ReadScreen(*screen));
  Picture picture{std::vector<uint8_t>(&screen->pixels[0][0], &screen->pixels[0][0] + W * H), {}};
  for (const PALETTEENTRY& e : screen->palette)
    picture.rgb.insert(picture.rgb.end(), {e.peRed, e.peGreen, e.peBlue});
  return picture;
}

std::string Differences(const Picture& expected, const Picture& actual) {
  if (expected.indices.size() != actual.indices.size()) return "sizes differ";
  std::ostringstream out;
  const auto diff =
      std::mismatch(expected.rgb.begin(), expected.rgb.end(), actual.rgb.begin(), actual.rgb.end());
  if (diff.first != expected.rgb.end() || diff.second != actual.rgb.end())
    out << " palettes differ from colour " << (diff.first - expected.rgb.begin()) / 3 << ";";
  auto want = std::make_unique<Pixels>(), got = std::make_unique<Pixels>();
  std::memcpy(want->at, expected.indices.data(), sizeof(want->at));
  std::memcpy(got->at, actual.indices.data(), sizeof(got->at));
  return out.str() + Differences(*want, *got);
}

}  // namespace pxtest
