// A small 8-bit canvas with the drawing helpers the sample art is made with.
// Every pixel is a palette index; nothing here knows about colours.
#ifndef PIXSHOW_TOOLS_SAMPLEGEN_CANVAS_H
#define PIXSHOW_TOOLS_SAMPLEGEN_CANVAS_H

#include <cstdint>
#include <vector>

namespace samplegen {

struct Point {
  int x, y;
};

class Canvas {
 public:
  Canvas(int width, int height, uint8_t fill = 0);

  int Width() const { return width_; }
  int Height() const { return height_; }
  const std::vector<uint8_t>& Pixels() const { return pixels_; }

  // Reading outside the canvas gives 0; writing outside is ignored.
  uint8_t Get(int x, int y) const;
  void Set(int x, int y, uint8_t c);

  void Fill(uint8_t c);
  // Inclusive corners, in any order.
  void FillRect(int x0, int y0, int x1, int y1, uint8_t c);
  void FrameRect(int x0, int y0, int x1, int y1, uint8_t c);
  // A line `thick` pixels wide (a round brush).
  void Line(int x0, int y0, int x1, int y1, uint8_t c, int thick = 1);
  void FillEllipse(double cx, double cy, double rx, double ry, uint8_t c);
  // The same ellipse with a one-pixel outline of `outline` around it.
  void FillEllipseOutlined(double cx, double cy, double rx, double ry, uint8_t c, uint8_t outline);
  void FillCircle(double cx, double cy, double r, uint8_t c) { FillEllipse(cx, cy, r, r, c); }
  void Ring(double cx, double cy, double r0, double r1, uint8_t c);
  // Even-odd scanline fill through pixel centres.
  void FillPolygon(const std::vector<Point>& points, uint8_t c);
  // Fills the 4-connected region of the colour found at (x, y).
  void FloodFill(int x, int y, uint8_t c);
  // Draws `outline` on every pixel of colour `background` that touches (4-way)
  // a pixel of another colour that is not `outline`.
  void Outline(uint8_t background, uint8_t outline);
  // Replaces colour `from` by `to` inside the rectangle.
  void Replace(int x0, int y0, int x1, int y1, uint8_t from, uint8_t to);
  // Copies another canvas onto this one at (x, y); pixels of colour `key`
  // in the source are skipped unless key < 0.
  void Paste(const Canvas& source, int x, int y, int key = -1);

 private:
  int width_, height_;
  std::vector<uint8_t> pixels_;
};

// A deterministic hash of a position and a seed, 0 .. 0xffffffff.
uint32_t Hash(int x, int y, uint32_t seed);
// A value from 0 to n - 1 for a position and seed.
inline int HashPick(int x, int y, uint32_t seed, int n) {
  return static_cast<int>(Hash(x, y, seed) % static_cast<uint32_t>(n));
}

// A 3 x 5 pixel capital-letter font, for the few words the art carries.
void DrawTinyText(Canvas& canvas, int x, int y, const char* text, uint8_t c);
int TinyTextWidth(const char* text);

}  // namespace samplegen

#endif
