#include "pngio.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <memory>

#include "toolkit.h"

namespace pngio {
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

// --- Writing ------------------------------------------------------------------

// libpng's own writer says only "Write Error": these name the cause ("No
// space left on device", "File too large").
void WriteData(png_structp png, png_bytep data, size_t length) {
  auto* f = static_cast<std::FILE*>(png_get_io_ptr(png));
  if (std::fwrite(data, 1, length, f) != length) png_error(png, std::strerror(errno));
}

void FlushData(png_structp png) {
  if (std::fflush(static_cast<std::FILE*>(png_get_io_ptr(png))) != 0) {
    png_error(png, std::strerror(errno));
  }
}

bool WriteIndexedCore(png_structp png, png_infop info, std::FILE* f, png_uint_32 w, png_uint_32 h,
                      png_bytepp rows, const png_color* colours) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_write_fn(png, f, WriteData, FlushData);
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
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &ctx, OnPngError, OnPngWarning);
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

// Deflate turns at most 258 bytes into 2 bits: pixel data cannot be more than
// this many times longer than the compressed data that holds it.
constexpr long long kMaxDeflateRatio = 1032;

uint32_t BigEndian(const png_byte* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

std::string ChunkName(const png_byte* type) {
  std::string name;
  for (int i = 0; i < 4; ++i) {
    const bool letter = (type[i] >= 'A' && type[i] <= 'Z') || (type[i] >= 'a' && type[i] <= 'z');
    name += letter ? static_cast<char>(type[i]) : '?';
  }
  return name;
}

bool IsLetter(png_byte c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// An ancillary chunk (lower-case first letter) other than the transparency
// of the colour table: nothing here uses it.
bool IsUnused(const png_byte* type) {
  return (type[0] & 0x20) != 0 && std::memcmp(type, "tRNS", 4) != 0;
}

// Whether the checksum of the chunk at `at` (its type and data) is right.
bool CrcMatches(std::FILE* f, long long at, uint32_t length) {
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
  (void)f, (void)at, (void)length;
  return true;  // mutated files rarely keep a right checksum
#else
  if (std::fseek(f, static_cast<long>(at + 4), SEEK_SET) != 0) return false;
  uLong crc = crc32(0L, Z_NULL, 0);
  png_byte buffer[4096];
  for (long long left = 4 + static_cast<long long>(length); left > 0;) {
    const size_t n = static_cast<size_t>(std::min<long long>(left, sizeof buffer));
    if (std::fread(buffer, 1, n, f) != n) return false;
    crc = crc32(crc, buffer, static_cast<uInt>(n));
    left -= static_cast<long long>(n);
  }
  png_byte stored[4];
  return std::fread(stored, 1, 4, f) == 4 && BigEndian(stored) == crc;
#endif
}

// Walks the chunks from just after the signature to IEND by their lengths,
// so that no chunk reaches libpng claiming more bytes than the file holds,
// and stops at the first chunk that cannot be one (a type that is not four
// letters, a critical chunk with a wrong checksum) rather than walking on
// through whatever follows. Gives the length of all pixel data (IDAT).
bool ScanChunks(std::FILE* f, long long fileSize, long long* idatBytes, std::string* why) {
  *idatBytes = 0;
  long long at = 8;
  for (;;) {
    png_byte head[8];
    if (std::fseek(f, static_cast<long>(at), SEEK_SET) != 0 || std::fread(head, 1, 8, f) != 8) {
      return true;  // ends without IEND: libpng says what is missing
    }
    const uint32_t length = BigEndian(head);
    const png_byte* type = head + 4;
    if (!IsLetter(type[0]) || !IsLetter(type[1]) || !IsLetter(type[2]) || !IsLetter(type[3])) {
      *why = "invalid chunk type at byte " + std::to_string(at + 4) + " (damaged)";
      return false;
    }
    const long long left = fileSize - at - 8;
    if (length > 0x7fffffffu || static_cast<long long>(length) + 4 > left) {
      *why = "chunk " + ChunkName(type) + " claims " + std::to_string(length) +
             " bytes, more than the file holds (truncated or damaged)";
      return false;
    }
    const bool idat = std::memcmp(type, "IDAT", 4) == 0;
    if (!idat && !IsUnused(type) && length > kMaxChunkBytes) {
      *why = "chunk " + ChunkName(type) + " of " + std::to_string(length) + " bytes is too large";
      return false;
    }
    if (!idat && !IsUnused(type) && !CrcMatches(f, at, length)) {
      *why = "chunk " + ChunkName(type) + " has a wrong checksum (damaged)";
      return false;
    }
    if (idat) *idatBytes += length;
    if (std::memcmp(type, "IEND", 4) == 0) return true;
    at += 12 + static_cast<long long>(length);
  }
}

// What libpng reads: the file with the unused ancillary chunks left out, so
// that a chunk of any size costs neither memory nor a refusal. The chunks
// were checked by ScanChunks; `at` is the next byte of the file to give,
// `chunkLeft` what remains of the chunk being passed on.
struct ChunkFilter {
  std::FILE* f;
  long long chunkLeft;
};

void ReadFiltered(png_structp png, png_bytep data, size_t length) {
  auto* in = static_cast<ChunkFilter*>(png_get_io_ptr(png));
  while (length > 0) {
    if (in->chunkLeft == 0) {
      // At a chunk boundary: skip unused chunks, then pass the next one on.
      png_byte head[8];
      if (std::fread(head, 1, 8, in->f) != 8) png_error(png, "file is truncated");
      const uint32_t chunkLength = BigEndian(head);
      if (IsUnused(head + 4)) {
        if (std::fseek(in->f, static_cast<long>(chunkLength) + 4, SEEK_CUR) != 0)
          png_error(png, "cannot seek");
        continue;
      }
      in->chunkLeft = 12 + static_cast<long long>(chunkLength);
      if (std::fseek(in->f, -8, SEEK_CUR) != 0) png_error(png, "cannot seek");
    }
    const size_t n = static_cast<size_t>(std::min<long long>(in->chunkLeft, length));
    if (std::fread(data, 1, n, in->f) != n) png_error(png, "file is truncated");
    in->chunkLeft -= static_cast<long long>(n);
    data += n;
    length -= n;
  }
}

struct Header {
  png_uint_32 width;
  png_uint_32 height;
  int colourType;
  int bitDepth;
  int channels;
  bool interlaced;
  int paletteSize;
  png_color palette[256];
  int transCount;
  png_byte trans[256];
  size_t rowBytes;
};

// Reads the chunks before the pixels and sets up the transforms: indices
// widened to one byte for a colour-mapped file, RGBA 8 for everything else.
bool ReadHeaderCore(png_structp png, png_infop info, ChunkFilter* in, Header* hd) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_read_fn(png, in, ReadFiltered);
  png_set_sig_bytes(png, 8);
  png_set_user_limits(png, kMaxSide, kMaxSide);
  png_set_chunk_malloc_max(png, kMaxChunkBytes);
  png_set_chunk_cache_max(png, 64);
  // Only the pixels, the colour table and its transparency are used: every
  // other chunk is passed over unread (IHDR, PLTE, tRNS, IDAT and IEND are
  // always handled).
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
  // Mutated files rarely keep a right checksum: let the fuzzer past it.
  png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
#endif
  png_read_info(png, info);
  int interlace = 0;
  png_get_IHDR(png, info, &hd->width, &hd->height, &hd->bitDepth, &hd->colourType, &interlace,
               nullptr, nullptr);
  hd->interlaced = interlace != PNG_INTERLACE_NONE;
  hd->channels = png_get_channels(png, info);
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

bool ReadRowCore(png_structp png, png_bytep row) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_row(png, row, nullptr);
  return true;
}

bool ReadImageCore(png_structp png, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_image(png, rows);
  return true;
}

bool ReadEndCore(png_structp png) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_end(png, nullptr);
  return true;
}

