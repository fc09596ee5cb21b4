// The layer's shared state and bookkeeping, the backend selection, and what
// a backend reads from and feeds into the layer.
#include "platform/portable/emulation/layer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace pxport {

namespace {

World* g_world = new World;
std::vector<LayerObject*>* g_objects = new std::vector<LayerObject*>;
Backend* g_backend = nullptr;
bool g_headless = false;

}  // namespace

World& W() { return *g_world; }

LayerObject::LayerObject() : generation(g_world->generation) { g_objects->push_back(this); }

bool LayerObject::Alive() const { return generation == g_world->generation; }

void ResetWorld() {
  uint32_t next = g_world->generation + 1;
  for (LayerObject* object : *g_objects) object->Forget();
  *g_world = World();
  g_world->generation = next;
}

// --- Backend selection ------------------------------------------------------------

Backend& CurrentBackend() {
  if (g_backend == nullptr) {
    const char* choice = std::getenv("PIXSHOW_BACKEND");
    // Programs that need a screen check the choice in main(); "sdl" or
    // anything else means the host display.
    if (choice != nullptr && std::strcmp(choice, "headless") == 0) {
      SelectHeadless();
    } else {
#if defined(__EMSCRIPTEN__)
      g_backend = CreateWebBackend();
#elif defined(_WIN32)
      SelectHeadless();  // the tools' build on Windows has no other backend
#else
      g_backend = CreateSdlBackend();
#endif
    }
  }
  return *g_backend;
}

bool HeadlessActive() { return g_headless; }

void SelectHeadless() {
  if (!g_headless) {
    delete g_backend;
    g_backend = CreateHeadlessBackend();
    g_headless = true;
  }
  g_world->logging = true;
}

void AdvanceClockUs(uint64_t us) {
  World& w = W();
  const uint64_t target = w.nowUs + us;
  for (;;) {
    // The earliest action due by the target, in the order they were scheduled.
    auto due = w.timedActions.end();
    for (auto it = w.timedActions.begin(); it != w.timedActions.end(); ++it) {
      if (it->atMs * 1000 > target) continue;
      if (due == w.timedActions.end() || it->atMs < due->atMs ||
          (it->atMs == due->atMs && it->order < due->order)) {
        due = it;
      }
    }
    if (due == w.timedActions.end()) break;
    std::function<void()> action = std::move(due->action);
    w.nowUs = std::max(w.nowUs, due->atMs * 1000);
    w.timedActions.erase(due);
    const uint32_t generation = w.generation;
    action();
    if (W().generation != generation) return;  // the action reset the world
  }
  w.nowUs = std::max(w.nowUs, target);
}

// --- Bookkeeping --------------------------------------------------------------------

void LogCall(const std::string& entry, CallKind kind) {
  World& w = W();
  if (w.logging) {
    // A program spinning without end must not eat the machine's memory.
    constexpr size_t kLogLimit = 1000000;
    if (w.callLog.size() < kLogLimit) {
      w.callLog.push_back(entry);
    } else if (w.callLog.size() == kLogLimit) {
      w.callLog.push_back("(call log full)");
    }
  }
  if (w.dispatchDepth != 0 || kind == CallKind::Neutral) return;
  if (kind == CallKind::Plain) w.plainSinceMouseRead = true;
  w.lastCallPlain = kind == CallKind::Plain;
}

bool FaultFires(const std::string& operation, const std::string& suffix, HRESULT* code) {
  for (FaultRule& rule : W().faults) {
    if (rule.operation != operation && (suffix.empty() || rule.operation != operation + suffix))
      continue;
    if (rule.count == 0) continue;
    if (rule.skip > 0) {
      --rule.skip;
      continue;
    }
    if (rule.count > 0) --rule.count;
    if (code != nullptr) *code = rule.code;
    return true;
  }
  return false;
}

void Refuse(const std::string& what) { W().refusals.push_back(what); }

Call::Call(std::string name, std::string target, const std::string& arguments, CallKind kind)
    : name_(std::move(name)), target_(std::move(target)) {
  LogCall(arguments.empty() ? name_ + target_ : name_ + target_ + " " + arguments, kind);
}

void Call::Refuse(const std::string& why) const { pxport::Refuse(name_ + target_ + why); }

bool Call::Faulted(HRESULT* code) const { return FaultFires(name_, target_, code); }

HRESULT Call::Fault(HRESULT otherwise) const {
  HRESULT code = otherwise;
  return Faulted(&code) ? code : otherwise;
}

void PollingCall() { CurrentBackend().Poll(); }

