// The platform probe: drives the Win32, DirectDraw 7, DirectInput 7 and GDI calls that pixshow
// relies on, in the program's own sequence and in the misuse around it, and writes one line per
// call, "CALL -> RESULT DETAILS". Built on the portable layer and as a Windows program, so that
// compare.py can compare the two transcripts line by line. Usage: pixshow-probe OUTPUT-FILE
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <utility>

#include "platform/win32.h"
#ifndef _WIN32
#include "platform/portable/control/headless.h"
#endif

namespace {

FILE* g_out = NULL;
HWND g_window = NULL;
int g_creates = 0, g_destroys = 0;
uint8_t g_pixels[480][640];
IDirectDraw7* g_dd = NULL;
IDirectDrawSurface7 *g_primary = NULL, *g_back = NULL;
IDirectDrawPalette* g_palette = NULL;
IDirectInput7* g_input = NULL;
IDirectInputDevice7 *g_mouse = NULL, *g_keyboard = NULL;
struct Level {  // a cooperative level, named
  const char* name;
  HWND window;
  DWORD flags;
};
const DWORD kProgramLevel =
    DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT | DDSCL_EXCLUSIVE | DDSCL_ALLOWMODEX;

// clang-format off
#define NAMED(code) {code, #code}
const struct { HRESULT code; const char* name; } kCodes[] = {
    NAMED(DD_OK), NAMED(S_FALSE), NAMED(E_NOINTERFACE), NAMED(E_FAIL), NAMED(E_INVALIDARG),
    NAMED(E_NOTIMPL), NAMED(E_HANDLE), NAMED(DDERR_SURFACEBUSY), NAMED(DDERR_NOTLOCKED),
    NAMED(DDERR_DCALREADYCREATED), NAMED(DDERR_NODC), NAMED(DDERR_NOTFLIPPABLE),
    NAMED(DDERR_NOEXCLUSIVEMODE), NAMED(DDERR_NOPALETTEATTACHED), NAMED(DDERR_SURFACELOST),
    NAMED(DDERR_WRONGMODE), NAMED(DDERR_INVALIDRECT), NAMED(DDERR_INVALIDOBJECT),
    NAMED(DDERR_INVALIDCAPS), NAMED(DDERR_NOTFOUND), NAMED(DDERR_NOCOOPERATIVELEVELSET),
    NAMED(DDERR_PRIMARYSURFACEALREADYEXISTS), NAMED(DIERR_NOTACQUIRED), NAMED(DIERR_ACQUIRED),
    NAMED(DIERR_OTHERAPPHASPRIO), NAMED(DIERR_INPUTLOST), NAMED(DIERR_BETADIRECTINPUTVERSION),
    NAMED(DIERR_OLDDIRECTINPUTVERSION)};
// clang-format on

std::string Code(HRESULT hr) {
  for (const auto& n : kCodes)
    if (n.code == hr) return n.name;
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lx", (unsigned long)(uint32_t)hr);
  return text;
}

// One line of the transcript: "LABEL -> RESULT[ DETAILS]".
void Say(const std::string& label, const std::string& result, const char* format = NULL, ...) {
  std::fprintf(g_out, "%s -> %s%s", label.c_str(), result.c_str(), format != NULL ? " " : "");
  va_list args;
  va_start(args, format);
  if (format != NULL) std::vfprintf(g_out, format, args);
  va_end(args);
  std::fputs("\n", g_out);
  std::fflush(g_out);
}
void SayHr(const std::string& label, HRESULT hr) { Say(label, Code(hr)); }
const char* Bool(BOOL ok) { return ok ? "TRUE" : "FALSE"; }
void SayBool(const std::string& label, BOOL ok) { Say(label, Bool(ok)); }
const char* Null(const void* p) { return p != NULL ? "nonnull" : "null"; }
std::string Number(long value) { return std::to_string(value); }

// Calls in a row, a line each: a braced list makes them in order, then their lines are written.
void SayHrs(std::initializer_list<std::pair<std::string, HRESULT>> results) {
  for (const auto& r : results) SayHr(r.first, r.second);
}

// The reference count an object has now.
unsigned long Refs(IUnknown* object) { return object->AddRef(), object->Release(); }

// Whether the last WM_ACTIVATEAPP said the program is in front.
bool g_activeApp = true;

LRESULT CALLBACK ProbeProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CREATE) ++g_creates;
  if (message == WM_DESTROY) ++g_destroys;
  if (message == WM_USER + 2) return static_cast<LRESULT>(wParam * 2);
  if (message == WM_ACTIVATEAPP) g_activeApp = wParam != 0;
  if (message == WM_CREATE || message == WM_DESTROY) return 0;
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

