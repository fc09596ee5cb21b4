// Portraits, the continue button and the stat icons.
#include "devices/devices.h"
#include "raster/raster.h"

namespace {

const SheetFormat& Portraits = ImageSheets[PortraitSheet];
const SheetFormat& Buttons = ImageSheets[ButtonSheet];
const SheetFormat& StatIcons = ImageSheets[StatIconSheet];
const int StatIconShortRows = 38;

// The stat icons stand in three columns of three.
const int StatIconColumnX[3] = {104, 242, 380};
const int StatIconRowY[3] = {112, 184, 256};

// Draws `rows` rows of a stat icon into the surface the caller has locked;
// on a load failure that is the back buffer's lock.
void DrawStatIconRows(int icon, int x, int y, int rows) {
  HANDLE sheet = OpenImageSheet(StatIcons.fileName, g_backSurface);
  PlotSheetImage(sheet, icon - 1, StatIcons.imageWidth, StatIcons.imageHeight, rows, x, y, 0);
  CloseHandle(sheet);
}

}  // namespace

int DrawPortrait(int image, int x, int y) {
  return DrawSheetImage(g_primarySurface, Portraits.fileName, Portraits.imageWidth,
                        Portraits.imageHeight, image, x, y, 0);
}

int DrawContinueButton(int image, int x, int y) {
  return DrawSheetImage(g_primarySurface, Buttons.fileName, Buttons.imageWidth, Buttons.imageHeight,
                        image, x, y, 0);
}

void DrawStatIcon(int icon, int x, int y) { DrawStatIconRows(icon, x, y, StatIcons.imageHeight); }

void DrawStatIconShort(int icon, int x, int y) { DrawStatIconRows(icon, x, y, StatIconShortRows); }

void DrawStatIcons() {
  // Three columns of three, numbered down each column; the bottom row shows
  // only the top of each icon.
  for (int column = 0; column < 3; column++) {
    int first = 3 * column + 1;
    DrawStatIcon(first, StatIconColumnX[column], StatIconRowY[0]);
    DrawStatIcon(first + 1, StatIconColumnX[column], StatIconRowY[1]);
    DrawStatIconShort(first + 2, StatIconColumnX[column], StatIconRowY[2]);
  }
}
