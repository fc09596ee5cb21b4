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
// section against the program.
//
//   pixshow-artmap [--table FILE] [--doc GUIDE.md] [--check-doc GUIDE.md]
//
// Status 0 when done, 1 when --check-doc finds the guide out of date, 2 on
// a failure (one line on stderr).
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
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

// Plays the presentation over coded sheets in a fresh folder.
std::vector<Sighting> Watch() {
  std::error_code ec;
  const fs::path folder =
      fs::temp_directory_path(ec) / ("pixshow-artmap-" + std::to_string(getpid()));
  fs::create_directories(folder, ec);
  if (ec) Fail("cannot make a folder for the coded sheets: " + ec.message());
  for (int sheet = 0; sheet < SheetCount; ++sheet) {
    const std::vector<uint8_t> bytes = CodedSheet(sheet);
    std::ofstream out(folder / ImageSheets[sheet].fileName, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
    if (!out) Fail("cannot write the coded sheets in " + toolkit::Quoted(folder.string()));
  }
  const fs::path previous = fs::current_path(ec);
  fs::current_path(folder, ec);
  if (ec) Fail("cannot enter " + toolkit::Quoted(folder.string()));

  Watcher watcher;
  pxh::Reset();
  bool gaveUp = false;
  pxh::At(kGiveUpMs, [&gaveUp] {
    gaveUp = true;
    pxh::PressCloseButton();
  });
  pxh::OnHold([&watcher](const pxh::Hold& hold) { watcher.OnHold(hold); });
  char commandLine[] = "";
  const int status = WinMain(GetModuleHandleA(NULL), NULL, commandLine, SW_SHOWNORMAL);
  pxh::OnHold({});

  fs::current_path(previous, ec);
  fs::remove_all(folder, ec);
  if (status != 0 || gaveUp || watcher.Waits() != kScreens) {
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
  if (!toolkit::ParseArgs(std::vector<std::string>(argv + 1, argv + argc),
                          {{"--table", true}, {"--doc", true}, {"--check-doc", true}}, &args,
                          &error) ||
      !args.positional.empty()) {
    Fail((error.empty() ? "unexpected argument" : error) +
         " (usage: pixshow-artmap [--table FILE] [--doc GUIDE.md] [--check-doc GUIDE.md])");
  }
  const std::vector<Sighting> all = Watch();
  if (args.Has("--table")) WriteText(args.Value("--table"), Table(all));
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
