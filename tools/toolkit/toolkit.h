// toolkit: the helpers pixshow's tools share (pixsheet, pixshow-capture,
// pixshow-samplegen): command-line options, opening input files without
// blocking on pipes and devices, and replacing output files safely. The same
// on Windows (toolkit_windows.cpp), where paths and arguments are UTF-8 text
// too.
#ifndef PIXSHOW_TOOLS_TOOLKIT_H
#define PIXSHOW_TOOLS_TOOLKIT_H

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
// Temporary files are named ".pixtmp-PID-N"; a later write into the same
// folder removes those whose process has ended. On POSIX systems SIGINT,
// SIGTERM and SIGHUP (unless ignored or handled) remove the temporary file
// before they end the process, and SIGXFSZ is ignored so that a file-size
// limit is a write error like any other. On Windows the rename is
// MoveFileExW with MOVEFILE_REPLACE_EXISTING, and a device name (NUL, CON,
// ...) is refused as a device.
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
// it was). On failure *error reads `cannot append to "PATH": REASON`.
using AppendSink = std::function<bool(const void* data, size_t size)>;
bool AppendFile(const std::string& path,
                const std::function<bool(const AppendSink& put, std::string* why)>& fill,
                std::string* error);

}  // namespace toolkit

#endif
