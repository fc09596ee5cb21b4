#include "canvas.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace samplegen {

Canvas::Canvas(int width, int height, uint8_t fill)
    : width_(width), height_(height), pixels_(static_cast<size_t>(width) * height, fill) {}

uint8_t Canvas::Get(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  return pixels_[static_cast<size_t>(y) * width_ + x];
}

void Canvas::Set(int x, int y, uint8_t c) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  pixels_[static_cast<size_t>(y) * width_ + x] = c;
}

void Canvas::Fill(uint8_t c) { std::fill(pixels_.begin(), pixels_.end(), c); }

void Canvas::FillRect(int x0, int y0, int x1, int y1, uint8_t c) {
  if (x0 > x1) std::swap(x0, x1);
  if (y0 > y1) std::swap(y0, y1);
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) Set(x, y, c);
}

void Canvas::FrameRect(int x0, int y0, int x1, int y1, uint8_t c) {
  Line(x0, y0, x1, y0, c);
  Line(x0, y1, x1, y1, c);
  Line(x0, y0, x0, y1, c);
  Line(x1, y0, x1, y1, c);
}

void Canvas::Line(int x0, int y0, int x1, int y1, uint8_t c, int thick) {
  // Bresenham, stamping a small disc at every step when the line is thick.
  const int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
  const int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
  int err = dx + dy;
  const double r = (thick - 1) / 2.0;
  for (;;) {
    if (thick <= 1) {
      Set(x0, y0, c);
    } else {
      const int reach = static_cast<int>(std::ceil(r));
      for (int oy = -reach; oy <= reach; ++oy)
        for (int ox = -reach; ox <= reach; ++ox)
          if (ox * ox + oy * oy <= r * r + 0.5) Set(x0 + ox, y0 + oy, c);
    }
    if (x0 == x1 && y0 == y1) break;
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x0 += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y0 += sy;
    }
  }
}

void Canvas::FillEllipse(double cx, double cy, double rx, double ry, uint8_t c) {
  if (rx <= 0 || ry <= 0) return;
  const int y0 = static_cast<int>(std::floor(cy - ry)), y1 = static_cast<int>(std::ceil(cy + ry));
  const int x0 = static_cast<int>(std::floor(cx - rx)), x1 = static_cast<int>(std::ceil(cx + rx));
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) {
      const double nx = (x + 0.5 - cx) / rx, ny = (y + 0.5 - cy) / ry;
      if (nx * nx + ny * ny <= 1.0) Set(x, y, c);
    }
}

void Canvas::FillEllipseOutlined(double cx, double cy, double rx, double ry, uint8_t c,
                                 uint8_t outline) {
  FillEllipse(cx, cy, rx + 1, ry + 1, outline);
  FillEllipse(cx, cy, rx, ry, c);
}

void Canvas::Ring(double cx, double cy, double r0, double r1, uint8_t c) {
  const int y0 = static_cast<int>(std::floor(cy - r1)), y1 = static_cast<int>(std::ceil(cy + r1));
  const int x0 = static_cast<int>(std::floor(cx - r1)), x1 = static_cast<int>(std::ceil(cx + r1));
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) {
      const double ddx = x + 0.5 - cx, ddy = y + 0.5 - cy;
      const double d2 = ddx * ddx + ddy * ddy;
      if (d2 >= r0 * r0 && d2 <= r1 * r1) Set(x, y, c);
    }
}

void Canvas::FillPolygon(const std::vector<Point>& points, uint8_t c) {
  if (points.size() < 3) return;
  int top = points[0].y, bottom = points[0].y;
  for (const Point& p : points) {
    top = std::min(top, p.y);
    bottom = std::max(bottom, p.y);
  }
  std::vector<double> crossings;
  for (int y = top; y <= bottom; ++y) {
    const double sy = y + 0.5;
    crossings.clear();
    for (size_t i = 0; i < points.size(); ++i) {
      const Point& a = points[i];
      const Point& b = points[(i + 1) % points.size()];
      if ((a.y <= sy && b.y > sy) || (b.y <= sy && a.y > sy)) {
        crossings.push_back(a.x + (sy - a.y) * (b.x - a.x) / static_cast<double>(b.y - a.y));
      }
    }
    std::sort(crossings.begin(), crossings.end());
    for (size_t i = 0; i + 1 < crossings.size(); i += 2) {
      const int from = static_cast<int>(std::ceil(crossings[i] - 0.5));
      const int to = static_cast<int>(std::floor(crossings[i + 1] - 0.5));
      for (int x = from; x <= to; ++x) Set(x, y, c);
    }
  }
}

