// Animated GIFs of the screen through giflib: the viewer's recordings (F9)
// and pixshow-capture's --gif share this one writer.
//
// The first picture fills the whole frame and its palette is the global
// colour table; every later one stores only the rectangle whose colours
// changed, drawn over what is on show, with a colour table of its own when
// its palette differs (the palette trick). A picture whose colours equal
// the one on show lengthens that one's delay instead. Delays are hundredths
// of a second, rounded from the recording's milliseconds at both ends so that
// they never drift; the animation loops for ever. Frames are written as they
// come: the writer keeps two pictures, never the recording.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#ifdef PIXSHOW_RECORDING_GIFLIB
#include <gif_lib.h>
#endif

#include "show/show.h"

#ifndef PIXSHOW_RECORDING_GIFLIB

std::string GifUnavailable() { return "this build has no giflib"; }

GifRecording* StartGif(GifOutput, void*, int, std::string* why) {
  *why = GifUnavailable();
  return NULL;
}

int AddGifPicture(GifRecording*, const ScreenFrame&, std::uint64_t, std::uint64_t, std::string*) {
  return 0;
}

int FinishGif(GifRecording*, std::string*) { return 0; }

void DiscardGif(GifRecording*) {}

#else

namespace {

const int FrameWidth = 640;
const int FrameHeight = 480;
const int LongestDelay = 65535;  // hundredths of a second in one frame

struct Rect {
  int left, top, right, bottom;  // right and bottom excluded
};

int SameColourAt(const ScreenFrame& a, const ScreenFrame& b, int x, int y) {
  return std::memcmp(a.rgb[a.pixels[y][x]], b.rgb[b.pixels[y][x]], 3) == 0;
}

// The smallest rectangle holding every pixel whose colour differs; empty
// (right == left) when none does.
Rect Changed(const ScreenFrame& shown, const ScreenFrame& next) {
  Rect r = {FrameWidth, FrameHeight, 0, 0};
  for (int y = 0; y < FrameHeight; ++y) {
    int x = 0;
    while (x < FrameWidth && SameColourAt(shown, next, x, y)) ++x;
    if (x == FrameWidth) continue;
    int last = FrameWidth - 1;
    while (SameColourAt(shown, next, last, y)) --last;
    r.left = std::min(r.left, x);
    r.top = std::min(r.top, y);
    r.right = std::max(r.right, last + 1);
    r.bottom = y + 1;
  }
  if (r.right == 0) return Rect{0, 0, 0, 0};
  return r;
}

ColorMapObject* MakeColourMap(const ScreenFrame& frame) {
  ColorMapObject* map = GifMakeMapObject(256, NULL);
  for (int i = 0; map != NULL && i < 256; ++i) {
    map->Colors[i].Red = frame.rgb[i][0];
    map->Colors[i].Green = frame.rgb[i][1];
    map->Colors[i].Blue = frame.rgb[i][2];
  }
  return map;
}

}  // namespace

struct GifRecording {
  GifOutput output;
  void* context;
  int scale;
  GifFileType* gif;
  ColorMapObject* global;
  ScreenFrame shown;    // what the frames so far show
  ScreenFrame pending;  // the next picture, until its end is known
  int hasPending;
  int started;
  std::uint64_t pendingEnd;  // hundredths of a second
  std::uint64_t shownEnd;
  std::vector<GifPixelType> row;
};

