#include "toolkit.h"

#include "toolkit_shared.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <regex>
#include <system_error>

#ifndef _WIN32  // Windows: toolkit_windows.cpp
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
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

// --- Shared by both halves (toolkit_shared.h) ------------------------------------------

namespace shared {

namespace {
std::string& ProgramNameText() {
  static std::string& name = *new std::string("pixsheet");  // also read from exit handlers
  return name;
}
}  // namespace

void SetProgramName(const std::string& argv0) {
  std::string name = TextOf(PathOf(argv0).filename());
  if (name.size() > 4 && (name.compare(name.size() - 4, 4, ".exe") == 0 ||
                          name.compare(name.size() - 4, 4, ".EXE") == 0)) {
    name.resize(name.size() - 4);
  }
  if (!name.empty()) ProgramNameText() = name;
}

std::string HiddenName(const char* prefix, const std::string& fileName) {
  uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (unsigned char c : fileName) {
#ifdef _WIN32
    if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c - 'A' + 'a');
#endif
    hash = (hash ^ c) * 1099511628211ull;
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return prefix + std::string(hex);
}

constexpr char kJournalHead[] = "pixshow append journal 1\n";

std::string JournalText(const Journal& j) {
  return kJournalHead + std::to_string(j.length) + " " + std::to_string(j.volume) + " " +
         std::to_string(j.file) + " " + (j.created ? "1" : "0") + "\n" + j.name + "\n";
}

bool ParseJournal(const std::string& text, Journal* j) {
  const size_t head = sizeof kJournalHead - 1;
  if (text.compare(0, head, kJournalHead) != 0) return false;
  int created = 0, used = 0;
  if (std::sscanf(text.c_str() + head, "%lld %llu %llu %d\n%n", &j->length, &j->volume, &j->file,
                  &created, &used) != 4 ||
      used == 0 || j->length < 0 || text.empty() || text.back() != '\n') {
    return false;
  }
  j->created = created == 1;
  j->name = text.substr(head + static_cast<size_t>(used));
  j->name.pop_back();
  return !j->name.empty();
}

void Notice(const std::string& line) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s: %s\n", ProgramName().c_str(), line.c_str());
}

namespace {
std::string Holder(const std::string& holder) {
  return "another " + ProgramName() + (holder.empty() ? "" : " (process " + holder + ")");
}
std::string Seconds(int n) { return std::to_string(n) + (n == 1 ? " second" : " seconds"); }
}  // namespace

std::string Waiting(const std::string& path, const std::string& holder, int seconds) {
  return Quoted(path) + " is in use by " + Holder(holder) + ": waiting up to " + Seconds(seconds);
}

std::string StillLocked(const std::string& path, const std::string& holder, int seconds,
                        bool writing) {
  return Quoted(path) + " is still in use by " + Holder(holder) + " after " + Seconds(seconds) +
         ": try again when it is done" + (writing ? " (import --wait SECONDS waits longer)" : "");
}

std::string TakenBack(const std::string& path, const Journal& j) {
  const std::string why = "an append to it did not finish (the process was killed)";
  if (j.created) return "removed " + Quoted(path) + ": " + why;
  return "cut " + Quoted(path) + " back to its " + std::to_string(j.length) + " bytes: " + why;
}

}  // namespace shared

std::string ProgramName() { return shared::ProgramNameText(); }

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
// that a target name of up to 255 bytes still leaves room. The name only
// keeps writers apart; whether one is stale is told by its lock.
using shared::kJournalPrefix;
using shared::kLockPrefix;
using shared::kTempPrefix;

