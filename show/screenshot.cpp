// Screenshots (F12 or Print Screen in a wait): the visible surface written as
// an 8-bit indexed 640 x 480 PNG with the palette in force, never over an
// existing file. The PNG is compressed by libpng where the build has it, as
// the tools' pictures are (the native and the Windows builds); the web build,
// which has no compression library, writes it here in stored deflate blocks
// (the page then has it compressed with libpng, tools/recorder).
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#ifdef PIXSHOW_SCREENSHOT_LIBPNG
#include <csetjmp>

#include <png.h>
#endif

#include "shell/shell.h"
#include "devices/devices.h"
#include "show/show.h"

namespace {

const int ShotWidth = 640;
const int ShotHeight = 480;
const size_t StoredBlockLimit = 65535;  // the most one stored deflate block holds
const int MostShotsInASecond = 99;

unsigned long g_crcTable[256];

void FillCrcTable() {
  for (unsigned long n = 0; n < 256; n++) {
    unsigned long c = n;
    for (int k = 0; k < 8; k++) c = (c & 1) ? 0xedb88320UL ^ (c >> 1) : c >> 1;
    g_crcTable[n] = c;
  }
}

void AppendBigEndian(std::vector<unsigned char>& out, unsigned long value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back((value >> shift) & 0xff);
}

// One chunk: length, type, data, and the CRC of type and data.
void AppendChunk(std::vector<unsigned char>& out, const char* type,
                 const std::vector<unsigned char>& data) {
  AppendBigEndian(out, static_cast<unsigned long>(data.size()));
  const size_t crcFrom = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  unsigned long crc = 0xffffffffUL;
  for (size_t i = crcFrom; i < out.size(); i++)
    crc = g_crcTable[(crc ^ out[i]) & 0xff] ^ (crc >> 8);
  AppendBigEndian(out, crc ^ 0xffffffffUL);
}

// The zlib stream of the image data: every row after a filter byte 0, in
// stored (uncompressed) deflate blocks, then the Adler-32 of it all.
std::vector<unsigned char> ZlibStored(const std::vector<unsigned char>& raw) {
  std::vector<unsigned char> out;
  out.push_back(0x78);
  out.push_back(0x01);
  for (size_t at = 0; at < raw.size(); at += StoredBlockLimit) {
    const size_t length = raw.size() - at < StoredBlockLimit ? raw.size() - at : StoredBlockLimit;
    out.push_back(at + length == raw.size() ? 1 : 0);  // the last block says so
    out.push_back(length & 0xff);
    out.push_back(length >> 8);
    out.push_back(~length & 0xff);
    out.push_back((~length >> 8) & 0xff);
    out.insert(out.end(), raw.begin() + at, raw.begin() + at + length);
  }
  unsigned long a = 1, b = 0;
  for (unsigned char byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  AppendBigEndian(out, (b << 16) | a);
  return out;
}

// The folder screenshots go to: --screenshot-dir, else the user's pictures.
std::string ScreenshotFolder() {
  if (g_screenshotFolder[0] != '\0') return g_screenshotFolder;
  const char* pictures = std::getenv("XDG_PICTURES_DIR");
  if (pictures != NULL && pictures[0] != '\0') return std::string(pictures) + "/pixshow";
#ifdef _WIN32
  const char* home = std::getenv("USERPROFILE");
  return std::string(home != NULL ? home : ".") + "\\Pictures\\pixshow";
#else
  const char* home = std::getenv("HOME");
  return std::string(home != NULL ? home : ".") + "/Pictures/pixshow";
#endif
}

}  // namespace

std::string FileErrorText(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return std::strerror(ENOENT);
    case ERROR_ACCESS_DENIED:
      return std::strerror(EACCES);
    case ERROR_DISK_FULL:
      return std::strerror(ENOSPC);
    default:
      return "error " + std::to_string(error);
  }
}

namespace {

// On standard error, and in a note on screen: the user at a full screen
// sees no terminal.
int ReportShotFailure(const std::string& what, const std::string& why) {
  std::fprintf(stderr, "pixshow: cannot save the screenshot %s: %s\n", what.c_str(), why.c_str());
  ShowNote("No screenshot: " + why);
  return 0;
}

#ifdef PIXSHOW_SCREENSHOT_LIBPNG
// libpng reports an error by calling OnPngError, which jumps back to the
// setjmp in WriteCompressedPng; nothing on that function's stack needs
// destroying. The PNG grows in a buffer reserved beforehand, never beyond.
void OnPngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

void OnPngWarning(png_structp, png_const_charp) {}

void AppendPngData(png_structp png, png_bytep data, size_t length) {
  std::vector<unsigned char>* out = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(png));
  if (out->capacity() - out->size() < length) png_error(png, "longer than expected");
  out->insert(out->end(), data, data + length);
}

void FlushPngData(png_structp) {}

int WriteCompressedPng(png_structp png, png_infop info, int width, int height, png_bytepp rows,
                       const png_color* colours, std::vector<unsigned char>* out) {
  if (setjmp(png_jmpbuf(png))) return 0;
  png_set_write_fn(png, out, AppendPngData, FlushPngData);
  png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_PLTE(png, info, colours, 256);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, info);
  return 1;
}

