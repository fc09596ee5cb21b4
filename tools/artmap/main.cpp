// pixshow-artmap: which image of which sheet the presentation shows where,
// learnt by playing it.
//
// The program runs unchanged on the headless backend over coded sheets: the
// top-left pixels of every image spell out its sheet and number, and its
// left column numbers its rows. At every hold the visible screen is searched
// for those marks, and the captions drawn since the last hold (from the
// layer's call log) are put with the image they stand on or just below.
// From what it sees the tool writes the table that pixsheet's check command
// compiles in, and the art map section of the artists' guide, or checks that
// section against the program. With --inspect it also learns, for the web
// page's studio, what draws every pixel of every hold (see Inspection).
//
//   pixshow-artmap [--table FILE] [--doc GUIDE.md] [--check-doc GUIDE.md] [--inspect FILE]
//
// Status 0 when done, 1 when --check-doc finds the guide out of date, 2 on
// a failure (one line on stderr).
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <system_error>
#include <tuple>
#include <unistd.h>
#include <vector>

#include "map/map.h"
#include "platform/portable/control/headless.h"
#include "platform/win32.h"
#include "raster/sheets.h"
#include "toolkit.h"

namespace fs = std::filesystem;

namespace {

// The marks of a coded image: (0, 0) and (1, 0) hold kMarkA and kMarkB,
// (2, 0) the sheet + 1 and (3, 0) the image number + 1 (never 0: a cell
// border leaves 0 undrawn); (0, r) for r >= 1 holds
// kRowMark + r, and every other pixel the sheet's fill (never 0, so cell
// borders draw whole). The values do not meet where they could be confused.
constexpr uint8_t kMarkA = 165;
constexpr uint8_t kMarkB = 90;
constexpr uint8_t kRowMark = 100;  // + row, rows 1..63
constexpr uint8_t kFill = 200;     // + sheet
constexpr int kCodedImages = 250;  // per sheet: far more than any screen shows
constexpr int kScreens = 8;
constexpr uint64_t kGiveUpMs = 10 * 60 * 1000;

const char* const kSeasonNames[] = {"spring", "summer", "fall", "winter"};

[[noreturn]] void Fail(const std::string& message) {
  std::fprintf(stderr, "pixshow-artmap: %s\n", message.c_str());
  std::exit(2);
}

std::vector<uint8_t> CodedSheet(int sheet) {
  const SheetFormat& format = ImageSheets[sheet];
  const int w = format.imageWidth, h = format.imageHeight;
  std::vector<uint8_t> bytes(static_cast<size_t>(w) * h * kCodedImages,
                             static_cast<uint8_t>(kFill + sheet));
  for (int image = 0; image < kCodedImages; ++image) {
    uint8_t* at = &bytes[static_cast<size_t>(image) * w * h];
    at[0] = kMarkA;
    at[1] = kMarkB;
    at[2] = static_cast<uint8_t>(sheet + 1);
    at[3] = static_cast<uint8_t>(image + 1);
    for (int row = 1; row < h; ++row) at[row * w] = static_cast<uint8_t>(kRowMark + row);
  }
  return bytes;
}

// One image seen on one screen, with the captions that stand on it or just
// below it.
struct Sighting {
  int screen = 0, sheet = 0, image = 0, x = 0, y = 0;
  int rows = 0;  // how many of its rows show, from the top
  std::vector<std::string> captions;
};

struct Text {
  int x, y;
  std::string text;
};

class Watcher {
 public:
  void OnHold(const pxh::Hold& hold) {
    const bool wait = hold.kind == pxh::HoldKind::Wait;
    const int screen = std::min(!wait && afterWait_ ? waits_ : waits_ + 1, kScreens);
    afterWait_ = wait;
    Look(screen);
    if (wait) {
      ++waits_;
      pxh::Click(0);
    }
  }
  const std::vector<Sighting>& Sightings() const { return sightings_; }
  int Waits() const { return waits_; }