std::string TempNameBeside(const fs::path& target) {
  static std::atomic<unsigned> counter{0};
  const std::string name = kTempPrefix + std::to_string(static_cast<long>(TOOLKIT_GETPID())) + "-" +
                           std::to_string(counter++);
  return (target.parent_path() / name).string();
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// A file of the earlier naming ".NAME.tmp-PID-N-STAMP", written without a lock.
bool OlderTemporary(const std::string& name) {
  static const std::regex& older = *new std::regex(R"(\..+\.tmp-[0-9]{1,9}-[0-9]+-[0-9]+)");
  return std::regex_match(name, older);
}

bool SameInode(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// True when `fd` is still the file `path` names (nobody removed or replaced it).
bool StillNamed(int fd, const std::string& path) {
  struct stat a = {}, b = {};
  return fstat(fd, &a) == 0 && lstat(path.c_str(), &b) == 0 && SameInode(a, b);
}

// Flushes a folder's entries (a rename, a removal) to the disk; best effort.
void SyncFolder(const fs::path& dir) {
  const int fd = open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  if (fsync(fd) != 0) {
    // not every file system syncs folders
  }
  close(fd);
}

// A new temporary file beside `target`, locked for as long as `fd` (or a
// duplicate of it) stays open: -1 with errno on failure.
int CreateTemporary(const fs::path& target, std::string* temp) {
  int fd = -1;
  for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
    *temp = TempNameBeside(target);
    fd = open(temp->c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0 && errno != EEXIST) return -1;
    if (fd < 0) continue;
    // A cleaner that saw the file before it was locked may have removed it.
    const bool locked = flock(fd, LOCK_EX | LOCK_NB) == 0 || errno == ENOLCK || errno == EINVAL;
    if (!locked || !StillNamed(fd, *temp)) {
      close(fd);
      fd = -1;
    }
  }
  if (fd < 0) errno = EEXIST;
  return fd;
}

// --- Signals and processes (POSIX) -------------------------------------------------
//
// A write in progress registers what must be taken back should a signal end
// the process: the temporary file to remove, or an appended file to cut
// back to its old length (or remove, when the append created it) and its
// journal, and the line that says so. Only async-signal-safe calls touch the
// record.

struct PendingUndo {
  char path[4096];
  char journal[4096];
  char message[4200];
  volatile sig_atomic_t remove;     // remove `path`
  volatile sig_atomic_t fd;         // -1, or a file to cut back to `length`
  volatile sig_atomic_t unjournal;  // remove `journal` once the file is cut back
  volatile sig_atomic_t say;        // write `message` to stderr
  off_t length;
};
PendingUndo g_pendingUndo = {{0}, {0}, {0}, 0, -1, 0, 0, 0};

// Exclusive locks held, whose files the last holder removes (see FileLock).
constexpr int kMaxHeldLocks = 8;
char g_heldLocks[kMaxHeldLocks][4096];
volatile sig_atomic_t g_heldLockUsed[kMaxHeldLocks];

void UndoAndEnd(int sig) {
  bool cut = true;
  if (g_pendingUndo.fd >= 0 && ftruncate(g_pendingUndo.fd, g_pendingUndo.length) != 0) cut = false;
  if (g_pendingUndo.remove) unlink(g_pendingUndo.path);
  if (g_pendingUndo.unjournal && cut) unlink(g_pendingUndo.journal);
  for (int i = 0; i < kMaxHeldLocks; ++i) {
    if (g_heldLockUsed[i]) unlink(g_heldLocks[i]);
  }
  if (g_pendingUndo.say && write(2, g_pendingUndo.message, std::strlen(g_pendingUndo.message))) {
    // nothing more can be done on the way out
  }
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
  for (const int sig : {SIGINT, SIGQUIT, SIGTERM, SIGHUP}) {
    struct sigaction old = {};
    if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler != SIG_DFL) continue;
    struct sigaction undo = {};
    undo.sa_handler = UndoAndEnd;
    sigemptyset(&undo.sa_mask);
    sigaction(sig, &undo, nullptr);
  }
}

void CopyInto(char* to, size_t room, const std::string& text) {
  const size_t n = std::min(text.size(), room - 1);
  std::memcpy(to, text.data(), n);
  to[n] = 0;
}

