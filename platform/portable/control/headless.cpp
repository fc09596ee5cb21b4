// Control of the headless world for tests and tools.
#include <cstring>

#include "platform/portable/control/headless.h"

#include "platform/portable/emulation/layer.h"

namespace pxh {

using pxport::W;

void Reset() {
  pxport::SelectHeadless();
  pxport::ResetWorld();
  W().logging = true;
}

uint64_t NowMs() { return pxport::CurrentBackend().NowMs(); }

void At(uint64_t atMs, std::function<void()> action) {
  pxport::World& w = W();
  w.timedActions.push_back(pxport::TimedAction{atMs, w.timedOrder++, std::move(action)});
}

void MoveMouse(int dx, int dy, int dz) { pxport::InputMouseMotion(dx, dy, dz); }

void SetMouseButton(int button, bool down) { pxport::InputMouseButton(button, down); }

void Click(int button) { pxport::InputMouseClick(button); }

void SetKey(int virtualKey, bool down) { pxport::InputKey(virtualKey, down); }

void PressCloseButton() { pxport::InputCloseButton(); }

void LoseFocus() { pxport::InputFocus(false); }

void RegainFocus() { pxport::InputFocus(true); }

bool HasFocus() { return W().focused; }

void OnHold(std::function<void(const Hold&)> callback) { W().holdCallback = std::move(callback); }

bool ReadScreen(Screen& out) {
  pxport::SurfaceObject* primary = pxport::PrimarySurface();
  if (primary == nullptr) return false;
  const uint8_t* bytes = pxport::SurfaceBytes(primary);
  for (int y = 0; y < pxport::kScreenHeight; ++y)
    std::memcpy(out.pixels[y], bytes + y * pxport::kPitch, pxport::kScreenWidth);
  const PALETTEENTRY* palette = pxport::SurfacePalette(primary);
  if (palette != nullptr) {
    std::memcpy(out.palette, palette, sizeof out.palette);
  } else {
    std::memset(out.palette, 0, sizeof out.palette);
  }
  return true;
}

bool ReadSurface(IDirectDrawSurface7* surface,
                 uint8_t out[pxport::kScreenHeight][pxport::kScreenWidth]) {
  pxport::SurfaceObject* object = pxport::SurfaceFromInterface(surface);
  if (object == nullptr) return false;
  const uint8_t* bytes = pxport::SurfaceBytes(object);
  for (int y = 0; y < pxport::kScreenHeight; ++y)
    std::memcpy(out[y], bytes + y * pxport::kPitch, pxport::kScreenWidth);
  return true;
}

bool WriteSurface(IDirectDrawSurface7* surface,
                  const uint8_t in[pxport::kScreenHeight][pxport::kScreenWidth]) {
  pxport::SurfaceObject* object = pxport::SurfaceFromInterface(surface);
  if (object == nullptr) return false;
  uint8_t* bytes = pxport::SurfaceBytes(object);
  for (int y = 0; y < pxport::kScreenHeight; ++y)
    std::memcpy(bytes + y * pxport::kPitch, in[y], pxport::kScreenWidth);
  pxport::CurrentBackend().Invalidate();
  return true;
}

int SurfacePitch() { return pxport::kPitch; }

CursorInfo Cursor() {
  const pxport::World& w = W();
  CursorInfo info{};
  info.x = w.cursorX;
  info.y = w.cursorY;
  info.displayCount = w.cursorCount;
  info.clipped = w.clipped;
  info.clip = w.clipped ? w.clip : RECT{0, 0, 0, 0};
  return info;
}

bool DisplayModeSet() { return W().modeSet; }

bool WindowExists() { return pxport::LookupWindow(W().mainWindow) != nullptr; }

void InjectFault(const std::string& operation, HRESULT code, int count, int skip) {
  W().faults.push_back(pxport::FaultRule{operation, code, count, skip});
}

void ClearFaults() { W().faults.clear(); }

std::vector<std::string> MisuseReport() {
  std::vector<std::string> report = W().refusals;
  pxport::ReportDirectDrawState(report);
  pxport::ReportDirectInputState(report);
  pxport::ReportGdiState(report);
  for (const auto& event : W().events)
    report.push_back("event " + pxport::HandleText(reinterpret_cast<void*>(event.first)) +
                     " not closed");
  for (const auto& watch : W().changeWatches)
    report.push_back("change notification " +
                     pxport::HandleText(reinterpret_cast<void*>(watch.first)) + " not closed");
  return report;
}

const std::vector<std::string>& CallLog() { return W().callLog; }

void ClearCallLog() { W().callLog.clear(); }

}  // namespace pxh