 private:
  void Look(int screen) {
    auto shot = std::make_unique<pxh::Screen>();
    if (!pxh::ReadScreen(*shot)) return;
    const auto& px = shot->pixels;
    std::vector<Sighting> seen;
    for (int y = 0; y < pxport::kScreenHeight; ++y) {
      for (int x = 0; x + 4 < pxport::kScreenWidth; ++x) {
        const int sheet = px[y][x + 2] - 1;
        if (px[y][x] != kMarkA || px[y][x + 1] != kMarkB || sheet < 0 || sheet >= SheetCount ||
            px[y][x + 3] == 0 || px[y][x + 4] != kFill + sheet) {
          continue;
        }
        Sighting s;
        s.screen = screen, s.sheet = sheet, s.image = px[y][x + 3] - 1, s.x = x, s.y = y;
        s.rows = 1;
        while (y + s.rows < pxport::kScreenHeight && px[y + s.rows][x] == kRowMark + s.rows)
          ++s.rows;
        seen.push_back(s);
      }
    }
    // The captions drawn since the last hold: on an image, or just below one.
    const std::vector<std::string>& log = pxh::CallLog();
    for (; logRead_ < log.size(); ++logRead_) {
      Text t;
      char text[256] = {};
      if (std::sscanf(log[logRead_].c_str(), "TextOutA %d,%d \"%255[^\"]\"", &t.x, &t.y, text) !=
          3) {
        continue;
      }
      t.text = text;
      Sighting* owner = nullptr;
      for (Sighting& s : seen) {
        const int w = ImageSheets[s.sheet].imageWidth;
        const bool on = t.x >= s.x && t.x < s.x + w && t.y >= s.y && t.y < s.y + s.rows;
        const bool below =
            t.x >= s.x - 25 && t.x < s.x + w && t.y >= s.y + s.rows && t.y < s.y + s.rows + 20;
        if (on || (below && !owner)) owner = &s;
      }
      if (owner) owner->captions.push_back(t.text);
    }
    for (const Sighting& s : seen) Keep(s);
  }

  void Keep(const Sighting& s) {
    for (Sighting& known : sightings_) {
      if (std::tie(known.screen, known.sheet, known.image, known.x, known.y) ==
          std::tie(s.screen, s.sheet, s.image, s.x, s.y)) {
        known.rows = std::max(known.rows, s.rows);
        for (const std::string& c : s.captions) {
          if (std::find(known.captions.begin(), known.captions.end(), c) == known.captions.end())
            known.captions.push_back(c);
        }
        return;
      }
    }
    sightings_.push_back(s);
  }

  std::vector<Sighting> sightings_;
  size_t logRead_ = 0;
  int waits_ = 0;
  bool afterWait_ = false;
};

// Plays the presentation over `sheets` in a fresh folder; `onHold` sees
// every hold and clicks at the waits. The number of waits seen, or -1 when
// the run did not end well.
using Sheets = std::vector<std::vector<uint8_t>>;
int PlayOver(const Sheets& sheets, const std::function<void(const pxh::Hold&)>& onHold) {
  std::error_code ec;
  const fs::path folder =
      fs::temp_directory_path(ec) / ("pixshow-artmap-" + std::to_string(getpid()));
  fs::create_directories(folder, ec);
  if (ec) Fail("cannot make a folder for the coded sheets: " + ec.message());
  for (int sheet = 0; sheet < SheetCount; ++sheet) {
    const std::vector<uint8_t>& bytes = sheets[sheet];
    std::ofstream out(folder / ImageSheets[sheet].fileName, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
    if (!out) Fail("cannot write the coded sheets in " + toolkit::Quoted(folder.string()));
  }
  const fs::path previous = fs::current_path(ec);
  fs::current_path(folder, ec);
  if (ec) Fail("cannot enter " + toolkit::Quoted(folder.string()));

  pxh::Reset();
  bool gaveUp = false;
  pxh::At(kGiveUpMs, [&gaveUp] {
    gaveUp = true;
    pxh::PressCloseButton();
  });
  pxh::OnHold(onHold);
  char commandLine[] = "";
  const int status = WinMain(GetModuleHandleA(NULL), NULL, commandLine, SW_SHOWNORMAL);
  pxh::OnHold({});

  fs::current_path(previous, ec);
  fs::remove_all(folder, ec);
  return status == 0 && !gaveUp ? 0 : -1;
}

// Plays the presentation over coded sheets.
std::vector<Sighting> Watch() {
  Sheets sheets;
  for (int sheet = 0; sheet < SheetCount; ++sheet) sheets.push_back(CodedSheet(sheet));
  Watcher watcher;
  const int status = PlayOver(sheets, [&watcher](const pxh::Hold& hold) { watcher.OnHold(hold); });
  if (status != 0 || watcher.Waits() != kScreens) {
    Fail("the presentation did not play through (status " + std::to_string(status) + ", " +
         std::to_string(watcher.Waits()) + " waits)");
  }
  return watcher.Sightings();
}

// --- What the tool writes -------------------------------------------------------

std::string Join(const std::vector<std::string>& parts, const char* between) {
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : between) + part;
  return text;
}

// "2, 11, 13-14"
std::string Ranges(const std::vector<int>& numbers) {
  std::vector<std::string> parts;
  for (size_t i = 0; i < numbers.size();) {
    size_t j = i;
    while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1) ++j;
    parts.push_back(std::to_string(numbers[i]) +
                    (j > i ? (j == i + 1 ? ", " : "-") + std::to_string(numbers[j]) : ""));
    i = j + 1;
  }
  return Join(parts, ", ");
}