// The PNG through libpng with its default compression, as the tools write
// theirs; 0 when libpng fails (then the stored blocks serve).
int EncodeCompressedPng(const unsigned char* pixels, int width, int height, int pitch,
                        const PALETTEENTRY palette[256], std::vector<unsigned char>& out) {
  std::vector<png_bytep> rows(height);
  for (int y = 0; y < height; y++) rows[y] = const_cast<png_bytep>(pixels + y * pitch);
  png_color colours[256];
  for (int i = 0; i < 256; i++) {
    colours[i].red = palette[i].peRed;
    colours[i].green = palette[i].peGreen;
    colours[i].blue = palette[i].peBlue;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, NULL, OnPngError, OnPngWarning);
  png_infop info = png != NULL ? png_create_info_struct(png) : NULL;
  // Room for the pixels stored as they are, with every header: compressed
  // data is never longer.
  out.clear();
  out.reserve(static_cast<size_t>(width + 1) * height * 2 + 4096);
  const int written =
      info != NULL && WriteCompressedPng(png, info, width, height, &rows[0], colours, &out);
  png_destroy_write_struct(&png, &info);
  return written;
}
#endif

}  // namespace

int EncodeIndexedPng(const unsigned char* pixels, int width, int height, int pitch,
                     const PALETTEENTRY palette[256], std::vector<unsigned char>& png) {
#ifdef PIXSHOW_SCREENSHOT_LIBPNG
  if (EncodeCompressedPng(pixels, width, height, pitch, palette, png)) return 1;
#endif
  if (g_crcTable[1] == 0) FillCrcTable();
  static const unsigned char Signature[8] = {137, 'P', 'N', 'G', 13, 10, 26, 10};
  png.assign(Signature, Signature + 8);
  std::vector<unsigned char> header;
  AppendBigEndian(header, width);
  AppendBigEndian(header, height);
  const unsigned char depthAndKind[5] = {8, 3, 0, 0, 0};  // 8 bits, indexed, no interlace
  header.insert(header.end(), depthAndKind, depthAndKind + 5);
  AppendChunk(png, "IHDR", header);
  std::vector<unsigned char> colours;
  for (int i = 0; i < 256; i++) {
    colours.push_back(palette[i].peRed);
    colours.push_back(palette[i].peGreen);
    colours.push_back(palette[i].peBlue);
  }
  AppendChunk(png, "PLTE", colours);
  std::vector<unsigned char> raw;
  raw.reserve(static_cast<size_t>(width + 1) * height);
  for (int y = 0; y < height; y++) {
    raw.push_back(0);
    raw.insert(raw.end(), pixels + y * pitch, pixels + y * pitch + width);
  }
  AppendChunk(png, "IDAT", ZlibStored(raw));
  AppendChunk(png, "IEND", std::vector<unsigned char>());
  return 1;
}

int SaveScreenshot() {
  std::vector<unsigned char> pixels(ShotWidth * ShotHeight);
  if (FAILED(g_primarySurface->Lock(NULL, &g_surfaceDesc, DDLOCK_WAIT, NULL))) {
    return ReportShotFailure("now", "the display is not the program's");
  }
  const unsigned char* surface = static_cast<const unsigned char*>(g_surfaceDesc.lpSurface);
  for (int y = 0; y < ShotHeight; y++) {
    std::memcpy(&pixels[y * ShotWidth], surface + y * g_surfaceDesc.lPitch, ShotWidth);
  }
  g_primarySurface->Unlock(NULL);
  CoverOverlays(&pixels[0], ShotWidth);
  std::vector<unsigned char> png;
  EncodeIndexedPng(&pixels[0], ShotWidth, ShotHeight, ShotWidth, g_paletteEntries, png);

  std::string path, name, what, why;
  HANDLE file = CreateShotFile(".png", &path, &name, &what, &why);
  if (file == INVALID_HANDLE_VALUE) return ReportShotFailure(what, why);
  DWORD written = 0;
  const BOOL wrote = WriteFile(file, &png[0], static_cast<DWORD>(png.size()), &written, NULL);
  const DWORD writeError = wrote ? static_cast<DWORD>(ERROR_WRITE_FAULT) : GetLastError();
  if (!CloseHandle(file) || !wrote || written != png.size()) {
    std::remove(path.c_str());
    return ReportShotFailure("\"" + path + "\"", FileErrorText(writeError));
  }
  std::fprintf(stderr, "pixshow: screenshot saved as %s\n", path.c_str());
  ShowNote("Screenshot saved: " + name);
  return 1;
}

HANDLE CreateShotFile(const char* extension, std::string* path, std::string* name,
                      std::string* what, std::string* why) {
  const std::string folder = ScreenshotFolder();
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    *what = "in \"" + folder + "\"";
    *why = error.message();
    return INVALID_HANDLE_VALUE;
  }

  char stamp[32];
  const std::time_t now = std::time(NULL);
  const std::tm* local = std::localtime(&now);
  if (local == NULL || std::strftime(stamp, sizeof(stamp), "%Y%m%d-%H%M%S", local) == 0) {
    std::strcpy(stamp, "00000000-000000");
  }
  // A name not taken yet: a suffix for a second one of the same second. The
  // file is made new or not at all: a name that exists, a symbolic link too
  // (even one pointing nowhere), is never written through; the next is taken.
  const std::string slash = folder.find('\\') != std::string::npos ? "\\" : "/";
  const std::string base =
      folder + slash + "pixshow-" + std::to_string(g_screenNumber) + "-" + stamp;
  *path = base + extension;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int shot = 2;; shot++) {
    file =
        CreateFileA(path->c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    const DWORD taken = file == INVALID_HANDLE_VALUE ? GetLastError() : NO_ERROR;
    if (taken != ERROR_FILE_EXISTS && taken != ERROR_ALREADY_EXISTS) break;
    if (shot > MostShotsInASecond) {
      *what = base + "*";
      *why = "too many this second";
      return INVALID_HANDLE_VALUE;
    }
    *path = base + "-" + std::to_string(shot) + extension;
  }
  if (file == INVALID_HANDLE_VALUE) {
    *what = "\"" + *path + "\"";
    *why = FileErrorText(GetLastError());
    return INVALID_HANDLE_VALUE;
  }
  *name = path->substr(folder.size() + slash.size());
  return file;
}
