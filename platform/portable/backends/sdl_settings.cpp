#include "platform/portable/backends/sdl_settings.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

namespace pxport {

namespace {

// A whole number from min to max, or -1.
int WholeNumber(const std::string& text, int min, int max) {
  if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos)
    return -1;
  const int n = std::atoi(text.c_str());
  return n >= min && n <= max ? n : -1;
}

// A whole number, perhaps negative, within PlaceMost of 0; false when not.
constexpr int PlaceMost = 65536;
bool SignedNumber(const std::string& text, int* n) {
  const bool minus = !text.empty() && text[0] == '-';
  const int magnitude = WholeNumber(text.substr(minus ? 1 : 0), 0, PlaceMost);
  if (magnitude < 0) return false;
  *n = minus ? -magnitude : magnitude;
  return true;
}

// The folder of `path`, made (with its parent) when missing.
std::string MakeFolderOf(const std::string& path) {
  const std::string folder = path.substr(0, path.rfind('/'));
  mkdir(folder.substr(0, folder.rfind('/')).c_str(), 0700);
  mkdir(folder.c_str(), 0700);
  return folder;
}

}  // namespace

bool IsScaleValue(const std::string& text) {
  return text == "auto" || text == "integer" || text == "fit" || text == "stretch" ||
         WholeNumber(text, 1, 16) > 0;
}

std::string SettingsPath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && *config == '/') return std::string(config) + "/pixshow/settings.ini";
  const char* home = std::getenv("HOME");
  if (home && *home == '/') return std::string(home) + "/.config/pixshow/settings.ini";
  return "";
}

SettingsFile ReadSettings(const std::string& path) {
  SettingsFile file;
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int error = errno;
    if (fd >= 0) close(fd);
    file.writable = fd < 0 && error == ENOENT;
    if (!file.writable) file.warning = fd < 0 ? std::strerror(error) : "not a regular file";
    return file;
  }
  // One byte more than is read: whether the file goes on.
  std::string text(SettingsReadMost + 1, '\0');
  size_t have = 0;
  while (have < text.size()) {
    const ssize_t got = read(fd, &text[have], text.size() - have);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      file.warning = std::strerror(errno);
      file.writable = false;
      break;
    }
    if (got == 0) break;
    have += static_cast<size_t>(got);
  }
  close(fd);
  if (!file.writable) return file;
  const bool cut = have > static_cast<size_t>(SettingsReadMost);
  text.resize(cut ? SettingsReadMost : have);
  const std::string pixshows = "# pixshow's window";  // the file's own comment, made again
  size_t at = 0;
  int placed = 0;  // 1 x, 2 y, 3 both
  for (int number = 1; at < text.size(); ++number) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    if (end - at > static_cast<size_t>(SettingsLineMost) || (cut && end == text.size())) {
      file.warning = end - at > static_cast<size_t>(SettingsLineMost)
                         ? "line " + std::to_string(number) + " is longer than " +
                               std::to_string(SettingsLineMost) +
                               " bytes; it and the rest are ignored"
                         : "longer than 64 KiB; only its start is read";
      file.writable = false;
      break;
    }
    const std::string line = text.substr(at, end - at);
    at = end + 1;
    if (line.empty() || line == "[window]" || line.compare(0, pixshows.size(), pixshows) == 0)
      continue;
    const size_t equals = line.find('=');
    const std::string key = line.substr(0, equals);
    const std::string value = equals == std::string::npos ? "" : line.substr(equals + 1);
    WindowSettings& read = file.settings;
    if (key == "mode" && (value == "window" || value == "fullscreen")) {
      read.windowed = value == "window";
    } else if (key == "scale" && IsScaleValue(value)) {
      read.scale = value;
    } else if ((key == "width" || key == "height") && WholeNumber(value, 120, 16384) > 0) {
      (key == "width" ? read.width : read.height) = WholeNumber(value, 120, 16384);
    } else if ((key == "x" || key == "y") && SignedNumber(value, key == "x" ? &read.x : &read.y)) {
      placed |= key == "x" ? 1 : 2;
    } else if (key == "mode" || key == "scale" || key == "width" || key == "height" || key == "x" ||
               key == "y") {
      // A value of the program's own keys that cannot be used: the file
      // is written again without it.
      file.rewrite = true;
      if (file.warning.empty())
        file.warning = "line " + std::to_string(number) + " has a value that cannot be used (" +
                       line.substr(0, 40) + "); it is dropped";
    } else {
      file.others.push_back(line);
      if (line[0] != '#' && line[0] != ';' && file.warning.empty())
        file.warning = "line " + std::to_string(number) + " is not understood (kept as it is)";
    }
  }
  WindowSettings& read = file.settings;
  if ((read.width > 0) != (read.height > 0)) {  // a size is both or nothing
    read.width = read.height = 0;
    file.rewrite = true;
    if (file.warning.empty())
      file.warning = "a window width without a height, or the other way round; it is dropped";
  }
  read.placed = placed == 3;
  if (placed == 1 || placed == 2) {  // a place is both or nothing
    read.x = read.y = 0;
    file.rewrite = true;
    if (file.warning.empty())
      file.warning = "an x without a y, or the other way round; it is dropped";
  }
  return file;
}

