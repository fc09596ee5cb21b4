#include "support.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace testsupport {

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "pixshow-test-XXXXXX").string();
  if (!mkdtemp(&pattern[0])) std::abort();
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

namespace {

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'') q += "'\\''";
    else q += c;
  }
  return q + "'";
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

RunResult RunTool(const std::string& cwd, const std::string& program, const std::vector<std::string>& args) {
  TempDir logs;
  std::string command = "cd " + Quote(cwd) + " && exec " + Quote(program);
  for (const std::string& a : args) command += " " + Quote(a);
  command += " >" + Quote(logs / "out") + " 2>" + Quote(logs / "err") + " </dev/null";
  const int raw = std::system(command.c_str());
  RunResult r;
  if (raw != -1 && WIFEXITED(raw)) r.status = WEXITSTATUS(raw);
  r.out = ReadText(logs / "out");
  r.err = ReadText(logs / "err");
  return r;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

std::vector<std::string> List(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

void CopyFile(const std::string& from, const std::string& to) {
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

namespace {

// libpng reports errors by longjmp; everything that needs a destructor is
// kept outside the function that calls setjmp.
struct PngRead {
  png_structp png = nullptr;
  png_infop info = nullptr;
  char message[256] = "";
};

void OnPngError(png_structp png, png_const_charp text) {
  PngRead* read = static_cast<PngRead*>(png_get_error_ptr(png));
  std::snprintf(read->message, sizeof read->message, "%s", text);
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// Returns false on a libpng error; fills the plain buffers given.
bool ReadRaw(std::FILE* file, PngRead& read, int* width, int* height, int* depth, int* type,
             png_bytepp* rows, png_colorp* palette, int* colours) {
  if (setjmp(png_jmpbuf(read.png))) return false;
  png_init_io(read.png, file);
  png_read_png(read.png, read.info, PNG_TRANSFORM_IDENTITY, nullptr);
  *width = static_cast<int>(png_get_image_width(read.png, read.info));
  *height = static_cast<int>(png_get_image_height(read.png, read.info));
  *depth = png_get_bit_depth(read.png, read.info);
  *type = png_get_color_type(read.png, read.info);
  *rows = png_get_rows(read.png, read.info);
  *colours = 0;
  *palette = nullptr;
  if (png_get_valid(read.png, read.info, PNG_INFO_PLTE)) png_get_PLTE(read.png, read.info, palette, colours);
  return true;
}

}  // namespace

bool ReadIndexedPng(const std::string& path, IndexedPng& out, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    error = "cannot open " + path;
    return false;
  }
  PngRead read;
  read.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &read, OnPngError, OnPngWarning);
  read.info = read.png ? png_create_info_struct(read.png) : nullptr;
  int width = 0, height = 0, depth = 0, type = 0, colours = 0;
  png_bytepp rows = nullptr;
  png_colorp palette = nullptr;
  bool ok = read.info && ReadRaw(file, read, &width, &height, &depth, &type, &rows, &palette, &colours);
  if (!ok) {
    error = path + ": " + (read.message[0] ? read.message : "cannot read");
  } else if (type != PNG_COLOR_TYPE_PALETTE || depth != 8) {
    error = path + ": not an 8-bit indexed PNG";
    ok = false;
  } else {
    out.width = width;
    out.height = height;
    out.indices.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) std::copy(rows[y], rows[y] + width, &out.indices[static_cast<size_t>(y) * width]);
    out.rgb.clear();
    for (int i = 0; i < colours; ++i) {
      out.rgb.push_back(palette[i].red);
      out.rgb.push_back(palette[i].green);
      out.rgb.push_back(palette[i].blue);
    }
  }
  png_destroy_read_struct(read.png ? &read.png : nullptr, read.info ? &read.info : nullptr, nullptr);
  std::fclose(file);
  return ok;
}

}  // namespace testsupport