void Canvas::FloodFill(int x, int y, uint8_t c) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  const uint8_t from = Get(x, y);
  if (from == c) return;
  std::vector<Point> stack{{x, y}};
  while (!stack.empty()) {
    const Point p = stack.back();
    stack.pop_back();
    if (p.x < 0 || p.y < 0 || p.x >= width_ || p.y >= height_ || Get(p.x, p.y) != from) continue;
    Set(p.x, p.y, c);
    stack.push_back({p.x + 1, p.y});
    stack.push_back({p.x - 1, p.y});
    stack.push_back({p.x, p.y + 1});
    stack.push_back({p.x, p.y - 1});
  }
}

void Canvas::Outline(uint8_t background, uint8_t outline) {
  Canvas before = *this;
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x) {
      if (before.Get(x, y) != background) continue;
      const Point n[4] = {{x + 1, y}, {x - 1, y}, {x, y + 1}, {x, y - 1}};
      for (const Point& p : n) {
        if (p.x < 0 || p.y < 0 || p.x >= width_ || p.y >= height_) continue;
        const uint8_t v = before.Get(p.x, p.y);
        if (v != background && v != outline) {
          Set(x, y, outline);
          break;
        }
      }
    }
}

void Canvas::Replace(int x0, int y0, int x1, int y1, uint8_t from, uint8_t to) {
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x)
      if (x >= 0 && y >= 0 && x < width_ && y < height_ && Get(x, y) == from) Set(x, y, to);
}

void Canvas::Paste(const Canvas& source, int x, int y, int key) {
  for (int sy = 0; sy < source.Height(); ++sy)
    for (int sx = 0; sx < source.Width(); ++sx) {
      const uint8_t v = source.Get(sx, sy);
      if (key >= 0 && v == key) continue;
      Set(x + sx, y + sy, v);
    }
}

uint32_t Hash(int x, int y, uint32_t seed) {
  uint32_t h = seed * 0x9e3779b9u;
  h ^= static_cast<uint32_t>(x) * 0x85ebca6bu;
  h = (h << 13) | (h >> 19);
  h ^= static_cast<uint32_t>(y) * 0xc2b2ae35u;
  h ^= h >> 16;
  h *= 0x7feb352du;
  h ^= h >> 15;
  h *= 0x846ca68bu;
  h ^= h >> 16;
  return h;
}

namespace {

// Each glyph: five rows of three bits, the top bit of each row the left pixel.
struct Glyph {
  char ch;
  uint8_t rows[5];
};

const Glyph kGlyphs[] = {
    {'A', {2, 5, 7, 5, 5}}, {'B', {6, 5, 6, 5, 6}}, {'C', {3, 4, 4, 4, 3}}, {'D', {6, 5, 5, 5, 6}},
    {'E', {7, 4, 6, 4, 7}}, {'F', {7, 4, 6, 4, 4}}, {'G', {3, 4, 5, 5, 3}}, {'H', {5, 5, 7, 5, 5}},
    {'I', {7, 2, 2, 2, 7}}, {'K', {5, 5, 6, 5, 5}}, {'L', {4, 4, 4, 4, 7}}, {'M', {5, 7, 7, 5, 5}},
    {'N', {6, 5, 5, 5, 5}}, {'O', {2, 5, 5, 5, 2}}, {'P', {6, 5, 6, 4, 4}}, {'R', {6, 5, 6, 5, 5}},
    {'S', {3, 4, 2, 1, 6}}, {'T', {7, 2, 2, 2, 2}}, {'U', {5, 5, 5, 5, 7}}, {'V', {5, 5, 5, 5, 2}},
    {'W', {5, 5, 7, 7, 5}}, {'X', {5, 5, 2, 5, 5}}, {'Y', {5, 5, 2, 2, 2}}, {'%', {5, 1, 2, 4, 5}},
    {'>', {4, 6, 7, 6, 4}}, {'$', {2, 7, 6, 3, 7}}, {'0', {7, 5, 5, 5, 7}}, {'1', {2, 6, 2, 2, 7}},
    {'2', {6, 1, 2, 4, 7}}, {'3', {6, 1, 2, 1, 6}}, {'5', {7, 4, 6, 1, 6}}, {'+', {0, 2, 7, 2, 0}},
};

const Glyph* FindGlyph(char ch) {
  for (const Glyph& g : kGlyphs)
    if (g.ch == ch) return &g;
  return nullptr;
}

}  // namespace

void DrawTinyText(Canvas& canvas, int x, int y, const char* text, uint8_t c) {
  for (const char* p = text; *p; ++p) {
    if (const Glyph* g = FindGlyph(*p)) {
      for (int row = 0; row < 5; ++row)
        for (int col = 0; col < 3; ++col)
          if (g->rows[row] & (4 >> col)) canvas.Set(x + col, y + row, c);
    }
    x += 4;
  }
}

int TinyTextWidth(const char* text) {
  const int n = static_cast<int>(std::strlen(text));
  return n == 0 ? 0 : n * 4 - 1;
}

}  // namespace samplegen
