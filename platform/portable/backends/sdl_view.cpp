#include "platform/portable/backends/sdl_view.h"

#include <algorithm>
#include <cstring>

namespace pxport {

Viewport FitPicture(int hostW, int hostH, int picW, int picH) {
  Viewport v{};
  v.scale = 1;
  if (picW > 0 && picH > 0) v.scale = std::max(1, std::min(hostW / picW, hostH / picH));
  v.w = picW * v.scale;
  v.h = picH * v.scale;
  // Halve the spare room; floor division keeps a negative margin symmetric
  // enough (the extra pixel goes to the right / bottom).
  int spareX = hostW - v.w, spareY = hostH - v.h;
  v.x = spareX >= 0 ? spareX / 2 : -((-spareX + 1) / 2);
  v.y = spareY >= 0 ? spareY / 2 : -((-spareY + 1) / 2);
  return v;
}

namespace {

// The usual pointer: black outline '#', white body '.'.
const char* const kArrow[kArrowHeight] = {
    "#           ", "##          ", "#.#         ", "#..#        ", "#...#       ",
    "#....#      ", "#.....#     ", "#......#    ", "#.......#   ", "#........#  ",
    "#.........# ", "#......#####", "#...#..#    ", "#..##..#    ", "#.#  #..#   ",
    "##   #..#   ", "#     #..#  ", "      #..#  ", "       ##   ",
};

}  // namespace

int ArrowCell(int col, int row) {
  if (col < 0 || col >= kArrowWidth || row < 0 || row >= kArrowHeight) return 0;
  char c = kArrow[row][col];
  return c == '#' ? 1 : c == '.' ? 2 : 0;
}

void DrawArrow(uint32_t* out, int pitch, int width, int height, int x, int y) {
  // Only the rows and columns of the arrow that land inside the picture.
  int row0 = std::max(0, -y), row1 = std::min(kArrowHeight, height - y);
  int col0 = std::max(0, -x), col1 = std::min(kArrowWidth, width - x);
  for (int r = row0; r < row1; ++r) {
    uint32_t* line = out + static_cast<long>(y + r) * pitch + x;
    for (int c = col0; c < col1; ++c) {
      int cell = ArrowCell(c, r);
      if (cell == 1)
        line[c] = 0xff000000u;
      else if (cell == 2)
        line[c] = 0xffffffffu;
    }
  }
}

void ConvertFrame(const Frame& frame, uint32_t* out, int pitch) {
  uint32_t lut[256];
  for (int i = 0; i < 256; ++i) lut[i] = PackColour(frame.palette[i]);
  for (int y = 0; y < frame.height; ++y) {
    uint32_t* dst = out + static_cast<long>(y) * pitch;
    if (!frame.pixels) {
      std::fill(dst, dst + frame.width, 0xff000000u);
      continue;
    }
    const uint8_t* src = frame.pixels + static_cast<long>(y) * frame.pitch;
    for (int x = 0; x < frame.width; ++x) dst[x] = lut[src[x]];
  }
  if (frame.cursorShown)
    DrawArrow(out, pitch, frame.width, frame.height, frame.cursorX, frame.cursorY);
}

void ScalePicture(const uint32_t* src, int srcPitch, int srcW, int srcH, uint32_t* dst,
                  int dstPitch, int dstW, int dstH, const Viewport& view) {
  const int k = std::max(1, view.scale);
  const int x0 = std::max(0, view.x), x1 = std::min(dstW, view.x + srcW * k);
  const int y0 = std::max(0, view.y), y1 = std::min(dstH, view.y + srcH * k);
  if (x0 >= x1 || y0 >= y1) return;
  const size_t rowBytes = static_cast<size_t>(x1 - x0) * sizeof(uint32_t);
  const uint32_t* lastRow = nullptr;  // source row behind the previous output row
  uint32_t* lastOut = nullptr;
  for (int y = y0; y < y1; ++y) {
    const uint32_t* in = src + static_cast<long>((y - view.y) / k) * srcPitch;
    uint32_t* out = dst + static_cast<long>(y) * dstPitch;
    if (in == lastRow) {
      // The same source row again: repeat the line already scaled.
      std::memcpy(out + x0, lastOut + x0, rowBytes);
      continue;
    }
    if (k == 1) {
      std::memcpy(out + x0, in + (x0 - view.x), rowBytes);
    } else {
      int x = x0;
      int sx = (x0 - view.x) / k;
      int run = k - (x0 - view.x) % k;  // copies left of the first pixel
      while (x < x1) {
        uint32_t p = in[sx++];
        for (int n = std::min(run, x1 - x); n > 0; --n) out[x++] = p;
        run = k;
      }
    }
    lastRow = in;
    lastOut = out;
  }
}

}  // namespace pxport