std::string Quote(const std::vector<std::string>& captions) {
  std::vector<std::string> quoted;
  for (const std::string& c : captions) quoted.push_back("\"" + c + "\"");
  return quoted.empty() ? "(none)" : Join(quoted, ", ");
}

// --- Inspection -------------------------------------------------------------------
//
// What draws each pixel of each hold, for the studio of the web page: the
// presentation is played over sheets whose every pixel holds one of its own
// coordinates (sheet, image, column, row: one coordinate a run), and twice
// over sheets of one value per sheet, with different values, so that the
// pixels the program draws itself (alike in both) stand apart from the art.
// The same again without the cell borders (all index 0, left undrawn) shows
// what lies beneath them. From these the tool gathers, per hold, the images
// drawn there in drawing order (sheet, image, place, rows drawn) and the
// program's own pixels with and without the borders, and checks that the rule
// the page follows (its own pixel, else the topmost image there, looking
// beneath a border pixel of index 0) gives back every pixel of every run.

constexpr int kPixels = pxport::kScreenWidth * pxport::kScreenHeight;
constexpr uint16_t kArt = 256;  // in a layer: a pixel drawn from a sheet

struct Placement {
  int sheet = 0, image = 0, x = 0, y = 0, rows = 0;
  int caption = -1;
  bool Holds(int px, int py) const {
    return px >= x && px < x + ImageSheets[sheet].imageWidth && py >= y && py < y + rows;
  }
};

// One hold: the program's own pixels (palette index, or kArt) with all the
// art drawn and with the borders undrawn; the images in drawing order.
struct HoldMap {
  std::vector<uint16_t> own, beneath;
  std::vector<Placement> placements;
  std::vector<std::vector<int>> byRow;  // the placements holding each row, in drawing order
  int palette = 0;
};

struct Inspection {
  std::vector<HoldMap> holds;
  std::vector<std::vector<uint8_t>> palettes;  // 256 x red, green, blue
  std::vector<std::string> captions;
};

// The screens of every hold of one run, and the captions drawn before each.
struct Run {
  std::vector<std::vector<uint8_t>> screens;
  std::vector<std::vector<Text>> texts;
  std::vector<std::vector<uint8_t>> palettes;
};

Run PlayCoded(const std::function<uint8_t(int sheet, int image, int x, int y)>& value,
              bool borders) {
  Sheets sheets;
  for (int sheet = 0; sheet < SheetCount; ++sheet) {
    const SheetFormat& f = ImageSheets[sheet];
    std::vector<uint8_t> bytes(static_cast<size_t>(f.imageWidth) * f.imageHeight * kCodedImages);
    size_t at = 0;
    for (int image = 0; image < kCodedImages; ++image)
      for (int y = 0; y < f.imageHeight; ++y)
        for (int x = 0; x < f.imageWidth; ++x)
          bytes[at++] = sheet == BorderSheet && !borders ? 0 : value(sheet, image, x, y);
    sheets.push_back(std::move(bytes));
  }
  Run run;
  size_t logRead = 0;
  auto screen = std::make_unique<pxh::Screen>();
  const int status = PlayOver(sheets, [&](const pxh::Hold& hold) {
    if (!pxh::ReadScreen(*screen)) Fail("no screen to read at a hold");
    run.screens.emplace_back(&screen->pixels[0][0], &screen->pixels[0][0] + kPixels);
    std::vector<uint8_t> palette;
    for (const PALETTEENTRY& e : screen->palette)
      palette.insert(palette.end(), {e.peRed, e.peGreen, e.peBlue});
    run.palettes.push_back(std::move(palette));
    std::vector<Text> texts;
    const std::vector<std::string>& log = pxh::CallLog();
    for (; logRead < log.size(); ++logRead) {
      Text t;
      char text[256] = {};
      if (std::sscanf(log[logRead].c_str(), "TextOutA %d,%d \"%255[^\"]\"", &t.x, &t.y, text) ==
          3) {
        t.text = text;
        texts.push_back(t);
      }
    }
    run.texts.push_back(std::move(texts));
    if (hold.kind == pxh::HoldKind::Wait) pxh::Click(0);
  });
  if (status != 0) Fail("the presentation did not play through over the coded sheets");
  return run;
}