// Serves whatever the system has queued (not part of the transcript).
void Pump() {
  MSG msg;
  for (int i = 0; i < 200 && PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE); ++i) {
    if (msg.message == WM_QUIT) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

DDSURFACEDESC2 Desc(DWORD size = sizeof(DDSURFACEDESC2)) {
  DDSURFACEDESC2 desc = {};
  desc.dwSize = size;
  return desc;
}
HRESULT Lock(IDirectDrawSurface7* surface, DDSURFACEDESC2* desc, RECT* rect = NULL) {
  return surface->Lock(rect, desc, DDLOCK_WAIT, NULL);
}
HRESULT Flip(IDirectDrawSurface7* target = NULL) { return g_primary->Flip(target, DDFLIP_WAIT); }

HRESULT Fill(IDirectDrawSurface7* surface, DWORD index, DWORD size = sizeof(DDBLTFX)) {
  DDBLTFX fx = {};
  fx.dwSize = size;
  fx.dwFillColor = index;
  return surface->Blt(NULL, NULL, NULL, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
}

// Copies a surface into g_pixels through a lock (not part of the transcript).
bool Grab(IDirectDrawSurface7* surface) {
  DDSURFACEDESC2 desc = Desc();
  if (FAILED(Lock(surface, &desc))) return false;
  for (int y = 0; y < 480; ++y)
    std::memcpy(g_pixels[y], static_cast<uint8_t*>(desc.lpSurface) + y * desc.lPitch, 640);
  surface->Unlock(NULL);
  return true;
}

// Text drawn at (100, 50) on the back buffer filled with index 7: the indices
// it wrote and, with `box`, the box they cover (the glyphs themselves differ
// from font to font).
void SayText(const char* label, HDC dc, bool box = false) {
  const BOOL drawn = TextOutA(dc, 100, 50, "Hg", 2);
  g_back->ReleaseDC(dc);
  if (!drawn || !Grab(g_back)) return Say(label, "failed");
  std::set<int> indices;
  int left = 640, top = 480, bottom = -1;
  for (int y = 0; y < 480; ++y) {
    for (int x = 0; x < 640; ++x) {
      if (g_pixels[y][x] == 7) continue;
      if (x < 100 || x >= 160 || y < 50 || y >= 80)
        return Say(label, "changed outside", "at %d,%d", x, y);
      indices.insert(g_pixels[y][x]);
      left = left < x ? left : x;
      top = top < y ? top : y;
      bottom = bottom > y ? bottom : y;
    }
  }
  std::string list;
  for (int i : indices) list += (list.empty() ? "" : ",") + std::to_string(i);
  if (!box) return Say(label, "indices", "{%s}", list.c_str());
  Say(label, "indices", "{%s} left=%d top=%d height=%d", list.c_str(), left, top, bottom - top + 1);
}

HDC TextDc(int mode, COLORREF ink) {
  HDC dc = NULL;
  Fill(g_back, 7);
  g_back->GetDC(&dc);
  SetTextColor(dc, ink);
  SetBkColor(dc, RGB(0, 0, 0));
  SetBkMode(dc, mode);
  return dc;
}

void ProbeWindow(HINSTANCE instance) {
  Say("GetModuleHandleA(NULL)", Null(GetModuleHandleA(NULL)));
  WNDCLASSEXA wc = {};  // cbSize 0 at first
  wc.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC | CS_DBLCLKS;
  wc.lpfnWndProc = ProbeProc;
  wc.hInstance = instance;
  wc.lpszClassName = "PROBECLASS";
  Say("LoadIconA IDI_APPLICATION", Null(wc.hIcon = LoadIconA(NULL, IDI_APPLICATION)));
  Say("LoadCursorA IDC_ARROW", Null(wc.hCursor = LoadCursorA(NULL, IDC_ARROW)));
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  Say("GetStockObject BLACK_BRUSH", Null(wc.hbrBackground));
  for (const char* how : {" cbSize 0", "", " again"}) {
    Say(std::string("RegisterClassExA") + how, RegisterClassExA(&wc) != 0 ? "atom" : "0");
    wc.cbSize = sizeof wc;
  }
  Say("CreateWindowExA unknown class", Null(CreateWindowExA(0, "NOSUCHCLASS", "x", WS_POPUP, 0, 0,
                                                            9, 9, NULL, NULL, instance, NULL)));
  g_window = CreateWindowExA(0, "PROBECLASS", "pixshow probe", WS_POPUP | WS_VISIBLE, 0, 0, 640,
                             480, NULL, NULL, instance, NULL);
  Say("CreateWindowExA WS_POPUP|WS_VISIBLE 640x480", Null(g_window), "WM_CREATE=%d", g_creates);
  Say("SendMessageA WM_USER+2 21", Number((long)SendMessageA(g_window, WM_USER + 2, 21, 0)));
}

void ProbeMessages() {
  Pump();
  MSG msg;
  SayBool("PostMessageA WM_USER", PostMessageA(g_window, WM_USER, 1, 2));
  for (UINT remove : {PM_NOREMOVE, PM_REMOVE}) {
    const BOOL got = PeekMessageA(&msg, NULL, WM_USER, WM_USER, remove);
    Say(remove ? "PeekMessageA PM_REMOVE" : "PeekMessageA PM_NOREMOVE", Bool(got),
        remove ? "lParam=%d" : "wParam=%d", got ? (int)(remove ? msg.lParam : msg.wParam) : -1);
  }
  SayBool("PeekMessageA PM_REMOVE again", PeekMessageA(&msg, NULL, WM_USER, WM_USER, PM_REMOVE));
  SayBool("TranslateMessage WM_USER", TranslateMessage(&msg));
  msg.hwnd = g_window;
  msg.message = WM_USER + 2;
  msg.wParam = 4;
  Say("DispatchMessageA WM_USER+2 4", Number((long)DispatchMessageA(&msg)));
  const BOOL got = PostMessageA(reinterpret_cast<HWND>(0x7ff0), WM_USER, 0, 0);
  Say("PostMessageA to no window", Bool(got), "error=%lu", GetLastError());
  PostQuitMessage(3);
  PostMessageA(g_window, WM_USER + 1, 0, 0);
  std::string order;
  for (int i = 0; i < 200 && PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE); ++i) {
    if (msg.message == WM_QUIT) order += " WM_QUIT(" + std::to_string(msg.wParam) + ")";
    if (msg.message == WM_USER + 1) order += " WM_USER+1";
    if (msg.message != WM_QUIT) DispatchMessageA(&msg);
  }
  Say("PeekMessageA PM_REMOVE after PostQuitMessage(3)", "order", "%s", order.c_str());
  SayBool("PeekMessageA WM_QUIT again", PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));
  const DWORD start = GetTickCount();
  Sleep(50);
  Say("GetTickCount across Sleep(50)", GetTickCount() != start ? "advanced" : "same");
}

