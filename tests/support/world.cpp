#include "tests/support/world.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "shell/shell.h"
#include "devices/devices.h"
#include "map/map.h"
#include "raster/sheets.h"
#include "show/show.h"

namespace pxtest {

void ResetProgram() {
  pxh::Reset();
  g_instance = NULL;
  g_mainWindow = NULL;
  g_quitRequested = 0;
  g_screenNeedsRedraw = 0;
  g_directDraw = NULL;
  g_primarySurface = NULL;
  g_backSurface = NULL;
  g_palette = NULL;
  std::memset(&g_surfaceDesc, 0, sizeof(g_surfaceDesc));
  std::memset(g_paletteEntries, 0, sizeof(g_paletteEntries));
  g_directInput = NULL;
  g_mouseDevice = NULL;
  g_keyboardDevice = NULL;
  std::memset(&g_mouseState, 0, sizeof(g_mouseState));
  g_cursorX = 0;
  g_cursorY = 0;
  g_waitEndedByQuit = 0;
  g_holdsReached = 0;
  g_labelX = 0;
  g_labelY = 0;
}

bool CreateMainWindow() {
  WNDCLASSEXA windowClass;
  std::memset(&windowClass, 0, sizeof(windowClass));
  windowClass.cbSize = sizeof(windowClass);
  windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC | CS_DBLCLKS;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  windowClass.lpszClassName = "WINCLASS1";
  if (RegisterClassExA(&windowClass) == 0) return false;
  g_mainWindow = CreateWindowExA(0, "WINCLASS1", "DirectDraw Test for Game", WS_POPUP | WS_VISIBLE,
                                 0, 0, W, H, NULL, NULL, NULL, NULL);
  return g_mainWindow != NULL;
}

bool StartProgram() {
  ResetProgram();
  return CreateMainWindow() && InitDevices() == 1;
}

int RunProgram() { return WinMain(NULL, NULL, const_cast<LPSTR>(""), SW_SHOWNORMAL); }

void ExpectCleanEnd() {
  EXPECT_FALSE(pxh::DisplayModeSet());
  std::vector<std::string> misuse = pxh::MisuseReport();
  EXPECT_TRUE(misuse.empty()) << ::testing::PrintToString(misuse);
}

int CountCalls(const std::string& prefix) {
  int count = 0;
  for (const std::string& call : pxh::CallLog()) count += call.compare(0, prefix.size(), prefix) == 0;
  return count;
}

std::unique_ptr<Pixels> ReadPixels(IDirectDrawSurface7* surface) {
  auto pixels = std::make_unique<Pixels>();
  EXPECT_TRUE(pxh::ReadSurface(surface, pixels->at));
  return pixels;
}

std::unique_ptr<Pixels> ReadVisible() {
  auto screen = std::make_unique<pxh::Screen>();
  EXPECT_TRUE(pxh::ReadScreen(*screen));
  auto pixels = std::make_unique<Pixels>();
  std::memcpy(pixels->at, screen->pixels, sizeof(pixels->at));
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
    for (int x = 0; x < W; x++) pixels->at[y][x] = static_cast<uint8_t>((x * 7 + y * 13 + seed * 29) % 251 + 1);
  return pixels;
}

std::string Differences(const Pixels& expected, const Pixels& actual) {
  std::ostringstream out;
  int count = 0;
  for (int y = 0; y < H; y++)
    for (int x = 0; x < W; x++) {
      if (expected.at[y][x] == actual.at[y][x]) continue;
      if (count++ < 8)
        out << " (" << x << "," << y << ") expected " << int(expected.at[y][x]) << " got " << int(actual.at[y][x]) << ";";
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

void ScratchDirectory::Remove(const std::string& name) const { std::remove((*this / name).c_str()); }

namespace {

SheetFile Describe(::SheetId sheet, SheetId id, int count) {
  const SheetFormat& format = ImageSheets[sheet];
  return {format.fileName, id, format.imageWidth, format.imageHeight, count};
}

}  // namespace

const SheetFile kSheets[6] = {
    Describe(PortraitSheet, Ports, 20),   Describe(ButtonSheet, Button, 1),
    Describe(StatIconSheet, Divadude, 9), Describe(TileSheet, WarTiles, 36),
    Describe(PieceSheet, Pieces, 5),      Describe(BorderSheet, Borders, 2),
};

uint8_t SheetByte(int sheet, long offset) {
  uint32_t h = static_cast<uint32_t>(sheet) * 0x9E3779B1u ^ static_cast<uint32_t>(offset) * 0x85EBCA77u;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  h *= 0x297A2D39u;
  h ^= h >> 15;
  return static_cast<uint8_t>(h);
}

uint8_t ImageByte(int sheet, int width, int height, int image, int row, int column) {
  return SheetByte(sheet, static_cast<long>(image) * width * height + static_cast<long>(row) * width + column);
}

std::vector<uint8_t> MakeSheet(int sheet, long imageBytes, int count) {
  std::vector<uint8_t> bytes(static_cast<size_t>(imageBytes) * count);
  for (size_t i = 0; i < bytes.size(); i++) bytes[i] = SheetByte(sheet, static_cast<long>(i));
  return bytes;
}

uint8_t BorderByte(int image, int row, int column) {
  bool transparent = image == 0 ? column < 21 : image == 1 ? row < 16 : image == 2;
  if (transparent) return 0;
  uint8_t value = ImageByte(Borders, 42, 32, image, row, column);
  return value == 0 ? 1 : value;
}

std::vector<uint8_t> MakeBorderSheet(int count) {
  std::vector<uint8_t> bytes;
  for (int image = 0; image < count; image++)
    for (int row = 0; row < 32; row++)
      for (int column = 0; column < 42; column++) bytes.push_back(BorderByte(image, row, column));
  return bytes;
}

void WriteSheets(const ScratchDirectory& dir, const std::string& except) {
  for (const SheetFile& sheet : kSheets) {
    if (sheet.name == except) continue;
    dir.WriteFile(sheet.name, sheet.id == Borders ? MakeBorderSheet(sheet.count)
                                                  : MakeSheet(sheet.id, sheet.width * sheet.height, sheet.count));
  }
}

namespace {

uint8_t BorderSheetByte(int, long offset) {
  return BorderByte(static_cast<int>(offset / 1344), static_cast<int>(offset % 1344 / 42), static_cast<int>(offset % 42));
}

// Puts `rows` rows of image `image` (width x height) at (x, y), byte i of the
// sheet being byteAt(sheet, i): past `sheetBytes` 255, zero skipped if asked.
void PutImage(Pixels& pixels, uint8_t (*byteAt)(int, long), int sheet, long sheetBytes, int image, int width,
              int height, int rows, int x, int y, bool skipZero) {
  for (int row = 0; row < rows; row++)
    for (int column = 0; column < width; column++) {
      long offset = static_cast<long>(image) * width * height + static_cast<long>(row) * width + column;
      uint8_t value = offset < sheetBytes ? byteAt(sheet, offset) : 255;
      if (!(skipZero && value == 0)) pixels.at[y + row][x + column] = value;
    }
}

}  // namespace

void PutSheetImage(Pixels& pixels, int sheet, long sheetBytes, int image, int width, int height, int rows, int x,
                   int y) {
  PutImage(pixels, SheetByte, sheet, sheetBytes, image, width, height, rows, x, y, false);
}

void PutBorder(Pixels& pixels, long sheetBytes, int image, int x, int y) {
  PutImage(pixels, BorderSheetByte, Borders, sheetBytes, image, 42, 32, 32, x, y, true);
}

}  // namespace pxtest
