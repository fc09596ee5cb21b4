// pixsheet: the bridge between paint programs and the program's image sheets.
//
//   pixsheet info SHEET
//   pixsheet export SHEET [-o OUT.png] [--image K] [--columns N]
//   pixsheet import IMAGE.png... -o SHEET [--append] [--strict]
//   pixsheet palette -o FILE
//
// Status 0 on success, 2 on any bad input or failure (one line on stderr).
#include <cstdio>
#include <algorithm>
#include <exception>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>
#include <string>
#include <vector>

#include "pixshow_version.h"
#include "pixsheet.h"
#include "pxpng.h"

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
    "  export SHEET [-o OUT.png]       one image or a contact sheet of all, as an indexed PNG\n"
    "  import IMAGE.png... -o SHEET    PNG images (or contact sheets) into a sheet\n"
    "  palette -o FILE                 the program's 256 colours as .gpl, .pal or .png\n"
    "\n"
    "The image size comes from --size WxH, or from the name of a sheet the program\n"
    "reads: ports.pix 82x62, button.pix 45x12, Divadude.pix 82x62, WarTiles.pix 42x32,\n"
    "Pieces.pix 42x32, Borders.pix 42x32 (the file name exactly, capitals included).\n"
    "\n"
    "pixsheet --version prints the version.\n"
    "\n"
    "Exit status: 0 on success; 2 on bad input or failure, with one line on stderr.\n"
    "Outputs are written to a temporary file beside the target and renamed over it\n"
    "only when complete: on any failure the target keeps what it held. import\n"
    "--append only adds bytes after the sheet's own, and takes them back on failure.\n";

const char kInfoHelp[] =
    "usage: pixsheet info SHEET [--size WxH]\n"
    "\n"
    "Prints the sheet's length, the image size (from --size or the sheet's name),\n"
    "how many whole images it holds, how many bytes are left over after the last\n"
    "whole image (the program draws the missing bytes of such a partial image as\n"
    "index 255), and which palette indices occur in the file.\n";

const char kExportHelp[] =
    "usage: pixsheet export SHEET [-o OUT.png] [--image K] [--columns N] [--size WxH]\n"
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
    "  -o OUT.png    where to write.\n"
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
    "usage: pixsheet import IMAGE.png... -o SHEET [--size WxH] [--append] [--strict]\n"
    "\n"
    "Turns PNG images into images of SHEET, in the order given. Each PNG is one\n"
    "image of the sheet's size, or a contact sheet of such images as written by\n"
    "export (its columns and rows follow from its size: C*W + (C-1) by R*H + (R-1)\n"
    "pixels), read left to right, then top to bottom. Empty places (see pixsheet\n"
    "export --help) are skipped; they may only follow the last image of a contact\n"
    "sheet. A PNG of any other size is refused.\n"
    "\n"
    "Any PNG is accepted: indexed, grey, RGB, with or without alpha, 8 or 16 bits.\n"
    "Colours become palette indices:\n"
    "  - in an indexed PNG, a pixel keeps its index when the PNG's colour for that\n"
    "    index is the program's (true for everything export writes);\n"
    "  - a fully transparent pixel becomes index 0 (which Borders.pix leaves\n"
    "    undrawn);\n"
    "  - any other pixel takes the lowest index of exactly its colour, or else the\n"
    "    nearest palette colour (least squared distance in red, green and blue,\n"
    "    the lowest index on ties).\n"
    "\n"
    "  -o SHEET      the sheet to write; its name gives the image size unless\n"
    "                --size is given.\n"
    "  --append      add the images after those already in SHEET (created when\n"
    "                missing); the bytes already there are never rewritten. SHEET\n"
    "                must hold whole images only.\n"
    "  --strict      refuse any colour that is not exactly in the palette, and any\n"
    "                partly transparent pixel, naming the first such pixel.\n"
    "\n"
    "Without --append, SHEET is replaced as a whole, and only once every input has\n"
    "been read and converted.\n";

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

