#include "toolkit.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <regex>
#include <system_error>

#ifndef _WIN32  // Windows: toolkit_windows.cpp
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#define TOOLKIT_GETPID getpid
#endif

namespace fs = std::filesystem;

namespace toolkit {

// --- Options --------------------------------------------------------------------

bool ParseArgs(const std::vector<std::string>& args, const std::vector<Option>& options,
               ParsedArgs* out, std::string* error) {
  *out = ParsedArgs();
  bool optionsDone = false;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (optionsDone || arg.size() < 2 || arg[0] != '-') {
      out->positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsDone = true;
      continue;
    }
    std::string value;
    bool hasValue = false;
    const size_t eq = arg.find('=');
    if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
      hasValue = true;
    }
    const Option* option = nullptr;
    for (const Option& o : options) {
      if (arg == o.name || (!o.alias.empty() && arg == o.alias)) option = &o;
    }
    if (!option) {
      *error = "unknown option " + arg;
      return false;
    }
    if (!option->takesValue) {
      if (hasValue) {
        *error = "option " + arg + " takes no value";
        return false;
      }
      out->flags.insert(option->name);
      continue;
    }
    if (!hasValue && i + 1 < args.size()) {
      value = args[++i];
      hasValue = true;
    }
    if (!hasValue || value.empty()) {
      *error = "option " + arg + " needs a value";
      return false;
    }
    out->values[option->name] = value;
  }
  return true;
}

// --- The command line and paths ---------------------------------------------------

std::filesystem::path PathOf(const std::string& utf8) { return fs::u8path(utf8); }

std::string TextOf(const std::filesystem::path& path) { return path.u8string(); }

// --- Messages ---------------------------------------------------------------------

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

// --- Files ---------------------------------------------------------------------------

#ifndef _WIN32  // Windows: toolkit_windows.cpp

namespace {

const char* DescribeType(fs::file_type type) {
  switch (type) {
    case fs::file_type::directory:
      return "is a directory";
    case fs::file_type::fifo:
      return "is a named pipe, not a regular file";
    case fs::file_type::character:
    case fs::file_type::block:
      return "is a device, not a regular file";
    case fs::file_type::socket:
      return "is a socket, not a regular file";
    default:
      return "not a regular file";
  }
}

fs::file_type TypeOfMode(unsigned mode) {
  if (S_ISREG(mode)) return fs::file_type::regular;
  if (S_ISDIR(mode)) return fs::file_type::directory;
  if (S_ISFIFO(mode)) return fs::file_type::fifo;
  if (S_ISCHR(mode) || S_ISBLK(mode)) return fs::file_type::character;
  if (S_ISSOCK(mode)) return fs::file_type::socket;
  return fs::file_type::unknown;
}

// Follows `*p` through links (each relative to the folder it stands in) to
// the path a write lands on, which need not exist: a dangling link gives
// the file it would create.
bool ResolveLinks(fs::path* p, std::string* why) {
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(*p, ec))) return true;
    const fs::path to = fs::read_symlink(*p, ec);
    if (ec) {
      *why = ec.message();
      return false;
    }
    *p = to.is_absolute() ? to : p->parent_path() / to;
  }
  *why = std::strerror(ELOOP);
  return false;
}

// Temporary files are named ".pixtmp-PID-N" beside their target: short, so
// that a target name of up to 255 bytes still leaves room, and owned by a
// process that can be asked whether it still runs.
constexpr char kTempPrefix[] = ".pixtmp-";

std::string TempNameBeside(const fs::path& target) {
  static std::atomic<unsigned> counter{0};
  const std::string name = kTempPrefix + std::to_string(static_cast<long>(TOOLKIT_GETPID())) + "-" +
                           std::to_string(counter++);
  return (target.parent_path() / name).string();
}

// The process that made a temporary file of ours (also of the earlier
// naming ".NAME.tmp-PID-N-STAMP"), or 0 for any other name.
long TempOwner(const std::string& name) {
  static const std::regex& ours = *new std::regex(R"(\.pixtmp-([0-9]{1,9})-[0-9]+)");
  static const std::regex& older = *new std::regex(R"(\..+\.tmp-([0-9]{1,9})-[0-9]+-[0-9]+)");
  std::smatch m;
  if (std::regex_match(name, m, ours) || std::regex_match(name, m, older))
    return std::stol(m[1].str());
  return 0;
}

// --- Signals and processes (POSIX) -------------------------------------------------
//
// A write in progress registers what must be taken back should a signal end
// the process: the temporary file to remove, or an appended file to cut
// back to its old length (or remove, when the append created it). Only
// async-signal-safe calls touch the record.

