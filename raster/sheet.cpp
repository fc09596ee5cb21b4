// Image sheets: headerless files of one-byte palette indices holding equally
// sized images back to back. An image's bytes are read in one go into a small
// buffer and plotted one by one into the locked surface; no sheet is ever held
// in memory.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "devices/devices.h"
#include "raster/raster.h"
#include "shell/shell.h"

namespace {

const int LoadFailureX = 30;
const int LoadFailureY = 430;
const COLORREF LoadFailureColour = 0xffffff;
const DWORD LoadFailureHoldMs = 2000;
// With --watch, how long a sheet that is missing, or held by its writer, is
// waited for: an editor may remove it before writing it again.
const DWORD SheetReplaceWaitMs = 2000;

// The largest image of the six sheets, in bytes.
constexpr int LargestImageBytes() {
  int most = 0;
  for (const SheetFormat& sheet : ImageSheets)
    most =
        sheet.imageWidth * sheet.imageHeight > most ? sheet.imageWidth * sheet.imageHeight : most;
  return most;
}
const int SheetImageBytesMost = LargestImageBytes();

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

HANDLE TryOpenSheet(const char* sheetName) {
  return CreateFileA(sheetName, GENERIC_READ,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, NULL);
}

int MayBeBeingReplaced(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_SHARING_VIOLATION;
}

// Opens the sheet; while the folder is watched, one that is missing or held
// by its writer is tried again at each change of the folder, for
// SheetReplaceWaitMs at most. *error tells why when it fails.
HANDLE OpenSheetWaitingWhileWatched(const char* sheetName, DWORD* error) {
  HANDLE sheet = TryOpenSheet(sheetName);
  *error = GetLastError();
  if (sheet != INVALID_HANDLE_VALUE || !g_watchSheets || !MayBeBeingReplaced(*error)) {
    return sheet;
  }
  HANDLE change = FindFirstChangeNotificationA(
      ".", FALSE, FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE);
  if (change == INVALID_HANDLE_VALUE) {
    return sheet;
  }
  const DWORD start = GetTickCount();
  for (;;) {
    // Tried once the folder is watched: a sheet back meanwhile is not missed.
    sheet = TryOpenSheet(sheetName);
    *error = GetLastError();
    const DWORD passed = GetTickCount() - start;
    if (sheet != INVALID_HANDLE_VALUE || !MayBeBeingReplaced(*error) ||
        passed >= SheetReplaceWaitMs) {
      break;
    }
    WaitForSingleObject(change, SheetReplaceWaitMs - passed);
    FindNextChangeNotification(change);
  }
  FindCloseChangeNotification(change);
  return sheet;
}

}  // namespace

void PlotPixel(int x, int y, unsigned char colour, void* surface, int pitch) {
  static_cast<unsigned char*>(surface)[y * pitch + x] = colour;
}

HANDLE OpenImageSheet(const char* sheetName, LPDIRECTDRAWSURFACE7 lockedSurface) {
  // Only a file on disk is a sheet. Opening never waits (a named pipe put in
  // the sheet's place, by a rename too, opens at once) and the kind is looked
  // at on what was opened, so a pipe or an endless device such as /dev/zero
  // is refused, never read.
  DWORD error = ERROR_SUCCESS;
  HANDLE sheet = OpenSheetWaitingWhileWatched(sheetName, &error);
  if (sheet == INVALID_HANDLE_VALUE) {
    const DWORD attributes = GetFileAttributesA(sheetName);
    const int reason =
        error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ENOENT
        : attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
            ? EISDIR
        : error == ERROR_ACCESS_DENIED ? EACCES
                                       : EIO;
    ShowLoadFailure(sheetName, lockedSurface, std::strerror(reason));
  }
  if (GetFileType(sheet) != FILE_TYPE_DISK) {
    CloseHandle(sheet);
    ShowLoadFailure(sheetName, lockedSurface, "not a regular file");
  }
  return sheet;
}

void PlotSheetImage(HANDLE sheet, int image, int width, int height, int rows, int x, int y,
                    int skipZero) {
  // The rows of one image follow each other: one read for them all. Bytes
  // the sheet does not have (it ends early, or a read fails) stay 255.
  static unsigned char bytes[SheetImageBytesMost];
  const DWORD wanted = static_cast<DWORD>(width) * rows;
  if (wanted > sizeof(bytes)) return;
  std::memset(bytes, 255, wanted);
  // The images drawn all start within the first megabyte of their sheet.
  const LONG offset = static_cast<LONG>(image) * width * height;
  DWORD have = 0, got = 0;
  if (SetFilePointer(sheet, offset, NULL, FILE_BEGIN) != INVALID_SET_FILE_POINTER) {
    while (have < wanted && ReadFile(sheet, bytes + have, wanted - have, &got, NULL) && got > 0)
      have += got;
  }
  const unsigned char* byte = bytes;
  for (int row = y; row < y + rows; row++) {
    for (int column = x; column < x + width; column++) {
      const unsigned char value = *byte++;
      if (skipZero && value == 0) {
        continue;
      }
      PlotPixel(column, row, value, g_surfaceDesc.lpSurface,
                static_cast<int>(g_surfaceDesc.lPitch));
    }
  }
}

int DrawSheetImage(LPDIRECTDRAWSURFACE7 surface, const char* sheetName, int width, int height,
                   int image, int x, int y, int skipZero) {
  if (FAILED(surface->Lock(NULL, &g_surfaceDesc, DDLOCK_WAIT, NULL))) {
    return 0;
  }
  HANDLE sheet = OpenImageSheet(sheetName, surface);
  PlotSheetImage(sheet, image, width, height, height, x, y, skipZero);
  CloseHandle(sheet);
  if (FAILED(surface->Unlock(NULL))) {
    return 0;
  }
  return 1;
}
