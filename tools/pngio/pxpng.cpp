#include "pxpng.h"

#include <png.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csetjmp>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#define PXPNG_GETPID _getpid
#else
#include <unistd.h>
#define PXPNG_GETPID getpid
#endif

namespace fs = std::filesystem;

namespace pxpng {
namespace {

// libpng reports errors by calling our handler, which must not return. The
// handler keeps the message and jumps back to the setjmp of the libpng call
// in progress. Only the small functions below hold a setjmp, and they keep
// nothing on their stack that needs destroying, so the jump skips no
// destructor.
struct PngContext {
  char message[256];
};

[[noreturn]] void OnPngError(png_structp png, png_const_charp msg) {
  auto* ctx = static_cast<PngContext*>(png_get_error_ptr(png));
  if (ctx) {
    std::snprintf(ctx->message, sizeof ctx->message, "%s", msg ? msg : "unknown libpng error");
  }
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {
  // Warnings (a bad ancillary chunk and the like) do not stop us.
}

std::string Describe(const char* what, const std::string& path, const char* why) {
  return std::string(what) + " " + path + ": " + why;
}

// --- Writing ------------------------------------------------------------------

bool WriteIndexedCore(png_structp png, png_infop info, std::FILE* f, png_uint_32 w, png_uint_32 h,
                      png_bytepp rows, const png_color* colours) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, f);
  png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_PLTE(png, info, colours, 256);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, info);
  return true;
}

bool WriteIndexedStream(std::FILE* f, int w, int h, const uint8_t* idx, int stride,
                        const uint8_t rgb[256][3], std::string* error) {
  std::vector<png_bytep> rows(static_cast<size_t>(h));
  for (int y = 0; y < h; ++y) {
    rows[static_cast<size_t>(y)] =
        const_cast<png_bytep>(idx + static_cast<ptrdiff_t>(y) * static_cast<ptrdiff_t>(stride));
  }
  png_color colours[256];
  for (int i = 0; i < 256; ++i) {
    colours[i].red = rgb[i][0];
    colours[i].green = rgb[i][1];
    colours[i].blue = rgb[i][2];
  }
  PngContext ctx{};
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, &ctx, OnPngError, OnPngWarning);
  if (!png) {
    *error = "out of memory";
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    *error = "out of memory";
    return false;
  }
  bool ok = WriteIndexedCore(png, info, f, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h),
                             rows.data(), colours);
  png_destroy_write_struct(&png, &info);
  if (!ok) *error = ctx.message;
  return ok;
}

// --- Reading ------------------------------------------------------------------

struct Header {
  png_uint_32 width;
  png_uint_32 height;
  int colourType;
  int bitDepth;
  int paletteSize;
  png_color palette[256];
  int transCount;
  png_byte trans[256];
  size_t rowBytes;
};

// Reads the chunks before the pixels and sets up the transforms: indices
// widened to one byte for a colour-mapped file, RGBA 8 for everything else.
bool ReadHeaderCore(png_structp png, png_infop info, std::FILE* f, Header* hd) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, f);
  png_set_sig_bytes(png, 8);
  png_set_user_limits(png, kMaxSide, kMaxSide);
  png_read_info(png, info);
  int interlace = 0;
  png_get_IHDR(png, info, &hd->width, &hd->height, &hd->bitDepth, &hd->colourType, &interlace,
               nullptr, nullptr);
  hd->paletteSize = 0;
  hd->transCount = 0;
  if (hd->colourType == PNG_COLOR_TYPE_PALETTE) {
    png_colorp plte = nullptr;
    int n = 0;
    if (png_get_PLTE(png, info, &plte, &n) & PNG_INFO_PLTE) {
      if (n > 256) n = 256;
      std::memcpy(hd->palette, plte, sizeof(png_color) * static_cast<size_t>(n));
      hd->paletteSize = n;
    }
    png_bytep t = nullptr;
    int tn = 0;
    if (png_get_tRNS(png, info, &t, &tn, nullptr) & PNG_INFO_tRNS) {
      if (tn > 256) tn = 256;
      if (t) std::memcpy(hd->trans, t, static_cast<size_t>(tn));
      hd->transCount = t ? tn : 0;
    }
    if (hd->bitDepth < 8) png_set_packing(png);
  } else {
    if (hd->bitDepth == 16) png_set_scale_16(png);
    if (hd->colourType == PNG_COLOR_TYPE_GRAY && hd->bitDepth < 8) {
      png_set_expand_gray_1_2_4_to_8(png);
    }
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    if (hd->colourType == PNG_COLOR_TYPE_GRAY || hd->colourType == PNG_COLOR_TYPE_GRAY_ALPHA) {
      png_set_gray_to_rgb(png);
    }
    png_set_add_alpha(png, 0xff, PNG_FILLER_AFTER);
  }
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  hd->rowBytes = png_get_rowbytes(png, info);
  return true;
}