// The page's rule: what draws pixel p, as an index into `placements`; -1 for
// the program's own pixel. `zero` tells whether a border pixel is index 0.
int WhatDraws(const HoldMap& hold, int p, bool zero) {
  if (hold.own[p] != kArt) return -1;
  const int px = p % pxport::kScreenWidth, py = p / pxport::kScreenWidth;
  const std::vector<int>& row = hold.byRow[py];
  for (auto it = row.rbegin(); it != row.rend(); ++it) {
    const int i = *it;
    const Placement& pl = hold.placements[i];
    if (!pl.Holds(px, py)) continue;
    if (pl.sheet == BorderSheet && zero) {
      if (hold.beneath[p] != kArt) return -1;
      continue;
    }
    return i;
  }
  return -2;  // nothing: never for a pixel of art
}

Inspection Inspect() {
  // [borders drawn?][sheet+1, sheet+101, image+1, x+1, y+1]
  const std::function<uint8_t(int, int, int, int)> codes[5] = {
      [](int s, int, int, int) { return static_cast<uint8_t>(s + 1); },
      [](int s, int, int, int) { return static_cast<uint8_t>(s + 101); },
      [](int, int i, int, int) { return static_cast<uint8_t>(i + 1); },
      [](int, int, int x, int) { return static_cast<uint8_t>(x + 1); },
      [](int, int, int, int y) { return static_cast<uint8_t>(y + 1); }};
  std::vector<Run> runs[2];
  for (int b = 0; b < 2; ++b)
    for (const auto& code : codes) runs[b].push_back(PlayCoded(code, b == 0));
  const size_t holds = runs[0][0].screens.size();
  for (const auto& set : runs)
    for (const Run& run : set)
      if (run.screens.size() != holds) Fail("the runs over the coded sheets differ in their holds");

  Inspection out;
  std::vector<HoldMap>& maps = out.holds;
  maps.resize(holds);
  std::map<std::tuple<int, int, int, int>, std::vector<std::string>> captions;
  for (size_t h = 0; h < holds; ++h) {
    HoldMap& map = maps[h];
    // Every image seen, by (sheet, image, x, y), and which one shows at each pixel.
    std::map<std::tuple<int, int, int, int>, int> index;
    std::vector<int> shown[2];
    for (int b = 0; b < 2; ++b) {
      const std::vector<Run>& r = runs[b];
      std::vector<uint16_t>& layer = b == 0 ? map.own : map.beneath;
      layer.assign(kPixels, kArt);
      shown[b].assign(kPixels, -1);
      for (int p = 0; p < kPixels; ++p) {
        const uint8_t a = r[0].screens[h][p];
        if (a == r[1].screens[h][p]) {
          layer[p] = a;
          continue;
        }
        const int sheet = a - 1, image = r[2].screens[h][p] - 1, x = r[3].screens[h][p] - 1,
                  y = r[4].screens[h][p] - 1;
        if (sheet < 0 || sheet >= SheetCount || r[1].screens[h][p] != sheet + 101)
          Fail("a pixel of art that no coded sheet drew");
        const auto key = std::make_tuple(sheet, image, p % pxport::kScreenWidth - x,
                                         p / pxport::kScreenWidth - y);
        auto it = index.find(key);
        if (it == index.end()) {
          it = index.emplace(key, static_cast<int>(map.placements.size())).first;
          Placement pl;
          std::tie(pl.sheet, pl.image, pl.x, pl.y) = key;
          map.placements.push_back(pl);
        }
        Placement& pl = map.placements[it->second];
        pl.rows = std::max(pl.rows, y + 1);
        shown[b][p] = it->second;
      }
    }
    // Drawing order: an image seen where another one lies was drawn after it.
    const int n = static_cast<int>(map.placements.size());
    std::vector<std::set<int>> above(n);
    std::vector<int> below(n, 0);
    for (int b = 0; b < 2; ++b)
      for (int i = 0; i < n; ++i) {
        const Placement& pl = map.placements[i];
        if (b == 1 && pl.sheet == BorderSheet) continue;
        for (int y = std::max(pl.y, 0); y < std::min(pl.y + pl.rows, pxport::kScreenHeight); ++y)
          for (int x = std::max(pl.x, 0);
               x < std::min(pl.x + ImageSheets[pl.sheet].imageWidth, pxport::kScreenWidth); ++x) {
            const int top = shown[b][y * pxport::kScreenWidth + x];
            if (top >= 0 && top != i && above[i].insert(top).second) ++below[top];
          }
      }
    std::vector<Placement> order;
    std::vector<int> ready;
    for (int i = 0; i < n; ++i)
      if (!below[i]) ready.push_back(i);
    for (size_t k = 0; k < ready.size(); ++k) {
      order.push_back(map.placements[ready[k]]);
      for (int j : above[ready[k]])
        if (!--below[j]) ready.push_back(j);
    }
    if (static_cast<int>(order.size()) != n)
      Fail("images drawn over each other both ways at one hold");
    map.placements = order;
    map.byRow.assign(pxport::kScreenHeight, {});
    for (int i = 0; i < n; ++i)
      for (int y = std::max(order[i].y, 0);
           y < std::min(order[i].y + order[i].rows, pxport::kScreenHeight); ++y)
        map.byRow[y].push_back(i);
    // The captions drawn since the last hold, on an image or just below it.
    for (const Text& t : runs[0][0].texts[h]) {
      const Placement* owner = nullptr;
      for (const Placement& pl : map.placements) {
        const int w = ImageSheets[pl.sheet].imageWidth;
        const bool on = t.x >= pl.x && t.x < pl.x + w && t.y >= pl.y && t.y < pl.y + pl.rows;
        const bool under = t.x >= pl.x - 25 && t.x < pl.x + w && t.y >= pl.y + pl.rows &&
                           t.y < pl.y + pl.rows + 20;
        if (on || (under && !owner)) owner = &pl;
      }
      if (owner) {
        auto& list = captions[{owner->sheet, owner->image, owner->x, owner->y}];
        if (std::find(list.begin(), list.end(), t.text) == list.end()) list.push_back(t.text);
      }
    }
    const std::vector<uint8_t>& palette = runs[0][0].palettes[h];
    auto known = std::find(out.palettes.begin(), out.palettes.end(), palette);
    map.palette = static_cast<int>(known - out.palettes.begin());
    if (known == out.palettes.end()) out.palettes.push_back(palette);
    // The page's rule gives back every run: with the borders (never 0 in the
    // coded sheets) and without them (all 0).
    for (int b = 0; b < 2; ++b)
      for (int p = 0; p < kPixels; ++p) {
        const int got = WhatDraws(map, p, b == 1);
        const std::vector<Run>& r = runs[b];
        const bool own = r[0].screens[h][p] == r[1].screens[h][p];
        if (own ? got != -1 : got < 0)
          Fail("hold " + std::to_string(h) + ": pixel " + std::to_string(p) + " is not told right");
        if (own) continue;
        const Placement& pl = map.placements[got];
        const int px = p % pxport::kScreenWidth, py = p / pxport::kScreenWidth;
        if (pl.sheet + 1 != r[0].screens[h][p] || pl.image + 1 != r[2].screens[h][p] ||
            px - pl.x + 1 != r[3].screens[h][p] || py - pl.y + 1 != r[4].screens[h][p])
          Fail("hold " + std::to_string(h) + ": pixel " + std::to_string(p) + " is told wrong");
      }
  }
  for (HoldMap& map : maps)
    for (Placement& pl : map.placements) {
      auto it = captions.find({pl.sheet, pl.image, pl.x, pl.y});
      if (it == captions.end()) continue;
      const std::string text = Join(it->second, " / ");
      auto known = std::find(out.captions.begin(), out.captions.end(), text);
      pl.caption = static_cast<int>(known - out.captions.begin());
      if (known == out.captions.end()) out.captions.push_back(text);
    }
  return out;
}

