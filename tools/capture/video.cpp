// The recording as a video, through FFmpeg's libraries: VP9 in WebM or
// H.264 in MP4, at a constant frame rate.
//
// Frame k shows the picture on show at k / rate seconds of the timeline, so
// the video lasts as long as the timeline, to a frame. Pixels are enlarged
// by a whole factor (sharp) and kept in 4:4:4: every pixel keeps its own
// colour, where 4:2:0 would blur the colours of single pixels (noise-like
// art then comes out near 31 dB PSNR at twice the size, against 43 dB). The
// colour conversion, BT.709 in limited range, is swscale's, done on the 256
// palette entries of each picture rather than on its pixels.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "recording.h"

#ifdef PIXSHOW_HAVE_FFMPEG
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}
#endif

namespace capture {

#ifndef PIXSHOW_HAVE_FFMPEG

std::string VideoUnavailable(const std::string&) {
  return "--video is not available: this build has no FFmpeg libraries (Linux only)";
}

std::unique_ptr<FrameSink> OpenVideo(std::FILE*, const std::string& path, int, std::string* why) {
  *why = VideoUnavailable(path);
  return nullptr;
}

#else

namespace {

bool EndsWith(const std::string& path, const char* suffix) {
  const size_t n = std::strlen(suffix);
  if (path.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(path[path.size() - n + i])) != suffix[i])
      return false;
  }
  return true;
}

constexpr int kKeyFrameSeconds = 5;  // so that a player can seek

struct Kind {
  const char* suffix;
  const char* muxer;
  const char* encoder;
  const char* name;
};
const Kind kKinds[] = {
    {".webm", "webm", "libvpx-vp9", "VP9"},
    {".mp4", "mp4", "libx264", "H.264"},
};

const Kind* KindOf(const std::string& path) {
  for (const Kind& kind : kKinds) {
    if (EndsWith(path, kind.suffix)) return &kind;
  }
  return nullptr;
}

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = "";
  av_strerror(code, text, sizeof text);
  return text;
}

class VideoWriter : public FrameSink {
 public:
  VideoWriter(std::FILE* file, int scale) : file_(file), scale_(scale) {}
  ~VideoWriter() override {
    avcodec_free_context(&codec_);
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    sws_freeContext(convert_);
    if (format_) {
      if (format_->pb) av_freep(&format_->pb->buffer);
      avio_context_free(&format_->pb);
      avformat_free_context(format_);
    }
  }
  VideoWriter(const VideoWriter&) = delete;
  VideoWriter& operator=(const VideoWriter&) = delete;

