// Fuzz target: a sheet as `pixsheet info` and `export` read it. The first
// three bytes choose the image size (1 to 64 on a side) and the image or the
// number of columns (and a numbered preview or not); the rest is the sheet. What export would write
// is written as a PNG and read back: it must give the same indices.
#include <cstdint>
#include <cstdio>
#include <string>

#include "pixsheet.h"
#include "pngio.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const pixsheet::ImageSize imageSize{data[0] % 64 + 1, data[1] % 64 + 1};
  const int choice = data[2];
  std::FILE* sheet = fmemopen(const_cast<uint8_t*>(data + 3), size - 3, "rb");
  if (!sheet) return 0;
  const long long length = static_cast<long long>(size - 3);
  pixsheet::Picture picture;
  try {
    const pixsheet::SheetSummary summary = pixsheet::SummariseSheet(sheet, "fuzz.pix");
    if (summary.length != length) __builtin_trap();
    if (choice & 0x80) {
      picture = pixsheet::ExportImage(sheet, "fuzz.pix", length, imageSize, choice & 0x7f);
    } else {
      picture = pixsheet::ExportContactSheet(sheet, "fuzz.pix", length, imageSize, choice % 12 + 1,
                                             (choice & 0x40) != 0);
    }
  } catch (const pixsheet::Failure&) {
    std::fclose(sheet);
    return 0;
  }
  std::fclose(sheet);

  static const pixsheet::Palette palette = pixsheet::ProgramPalette();
  std::FILE* png = std::tmpfile();
  if (!png) return 0;
  std::string error;
  pngio::Image back;
  if (!pngio::WriteIndexedPngTo(png, picture.width, picture.height, picture.pixels.data(),
                                picture.width, palette.rgb, &error) ||
      std::fflush(png) != 0 || std::fseek(png, 0, SEEK_SET) != 0 ||
      !pngio::ReadPngFrom(png, "fuzz.png", &back, &error) || back.indices != picture.pixels) {
    __builtin_trap();  // export's picture does not survive the round trip
  }
  std::fclose(png);
  return 0;
}