void ProbeCursor() {
  std::string counts;
  for (BOOL show : {FALSE, FALSE, TRUE, TRUE, TRUE, FALSE})
    counts += " " + Number(ShowCursor(show));
  Say("ShowCursor F,F,T,T,T,F", "counts", "%s", counts.c_str());
  // Moves (x,y), then a clip to the continue button (clip) or none (NULL), each read back.
  RECT clip = {540, 435, 585, 447};
  static const POINT kMoves[] = {{100, 100}, {0, 0}, {600, 460}, {0, 0},
                                 {560, 440}, {0, 0}, {700, 500}};
  for (int i = 0; i < 7; ++i) {
    const POINT& to = kMoves[i];
    if (i == 1 || i == 5)
      SayBool(i == 1 ? "ClipCursor 540,435,585,447" : "ClipCursor NULL",
              ClipCursor(i == 1 ? &clip : NULL));
    else
      SayBool("SetCursorPos " + Number(to.x) + "," + Number(to.y), SetCursorPos(to.x, to.y));
    POINT p = {-1, -1};
    GetCursorPos(&p);
    Say("GetCursorPos", "point", "%ld,%ld", (long)p.x, (long)p.y);
  }
  // An inverted rectangle is refused and leaves the clip in force.
  RECT inverted = {clip.right, clip.bottom, clip.left, clip.top};
  POINT p = {-1, -1};
  Say("ClipCursor 540,435,585,447 then inverted", "results", "%s %s", Bool(ClipCursor(&clip)),
      Bool(ClipCursor(&inverted)));
  SetCursorPos(0, 0);
  GetCursorPos(&p);
  Say("GetCursorPos after the inverted clip", "point", "%ld,%ld", (long)p.x, (long)p.y);
  ClipCursor(NULL);
  for (int key : {VK_ESCAPE, VK_LBUTTON, VK_SPACE, 0x41})
    Say("GetAsyncKeyState " + Number(key), "bits", "0x%04x",
        (unsigned)GetAsyncKeyState(key) & 0x8001u);
}

HRESULT CreateChain(DWORD size = sizeof(DDSURFACEDESC2)) {
  DDSURFACEDESC2 desc = Desc(size);
  desc.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
  desc.dwBackBufferCount = 1;
  desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
  return g_dd->CreateSurface(&desc, &g_primary, NULL);
}

void SayDesc(const std::string& label, HRESULT hr, const DDSURFACEDESC2& d) {
  if (FAILED(hr)) return SayHr(label, hr);
  Say(label, Code(hr), "%lux%lu bpp=%lu pf=0x%lx pitch%s640 backbuffers=%lu",
      (unsigned long)d.dwWidth, (unsigned long)d.dwHeight,
      (unsigned long)d.ddpfPixelFormat.dwRGBBitCount, (unsigned long)d.ddpfPixelFormat.dwFlags,
      d.lPitch >= 640 ? ">=" : "<", (unsigned long)d.dwBackBufferCount);
}

// The state of the display after a change: the level, the primary and a flip.
void SayState(const std::string& when, bool flip = true) {
  SayHrs({{"TestCooperativeLevel" + when, g_dd->TestCooperativeLevel()},
          {"IsLost primary" + when, g_primary->IsLost()}});
  if (flip) SayHr("Flip" + when, Flip());
}

void SayMode(const char* label) {
  DDSURFACEDESC2 desc = Desc();
  const HRESULT hr = g_dd->GetDisplayMode(&desc);
  Say(label, Code(hr), "bpp%s8", desc.ddpfPixelFormat.dwRGBBitCount == 8 ? "=" : "!=");
}