// Frees libpng's reader however the reading ends, a callback's exception
// included.
struct ReadStruct {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~ReadStruct() {
    if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
  }
};

bool ReadRowsFromStream(std::FILE* f, const std::string& name, const HeaderCheck& start,
                        const RowSink& sink, std::string* error) {
  auto refuse = [&](const std::string& why) {
    *error = "cannot read PNG " + toolkit::Quoted(name) + ": " + why;
    return false;
  };
  png_byte sig[8];
  if (std::fread(sig, 1, 8, f) != 8 || png_sig_cmp(sig, 0, 8) != 0) return refuse("not a PNG file");
  long long fileSize = -1;
  if (std::fseek(f, 0, SEEK_END) == 0) fileSize = std::ftell(f);
  if (fileSize < 8) return refuse("cannot tell its length");
  long long idatBytes = 0;
  std::string why;
  if (!ScanChunks(f, fileSize, &idatBytes, &why)) return refuse(why);
  if (std::fseek(f, 8, SEEK_SET) != 0) return refuse("cannot seek");

  PngContext ctx{};
  ReadStruct rs;
  rs.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &ctx, OnPngError, OnPngWarning);
  if (!rs.png) return refuse("out of memory");
  rs.info = png_create_info_struct(rs.png);
  if (!rs.info) return refuse("out of memory");
  png_structp png = rs.png;

  auto hd = std::make_unique<Header>();
  ChunkFilter in = {f, 0};
  if (!ReadHeaderCore(png, rs.info, &in, hd.get())) return refuse(ctx.message);
  const bool indexed = hd->colourType == PNG_COLOR_TYPE_PALETTE;
  Image header;
  header.width = static_cast<int>(hd->width);
  header.height = static_cast<int>(hd->height);
  header.indexed = indexed;
  if (indexed) {
    header.paletteSize = hd->paletteSize;
    for (int i = 0; i < hd->paletteSize; ++i) {
      header.palette[i][0] = hd->palette[i].red;
      header.palette[i][1] = hd->palette[i].green;
      header.palette[i][2] = hd->palette[i].blue;
      header.palette[i][3] = i < hd->transCount ? hd->trans[i] : 255;
    }
  }
  if (start) {
    // A size the caller cannot use is refused before any pixel is decoded.
    const std::string refusal = start(header);
    if (!refusal.empty()) {
      *error = refusal;
      return false;
    }
  }
  const long long pixels = static_cast<long long>(hd->width) * hd->height;
  if (pixels > kMaxPixels) return refuse("image too large");
  const long long storedBytes = pixels * hd->channels * hd->bitDepth / 8;
  if (storedBytes > idatBytes * kMaxDeflateRatio + 1024) {
    return refuse("its pixel data is far too short for " + std::to_string(hd->width) + " x " +
                  std::to_string(hd->height) + " pixels (truncated or damaged)");
  }
  const size_t rowBytes = static_cast<size_t>(hd->width) * (indexed ? 1 : 4);
  if (hd->rowBytes != rowBytes) return refuse("unexpected pixel layout after conversion");

  auto failed = [&]() {
    std::string reason = ctx.message;
    if (std::feof(f)) reason = "file is truncated (" + reason + ")";
    return refuse(reason);
  };
  // An indexed row is given with its colours too (an index beyond the
  // colour table reads as opaque black).
  std::vector<uint8_t> colours(indexed ? static_cast<size_t>(hd->width) * 4 : 0);
  auto give = [&](png_uint_32 y, const uint8_t* row) {
    if (!indexed) return sink(static_cast<int>(y), row, nullptr);
    for (size_t x = 0; x < hd->width; ++x) {
      uint8_t* px = &colours[x * 4];
      if (row[x] < hd->paletteSize) {
        std::memcpy(px, header.palette[row[x]], 4);
      } else {
        px[0] = px[1] = px[2] = 0;
        px[3] = 255;
      }
    }
    sink(static_cast<int>(y), colours.data(), row);
  };
  if (hd->interlaced) {
    // Every pass revisits the whole image, which must be held at once.
    std::vector<uint8_t> buffer(rowBytes * hd->height);
    std::vector<png_bytep> rows(hd->height);
    for (png_uint_32 y = 0; y < hd->height; ++y) rows[y] = buffer.data() + y * rowBytes;
    if (!ReadImageCore(png, rows.data())) return failed();
    for (png_uint_32 y = 0; y < hd->height; ++y) give(y, rows[y]);
  } else {
    // Row by row: nothing but the row being decoded is held here.
    std::vector<uint8_t> row(rowBytes);
    for (png_uint_32 y = 0; y < hd->height; ++y) {
      if (!ReadRowCore(png, row.data())) return failed();
      give(y, row.data());
    }
  }
  if (!ReadEndCore(png)) return failed();
  return true;
}