  bool Open(const Kind& kind, std::string* why) {
    const int width = kWidth * scale_, height = kHeight * scale_;
    av_log_set_level(AV_LOG_QUIET);  // failures are told in one line of our own
    const AVCodec* encoder = avcodec_find_encoder_by_name(kind.encoder);
    int error = avformat_alloc_output_context2(&format_, nullptr, kind.muxer, nullptr);
    if (error < 0 || !encoder) return Failed(error < 0 ? error : AVERROR_ENCODER_NOT_FOUND, why);
    codec_ = avcodec_alloc_context3(encoder);
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    convert_ =
        sws_getContext(256, 1, AV_PIX_FMT_RGB24, 256, 1, AV_PIX_FMT_YUV444P,
                       SWS_POINT | SWS_ACCURATE_RND | SWS_BITEXACT, nullptr, nullptr, nullptr);
    if (!codec_ || !frame_ || !packet_ || !convert_) return Failed(AVERROR(ENOMEM), why);
    // RGB in full range to BT.709 in limited range, as the stream says.
    sws_setColorspaceDetails(convert_, sws_getCoefficients(SWS_CS_ITU709), 1,
                             sws_getCoefficients(SWS_CS_ITU709), 0, 0, 1 << 16, 1 << 16);
    codec_->width = width;
    codec_->height = height;
    codec_->pix_fmt = AV_PIX_FMT_YUV444P;
    codec_->time_base = {1, kVideoFramesPerSecond};
    codec_->framerate = {kVideoFramesPerSecond, 1};
    codec_->gop_size = kVideoFramesPerSecond * kKeyFrameSeconds;
    codec_->color_range = AVCOL_RANGE_MPEG;
    codec_->colorspace = AVCOL_SPC_BT709;
    codec_->color_primaries = AVCOL_PRI_BT709;
    codec_->color_trc = AVCOL_TRC_BT709;
    codec_->bit_rate = 0;
    codec_->thread_count = 0;  // as many as the machine has
    if (format_->oformat->flags & AVFMT_GLOBALHEADER) codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // Constant quality, and no frames held back for looking ahead: memory
    // stays at a few frames however long the recording.
    if (std::strcmp(kind.encoder, "libvpx-vp9") == 0) {
      av_opt_set(codec_->priv_data, "deadline", "realtime", 0);
      av_opt_set(codec_->priv_data, "cpu-used", "8", 0);
      av_opt_set(codec_->priv_data, "lag-in-frames", "0", 0);
      av_opt_set(codec_->priv_data, "row-mt", "1", 0);
      av_opt_set(codec_->priv_data, "crf", "20", 0);
    } else {
      av_opt_set(codec_->priv_data, "preset", "veryfast", 0);
      av_opt_set(codec_->priv_data, "tune", "zerolatency", 0);
      av_opt_set(codec_->priv_data, "crf", "16", 0);
    }
    if ((error = avcodec_open2(codec_, encoder, nullptr)) < 0) return Failed(error, why);
    frame_->format = codec_->pix_fmt;
    frame_->width = width;
    frame_->height = height;
    if ((error = av_frame_get_buffer(frame_, 0)) < 0) return Failed(error, why);

    stream_ = avformat_new_stream(format_, nullptr);
    if (!stream_) return Failed(AVERROR(ENOMEM), why);
    stream_->time_base = codec_->time_base;
    stream_->avg_frame_rate = codec_->framerate;
    if ((error = avcodec_parameters_from_context(stream_->codecpar, codec_)) < 0)
      return Failed(error, why);
    constexpr int kBufferSize = 1 << 16;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
    format_->pb =
        buffer ? avio_alloc_context(buffer, kBufferSize, 1, this, nullptr, Write, Seek) : nullptr;
    if (!format_->pb) {
      av_free(buffer);
      return Failed(AVERROR(ENOMEM), why);
    }
    format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    if ((error = avformat_write_header(format_, nullptr)) < 0) return Failed(error, why);
    return true;
  }

  bool Show(const Frame& frame, uint64_t startMs, uint64_t lengthMs, std::string* why) override {
    const int64_t end = FrameAt(startMs + lengthMs);
    if (next_ >= end) return true;  // shorter than a frame: never on show
    int error = av_frame_make_writable(frame_);
    if (error < 0) return Failed(error, why);
    Fill(frame);
    for (; next_ < end; ++next_) {
      if ((error = av_frame_make_writable(frame_)) < 0) return Failed(error, why);
      frame_->pts = next_;
      if (!Encode(frame_, why)) return false;
    }
    return true;
  }

  bool Close(std::string* why) override {
    if (!Encode(nullptr, why)) return false;
    const int error = av_write_trailer(format_);
    avio_flush(format_->pb);
    if (error < 0 || format_->pb->error < 0)
      return Failed(error < 0 ? error : format_->pb->error, why);
    return true;
  }

 private:
  // The first frame at or after `ms` of the timeline.
  static int64_t FrameAt(uint64_t ms) {
    return static_cast<int64_t>((ms * kVideoFramesPerSecond + 999) / 1000);
  }

