// The recording as an animated GIF: the program's own GIF writer
// (show/gif.cpp, giflib), fed the timeline's pictures and writing to the
// output file.
#include <cerrno>
#include <cstring>

#include "recording.h"

namespace capture {

std::string GifUnavailable() {
  const std::string why = ::GifUnavailable();
  return why.empty() ? why : "--gif is not available: " + why;
}

namespace {

class GifWriter : public FrameSink {
 public:
  explicit GifWriter(std::FILE* file) : file_(file) {}
  ~GifWriter() override { DiscardGif(gif_); }
  GifWriter(const GifWriter&) = delete;
  GifWriter& operator=(const GifWriter&) = delete;

  bool Open(int scale, std::string* why) {
    gif_ = StartGif(Write, this, scale, why);
    return gif_ != nullptr || Failed(why);
  }

  bool Show(const Frame& frame, uint64_t startMs, uint64_t lengthMs, std::string* why) override {
    return AddGifPicture(gif_, frame, startMs, lengthMs, why) || Failed(why);
  }

  bool Close(std::string* why) override {
    GifRecording* gif = gif_;
    gif_ = nullptr;
    return FinishGif(gif, why) || Failed(why);
  }

 private:
  static int Write(void* context, const unsigned char* bytes, int length) {
    auto* writer = static_cast<GifWriter*>(context);
    const size_t written = std::fwrite(bytes, 1, static_cast<size_t>(length), writer->file_);
    if (written < static_cast<size_t>(length) && !writer->error_)
      writer->error_ = errno ? errno : EIO;
    return written == static_cast<size_t>(length);
  }

  // The file's own error says more than giflib's "failed to write".
  bool Failed(std::string* why) const {
    if (error_) *why = std::strerror(error_);
    return false;
  }

  std::FILE* file_;
  int error_ = 0;
  GifRecording* gif_ = nullptr;
};

}  // namespace

std::unique_ptr<FrameSink> OpenGif(std::FILE* file, int scale, std::string* why) {
  if (!GifUnavailable().empty()) {
    *why = GifUnavailable();
    return nullptr;
  }
  std::unique_ptr<GifWriter> writer(new GifWriter(file));
  if (!writer->Open(scale, why)) return nullptr;
  return writer;
}

}  // namespace capture