bool WriteSettings(const std::string& path, const WindowSettings& settings,
                   const std::vector<std::string>& others) {
  MakeFolderOf(path);
  std::ostringstream text;
  text << "# pixshow's window, as it was last left (pixshow --help names the choices)\n"
       << "[window]\n";
  if (settings.windowed >= 0)
    text << "mode=" << (settings.windowed ? "window" : "fullscreen") << "\n";
  if (IsScaleValue(settings.scale)) text << "scale=" << settings.scale << "\n";
  if (WholeNumber(std::to_string(settings.width), 120, 16384) > 0 &&
      WholeNumber(std::to_string(settings.height), 120, 16384) > 0)
    text << "width=" << settings.width << "\nheight=" << settings.height << "\n";
  if (settings.placed && std::abs(settings.x) <= PlaceMost && std::abs(settings.y) <= PlaceMost)
    text << "x=" << settings.x << "\ny=" << settings.y << "\n";
  for (const std::string& line : others) text << line << "\n";
  std::string temporary = path + ".XXXXXX";
  const int fd = mkstemp(&temporary[0]);
  if (fd < 0) return false;
  const std::string bytes = text.str();
  // On the disk before the rename: a crash then leaves the old file or the new, never an empty one.
  const bool written =
      write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) &&
      (fsync(fd) == 0 || errno == EINVAL);
  if (close(fd) != 0 || !written || std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

bool UpdateSettings(const std::string& path, const WindowSettings& before,
                    const WindowSettings& now) {
  // The folder is pixshow's own, so locking it leaves no file behind.
  const int lock = open(MakeFolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (lock < 0) return false;
  bool locked = false;
  for (int tries = 0; tries < 100 && !(locked = flock(lock, LOCK_EX | LOCK_NB) == 0); ++tries) {
    if (errno != EWOULDBLOCK && errno != EINTR) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  bool ok = false;
  if (locked) {
    const SettingsFile file = ReadSettings(path);
    WindowSettings merged = file.settings;
    if (now.windowed != before.windowed) merged.windowed = now.windowed;
    if (now.scale != before.scale) merged.scale = now.scale;
    if (now.width != before.width || now.height != before.height) {
      merged.width = now.width;
      merged.height = now.height;
    }
    if (now.placed != before.placed || now.x != before.x || now.y != before.y) {
      merged.placed = now.placed;
      merged.x = now.x;
      merged.y = now.y;
    }
    ok = file.writable &&
         ((merged == file.settings && !file.rewrite) || WriteSettings(path, merged, file.others));
  }
  close(lock);  // and with it the lock
  return ok;
}

}  // namespace pxport
