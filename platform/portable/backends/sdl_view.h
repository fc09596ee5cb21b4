// Picture-side helpers of the SDL2 backend: where the 640 x 480 picture goes
// in the host window, and how a frame of palette indices becomes 32-bit
// pixels with the program's cursor drawn on top. Pure functions, no SDL.
#ifndef PIXSHOW_PLATFORM_PORTABLE_BACKENDS_SDL_VIEW_H
#define PIXSHOW_PLATFORM_PORTABLE_BACKENDS_SDL_VIEW_H

#include <cstdint>

#include "platform/portable/backends/backend.h"

namespace pxport {

// How the picture fills a host area (PIXSHOW_SCALE, pixshow --scale).
//   auto     whole scales when the largest that fits fills at least three
//            quarters of the height, else fit
//   integer  the largest whole factor that fits, black around
//   fit      the largest 4:3 size that fits, sharp bilinear
//   stretch  the whole area, sharp bilinear
//   N        the whole factor N, centred (clipped when larger than the area)
struct ScaleChoice {
  enum Mode { Auto, Integer, Fit, Stretch, Factor } mode;
  int factor;  // for Factor
};
// The choice a PIXSHOW_SCALE value names; Auto for none or an unknown one.
ScaleChoice ParseScaleChoice(const char* text);

// The picture's place in a host area, centred.
struct Viewport {
  int scale;  // the whole factor (w = picture width x scale), or 0 when resampled
  int x, y;   // top-left corner in host pixels (negative when the host is smaller)
  int w, h;   // picture size in host pixels
};

// Where a picW x picH picture goes in a hostW x hostH area. The whole factor
// of integer is at least 1, even when the area is smaller.
Viewport FitPicture(int hostW, int hostH, int picW, int picH,
                    ScaleChoice choice = {ScaleChoice::Integer, 0});

// Where a window remembered as w x h opens on a display whose usable area
// (without panels) is areaW x areaH at (areaX, areaY), with titleH points of
// title bar above it: the size as remembered where it fits, else the largest
// whole multiple of the picture that fits (1 at least), as the first window;
// centred, the title bar inside the area. Refused when larger than
// largestW x largestH, the largest mode of any display.
struct WindowPlace {
  int x, y, w, h;
  bool fitted;   // smaller than remembered
  bool refused;  // no display has that size
};
WindowPlace PlaceWindow(int w, int h, int areaX, int areaY, int areaW, int areaH, int titleH,
                        int largestW, int largestH);

// The usable area of one display (without panels), in the desktop's points.
struct DisplayArea {
  int x, y, w, h;
};
// Where a w x h window remembered at (x, y) opens: there when it overlaps one
// of the areas (its title bar, titleH points above it, counted), moved only
// as far as keeps it, title bar and all, inside the first area it overlaps
// (to the area's top-left where it is larger). False when it overlaps none:
// a place on a display no longer there is not used.
bool PlaceAtRemembered(int x, int y, int w, int h, const DisplayArea* areas, int areaCount,
                       int titleH, int* placedX, int* placedY);

// A window's size for a whole scale of the picture: factor times the
// picture, no larger than the area (w x h, with titleH points of title bar
// above the window).
void SizeForScale(int factor, int areaW, int areaH, int titleH, int* w, int* h);

// 0xAARRGGBB, opaque, for one palette entry.
inline uint32_t PackColour(const PALETTEENTRY& e) {
  return 0xff000000u | (uint32_t(e.peRed) << 16) | (uint32_t(e.peGreen) << 8) | uint32_t(e.peBlue);
}

// The cursor arrow: its size, and the colour of one of its cells
// (0 transparent, 1 outline, 2 fill). The hot spot is the top-left cell.
constexpr int kArrowWidth = 12;
constexpr int kArrowHeight = 19;
int ArrowCell(int col, int row);

// Draws the arrow with its hot spot at (x, y) into a width x height picture of
// 0xAARRGGBB pixels (pitch in pixels), leaving out whatever falls outside.
void DrawArrow(uint32_t* out, int pitch, int width, int height, int x, int y);

// Converts the frame into 0xAARRGGBB pixels (frame.width x frame.height,
// pitch in pixels): each index through the frame's palette, black where the
// frame has no pixels, then the cursor arrow when the frame shows it.
void ConvertFrame(const Frame& frame, uint32_t* out, int pitch);

// Copies a srcW x srcH picture (pitches in pixels) into a dstW x dstH area
// at (view.x, view.y), view.w x view.h in size: with a whole view.scale each
// pixel repeated that many times across and down; otherwise sharp bilinear
// (each pixel repeated to the next whole scale above the view's, then a
// linear step to its size, so that only the edges between pixels blend).
// What falls outside the area is left out. Nothing outside the picture's
// place is written.
void ScalePicture(const uint32_t* src, int srcPitch, int srcW, int srcH, uint32_t* dst,
                  int dstPitch, int dstW, int dstH, const Viewport& view);

}  // namespace pxport

#endif
