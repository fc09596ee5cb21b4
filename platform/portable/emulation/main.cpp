// Process entry on systems without Windows: hands over to the program's
// WinMain as the Windows start-up code would, with the arguments joined into
// one command line and quoted the way the Windows C runtime splits them, so
// that an argument with spaces, quotes or backslashes arrives unchanged.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/portable/backends/backend.h"
#include "platform/win32.h"

namespace {

void AppendQuoted(std::string& line, const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) {
    line += argument;
    return;
  }
  line += '"';
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      backslashes++;
      continue;
    }
    // Backslashes before a quote are doubled, and the quote escaped.
    line.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, '\\');  // before the closing quote
  line += '"';
}

}  // namespace

int main(int argc, char** argv) {
#ifdef PXPORT_PLAYS_TO_A_SCREEN
  // The program plays to a screen: of the backends only SDL's will do.
  const char* backend = std::getenv("PIXSHOW_BACKEND");
  if (backend != nullptr && *backend != '\0' && std::strcmp(backend, "sdl") != 0) {
    if (std::strcmp(backend, "headless") == 0)
      std::fputs(
          "pixshow: PIXSHOW_BACKEND=headless plays to no screen; pixshow-capture plays the "
          "presentation headless and writes its screens as PNG\n",
          stderr);
    else
      std::fprintf(stderr, "pixshow: PIXSHOW_BACKEND=%s: unknown backend (sdl, or unset)\n",
                   backend);
    return 2;
  }
  pxport::EndProgramWithoutDisplay();
#endif
  std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) commandLine += ' ';
    AppendQuoted(commandLine, argv[i]);
  }
  const int status = WinMain(GetModuleHandleA(NULL), NULL, &commandLine[0], SW_SHOWNORMAL);
#ifdef __EMSCRIPTEN__
  // In the browser the program resumes from its first pause on the page's
  // event loop, not inside main's caller: the status reaches the page only
  // through exit.
  std::exit(status);
#endif
  return status;
}
