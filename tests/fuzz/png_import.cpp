// Fuzz target: a PNG as `pixsheet import` takes it in: decoding row by row,
// colours to palette indices (plain or strict) and cutting into images of
// every size that makes the picture a grid of up to 3 x 3.
#include <cstdint>
#include <cstdio>
#include <string>

#include "pixsheet.h"
#include "pngio.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::FILE* f = size ? fmemopen(const_cast<uint8_t*>(data), size, "rb") : nullptr;
  if (!f) return 0;
  int width = 0, height = 0;
  std::string error;
  pngio::ReadPngRowsFrom(
      f, "fuzz.png",
      [&](const pngio::Image& header) {
        width = header.width;
        height = header.height;
        return std::string("measured");
      },
      pngio::RowSink(), &error);
  static pixsheet::ColourMapper mapper(pixsheet::ProgramPalette());
  for (int columns = 1; columns <= 3; ++columns) {
    for (int rows = 1; rows <= 3; ++rows) {
      const pixsheet::ImageSize image{(width + 1) / columns - 1, (height + 1) / rows - 1};
      if (image.width < 1 || image.height < 1 || image.width > 4096 || image.height > 4096)
        continue;
      size_t bytes = 0;
      std::fseek(f, 0, SEEK_SET);
      try {
        const bool strict = columns == 1 && rows == 1 && (data[size - 1] & 1) != 0;
        const int images = pixsheet::ImportPicture(
            "fuzz.png", image, &mapper, strict,
            [&](const uint8_t*, size_t n) {
              if (n != static_cast<size_t>(image.Bytes())) __builtin_trap();
              bytes += n;
            },
            f);
        if (bytes != static_cast<size_t>(images) * static_cast<size_t>(image.Bytes()))
          __builtin_trap();
      } catch (const pixsheet::Failure&) {
      }
    }
  }
  std::fclose(f);
  return 0;
}