// `message` is what the interrupted run says (without the program's name).
void ArmUndo(const std::string& removePath, int truncateFd, long long length,
             const std::string& journal, const std::string& message) {
  CatchEndingSignals();
  g_pendingUndo.remove = 0;
  g_pendingUndo.fd = -1;
  g_pendingUndo.unjournal = 0;
  g_pendingUndo.say = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  CopyInto(g_pendingUndo.message, sizeof g_pendingUndo.message,
           ProgramName() + ": interrupted: " + message + "\n");
  CopyInto(g_pendingUndo.journal, sizeof g_pendingUndo.journal, journal);
  if (!removePath.empty() && removePath.size() < sizeof g_pendingUndo.path) {
    CopyInto(g_pendingUndo.path, sizeof g_pendingUndo.path, removePath);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    g_pendingUndo.remove = 1;
  }
  g_pendingUndo.length = static_cast<off_t>(length);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  g_pendingUndo.fd = truncateFd;
  g_pendingUndo.unjournal = !journal.empty() && journal.size() < sizeof g_pendingUndo.journal;
  g_pendingUndo.say = 1;
}

void DisarmUndo() {
  g_pendingUndo.remove = 0;
  g_pendingUndo.fd = -1;
  g_pendingUndo.unjournal = 0;
  g_pendingUndo.say = 0;
}

// Puts `journal` on the disk as `journalPath`, whole or not at all (a
// temporary file renamed into place).
bool WriteJournal(const fs::path& target, const std::string& journalPath,
                  const shared::Journal& journal, std::string* why) {
  std::string temp;
  const int fd = CreateTemporary(target, &temp);
  if (fd < 0) {
    *why = "cannot write its journal: " + std::string(std::strerror(errno));
    return false;
  }
  const std::string text = shared::JournalText(journal);
  const bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
                  (fsync(fd) == 0 || errno == EINVAL) &&
                  rename(temp.c_str(), journalPath.c_str()) == 0;
  if (!ok) {
    *why = "cannot write its journal: " + std::string(std::strerror(errno));
    unlink(temp.c_str());
  }
  close(fd);
  if (ok) SyncFolder(target.parent_path());
  return ok;
}

// Appends through a descriptor: created with O_EXCL when missing, so that
// exactly what this call created is removed on failure.
bool AppendBytes(const std::string& target, const std::string& shown,
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
  const fs::path where(target);
  const std::string journal =
      (where.parent_path() / shared::HiddenName(kJournalPrefix, where.filename().string()))
          .string();
  shared::Journal record;
  record.name = where.filename().string();
  record.length = st.st_size;
  record.volume = st.st_dev;
  record.file = st.st_ino;
  record.created = created;
  if (!WriteJournal(where, journal, record, why)) {
    if (created) unlink(target.c_str());
    close(fd);
    return false;
  }
  ArmUndo(created ? target : std::string(), created ? -1 : fd, st.st_size, journal,
          created ? Quoted(shown) + " was not made"
                  : "the bytes appended to " + Quoted(shown) + " were taken back");
  auto dropJournal = [&]() {
    unlink(journal.c_str());
    SyncFolder(where.parent_path());
  };
  // Take back whatever part of the new bytes got in.
  auto undo = [&]() {
    if (created) {
      unlink(target.c_str());
      dropJournal();
    } else if (ftruncate(fd, st.st_size) != 0) {
      *why += " (and cutting it back failed: " + std::string(std::strerror(errno)) + ")";
    } else {
      dropJournal();
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
    dropJournal();
    DisarmUndo();
  }
  if (close(fd) != 0 && why->empty()) *why = std::strerror(errno);
  return why->empty();
}

// Removes what killed runs left in `dir`, once per folder and run: our
// temporary files and lock files that nobody holds locked (a live writer
// holds its own), and files of the older naming, which took no lock, once
// nobody holds them and they have not changed for an hour.
void ClearStaleTemporaries(const fs::path& dir) {
  static auto& cleared = *new std::set<std::string>;  // also used from exit handlers
  const fs::path folder = dir.empty() ? fs::path(".") : dir;
  if (!cleared.insert(folder.string()).second) return;
  std::error_code ec;
  const auto hourAgo = fs::file_time_type::clock::now() - std::chrono::hours(1);
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const bool older = OlderTemporary(name);
    if (!older && !StartsWith(name, kTempPrefix) && !StartsWith(name, kLockPrefix)) continue;
    std::error_code ignored;
    if (older && !(it->last_write_time(ignored) < hourAgo)) continue;
    const std::string path = it->path().string();
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) continue;
    struct stat st = {};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        StillNamed(fd, path)) {
      unlink(path.c_str());
    }
    close(fd);
  }
}

