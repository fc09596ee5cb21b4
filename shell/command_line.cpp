// The command line: pixshow [OPTION]... [FOLDER], --help, --version. Arguments are split
// as the Windows C runtime splits them, so that a quoted folder with spaces
// arrives whole on Windows and, through the layer's main(), elsewhere.
#include <cstdio>
#include <cstring>

#include "pixshow_version.h"
#include "shell/shell.h"

namespace {

const char HelpText[] =
    "usage: pixshow [OPTION]... [FOLDER]\n"
    "\n"
    "Plays the pixshow presentation, full screen at 640 x 480 in 256 colours, from\n"
    "the six image sheets in FOLDER (default: the current folder): ports.pix,\n"
    "button.pix, Divadude.pix, WarTiles.pix, Pieces.pix and Borders.pix, the names\n"
    "exactly so. Without FOLDER, in a folder that holds none of them, it plays the\n"
    "sample art installed with it and says so.\n"
    "\n"
    "Click the small NEXT button at the bottom right to go on. Escape, while the\n"
    "program waits for the click, ends the presentation. On Linux, Alt+Enter\n"
    "switches between full screen and a window.\n"
    "\n"
    "  --window        start in a window (Linux; also PIXSHOW_WINDOWED=1)\n"
    "  --fullscreen    start full screen (Linux; the default)\n"
    "  --scale MODE    how the picture fills the screen (Linux): auto (the\n"
    "                  default: whole scales when the largest fills at least three\n"
    "                  quarters of the height, else fit), integer (whole scales,\n"
    "                  black around), fit (4:3 filling the height or width, sharp\n"
    "                  pixels), stretch (the whole screen), or a whole number N\n"
    "                  The mode, the scale and the window's size are remembered in\n"
    "                  $XDG_CONFIG_HOME/pixshow/settings.ini (~/.config when unset).\n"
    "  --help          print this text and exit\n"
    "  --version       print the version and exit\n"
    "\n"
    "Exit status: 0 when the presentation ran, to its end or until left; 1 when an\n"
    "image sheet cannot be opened (\"Load Failure\" is shown, one line on standard\n"
    "error names the sheet); 2 for an unknown option or a FOLDER that cannot be\n"
    "entered, or when the window or the display cannot be set up (one line on\n"
    "standard error).\n";

const int ArgumentSize = 4096;

int ReportBadCommandLine(const char* problem, const char* argument) {
  std::fprintf(stderr, "pixshow: %s '%s' (try 'pixshow --help')\n", problem, argument);
  return ExitBadCommandLine;
}

// --scale's values: the named modes, or a whole factor from 1 to 16.
int IsScaleMode(const char* mode) {
  const char* const Named[] = {"auto", "integer", "fit", "stretch"};
  for (const char* name : Named)
    if (std::strcmp(mode, name) == 0) return 1;
  int factor = 0;
  for (const char* c = mode; *c != '\0'; c++) {
    if (*c < '0' || *c > '9' || factor > 16) return 0;
    factor = factor * 10 + (*c - '0');
  }
  return factor >= 1 && factor <= 16;
}

const char* DescribeFolderError(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return "no such folder";
    case ERROR_DIRECTORY:
      return "not a folder";
    case ERROR_ACCESS_DENIED:
      return "permission denied";
    default:
      return "cannot be entered";
  }
}

}  // namespace

const char* ReadArgument(const char* cursor, char* argument, int size, int* tooLong) {
  int length = 0;
  *tooLong = 0;
  while (*cursor == ' ' || *cursor == '\t') cursor++;
  if (*cursor == '\0') return NULL;
  int quoted = 0;
  while (*cursor != '\0' && (quoted || (*cursor != ' ' && *cursor != '\t'))) {
    int backslashes = 0;
    while (cursor[backslashes] == '\\') backslashes++;
    int literal = 0;  // characters to store
    char stored = '\\';
    if (cursor[backslashes] == '"') {
      // 2n backslashes and a quote: n backslashes, the quote opens or closes;
      // 2n + 1: n backslashes and a quote character.
      for (int i = 0; i < backslashes / 2; i++) {
        if (length < size - 1)
          argument[length++] = '\\';
        else
          *tooLong = 1;
      }
      cursor += backslashes;
      if (backslashes % 2 == 1) {
        literal = 1;
        stored = '"';
      } else if (quoted && cursor[1] == '"') {
        // "" inside quotes: one quote character, still quoted.
        literal = 1;
        stored = '"';
        cursor++;
      } else {
        quoted = !quoted;
      }
      cursor++;
    } else if (backslashes > 0) {
      literal = backslashes;
      cursor += backslashes;
    } else {
      literal = 1;
      stored = *cursor++;
    }
    for (int i = 0; i < literal; i++) {
      if (length < size - 1)
        argument[length++] = stored;
      else
        *tooLong = 1;
    }
  }
  argument[length] = '\0';
  return cursor;
}

int HandleCommandLine(const char* commandLine) {
  static char argument[ArgumentSize];
  static char folder[ArgumentSize];
  int haveFolder = 0;
  int optionsEnded = 0;
  int tooLong = 0;
  const char* cursor = commandLine != NULL ? commandLine : "";
  while ((cursor = ReadArgument(cursor, argument, ArgumentSize, &tooLong)) != NULL) {
    if (tooLong) return ReportBadCommandLine("argument too long:", argument);
    if (!optionsEnded && argument[0] == '-' && argument[1] != '\0') {
      if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
        std::fputs(HelpText, stdout);
        return ExitPresented;
      }
      if (std::strcmp(argument, "--version") == 0) {
        std::printf("pixshow %s\n", PIXSHOW_VERSION);
        return ExitPresented;
      }
      // The window choices go to the platform layer through its environment
      // variables, which the real Windows display never reads.
      if (std::strcmp(argument, "--window") == 0 || std::strcmp(argument, "--fullscreen") == 0) {
        SetEnvironmentVariableA("PIXSHOW_WINDOWED", argument[2] == 'w' ? "1" : "0");
        continue;
      }
      if (std::strncmp(argument, "--scale", 7) == 0 &&
          (argument[7] == '\0' || argument[7] == '=')) {
        const char* mode = argument + 8;
        if (argument[7] == '\0') {
          cursor = ReadArgument(cursor, argument, ArgumentSize, &tooLong);
          if (cursor == NULL) return ReportBadCommandLine("a MODE must follow", "--scale");
          mode = argument;
        }
        if (!IsScaleMode(mode)) return ReportBadCommandLine("unknown --scale MODE", mode);
        SetEnvironmentVariableA("PIXSHOW_SCALE", mode);
        continue;
      }
      if (std::strcmp(argument, "--") == 0) {
        optionsEnded = 1;
        continue;
      }
      return ReportBadCommandLine("unknown option", argument);
    }
    if (haveFolder) return ReportBadCommandLine("one FOLDER at most; also given", argument);
    std::memcpy(folder, argument, sizeof(folder));
    haveFolder = 1;
  }
  g_folderNamed = haveFolder;
  if (haveFolder && !SetCurrentDirectoryA(folder)) {
    std::fprintf(stderr, "pixshow: cannot play the folder \"%s\": %s\n", folder,
                 DescribeFolderError(GetLastError()));
    return ExitBadCommandLine;
  }
  return StartPresentation;
}
