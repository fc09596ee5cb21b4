// Raster drawing: image sheets, the pixel store, the portrait, button and
// stat-icon routines, text and panel clearing.
#ifndef PIXSHOW_RASTER_RASTER_H
#define PIXSHOW_RASTER_RASTER_H

#include <cstdio>

#include "platform/win32.h"
#include "raster/sheets.h"

// Stores one palette index at (x, y) of a locked surface whose byte 0 is
// `surface` and whose rows are `pitch` bytes apart. No clipping.
void PlotPixel(int x, int y, unsigned char colour, void* surface, int pitch);

// Opens an image sheet for reading. When it cannot be opened (a directory of
// that name too) or is not a file on disk (a named pipe, a device, a socket:
// opened without waiting, then refused by its kind) the load failure is shown:
// the lock on `lockedSurface` (may be null) is released, "Load Failure" is
// written on the visible surface and held for 2 seconds, one line naming the
// sheet and the reason goes to stderr, the devices are torn down and the
// process ends with status 1. Returns only with an open file (CloseHandle).
HANDLE OpenImageSheet(const char* sheetName, LPDIRECTDRAWSURFACE7 lockedSurface);

// Draws `rows` rows of image `image` (each image `width` x `height` bytes)
// from an open sheet at (x, y) into the surface g_surfaceDesc describes,
// which must be locked. Bytes past the end of the sheet are drawn as 255.
// With `skipZero`, pixels of index 0 leave the surface untouched.
void PlotSheetImage(HANDLE sheet, int image, int width, int height, int rows, int x, int y,
                    int skipZero);

// Locks `surface`, draws one whole image of a sheet at (x, y), closes the
// sheet and unlocks. 1 when drawn and unlocked; 0 when the Lock failed
// (nothing opened, nothing drawn) or the Unlock failed.
int DrawSheetImage(LPDIRECTDRAWSURFACE7 surface, const char* sheetName, int width, int height,
                   int image, int x, int y, int skipZero);

// The continue button stands at the bottom right: image 0 of the button
// sheet with its top-left corner here.
const int ContinueButtonX = 540;
const int ContinueButtonY = 435;
const int ContinueButtonWidth = ImageSheets[ButtonSheet].imageWidth;
const int ContinueButtonHeight = ImageSheets[ButtonSheet].imageHeight;

// Portrait `image` of the portrait sheet on the visible surface.
int DrawPortrait(int image, int x, int y);
// Button `image` of the button sheet on the visible surface.
int DrawContinueButton(int image, int x, int y);
// Stat icon `icon` (from 1) of the stat-icon sheet into the surface the
// caller holds locked: the whole icon, or only its top 38 rows.
void DrawStatIcon(int icon, int x, int y);
void DrawStatIconShort(int icon, int x, int y);
// The nine stat icons of the game-stats screen, into the locked back buffer.
void DrawStatIcons();

// One line of GDI text at (x, y) on a surface, on black character cells
// (opaque) or over what is there (transparent). 1 when drawn, 0 when the
// surface gave no device context.
int DrawTextOpaque(const char* text, int x, int y, COLORREF colour, LPDIRECTDRAWSURFACE7 surface);
int DrawTextTransparent(const char* text, int x, int y, COLORREF colour,
                        LPDIRECTDRAWSURFACE7 surface);

// The two panels of the screen that ClearPanel blackens.
const int PicturePanel = 1;  // the picture area, below the title
const int CaptionPanel = 2;  // the caption area, left of the continue button
// Their rectangles as drawn. The picture panel reaches past the right edge of
// the screen on purpose: the rectangle is clipped to the surface.
const RECT PicturePanelArea = {20, 37, 670, 370};
const RECT CaptionPanelArea = {50, 370, 520, 470};

// Blackens the picture panel or the caption panel of the visible surface;
// any other number draws nothing.
void ClearPanel(int panel);

#endif