// The inspection as the page reads it, little-endian: "PXA1", the counts of
// palettes, captions, hold maps and holds and the sheet whose index 0 is left
// undrawn (16 bits each); the palettes (768
// bytes each); the captions (a length byte, then UTF-8); the hold maps, each
// the palette's number, the two layers and the placements; then each hold's
// map number (holds alike share one). A layer is runs over the 640 x 480
// pixels, row by row: a varint of length * 2 + 1 for art, or of length * 2
// followed by the palette index. A placement: sheet and rows drawn (a byte
// each), image, x, y and caption (16 bits each; caption 0xffff for none).
std::vector<uint8_t> InspectionBytes(const Inspection& in) {
  std::vector<uint8_t> out = {'P', 'X', 'A', '1'};
  auto u16 = [&out](int v) {
    out.insert(out.end(), {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)});
  };
  auto varint = [&out](unsigned v) {
    for (; v >= 128; v >>= 7) out.push_back(static_cast<uint8_t>(v | 128));
    out.push_back(static_cast<uint8_t>(v));
  };
  std::vector<std::vector<uint8_t>> blocks;
  std::vector<int> holdBlock;
  for (const HoldMap& map : in.holds) {
    std::swap(out, blocks.emplace_back());
    u16(map.palette);
    for (const std::vector<uint16_t>* layer : {&map.own, &map.beneath})
      for (int p = 0; p < kPixels;) {
        int q = p;
        while (q < kPixels && (*layer)[q] == (*layer)[p]) ++q;
        varint(static_cast<unsigned>(q - p) * 2 + ((*layer)[p] == kArt));
        if ((*layer)[p] != kArt) out.push_back(static_cast<uint8_t>((*layer)[p]));
        p = q;
      }
    u16(static_cast<int>(map.placements.size()));
    for (const Placement& pl : map.placements) {
      out.insert(out.end(), {static_cast<uint8_t>(pl.sheet), static_cast<uint8_t>(pl.rows)});
      for (int v : {pl.image, pl.x, pl.y, pl.caption < 0 ? 0xffff : pl.caption}) u16(v);
    }
    std::swap(out, blocks.back());
    auto known = std::find(blocks.begin(), blocks.end() - 1, blocks.back());
    holdBlock.push_back(static_cast<int>(known - blocks.begin()));
    if (known != blocks.end() - 1) blocks.pop_back();
  }
  for (size_t n : {in.palettes.size(), in.captions.size(), blocks.size(), in.holds.size()})
    u16(static_cast<int>(n));
  u16(BorderSheet);
  for (const auto& palette : in.palettes) out.insert(out.end(), palette.begin(), palette.end());
  for (const std::string& c : in.captions) {
    out.push_back(static_cast<uint8_t>(std::min<size_t>(c.size(), 255)));
    out.insert(out.end(), c.begin(), c.begin() + std::min<size_t>(c.size(), 255));
  }
  for (const auto& block : blocks) out.insert(out.end(), block.begin(), block.end());
  for (int b : holdBlock) u16(b);
  return out;
}

