// Fuzz target: a settings file as pixshow reads it when it starts. What the
// reader takes is written back and read again: it must give the same
// choices and keep the same lines, and never call for another rewrite.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "platform/portable/backends/sdl_settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // One scratch folder a run, removed as the run ends.
  static const std::string folder = [] {
    static char name[] = "/tmp/pixshow-fuzz-settings-XXXXXX";
    if (!mkdtemp(name)) return std::string("/tmp");
    std::atexit([] { rmdir(name); });
    return std::string(name);
  }();
  const std::string in = folder + "/in.ini", out = folder + "/out.ini";
  std::FILE* f = std::fopen(in.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  const pxport::SettingsFile first = pxport::ReadSettings(in);
  if (first.writable && pxport::WriteSettings(out, first.settings, first.others)) {
    const pxport::SettingsFile again = pxport::ReadSettings(out);
    if (!(again.settings == first.settings) || again.others != first.others || again.rewrite ||
        !again.writable)
      std::abort();
  }
  unlink(in.c_str());
  unlink(out.c_str());
  return 0;
}