  // The picture, enlarged, in the frame's three planes.
  void Fill(const Frame& picture) {
    uint8_t yuv[3][256];
    const uint8_t* source[1] = {&picture.rgb[0][0]};
    const int sourceStride[1] = {256 * 3};
    uint8_t* planes[3] = {yuv[0], yuv[1], yuv[2]};
    const int strides[3] = {256, 256, 256};
    sws_scale(convert_, source, sourceStride, 0, 1, planes, strides);
    for (int p = 0; p < 3; ++p) {
      for (int y = 0; y < kHeight; ++y) {
        uint8_t* row = frame_->data[p] + static_cast<ptrdiff_t>(y) * scale_ * frame_->linesize[p];
        for (int x = 0; x < kWidth; ++x)
          std::fill_n(row + x * scale_, scale_, yuv[p][picture.pixels[y][x]]);
        for (int copy = 1; copy < scale_; ++copy)
          std::memcpy(row + copy * frame_->linesize[p], row, static_cast<size_t>(kWidth) * scale_);
      }
    }
  }

  // Sends a frame (null: the end) and writes the packets that come out.
  bool Encode(const AVFrame* frame, std::string* why) {
    int error = avcodec_send_frame(codec_, frame);
    while (error >= 0) {
      error = avcodec_receive_packet(codec_, packet_);
      if (error == AVERROR(EAGAIN) || error == AVERROR_EOF) return true;
      if (error < 0) break;
      if (packet_->duration == 0) packet_->duration = 1;
      av_packet_rescale_ts(packet_, codec_->time_base, stream_->time_base);
      packet_->stream_index = stream_->index;
      error = av_interleaved_write_frame(format_, packet_);
    }
    return Failed(error, why);
  }

#if LIBAVFORMAT_VERSION_MAJOR >= 61
  static int Write(void* opaque, const uint8_t* data, int size) {
#else
  static int Write(void* opaque, uint8_t* data, int size) {
#endif
    auto* self = static_cast<VideoWriter*>(opaque);
    if (std::fwrite(data, 1, static_cast<size_t>(size), self->file_) == static_cast<size_t>(size))
      return size;
    self->writeError_ = errno ? errno : EIO;
    return AVERROR(self->writeError_);
  }

  static int64_t Seek(void* opaque, int64_t offset, int whence) {
    auto* self = static_cast<VideoWriter*>(opaque);
    if (whence & AVSEEK_SIZE) return -1;
    if (std::fseek(self->file_, static_cast<long>(offset), whence & ~AVSEEK_FORCE) != 0)
      return AVERROR(errno);
    return std::ftell(self->file_);
  }

  bool Failed(int error, std::string* why) {
    *why = writeError_ ? std::strerror(writeError_) : AvError(error);
    return false;
  }

  std::FILE* file_;
  int scale_;
  AVFormatContext* format_ = nullptr;
  AVCodecContext* codec_ = nullptr;
  AVStream* stream_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  SwsContext* convert_ = nullptr;
  int64_t next_ = 0;  // the next frame's number
  int writeError_ = 0;
};

}  // namespace

std::string VideoUnavailable(const std::string& path) {
  const Kind* kind = KindOf(path);
  if (!kind) return "--video writes .webm (VP9) or .mp4 (H.264): name the file so";
  if (avcodec_find_encoder_by_name(kind->encoder)) return std::string();
  for (const Kind& other : kKinds) {
    if (avcodec_find_encoder_by_name(other.encoder)) {
      return std::string("this system's FFmpeg cannot encode ") + kind->name + " (" +
             kind->encoder + "): write a " + other.suffix + " file (" + other.name + ") instead";
    }
  }
  return "this system's FFmpeg can encode neither VP9 (libvpx-vp9) nor H.264 (libx264)";
}

std::unique_ptr<FrameSink> OpenVideo(std::FILE* file, const std::string& path, int scale,
                                     std::string* why) {
  const std::string unavailable = VideoUnavailable(path);
  if (!unavailable.empty()) {
    *why = unavailable;
    return nullptr;
  }
  std::unique_ptr<VideoWriter> writer(new VideoWriter(file, scale));
  if (!writer->Open(*KindOf(path), why)) return nullptr;
  return writer;
}

#endif

}  // namespace capture
