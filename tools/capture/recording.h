// The presentation recorded as moving pictures: the one timeline that the
// GIF and the video share, and the writers that turn it into files.
#ifndef PIXSHOW_TOOLS_CAPTURE_RECORDING_H
#define PIXSHOW_TOOLS_CAPTURE_RECORDING_H

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "platform/portable/control/headless.h"
#include "show/show.h"

namespace capture {

constexpr int kWidth = pxport::kScreenWidth;
constexpr int kHeight = pxport::kScreenHeight;

// One picture: the palette indices on display and the palette's colours.
using Frame = ScreenFrame;

// Reads the screen on display now (black when there is none).
void ReadFrame(Frame& frame);

// Plays the presentation from the start on the headless backend, calling
// `onHold` at every hold point, and returns the program's status. A run that
// is still going after ten minutes of virtual time is closed (*gaveUp set).
int PlayPresentation(const std::function<void(const pxh::Hold&)>& onHold, bool* gaveUp);

// Where a recording goes, picture by picture.
class FrameSink {
 public:
  virtual ~FrameSink() = default;
  // `frame` is on show from `startMs` for `lengthMs` (more than 0) of the
  // recording; the calls come in order, one straight after the other.
  virtual bool Show(const Frame& frame, uint64_t startMs, uint64_t lengthMs, std::string* why) = 0;
  // After the last picture: everything is written to the file.
  virtual bool Close(std::string* why) = 0;
};

// The timeline: plays the presentation once and hands `sink` each hold's
// picture for as long as it is on show: a pause for its length, a wait for
// `waitMs`, after which the presentation goes on as after a click. The time
// the program spends drawing between holds takes none. False with a reason
// when the sink fails or the presentation does not end.
bool Record(FrameSink& sink, uint32_t waitMs, std::string* why);

// The writers. Each is null with a one-line reason in *why when this build
// or this system cannot write that kind of file; `Unavailable` says so before
// anything is played (empty when it can).
std::string GifUnavailable();
std::unique_ptr<FrameSink> OpenGif(std::FILE* file, int scale, std::string* why);

// `path` decides the kind: .webm (VP9) or .mp4 (H.264).
constexpr int kVideoFramesPerSecond = 30;
std::string VideoUnavailable(const std::string& path);
std::unique_ptr<FrameSink> OpenVideo(std::FILE* file, const std::string& path, int scale,
                                     std::string* why);

}  // namespace capture

#endif
