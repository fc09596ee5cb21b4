// Shared set-up for the battle map and presentation tests: a fresh headless
// world with the program's globals at their start values, a main window and
// devices, synthetic image sheets in a scratch directory, and pixel helpers.
// Header-only so that tests/show can use it as well.
#ifndef PIXSHOW_TESTS_MAP_MAP_SUPPORT_H
#define PIXSHOW_TESTS_MAP_MAP_SUPPORT_H

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/app.h"
#include "devices/devices.h"
#include "map/map.h"
#include "platform/portable/headless.h"
#include "show/show.h"

namespace maptest {

constexpr int W = pxh::kScreenWidth;
constexpr int H = pxh::kScreenHeight;

// --- The program's world ------------------------------------------------------

// pxh::Reset() and every program global back to its value at process start.
inline void ResetProgram() {
  pxh::Reset();
  g_instance = NULL;
  g_mainWindow = NULL;
  g_quitRequested = 0;
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
  g_labelX = 0;
  g_labelY = 0;
}

// A fresh world with the main window and the devices set up, as WinMain does
// before the presentation. True when every step succeeded.
inline bool StartDevices() {
  ResetProgram();
  WNDCLASSEXA windowClass;
  std::memset(&windowClass, 0, sizeof(windowClass));
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = WindowProc;
  windowClass.lpszClassName = "WINCLASS1";
  if (RegisterClassExA(&windowClass) == 0) {
    return false;
  }
  g_mainWindow = CreateWindowExA(0, "WINCLASS1", "map test", WS_POPUP | WS_VISIBLE, 0, 0, W, H,
                                 NULL, NULL, NULL, NULL);
  return g_mainWindow != NULL && InitDevices() == 1;
}

// --- Pixels -----------------------------------------------------------------

struct Pixels {
  uint8_t at[H][W];
};

inline std::unique_ptr<Pixels> ReadPixels(IDirectDrawSurface7* surface) {
  auto pixels = std::make_unique<Pixels>();
  EXPECT_TRUE(pxh::ReadSurface(surface, pixels->at));
  return pixels;
}

inline std::unique_ptr<Pixels> ReadVisible() {
  auto screen = std::make_unique<pxh::Screen>();
  EXPECT_TRUE(pxh::ReadScreen(*screen));
  auto pixels = std::make_unique<Pixels>();
  std::memcpy(pixels->at, screen->pixels, sizeof(pixels->at));
  return pixels;
}

// A busy background whose every pixel differs from its neighbours, so that a
// pixel written where it should not be shows.
inline std::unique_ptr<Pixels> Background(int seed) {
  auto pixels = std::make_unique<Pixels>();
  for (int y = 0; y < H; y++) {
    for (int x = 0; x < W; x++) {
      pixels->at[y][x] = static_cast<uint8_t>((x * 7 + y * 13 + seed * 29) % 251 + 1);
    }
  }
  return pixels;
}

inline void WritePixels(IDirectDrawSurface7* surface, const Pixels& pixels) {
  ASSERT_TRUE(pxh::WriteSurface(surface, pixels.at));
}

// The first few differences between two pictures, for failure messages; empty
// when they are equal.
inline std::string Differences(const Pixels& expected, const Pixels& actual, int limit = 8) {
  std::ostringstream out;
  int count = 0;
  for (int y = 0; y < H; y++) {
    for (int x = 0; x < W; x++) {
      if (expected.at[y][x] != actual.at[y][x]) {
        if (count < limit) {
          out << " (" << x << "," << y << ") expected " << int(expected.at[y][x]) << " got "
              << int(actual.at[y][x]) << ";";
        }
        count++;
      }
    }
  }
  if (count == 0) {
    return "";
  }
  std::ostringstream all;
  all << count << " pixels differ:" << out.str();
  return all.str();
}

// --- Synthetic image sheets ---------------------------------------------------

// Identifies each sheet inside the bytes of the synthetic sheets.
enum SheetId { Ports = 1, Button, Divadude, WarTiles, Pieces, Borders };

// The byte at `offset` of synthetic sheet `sheet`: a hash of both, so that a
// byte taken from another sheet, image, row or column shows as a wrong value.
// Every value, 0 included, occurs.
inline uint8_t SheetByte(int sheet, long offset) {
  uint32_t h =
      static_cast<uint32_t>(sheet) * 0x9E3779B1u ^ static_cast<uint32_t>(offset) * 0x85EBCA77u;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  h *= 0x297A2D39u;
  h ^= h >> 15;
  return static_cast<uint8_t>(h);
}

inline std::vector<uint8_t> MakeSheet(int sheet, int imageBytes, int count) {
  std::vector<uint8_t> bytes(static_cast<size_t>(imageBytes) * count);
  for (size_t i = 0; i < bytes.size(); i++) {
    bytes[i] = SheetByte(sheet, static_cast<long>(i));
  }
  return bytes;
}

// Cell borders with large transparent parts, so that the order in which they
// are drawn shows: image 0 is transparent in its left half, image 1 in its top
// half, image 2 everywhere; elsewhere their bytes are those of MakeSheet with
// zeros made 1.
inline bool BorderTransparent(int image, int row, int column) {
  switch (image) {
    case 0:
      return column < 21;
    case 1:
      return row < 16;
    case 2:
      return true;
    default:
      return false;
  }
}

inline uint8_t BorderByte(int image, int row, int column) {
  if (BorderTransparent(image, row, column)) {
    return 0;
  }
  uint8_t value = SheetByte(Borders, static_cast<long>(image) * 1344 + row * 42 + column);
  return value == 0 ? 1 : value;
}

inline std::vector<uint8_t> MakeBorderSheet(int count) {
  std::vector<uint8_t> bytes;
  for (int image = 0; image < count; image++) {
    for (int row = 0; row < 32; row++) {
      for (int column = 0; column < 42; column++) {
        bytes.push_back(BorderByte(image, row, column));
      }
    }
  }
  return bytes;
}

// What drawing image `image` of a synthetic sheet (images of width x height,
// the sheet `sheetBytes` long) puts at (x, y): `rows` rows, bytes past the end
// as 255, zero bytes skipped when `skipZero`.
template <typename ByteOf>
void PutImage(Pixels& pixels, ByteOf byteAt, long sheetBytes, int image, int width, int height,
              int rows, int x, int y, bool skipZero) {
  for (int row = 0; row < rows; row++) {
    for (int column = 0; column < width; column++) {
      long offset = static_cast<long>(image) * width * height + row * width + column;
      uint8_t value = offset < sheetBytes ? byteAt(offset) : 255;
      if (skipZero && value == 0) {
        continue;
      }
      pixels.at[y + row][x + column] = value;
    }
  }
}

inline void PutSheetImage(Pixels& pixels, int sheet, long sheetBytes, int image, int width,
                          int height, int rows, int x, int y) {
  PutImage(
      pixels, [sheet](long offset) { return SheetByte(sheet, offset); }, sheetBytes, image, width,
      height, rows, x, y, false);
}

inline void PutBorder(Pixels& pixels, long sheetBytes, int image, int x, int y) {
  PutImage(
      pixels,
      [](long offset) {
        long image = offset / 1344, inImage = offset % 1344;
        return BorderByte(static_cast<int>(image), static_cast<int>(inImage / 42),
                          static_cast<int>(inImage % 42));
      },
      sheetBytes, image, 42, 32, 32, x, y, true);
}

// --- Scratch directory --------------------------------------------------------

// A fresh empty directory, the current one for the object's life.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    char previous[4096];
    if (getcwd(previous, sizeof(previous)) != NULL) {
      previous_ = previous;
    }
    std::string pattern = (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
    pattern += "/pixshow-map-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) != NULL) {
      path_ = name.data();
      if (chdir(path_.c_str()) != 0) {
        path_.clear();
      }
    }
  }
  ~ScratchDirectory() {
    if (!previous_.empty() && chdir(previous_.c_str()) != 0) {
      std::perror("chdir");
    }
    if (!path_.empty()) {
      for (const std::string& entry : Entries()) {
        std::remove((path_ + "/" + entry).c_str());
      }
      rmdir(path_.c_str());
    }
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  bool ok() const { return !path_.empty(); }

  void WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) const {
    FILE* file = std::fopen((path_ + "/" + name).c_str(), "wb");
    ASSERT_NE(file, nullptr) << name;
    if (!bytes.empty()) {
      ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    }
    std::fclose(file);
  }

  void Remove(const std::string& name) const { std::remove((path_ + "/" + name).c_str()); }

  // Names of everything in the directory, sorted.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    DIR* dir = opendir(path_.c_str());
    if (dir == NULL) {
      return names;
    }
    while (dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") {
        names.push_back(name);
      }
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::string path_;
  std::string previous_;
};

// --- Call log -----------------------------------------------------------------

inline int CountCalls(const std::string& prefix) {
  int count = 0;
  for (const std::string& call : pxh::CallLog()) {
    if (call.compare(0, prefix.size(), prefix) == 0) {
      count++;
    }
  }
  return count;
}

}  // namespace maptest

#endif
