// --watch: the folder of the sheets is watched through a change notification,
// and a change in it draws the current screen again from the sheets as they
// are now. Tools replace a sheet by writing another file and renaming it over
// the sheet, so the folder is watched, not the files. The wait sleeps on the
// notification with its input events; a pause looks once it is over.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "shell/shell.h"
#include "devices/devices.h"
#include "show/show.h"

namespace {

HANDLE g_sheetWatch = INVALID_HANDLE_VALUE;

const DWORD WatchedChanges = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE;

}  // namespace

int StartWatchingSheets() {
  if (!g_watchSheets || g_sheetWatch != INVALID_HANDLE_VALUE) {
    return 1;
  }
  // The sheets are read from the current folder; the watch wants it whole.
  std::error_code failed;
  const std::string folder = std::filesystem::current_path(failed).string();
  if (!failed) {
    g_sheetWatch = FindFirstChangeNotificationA(folder.c_str(), FALSE, WatchedChanges);
  }
  if (g_sheetWatch == INVALID_HANDLE_VALUE) {
    const DWORD error = failed ? 0 : GetLastError();
    if (error == ERROR_NOT_SUPPORTED) {
      std::fprintf(stderr, "pixshow: --watch is not available here; the sheets are not watched\n");
    } else {
      std::fprintf(stderr, "pixshow: --watch cannot watch the folder \"%s\" (error %lu)\n",
                   folder.c_str(), static_cast<unsigned long>(error));
    }
    return 0;
  }
  return 1;
}

void StopWatchingSheets() {
  if (g_sheetWatch != INVALID_HANDLE_VALUE) {
    FindCloseChangeNotification(g_sheetWatch);
    g_sheetWatch = INVALID_HANDLE_VALUE;
  }
}

int NoteSheetChanges() {
  if (g_sheetWatch == INVALID_HANDLE_VALUE ||
      WaitForSingleObject(g_sheetWatch, 0) != WAIT_OBJECT_0) {
    return 0;
  }
  // Watched again before the sheets are read: a change while the screen is
  // drawn brings another redraw.
  FindNextChangeNotification(g_sheetWatch);
  g_screenNeedsRedraw = 1;
  return 1;
}

DWORD CollectWaitHandles(HANDLE* handles) {
  DWORD count = 0;
  for (int event = 0; event < InputEventCount; event++) {
    handles[count++] = g_inputEvents[event];
  }
  if (g_sheetWatch != INVALID_HANDLE_VALUE) {
    handles[count++] = g_sheetWatch;
  }
  return count;
}
