// toolkit: the helpers pixshow's tools share (pixsheet, pixshow-capture,
// pixshow-samplegen): command-line options, opening input files without
// blocking on pipes and devices, and replacing output files safely. The same
// on Windows (toolkit_windows.cpp), where paths and arguments are UTF-8 text
// too.
#ifndef PIXSHOW_TOOLS_TOOLKIT_H
#define PIXSHOW_TOOLS_TOOLKIT_H

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace toolkit {

// --- Options --------------------------------------------------------------------

struct Option {
  Option(std::string optionName, bool hasValue = false, std::string otherSpelling = std::string())
      : name(std::move(optionName)), takesValue(hasValue), alias(std::move(otherSpelling)) {}
  std::string name;  // "--size", "-o", "--help"
  bool takesValue;
  std::string alias;  // another spelling of the same option ("--output"), or empty
};

struct ParsedArgs {
  std::vector<std::string> positional;
  std::map<std::string, std::string> values;  // by the option's name, never empty
  std::set<std::string> flags;
  bool Has(const std::string& name) const { return values.count(name) || flags.count(name); }
  std::string Value(const std::string& name) const {
    auto it = values.find(name);
    return it == values.end() ? std::string() : it->second;
  }
};

// Reads `args` (the command line after the program or command name) against
// `options`. A value follows its option ("--size 4x4", "-o x.png") or comes
// after '=' ("--size=4x4"); everything after "--" is positional, as is a lone
// "-". An unknown option, a flag given a value and a missing or empty value
// are refused: false, with a one-line reason in *error. When an option
// appears twice, the last one counts.
bool ParseArgs(const std::vector<std::string>& args, const std::vector<Option>& options,
               ParsedArgs* out, std::string* error);

// --- The command line and paths ---------------------------------------------------

// Every path and argument in the tools is UTF-8 text. PathOf turns one into a
// filesystem path (on Windows, whose names are UTF-16, converted), TextOf
// turns a path back.
std::filesystem::path PathOf(const std::string& utf8);
std::string TextOf(const std::filesystem::path& path);

// Runs `run` with the command line (argv[0] first) as UTF-8 text and returns
// its status: on Windows from the wide command line, with the console showing
// UTF-8 meanwhile. TOOLKIT_MAIN(run) defines the program's entry point so.
int RunMain(int (*run)(const std::vector<std::string>& args), int argc, char** argv);
#ifdef _WIN32
int RunMain(int (*run)(const std::vector<std::string>& args), int argc, wchar_t** argv);
#define TOOLKIT_MAIN(run) \
  int wmain(int argc, wchar_t** argv) { return toolkit::RunMain(run, argc, argv); }
#else
#define TOOLKIT_MAIN(run) \
  int main(int argc, char** argv) { return toolkit::RunMain(run, argc, argv); }
#endif

// --- Messages ---------------------------------------------------------------------

// A path as every message of the tools shows it: in double quotes.
std::string Quoted(const std::string& path);

// --- Files ---------------------------------------------------------------------------

// Opens a file for reading ("rb": it must exist) or for appending ("ab":
// created when missing). Anything but a regular file (a folder, a named
// pipe, a device such as /dev/zero, a socket) is refused without waiting on
// it. Null on failure, with the reason (no path) in *error.
std::FILE* OpenRegularFile(const std::string& path, std::string* error, const char* mode = "rb");

// Opens a file as std::fopen does, the name being UTF-8 text.
std::FILE* OpenFile(const std::string& path, const char* mode);

// True when `path` names a device (through links): /dev/null, a terminal, a
// disk; on Windows also NUL, CON, COM1 and the others in any folder.
bool IsDevice(const std::string& path);

// True when both paths name the same existing file (also through links).
bool SameFile(const std::string& a, const std::string& b);

// Flushes what was written to `f` through to the disk; false on failure
// (with errno set). A file system that cannot do so counts as done.
bool SyncFile(std::FILE* f);

// Writes a file through a temporary file beside `path`: `fill` writes the
// contents to the stream it is given and returns false (with a reason) to
// abandon. The temporary file is flushed, closed and renamed over `path`
// only when everything succeeded; otherwise it is removed and `path` keeps
// what it held. With `followLinks`, a link is followed and kept (the file it
// names is replaced, or created when it dangles); without, a link at `path`
// is itself replaced and nothing is written through it. An existing
// target's permissions carry over. On failure *error reads
// `cannot write "PATH": REASON`.
//
// Temporary files are named ".pixtmp-PID-N" and locked by their writer
// while it writes; a later write into the same folder removes those whose
// lock it can take (their writer was killed), never one by its name alone.
// On POSIX systems SIGINT, SIGQUIT, SIGTERM and SIGHUP (unless ignored or
// handled) remove the temporary file, say so on stderr and end the process,
// and SIGXFSZ is ignored so that a file-size limit is a write error like any
// other; on Windows Ctrl+C, Ctrl+Break and closing the console do the same
// and end with status 130. On Windows the rename is MoveFileExW with
// MOVEFILE_REPLACE_EXISTING, and a device name (NUL, CON, ...) is refused as
// a device.
//
// The target is replaced by a new file: a hard link to the old one keeps
// the old contents. Its permissions carry over, and so do its owner and
// group where the system lets this process set them.
bool WriteFileReplacing(const std::string& path,
                        const std::function<bool(std::FILE*, std::string*)>& fill,
                        std::string* error, bool followLinks = true);

// Adds what `fill` gives at the end of `path` (through links; created when
// missing): `fill` calls `put` with the new bytes piece by piece (`put`
// returns false when they could not be written: `fill` should then stop)
// and returns false, with the reason in *why, to give up. The bytes already
// there are never written. On failure, on an exception out of `fill` (which
// passes on) or on one of the signals above, the file is cut back to its
// old length, or removed when this call created it (a dangling link stays as
// it was). Before the first new byte a journal (".pixundo-HASH" beside the
// file: its old length and identity) is put on the disk, and it is removed
// after the last: should the process be killed meanwhile, the next LockFile
// on the file cuts it back. Callers hold the file's lock (LockFile,
// exclusive) throughout. On failure *error reads `cannot append to "PATH":
// REASON`.
using AppendSink = std::function<bool(const void* data, size_t size)>;
bool AppendFile(const std::string& path,
                const std::function<bool(const AppendSink& put, std::string* why)>& fill,
                std::string* error);

// --- Locks ---------------------------------------------------------------------------
//
// The writers of a file take its lock exclusively and its readers shared, so
// that two writers never mix their edits and no reader sees a half-written
// file. The lock is a hidden file ".pixlock-HASH" beside the file (HASH from
// its name, links followed), held with flock (LockFileEx on Windows) and
// removed by the last who lets it go; one left by a killed process is taken
// over by the next (on Windows it vanishes with its last handle).

class FileLock {
 public:
  FileLock() = default;
  ~FileLock() { Release(); }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  void Release();

 private:
  friend bool LockFile(const std::string&, bool, int, FileLock*, std::string*);
  intptr_t handle_ = -1;  // a descriptor, or a HANDLE on Windows
  bool exclusive_ = false;
  std::string path_;
};

// How long a run waits for another to let a file go, by default.
constexpr int kLockWaitSeconds = 5;

// Takes the lock of `path` into *lock. While another process holds it, one
// line on stderr says so and the call waits, up to `waitSeconds`; then false,
// with *error reading `"PATH" is in use by another PROGRAM (process N) ...`.
// Where no lock can be had (a folder this process cannot write in, a file
// system without locks) the call goes on unlocked. Once locked, an append to
// the file that a kill cut off (see AppendFile) is taken back, with one line
// on stderr saying so.
bool LockFile(const std::string& path, bool exclusive, int waitSeconds, FileLock* lock,
              std::string* error);

// The program's name as messages begin with it ("pixsheet").
std::string ProgramName();

}  // namespace toolkit

#endif