// Takes back an append to `target` that its journal says was cut off.
void TakeBackCutOffAppend(const fs::path& target, const std::string& shown) {
  const std::string journalPath =
      (target.parent_path() / shared::HiddenName(kJournalPrefix, target.filename().string()))
          .string();
  std::FILE* in = std::fopen(journalPath.c_str(), "rb");
  if (!in) return;
  char buffer[8192];
  const size_t n = std::fread(buffer, 1, sizeof buffer, in);
  std::fclose(in);
  shared::Journal journal;
  if (!shared::ParseJournal(std::string(buffer, n), &journal)) {
    unlink(journalPath.c_str());  // cut off while it was written: nothing was appended yet
    return;
  }
  if (journal.name != target.filename().string()) return;  // another file's
  const int fd = open(target.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0 && errno != ENOENT) {
    shared::Notice("cannot take back a cut-off append to " + Quoted(shown) + ": " +
                   std::strerror(errno));
    return;
  }
  struct stat st = {};
  if (fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_dev == journal.volume &&
      st.st_ino == journal.file && st.st_size >= journal.length) {
    const bool done =
        journal.created ? unlink(target.c_str()) == 0
                        : ftruncate(fd, journal.length) == 0 && (fsync(fd) == 0 || errno == EINVAL);
    if (!done) {
      shared::Notice("cannot take back a cut-off append to " + Quoted(shown) + ": " +
                     std::strerror(errno));
      close(fd);
      return;
    }
    shared::Notice(shared::TakenBack(shown, journal));
  }  // else the file was replaced or removed since: the journal is out of date
  if (fd >= 0) close(fd);
  unlink(journalPath.c_str());
  SyncFolder(target.parent_path());
}

}  // namespace

int RunMain(int (*run)(const std::vector<std::string>& args), int argc, char** argv) {
  if (argc > 0) shared::SetProgramName(argv[0]);
  return run(std::vector<std::string>(argv, argv + argc));
}

void FileLock::Release() {
  if (handle_ < 0) return;
  const int fd = static_cast<int>(handle_);
  // The last holder removes the lock file; anyone waiting on it then finds
  // the name gone and takes a new one.
  if (flock(fd, LOCK_EX | LOCK_NB) == 0 && StillNamed(fd, path_)) unlink(path_.c_str());
  for (int i = 0; i < kMaxHeldLocks; ++i) {
    if (g_heldLockUsed[i] && path_ == g_heldLocks[i]) g_heldLockUsed[i] = 0;
  }
  close(fd);
  handle_ = -1;
}

