// The SDL backend's remembered window choices: full screen or a window, the
// scale and the window's size and place, in $XDG_CONFIG_HOME/pixshow/settings.ini
// (~/.config when unset). Options and environment variables win over it.
#ifndef PIXSHOW_PLATFORM_PORTABLE_BACKENDS_SDL_SETTINGS_H
#define PIXSHOW_PLATFORM_PORTABLE_BACKENDS_SDL_SETTINGS_H

#include <string>
#include <vector>

namespace pxport {

struct WindowSettings {
  int windowed = -1;          // 1 a window, 0 full screen, -1 not said
  std::string scale;          // a PIXSHOW_SCALE value, empty when not said
  int width = 0, height = 0;  // of the window, 0 when not said
  bool placed = false;        // x and y said: the window's top-left corner, in
  int x = 0, y = 0;           // the desktop's points (negative left of or above the first display)

  bool operator==(const WindowSettings& o) const {
    return windowed == o.windowed && scale == o.scale && width == o.width && height == o.height &&
           placed == o.placed && (!placed || (x == o.x && y == o.y));
  }
};

// The file's path, or empty when there is no home to keep it in.
std::string SettingsPath();

// What a settings file holds.
struct SettingsFile {
  WindowSettings settings;          // from the lines understood
  std::vector<std::string> others;  // the user's other lines, kept as they are when written
  std::string warning;              // one line when something was not understood or read
  bool writable = true;             // false when not read whole: then never written over
  bool rewrite = false;             // a value that cannot be used was left out: write it again
};

// Reads the file at `path`: a missing file gives empty settings. Only a
// regular file is read (opened without waiting, so a named pipe is refused,
// not waited on), and at most SettingsReadMost bytes of it, up to a line
// longer than SettingsLineMost; what is not read keeps the file from ever
// being written over.
constexpr long SettingsReadMost = 64 * 1024;
constexpr long SettingsLineMost = 1024;
SettingsFile ReadSettings(const std::string& path);

// Whether a value is one the file (and PIXSHOW_SCALE, --scale) takes.
bool IsScaleValue(const std::string& text);

// Writes the settings, then the lines of `others`, whole or not at all (a
// new file renamed over the old), making the folder when needed; a value the
// reader would refuse is left out. False when it could not.
bool WriteSettings(const std::string& path, const WindowSettings& settings,
                   const std::vector<std::string>& others);

// Writes what changed from `before` to `now` into the file as it stands at
// that moment, the rest of it kept: the user, or another pixshow leaving at
// the same time, may have changed it since it was read. Runs take turns
// through a lock on the settings folder, waiting for it a moment at most.
// Also writes the file again when it holds a value that cannot be used.
// False when it could not (a file not read whole is never written over).
bool UpdateSettings(const std::string& path, const WindowSettings& before,
                    const WindowSettings& now);

}  // namespace pxport

#endif