bool ReadRowsCore(png_structp png, png_infop info, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_image(png, rows);
  png_read_end(png, nullptr);
  (void)info;
  return true;
}

bool ReadStream(std::FILE* f, const std::string& path, Image* out, std::string* error) {
  png_byte sig[8];
  if (std::fread(sig, 1, 8, f) != 8 || png_sig_cmp(sig, 0, 8) != 0) {
    *error = "not a PNG file: " + path;
    return false;
  }
  PngContext ctx{};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &ctx, OnPngError, OnPngWarning);
  if (!png) {
    *error = "out of memory";
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    *error = "out of memory";
    return false;
  }
  auto fail = [&](const char* why) {
    png_destroy_read_struct(&png, &info, nullptr);
    *error = Describe("cannot read PNG", path, why);
    return false;
  };

  auto hd = std::make_unique<Header>();
  if (!ReadHeaderCore(png, info, f, hd.get())) return fail(ctx.message);
  const long long pixels = static_cast<long long>(hd->width) * hd->height;
  if (pixels > kMaxPixels) return fail("image too large");
  const bool indexed = hd->colourType == PNG_COLOR_TYPE_PALETTE;
  const size_t wantRowBytes = static_cast<size_t>(hd->width) * (indexed ? 1 : 4);
  if (hd->rowBytes != wantRowBytes) return fail("unexpected pixel layout after conversion");

  std::vector<uint8_t> buffer(wantRowBytes * hd->height);
  std::vector<png_bytep> rows(hd->height);
  for (png_uint_32 y = 0; y < hd->height; ++y) rows[y] = buffer.data() + y * wantRowBytes;
  if (!ReadRowsCore(png, info, rows.data())) {
    std::string why = ctx.message;
    if (std::feof(f)) why = "file is truncated (" + why + ")";
    return fail(why.c_str());
  }
  png_destroy_read_struct(&png, &info, nullptr);

  Image img;
  img.width = static_cast<int>(hd->width);
  img.height = static_cast<int>(hd->height);
  img.indexed = indexed;
  if (indexed) {
    img.paletteSize = hd->paletteSize;
    for (int i = 0; i < hd->paletteSize; ++i) {
      img.palette[i][0] = hd->palette[i].red;
      img.palette[i][1] = hd->palette[i].green;
      img.palette[i][2] = hd->palette[i].blue;
      img.palette[i][3] = i < hd->transCount ? hd->trans[i] : 255;
    }
    img.rgba.resize(static_cast<size_t>(pixels) * 4);
    for (size_t p = 0; p < static_cast<size_t>(pixels); ++p) {
      const uint8_t k = buffer[p];
      uint8_t* px = &img.rgba[p * 4];
      if (k < hd->paletteSize) {
        std::memcpy(px, img.palette[k], 4);
      } else {
        px[0] = px[1] = px[2] = 0;
        px[3] = 255;
      }
    }
    img.indices = std::move(buffer);
  } else {
    img.rgba = std::move(buffer);
  }
  *out = std::move(img);
  return true;
}