bool ProbeDisplay() {
  void* other = NULL;
  SayHr("DirectDrawCreateEx IID_IDirectDrawSurface7",
        DirectDrawCreateEx(NULL, &other, IID_IDirectDrawSurface7, NULL));
  HRESULT hr = DirectDrawCreateEx(NULL, reinterpret_cast<void**>(&g_dd), IID_IDirectDraw7, NULL);
  SayHr("DirectDrawCreateEx IID_IDirectDraw7", hr);
  if (FAILED(hr)) return false;
  Say("IDirectDraw7 refs", Number(Refs(g_dd)));
  const std::string level = "SetCooperativeLevel ";
  SayHrs({{"CreateSurface before SetCooperativeLevel", CreateChain()},
          {level + "NULL DDSCL_NORMAL", g_dd->SetCooperativeLevel(NULL, DDSCL_NORMAL)},
          {level + "NULL EXCLUSIVE|FULLSCREEN",
           g_dd->SetCooperativeLevel(NULL, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN)},
          {level + "window EXCLUSIVE alone", g_dd->SetCooperativeLevel(g_window, DDSCL_EXCLUSIVE)},
          {"CreateSurface flip chain in DDSCL_NORMAL", CreateChain()},
          {level + "window program flags", g_dd->SetCooperativeLevel(g_window, kProgramLevel)},
          {"SetDisplayMode 640,480,8", g_dd->SetDisplayMode(640, 480, 8, 0, 0)}});
  DDSURFACEDESC2 desc = Desc();
  SayDesc("GetDisplayMode", g_dd->GetDisplayMode(&desc), desc);
  desc.dwSize = sizeof desc - 4;
  SayHrs({{"GetDisplayMode dwSize-4", g_dd->GetDisplayMode(&desc)},
          {"CreateSurface dwSize-4", CreateChain(sizeof(DDSURFACEDESC2) - 4)},
          {"CreateSurface flip chain", CreateChain()}});
  if (g_primary == NULL) return false;
  DDSCAPS2 caps = {};
  caps.dwCaps = DDSCAPS_BACKBUFFER;
  SayHr("GetAttachedSurface DDSCAPS_BACKBUFFER", g_primary->GetAttachedSurface(&caps, &g_back));
  if (g_back == NULL) return false;
  IDirectDrawSurface7* none = NULL;
  caps.dwCaps = DDSCAPS_ZBUFFER;
  SayHr("GetAttachedSurface DDSCAPS_ZBUFFER", g_primary->GetAttachedSurface(&caps, &none));
  Say("refs after GetAttachedSurface", "counts", "primary=%lu back=%lu ddraw=%lu", Refs(g_primary),
      Refs(g_back), Refs(g_dd));
  SayHr("TestCooperativeLevel", g_dd->TestCooperativeLevel());
  for (IDirectDrawSurface7* s : {g_primary, g_back}) {
    const std::string name = s == g_primary ? " primary" : " back";
    caps = DDSCAPS2();
    hr = s->GetCaps(&caps);
    Say("GetCaps" + name, Code(hr), "0x%08lx", (unsigned long)caps.dwCaps);
    SayHr("IsLost" + name, s->IsLost());
  }
  void* same = NULL;
  hr = g_primary->QueryInterface(IID_IDirectDrawSurface7, &same);
  Say("QueryInterface primary IID_IDirectDrawSurface7", Code(hr), "same=%d", same == g_primary);
  if (same != NULL) g_primary->Release();
  hr = g_primary->QueryInterface(IID_IDirectDraw7, &same);
  Say("QueryInterface primary IID_IDirectDraw7", Code(hr), "out=%s", Null(same));
  return true;
}

void SayEntries(const char* label, IDirectDrawPalette* palette, DWORD first) {
  PALETTEENTRY e[2];
  std::memset(e, 0xEE, sizeof e);
  const HRESULT hr = palette->GetEntries(0, first, 2, e);
  Say(label, Code(hr), "%d,%d,%d,%d %d,%d,%d,%d", e[0].peRed, e[0].peGreen, e[0].peBlue,
      e[0].peFlags, e[1].peRed, e[1].peGreen, e[1].peBlue, e[1].peFlags);
}

void ProbePalette() {
  IDirectDrawPalette *attached = NULL, *plain = NULL;
  SayHr("GetPalette primary before SetPalette", g_primary->GetPalette(&attached));
  PALETTEENTRY entries[257];
  for (int i = 0; i < 257; ++i) entries[i] = PALETTEENTRY{BYTE(i), BYTE(i), BYTE(i), 0};  // greys
  SayHr("CreatePalette 8BIT|ALLOW256 greys",
        g_dd->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries, &g_palette, NULL));
  if (g_palette == NULL) return;
  Say("palette refs", Number(Refs(g_palette)));
  Say("IDirectDraw7 refs after CreatePalette", Number(Refs(g_dd)));
  for (const char* again : {"", " again"}) {
    SayHr(std::string("SetPalette primary") + again, g_primary->SetPalette(g_palette));
    Say(*again ? "palette refs after second SetPalette" : "palette refs after SetPalette",
        Number(Refs(g_palette)));
  }
  HRESULT hr = g_primary->GetPalette(&attached);
  Say("GetPalette primary", Code(hr), "same=%d refs=%lu", attached == g_palette,
      hr == DD_OK ? Refs(attached) : 0);
  if (hr == DD_OK) attached->Release();
  attached = NULL;
  SayHr("GetPalette back", g_back->GetPalette(&attached));
  if (attached != NULL) attached->Release();
  DWORD caps = 0;
  hr = g_palette->GetCaps(&caps);
  Say("GetCaps palette", Code(hr), "0x%08lx", (unsigned long)caps);
  SayHrs({{"SetEntries start=255 count=1", g_palette->SetEntries(0, 255, 1, entries + 1)},
          {"SetEntries start=0 count=256", g_palette->SetEntries(0, 0, 256, entries)}});
  SayEntries("GetEntries 254..255", g_palette, 254);
  for (int i = 0; i < 257; ++i) entries[i] = PALETTEENTRY{10, 20, 30, 0};
  SayHr("CreatePalette 8BIT without ALLOW256",
        g_dd->CreatePalette(DDPCAPS_8BIT, entries, &plain, NULL));
  if (plain == NULL) return;
  SayEntries("GetEntries 0..1 of it", plain, 0);
  SayEntries("GetEntries 254..255 of it", plain, 254);
  entries[0] = entries[255] = PALETTEENTRY{40, 50, 60, 0};
  SayHr("SetEntries start=0 count=256 on it", plain->SetEntries(0, 0, 256, entries));
  SayEntries("GetEntries 0..1 of it after SetEntries", plain, 0);
  // Past the last entry, on this palette only.
  SayHrs({{"SetEntries start=255 count=2 on it", plain->SetEntries(0, 255, 2, entries)},
          {"SetEntries start=256 count=1 on it", plain->SetEntries(0, 256, 1, entries)}});
  Say("Release it", Number(plain->Release()));
  Say("IDirectDraw7 refs after its Release", Number(Refs(g_dd)));
}