struct PendingUndo {
  char path[4096];
  volatile sig_atomic_t remove;  // remove `path`
  volatile sig_atomic_t fd;      // -1, or a file to cut back to `length`
  off_t length;
};
PendingUndo g_pendingUndo = {{0}, 0, -1, 0};

void UndoAndEnd(int sig) {
  if (g_pendingUndo.fd >= 0 && ftruncate(g_pendingUndo.fd, g_pendingUndo.length) != 0) {
    // nothing more can be done on the way out
  }
  if (g_pendingUndo.remove) unlink(g_pendingUndo.path);
  signal(sig, SIG_DFL);
  raise(sig);  // delivered as the handler returns: the process ends as it would have
}

// Interrupts that end the process undo the write in progress first (left
// alone when the caller ignores or handles them). A file-size limit makes
// writes fail with EFBIG instead of ending the process, so it is rolled back
// like any other write error.
void CatchEndingSignals() {
  static bool caught = false;
  if (caught) return;
  caught = true;
  signal(SIGXFSZ, SIG_IGN);
  for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old = {};
    if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler != SIG_DFL) continue;
    struct sigaction undo = {};
    undo.sa_handler = UndoAndEnd;
    sigemptyset(&undo.sa_mask);
    sigaction(sig, &undo, nullptr);
  }
}

void ArmUndo(const std::string& removePath, int truncateFd, long long length) {
  CatchEndingSignals();
  g_pendingUndo.remove = 0;
  g_pendingUndo.fd = -1;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  if (!removePath.empty() && removePath.size() < sizeof g_pendingUndo.path) {
    std::memcpy(g_pendingUndo.path, removePath.c_str(), removePath.size() + 1);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    g_pendingUndo.remove = 1;
  }
  g_pendingUndo.length = static_cast<off_t>(length);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  g_pendingUndo.fd = truncateFd;
}

void DisarmUndo() {
  g_pendingUndo.remove = 0;
  g_pendingUndo.fd = -1;
}

bool ProcessRuns(long pid) { return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM; }

// Appends through a descriptor: created with O_EXCL when missing, so that
// exactly what this call created is removed on failure.
bool AppendBytes(const std::string& target,
                 const std::function<bool(const AppendSink&, std::string*)>& fill,
                 std::string* why) {
  const int access = O_WRONLY | O_APPEND | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
  bool created = false;
  int fd = open(target.c_str(), access);
  if (fd < 0 && errno == ENOENT) {
    fd = open(target.c_str(), access | O_CREAT | O_EXCL, 0666);
    created = fd >= 0;
  }
  if (fd < 0) {
    *why = errno == ENXIO ? DescribeType(fs::file_type::unknown) : std::strerror(errno);
    return false;
  }
  struct stat st = {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    *why = DescribeType(TypeOfMode(st.st_mode));
    close(fd);
    return false;
  }
  const int flags = fcntl(fd, F_GETFL);
  if (flags != -1) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  ArmUndo(created ? target : std::string(), created ? -1 : fd, st.st_size);
  // Take back whatever part of the new bytes got in.
  auto undo = [&]() {
    if (created) {
      unlink(target.c_str());
    } else if (ftruncate(fd, st.st_size) != 0) {
      *why += " (and cutting it back failed: " + std::string(std::strerror(errno)) + ")";
    }
    DisarmUndo();
  };
  const AppendSink put = [&](const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    for (size_t left = size; left > 0 && why->empty();) {
      const ssize_t n = write(fd, p, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        *why = std::strerror(n < 0 ? errno : ENOSPC);
        break;
      }
      p += n;
      left -= static_cast<size_t>(n);
    }
    return why->empty();
  };
  try {
    if (!fill(put, why) && why->empty()) *why = "unknown error";
  } catch (...) {
    undo();
    close(fd);
    throw;
  }
  if (why->empty() && fsync(fd) != 0 && errno != EINVAL) *why = std::strerror(errno);
  if (!why->empty()) {
    undo();
  } else {
    DisarmUndo();
  }
  if (close(fd) != 0 && why->empty()) *why = std::strerror(errno);
  return why->empty();
}

// Removes temporary files of ours in `dir` whose process has ended (killed
// while writing), once per folder and run.
void ClearStaleTemporaries(const fs::path& dir) {
  static auto& cleared = *new std::set<std::string>;  // also used from exit handlers
  const fs::path folder = dir.empty() ? fs::path(".") : dir;
  if (!cleared.insert(folder.string()).second) return;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const long owner = TempOwner(it->path().filename().string());
    std::error_code ignored;
    if (owner > 0 && !ProcessRuns(owner) && it->is_regular_file(ignored)) {
      fs::remove(it->path(), ignored);
    }
  }
}

}  // namespace

