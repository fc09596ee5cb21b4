// The continue-button wait: the cursor is confined to the button and moved
// by the program itself from the mouse's relative movement until a button
// is pressed. Between passes the program sleeps until the mouse or the
// keyboard changes (their events) or a message comes: a still screen costs
// no processor time. The pause after the click serves messages too.
#include <cstring>

#include "shell/shell.h"
#include "devices/devices.h"
#include "raster/raster.h"
#include "show/show.h"

int g_waitEndedByQuit = 0;

namespace {

// The cursor starts inside the button, towards its left.
const int WaitStartX = ContinueButtonX + 10;
const int WaitStartY = ContinueButtonY + 6;
const DWORD WaitEndPauseMs = 500;
// While another program has the display, taking it back is tried again this
// often even when nothing wakes the wait (activation normally does); after a
// failed read the mouse is read again this soon.
const DWORD AwayRetryMs = 100;
const DWORD ReadRetryMs = 5;

// The read failed (input lost, device not acquired): take the mouse back and
// count this pass as no movement and no button.
void RecoverMouse() {
  g_mouseDevice->Acquire();
  std::memset(&g_mouseState, 0, sizeof(g_mouseState));
}

// How long the wait may sleep: until input or a message comes, or, when the
// display or the mouse must be taken back, a short while; with --delay, until
// the delay is over at the latest, and with a note, until it goes.
DWORD SleepLimit(int away, int readFailed) {
  DWORD limit = INFINITE;
  if (away) {
    limit = AwayRetryMs;
  } else if (readFailed) {
    limit = ReadRetryMs;
  }
  const DWORD delayLeft = DelayTimeLeft();
  if (delayLeft < limit) {
    limit = delayLeft;
  }
  const DWORD noteLeft = NoteTimeLeft();
  if (noteLeft < limit) {
    limit = noteLeft;
  }
  return limit;
}

}  // namespace

int WaitForContinueClick() {
  RECT buttonArea;
  buttonArea.left = ContinueButtonX;
  buttonArea.top = ContinueButtonY;
  buttonArea.right = ContinueButtonX + ContinueButtonWidth;
  buttonArea.bottom = ContinueButtonY + ContinueButtonHeight;

  g_waitEndedByQuit = 0;
  g_cursorX = WaitStartX;
  g_cursorY = WaitStartY;
  SetCursorPos(g_cursorX, g_cursorY);
  ClipCursor(&buttonArea);
  ShowCursor(TRUE);
  g_mouseState.rgbButtons[0] = 0;
  g_mouseState.rgbButtons[1] = 0;

  StartDelayCount();
  int clicked = 0;
  int away = 0;
  int readFailed = 0;
  int firstRead = 1;
  // A recording looks at the picture when it may have changed: at the wait's
  // start and after a redraw, not at every mouse movement.
  int lookAgain = 1;
  while (!clicked) {
    MSG message;
    if (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        g_waitEndedByQuit = 1;
        break;
      }
      TranslateMessage(&message);
      DispatchMessageA(&message);
      // Every waiting message first: once the window is gone (WM_QUIT
      // follows) neither the display nor the devices are touched again.
      continue;
    }
    // While another program has the display neither Escape nor the mouse is
    // looked at: the user's keys and clicks belong to that program.
    // Activation and paints ask for a redraw (the window procedure notes it).
    NoteSheetChanges();
    int comingBack = away || g_screenNeedsRedraw;
    away = !KeepScreenShown();
    if (!away) {
      if (comingBack) {
        // Some systems drop the confinement while another program is in
        // front: the cursor is held on the button again.
        ClipCursor(&buttonArea);
        SetCursorPos(g_cursorX, g_cursorY);
      }
      PollEscape();
      readFailed = FAILED(g_mouseDevice->GetDeviceState(sizeof(g_mouseState), &g_mouseState));
      if (readFailed) {
        RecoverMouse();
      }
      // The position is not clamped: the system keeps the visible cursor
      // inside the button while these may run past its edges. The cursor is
      // set only when the mouse moved: some systems queue a mouse-move
      // message for every SetCursorPos, which would end the sleep below at
      // once, pass after pass.
      if (g_mouseState.lX != 0 || g_mouseState.lY != 0) {
        g_cursorX += g_mouseState.lX;
        g_cursorY += g_mouseState.lY;
        SetCursorPos(g_cursorX, g_cursorY);
      }
      if (g_mouseState.rgbButtons[0] != 0 || g_mouseState.rgbButtons[1] != 0) {
        clicked = 1;
      }
      if (!clicked) {
        PutOverlaysOn();
      }
      // The first read holds what the wheel did before the wait began (the
      // rest of a turn that ended the last wait, say): only a turn made in
      // the wait counts.
      const LONG turn = firstRead ? 0 : g_mouseState.lZ;
      firstRead = firstRead && readFailed;
      if (HandleWheel(turn) || HandleViewerKeys() || DelayTimeLeft() == 0) {
        clicked = 1;
      }
    }
    // Input that came since the read has set an event already, so nothing
    // is missed by going to sleep now.
    if (!clicked) {
      lookAgain = lookAgain || comingBack;
      if (!away && lookAgain) {
        RecordShownPicture(1);
        lookAgain = 0;
      }
      HANDLE handles[WaitHandleCount];
      MsgWaitForMultipleObjects(CollectWaitHandles(handles), handles, FALSE,
                                SleepLimit(away, readFailed), QS_ALLINPUT);
    }
  }

  // Once the window is gone the display is not touched again.
  if (g_waitEndedByQuit) {
    ForgetOverlaysDrawn();
  } else {
    TakeOverlaysOff();
  }
  ClipCursor(NULL);
  g_mouseState.rgbButtons[0] = 0;
  g_mouseState.rgbButtons[1] = 0;
  // Going back (or Home) draws the screen asked for at once: only a wait
  // that goes on ends with the pause.
  if (!g_waitEndedByQuit && g_screenWanted == 0) {
    PassPause(WaitEndPauseMs);
  }
  return 1;
}