bool LockFile(const std::string& path, bool exclusive, int waitSeconds, FileLock* lock,
              std::string* error) {
  lock->Release();
  fs::path target(path);
  std::string why;
  if (!ResolveLinks(&target, &why)) return true;  // the command's own open says why
  const std::string lockPath =
      (target.parent_path() / shared::HiddenName(kLockPrefix, target.filename().string())).string();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(waitSeconds);
  bool told = false;
  for (;;) {
    int fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0666);
    // Another user's lock file may be read-only to us: a lock needs no more.
    if (fd < 0) fd = open(lockPath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return true;  // no lock file, and no right to make one: unlocked
    if (flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0) {
      if (StillNamed(fd, lockPath)) {
        lock->handle_ = fd;
        break;
      }
      close(fd);  // let go by its last holder meanwhile: take the new one
      continue;
    }
    if (errno != EWOULDBLOCK) {  // a file system without locks
      close(fd);
      return true;
    }
    char holder[16] = "";
    const ssize_t n = pread(fd, holder, sizeof holder - 1, 0);
    std::string pid(holder, n > 0 ? static_cast<size_t>(n) : 0);
    pid = pid.substr(0, pid.find_first_not_of("0123456789"));
    close(fd);
    if (std::chrono::steady_clock::now() >= deadline) {
      *error = shared::StillLocked(path, pid, waitSeconds, exclusive);
      return false;
    }
    if (!told) shared::Notice(shared::Waiting(path, pid, waitSeconds));
    told = true;
    usleep(20000);
  }
  lock->exclusive_ = exclusive;
  lock->path_ = lockPath;
  if (exclusive) {
    const std::string pid = std::to_string(static_cast<long>(getpid())) + "\n";
    if (ftruncate(static_cast<int>(lock->handle_), 0) != 0 ||
        pwrite(static_cast<int>(lock->handle_), pid.data(), pid.size(), 0) < 0) {
      // the holder's number is only for messages
    }
    for (int i = 0; i < kMaxHeldLocks; ++i) {
      if (g_heldLockUsed[i]) continue;
      CopyInto(g_heldLocks[i], sizeof g_heldLocks[i], lockPath);
      std::atomic_signal_fence(std::memory_order_seq_cst);
      g_heldLockUsed[i] = 1;
      break;
    }
  }
  TakeBackCutOffAppend(target, path);
  return true;
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
  ArmUndo(std::string(), -1, 0, std::string(), Quoted(path) + " was not written");
  const int fd = CreateTemporary(target, &temp);
  // A second descriptor keeps the temporary file locked until it is renamed.
  const int held = fd < 0 ? -1 : fcntl(fd, F_DUPFD_CLOEXEC, 0);
  std::FILE* f = held < 0 ? nullptr : fdopen(fd, "wb");
  if (!f) {
    const int openErrno = errno;
    if (fd >= 0) {
      unlink(temp.c_str());
      close(fd);
      if (held >= 0) close(held);
    }
    DisarmUndo();
    return failed(std::strerror(openErrno));
  }
  ArmUndo(temp, -1, 0, std::string(), Quoted(path) + " was not written");

  bool ok = fill(f, &why);
  if (ok && std::fflush(f) != 0) {
    ok = false;
    why = std::strerror(errno);
  }
  if (ok && fsync(fileno(f)) != 0 && errno != EINVAL) {
    ok = false;
    why = std::strerror(errno);
  }
  if (std::ferror(f) && ok) {
    ok = false;
    why = "write error";
  }
  if (std::fclose(f) != 0 && ok) {
    ok = false;
    why = std::strerror(errno);
  }
  if (ok && exists) {
    // The owner and group carry over where this process may set them
    // (fchown refuses otherwise); the permissions after, since a change of
    // owner may clear the set-id bits.
    struct stat old = {};
    if (stat(target.c_str(), &old) == 0 && fchown(held, old.st_uid, old.st_gid) != 0 &&
        fchown(held, static_cast<uid_t>(-1), old.st_gid) != 0) {
      // not permitted: the new file is the importer's
    }
    fs::permissions(temp, st.permissions(), ec);  // best effort
  }
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
  close(held);
  DisarmUndo();
  if (!ok) return failed(why.empty() ? "unknown error" : why);
  return true;
}

bool AppendFile(const std::string& path,
                const std::function<bool(const AppendSink&, std::string*)>& fill,
                std::string* error) {
  fs::path target(path);
  std::string why;
  if (ResolveLinks(&target, &why)) AppendBytes(target.string(), path, fill, &why);
  if (why.empty()) return true;
  *error = "cannot append to " + Quoted(path) + ": " + why;
  return false;
}

#endif  // !_WIN32

}  // namespace toolkit
