// The viewer's recordings (F9): what is shown, as the user plays it, into an
// animated GIF beside the screenshots (show/gif.cpp writes it). The picture is
// looked at whenever the program is about to sleep (a pause, a wait) and
// becomes the next frame from that moment when it differs from the last one;
// so every pause and wait keeps the length it really had, and a still screen
// is looked at no more often than the program wakes anyway. Overlays (the
// help, a note, the recording's own mark) are never in it. Frames are written
// as they come: two pictures are kept, never the recording.
#include <cstdio>
#include <cstring>
#include <string>

#include "devices/devices.h"
#include "show/show.h"

namespace {

const int FrameWidth = 640;
const int FrameHeight = 480;

struct Recording {
  HANDLE file;
  DWORD writeError;  // the first failed write's error, else NO_ERROR
  GifRecording* gif;
  std::string path, name;
  DWORD startTick;
  ScreenFrame shown;   // the frame under way
  ScreenFrame looked;  // the picture just looked at
  DWORD shownFromMs;   // since the start
  int hasShown;
};

Recording* g_recording = NULL;
// Why the last recording was given up in a pause, said at the next wait.
std::string g_laterNote;

// Where the program stands when a recording ends: closing (the display is
// not touched again), in a pause (no note over the script's picture) or in a
// wait.
enum Moment { Closing, InPause, InWait };

int WriteToFile(void* context, const unsigned char* bytes, int length) {
  Recording* r = static_cast<Recording*>(context);
  DWORD written = 0;
  if (WriteFile(r->file, bytes, static_cast<DWORD>(length), &written, NULL) &&
      written == static_cast<DWORD>(length)) {
    return 1;
  }
  if (r->writeError == NO_ERROR) {
    const DWORD error = GetLastError();
    r->writeError = error != NO_ERROR ? error : static_cast<DWORD>(ERROR_DISK_FULL);
  }
  return 0;
}

void Say(const std::string& note, Moment moment) {
  if (moment == Closing) return;
  ShowRecordingMark(0);
  if (moment == InWait)
    ShowNote(note);
  else
    g_laterNote = note;
}

// Ends the recording without a file: on standard error and in a note.
void Abandon(const std::string& why, Moment moment) {
  Recording* r = g_recording;
  g_recording = NULL;
  DiscardGif(r->gif);
  if (r->file != INVALID_HANDLE_VALUE) CloseHandle(r->file);
  std::remove(r->path.c_str());
  const std::string reason = r->writeError != NO_ERROR ? FileErrorText(r->writeError) : why;
  std::fprintf(stderr, "pixshow: cannot save the recording \"%s\": %s\n", r->path.c_str(),
               reason.c_str());
  Say("Recording not saved: " + reason, moment);
  delete r;
}

DWORD MsSinceStart() { return GetTickCount() - g_recording->startTick; }

// The frame under way ends now. 0 when the file could not take it (the
// recording is then abandoned).
int EndShownFrame(Moment moment) {
  Recording* r = g_recording;
  if (!r->hasShown) return 1;
  const DWORD now = MsSinceStart();
  std::string why;
  if (!AddGifPicture(r->gif, r->shown, r->shownFromMs, now - r->shownFromMs, &why)) {
    Abandon(why, moment);
    return 0;
  }
  r->shownFromMs = now;
  return 1;
}

// The visible surface as shown without overlays, into `frame`. 0 when the
// display is not the program's.
int LookAtScreen(ScreenFrame& frame) {
  if (FAILED(g_primarySurface->Lock(NULL, &g_surfaceDesc, DDLOCK_WAIT, NULL))) return 0;
  const unsigned char* surface = static_cast<const unsigned char*>(g_surfaceDesc.lpSurface);
  for (int y = 0; y < FrameHeight; y++)
    std::memcpy(frame.pixels[y], surface + y * g_surfaceDesc.lPitch, FrameWidth);
  g_primarySurface->Unlock(NULL);
  CoverOverlays(&frame.pixels[0][0], FrameWidth);
  for (int i = 0; i < 256; i++) {
    frame.rgb[i][0] = g_paletteEntries[i].peRed;
    frame.rgb[i][1] = g_paletteEntries[i].peGreen;
    frame.rgb[i][2] = g_paletteEntries[i].peBlue;
  }
  return 1;
}

void StartRecording() {
  std::string why = GifUnavailable();
  if (!why.empty()) {
    std::fprintf(stderr, "pixshow: cannot record: %s\n", why.c_str());
    ShowNote("No recording: " + why);
    return;
  }
  Recording* r = new Recording();
  std::string what;
  r->file = CreateShotFile(".gif", &r->path, &r->name, &what, &why);
  if (r->file == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "pixshow: cannot save the recording %s: %s\n", what.c_str(), why.c_str());
    ShowNote("No recording: " + why);
    delete r;
    return;
  }
  r->writeError = NO_ERROR;
  r->startTick = GetTickCount();
  g_recording = r;
  r->gif = StartGif(WriteToFile, r, 1, &why);
  if (r->gif == NULL) {
    Abandon(why, InWait);
    return;
  }
  RecordShownPicture(1);
  if (g_recording == NULL) return;
  std::fprintf(stderr, "pixshow: recording into %s\n", r->path.c_str());
  ShowNote("Recording: F9 again stops it");
  ShowRecordingMark(1);
}

// Ends the last frame now and closes the file.
void SaveRecording(Moment moment) {
  if (!EndShownFrame(moment)) return;
  Recording* r = g_recording;
  std::string why;
  const int finished = FinishGif(r->gif, &why);
  r->gif = NULL;
  const BOOL closed = CloseHandle(r->file);
  r->file = INVALID_HANDLE_VALUE;
  if (!finished || !closed) {
    if (r->writeError == NO_ERROR && finished) r->writeError = ERROR_WRITE_FAULT;
    Abandon(why, moment);
    return;
  }
  g_recording = NULL;
  std::fprintf(stderr, "pixshow: recording saved as %s\n", r->path.c_str());
  Say("Recording saved: " + r->name, moment);
  delete r;
}

}  // namespace

void ToggleRecording() {
  if (g_recording == NULL) {
    StartRecording();
  } else {
    RecordShownPicture(1);
    if (g_recording != NULL) SaveRecording(InWait);
  }
}

int RecordingOn() { return g_recording != NULL; }

void RecordShownPicture(int inWait) {
  if (inWait && !g_laterNote.empty()) {
    ShowNote(g_laterNote);
    g_laterNote.clear();
  }
  Recording* r = g_recording;
  if (r == NULL || !LookAtScreen(r->looked)) return;
  if (r->hasShown && std::memcmp(&r->looked, &r->shown, sizeof(ScreenFrame)) == 0) return;
  if (!EndShownFrame(inWait ? InWait : InPause)) return;
  std::memcpy(&r->shown, &r->looked, sizeof(ScreenFrame));
  r->shownFromMs = MsSinceStart();
  r->hasShown = 1;
}

void StopRecording() {
  if (g_recording != NULL) SaveRecording(Closing);
  g_laterNote.clear();
}