struct Args {
  std::vector<std::string> positional;
  std::map<std::string, std::string> values;
  std::set<std::string> flags;
  bool help = false;
};

// Options given as "--name VALUE", "--name=VALUE" or, for -o, "-o VALUE".
Args ParseArgs(int argc, char** argv, const std::string& command,
               const std::set<std::string>& valueOptions, const std::set<std::string>& flagOptions) {
  Args args;
  bool optionsDone = false;
  for (int i = 2; i < argc; ++i) {
    std::string arg = argv[i];
    if (optionsDone || arg.size() < 2 || arg[0] != '-') {
      args.positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsDone = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      args.help = true;
      continue;
    }
    std::string value;
    bool hasValue = false;
    const size_t eq = arg.find('=');
    if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
      hasValue = true;
    }
    if (arg == "--output") arg = "-o";
    if (valueOptions.count(arg)) {
      if (!hasValue) {
        if (i + 1 >= argc) Fail("option " + arg + " needs a value (see pixsheet " + command + " --help)");
        value = argv[++i];
      }
      args.values[arg] = value;
    } else if (flagOptions.count(arg) && !hasValue) {
      args.flags.insert(arg);
    } else {
      Fail("unknown option " + arg + " for pixsheet " + command + " (see pixsheet " + command + " --help)");
    }
  }
  return args;
}

std::string Value(const Args& args, const std::string& name) {
  auto it = args.values.find(name);
  return it == args.values.end() ? std::string() : it->second;
}

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

std::string WithoutExtension(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  const size_t dot = path.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1)) return path.substr(0, dot);
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

// --- Commands -----------------------------------------------------------------------

int RunInfo(const Args& args) {
  if (args.positional.size() != 1) Fail("info needs exactly one SHEET (see pixsheet info --help)");
  const std::string& sheet = args.positional[0];
  const ImageSize size = SizeFor(sheet, Value(args, "--size"));
  const std::vector<uint8_t> bytes = ReadSheet(sheet);
  const long long length = static_cast<long long>(bytes.size());
  const long long whole = length / size.Bytes();
  const long long leftOver = length % size.Bytes();
  bool used[256] = {};
  int usedCount = 0;
  for (uint8_t b : bytes) {
    if (!used[b]) ++usedCount;
    used[b] = true;
  }
  std::printf("sheet: %s, %s\n", sheet.c_str(), Plural(length, "byte").c_str());
  std::printf("image size: %d x %d = %d bytes%s\n", size.width, size.height, size.Bytes(),
              Value(args, "--size").empty() ? " (from the sheet's name)" : "");
  std::printf("whole images: %lld\n", whole);
  std::printf("bytes left over: %lld", leftOver);
  if (leftOver) {
    std::printf(" (image %lld is partial: the program draws its last %lld bytes as index 255)", whole,
                size.Bytes() - leftOver);
  }
  std::printf("\nindices used: %d of 256: %s\n", usedCount, IndexRanges(used).c_str());
  return 0;
}

