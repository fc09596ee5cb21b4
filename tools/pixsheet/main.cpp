// pixsheet: the bridge between paint programs and the program's image sheets.
//
//   pixsheet info SHEET
//   pixsheet export SHEET [OUT.png | -o OUT.png] [--image K] [--columns N]
//   pixsheet import IMAGE.png... -o SHEET [--image K | --append | --replace] [--strict]
//   pixsheet check [FOLDER]
//   pixsheet palette -o FILE
//
// Status 0 on success, 2 on any bad input or failure (one line on stderr);
// check answers 1 when the folder is not ready.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <exception>
#include <filesystem>
#include <map>
#include <new>
#include <system_error>
#include <string>
#include <vector>

#include "pixshow_version.h"
#include "pixsheet.h"
#include "pngio.h"
#include "toolkit.h"

namespace pixsheet {
namespace {

const char kMainHelp[] =
    "usage: pixsheet COMMAND [ARGS...]     (pixsheet COMMAND --help for more)\n"
    "\n"
    "Converts the program's image sheets (*.pix: headerless files of 8-bit palette\n"
    "indices, equally sized images back to back) to and from PNG.\n"
    "\n"
    "commands:\n"
    "  info SHEET                      image size, image count, left-over bytes, indices used\n"
    "  export SHEET [OUT.png]          one image or a contact sheet of all, as an indexed PNG\n"
    "  import IMAGE.png... -o SHEET    PNG images (or contact sheets) into a sheet;\n"
    "                                  --image K writes them over image K and on\n"
    "  check [FOLDER]                  does FOLDER hold every image the presentation draws?\n"
    "  palette -o FILE                 the program's 256 colours as .gpl, .pal or .png\n"
    "\n"
    "Changing one image (here portrait 4): export it, paint it, put it back:\n"
    "  pixsheet export ports.pix --image 4          (writes ports-4.png)\n"
    "  pixsheet import ports-4.png -o ports.pix --image 4\n"
    "\n"
    "The image size comes from --size WxH, or from the name of a sheet the program\n"
    "reads: ports.pix 82x62, button.pix 45x12, Divadude.pix 82x62, WarTiles.pix 42x32,\n"
    "Pieces.pix 42x32, Borders.pix 42x32 (the file name exactly, capitals included).\n"
    "\n"
    "pixsheet --version prints the version.\n"
    "\n"
    "Exit status: 0 on success (check: 1 when the folder is not ready); 2 on bad\n"
    "input or failure, with one line on stderr.\n"
    "Sheets and PNGs are read only from regular files (not pipes or devices), and\n"
    "an output is never one of the command's inputs. import never leaves a sheet\n"
    "with fewer images than it held unless told to (--replace).\n"
    "Outputs are written to a temporary file beside the target and renamed over it\n"
    "only when complete: on any failure the target keeps what it held. import\n"
    "--append only adds bytes after the sheet's own, and takes them back on failure.\n";

const char kInfoHelp[] =
    "usage: pixsheet info SHEET [--size WxH]\n"
    "\n"
    "Prints the sheet's length, the image size (from --size or the sheet's name),\n"
    "how many whole images it holds, how many bytes are left over after the last\n"
    "whole image (the program draws the missing bytes of such a partial image as\n"
    "index 255), and which palette indices occur in the file (in its first 64 MiB\n"
    "when it is longer and they are not all found by then; the line says so).\n";

const char kExportHelp[] =
    "usage: pixsheet export SHEET [OUT.png | -o OUT.png] [--image K] [--columns N]\n"
    "                             [--labels] [--size WxH] [--force]\n"
    "\n"
    "Writes an 8-bit indexed PNG whose colour table is the program's palette, so\n"
    "paint programs that keep indexed colour keep every pixel's index.\n"
    "\n"
    "  --image K     only image K (counting from 0); default OUT is SHEET-K.png.\n"
    "                A partial last image is padded with index 255, as the program\n"
    "                draws it.\n"
    "  (no --image)  a contact sheet of every whole image; default OUT is SHEET.png.\n"
    "  --columns N   images per row of the contact sheet (default 10; 9 for\n"
    "                WarTiles.pix, one season per row).\n"
    "  --labels      a numbered preview instead: each image's number stands in a\n"
    "                band above it, for looking up which image is which; default\n"
    "                OUT is SHEET-numbered.png. import refuses such a preview (the\n"
    "                numbers are not art).\n"
    "  -o OUT.png    where to write (also given as the second name); never the\n"
    "                sheet itself, nor standard output.\n"
    "  --force       overwrite OUT.png even when it differs from what export\n"
    "                writes. Without it, an OUT.png that is already there (and may\n"
    "                hold painting not yet imported) is replaced only when it holds\n"
    "                exactly the same pixels and palette.\n"
    "\n"
    "Contact sheet layout: images left to right, then top to bottom, with a gap of\n"
    "1 pixel of index 41 (magenta) between neighbours and none around the edge. A\n"
    "sheet of C columns and R rows of W x H images is C*W + (C-1) pixels wide and\n"
    "R*H + (R-1) high; import finds C and R from these measures. Grid places after\n"
    "the last image are empty places: a checkerboard of 4 x 4 squares of indices 7\n"
    "(light grey) and 8 (grey), light at the top-left corner, with the gap on their\n"
    "left in index 7 instead of 41. Import skips a place only while both are intact:\n"
    "draw into an empty place to add an image there.\n";

const char kImportHelp[] =
    "usage: pixsheet import IMAGE.png... -o SHEET [--image K | --append | --replace]\n"
    "                      [--size WxH] [--strict] [--wait SECONDS]\n"
    "\n"
    "Turns PNG images into images of SHEET, in the order given. To change one\n"
    "image, export it, paint it and put it back in its place:\n"
    "\n"
    "  pixsheet export ports.pix --image 4          (writes ports-4.png)\n"
    "  pixsheet import ports-4.png -o ports.pix --image 4\n"
    "\n"
    "Each PNG is one image of the sheet's size, or a contact sheet of such images\n"
    "as written by export (its columns and rows follow from its size: C*W + (C-1)\n"
    "by R*H + (R-1) pixels), read left to right, then top to bottom. Empty places\n"
    "(see pixsheet export --help) are skipped; they may only follow the last\n"
    "image of a contact sheet. A PNG of any other size is refused.\n"
    "\n"
    "Any PNG is accepted: indexed, grey, RGB, with or without alpha, 8 or 16 bits.\n"
    "Its text, metadata and other extra chunks are skipped, whatever their size.\n"
    "Colours become palette indices:\n"
    "  - in an indexed PNG, a pixel keeps its index when the PNG's colour for that\n"
    "    index is the program's and opaque (true for everything export writes);\n"
    "  - a fully transparent pixel becomes index 0 (which Borders.pix leaves\n"
    "    undrawn);\n"
    "  - any other pixel takes the lowest index of exactly its colour, or else the\n"
    "    nearest palette colour (least squared distance in red, green and blue,\n"
    "    the lowest index on ties).\n"
    "\n"
    "  -o SHEET      the sheet to write; its name gives the image size unless\n"
    "                --size is given.\n"
    "  --image K     write the images over image K of SHEET and the ones after it\n"
    "                (counting from 0); SHEET keeps its length and every other\n"
    "                byte. Images that would reach past its end are refused,\n"
    "                unless they start exactly at the end: K = the image count\n"
    "                adds them there.\n"
    "  --append      add the images after those already in SHEET (created when\n"
    "                missing); the bytes already there are never rewritten. SHEET\n"
    "                must hold whole images only.\n"
    "  --replace     make SHEET exactly the images given, even when it held more.\n"
    "  --strict      refuse any colour that is not exactly in the palette, and any\n"
    "                partly transparent pixel, naming the first such pixel.\n"
    "\n"
    "Without any of --image, --append and --replace, SHEET is replaced as a whole,\n"
    "but only when it is new or would hold at least as many images as before: an\n"
    "import that would leave it with fewer is refused (status 2) and writes\n"
    "nothing. SHEET is written only once every input has been read and converted.\n"
    "\n"
    "  --wait SECONDS  how long to wait while another pixsheet writes or reads\n"
    "                SHEET (default 5); then the import is refused (status 2).\n"
    "\n"
    "One pixsheet at a time writes a sheet: each takes its lock (a hidden\n"
    ".pixlock-* file beside it, gone when the last run lets it go), and another\n"
    "waits, saying so on one line. --append puts a journal (.pixundo-*) beside\n"
    "the sheet while it adds bytes: should the run be killed, the next pixsheet\n"
    "run on the sheet (check too) cuts it back to its old length and says so.\n"
    "\n"
    "Links: a symbolic link is followed, and the file it names is written. An\n"
    "import without --append (--image K too) replaces SHEET by a new file, with\n"
    "the old one's permissions, and its owner and group where the system allows:\n"
    "another hard link to the old file keeps the old images. --append writes in\n"
    "place.\n";

const char kCheckHelp[] =
    "usage: pixsheet check [FOLDER]\n"
    "\n"
    "Checks that FOLDER (default: the current folder) is ready to play: each of\n"
    "the six sheets there, under its exact name, a regular file that can be\n"
    "read, a whole number of its images, and holding every image the\n"
    "presentation draws. Prints a table, one row a sheet: the images it holds,\n"
    "the images the presentation needs (the highest it draws + 1), and what is\n"
    "wrong, named with the screen it affects: a missing or unreadable sheet\n"
    "stops the show with \"Load Failure\" on the first screen that needs it, and\n"
    "an image past the end of a sheet is drawn as a white block (the one the\n"
    "sheet ends inside, white from where its bytes run out: named only when a\n"
    "screen draws rows of it that are not there).\n"
    "\n"
    "Which image appears on which screen is learnt from the program itself: the\n"
    "build plays the presentation over coded sheets and records what it shows.\n"
    "\n"
    "Exit status: 0 when every drawn image is there and nothing is wrong, 1 when\n"
    "not, 2 for bad usage (FOLDER is not a folder).\n";

const char kPaletteHelp[] =
    "usage: pixsheet palette -o FILE [--scale N]\n"
    "\n"
    "Writes the program's 256 colours as set up at start (black at 0, the artwork\n"
    "colours at 1..80, the generated colours at 81..254, white at 255), in index\n"
    "order, in the format FILE's extension names:\n"
    "  .gpl   GIMP palette (also read by Krita, Inkscape and Aseprite)\n"
    "  .pal   JASC palette (Paint Shop Pro and others)\n"
    "  .png   16 x 16 swatch, index i at column i % 16, row i / 16, as an indexed\n"
    "         PNG with the palette; --scale N makes each swatch N x N pixels\n"
    "         (default 1).\n";

using toolkit::ParsedArgs;
using toolkit::Quoted;

int ParseCount(const std::string& option, const std::string& text, int low, int high) {
  bool digits = !text.empty() && text.size() <= 9;
  for (char c : text) digits = digits && c >= '0' && c <= '9';
  const long value = digits ? std::stol(text) : -1;
  if (value < low || value > high) {
    Fail("bad value '" + text + "' for " + option + ": expected a whole number from " +
         std::to_string(low) + " to " + std::to_string(high));
  }
  return static_cast<int>(value);
}

// Refuses to write over a file the command reads.
void RefuseOutputThatIsAnInput(const std::string& out, const std::vector<std::string>& inputs) {
  for (const std::string& in : inputs) {
    if (toolkit::SameFile(out, in)) {
      Fail("the output " + Quoted(out) + " is the input " + Quoted(in) + ": choose another output");
    }
  }
}

std::string WithoutExtension(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  const size_t dot = path.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1))
    return path.substr(0, dot);
  return path;
}

