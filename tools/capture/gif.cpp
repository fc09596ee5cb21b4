// The recording as an animated GIF, through giflib.
//
// The first picture fills the whole frame and its palette is the global
// colour table; every later one stores only the rectangle whose colours
// changed, drawn over what is on show, with a colour table of its own when
// its palette differs (the palette trick). A picture whose colours equal
// the one on show lengthens that one's delay instead. Delays are hundredths
// of a second, rounded from the timeline's milliseconds at both ends so that
// they never drift; the animation loops for ever.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "recording.h"

#ifdef PIXSHOW_HAVE_GIFLIB
#include <gif_lib.h>
#endif

namespace capture {

#ifndef PIXSHOW_HAVE_GIFLIB

std::string GifUnavailable() { return "--gif is not available: this build has no giflib"; }

std::unique_ptr<FrameSink> OpenGif(std::FILE*, int, std::string* why) {
  *why = GifUnavailable();
  return nullptr;
}

#else

std::string GifUnavailable() { return std::string(); }

namespace {

constexpr int kLongestDelay = 65535;  // hundredths of a second in one frame

struct Rect {
  int left, top, right, bottom;  // right and bottom excluded
};

bool SameColourAt(const Frame& a, const Frame& b, int x, int y) {
  return std::memcmp(a.rgb[a.pixels[y][x]], b.rgb[b.pixels[y][x]], 3) == 0;
}

// The smallest rectangle holding every pixel whose colour differs; empty
// (right == left) when none does.
Rect Changed(const Frame& shown, const Frame& next) {
  Rect r = {kWidth, kHeight, 0, 0};
  for (int y = 0; y < kHeight; ++y) {
    int x = 0;
    while (x < kWidth && SameColourAt(shown, next, x, y)) ++x;
    if (x == kWidth) continue;
    int last = kWidth - 1;
    while (SameColourAt(shown, next, last, y)) --last;
    r = {std::min(r.left, x), std::min(r.top, y), std::max(r.right, last + 1), y + 1};
  }
  if (r.right == 0) return {0, 0, 0, 0};
  return r;
}

// Where giflib's output goes, and why the last write failed.
struct Output {
  std::FILE* file;
  int error = 0;
};

int Write(GifFileType* gif, const GifByteType* data, int length) {
  auto* out = static_cast<Output*>(gif->UserData);
  const size_t written = std::fwrite(data, 1, static_cast<size_t>(length), out->file);
  if (written < static_cast<size_t>(length)) out->error = errno ? errno : EIO;
  return static_cast<int>(written);
}

class ColourMap {
 public:
  explicit ColourMap(const Frame& frame) : map_(GifMakeMapObject(256, nullptr)) {
    for (int i = 0; map_ && i < 256; ++i)
      map_->Colors[i] = {frame.rgb[i][0], frame.rgb[i][1], frame.rgb[i][2]};
  }
  ~ColourMap() { GifFreeMapObject(map_); }
  ColourMap(const ColourMap&) = delete;
  ColourMap& operator=(const ColourMap&) = delete;
  const ColorMapObject* get() const { return map_; }

 private:
  ColorMapObject* map_;
};

class GifWriter : public FrameSink {
 public:
  GifWriter(std::FILE* file, int scale)
      : out_{file}, scale_(scale), shown_(new Frame), pending_(new Frame) {
    row_.resize(static_cast<size_t>(kWidth) * scale);
  }
  ~GifWriter() override {
    if (gif_) EGifCloseFile(gif_, nullptr);
  }
  GifWriter(const GifWriter&) = delete;
  GifWriter& operator=(const GifWriter&) = delete;

  bool Open(std::string* why) {
    int error = 0;
    gif_ = EGifOpen(&out_, Write, &error);
    if (!gif_) return Failed(error, why);
    return true;
  }

  bool Show(const Frame& frame, uint64_t startMs, uint64_t lengthMs, std::string* why) override {
    const uint64_t end = (startMs + lengthMs + 5) / 10;
    if (hasPending_ && std::memcmp(pending_->rgb, frame.rgb, sizeof frame.rgb) == 0 &&
        std::memcmp(pending_->pixels, frame.pixels, sizeof frame.pixels) == 0) {
      pendingEnd_ = end;
      return true;
    }
    if (hasPending_ && !Flush(why)) return false;
    std::memcpy(pending_.get(), &frame, sizeof frame);
    hasPending_ = true;
    pendingEnd_ = end;
    return true;
  }

  bool Close(std::string* why) override {
    if (hasPending_ && !Flush(why)) return false;
    int error = 0;
    GifFileType* gif = gif_;
    gif_ = nullptr;
    if (EGifCloseFile(gif, &error) == GIF_ERROR) return Failed(error, why);
    return true;
  }

