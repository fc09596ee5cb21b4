// The page's recorder. "Save as GIF" is pixshow-capture's recording
// (tools/capture) for the web: the page writes the sheets into the module's
// current folder and calls recorder_gif; the presentation plays on the
// portable layer's headless backend with its virtual clock, through the same
// timeline and GIF writer as `pixshow-capture --gif`, so the file is the same,
// byte for byte. A sheet that cannot be opened ends the program, and with it
// the module (exit status 1, the reason on standard error), as it ends
// pixshow-capture.
//
// recorder_png compresses a screenshot of the program on the page, which
// writes it in stored deflate blocks (it has no compression library), as the
// native program writes its own: through libpng with the same calls, so with
// the same bytes.
#include <emscripten.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "pngio.h"
#include "recording.h"

namespace {

std::string message;

// Writes the file at `path` with `write`: true, or false with the reason in `message`.
bool WriteOut(const char* path, const std::function<bool(std::FILE*, std::string*)>& write) {
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) {
    message = std::string(path) + ": " + std::strerror(errno);
    return false;
  }
  std::string why;
  bool written = write(file, &why);
  if (std::fclose(file) != 0 && written) {
    written = false;
    why = std::strerror(errno);
  }
  message = written ? std::string() : why;
  return written;
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE const char* recorder_message() { return message.c_str(); }

// `pixshow-capture --gif OUT` with each wait shown for `waitMs`: 1 when OUT
// is written, else 0 and the reason in recorder_message().
EMSCRIPTEN_KEEPALIVE int recorder_gif(const char* out, int waitMs) {
  return WriteOut(out, [waitMs](std::FILE* file, std::string* why) {
    const std::unique_ptr<capture::FrameSink> sink = capture::OpenGif(file, 1, why);
    return sink && capture::Record(*sink, static_cast<uint32_t>(waitMs), why);
  });
}

// The 8-bit indexed PNG at `in` written again at `out` through libpng: 1
// when it is, else 0 and the reason in recorder_message().
EMSCRIPTEN_KEEPALIVE int recorder_png(const char* in, const char* out) {
  pngio::Image image;
  std::FILE* file = std::fopen(in, "rb");
  if (file == nullptr) {
    message = std::string(in) + ": " + std::strerror(errno);
    return 0;
  }
  const bool read = pngio::ReadPngFrom(file, in, &image, &message);
  std::fclose(file);
  if (read && !image.indexed) message = std::string(in) + ": not an indexed PNG";
  if (!read || !image.indexed) return 0;
  uint8_t rgb[256][3] = {};
  for (int i = 0; i < image.paletteSize; ++i) std::memcpy(rgb[i], image.palette[i], 3);
  return WriteOut(out, [&image, &rgb](std::FILE* file, std::string* why) {
    return pngio::WriteIndexedPngTo(file, image.width, image.height, image.indices.data(),
                                    image.width, rgb, why);
  });
}

}  // extern "C"