std::string TempNameBeside(const fs::path& target) {
  static std::atomic<unsigned> counter{0};
  const auto stamp = static_cast<unsigned long long>(
      std::chrono::steady_clock::now().time_since_epoch().count());
  std::string name = "." + target.filename().string() + ".tmp-" +
                     std::to_string(static_cast<long>(PXPNG_GETPID())) + "-" +
                     std::to_string(counter++) + "-" + std::to_string(stamp % 100000);
  return (target.parent_path() / name).string();
}

}  // namespace

bool WriteIndexedPng(const std::string& path, int w, int h, const uint8_t* idx, int stride,
                     const uint8_t rgb[256][3], std::string* error) {
  std::string scratch;
  if (!error) error = &scratch;
  if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide || stride < w || !idx || !rgb) {
    *error = "cannot write PNG " + path + ": bad image size or buffer";
    return false;
  }
  return WriteFileReplacing(
      path,
      [&](std::FILE* f, std::string* why) { return WriteIndexedStream(f, w, h, idx, stride, rgb, why); },
      error);
}

bool ReadPng(const std::string& path, Image* out, std::string* error) {
  std::string scratch;
  if (!error) error = &scratch;
  std::error_code ec;
  if (fs::is_directory(path, ec)) {
    *error = "cannot read " + path + ": is a directory";
    return false;
  }
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    *error = Describe("cannot open", path, std::strerror(errno));
    return false;
  }
  bool ok = ReadStream(f, path, out, error);
  std::fclose(f);
  return ok;
}

bool WriteFileReplacing(const std::string& path,
                        const std::function<bool(std::FILE*, std::string*)>& fill,
                        std::string* error) {
  std::string scratch;
  if (!error) error = &scratch;
  fs::path target(path);
  std::error_code ec;
  if (fs::is_symlink(fs::symlink_status(target, ec))) {
    // Replace the file the link names, and keep the link.
    target = fs::weakly_canonical(target, ec);
    if (ec) {
      *error = "cannot write " + path + ": " + ec.message();
      return false;
    }
  }
  const fs::file_status st = fs::status(target, ec);
  const bool exists = fs::exists(st);
  if (exists && fs::is_directory(st)) {
    *error = "cannot write " + path + ": is a directory";
    return false;
  }
  if (exists && !fs::is_regular_file(st)) {
    // A device or pipe cannot be replaced by renaming a file over it.
    *error = "cannot write " + path + ": not a regular file";
    return false;
  }
  if (exists) {
    // Refuse a target the user could not write in place (read-only file),
    // rather than quietly replacing it. Opening for appending changes nothing.
    std::FILE* probe = std::fopen(target.string().c_str(), "ab");
    if (!probe) {
      *error = Describe("cannot write", path, std::strerror(errno));
      return false;
    }
    std::fclose(probe);
  }

  std::string temp;
  std::FILE* f = nullptr;
  int openErrno = 0;
  for (int attempt = 0; attempt < 8 && !f; ++attempt) {
    temp = TempNameBeside(target);
    f = std::fopen(temp.c_str(), "wbx");
    openErrno = errno;
    if (!f && openErrno != EEXIST) break;
  }
  if (!f) {
    *error = Describe("cannot write", path, std::strerror(openErrno));
    return false;
  }

  std::string why;
  bool ok = fill(f, &why);
  if (ok && std::fflush(f) != 0) {
    ok = false;
    why = std::strerror(errno);
  }
#ifndef _WIN32
  if (ok && fsync(fileno(f)) != 0 && errno != EINVAL) {
    ok = false;
    why = std::strerror(errno);
  }
#endif
  if (std::ferror(f) && ok) {
    ok = false;
    why = "write error";
  }
  if (std::fclose(f) != 0 && ok) {
    ok = false;
    why = std::strerror(errno);
  }
  if (ok && exists) fs::permissions(temp, st.permissions(), ec);  // best effort
  if (ok) {
    fs::rename(temp, target, ec);
    if (ec) {
      ok = false;
      why = ec.message();
    }
  }
  if (!ok) {
    std::error_code ignored;
    fs::remove(temp, ignored);
    *error = Describe("cannot write", path, why.empty() ? "unknown error" : why.c_str());
  }
  return ok;
}

}  // namespace pxpng
