// Display and input devices: DirectDraw set-up and teardown, the palette and
// the DirectInput mouse and keyboard.
#ifndef PIXSHOW_DEVICES_DEVICES_H
#define PIXSHOW_DEVICES_DEVICES_H

#include "platform/win32.h"

// DirectDraw objects and the one surface record every Lock writes into.
extern LPDIRECTDRAW7 g_directDraw;
extern LPDIRECTDRAWSURFACE7 g_primarySurface;
extern LPDIRECTDRAWSURFACE7 g_backSurface;
extern LPDIRECTDRAWPALETTE g_palette;
extern DDSURFACEDESC2 g_surfaceDesc;

// The program's copy of the 256 palette entries the palette object holds.
extern PALETTEENTRY g_paletteEntries[256];

// DirectInput objects, the last mouse state read and the program's cursor.
extern LPDIRECTINPUT7 g_directInput;
extern LPDIRECTINPUTDEVICE7 g_mouseDevice;
extern LPDIRECTINPUTDEVICE7 g_keyboardDevice;
extern DIMOUSESTATE g_mouseState;
extern int g_cursorX;
extern int g_cursorY;

// The events the mouse and the keyboard set whenever their state changes
// (auto-reset; NULL before set-up and after teardown), for a wait to sleep on.
enum InputEvent { MouseEvent, KeyboardEvent, InputEventCount };
extern HANDLE g_inputEvents[InputEventCount];

// The palette's own pseudo-random source: a linear congruential generator
// with a 32-entry shuffle table. Never seeded, so a fresh generator always
// gives the same sequence.
struct PaletteRandom {
  unsigned int state = 1;
  unsigned int table[32] = {};
  unsigned int last = 0;
  bool ready = false;
};
// The next value of the sequence, 0 .. 2^30 - 1.
unsigned int NextPaletteRandom(PaletteRandom& random);

// Fills all 256 entries with the set-up palette: black at 0, the fixed
// artwork colours at 1..80, generated colours at 81..254, white at 255.
// Depends on nothing but its argument; every call gives the same entries.
void BuildPaletteEntries(PALETTEENTRY entries[256]);

// Takes the display (640 x 480 x 8, flipping pair, palette), sets up the mouse
// and keyboard and clears both surfaces. 1 on success; 0 as soon as a step
// fails, leaving what exists for ShutdownDevices. A failure also writes one
// line on stderr naming the step.
int InitDevices();

// Releases every object that exists, in reverse order of creation, and
// restores the display mode. 1, or 0 when the display mode cannot be restored.
int ShutdownDevices();

// The input steps of set-up and teardown: DirectInput, mouse, keyboard (each
// with its event) and the cursor's start position. 1 on success, 0 (with a line on stderr) as
// soon as a step fails.
int InitInputDevices();
void ShutdownInputDevices();

// Fills a whole surface with one palette index through the blitter.
HRESULT FillSurface(LPDIRECTDRAWSURFACE7 surface, int colour);

// How long FlipToFront keeps trying before it gives up.
const DWORD FlipGiveUpMs = 3000;

// Shows the back buffer: Flip, retried while the display is still busy, for
// at most FlipGiveUpMs. Returns 1 when the flip happened, 0 when it gave up
// or the surfaces are lost (another program has the display: the picture is
// drawn again once it is back, see RestoreDisplay).
int FlipToFront();

// Changes one palette entry in the palette object and in g_paletteEntries.
int SetPaletteEntry(unsigned int index, const PALETTEENTRY* entry);

// Gives the palette back its set-up colours (g_paletteEntries included).
void ResetPalette();

// Loads all of g_paletteEntries into the palette object at once.
void LoadPaletteEntries();

// 1 when the surfaces have lost their memory (another program took the
// display), 0 when they are usable.
int DisplayLost();

// Takes the display back after another program had it, once this program is
// the active one again: the display mode if it was given back, the surfaces
// (their memory restored, its content lost) and the palette as it stands in
// g_paletteEntries. 1 when the surfaces can be drawn again; 0 while another
// program has the display or a step fails (nothing is then drawn).
int RestoreDisplay();

#endif