 private:
  // Writes the pending picture, for as long as it is on show.
  bool Flush(std::string* why) {
    hasPending_ = false;
    int delay = static_cast<int>(pendingEnd_ - shownEnd_);
    if (delay <= 0) return true;  // shorter than a hundredth: never on show
    shownEnd_ = pendingEnd_;
    if (!started_) {
      started_ = true;
      EGifSetGifVersion(gif_, true);
      global_.reset(new ColourMap(*pending_));
      if (!global_->get()) return Failed(E_GIF_ERR_NOT_ENOUGH_MEM, why);
      static const unsigned char kLoopForEver[3] = {1, 0, 0};
      if (EGifPutScreenDesc(gif_, kWidth * scale_, kHeight * scale_, 8, 0, global_->get()) ==
              GIF_ERROR ||
          EGifPutExtensionLeader(gif_, APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
          EGifPutExtensionBlock(gif_, 11, "NETSCAPE2.0") == GIF_ERROR ||
          EGifPutExtensionBlock(gif_, 3, kLoopForEver) == GIF_ERROR ||
          EGifPutExtensionTrailer(gif_) == GIF_ERROR) {
        return Failed(gif_->Error, why);
      }
      std::memcpy(shown_.get(), pending_.get(), sizeof(Frame));
      if (!Put({0, 0, kWidth, kHeight}, std::min(delay, kLongestDelay), why)) return false;
    } else {
      Rect r = Changed(*shown_, *pending_);
      if (r.right == r.left) r = {0, 0, 1, 1};  // nothing changes: one pixel restated
      std::memcpy(shown_.get(), pending_.get(), sizeof(Frame));
      if (!Put(r, std::min(delay, kLongestDelay), why)) return false;
    }
    // A delay longer than one frame can hold goes on in frames that change nothing.
    for (delay -= kLongestDelay; delay > 0; delay -= kLongestDelay) {
      if (!Put({0, 0, 1, 1}, std::min(delay, kLongestDelay), why)) return false;
    }
    return true;
  }

  // One frame: the rectangle `r` of the picture on show, enlarged.
  bool Put(const Rect& r, int delay, std::string* why) {
    GraphicsControlBlock control = {DISPOSE_DO_NOT, false, delay, NO_TRANSPARENT_COLOR};
    GifByteType extension[4];
    EGifGCBToExtension(&control, extension);
    const bool ownColours = std::memcmp(shown_->rgb, global_->get()->Colors, sizeof shown_->rgb);
    ColourMap local(*shown_);
    if (ownColours && !local.get()) return Failed(E_GIF_ERR_NOT_ENOUGH_MEM, why);
    const int width = (r.right - r.left) * scale_;
    if (EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, 4, extension) == GIF_ERROR ||
        EGifPutImageDesc(gif_, r.left * scale_, r.top * scale_, width, (r.bottom - r.top) * scale_,
                         false, ownColours ? local.get() : nullptr) == GIF_ERROR) {
      return Failed(gif_->Error, why);
    }
    // giflib keeps its copy of a frame's colour table until the next frame
    // that has one; no longer needed once the frame's coding has begun.
    GifFreeMapObject(gif_->Image.ColorMap);
    gif_->Image.ColorMap = nullptr;
    for (int y = r.top; y < r.bottom; ++y) {
      for (int x = r.left; x < r.right; ++x) {
        std::fill_n(&row_[static_cast<size_t>(x - r.left) * scale_], scale_, shown_->pixels[y][x]);
      }
      for (int copy = 0; copy < scale_; ++copy) {
        if (EGifPutLine(gif_, row_.data(), width) == GIF_ERROR) return Failed(gif_->Error, why);
      }
    }
    return true;
  }

  bool Failed(int error, std::string* why) {
    *why = out_.error ? std::strerror(out_.error) : GifErrorString(error);
    return false;
  }

  Output out_;
  int scale_;
  GifFileType* gif_ = nullptr;
  std::unique_ptr<ColourMap> global_;
  std::unique_ptr<Frame> shown_;    // what the frames so far show
  std::unique_ptr<Frame> pending_;  // the next picture, until its end is known
  bool hasPending_ = false;
  bool started_ = false;
  uint64_t pendingEnd_ = 0;  // hundredths of a second
  uint64_t shownEnd_ = 0;
  std::vector<GifPixelType> row_;
};

}  // namespace

std::unique_ptr<FrameSink> OpenGif(std::FILE* file, int scale, std::string* why) {
  std::unique_ptr<GifWriter> writer(new GifWriter(file, scale));
  if (!writer->Open(why)) return nullptr;
  return writer;
}

#endif

}  // namespace capture