int CellAt(int x, int y) {
  for (int cell = 1; cell <= MapCellCount; ++cell) {
    int cx = 0, cy = 0;
    if (FindCellOrigin(cell, &cx, &cy) && cx == x && cy == y) return cell;
  }
  return 0;
}

// The images of `sheet` that no screen shows, below the highest one shown.
std::string NeverShown(const std::vector<Sighting>& all, int sheet) {
  std::set<int> shown;
  for (const Sighting& s : all)
    if (s.sheet == sheet) shown.insert(s.image);
  std::vector<int> missing;
  for (int i = 0; shown.size() && i < *shown.rbegin(); ++i)
    if (!shown.count(i)) missing.push_back(i);
  const std::string after =
      "every image from " + std::to_string(shown.size() ? *shown.rbegin() + 1 : 0) + " on";
  return "Never shown: " + (missing.empty() ? after : Ranges(missing) + ", and " + after) + ".\n";
}

std::string SheetHeading(int sheet, const char* what) {
  const SheetFormat& f = ImageSheets[sheet];
  return std::string("**") + what + "**, `" + f.fileName + "` (" + std::to_string(f.imageWidth) +
         " x " + std::to_string(f.imageHeight) + "):\n\n";
}

std::string Markdown(const std::vector<Sighting>& all) {
  std::ostringstream md;
  auto of = [&](int sheet) {
    std::vector<Sighting> some;
    for (const Sighting& s : all)
      if (s.sheet == sheet) some.push_back(s);
    std::stable_sort(some.begin(), some.end(), [](const Sighting& a, const Sighting& b) {
      return std::tie(a.image, a.screen) < std::tie(b.image, b.screen);
    });
    return some;
  };

  md << SheetHeading(PortraitSheet, "Portraits")
     << "| portrait | screen | at | caption |\n|---|---|---|---|\n";
  for (const Sighting& s : of(PortraitSheet))
    md << "| " << s.image << " | " << s.screen << " | (" << s.x << ", " << s.y << ") | "
       << Quote(s.captions) << " |\n";
  md << "\n" << NeverShown(all, PortraitSheet) << "\n";

  md << SheetHeading(ButtonSheet, "The continue button")
     << "| image | screens | at |\n|---|---|---|\n";
  std::map<std::tuple<int, int, int>, std::vector<int>> buttons;
  for (const Sighting& s : of(ButtonSheet)) buttons[{s.image, s.x, s.y}].push_back(s.screen);
  for (const auto& [where, screens] : buttons)
    md << "| " << std::get<0>(where) << " | " << Ranges(screens) << " | (" << std::get<1>(where)
       << ", " << std::get<2>(where) << ") |\n";
  md << "\n" << NeverShown(all, ButtonSheet) << "\n";

  md << SheetHeading(StatIconSheet, "Stat icons")
     << "| image | screen | at | rows shown | captions over it |\n|---|---|---|---|---|\n";
  const int iconRows = ImageSheets[StatIconSheet].imageHeight;
  for (const Sighting& s : of(StatIconSheet))
    md << "| " << s.image << " | " << s.screen << " | (" << s.x << ", " << s.y << ") | "
       << (s.rows == iconRows ? "all " + std::to_string(s.rows) : "top " + std::to_string(s.rows))
       << " | " << Quote(s.captions) << " |\n";
  md << "\n" << NeverShown(all, StatIconSheet) << "\n";

  // Tiles: the terrain of a cell is the map's; each map screen draws one
  // season's block, whose first tile the tile of any cell gives.
  std::map<int, int> screenSeason;                     // map screen -> season
  std::map<int, std::set<int>> cells;                  // terrain -> cells
  std::map<std::pair<int, int>, std::set<int>> tiles;  // (terrain, season) -> tiles
  std::map<int, int> blockOf;                          // screen -> first tile of its block
  for (const Sighting& s : of(TileSheet)) {
    const int cell = CellAt(s.x, s.y);
    if (!cell)
      Fail("a tile stands at (" + std::to_string(s.x) + ", " + std::to_string(s.y) +
           "), on no cell");
    blockOf[s.screen] = s.image - BattleMapLayout[cell];
  }
  std::set<int> blocks;
  for (const auto& [screen, block] : blockOf) blocks.insert(block);
  const int blockSize = blocks.size() > 1 ? *std::next(blocks.begin()) - *blocks.begin() : 1;
  for (const Sighting& s : of(TileSheet)) {
    const int cell = CellAt(s.x, s.y), terrain = BattleMapLayout[cell];
    const int season = blockOf[s.screen] / blockSize;
    if (season < 0 || season > 3) Fail("a map screen draws no season's block of tiles");
    screenSeason[s.screen] = season;
    cells[terrain].insert(cell);
    tiles[{terrain, season}].insert(s.image);
  }
  md << SheetHeading(TileSheet, "Map tiles") << "| terrain | cells |";
  for (const auto& [screen, season] : screenSeason)
    md << " " << kSeasonNames[season] << " (screen " << screen << ") |";
  md << "\n|---|---|";
  for (size_t i = 0; i < screenSeason.size(); ++i) md << "---|";
  md << "\n";
  for (const auto& [terrain, where] : cells) {
    md << "| " << terrain << " | " << where.size() << " |";
    for (const auto& [screen, season] : screenSeason) {
      const std::set<int>& used = tiles[{terrain, season}];
      md << " " << Ranges(std::vector<int>(used.begin(), used.end())) << " |";
    }
    md << "\n";
  }
  md << "\n" << NeverShown(all, TileSheet) << "\n";

  md << SheetHeading(PieceSheet, "Pieces")
     << "| piece | screen | cell | number |\n|---|---|---|---|\n";
  for (const Sighting& s : of(PieceSheet))
    md << "| " << s.image << " | " << s.screen << " | " << CellAt(s.x, s.y) << " | "
       << Quote(s.captions) << " |\n";
  md << "\n" << NeverShown(all, PieceSheet) << "\n";

  md << SheetHeading(BorderSheet, "Cell borders") << "| border | screen | cell |\n|---|---|---|\n";
  for (const Sighting& s : of(BorderSheet))
    md << "| " << s.image << " | " << s.screen << " | " << CellAt(s.x, s.y) << " |\n";
  md << "\n" << NeverShown(all, BorderSheet);
  return md.str();
}