int RunExport(const Args& args) {
  if (args.positional.size() != 1) Fail("export needs exactly one SHEET (see pixsheet export --help)");
  const std::string& sheet = args.positional[0];
  const ImageSize size = SizeFor(sheet, Value(args, "--size"));
  const bool single = args.values.count("--image") != 0;
  if (single && args.values.count("--columns")) Fail("--columns is for a contact sheet, not with --image");
  const KnownSheet* known = FindKnownSheet(sheet);
  int columns = known ? known->columns : 10;
  if (args.values.count("--columns")) columns = ParseCount("--columns", Value(args, "--columns"), 1, 1000);
  const int image = single ? ParseCount("--image", Value(args, "--image"), 0, 999999999) : 0;

  const std::vector<uint8_t> bytes = ReadSheet(sheet);
  const size_t imageBytes = static_cast<size_t>(size.Bytes());
  const long long whole = static_cast<long long>(bytes.size() / imageBytes);
  const size_t leftOver = bytes.size() % imageBytes;
  const Palette palette = ProgramPalette();

  std::string out = Value(args, "-o");
  std::vector<uint8_t> picture;
  int width = 0;
  int height = 0;
  if (single) {
    const long long available = whole + (leftOver ? 1 : 0);
    if (image >= available) {
      Fail(sheet + " holds " + Plural(available, "image") + " of " + std::to_string(size.width) + " x " +
           std::to_string(size.height) + ": there is no image " + std::to_string(image));
    }
    // A partial last image comes out as the program draws it: 255 past the end.
    picture.assign(imageBytes, 255);
    const size_t start = static_cast<size_t>(image) * imageBytes;
    const size_t end = std::min(bytes.size(), start + imageBytes);
    std::copy(bytes.begin() + static_cast<ptrdiff_t>(start), bytes.begin() + static_cast<ptrdiff_t>(end),
              picture.begin());
    width = size.width;
    height = size.height;
    if (out.empty()) out = WithoutExtension(sheet) + "-" + std::to_string(image) + ".png";
  } else {
    if (whole == 0) {
      Fail(sheet + " holds no whole image of " + std::to_string(size.width) + " x " +
           std::to_string(size.height) + " (" + Plural(static_cast<long long>(bytes.size()), "byte") + ")");
    }
    const int count = static_cast<int>(std::min<long long>(whole, 1 << 24));
    columns = std::min(columns, count);
    picture = ComposeContactSheet(bytes.data(), count, size, columns, &width, &height);
    if (out.empty()) out = WithoutExtension(sheet) + ".png";
  }
  std::string error;
  if (!pxpng::WriteIndexedPng(out, width, height, picture.data(), width, palette.rgb, &error)) Fail(error);
  if (single) {
    std::printf("wrote %s: image %d of %s, %d x %d\n", out.c_str(), image, sheet.c_str(), width, height);
  } else {
    std::printf("wrote %s: %s of %s in %d columns, %d x %d pixels\n", out.c_str(),
                Plural(whole, "image").c_str(), sheet.c_str(), columns, width, height);
    if (leftOver) {
      std::printf("note: the last %zu bytes of %s make no whole image and are not in the contact sheet\n",
                  leftOver, sheet.c_str());
    }
  }
  return 0;
}

