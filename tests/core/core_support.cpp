#include "tests/core/core_support.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/app.h"
#include "devices/devices.h"
#include "show/show.h"

namespace coretest {

void ResetProgram() {
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
}

bool CreateMainWindow() {
  WNDCLASSEXA windowClass;
  std::memset(&windowClass, 0, sizeof(windowClass));
  windowClass.cbSize = sizeof(windowClass);
  windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC | CS_DBLCLKS;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = NULL;
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  windowClass.lpszClassName = "WINCLASS1";
  if (RegisterClassExA(&windowClass) == 0) return false;
  g_mainWindow = CreateWindowExA(0, "WINCLASS1", "DirectDraw Test for Game", WS_POPUP | WS_VISIBLE,
                                 0, 0, 640, 480, NULL, NULL, NULL, NULL);
  return g_mainWindow != NULL;
}

bool StartProgram() {
  ResetProgram();
  if (!CreateMainWindow()) return false;
  return InitDevices() == 1;
}

std::vector<std::string> CallsStartingWith(const std::string& prefix) {
  std::vector<std::string> found;
  for (const std::string& call : pxh::CallLog()) {
    if (call.compare(0, prefix.size(), prefix) == 0) found.push_back(call);
  }
  return found;
}

int CountCalls(const std::string& prefix) {
  return static_cast<int>(CallsStartingWith(prefix).size());
}

int FindCall(const std::string& prefix, int from) {
  const std::vector<std::string>& log = pxh::CallLog();
  for (int i = from < 0 ? 0 : from; i < static_cast<int>(log.size()); i++) {
    if (log[i].compare(0, prefix.size(), prefix) == 0) return i;
  }
  return -1;
}

Pixels ReadPixels(IDirectDrawSurface7* surface) {
  Pixels pixels;
  std::memset(&pixels, 0xee, sizeof(pixels));
  pxh::ReadSurface(surface, pixels.at);
  return pixels;
}

Pixels ReadVisible() {
  static pxh::Screen screen;
  std::memset(&screen, 0xee, sizeof(screen));
  pxh::ReadScreen(screen);
  Pixels pixels;
  std::memcpy(pixels.at, screen.pixels, sizeof(pixels.at));
  return pixels;
}

void FillPixels(IDirectDrawSurface7* surface, uint8_t value) {
  static Pixels pixels;
  std::memset(pixels.at, value, sizeof(pixels.at));
  pxh::WriteSurface(surface, pixels.at);
}

ScratchDirectory::ScratchDirectory() {
  char current[PATH_MAX];
  if (getcwd(current, sizeof(current)) != NULL) previous_ = current;
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != NULL ? base : "/tmp") + "/pixshow-core-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (mkdtemp(name.data()) != NULL) {
    path_ = name.data();
    if (chdir(path_.c_str()) != 0) path_.clear();
  }
}

ScratchDirectory::~ScratchDirectory() {
  if (!previous_.empty() && chdir(previous_.c_str()) != 0) {
    std::perror("chdir");
  }
  if (path_.empty()) return;
  for (const std::string& entry : Entries()) {
    std::string full = path_ + "/" + entry;
    chmod(full.c_str(), 0700);
    if (std::remove(full.c_str()) != 0) rmdir(full.c_str());
  }
  rmdir(path_.c_str());
}

void ScratchDirectory::WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) const {
  std::string full = path_ + "/" + name;
  FILE* file = std::fopen(full.c_str(), "wb");
  if (file == NULL) return;
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
}

bool ScratchDirectory::Exists(const std::string& name) const {
  struct stat info;
  return stat((path_ + "/" + name).c_str(), &info) == 0;
}

std::vector<std::string> ScratchDirectory::Entries() const {
  std::vector<std::string> names;
  DIR* dir = opendir(path_.c_str());
  if (dir == NULL) return names;
  while (struct dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  return names;
}

uint8_t SheetByte(int image, int row, int column) {
  return static_cast<uint8_t>(image * 37 + row * 11 + column * 3 + 1);
}

std::vector<uint8_t> MakeSheet(int width, int height, int count) {
  std::vector<uint8_t> bytes;
  bytes.reserve(static_cast<size_t>(width) * height * count);
  for (int image = 0; image < count; image++) {
    for (int row = 0; row < height; row++) {
      for (int column = 0; column < width; column++) {
        bytes.push_back(SheetByte(image, row, column));
      }
    }
  }
  return bytes;
}

}  // namespace coretest