void ProbeSurfaces() {
  DDSURFACEDESC2 desc = Desc(sizeof(DDSURFACEDESC2) + 4);
  SayHrs({{"Blt colour fill dwSize 0", Fill(g_back, 7, 0)},
          {"Blt colour fill back 7", Fill(g_back, 7)},
          {"Lock back dwSize+4", Lock(g_back, &desc)}});
  DDBLTFX fx = {};
  fx.dwSize = sizeof fx;
  SayHr("Blt colour fill with a source surface",
        g_back->Blt(NULL, g_primary, NULL, DDBLT_COLORFILL | DDBLT_WAIT, &fx));
  // The older record: filled as far as it goes, nothing written past it.
  desc = Desc(sizeof(DDSURFACEDESC));
  desc.dwTextureStage = 0xdeadbeef;
  HRESULT hr = Lock(g_back, &desc);
  Say("Lock back dwSize of DDSURFACEDESC", Code(hr), "%lux%lu dwSize=%lu past=%s",
      (unsigned long)desc.dwWidth, (unsigned long)desc.dwHeight, (unsigned long)desc.dwSize,
      desc.dwTextureStage == 0xdeadbeef ? "kept" : "written");
  if (SUCCEEDED(hr)) g_back->Unlock(NULL);
  desc = Desc();
  hr = Lock(g_back, &desc);
  SayDesc("Lock back", hr, desc);
  if (FAILED(hr)) return;
  const uint8_t* base = static_cast<uint8_t*>(desc.lpSurface);
  Say("Lock back memory", "pixel", "first=%d DDSD_LPSURFACE=%d", base[0],
      (desc.dwFlags & DDSD_LPSURFACE) != 0);
  g_back->Unlock(NULL);
  RECT part = {10, 20, 30, 40}, outside = {0, 0, 641, 480};
  desc = Desc();
  hr = Lock(g_back, &desc, &part);
  const bool offset = static_cast<uint8_t*>(desc.lpSurface) == base + 20 * desc.lPitch + 10;
  Say("Lock back 10,20,30,40", Code(hr), "offset=%s", offset ? "row*pitch+col" : "other");
  if (SUCCEEDED(hr)) g_back->Unlock(&part);
  desc = Desc();
  desc.lpSurface = &desc;
  hr = Lock(g_back, &desc, &outside);
  Say("Lock back 0,0,641,480", Code(hr), "lpSurface=%s", Null(desc.lpSurface));
  if (SUCCEEDED(hr)) g_back->Unlock(&outside);
  desc = Desc();
  Lock(g_back, &desc);
  HDC dc = NULL, again = NULL;
  SayHrs({{"Lock back again", Lock(g_back, &desc)},
          {"Unlock back", g_back->Unlock(NULL)},
          {"Unlock back again", g_back->Unlock(NULL)},
          {"GetDC back", g_back->GetDC(&dc)},
          {"GetDC back again", g_back->GetDC(&again)},
          {"Lock back while DC out", Lock(g_back, &(desc = Desc()))},
          {"ReleaseDC back", g_back->ReleaseDC(dc)},
          {"ReleaseDC back again", g_back->ReleaseDC(dc)}});
  // The flip shows the back buffer: its fill is on the primary afterwards.
  Fill(g_back, 7);
  Fill(g_primary, 3);
  SayHr("Flip primary", Flip());
  Grab(g_primary);
  const int shown = g_pixels[0][0];
  Grab(g_back);
  Say("pixels after Flip", "indices", "primary=%d back=%d", shown, g_pixels[0][0]);
  SayHrs({{"Flip primary to back", Flip(g_back)},
          {"Flip back", g_back->Flip(NULL, DDFLIP_WAIT)},
          {"Flip primary to primary", Flip(g_primary)}});
}

