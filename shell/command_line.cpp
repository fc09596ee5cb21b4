// The command line: pixshow [OPTIONS] [FOLDER], --help, --version. Arguments are split
// as the Windows C runtime splits them, so that a quoted folder with spaces
// arrives whole on Windows and, through the layer's main(), elsewhere.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "pixshow_version.h"
#include "shell/shell.h"

namespace {

const char HelpText[] =
    "usage: pixshow [OPTIONS] [FOLDER]\n"
    "\n"
    "Plays the pixshow presentation, full screen at 640 x 480 in 256 colours, from\n"
    "the six image sheets in FOLDER (default: the current folder): ports.pix,\n"
    "button.pix, Divadude.pix, WarTiles.pix, Pieces.pix and Borders.pix, the names\n"
    "exactly so. Without FOLDER, in a folder that holds none of them, it plays the\n"
    "sample art installed with it and says so. Before the screen is taken, one line\n"
    "names the folder and the sheets it lacks (or holds under other capitals).\n"
    "\n"
    "Click the small NEXT button at the bottom right, or press Space, Enter, Right\n"
    "or Page Down, or turn the mouse wheel down, to go on. Left, Page Up, Backspace\n"
    "or the wheel turned up goes back to the previous screen, Home to the first,\n"
    "1 to 8 to that screen. F1 or ? shows these keys over the picture (F1, ? or\n"
    "Escape takes them away). F12 or Print Screen saves the screen as a PNG and a\n"
    "note on the screen names the file. F9 starts recording what is shown, as it\n"
    "is played, into a GIF beside the screenshots (a small mark shows meanwhile,\n"
    "never in the GIF); F9 again saves it and a note names the file. P pauses and\n"
    "resumes --delay's slideshow.\n"
    "Escape, Alt+F4 or the window's close button ends the presentation at once,\n"
    "during a pause too (on Linux also SIGINT and SIGTERM, as Ctrl+C sends), and\n"
    "gives the display back. On Linux, Alt+Enter switches between full screen\n"
    "and a window and + and - change the scale (remembered as --scale is). A\n"
    "gamepad plays too: A, Start or the right shoulder go on, B or the left\n"
    "shoulder back, the d-pad is the arrow keys, Back goes to the first screen.\n"
    "\n"
    "  --screen N           start at screen N (1 to 8), drawn as if arrived there\n"
    "  --delay SECONDS      go on by itself after SECONDS at every screen (a click\n"
    "                       or a key still goes on at once)\n"
    "  --loop               start again after the last screen, until left\n"
    "  --watch              draw the screen again from the sheets as they are now\n"
    "                       when a file in FOLDER is written or replaced (during a\n"
    "                       pause, once it ends); a sheet gone then is waited for\n"
    "                       (up to 2 seconds) before the load failure\n"
    "  --screenshot-dir DIR\n"
    "                       save screenshots and recordings in DIR, created if\n"
    "                       needed (default: $XDG_PICTURES_DIR/pixshow, else\n"
    "                       ~/Pictures/pixshow; on Windows the Pictures folder's\n"
    "                       pixshow), always as new files: a name taken, by a link\n"
    "                       too, is passed by\n"
    "  --window             start in a window (Linux; also PIXSHOW_WINDOWED=1, and\n"
    "                       PIXSHOW_WINDOWED=0 full screen; other values are refused)\n"
    "  --fullscreen         start full screen (Linux; the default)\n"
    "  --scale MODE         how the picture fills the screen (Linux): auto (the\n"
    "                       default: whole scales when the largest fills at least\n"
    "                       three quarters of the height, else fit), integer (whole\n"
    "                       scales, black around), fit (4:3 filling the height or\n"
    "                       width, sharp pixels), stretch (the whole screen), or a\n"
    "                       whole number N (also PIXSHOW_SCALE, refused unless\n"
    "                       --scale would take it). A window is N times 640 x 480,\n"
    "                       within the work area. N times the picture larger than\n"
    "                       the screen shows its middle only: full screen at\n"
    "                       1920 x 1080, 3 cuts off the title and the NEXT button.\n"
    "\n"
    "  --help               print this text and exit\n"
    "  --version            print the version and exit\n"
    "\n"
    "What is chosen while playing (Alt+Enter, the window's size and place) is\n"
    "remembered in $XDG_CONFIG_HOME/pixshow/settings.ini (~/.config when unset);\n"
    "options and PIXSHOW_WINDOWED / PIXSHOW_SCALE act for their run alone. A window\n"
    "larger than the screen opens as the first window does.\n"
    "\n"
    "Exit status: 0 when the presentation ran, to its end or until left; 1 when an\n"
    "image sheet cannot be opened (\"Load Failure\" is shown, one line on standard\n"
    "error names the sheet); 2 for an unknown option, a bad or too long option\n"
    "value, a PIXSHOW_WINDOWED or PIXSHOW_SCALE value so refused, or a\n"
    "FOLDER that cannot be entered, or when the window or the display cannot be\n"
    "set up (one line on standard error).\n";

const int ArgumentSize = 4096;
const double LongestDelaySeconds = 86400;

// An argument (or an option's value, when `option` is one) longer than the
// command line's arguments may be, with its start.
void ReportTooLong(const char* option, const char* argument = NULL) {
  if (argument == NULL)
    std::fprintf(stderr, "pixshow: the value of %s is too long (%d characters at most)", option,
                 ArgumentSize - 1);
  else
    std::fprintf(stderr, "pixshow: argument too long (%d characters at most): '%.40s...'",
                 ArgumentSize - 1, argument);
  std::fputs(" (try 'pixshow --help')\n", stderr);
}

// The value of an option that takes one: after '=' in the same argument, or
// the next argument. NULL (with a line on stderr) when there is none.
const char* ReadOptionValue(const char* argument, const char* name, const char** cursor,
                            char* value) {
  const size_t length = std::strlen(name);
  if (argument[length] == '=') return argument + length + 1;
  int tooLong = 0;
  const char* next = ReadArgument(*cursor, value, ArgumentSize, &tooLong);
  if (next == NULL) {
    std::fprintf(stderr, "pixshow: %s needs a value (try 'pixshow --help')\n", name);
    return NULL;
  }
  if (tooLong) {
    ReportTooLong(name);
    return NULL;
  }
  *cursor = next;
  return value;
}

// Whether `argument` is the option `name`, alone or as name=value.
int IsOption(const char* argument, const char* name) {
  const size_t length = std::strlen(name);
  return std::strncmp(argument, name, length) == 0 &&
         (argument[length] == '\0' || argument[length] == '=');
}

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

int g_startScreen = 1;
DWORD g_delayMs = 0;
int g_loopShow = 0;
int g_watchSheets = 0;
char g_screenshotFolder[4096] = "";

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
  static char value[ArgumentSize];
  int haveFolder = 0;
  int optionsEnded = 0;
  int tooLong = 0;
  const char* cursor = commandLine != NULL ? commandLine : "";
  while ((cursor = ReadArgument(cursor, argument, ArgumentSize, &tooLong)) != NULL) {
    if (tooLong) {
      // --name=value: the value is what is too long.
      const char* equals = std::strchr(argument, '=');
      if (!optionsEnded && std::strncmp(argument, "--", 2) == 0 && equals != NULL &&
          equals - argument < 32) {
        argument[equals - argument] = '\0';
        ReportTooLong(argument);
      } else {
        ReportTooLong(NULL, argument);
      }
      return ExitBadCommandLine;
    }
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
      if (IsOption(argument, "--scale")) {
        const char* given = ReadOptionValue(argument, "--scale", &cursor, value);
        if (given == NULL) return ExitBadCommandLine;
        if (!IsScaleMode(given))
          return ReportBadCommandLine("--scale takes auto, integer, fit, stretch or 1 to 16, not",
                                      given);
        SetEnvironmentVariableA("PIXSHOW_SCALE", given);
        continue;
      }
      if (std::strcmp(argument, "--") == 0) {
        optionsEnded = 1;
        continue;
      }
      if (std::strcmp(argument, "--loop") == 0) {
        g_loopShow = 1;
        continue;
      }
      if (std::strcmp(argument, "--watch") == 0) {
        g_watchSheets = 1;
        continue;
      }
      if (IsOption(argument, "--screen")) {
        const char* given = ReadOptionValue(argument, "--screen", &cursor, value);
        if (given == NULL) return ExitBadCommandLine;
        char* end = NULL;
        const long screen = std::strtol(given, &end, 10);
        if (end == given || *end != '\0' || screen < 1 || screen > 8)
          return ReportBadCommandLine("--screen takes a screen from 1 to 8, not", given);
        g_startScreen = static_cast<int>(screen);
        continue;
      }
      if (IsOption(argument, "--delay")) {
        const char* given = ReadOptionValue(argument, "--delay", &cursor, value);
        if (given == NULL) return ExitBadCommandLine;
        char* end = NULL;
        const double seconds = std::strtod(given, &end);
        if (end == given || *end != '\0' || !(seconds > 0) || seconds > LongestDelaySeconds)
          return ReportBadCommandLine("--delay takes seconds above 0, up to a day, not", given);
        g_delayMs = static_cast<DWORD>(seconds * 1000 + 0.5);
        if (g_delayMs == 0) g_delayMs = 1;
        continue;
      }
      if (IsOption(argument, "--screenshot-dir")) {
        const char* given = ReadOptionValue(argument, "--screenshot-dir", &cursor, value);
        if (given == NULL) return ExitBadCommandLine;
        // Resolved now: FOLDER becomes the current folder.
        std::error_code error;
        const std::string absolute = std::filesystem::absolute(given, error).string();
        if (*given == '\0' || error || absolute.size() >= sizeof(g_screenshotFolder))
          return ReportBadCommandLine("--screenshot-dir cannot use the folder", given);
        std::memcpy(g_screenshotFolder, absolute.c_str(), absolute.size() + 1);
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