bool ReadStream(std::FILE* f, const std::string& name, Image* out, std::string* error,
                const SizeCheck& check) {
  Image img;
  const bool ok = ReadRowsFromStream(
      f, name,
      [&](const Image& header) {
        const std::string refusal = check ? check(header.width, header.height) : std::string();
        img = header;
        return refusal;
      },
      [&](int, const uint8_t* rgba, const uint8_t* indices) {
        // Memory grows only with rows actually in the file.
        const size_t w = static_cast<size_t>(img.width);
        img.rgba.insert(img.rgba.end(), rgba, rgba + w * 4);
        if (indices) img.indices.insert(img.indices.end(), indices, indices + w);
      },
      error);
  if (ok) *out = std::move(img);
  return ok;
}

}  // namespace

bool WriteIndexedPngTo(std::FILE* f, int w, int h, const uint8_t* idx, int stride,
                       const uint8_t rgb[256][3], std::string* error) {
  std::string scratch;
  if (!error) error = &scratch;
  if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide || stride < w || !idx || !rgb) {
    *error = "bad image size or buffer";
    return false;
  }
  return WriteIndexedStream(f, w, h, idx, stride, rgb, error);
}

bool WriteIndexedPng(const std::string& path, int w, int h, const uint8_t* idx, int stride,
                     const uint8_t rgb[256][3], std::string* error) {
  return toolkit::WriteFileReplacing(
      path,
      [&](std::FILE* f, std::string* why) {
        return WriteIndexedPngTo(f, w, h, idx, stride, rgb, why);
      },
      error);
}