int RunImport(const Args& args) {
  if (args.positional.empty()) Fail("import needs at least one IMAGE.png (see pixsheet import --help)");
  const std::string sheet = Value(args, "-o");
  if (sheet.empty()) Fail("import needs -o SHEET (see pixsheet import --help)");
  const ImageSize size = SizeFor(sheet, Value(args, "--size"));
  const bool append = args.flags.count("--append") != 0;
  const bool strict = args.flags.count("--strict") != 0;

  ColourMapper mapper(ProgramPalette());
  std::vector<uint8_t> bytes;
  long long images = 0;
  for (const std::string& file : args.positional) {
    pxpng::Image png;
    std::string error;
    if (!pxpng::ReadPng(file, &png, &error)) Fail(error);
    Grid grid;
    if (!GridForPicture(png.width, png.height, size, &grid)) {
      Fail(file + " is " + std::to_string(png.width) + " x " + std::to_string(png.height) +
           " pixels: neither one " + std::to_string(size.width) + " x " + std::to_string(size.height) +
           " image nor a contact sheet of them (" + std::to_string(size.width) + " + " +
           std::to_string(size.width + kGap) + "n wide, " + std::to_string(size.height) + " + " +
           std::to_string(size.height + kGap) + "n high)");
    }
    const std::vector<uint8_t> indices = mapper.Map(png, file, strict);
    int firstEmpty = -1;
    for (int place = 0; place < grid.columns * grid.rows; ++place) {
      const int column = place % grid.columns;
      const int row = place / grid.columns;
      const int left = column * (size.width + kGap);
      const int top = row * (size.height + kGap);
      if (IsEmptyPlace(indices.data(), png.width, left, top, size)) {
        if (firstEmpty < 0) firstEmpty = place;
        continue;
      }
      if (firstEmpty >= 0) {
        Fail(file + ": grid place " + std::to_string(firstEmpty) + " is empty but an image follows it at row " +
             std::to_string(row) + ", column " + std::to_string(column) +
             " (empty places may only come after the last image)");
      }
      for (int y = 0; y < size.height; ++y) {
        const uint8_t* in = &indices[static_cast<size_t>(top + y) * static_cast<size_t>(png.width) +
                                     static_cast<size_t>(left)];
        bytes.insert(bytes.end(), in, in + size.width);
      }
      ++images;
    }
  }
  if (images == 0) Fail("nothing to import: every grid place of the given images is empty");

  if (append) {
    std::error_code ec;
    const long long before =
        std::filesystem::exists(sheet, ec) && !std::filesystem::is_directory(sheet, ec)
            ? static_cast<long long>(std::filesystem::file_size(sheet, ec))
            : 0;
    if (before % size.Bytes() != 0) {
      Fail(sheet + " holds " + Plural(before, "byte") + ", not a whole number of " + std::to_string(size.width) +
           " x " + std::to_string(size.height) + " images: appending would shift every new image");
    }
    AppendToFile(sheet, bytes);
    std::printf("appended %s to %s: now %s\n", Plural(images, "image").c_str(), sheet.c_str(),
                Plural(before / size.Bytes() + images, "image").c_str());
  } else {
    WriteWholeFile(sheet, bytes);
    std::printf("wrote %s: %s of %d x %d, %s\n", sheet.c_str(), Plural(images, "image").c_str(), size.width,
                size.height, Plural(static_cast<long long>(bytes.size()), "byte").c_str());
  }
  return 0;
}

int RunPalette(const Args& args) {
  if (!args.positional.empty()) Fail("palette takes no file names, only -o FILE (see pixsheet palette --help)");
  const std::string out = Value(args, "-o");
  if (out.empty()) Fail("palette needs -o FILE (see pixsheet palette --help)");
  const int scale = args.values.count("--scale") ? ParseCount("--scale", Value(args, "--scale"), 1, 64) : 1;
  WritePaletteFile(out, ProgramPalette(), scale);
  std::printf("wrote %s\n", out.c_str());
  return 0;
}

int Run(int argc, char** argv) {
  if (argc < 2) {
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
    std::set<std::string> values;
    std::set<std::string> flags;
    int (*run)(const Args&);
  };
  static const std::map<std::string, Command> commands = {
      {"info", {kInfoHelp, {"--size"}, {}, RunInfo}},
      {"export", {kExportHelp, {"-o", "--image", "--columns", "--size"}, {}, RunExport}},
      {"import", {kImportHelp, {"-o", "--size"}, {"--append", "--strict"}, RunImport}},
      {"palette", {kPaletteHelp, {"-o", "--scale"}, {}, RunPalette}},
  };
  auto it = commands.find(command);
  if (it == commands.end()) Fail("unknown command '" + command + "' (see pixsheet --help)");
  const Args args = ParseArgs(argc, argv, command, it->second.values, it->second.flags);
  if (args.help) {
    std::fputs(it->second.help, stdout);
    return 0;
  }
  return it->second.run(args);
}

}  // namespace
}  // namespace pixsheet

int main(int argc, char** argv) {
  try {
    return pixsheet::Run(argc, argv);
  } catch (const pixsheet::Failure& failure) {
    std::fflush(stdout);
    std::fprintf(stderr, "pixsheet: %s\n", failure.message.c_str());
  } catch (const std::exception& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "pixsheet: %s\n", e.what());
  }
  return 2;
}