namespace {

int WriteGifBytes(GifFileType* gif, const GifByteType* data, int length) {
  GifRecording* recording = static_cast<GifRecording*>(gif->UserData);
  return recording->output(recording->context, data, length) ? length : 0;
}

int Failed(int error, std::string* why) {
  *why = GifErrorString(error) != NULL ? GifErrorString(error) : "giflib failed";
  return 0;
}

// One frame: the rectangle `r` of the picture on show, enlarged.
int PutFrame(GifRecording* g, const Rect& r, int delay, std::string* why) {
  GraphicsControlBlock control = {DISPOSE_DO_NOT, false, delay, NO_TRANSPARENT_COLOR};
  GifByteType extension[4];
  EGifGCBToExtension(&control, extension);
  const int ownColours = std::memcmp(g->shown.rgb, g->global->Colors, sizeof g->shown.rgb) != 0;
  ColorMapObject* local = ownColours ? MakeColourMap(g->shown) : NULL;
  if (ownColours && local == NULL) return Failed(E_GIF_ERR_NOT_ENOUGH_MEM, why);
  const int width = (r.right - r.left) * g->scale;
  const int put = EGifPutExtension(g->gif, GRAPHICS_EXT_FUNC_CODE, 4, extension) != GIF_ERROR &&
                  EGifPutImageDesc(g->gif, r.left * g->scale, r.top * g->scale, width,
                                   (r.bottom - r.top) * g->scale, false, local) != GIF_ERROR;
  GifFreeMapObject(local);
  // giflib keeps its copy of a frame's colour table until the next frame
  // that has one; no longer needed once the frame's coding has begun.
  GifFreeMapObject(g->gif->Image.ColorMap);
  g->gif->Image.ColorMap = NULL;
  if (!put) return Failed(g->gif->Error, why);
  for (int y = r.top; y < r.bottom; ++y) {
    for (int x = r.left; x < r.right; ++x) {
      std::fill_n(&g->row[static_cast<size_t>(x - r.left) * g->scale], g->scale,
                  g->shown.pixels[y][x]);
    }
    for (int copy = 0; copy < g->scale; ++copy) {
      if (EGifPutLine(g->gif, &g->row[0], width) == GIF_ERROR) return Failed(g->gif->Error, why);
    }
  }
  return 1;
}

// Writes the pending picture, for as long as it is on show.
int FlushPending(GifRecording* g, std::string* why) {
  g->hasPending = 0;
  int delay = static_cast<int>(g->pendingEnd - g->shownEnd);
  if (delay <= 0) return 1;  // shorter than a hundredth: never on show
  g->shownEnd = g->pendingEnd;
  Rect r = {0, 0, FrameWidth, FrameHeight};
  if (!g->started) {
    g->started = 1;
    EGifSetGifVersion(g->gif, true);
    g->global = MakeColourMap(g->pending);
    if (g->global == NULL) return Failed(E_GIF_ERR_NOT_ENOUGH_MEM, why);
    static const unsigned char LoopForEver[3] = {1, 0, 0};
    if (EGifPutScreenDesc(g->gif, FrameWidth * g->scale, FrameHeight * g->scale, 8, 0, g->global) ==
            GIF_ERROR ||
        EGifPutExtensionLeader(g->gif, APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
        EGifPutExtensionBlock(g->gif, 11, "NETSCAPE2.0") == GIF_ERROR ||
        EGifPutExtensionBlock(g->gif, 3, LoopForEver) == GIF_ERROR ||
        EGifPutExtensionTrailer(g->gif) == GIF_ERROR) {
      return Failed(g->gif->Error, why);
    }
  } else {
    r = Changed(g->shown, g->pending);
    if (r.right == r.left) r = Rect{0, 0, 1, 1};  // nothing changes: one pixel restated
  }
  std::memcpy(&g->shown, &g->pending, sizeof(ScreenFrame));
  if (!PutFrame(g, r, std::min(delay, LongestDelay), why)) return 0;
  // A delay longer than one frame can hold goes on in frames that change nothing.
  for (delay -= LongestDelay; delay > 0; delay -= LongestDelay) {
    if (!PutFrame(g, Rect{0, 0, 1, 1}, std::min(delay, LongestDelay), why)) return 0;
  }
  return 1;
}

}  // namespace

std::string GifUnavailable() { return std::string(); }

GifRecording* StartGif(GifOutput output, void* context, int scale, std::string* why) {
  GifRecording* g = new GifRecording();
  g->output = output;
  g->context = context;
  g->scale = scale;
  g->row.resize(static_cast<size_t>(FrameWidth) * scale);
  int error = 0;
  g->gif = EGifOpen(g, WriteGifBytes, &error);
  if (g->gif == NULL) {
    delete g;
    Failed(error, why);
    return NULL;
  }
  return g;
}

int AddGifPicture(GifRecording* g, const ScreenFrame& picture, std::uint64_t startMs,
                  std::uint64_t lengthMs, std::string* why) {
  const std::uint64_t end = (startMs + lengthMs + 5) / 10;
  if (g->hasPending && std::memcmp(g->pending.rgb, picture.rgb, sizeof picture.rgb) == 0 &&
      std::memcmp(g->pending.pixels, picture.pixels, sizeof picture.pixels) == 0) {
    g->pendingEnd = end;
    return 1;
  }
  if (g->hasPending && !FlushPending(g, why)) return 0;
  std::memcpy(&g->pending, &picture, sizeof picture);
  g->hasPending = 1;
  g->pendingEnd = end;
  return 1;
}

int FinishGif(GifRecording* g, std::string* why) {
  int finished = !g->hasPending || FlushPending(g, why);
  int error = 0;
  if (EGifCloseFile(g->gif, &error) == GIF_ERROR && finished) finished = Failed(error, why);
  g->gif = NULL;
  DiscardGif(g);
  return finished;
}

void DiscardGif(GifRecording* g) {
  if (g == NULL) return;
  if (g->gif != NULL) EGifCloseFile(g->gif, NULL);
  GifFreeMapObject(g->global);
  delete g;
}

#endif
