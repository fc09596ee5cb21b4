// Presentation: the continue-button wait and the fixed run of screens.
#ifndef PIXSHOW_SHOW_SHOW_H
#define PIXSHOW_SHOW_SHOW_H

#include "platform/win32.h"

// Holds the screen until mouse button 0 or 1 is pressed with the cursor
// confined to the continue button, or until WM_QUIT arrives. Always 1.
int WaitForContinueClick();

// 1 when the last WaitForContinueClick ended because WM_QUIT arrived (the
// window is gone: Escape or the close button), 0 when it ended by a click.
extern int g_waitEndedByQuit;

// Plays the eight screens. Always 1.
int RunPresentation();

// How far the presentation has come: the number of holds (pauses and waits)
// it has reached, 0 before the first and after the end.
extern int g_holdsReached;

// Keeps the display showing the presentation as it stands. When the surfaces
// were lost (another program had the display) they are taken back, and then,
// or when the window asked to be painted (g_screenNeedsRedraw), the current
// screen is drawn again exactly as it stood, without its pauses. 1 when the
// display shows the program's picture; 0 while another program has it.
int KeepScreenShown();

#endif