void ProbeGdi() {
  HDC dc = NULL;
  Fill(g_back, 7);
  g_back->GetDC(&dc);
  Say("SetTextColor", "previous", "0x%06lx", (unsigned long)SetTextColor(dc, RGB(255, 255, 255)));
  Say("SetBkColor", "previous", "0x%06lx", (unsigned long)SetBkColor(dc, RGB(0, 0, 0)));
  Say("SetBkMode TRANSPARENT", "previous", "%d", SetBkMode(dc, TRANSPARENT));
  Say("SetBkMode 7", "previous", "%d", SetBkMode(dc, 7));
  Say("GetStockObject NULL_BRUSH", Null(GetStockObject(NULL_BRUSH)));
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 255, 255));
  HBRUSH brush = CreateSolidBrush(RGB(128, 128, 128));
  Say("CreatePen, CreateSolidBrush", "handles", "%s %s", Null(pen), Null(brush));
  HGDIOBJ oldPen = SelectObject(dc, pen), oldBrush = SelectObject(dc, brush);
  Say("SelectObject pen, brush", "previous", "%s %s", Null(oldPen), Null(oldBrush));
  SayBool("Rectangle 10,10,20,16", Rectangle(dc, 10, 10, 20, 16));
  Say("SelectObject back", "previous", "pen=%d brush=%d", SelectObject(dc, oldPen) == pen,
      SelectObject(dc, oldBrush) == brush);
  Say("DeleteObject pen, brush, stock brush", "results", "%d %d %d", DeleteObject(pen),
      DeleteObject(brush), DeleteObject(GetStockObject(BLACK_BRUSH)));
  // A brush deleted while selected goes when it is deselected.
  brush = CreateSolidBrush(RGB(64, 64, 64));
  oldBrush = SelectObject(dc, brush);
  const BOOL selected = DeleteObject(brush);
  SelectObject(dc, oldBrush);
  Say("DeleteObject selected brush, then deselected", "results", "%s %s", Bool(selected),
      Bool(DeleteObject(brush)));
  g_back->ReleaseDC(dc);
  Grab(g_back);
  Say("Rectangle pixels", "indices", "corner=%d inside=%d last=%d right=%d below=%d",
      g_pixels[10][10], g_pixels[13][15], g_pixels[15][19], g_pixels[10][20], g_pixels[16][10]);
  const COLORREF white = RGB(255, 255, 255), red = RGB(255, 0, 0);
  SayText("TextOutA TRANSPARENT white", TextDc(TRANSPARENT, white));
  SayText("TextOutA OPAQUE white on black", TextDc(OPAQUE, white), true);
  SayText("TextOutA red, greys only", TextDc(TRANSPARENT, red));
  // A device context held while the palette changes.
  dc = TextDc(TRANSPARENT, red);
  PALETTEENTRY redEntry = {255, 0, 0, 0}, grey = {200, 200, 200, 0};
  SayHr("SetEntries 200 red while DC out", g_palette->SetEntries(0, 200, 1, &redEntry));
  SayText("TextOutA red, DC from before SetEntries", dc);
  SayText("TextOutA red, DC from after SetEntries", TextDc(TRANSPARENT, red));
  g_palette->SetEntries(0, 200, 1, &grey);
}

HRESULT CreateInput(HINSTANCE instance, DWORD version, void** out) {
  return DirectInputCreateEx(instance, version, IID_IDirectInput7A, out, NULL);
}
HRESULT CreateDevice(const GUID& guid, IDirectInputDevice7** device) {
  return g_input->CreateDeviceEx(guid, IID_IDirectInputDevice7A, (void**)device, NULL);
}

// The devices stay acquired at the program's levels for the focus loss.
void ProbeInput(HINSTANCE instance) {
  void* out = NULL;
  SayHrs({{"DirectInputCreateEx version 0x0800", CreateInput(instance, 0x0800, &out)},
          {"DirectInputCreateEx NULL instance", CreateInput(NULL, DIRECTINPUT_VERSION, &out)}});
  if (out != NULL) static_cast<IDirectInput7*>(out)->Release();
  const HRESULT made = CreateInput(instance, DIRECTINPUT_VERSION, (void**)&g_input);
  SayHr("DirectInputCreateEx", made);
  if (FAILED(made)) return;
  SayHrs({{"CreateDeviceEx GUID_SysMouse", CreateDevice(GUID_SysMouse, &g_mouse)},
          {"CreateDeviceEx GUID_SysKeyboard", CreateDevice(GUID_SysKeyboard, &g_keyboard)}});
  if (g_mouse == NULL || g_keyboard == NULL) return;
  IDirectInputDevice7 *mouse = g_mouse, *keyboard = g_keyboard;
  DIMOUSESTATE state = {};
  SayHrs(
      {{"mouse Acquire before SetDataFormat", mouse->Acquire()},
       {"mouse GetDeviceState before SetDataFormat", mouse->GetDeviceState(sizeof state, &state)}});
  const Level levels[] = {
      {"NULL BACKGROUND|NONEXCLUSIVE", NULL, DISCL_BACKGROUND | DISCL_NONEXCLUSIVE},
      {"NULL FOREGROUND|NONEXCLUSIVE", NULL, DISCL_FOREGROUND | DISCL_NONEXCLUSIVE},
      {"window EXCLUSIVE|BACKGROUND", g_window, DISCL_EXCLUSIVE | DISCL_BACKGROUND},
      {"window EXCLUSIVE|NONEXCLUSIVE", g_window,
       DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE | DISCL_BACKGROUND},
      {"window BACKGROUND|NONEXCLUSIVE", g_window, DISCL_BACKGROUND | DISCL_NONEXCLUSIVE}};
  for (const Level& l : levels)
    SayHr(std::string("mouse SetCooperativeLevel ") + l.name,
          mouse->SetCooperativeLevel(l.window, l.flags));
  SayHrs({{"mouse SetDataFormat c_dfDIMouse", mouse->SetDataFormat(&c_dfDIMouse)},
          {"mouse GetDeviceState before Acquire", mouse->GetDeviceState(sizeof state, &state)},
          {"mouse Unacquire before Acquire", mouse->Unacquire()},
          {"mouse Acquire", mouse->Acquire()},
          {"mouse Acquire again", mouse->Acquire()}});
  HRESULT hr = mouse->GetDeviceState(sizeof state, &state);
  Say("mouse GetDeviceState", Code(hr), "z=%ld buttons=%d,%d,%d,%d", (long)state.lZ,
      state.rgbButtons[0], state.rgbButtons[1], state.rgbButtons[2], state.rgbButtons[3]);
  SayHrs({{"mouse GetDeviceState size 8", mouse->GetDeviceState(8, &state)},
          {"mouse GetDeviceState NULL", mouse->GetDeviceState(sizeof state, NULL)},
          {"mouse SetDataFormat while acquired", mouse->SetDataFormat(&c_dfDIMouse)},
          {"mouse SetCooperativeLevel while acquired",
           mouse->SetCooperativeLevel(g_window, DISCL_BACKGROUND | DISCL_NONEXCLUSIVE)},
          {"mouse Unacquire", mouse->Unacquire()},
          {"mouse Unacquire again", mouse->Unacquire()},
          {"mouse Acquire for the rest", mouse->Acquire()},
          {"keyboard SetDataFormat c_dfDIKeyboard", keyboard->SetDataFormat(&c_dfDIKeyboard)},
          {"keyboard SetCooperativeLevel EXCLUSIVE|BACKGROUND",
           keyboard->SetCooperativeLevel(g_window, DISCL_EXCLUSIVE | DISCL_BACKGROUND)},
          {"keyboard SetCooperativeLevel FOREGROUND|NONEXCLUSIVE",
           keyboard->SetCooperativeLevel(g_window, DISCL_FOREGROUND | DISCL_NONEXCLUSIVE)},
          {"keyboard Acquire", keyboard->Acquire()}});
  BYTE keys[256] = {};
  hr = keyboard->GetDeviceState(sizeof keys, keys);
  int down = 0;
  for (BYTE k : keys) down += k != 0;
  Say("keyboard GetDeviceState", Code(hr), "down=%d", down);
}

