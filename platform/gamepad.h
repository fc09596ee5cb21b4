// Gamepads as the viewer's keys (platform/pad_keys.h says which). On
// Windows the program reads them itself (platform/windows/gamepad.cpp); the
// portable layer's backends hand a pad's buttons to the program as keys on
// their own (SDL) or have no pads, so there these calls do nothing.
#ifndef PIXSHOW_PLATFORM_GAMEPAD_H
#define PIXSHOW_PLATFORM_GAMEPAD_H

#include "platform/win32.h"

#if defined(_WIN32) && !defined(PIXSHOW_PORTABLE_LAYER)
// Starts listening for pads on the calling thread, whose messages must be
// served (a pad's input arrives as window messages and wakes a thread that
// sleeps on its queue). 0 when this system has no XInput or no raw input.
int StartGamepads(HINSTANCE instance);
void StopGamepads();
// Marks in `keys`, a DirectInput keyboard state, the keys that the pads'
// buttons held now, or pressed since the last call, stand for.
void AddGamepadKeys(BYTE keys[256]);
#else
inline int StartGamepads(HINSTANCE) { return 0; }
inline void StopGamepads() {}
inline void AddGamepadKeys(BYTE*) {}
#endif

#endif
