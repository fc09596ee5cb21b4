// The program's set-up palette, built by the program's own palette code.
#include "pixsheet.h"

#include "devices/devices.h"

namespace pixsheet {

Palette ProgramPalette() {
  PALETTEENTRY entries[256];
  BuildPaletteEntries(entries);
  Palette palette;
  for (int i = 0; i < 256; ++i) {
    palette.rgb[i][0] = entries[i].peRed;
    palette.rgb[i][1] = entries[i].peGreen;
    palette.rgb[i][2] = entries[i].peBlue;
  }
  return palette;
}

}  // namespace pixsheet
