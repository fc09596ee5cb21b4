// The program's entry point: take the window and the display, play the
// presentation, give everything back.
#include "devices/devices.h"
#include "shell/shell.h"
#include "show/show.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine,
                   int showCommand) {
  (void)previousInstance;
  (void)commandLine;
  (void)showCommand;

  if (!CreateMainWindow(instance)) {
    return ExitSetUpFailed;
  }
  int status = ExitPresented;
  if (InitDevices()) {
    RunPresentation();
  } else {
    status = ExitSetUpFailed;
  }
  ShutdownDevices();
  return status;
}