int RunMain(int (*run)(const std::vector<std::string>& args), int argc, char** argv) {
  return run(std::vector<std::string>(argv, argv + argc));
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

bool SyncFile(std::FILE* f) { return fsync(fileno(f)) == 0 || errno == EINVAL; }

std::FILE* OpenRegularFile(const std::string& path, std::string* error, const char* mode) {
  const bool append = std::strcmp(mode, "ab") == 0;
  // Without O_NONBLOCK, opening a named pipe waits for a writer. The kind of
  // file is checked on what was opened, so nothing can be swapped in between.
  const int access = append ? O_WRONLY | O_APPEND | O_CREAT : O_RDONLY;
  const int fd = open(path.c_str(), access | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) {
    // A pipe or socket that nobody reads refuses to be opened for writing.
    *error = errno == ENXIO ? DescribeType(fs::file_type::unknown) : std::strerror(errno);
    return nullptr;
  }
  struct stat st = {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    *error = DescribeType(TypeOfMode(st.st_mode));
    close(fd);
    return nullptr;
  }
  const int flags = fcntl(fd, F_GETFL);
  if (flags != -1) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  std::FILE* f = fdopen(fd, append ? "ab" : "rb");
  if (!f) {
    *error = std::strerror(errno);
    close(fd);
  }
  return f;
}

bool IsDevice(const std::string& path) {
  struct stat st = {};
  return stat(path.c_str(), &st) == 0 && (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode));
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return fs::equivalent(a, b, ec) && !ec;
}

bool WriteFileReplacing(const std::string& path,
                        const std::function<bool(std::FILE*, std::string*)>& fill,
                        std::string* error, bool followLinks) {
  std::string scratch;
  if (!error) error = &scratch;
  auto failed = [&](const std::string& why) {
    *error = "cannot write " + Quoted(path) + ": " + why;
    return false;
  };
  fs::path target(path);
  std::string why;
  if (followLinks && !ResolveLinks(&target, &why)) return failed(why);
  std::error_code ec;
  const fs::file_status st = fs::symlink_status(target, ec);
  // Unless followed, a link is replaced by the file itself.
  const bool exists = fs::exists(st) && !fs::is_symlink(st);
  if (exists && !fs::is_regular_file(st)) {
    // A folder, device or pipe cannot be replaced by renaming a file over it.
    return failed(DescribeType(st.type()));
  }
  if (exists) {
    // Refuse a target the user could not write in place (read-only file),
    // rather than quietly replacing it. Opening for appending changes nothing.
    std::FILE* probe = std::fopen(target.string().c_str(), "ab");
    if (!probe) return failed(std::strerror(errno));
    std::fclose(probe);
  }
  ClearStaleTemporaries(target.parent_path());

  std::string temp;
  std::FILE* f = nullptr;
  int openErrno = 0;
  for (int attempt = 0; attempt < 8 && !f; ++attempt) {
    temp = TempNameBeside(target);
    ArmUndo(temp, -1, 0);
    f = std::fopen(temp.c_str(), "wbx");
    openErrno = errno;
    if (!f && openErrno != EEXIST) break;
  }
  if (!f) {
    DisarmUndo();
    return failed(std::strerror(openErrno));
  }

  bool ok = fill(f, &why);
  if (ok && std::fflush(f) != 0) {
    ok = false;
    why = std::strerror(errno);
  }
#ifndef _WIN32
  if (ok && fsync(fileno(f)) != 0 && errno != EINVAL) {
    ok = false;
    why = std::strerror(errno);
  }
#endif
  if (std::ferror(f) && ok) {
    ok = false;
    why = "write error";
  }
  if (std::fclose(f) != 0 && ok) {
    ok = false;
    why = std::strerror(errno);
  }
  if (ok && exists) fs::permissions(temp, st.permissions(), ec);  // best effort
  if (ok) {
    fs::rename(temp, target, ec);
    if (ec) {
      ok = false;
      why = ec.message();
    }
  }
  if (!ok) {
    std::error_code ignored;
    fs::remove(temp, ignored);
  }
  DisarmUndo();
  if (!ok) return failed(why.empty() ? "unknown error" : why);
  return true;
}

bool AppendFile(const std::string& path,
                const std::function<bool(const AppendSink&, std::string*)>& fill,
                std::string* error) {
  fs::path target(path);
  std::string why;
  if (ResolveLinks(&target, &why)) AppendBytes(target.string(), fill, &why);
  if (why.empty()) return true;
  *error = "cannot append to " + Quoted(path) + ": " + why;
  return false;
}

#endif  // !_WIN32

}  // namespace toolkit
