// The main window, its window procedure, message pumping, the Escape key and
// the one-line failure report. There is no central message loop: messages
// are served only by PumpPendingMessages and the continue wait.
#include <cstdio>

#include "shell/shell.h"

HINSTANCE g_instance = NULL;
HWND g_mainWindow = NULL;
int g_quitRequested = 0;
int g_screenNeedsRedraw = 0;
int g_escapeClosesOverlay = 0;
int g_escapeHeldForOverlay = 0;
int g_escapeDown = 0;

namespace {

const char* const WindowClassName = "WINCLASS1";
const char* const WindowTitle = "DirectDraw Test for Game";
const int WindowWidth = 640;
const int WindowHeight = 480;
const int PendingMessagePasses = 14;

}  // namespace

int CreateMainWindow(HINSTANCE instance) {
  WNDCLASSEXA windowClass;
  windowClass.cbSize = sizeof(windowClass);
  windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC | CS_DBLCLKS;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.cbClsExtra = 0;
  windowClass.cbWndExtra = 0;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconA(NULL, IDI_APPLICATION);
  windowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  windowClass.lpszMenuName = NULL;
  windowClass.lpszClassName = WindowClassName;
  windowClass.hIconSm = LoadIconA(NULL, IDI_APPLICATION);
  g_instance = instance;

  if (RegisterClassExA(&windowClass) == 0) {
    return ReportFailedStep("register the window class");
  }
  HWND window = CreateWindowExA(0, WindowClassName, WindowTitle, WS_POPUP | WS_VISIBLE, 0, 0,
                                WindowWidth, WindowHeight, NULL, NULL, instance, NULL);
  if (window == NULL) {
    return ReportFailedStep("create the main window");
  }
  g_mainWindow = window;
  return 1;
}

int ReportFailedStep(const char* step) {
  std::fprintf(stderr, "pixshow: cannot %s\n", step);
  return 0;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_PAINT: {
      // The screen's content comes only from the DirectDraw surfaces: the
      // presentation draws them again where it serves messages.
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      EndPaint(window, &paint);
      g_screenNeedsRedraw = 1;
      return 0;
    }
    case WM_ACTIVATEAPP:
      // Back from another program, which may have had the display.
      if (wParam) g_screenNeedsRedraw = 1;
      return DefWindowProcA(window, message, wParam, lParam);
    case WM_DISPLAYCHANGE:
      g_screenNeedsRedraw = 1;
      return DefWindowProcA(window, message, wParam, lParam);
    case WM_KEYDOWN:
      // Escape's key message: the press itself, which the key state read by
      // PollEscape may already or not yet show (see EscapeDown).
      if (wParam == VK_ESCAPE) EscapeDown();
      return DefWindowProcA(window, message, wParam, lParam);
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

void EscapeDown() {
  if (g_escapeClosesOverlay || g_escapeHeldForOverlay) return;
  PostMessageA(g_mainWindow, WM_CLOSE, 0, 0);
  g_quitRequested = 1;
}

void PollEscape() {
  g_escapeDown = (GetAsyncKeyState(VK_ESCAPE) & 0x8000) != 0;
  if (g_escapeDown) EscapeDown();
}

void PumpPendingMessages() {
  for (int pass = 1; pass <= PendingMessagePasses; pass++) {
    PollEscape();
    MSG message;
    if (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
}
