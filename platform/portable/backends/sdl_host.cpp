// Kept apart from the rest of the layer: the X11 headers define names (Bool,
// None, Status ...) that must not meet the layer's own platform names.
#include "platform/portable/backends/sdl_host.h"

#include <SDL.h>
#include <SDL_syswm.h>

namespace pxport {

namespace {

bool WindowInfo(SDL_Window* window, SDL_SysWMinfo& info) {
  SDL_VERSION(&info.version);
  return window && SDL_GetWindowWMInfo(window, &info) == SDL_TRUE;
}

}  // namespace

bool HostHasWindowManager(SDL_Window* window) {
#if defined(SDL_VIDEO_DRIVER_X11)
  SDL_SysWMinfo info;
  if (!WindowInfo(window, info) || info.subsystem != SDL_SYSWM_X11) return true;
  // libX11 is already loaded by SDL; take the three calls from it rather
  // than linking it a second time.
  void* x11 = SDL_LoadObject("libX11.so.6");
  if (!x11) return true;
  auto internAtom = reinterpret_cast<decltype(&XInternAtom)>(SDL_LoadFunction(x11, "XInternAtom"));
  auto getProperty =
      reinterpret_cast<decltype(&XGetWindowProperty)>(SDL_LoadFunction(x11, "XGetWindowProperty"));
  auto freeData = reinterpret_cast<decltype(&XFree)>(SDL_LoadFunction(x11, "XFree"));
  bool managed = true;
  if (internAtom && getProperty && freeData) {
    Display* display = info.info.x11.display;
    // A manager that follows the desktop conventions puts the id of a window
    // of its own on the root window under this name.
    Atom check = internAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
    managed = false;
    if (check != None) {
      Atom type = None;
      int format = 0;
      unsigned long count = 0, after = 0;
      unsigned char* data = nullptr;
      if (getProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW, &type,
                      &format, &count, &after, &data) == Success &&
          data) {
        managed = type == XA_WINDOW && count == 1;
        freeData(data);
      }
    }
  }
  SDL_UnloadObject(x11);
  return managed;
#else
  (void)window;
  return true;
#endif
}

int HostEventDescriptor(SDL_Window* window) {
#if defined(SDL_VIDEO_DRIVER_X11)
  SDL_SysWMinfo info;
  if (WindowInfo(window, info) && info.subsystem == SDL_SYSWM_X11 && info.info.x11.display)
    return ConnectionNumber(info.info.x11.display);
#else
  (void)window;
#endif
  return -1;
}

void* HostConnection(SDL_Window* window) {
#if defined(SDL_VIDEO_DRIVER_X11)
  SDL_SysWMinfo info;
  if (WindowInfo(window, info) && info.subsystem == SDL_SYSWM_X11) return info.info.x11.display;
#else
  (void)window;
#endif
  return nullptr;
}

bool HostEventsQueued(void* connection) {
#if defined(SDL_VIDEO_DRIVER_X11)
  return connection && QLength(static_cast<Display*>(connection)) > 0;
#else
  (void)connection;
  return false;
#endif
}

}  // namespace pxport
