// Portraits, the continue button and the stat icons.
#include "devices/devices.h"
#include "raster/raster.h"

namespace {

const char* const PortraitSheet = "ports.pix";
const int PortraitWidth = 82;
const int PortraitHeight = 62;

const char* const ButtonSheet = "button.pix";
const int ButtonWidth = 45;
const int ButtonHeight = 12;

const char* const StatIconSheet = "Divadude.pix";
const int StatIconWidth = 82;
const int StatIconHeight = 62;
const int StatIconShortRows = 38;

// Draws `rows` rows of a stat icon into the surface the caller has locked;
// on a load failure that is the back buffer's lock.
void DrawStatIconRows(int icon, int x, int y, int rows) {
  FILE* sheet = OpenImageSheet(StatIconSheet, g_backSurface);
  PlotSheetImage(sheet, icon - 1, StatIconWidth, StatIconHeight, rows, x, y, 0);
  std::fclose(sheet);
}

}  // namespace

int DrawPortrait(int image, int x, int y) {
  return DrawSheetImage(g_primarySurface, PortraitSheet, PortraitWidth, PortraitHeight, image, x,
                        y, 0);
}

int DrawContinueButton(int image, int x, int y) {
  return DrawSheetImage(g_primarySurface, ButtonSheet, ButtonWidth, ButtonHeight, image, x, y, 0);
}

void DrawStatIcon(int icon, int x, int y) { DrawStatIconRows(icon, x, y, StatIconHeight); }

void DrawStatIconShort(int icon, int x, int y) { DrawStatIconRows(icon, x, y, StatIconShortRows); }

void DrawStatIcons() {
  // Three columns of three, numbered down each column; the bottom row shows
  // only the top of each icon.
  DrawStatIcon(1, 104, 112);
  DrawStatIcon(2, 104, 184);
  DrawStatIconShort(3, 104, 256);
  DrawStatIcon(4, 242, 112);
  DrawStatIcon(5, 242, 184);
  DrawStatIconShort(6, 242, 256);
  DrawStatIcon(7, 380, 112);
  DrawStatIcon(8, 380, 184);
  DrawStatIconShort(9, 380, 256);
}
