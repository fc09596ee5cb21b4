// The one header through which the program reaches its platform.
//
// On Windows this is the real SDK: USER32, GDI32, KERNEL32, DirectDraw 7 and
// DirectInput 7. Everywhere else the portable layer in platform/portable/
// supplies the same names, values, records and COM methods; so it does on
// Windows for the tools (pixshow-capture.exe), which play the program on the
// layer's headless backend: their build defines PIXSHOW_PORTABLE_LAYER.
#ifndef PIXSHOW_PLATFORM_WIN32_H
#define PIXSHOW_PLATFORM_WIN32_H

#ifndef DIRECTINPUT_VERSION
#define DIRECTINPUT_VERSION 0x0700
#endif

#if defined(_WIN32) && !defined(PIXSHOW_PORTABLE_LAYER)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <ddraw.h>
#include <dinput.h>
#else
#include "portable/include/windows.h"
#include "portable/include/ddraw.h"
#include "portable/include/dinput.h"
#endif

#endif
