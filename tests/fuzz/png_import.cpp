// Fuzz target: a PNG as `pixsheet import` takes it in: decoding, colours to
// palette indices (plain or strict) and cutting into images of every size
// that makes the picture a grid of up to 3 x 3.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "pixsheet.h"
#include "pngio.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::FILE* f = size ? fmemopen(const_cast<uint8_t*>(data), size, "rb") : nullptr;
  if (!f) return 0;
  pngio::Image png;
  std::string error;
  const bool read = pngio::ReadPngFrom(f, "fuzz.png", &png, &error);
  std::fclose(f);
  if (!read) return 0;
  static pixsheet::ColourMapper mapper(pixsheet::ProgramPalette());
  pixsheet::Picture picture{{}, png.width, png.height};
  try {
    picture.pixels = mapper.Map(png, "fuzz.png", (data[size - 1] & 1) != 0);
  } catch (const pixsheet::Failure&) {
    picture.pixels = mapper.Map(png, "fuzz.png", false);
  }
  for (int columns = 1; columns <= 3; ++columns) {
    for (int rows = 1; rows <= 3; ++rows) {
      const pixsheet::ImageSize image{(png.width + 1) / columns - 1, (png.height + 1) / rows - 1};
      if (image.width < 1 || image.height < 1 || image.width > 4096 || image.height > 4096)
        continue;
      std::vector<uint8_t> sheet;
      try {
        const int images = pixsheet::SliceContactSheet(picture, "fuzz.png", image, &sheet);
        if (sheet.size() != static_cast<size_t>(images) * static_cast<size_t>(image.Bytes()))
          __builtin_trap();
      } catch (const pixsheet::Failure&) {
      }
    }
  }
  return 0;
}
