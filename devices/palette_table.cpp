// The palette the display is set up with.
#include "devices/devices.h"

#include <cstdint>

namespace {

// Artwork colours of entries 1 to 80 (red, green, blue).
const uint8_t FixedPaletteColours[80][3] = {
    {0, 0, 204},     {51, 153, 51},   {0, 255, 255},   {255, 0, 0},     {153, 0, 204},
    {153, 51, 0},    {204, 204, 204}, {153, 153, 153}, {255, 204, 102}, {255, 217, 217},
    {251, 191, 191}, {254, 92, 92},   {254, 198, 198}, {255, 255, 64},  {255, 255, 255},
    {244, 198, 126}, {216, 212, 212}, {0, 255, 0},     {255, 64, 64},   {128, 128, 255},
    {64, 64, 255},   {0, 192, 0},     {150, 100, 14},  {151, 131, 71},  {144, 99, 34},
    {172, 102, 102}, {212, 214, 12},  {253, 254, 160}, {249, 226, 31},  {149, 127, 49},
    {213, 161, 3},   {0, 192, 192},   {63, 255, 253},  {187, 251, 250}, {6, 110, 109},
    {231, 177, 177}, {222, 186, 186}, {165, 163, 163}, {231, 227, 227}, {105, 101, 101},
    {208, 5, 221},   {170, 7, 185},   {220, 156, 234}, {0, 0, 64},      {2, 5, 114},
    {2, 6, 166},     {94, 1, 95},     {128, 0, 128},   {0, 64, 64},     {11, 115, 114},
    {39, 143, 142},  {0, 64, 0},      {7, 137, 7},     {146, 147, 45},  {155, 156, 90},
    {148, 26, 26},   {118, 2, 2},     {174, 4, 4},     {168, 72, 72},   {148, 102, 102},
    {190, 162, 162}, {233, 113, 7},   {254, 154, 74},  {168, 113, 48},  {197, 115, 43},
    {189, 154, 109}, {186, 170, 126}, {243, 218, 171}, {253, 206, 131}, {255, 255, 192},
    {255, 255, 128}, {192, 192, 255}, {255, 208, 208}, {109, 112, 227}, {56, 118, 111},
    {149, 92, 25},   {253, 196, 41},  {253, 216, 89},  {253, 79, 79},   {255, 255, 255},
};

void StepPaletteRandom(PaletteRandom& r) { r.state = r.state * 1664525u + 1013904223u; }

}  // namespace

unsigned int NextPaletteRandom(PaletteRandom& r) {
  if (!r.ready) {
    for (int i = 0; i < 8; i++) StepPaletteRandom(r);
    for (int i = 0; i < 32; i++) {
      StepPaletteRandom(r);
      r.table[i] = r.state;
    }
    r.last = r.table[31];
    r.ready = true;
  }
  StepPaletteRandom(r);
  int j = static_cast<int>(r.last % 32);
  r.last = r.table[j];
  r.table[j] = r.state;
  return r.last & 0x3fffffffu;
}

namespace {

PALETTEENTRY MakeEntry(uint32_t red, uint32_t green, uint32_t blue) {
  PALETTEENTRY entry;
  entry.peRed = static_cast<BYTE>(red);
  entry.peGreen = static_cast<BYTE>(green);
  entry.peBlue = static_cast<BYTE>(blue);
  entry.peFlags = PC_NOCOLLAPSE;
  return entry;
}

}  // namespace

void BuildPaletteEntries(PALETTEENTRY entries[256]) {
  PaletteRandom random;
  for (int index = 1; index <= 254; index++) {
    uint32_t red = NextPaletteRandom(random) % 256;
    uint32_t green = NextPaletteRandom(random) % 256;
    uint32_t blue = NextPaletteRandom(random) % 256;
    entries[index] = MakeEntry(red, green, blue);
  }
  for (int index = 1; index <= 80; index++) {
    const uint8_t* rgb = FixedPaletteColours[index - 1];
    entries[index] = MakeEntry(rgb[0], rgb[1], rgb[2]);
  }
  entries[0] = MakeEntry(0, 0, 0);
  entries[255] = MakeEntry(255, 255, 255);
}
