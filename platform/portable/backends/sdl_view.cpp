#include "platform/portable/backends/sdl_view.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace pxport {

ScaleChoice ParseScaleChoice(const char* text) {
  ScaleChoice choice{ScaleChoice::Auto, 0};
  if (text == nullptr) return choice;
  if (std::strcmp(text, "integer") == 0) choice.mode = ScaleChoice::Integer;
  if (std::strcmp(text, "fit") == 0) choice.mode = ScaleChoice::Fit;
  if (std::strcmp(text, "stretch") == 0) choice.mode = ScaleChoice::Stretch;
  const int factor = std::atoi(text);
  if (factor >= 1 && factor <= 16 && std::strspn(text, "0123456789") == std::strlen(text))
    choice = {ScaleChoice::Factor, factor};
  return choice;
}

Viewport FitPicture(int hostW, int hostH, int picW, int picH, ScaleChoice choice) {
  Viewport v{};
  v.scale = 1;
  const bool picture = picW > 0 && picH > 0;
  if (picture) v.scale = std::max(1, std::min(hostW / picW, hostH / picH));
  if (choice.mode == ScaleChoice::Factor) v.scale = choice.factor;
  const bool fits = v.scale * picW <= hostW && v.scale * picH <= hostH;
  if (choice.mode == ScaleChoice::Auto && picture && fits && v.scale * picH * 4 >= hostH * 3)
    choice.mode = ScaleChoice::Integer;
  v.w = picW * v.scale;
  v.h = picH * v.scale;
  if (picture && hostW > 0 && hostH > 0 &&
      (choice.mode == ScaleChoice::Auto || choice.mode == ScaleChoice::Fit ||
       choice.mode == ScaleChoice::Stretch)) {
    v.w = hostW;
    v.h = hostH;
    if (choice.mode != ScaleChoice::Stretch) {
      if (static_cast<long>(hostW) * picH >= static_cast<long>(hostH) * picW)
        v.w = static_cast<int>(static_cast<long>(hostH) * picW / picH);
      else
        v.h = static_cast<int>(static_cast<long>(hostW) * picH / picW);
    }
    v.scale = v.w % picW == 0 && v.h % picH == 0 && v.w / picW == v.h / picH ? v.w / picW : 0;
  }
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

namespace {

// One axis of sharp bilinear scaling: for each output pixel the source pixel
// it starts from and the weight (0..256) of the next one.
struct Tap {
  int from;
  int weight;
};

std::vector<Tap> SharpTaps(int srcLen, int outLen) {
  std::vector<Tap> taps(static_cast<size_t>(std::max(0, outLen)));
  // The whole scale the picture is first repeated to: the next one up.
  const int whole = std::max(1, (outLen + srcLen - 1) / srcLen);
  const double edge = 0.5 - 0.5 / whole;  // the flat part of a pixel, from its middle
  for (int o = 0; o < outLen; ++o) {
    const double t = (o + 0.5) * srcLen / outLen;
    int i = std::min(srcLen - 1, static_cast<int>(t));
    const double middle = t - i - 0.5;
    // Where the repeated picture's linear step samples, in source pixels.
    const double at = i + (middle - std::clamp(middle, -edge, edge)) * whole;
    int from = static_cast<int>(std::floor(at));
    int weight = static_cast<int>(std::lround((at - from) * 256));
    if (weight == 256) {
      ++from;
      weight = 0;
    }
    if (from < 0) from = 0, weight = 0;
    if (from >= srcLen - 1) from = srcLen - 1, weight = 0;
    taps[static_cast<size_t>(o)] = {from, weight};
  }
  return taps;
}

uint32_t Blend(uint32_t a, uint32_t b, int weight) {
  if (weight == 0) return a;
  const uint32_t rb = ((a & 0xff00ffu) * (256 - weight) + (b & 0xff00ffu) * weight) >> 8;
  const uint32_t g = ((a & 0x00ff00u) * (256 - weight) + (b & 0x00ff00u) * weight) >> 8;
  return 0xff000000u | (rb & 0xff00ffu) | (g & 0x00ff00u);
}

void ScaleSharp(const uint32_t* src, int srcPitch, int srcW, int srcH, uint32_t* dst, int dstPitch,
                int dstW, int dstH, const Viewport& view) {
  const int x0 = std::max(0, view.x), x1 = std::min(dstW, view.x + view.w);
  const int y0 = std::max(0, view.y), y1 = std::min(dstH, view.y + view.h);
  if (x0 >= x1 || y0 >= y1) return;
  const std::vector<Tap> across = SharpTaps(srcW, view.w), down = SharpTaps(srcH, view.h);
  for (int y = y0; y < y1; ++y) {
    const Tap& row = down[static_cast<size_t>(y - view.y)];
    const uint32_t* upper = src + static_cast<long>(row.from) * srcPitch;
    const uint32_t* lower = row.weight ? upper + srcPitch : upper;
    uint32_t* out = dst + static_cast<long>(y) * dstPitch;
    for (int x = x0; x < x1; ++x) {
      const Tap& col = across[static_cast<size_t>(x - view.x)];
      const int next = col.weight ? 1 : 0;
      out[x] = Blend(Blend(upper[col.from], upper[col.from + next], col.weight),
                     Blend(lower[col.from], lower[col.from + next], col.weight), row.weight);
    }
  }
}

}  // namespace

void ScalePicture(const uint32_t* src, int srcPitch, int srcW, int srcH, uint32_t* dst,
                  int dstPitch, int dstW, int dstH, const Viewport& view) {
  if (view.scale <= 0) {
    ScaleSharp(src, srcPitch, srcW, srcH, dst, dstPitch, dstW, dstH, view);
    return;
  }
  const int k = view.scale;
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

WindowPlace PlaceWindow(int w, int h, int areaX, int areaY, int areaW, int areaH, int titleH,
                        int largestW, int largestH) {
  WindowPlace place{0, 0, w, h, false, w > largestW || h > largestH};
  const int roomH = areaH - titleH;
  if (place.refused || w > areaW || h > roomH) {
    const int scale = std::max(1, std::min(areaW / kScreenWidth, roomH / kScreenHeight));
    place.w = kScreenWidth * scale;
    place.h = kScreenHeight * scale;
    place.fitted = !place.refused;
  }
  place.x = areaX + (areaW - place.w) / 2;
  place.y = areaY + titleH + std::max(0, (roomH - place.h) / 2);
  return place;
}

bool PlaceAtRemembered(int x, int y, int w, int h, const DisplayArea* areas, int areaCount,
                       int titleH, int* placedX, int* placedY) {
  for (int i = 0; i < areaCount; ++i) {
    const DisplayArea& a = areas[i];
    if (x >= a.x + a.w || x + w <= a.x || y - titleH >= a.y + a.h || y + h <= a.y) continue;
    *placedX = std::max(a.x, std::min(x, a.x + a.w - w));
    *placedY = std::max(a.y + titleH, std::min(y, a.y + a.h - h));
    return true;
  }
  return false;
}

void SizeForScale(int factor, int areaW, int areaH, int titleH, int* w, int* h) {
  *w = std::max(1, std::min(kScreenWidth * factor, areaW));
  *h = std::max(1, std::min(kScreenHeight * factor, areaH - titleH));
}

}  // namespace pxport
