#include "tests/support/tools.h"

#include <png.h>
#include <sys/wait.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace pxtest {

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "pixshow-test-XXXXXX").string();
  if (!mkdtemp(&pattern[0])) std::abort();
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Give back any permission a test took away, so that everything can go.
  for (auto it = fs::recursive_directory_iterator(path_, ec); it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(path_, ec);
}

namespace {

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string ReadText(const std::string& path) {
  std::vector<uint8_t> bytes = ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
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

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out.good()) std::fprintf(stderr, "cannot write %s\n", path.c_str());
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

bool ReadRaw(std::FILE* file, PngRead& read) {
  if (setjmp(png_jmpbuf(read.png))) return false;
  png_init_io(read.png, file);
  png_read_png(read.png, read.info, PNG_TRANSFORM_IDENTITY, nullptr);
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
  bool ok = read.info && ReadRaw(file, read);
  if (!ok) {
    error = path + ": " + (read.message[0] ? read.message : "cannot read");
  } else if (png_get_color_type(read.png, read.info) != PNG_COLOR_TYPE_PALETTE ||
             png_get_bit_depth(read.png, read.info) != 8) {
    error = path + ": not an 8-bit indexed PNG";
    ok = false;
  } else {
    out.width = static_cast<int>(png_get_image_width(read.png, read.info));
    out.height = static_cast<int>(png_get_image_height(read.png, read.info));
    png_bytepp rows = png_get_rows(read.png, read.info);
    out.indices.clear();
    for (int y = 0; y < out.height; ++y) out.indices.insert(out.indices.end(), rows[y], rows[y] + out.width);
    png_colorp palette = nullptr;
    int colours = 0;
    png_get_PLTE(read.png, read.info, &palette, &colours);
    out.rgb.clear();
    for (int i = 0; i < colours; ++i) out.rgb.insert(out.rgb.end(), {palette[i].red, palette[i].green, palette[i].blue});
  }
  png_destroy_read_struct(read.png ? &read.png : nullptr, read.info ? &read.info : nullptr, nullptr);
  std::fclose(file);
  return ok;
}

}  // namespace pxtest
