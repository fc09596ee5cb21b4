#include "platform/portable/backends/sdl_settings.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace pxport {

namespace {

// A whole number from min to max, or -1.
int WholeNumber(const std::string& text, int min, int max) {
  if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos)
    return -1;
  const int n = std::atoi(text.c_str());
  return n >= min && n <= max ? n : -1;
}

bool IsScale(const std::string& text) {
  return text == "auto" || text == "integer" || text == "fit" || text == "stretch" ||
         WholeNumber(text, 1, 16) > 0;
}

}  // namespace

std::string SettingsPath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && *config == '/') return std::string(config) + "/pixshow/settings.ini";
  const char* home = std::getenv("HOME");
  if (home && *home == '/') return std::string(home) + "/.config/pixshow/settings.ini";
  return "";
}

bool ReadSettings(const std::string& path, WindowSettings* settings, std::string* problem) {
  *settings = WindowSettings();
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    *problem = std::strerror(errno);
    return errno == ENOENT;
  }
  std::ifstream in(path);
  if (!S_ISREG(st.st_mode) || !in) {
    *problem = S_ISREG(st.st_mode) ? std::strerror(errno) : "not a regular file";
    return false;
  }
  WindowSettings read;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (line.empty() || line[0] == '#' || line[0] == ';' || line == "[window]") continue;
    const size_t equals = line.find('=');
    const std::string key = line.substr(0, equals);
    const std::string value = equals == std::string::npos ? "" : line.substr(equals + 1);
    if (key == "mode" && (value == "window" || value == "fullscreen")) {
      read.windowed = value == "window";
    } else if (key == "scale" && IsScale(value)) {
      read.scale = value;
    } else if ((key == "width" || key == "height") && WholeNumber(value, 120, 16384) > 0) {
      (key == "width" ? read.width : read.height) = WholeNumber(value, 120, 16384);
    } else {
      *problem = "line " + std::to_string(number) + " is not understood";
      return false;
    }
  }
  if (in.bad()) {
    *problem = "cannot be read";
    return false;
  }
  *settings = read;
  return true;
}

bool WriteSettings(const std::string& path, const WindowSettings& settings) {
  const std::string folder = path.substr(0, path.rfind('/'));
  mkdir(folder.substr(0, folder.rfind('/')).c_str(), 0700);
  mkdir(folder.c_str(), 0700);
  std::ostringstream text;
  text << "# pixshow's window, as it was last left (pixshow --help names the choices)\n"
       << "[window]\n";
  if (settings.windowed >= 0)
    text << "mode=" << (settings.windowed ? "window" : "fullscreen") << "\n";
  if (!settings.scale.empty()) text << "scale=" << settings.scale << "\n";
  if (settings.width > 0 && settings.height > 0)
    text << "width=" << settings.width << "\nheight=" << settings.height << "\n";
  std::string temporary = path + ".XXXXXX";
  const int fd = mkstemp(&temporary[0]);
  if (fd < 0) return false;
  const std::string bytes = text.str();
  const bool written = write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  if (close(fd) != 0 || !written || std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace pxport