// One line per image and screen: { sheet, image, screen, rows }, rows being
// how many of its rows, from the top, show there at most.
std::string Table(const std::vector<Sighting>& all) {
  std::map<std::tuple<int, int, int>, int> rows;
  for (const Sighting& s : all) {
    int& most = rows[{s.sheet, s.image, s.screen}];
    most = std::max(most, s.rows);
  }
  std::string text =
      "// Written by pixshow-artmap from a run of the presentation: each image the\n"
      "// program shows, as { sheet, image, screen, rows drawn from its top }.\n";
  for (const auto& [key, drawn] : rows) {
    const auto& [sheet, image, screen] = key;
    text += "{" + std::to_string(sheet) + ", " + std::to_string(image) + ", " +
            std::to_string(screen) + ", " + std::to_string(drawn) + "},\n";
  }
  return text;
}

const char kBegin[] =
    "<!-- The art map: written by pixshow-artmap from a run of the presentation. "
    "Do not edit by hand. -->\n";
const char kEnd[] = "<!-- End of the art map. -->\n";

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail("cannot read " + toolkit::Quoted(path));
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const std::string& path, const std::string& text) {
  std::string error;
  if (!toolkit::WriteFileReplacing(
          path,
          [&](std::FILE* f, std::string* why) {
            if (std::fwrite(text.data(), 1, text.size(), f) == text.size()) return true;
            *why = std::strerror(errno);
            return false;
          },
          &error)) {
    Fail(error);
  }
}

