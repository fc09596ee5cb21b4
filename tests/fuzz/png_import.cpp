// Fuzz target: a PNG as `pixsheet import` takes it in: decoding, colours to
// palette indices (plain and strict) and cutting into images of a few sizes
// that fit the picture as one image or a grid of them.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "pixsheet.h"
#include "pngio.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (!f) return 0;
  pngio::Image png;
  std::string error;
  const bool read = pngio::ReadPngFrom(f, "fuzz.png", &png, &error);
  std::fclose(f);
  if (!read) return 0;
  if (png.rgba.size() != static_cast<size_t>(png.width) * static_cast<size_t>(png.height) * 4 ||
      (png.indexed && png.indices.size() * 4 != png.rgba.size())) {
    __builtin_trap();  // the decoded image does not match its own measures
  }
  static pixsheet::ColourMapper mapper(pixsheet::ProgramPalette());
  pixsheet::Picture picture;
  picture.width = png.width;
  picture.height = png.height;
  try {
    picture.pixels = mapper.Map(png, "fuzz.png", (data[size - 1] & 1) != 0);
  } catch (const pixsheet::Failure&) {
    picture.pixels = mapper.Map(png, "fuzz.png", false);
  }
  for (int columns = 1; columns <= 3; ++columns) {
    for (int rows = 1; rows <= 3; ++rows) {
      const int w = (png.width + pixsheet::kGap) / columns - pixsheet::kGap;
      const int h = (png.height + pixsheet::kGap) / rows - pixsheet::kGap;
      if (w < 1 || h < 1 || w > 4096 || h > 4096) continue;
      std::vector<uint8_t> sheet;
      try {
        const int images =
            pixsheet::SliceContactSheet(picture, "fuzz.png", pixsheet::ImageSize{w, h}, &sheet);
        if (sheet.size() !=
            static_cast<size_t>(images) * static_cast<size_t>(w) * static_cast<size_t>(h)) {
          __builtin_trap();
        }
      } catch (const pixsheet::Failure&) {
      }
    }
  }
  return 0;
}
