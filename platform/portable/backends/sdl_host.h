// Questions the SDL2 backend asks of the host's window system beneath SDL.
#ifndef PIXSHOW_PLATFORM_PORTABLE_BACKENDS_SDL_HOST_H
#define PIXSHOW_PLATFORM_PORTABLE_BACKENDS_SDL_HOST_H

struct SDL_Window;

namespace pxport {

// Whether a window manager looks after the window. Without one (a bare X
// server such as Xvfb) a full-screen request is never answered, so the
// backend covers the screen with a borderless window instead. True on every
// window system but X11, and on X11 when a manager announces itself.
bool HostHasWindowManager(SDL_Window* window);

// The file descriptor on which the window system's events arrive, so that a
// wait can sleep in poll() until input comes; -1 when it cannot be had.
int HostEventDescriptor(SDL_Window* window);

// The window system's connection behind the window (an X11 Display), or
// nullptr; with it, HostEventsQueued tells without a system call whether
// events were already read from the descriptor and wait in the client library.
void* HostConnection(SDL_Window* window);
bool HostEventsQueued(void* connection);

}  // namespace pxport

#endif
