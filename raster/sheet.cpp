// Image sheets: headerless files of one-byte palette indices holding equally
// sized images back to back. Every byte goes from the open file straight into
// the locked surface; no image is ever held in memory.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "devices/devices.h"
#include "raster/raster.h"

namespace {

const int LoadFailureX = 30;
const int LoadFailureY = 430;
const COLORREF LoadFailureColour = 0xffffff;
const DWORD LoadFailureHoldMs = 2000;

// Shows why the program cannot go on, puts the display back and ends the
// process with status 1.
[[noreturn]] void ShowLoadFailure(const char* sheetName, LPDIRECTDRAWSURFACE7 lockedSurface,
                                  const char* reason) {
  // The visible surface gives no device context while a surface is locked.
  if (lockedSurface != NULL) {
    lockedSurface->Unlock(NULL);
  }
  if (g_primarySurface != NULL) {
    DrawTextOpaque("Load Failure", LoadFailureX, LoadFailureY, LoadFailureColour, g_primarySurface);
  }
  Sleep(LoadFailureHoldMs);
  std::fprintf(stderr, "pixshow: cannot open image sheet \"%s\": %s\n", sheetName, reason);
  ShutdownDevices();
  std::exit(1);
}

}  // namespace

void PlotPixel(int x, int y, unsigned char colour, void* surface, int pitch) {
  static_cast<unsigned char*>(surface)[y * pitch + x] = colour;
}

FILE* OpenImageSheet(const char* sheetName, LPDIRECTDRAWSURFACE7 lockedSurface) {
  // Only a regular file is a sheet. Opening a named pipe would wait for a
  // writer for ever, and a device such as /dev/zero never ends; looking at
  // the kind of file first opens nothing. (A pipe put in the sheet's place
  // between this look and the open below would still be waited on: only the
  // platform's own calls can open without waiting.)
  std::error_code status;
  const std::filesystem::file_type type = std::filesystem::status(sheetName, status).type();
  if (type == std::filesystem::file_type::directory) {
    ShowLoadFailure(sheetName, lockedSurface, std::strerror(EISDIR));
  }
  // A kind that cannot be told (no such file, no access) is left to the open,
  // which names the reason.
  if (type != std::filesystem::file_type::regular &&
      type != std::filesystem::file_type::not_found && type != std::filesystem::file_type::none) {
    ShowLoadFailure(sheetName, lockedSurface, "not a regular file");
  }
  errno = 0;
  FILE* sheet = std::fopen(sheetName, "rb");
  if (sheet == NULL) {
    ShowLoadFailure(sheetName, lockedSurface, std::strerror(errno != 0 ? errno : ENOENT));
  }
  // Some systems open a directory for reading and fail only at the first
  // read; such a sheet cannot be read at all and counts as not opened. A
  // sheet that merely ends early is fine (its missing bytes draw as 255).
  errno = 0;
  if (std::getc(sheet) == EOF && std::ferror(sheet)) {
    int reason = errno != 0 ? errno : EIO;
    std::fclose(sheet);
    ShowLoadFailure(sheetName, lockedSurface, std::strerror(reason));
  }
  std::rewind(sheet);
  return sheet;
}

void PlotSheetImage(FILE* sheet, int image, int width, int height, int rows, int x, int y,
                    int skipZero) {
  long offset = static_cast<long>(image) * width * height;
  std::fseek(sheet, offset, SEEK_SET);
  for (int row = y; row < y + rows; row++) {
    for (int column = x; column < x + width; column++) {
      int value = std::getc(sheet);
      if (skipZero && value == 0) {
        continue;
      }
      PlotPixel(column, row, static_cast<unsigned char>(value & 0xff), g_surfaceDesc.lpSurface,
                static_cast<int>(g_surfaceDesc.lPitch));
    }
  }
}

int DrawSheetImage(LPDIRECTDRAWSURFACE7 surface, const char* sheetName, int width, int height,
                   int image, int x, int y, int skipZero) {
  if (FAILED(surface->Lock(NULL, &g_surfaceDesc, DDLOCK_WAIT, NULL))) {
    return 0;
  }
  FILE* sheet = OpenImageSheet(sheetName, surface);
  PlotSheetImage(sheet, image, width, height, height, x, y, skipZero);
  std::fclose(sheet);
  if (FAILED(surface->Unlock(NULL))) {
    return 0;
  }
  return 1;
}