// The guide with its art map section made `map`.
std::string WithMap(const std::string& path, const std::string& guide, const std::string& map) {
  const size_t begin = guide.find(kBegin), end = guide.find(kEnd);
  if (begin == std::string::npos || end == std::string::npos || end < begin)
    Fail(toolkit::Quoted(path) + " has no art map section (its first and last lines are comments)");
  return guide.substr(0, begin + std::strlen(kBegin)) + "\n" + map + "\n" + guide.substr(end);
}

}  // namespace

int main(int argc, char** argv) {
  toolkit::ParsedArgs args;
  std::string error;
  if (!toolkit::ParseArgs(
          std::vector<std::string>(argv + 1, argv + argc),
          {{"--table", true}, {"--doc", true}, {"--check-doc", true}, {"--inspect", true}}, &args,
          &error) ||
      !args.positional.empty()) {
    Fail((error.empty() ? "unexpected argument" : error) +
         " (usage: pixshow-artmap [--table FILE] [--doc GUIDE.md] [--check-doc GUIDE.md] "
         "[--inspect FILE])");
  }
  const std::vector<Sighting> all = Watch();
  if (args.Has("--table")) WriteText(args.Value("--table"), Table(all));
  if (args.Has("--inspect")) {
    const std::vector<uint8_t> bytes = InspectionBytes(Inspect());
    WriteText(args.Value("--inspect"), std::string(bytes.begin(), bytes.end()));
  }
  const std::string map = Markdown(all);
  if (args.Has("--doc")) {
    const std::string path = args.Value("--doc");
    WriteText(path, WithMap(path, ReadText(path), map));
  }
  if (args.Has("--check-doc")) {
    const std::string path = args.Value("--check-doc");
    const std::string guide = ReadText(path);
    if (WithMap(path, guide, map) != guide) {
      std::fprintf(stderr,
                   "pixshow-artmap: the art map in %s is not what the program shows; write it "
                   "again with pixshow-artmap --doc %s\n",
                   toolkit::Quoted(path).c_str(), path.c_str());
      return 1;
    }
  }
  return 0;
}
