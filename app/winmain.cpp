// The program's entry point: read the command line, take the window and the
// display, play the presentation, give everything back.
#include "devices/devices.h"
#include "raster/sheets.h"
#include "shell/shell.h"
#include "show/show.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine,
                   int showCommand) {
  (void)previousInstance;
  (void)showCommand;

  const int asked = HandleCommandLine(commandLine);
  if (asked != StartPresentation) {
    return asked;
  }
  const char* sheetNames[SheetCount];
  for (int i = 0; i < SheetCount; i++) sheetNames[i] = ImageSheets[i].fileName;
  PlaySampleArtIfNoSheets(sheetNames, SheetCount);
  ReportMissingSheets(sheetNames, SheetCount);
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