void PlaceCursor(long x, long y) {
  World& w = W();
  long left = 0, top = 0, right = kScreenWidth - 1, bottom = kScreenHeight - 1;
  if (w.clipped) {
    left = std::max<long>(left, w.clip.left);
    top = std::max<long>(top, w.clip.top);
    right = std::min<long>(right, w.clip.right - 1);
    bottom = std::min<long>(bottom, w.clip.bottom - 1);
  }
  if (right < left) right = left;
  if (bottom < top) bottom = top;
  const int nx = static_cast<int>(std::clamp(x, left, right));
  const int ny = static_cast<int>(std::clamp(y, top, bottom));
  if (nx != w.cursorX || ny != w.cursorY) {
    w.cursorX = nx;
    w.cursorY = ny;
    CurrentBackend().Invalidate();
  }
}

uint8_t NearestIndex(const PALETTEENTRY* palette, COLORREF color) {
  if ((color & 0xFF000000u) == 0x01000000u)
    return static_cast<uint8_t>(color & 0xFF);  // PALETTEINDEX
  if (palette == nullptr) return 0;
  const int r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
  int best = 0;
  long bestDistance = -1;
  for (int i = 0; i < 256; ++i) {
    const long dr = palette[i].peRed - r, dg = palette[i].peGreen - g, db = palette[i].peBlue - b;
    const long distance = dr * dr + dg * dg + db * db;
    if (bestDistance < 0 || distance < bestDistance) {
      best = i;
      bestDistance = distance;
    }
  }
  return static_cast<uint8_t>(best);
}

std::string HandleText(const void* handle) {
  char text[32];
  std::snprintf(text, sizeof text, "%#llx",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(handle)));
  return text;
}

// --- What a backend reads and feeds -------------------------------------------------

Frame CurrentFrame() {
  Frame frame{};
  frame.width = kScreenWidth;
  frame.height = kScreenHeight;
  SurfaceObject* primary = PrimarySurface();
  if (primary != nullptr) {
    frame.pixels = SurfaceBytes(primary);
    frame.pitch = kPitch;
    const PALETTEENTRY* palette = SurfacePalette(primary);
    if (palette != nullptr) std::memcpy(frame.palette, palette, sizeof frame.palette);
  }
  const World& w = W();
  frame.cursorShown = w.cursorCount >= 0;
  frame.cursorX = w.cursorX;
  frame.cursorY = w.cursorY;
  return frame;
}

namespace {

void SetKeyState(int virtualKey, bool down) {
  World& w = W();
  if (down && !w.keyDown[virtualKey]) w.keyPressedSince[virtualKey] = true;
  w.keyDown[virtualKey] = down;
}

// Input came from the host: it wakes waits, and the device it changed tells
// its notification event.
void InputCame(bool mouse) {
  ++W().inputCount[mouse ? 1 : 0];
  DeviceStateChanged(mouse);
}

}  // namespace

void InputMouseMotion(int dx, int dy, int dz) {
  World& w = W();
  if (dx == 0 && dy == 0 && dz == 0) return;
  w.mouseDx += dx;
  w.mouseDy += dy;
  w.mouseDz += dz;
  if (dx != 0 || dy != 0)
    PlaceCursor(static_cast<long>(w.cursorX) + dx, static_cast<long>(w.cursorY) + dy);
  InputCame(true);
}

void InputMouseButton(int button, bool down) {
  static const int kButtonKeys[4] = {VK_LBUTTON, VK_RBUTTON, VK_MBUTTON, VK_XBUTTON1};
  if (button < 0 || button > 3 || W().mouseButton[button] == down) return;
  // A press shows in the next mouse read even when released before it.
  if (down) W().clickPending[button] = true;
  W().mouseButton[button] = down;
  SetKeyState(kButtonKeys[button], down);
  InputCame(true);
}

void InputMouseClick(int button) {
  if (button < 0 || button > 3) return;
  W().clickPending[button] = true;
  InputCame(true);
}

void InputKey(int virtualKey, bool down) {
  if (virtualKey < 0 || virtualKey > 255 || W().keyDown[virtualKey] == down) return;
  SetKeyState(virtualKey, down);
  InputCame(false);
}

void InputFocus(bool active) {
  if (active) {
    FocusRegained();
  } else {
    FocusLost();
  }
}

void InputCloseButton() {
  World& w = W();
  Window* window = LookupWindow(w.mainWindow);
  if (window != nullptr) PostToQueue(w.mainWindow, WM_CLOSE, 0, 0);
}

}  // namespace pxport