bool ReadPngFrom(std::FILE* f, const std::string& name, Image* out, std::string* error,
                 const SizeCheck& check) {
  std::string scratch;
  return ReadStream(f, name, out, error ? error : &scratch, check);
}

bool ReadPngRowsFrom(std::FILE* f, const std::string& name, const HeaderCheck& start,
                     const RowSink& sink, std::string* error) {
  std::string scratch;
  return ReadRowsFromStream(f, name, start, sink, error ? error : &scratch);
}

namespace {

// Runs `read` on the regular file `path`, open for reading.
bool WithFile(const std::string& path, std::string* error,
              const std::function<bool(std::FILE*, std::string*)>& read) {
  std::string scratch;
  if (!error) error = &scratch;
  std::string why;
  std::FILE* f = toolkit::OpenRegularFile(path, &why);
  if (!f) {
    *error = "cannot open " + toolkit::Quoted(path) + ": " + why;
    return false;
  }
  struct Closer {
    std::FILE* f;
    ~Closer() { std::fclose(f); }
  } closer{f};
  return read(f, error);
}

}  // namespace

bool ReadPngRows(const std::string& path, const HeaderCheck& start, const RowSink& sink,
                 std::string* error) {
  return WithFile(path, error, [&](std::FILE* f, std::string* why) {
    return ReadRowsFromStream(f, path, start, sink, why);
  });
}

bool ReadPng(const std::string& path, Image* out, std::string* error, const SizeCheck& check) {
  return WithFile(path, error, [&](std::FILE* f, std::string* why) {
    return ReadStream(f, path, out, why, check);
  });
}

}  // namespace pngio
