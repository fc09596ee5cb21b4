// Process entry on systems without Windows: hands over to the program's
// WinMain as the Windows start-up code would.
#include <cstdlib>
#include <string>

#include "platform/win32.h"

int main(int argc, char** argv) {
  std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) commandLine += ' ';
    commandLine += argv[i];
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