std::string Plural(long long n, const char* word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

// "0-3, 7, 15, 81-90"
std::string IndexRanges(const bool used[256]) {
  std::string text;
  for (int i = 0; i < 256; ++i) {
    if (!used[i]) continue;
    int j = i;
    while (j + 1 < 256 && used[j + 1]) ++j;
    if (!text.empty()) text += ", ";
    text += std::to_string(i);
    if (j > i) text += "-" + std::to_string(j);
    i = j;
  }
  return text.empty() ? "none" : text;
}

// True when `path` is a PNG of exactly `picture` in the program's palette,
// as export writes it. Its header is compared first, then row by row: the
// file is never held whole.
bool PngHolds(const std::string& path, const Picture& picture, const Palette& palette) {
  struct Differs {};
  std::string error;
  try {
    return pngio::ReadPngRows(
        path,
        [&](const pngio::Image& h) {
          bool same = h.indexed && h.paletteSize == 256 && h.width == picture.width &&
                      h.height == picture.height;
          for (int i = 0; same && i < 256; ++i)
            same = std::equal(palette.rgb[i], palette.rgb[i] + 3, h.palette[i]);
          if (!same) throw Differs{};
          return std::string();
        },
        [&](int y, const uint8_t*, const uint8_t* indices) {
          const auto row = picture.pixels.begin() + static_cast<long>(y) * picture.width;
          if (!std::equal(row, row + picture.width, indices)) throw Differs{};
        },
        &error);
  } catch (const Differs&) {
    return false;
  }
}

// Takes the sheet's lock: shared to read, exclusive to write (see toolkit::LockFile).
void LockSheet(const std::string& sheet, bool exclusive, int wait, toolkit::FileLock* lock) {
  std::string error;
  if (!toolkit::LockFile(sheet, exclusive, wait, lock, &error)) Fail(error);
}

// --- Commands -----------------------------------------------------------------------

int RunInfo(const ParsedArgs& args) {
  if (args.positional.size() != 1) Fail("info needs exactly one SHEET (see pixsheet info --help)");
  const std::string& sheet = args.positional[0];
  toolkit::FileLock lock;
  LockSheet(sheet, false, toolkit::kLockWaitSeconds, &lock);
  const SheetReader reader(sheet);
  const ImageSize size = SizeFor(sheet, args.Value("--size"));
  const SheetSummary summary = SummariseSheet(reader.File(), sheet);
  const long long whole = summary.length / size.Bytes();
  const long long leftOver = summary.length % size.Bytes();
  std::printf("sheet: %s, %s\n", Quoted(sheet).c_str(), Plural(summary.length, "byte").c_str());
  std::printf("image size: %d x %d = %d bytes%s\n", size.width, size.height, size.Bytes(),
              args.Has("--size") ? "" : " (from the sheet's name)");
  std::printf("whole images: %lld\n", whole);
  std::printf("bytes left over: %lld", leftOver);
  if (leftOver) {
    std::printf(" (image %lld is partial: the program draws its last %lld bytes as index 255)",
                whole, size.Bytes() - leftOver);
  }
  std::printf("\nindices used: %d of 256: %s", summary.usedCount,
              IndexRanges(summary.used).c_str());
  if (summary.scanned < summary.length) {
    std::printf(" (in the first %s; the rest was not read)",
                Plural(summary.scanned, "byte").c_str());
  }
  std::printf("\n");
  return 0;
}

// export SHEET [OUT.png]: the output may also come as -o OUT.png.
int RunExport(const ParsedArgs& args) {
  if (args.positional.empty() || args.positional.size() > 2) {
    Fail("export needs one SHEET and at most one OUT.png (see pixsheet export --help)");
  }
  if (args.positional.size() == 2 && args.Has("-o"))
    Fail("export takes OUT.png once: as -o OUT.png or after SHEET");
  const std::string& sheet = args.positional[0];
  const bool single = args.Has("--image");
  const bool numbered = args.Has("--labels");
  if (single && (args.Has("--columns") || numbered))
    Fail(std::string(numbered ? "--labels" : "--columns") +
         " is for a contact sheet, not with --image");
  int columns =
      args.Has("--columns") ? ParseCount("--columns", args.Value("--columns"), 1, 1000) : 0;
  const int image = single ? ParseCount("--image", args.Value("--image"), 0, 999999999) : 0;
  std::string out = args.positional.size() == 2 ? args.positional[1] : args.Value("-o");
  if (out == "-") Fail("export writes a PNG file, not to standard output: name OUT.png");
  if (out.empty()) {
    out = WithoutExtension(sheet) +
          (single     ? "-" + std::to_string(image)
           : numbered ? "-numbered"
                      : "") +
          ".png";
  }
  toolkit::FileLock lock;
  LockSheet(sheet, false, toolkit::kLockWaitSeconds, &lock);
  const SheetReader reader(sheet);
  RefuseOutputThatIsAnInput(out, {sheet});
  const ImageSize size = SizeFor(sheet, args.Value("--size"));
  if (!columns) {
    const KnownSheet* known = FindKnownSheet(sheet);
    columns = known ? known->columns : 10;
  }
  const Picture picture =
      single ? ExportImage(reader.File(), sheet, reader.Length(), size, image)
             : ExportContactSheet(reader.File(), sheet, reader.Length(), size, columns, numbered);
  const Palette palette = ProgramPalette();
  // A PNG that is already there may hold painting not yet imported. Anything
  // but a file (a folder, a pipe) is left to the write, which names it.
  std::error_code ec;
  if (!args.Has("--force") && std::filesystem::is_regular_file(toolkit::PathOf(out), ec) &&
      !PngHolds(out, picture, palette)) {
    Fail(Quoted(out) +
         " is already there and differs from what export would write (painted "
         "since?): import it first, give another OUT.png, or --force to overwrite it");
  }
  std::string error;
  if (!pngio::WriteIndexedPng(out, picture.width, picture.height, picture.pixels.data(),
                              picture.width, palette.rgb, &error)) {
    Fail(error);
  }
  if (single) {
    std::printf("wrote %s: image %d of %s, %d x %d\n", Quoted(out).c_str(), image,
                Quoted(sheet).c_str(), picture.width, picture.height);
    return 0;
  }
  const long long whole = reader.Length() / size.Bytes();
  const long long leftOver = reader.Length() % size.Bytes();
  std::printf("wrote %s: %s of %s in %s, %d x %d pixels\n", Quoted(out).c_str(),
              Plural(whole, "image").c_str(), Quoted(sheet).c_str(),
              Plural(std::min<long long>(columns, whole), "column").c_str(), picture.width,
              picture.height);
  if (leftOver) {
    std::printf(
        "note: the last %lld bytes of %s make no whole image and are not in the contact sheet\n",
        leftOver, Quoted(sheet).c_str());
  }
  return 0;
}

// "image 4" or "images 4-6"
std::string ImageRange(long long first, long long count) {
  return count == 1 ? "image " + std::to_string(first)
                    : "images " + std::to_string(first) + "-" + std::to_string(first + count - 1);
}

int RunImport(const ParsedArgs& args) {
  if (args.positional.empty())
    Fail("import needs at least one IMAGE.png (see pixsheet import --help)");
  const std::string sheet = args.Value("-o");
  if (sheet.empty()) Fail("import needs -o SHEET (see pixsheet import --help)");
  const bool append = args.Has("--append");
  const bool inPlace = args.Has("--image");
  const bool replace = args.Has("--replace");
  if (append + inPlace + replace > 1)
    Fail("--image K, --append and --replace each say where the images go: give one of them");
  const long long first = inPlace ? ParseCount("--image", args.Value("--image"), 0, 999999999) : 0;
  const ImageSize size = SizeFor(sheet, args.Value("--size"));
  RefuseOutputThatIsAnInput(sheet, args.positional);
  const int wait = args.Has("--wait") ? ParseCount("--wait", args.Value("--wait"), 0, 86400)
                                      : toolkit::kLockWaitSeconds;
  toolkit::FileLock lock;  // one writer at a time, from the sheet's length measured on
  LockSheet(sheet, true, wait, &lock);

  // Each image goes to `take` as soon as it is cut out, so that neither a
  // picture nor a sheet written whole is ever held whole.
  long long images = 0;
  auto importAll = [&](const ImageSink& take) {
    images = 0;
    ColourMapper mapper(ProgramPalette());
    for (const std::string& file : args.positional)
      images += ImportPicture(file, size, &mapper, args.Has("--strict"), take);
    if (images == 0) Fail("nothing to import: every grid place of the given images is empty");
  };
  // Written over images in place, they must fit: the pictures' sizes tell
  // how many they hold at most before any pixel is read.
  long long most = 0;
  if (inPlace) {
    for (const std::string& file : args.positional) most += MostImagesIn(file, size);
  }

  std::error_code ec;
  const std::filesystem::path name = toolkit::PathOf(sheet);
  const bool exists = std::filesystem::is_regular_file(name, ec);
  const long long before =
      exists ? static_cast<long long>(std::filesystem::file_size(name, ec)) : 0;
  const long long held = before / size.Bytes();
  if (inPlace) {
    ReplaceImages(sheet, size, first, most, importAll);
    const long long now = std::max(held, first + images);
    std::printf("wrote %s over %s of %s: %s, the others unchanged\n",
                Plural(images, "image").c_str(), ImageRange(first, images).c_str(),
                Quoted(sheet).c_str(), Plural(now, "image").c_str());
  } else if (append) {
    if (before % size.Bytes() != 0) {
      Fail(Quoted(sheet) + " holds " + Plural(before, "byte") + ", not a whole number of " +
           std::to_string(size.width) + " x " + std::to_string(size.height) +
           " images: appending would shift every new image");
    }
    // Straight onto the end of the sheet, which is cut back to its old
    // length on any failure (a refusal passes through as it is).
    struct Stopped {};
    std::string error;
    const bool ok = toolkit::AppendFile(
        sheet,
        [&](const toolkit::AppendSink& put, std::string*) {
          try {
            importAll([&](const uint8_t* image, size_t n) {
              if (!put(image, n)) throw Stopped{};
            });
          } catch (const Stopped&) {
            return false;  // the reason is the write's
          }
          return true;
        },
        &error);
    if (!ok) Fail(error);
    std::printf("appended %s to %s: now %s\n", Plural(images, "image").c_str(),
                Quoted(sheet).c_str(), Plural(held + images, "image").c_str());
  } else {
    // Straight into the temporary file, which is renamed over the sheet
    // only when every input was read.
    std::string refusal, error;
    long long written = 0;
    const bool ok = toolkit::WriteFileReplacing(
        sheet,
        [&](std::FILE* f, std::string* why) {
          try {
            importAll([&](const uint8_t* image, size_t n) {
              if (std::fwrite(image, 1, n, f) != n) {
                *why = std::strerror(errno);
                throw Failure{};
              }
              written += static_cast<long long>(n);
            });
            // Writing fewer images over a sheet loses the rest: the usual slip
            // is importing one edited image without --image.
            if (!replace && images < held) {
              Fail(Quoted(sheet) + " holds " + Plural(held, "image") +
                   " and the import gives only " + std::to_string(images) +
                   ": give --image K to write " +
                   (images == 1 ? "it over image K" : "them over images K on") +
                   ", or --replace to make it a sheet of " + Plural(images, "image"));
            }
          } catch (const Failure& failure) {
            refusal = failure.message;
            return false;
          } catch (const std::bad_alloc&) {
            refusal = "not enough memory";
            return false;
          }
          return true;
        },
        &error);
    if (!ok) Fail(refusal.empty() ? error : refusal);
    std::printf("wrote %s: %s of %d x %d, %s\n", Quoted(sheet).c_str(),
                Plural(images, "image").c_str(), size.width, size.height,
                Plural(written, "byte").c_str());
  }
  return 0;
}

int RunCheck(const ParsedArgs& args) {
  if (args.positional.size() > 1)
    Fail("check takes one FOLDER at most (see pixsheet check --help)");
  return CheckFolder(args.positional.empty() ? "." : args.positional[0]);
}

int RunPalette(const ParsedArgs& args) {
  if (!args.positional.empty())
    Fail("palette takes no file names, only -o FILE (see pixsheet palette --help)");
  const std::string out = args.Value("-o");
  if (out.empty()) Fail("palette needs -o FILE (see pixsheet palette --help)");
  const int scale = args.Has("--scale") ? ParseCount("--scale", args.Value("--scale"), 1, 64) : 1;
  WritePaletteFile(out, ProgramPalette(), scale);
  std::printf("wrote %s\n", Quoted(out).c_str());
  return 0;
}

int Run(const std::vector<std::string>& argv) {
  if (argv.size() < 2) {
    std::fputs(kMainHelp, stderr);
    return 2;
  }
  const std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kMainHelp, stdout);
    return 0;
  }
  if (command == "--version") {
    std::printf("pixsheet (pixshow) %s\n", PIXSHOW_VERSION);
    return 0;
  }
  struct Command {
    const char* help;
    std::vector<toolkit::Option> options;
    int (*run)(const ParsedArgs&);
  };
  const toolkit::Option help{"--help", false, "-h"};
  const toolkit::Option out{"-o", true, "--output"};
  const toolkit::Option size{"--size", true};
  const std::map<std::string, Command> commands = {
      {"info", {kInfoHelp, {help, size}, RunInfo}},
      {"export",
       {kExportHelp,
        {help, out, size, {"--image", true}, {"--columns", true}, {"--labels"}, {"--force"}},
        RunExport}},
      {"import",
       {kImportHelp,
        {help,
         out,
         size,
         {"--image", true},
         {"--append"},
         {"--replace"},
         {"--strict"},
         {"--wait", true}},
        RunImport}},
      {"check", {kCheckHelp, {help}, RunCheck}},
      {"palette", {kPaletteHelp, {help, out, {"--scale", true}}, RunPalette}},
  };
  auto it = commands.find(command);
  if (it == commands.end()) Fail("unknown command '" + command + "' (see pixsheet --help)");
  ParsedArgs args;
  std::string error;
  if (!toolkit::ParseArgs(std::vector<std::string>(argv.begin() + 2, argv.end()),
                          it->second.options, &args, &error)) {
    Fail(error + " for pixsheet " + command + " (see pixsheet " + command + " --help)");
  }
  if (args.Has("--help")) {
    std::fputs(it->second.help, stdout);
    return 0;
  }
  return it->second.run(args);
}

}  // namespace
}  // namespace pixsheet

namespace {

int Main(const std::vector<std::string>& argv) {
  try {
    return pixsheet::Run(argv);
  } catch (const pixsheet::Failure& failure) {
    std::fflush(stdout);
    std::fprintf(stderr, "pixsheet: %s\n", failure.message.c_str());
  } catch (const std::bad_alloc&) {
    std::fflush(stdout);
    std::fprintf(stderr, "pixsheet: not enough memory\n");
  } catch (const std::exception& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "pixsheet: %s\n", e.what());
  }
  return 2;
}

}  // namespace

TOOLKIT_MAIN(Main)
