// The SDL backend's remembered window choices: full screen or a window, the
// scale and the window's size, in $XDG_CONFIG_HOME/pixshow/settings.ini
// (~/.config when unset). Options and environment variables win over it.
#ifndef PIXSHOW_PLATFORM_PORTABLE_BACKENDS_SDL_SETTINGS_H
#define PIXSHOW_PLATFORM_PORTABLE_BACKENDS_SDL_SETTINGS_H

#include <string>

namespace pxport {

struct WindowSettings {
  int windowed = -1;          // 1 a window, 0 full screen, -1 not said
  std::string scale;          // a PIXSHOW_SCALE value, empty when not said
  int width = 0, height = 0;  // of the window, 0 when not said

  bool operator==(const WindowSettings& o) const {
    return windowed == o.windowed && scale == o.scale && width == o.width && height == o.height;
  }
};

// The file's path, or empty when there is no home to keep it in.
std::string SettingsPath();

// Reads the file at `path`. A missing file gives empty settings; one that
// cannot be read or is not understood gives empty settings, `problem` set to
// the reason, and false (the file is then never written over).
bool ReadSettings(const std::string& path, WindowSettings* settings, std::string* problem);

// Writes the settings whole or not at all (a new file renamed over the old),
// making the folder when needed. False when it could not.
bool WriteSettings(const std::string& path, const WindowSettings& settings);

}  // namespace pxport

#endif