// Another window takes the focus, then the program's comes back in front.
void SetFocus(bool ours) {
#ifdef _WIN32
  // The window manager answers in its own time: wait (a while at most) until
  // the change has reached this program, its activation message included
  // (DirectDraw acts on that one), before probing what follows from it.
  SetForegroundWindow(ours ? g_window : GetDesktopWindow());
  for (int tries = 0;
       tries < 500 && ((GetForegroundWindow() == g_window) != ours || g_activeApp != ours);
       ++tries) {
    Pump();
    Sleep(10);
  }
#else
  ours ? pxh::RegainFocus() : pxh::LoseFocus();
#endif
  Pump();
}

void ProbeFocusLoss() {
  DIMOUSESTATE state;
  BYTE keys[256];
  SayHr("mouse GetDeviceState before the focus goes",
        g_mouse->GetDeviceState(sizeof state, &state));
  SetFocus(false);
  const std::string off = " without the focus", on = " back in front";
  SayState(off, false);
  DDSURFACEDESC2 desc = Desc();
  desc.lpSurface = &desc;
  const HRESULT hr = Lock(g_back, &desc);
  Say("Lock back" + off, Code(hr), "lpSurface %s", desc.lpSurface == &desc ? "kept" : "changed");
  SayHrs({{"Blt colour fill" + off, Fill(g_back, 7)},
          {"Flip" + off, Flip()},
          {"Restore primary" + off, g_primary->Restore()},
          {"RestoreAllSurfaces" + off, g_dd->RestoreAllSurfaces()},
          {"mouse GetDeviceState" + off, g_mouse->GetDeviceState(sizeof state, &state)},
          {"keyboard GetDeviceState" + off, g_keyboard->GetDeviceState(sizeof keys, keys)},
          {"keyboard Acquire" + off, g_keyboard->Acquire()}});
  SetFocus(true);
  SayState(on);
  SayHrs({{"keyboard Acquire" + on, g_keyboard->Acquire()},
          {"RestoreAllSurfaces" + on, g_dd->RestoreAllSurfaces()},
          {"IsLost back after RestoreAllSurfaces" + on, g_back->IsLost()},
          {"Flip after RestoreAllSurfaces" + on, Flip()}});
}

// Leaving exclusive mode, and coming back.
void ProbeExclusiveLoss() {
  const Level levels[] = {{"NORMAL|FULLSCREEN", g_window, DDSCL_NORMAL | DDSCL_FULLSCREEN},
                          {"NORMAL", g_window, DDSCL_NORMAL},
                          {"program flags", g_window, kProgramLevel}};
  for (const Level& l : levels) {
    SayHr(std::string("SetCooperativeLevel window ") + l.name,
          g_dd->SetCooperativeLevel(l.window, l.flags));
    SayState(std::string(" after ") + l.name);
  }
  SayMode("GetDisplayMode back in exclusive mode");
  SayHrs({{"SetDisplayMode 640,480,8 again", g_dd->SetDisplayMode(640, 480, 8, 0, 0)},
          {"IsLost primary after SetDisplayMode", g_primary->IsLost()},
          {"Restore primary", g_primary->Restore()},
          {"IsLost back after Restore primary", g_back->IsLost()},
          {"RestoreAllSurfaces", g_dd->RestoreAllSurfaces()},
          {"IsLost primary after RestoreAllSurfaces", g_primary->IsLost()},
          {"Flip after RestoreAllSurfaces", Flip()}});
}

// A device context on a locked surface, and a fill (last: some
// implementations lose track of the lock afterwards).
void ProbeLockedSurface() {
  DDSURFACEDESC2 desc = Desc();
  SayHr("Lock back before GetDC", Lock(g_back, &desc));
  HDC dc = NULL;
  const HRESULT hr = g_back->GetDC(&dc);
  SayHrs({{"GetDC locked back", hr},
          {"ReleaseDC locked back", SUCCEEDED(hr) ? g_back->ReleaseDC(dc) : hr},
          {"Unlock back after ReleaseDC", g_back->Unlock(NULL)}});
  Lock(g_back, &desc);
  SayHrs({{"Blt colour fill locked back", Fill(g_back, 8)},
          {"Unlock back after the fill", g_back->Unlock(NULL)}});
  Lock(g_primary, &(desc = Desc()));
  SayHrs({{"Blt colour fill locked primary", Fill(g_primary, 8)},
          {"Unlock primary after the fill", g_primary->Unlock(NULL)}});
}

// Files as the program opens its sheets and makes its screenshots.
void ProbeFiles() {
  const char* const name = "probe-file.tmp";
  std::remove(name);
  auto open = [](const char* path, DWORD access, DWORD disposition) {
    return CreateFileA(path, access, FILE_SHARE_READ, NULL, disposition, FILE_ATTRIBUTE_NORMAL,
                       NULL);
  };
  auto sayOpen = [](const char* label, HANDLE file) {
    Say(label, file == INVALID_HANDLE_VALUE ? "INVALID_HANDLE_VALUE" : "handle", "error=%lu",
        file == INVALID_HANDLE_VALUE ? (unsigned long)GetLastError() : 0ul);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  };
  HANDLE file = open(name, GENERIC_WRITE, CREATE_NEW);
  DWORD done = 0;
  const BOOL wrote = WriteFile(file, "0123456789", 10, &done, NULL);
  Say("WriteFile 10 bytes to a new file", Bool(wrote), "written=%lu type=%lu", (unsigned long)done,
      (unsigned long)GetFileType(file));
  CloseHandle(file);
  sayOpen("CreateFileA CREATE_NEW existing", open(name, GENERIC_WRITE, CREATE_NEW));
  sayOpen("CreateFileA a folder", open(".", GENERIC_READ, OPEN_EXISTING));
  sayOpen("CreateFileA no such file", open("no-such-file.tmp", GENERIC_READ, OPEN_EXISTING));
  sayOpen("CreateFileA in no such folder", open("no-such-folder/x", GENERIC_READ, OPEN_EXISTING));
  file = open(name, GENERIC_READ, OPEN_EXISTING);
  char bytes[8];
  DWORD got = 0, atEnd = 99;
  const DWORD at = SetFilePointer(file, 6, NULL, FILE_BEGIN);
  const BOOL read = ReadFile(file, bytes, sizeof bytes, &got, NULL);
  const BOOL readAtEnd = ReadFile(file, bytes, sizeof bytes, &atEnd, NULL);
  Say("SetFilePointer 6, ReadFile 8, ReadFile 8", Bool(read), "at=%lu got=%lu then=%s,%lu",
      (unsigned long)at, (unsigned long)got, Bool(readAtEnd), (unsigned long)atEnd);
  CloseHandle(file);
  std::remove(name);
}

void ProbeTeardown() {
  if (g_input != NULL) {
    SayHr("keyboard Unacquire", g_keyboard->Unacquire());
    Say("keyboard Release", Number(g_keyboard->Release()));
    Say("mouse Release", Number(g_mouse->Release()));
    Say("DirectInput Release", Number(g_input->Release()));
  }
  Say("palette Release", Number(g_palette != NULL ? g_palette->Release() : 99));
  Say("back Release", Number(g_back->Release()));
  Say("primary Release", Number(g_primary->Release()));
  SayHr("RestoreDisplayMode", g_dd->RestoreDisplayMode());
  SayMode("GetDisplayMode after RestoreDisplayMode");
  SayHr("SetCooperativeLevel window DDSCL_NORMAL at the end",
        g_dd->SetCooperativeLevel(g_window, DDSCL_NORMAL));
  Say("IDirectDraw7 Release", Number(g_dd->Release()));
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  g_out = std::fopen(commandLine, "wb");
  if (g_out == NULL) {
    std::fprintf(stderr, "pixshow-probe: cannot write \"%s\"\n", commandLine);
    return 2;
  }
  ProbeWindow(instance);
  if (g_window == NULL) return 1;
  ProbeMessages();
  ProbeFiles();
  const bool display = ProbeDisplay();
  if (display) {
    ProbePalette();
    ProbeSurfaces();
    if (g_palette != NULL) ProbeGdi();
  }
  Pump();
  ProbeCursor();
  ProbeInput(instance);
  if (display) {
    ProbeExclusiveLoss();
    if (g_input != NULL) ProbeFocusLoss();
    ProbeLockedSurface();
    ProbeTeardown();
  }
  const LRESULT closed = DefWindowProcA(g_window, WM_CLOSE, 0, 0);
  Say("DefWindowProcA WM_CLOSE", Number((long)closed), "WM_DESTROY=%d", g_destroys);
  SayBool("DestroyWindow destroyed window", DestroyWindow(g_window));
  std::fclose(g_out);
  return display ? 0 : 1;
}
