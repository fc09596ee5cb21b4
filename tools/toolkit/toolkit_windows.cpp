// The toolkit's files and command line on Windows: the same promises as on
// POSIX systems (toolkit.cpp), kept with the system's own calls. Names are
// UTF-8 text inside the tools and UTF-16 towards the system; a file's kind is
// checked on the handle that was opened (GetFileType), and an output is
// replaced in one step by MoveFileExW(MOVEFILE_REPLACE_EXISTING).
#ifdef _WIN32

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <set>

#include "toolkit.h"
#include "toolkit_shared.h"

namespace fs = std::filesystem;

namespace toolkit {

namespace {

std::string Utf8(const wchar_t* wide) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string text(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, &text[0], n, nullptr, nullptr);
  text.pop_back();  // the terminating zero
  return text;
}

std::wstring Wide(const std::string& utf8) { return PathOf(utf8).wstring(); }

// The reason for a failed call, in the words the tools use on every system.
std::string Reason(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return "No such file or directory";
    case ERROR_ACCESS_DENIED:
      return "Permission denied";
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return "the file is in use by another program";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return "No space left on device";
    case ERROR_WRITE_PROTECT:
      return "Read-only file system";
    default:
      break;
  }
  char text[256] = "";
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, text, sizeof text, nullptr);
  std::string reason(text, n);
  while (!reason.empty() && std::isspace(static_cast<unsigned char>(reason.back()))) {
    reason.pop_back();
  }
  return reason.empty() ? "system error " + std::to_string(code) : reason;
}

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9 name devices in every folder, also
// with an extension ("NUL.png").
bool IsDeviceName(const std::string& path) {
  std::string stem = TextOf(PathOf(path).filename());
  stem = stem.substr(0, stem.find('.'));
  while (!stem.empty() && (stem.back() == ' ' || stem.back() == ':')) stem.pop_back();
  for (char& c : stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" || stem == "CONIN$" ||
      stem == "CONOUT$") {
    return true;
  }
  return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
         stem[3] >= '1' && stem[3] <= '9';
}

const char kDevice[] = "is a device, not a regular file";

// What kind of file `h` is: empty for a regular file, else the reason to refuse it.
std::string KindProblem(HANDLE h) {
  switch (GetFileType(h)) {
    case FILE_TYPE_DISK: {
      BY_HANDLE_FILE_INFORMATION info;
      if (GetFileInformationByHandle(h, &info) &&
          (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return "is a directory";
      }
      return std::string();
    }
    case FILE_TYPE_PIPE:
      return "is a named pipe, not a regular file";
    case FILE_TYPE_CHAR:
      return kDevice;
    default:
      return "not a regular file";
  }
}

// Opens an existing file or folder only to look at it (no access to its
// data), through links or, without `followLinks`, the link itself.
HANDLE OpenToLook(const fs::path& path, bool followLinks = true) {
  return CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT),
                     nullptr);
}

// A C stream over a handle; the handle is closed on failure.
std::FILE* StreamOf(HANDLE h, int flags, const char* mode) {
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), flags | _O_BINARY);
  if (fd < 0) {
    CloseHandle(h);
    return nullptr;
  }
  std::FILE* f = _fdopen(fd, mode);
  if (!f) _close(fd);
  return f;
}

// --- Temporary files, locks and the undo of an interrupted write ---------------------

using shared::kJournalPrefix;
using shared::kLockPrefix;
using shared::kTempPrefix;

// Byte-range locks stop others reading the locked bytes, so the lock stands
// far past the bytes anyone reads (a lock file's first bytes name its holder).
constexpr DWORD kLockOffset = 0x40000000;

bool TryLock(HANDLE h, bool exclusive) {
  OVERLAPPED at = {};
  at.Offset = kLockOffset;
  return LockFileEx(h, (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0) | LOCKFILE_FAIL_IMMEDIATELY, 0, 1,
                    0, &at);
}

fs::path Beside(const fs::path& target, const char* prefix) {
  return target.parent_path() / PathOf(shared::HiddenName(prefix, TextOf(target.filename())));
}

// A new hidden temporary file beside `target`, locked while `h` is open; others
// may rename it (so may this process) but never remove it before it is unlocked.
HANDLE CreateTemporary(const fs::path& target, fs::path* temp, DWORD* error) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 8; ++attempt) {
    *temp = target.parent_path() / PathOf(kTempPrefix + std::to_string(GetCurrentProcessId()) +
                                          "-" + std::to_string(counter++));
    const HANDLE h = CreateFileW(temp->c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                 FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_HIDDEN, nullptr);
    *error = GetLastError();
    if (h == INVALID_HANDLE_VALUE && *error != ERROR_FILE_EXISTS) return h;
    if (h == INVALID_HANDLE_VALUE) continue;
    // A cleaner that saw the file before it was locked may have doomed it.
    FILE_STANDARD_INFO info = {};
    if (TryLock(h, true) && GetFileInformationByHandleEx(h, FileStandardInfo, &info, sizeof info) &&
        !info.DeletePending) {
      return h;
    }
    CloseHandle(h);
  }
  *error = ERROR_FILE_EXISTS;
  return INVALID_HANDLE_VALUE;
}

// What a Ctrl+C (or Ctrl+Break, or closing the console) must take back: the
// temporary file to remove, or an appended file to cut back (or remove) and
// its journal, and the line that says so. The handler runs on a thread of
// its own: it stops the main thread first, and then uses no heap and no stdio.
struct PendingUndo {
  wchar_t remove[MAX_PATH * 4];
  wchar_t journal[MAX_PATH * 4];
  char message[4200];
  HANDLE cut;   // a file to cut back to `length`, or null
  HANDLE doom;  // the file `remove` names, open with DELETE access, or null
  LONGLONG length;
  volatile LONG armed;
};
PendingUndo g_pendingUndo = {};
HANDLE g_mainThread = nullptr;
UINT g_codePage = 0;

BOOL WINAPI UndoAndEnd(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  if (g_mainThread && SuspendThread(g_mainThread) != static_cast<DWORD>(-1)) {
    CONTEXT context = {};
    context.ContextFlags = CONTEXT_CONTROL;
    GetThreadContext(g_mainThread, &context);  // returns once the thread has stopped
  }
  if (g_pendingUndo.armed) {
    bool cut = true;
    if (g_pendingUndo.cut) {
      FILE_END_OF_FILE_INFO end = {};
      end.EndOfFile.QuadPart = g_pendingUndo.length;
      cut = SetFileInformationByHandle(g_pendingUndo.cut, FileEndOfFileInfo, &end, sizeof end);
      FlushFileBuffers(g_pendingUndo.cut);
    }
    FILE_DISPOSITION_INFO gone = {};
    gone.DeleteFile = TRUE;
    if (g_pendingUndo.doom) {
      SetFileInformationByHandle(g_pendingUndo.doom, FileDispositionInfo, &gone, sizeof gone);
    } else if (g_pendingUndo.remove[0]) {
      DeleteFileW(g_pendingUndo.remove);
    }
    if (g_pendingUndo.journal[0] && cut) DeleteFileW(g_pendingUndo.journal);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), g_pendingUndo.message,
              static_cast<DWORD>(std::strlen(g_pendingUndo.message)), &written, nullptr);
  }
  if (g_codePage) SetConsoleOutputCP(g_codePage);
  TerminateProcess(GetCurrentProcess(), 130);  // as a shell reports SIGINT
  return TRUE;
}

void CopyWide(wchar_t* to, size_t room, const fs::path& path) {
  const std::wstring text = path.empty() ? std::wstring() : path.wstring();
  const size_t n = text.size() < room ? text.size() : 0;  // too long: nothing
  std::memcpy(to, text.data(), n * sizeof(wchar_t));
  to[n] = 0;
}

void DisarmUndo() {
  InterlockedExchange(&g_pendingUndo.armed, 0);
  g_pendingUndo.doom = nullptr;
  if (g_pendingUndo.cut) CloseHandle(g_pendingUndo.cut);
  g_pendingUndo.cut = nullptr;
}

// `cut` is a handle of the appended file, duplicated here.
void ArmUndo(const fs::path& remove, HANDLE cut, long long length, const fs::path& journal,
             const std::string& message, HANDLE doom = nullptr) {
  DisarmUndo();
  g_pendingUndo.doom = doom;
  CopyWide(g_pendingUndo.remove, sizeof g_pendingUndo.remove / sizeof(wchar_t), remove);
  CopyWide(g_pendingUndo.journal, sizeof g_pendingUndo.journal / sizeof(wchar_t), journal);
  const std::string line = ProgramName() + ": interrupted: " + message + "\n";
  const size_t n = std::min(line.size(), sizeof g_pendingUndo.message - 1);
  std::memcpy(g_pendingUndo.message, line.data(), n);
  g_pendingUndo.message[n] = 0;
  if (cut) {
    DuplicateHandle(GetCurrentProcess(), cut, GetCurrentProcess(), &g_pendingUndo.cut, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
  }
  g_pendingUndo.length = length;
  InterlockedExchange(&g_pendingUndo.armed, 1);
}

// Writes `text` as `path`, whole or not at all (a temporary file renamed into place).
bool WriteJournal(const fs::path& target, const fs::path& path, const std::string& text,
                  std::string* why) {
  fs::path temp;
  DWORD error = 0;
  const HANDLE h = CreateTemporary(target, &temp, &error);
  DWORD written = 0;
  bool ok =
      h != INVALID_HANDLE_VALUE &&
      WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
      written == text.size() && FlushFileBuffers(h) &&
      MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!ok) {
    error = h == INVALID_HANDLE_VALUE ? error : GetLastError();
    *why = "cannot write its journal: " + Reason(error);
    if (h != INVALID_HANDLE_VALUE) DeleteFileW(temp.c_str());
  }
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  return ok;
}

bool IdentityOf(HANDLE h, unsigned long long* volume, unsigned long long* file) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(h, &info)) return false;
  *volume = info.dwVolumeSerialNumber;
  *file = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

// The file a write to `path` lands on: a link is followed.
fs::path Followed(const fs::path& path) {
  std::error_code ec;
  if (!fs::is_symlink(fs::symlink_status(path, ec))) return path;
  const fs::path target = fs::weakly_canonical(path, ec);
  return ec ? path : target;
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// Removes what killed runs left in `dir`, once per folder and run: our
// temporary files that nobody holds locked, and those of the older naming
// (".NAME.tmp-PID-N-STAMP", written without a lock) once nobody holds them
// and they have not changed for an hour. Lock files go with their last handle.
void ClearStaleTemporaries(const fs::path& dir) {
  static auto& cleared = *new std::set<std::wstring>;
  const fs::path folder = dir.empty() ? fs::path(L".") : dir;
  if (!cleared.insert(folder.wstring()).second) return;
  std::error_code ec;
  const auto hourAgo = fs::file_time_type::clock::now() - std::chrono::hours(1);
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = TextOf(it->path().filename());
    const size_t tmp = name.find(".tmp-");
    const bool older = name.size() > 1 && name[0] == '.' && tmp != std::string::npos && tmp > 1 &&
                       std::count(name.begin() + static_cast<long>(tmp), name.end(), '-') == 3;
    if (!older && !StartsWith(name, kTempPrefix)) continue;
    std::error_code ignored;
    if (older && !(it->last_write_time(ignored) < hourAgo)) continue;
    const HANDLE h = CreateFileW(it->path().c_str(), GENERIC_READ | DELETE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) continue;
    FILE_DISPOSITION_INFO gone = {};
    gone.DeleteFile = TRUE;
    if (KindProblem(h).empty() && TryLock(h, true)) {
      SetFileInformationByHandle(h, FileDispositionInfo, &gone, sizeof gone);
    }
    CloseHandle(h);
  }
}

// Takes back an append to `target` that its journal says was cut off.
void TakeBackCutOffAppend(const fs::path& target, const std::string& shown) {
  const fs::path journalPath = Beside(target, kJournalPrefix);
  std::FILE* in = _wfopen(journalPath.c_str(), L"rb");
  if (!in) return;
  char buffer[8192];
  const size_t n = std::fread(buffer, 1, sizeof buffer, in);
  std::fclose(in);
  shared::Journal journal;
  if (!shared::ParseJournal(std::string(buffer, n), &journal)) {
    DeleteFileW(journalPath.c_str());  // cut off while it was written: nothing was appended yet
    return;
  }
  if (journal.name != TextOf(target.filename())) return;  // another file's
  const HANDLE h = CreateFileW(target.c_str(), GENERIC_WRITE | DELETE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  const DWORD openError = GetLastError();
  if (h == INVALID_HANDLE_VALUE && openError != ERROR_FILE_NOT_FOUND) {
    shared::Notice("cannot take back a cut-off append to " + Quoted(shown) + ": " +
                   Reason(openError));
    return;
  }
  unsigned long long volume = 0, file = 0;
  LARGE_INTEGER size = {};
  if (h != INVALID_HANDLE_VALUE && IdentityOf(h, &volume, &file) && volume == journal.volume &&
      file == journal.file && GetFileSizeEx(h, &size) && size.QuadPart >= journal.length) {
    FILE_END_OF_FILE_INFO end = {};
    end.EndOfFile.QuadPart = journal.length;
    FILE_DISPOSITION_INFO gone = {};
    gone.DeleteFile = TRUE;
    const bool done = journal.created
                          ? SetFileInformationByHandle(h, FileDispositionInfo, &gone, sizeof gone)
                          : SetFileInformationByHandle(h, FileEndOfFileInfo, &end, sizeof end) &&
                                FlushFileBuffers(h);
    if (!done) {
      shared::Notice("cannot take back a cut-off append to " + Quoted(shown) + ": " +
                     Reason(GetLastError()));
      CloseHandle(h);
      return;
    }
    shared::Notice(shared::TakenBack(shown, journal));
  }  // else the file was replaced or removed since: the journal is out of date
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  DeleteFileW(journalPath.c_str());
}

}  // namespace

void FileLock::Release() {
  if (handle_ == -1) return;
  CloseHandle(reinterpret_cast<HANDLE>(handle_));  // the file goes with its last handle
  handle_ = -1;
}

bool LockFile(const std::string& path, bool exclusive, int waitSeconds, FileLock* lock,
              std::string* error) {
  lock->Release();
  if (IsDeviceName(path)) return true;
  const fs::path target = Followed(PathOf(path));
  const fs::path lockPath = Beside(target, kLockPrefix);
  const ULONGLONG deadline = GetTickCount64() + 1000ull * static_cast<ULONGLONG>(waitSeconds);
  bool told = false;
  for (;;) {
    const HANDLE h =
        CreateFileW(lockPath.c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    std::string holder;
    if (h == INVALID_HANDLE_VALUE) {
      // Refused while its last holder lets it go; else a folder that cannot
      // be written in, where nobody writes.
      if (GetLastError() != ERROR_ACCESS_DENIED ||
          GetFileAttributesW(lockPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
        return true;
      }
    } else if (TryLock(h, exclusive)) {
      lock->handle_ = reinterpret_cast<intptr_t>(h);
      break;
    } else if (GetLastError() != ERROR_LOCK_VIOLATION && GetLastError() != ERROR_IO_PENDING) {
      CloseHandle(h);  // no locks here
      return true;
    } else {
      char text[16] = "";
      DWORD n = 0;
      if (ReadFile(h, text, sizeof text - 1, &n, nullptr)) holder.assign(text, n);
      holder = holder.substr(0, holder.find_first_not_of("0123456789"));
      CloseHandle(h);
    }
    if (GetTickCount64() >= deadline) {
      *error = shared::StillLocked(path, holder, waitSeconds, exclusive);
      return false;
    }
    if (!told) shared::Notice(shared::Waiting(path, holder, waitSeconds));
    told = true;
    Sleep(20);
  }
  lock->exclusive_ = exclusive;
  lock->path_ = TextOf(lockPath);
  if (exclusive) {
    const HANDLE h = reinterpret_cast<HANDLE>(lock->handle_);
    const std::string pid = std::to_string(GetCurrentProcessId()) + "\n";
    DWORD n = 0;
    if (SetFilePointer(h, 0, nullptr, FILE_BEGIN) == 0 && SetEndOfFile(h)) {
      WriteFile(h, pid.data(), static_cast<DWORD>(pid.size()), &n, nullptr);
    }
  }
  TakeBackCutOffAppend(target, path);
  return true;
}

int RunMain(int (*run)(const std::vector<std::string>& args), int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(Utf8(argv[i]));
  if (argc > 0) shared::SetProgramName(args[0]);
  // Messages name paths in UTF-8: let the console show them so, and leave
  // it as it was afterwards, also when the program ends by exit().
  g_codePage = GetConsoleOutputCP();
  if (g_codePage) {
    SetConsoleOutputCP(CP_UTF8);
    std::atexit([] {
      std::fflush(stdout);
      std::fflush(stderr);
      SetConsoleOutputCP(g_codePage);
    });
  }
  // Ctrl+C takes back the write in progress and ends the run (UndoAndEnd).
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &g_mainThread, 0,
                  FALSE, DUPLICATE_SAME_ACCESS);
  SetConsoleCtrlHandler(UndoAndEnd, TRUE);
  return run(args);
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
  return _wfopen(Wide(path).c_str(), Wide(mode).c_str());
}

bool SyncFile(std::FILE* f) {
  const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
  if (h == INVALID_HANDLE_VALUE || FlushFileBuffers(h)) return true;
  errno = EIO;
  return false;
}

std::FILE* OpenRegularFile(const std::string& path, std::string* error, const char* mode) {
  const bool append = std::strcmp(mode, "ab") == 0;
  if (IsDeviceName(path)) {
    *error = kDevice;
    return nullptr;
  }
  const fs::path name = PathOf(path);
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    *error = "is a directory";
    return nullptr;
  }
  // Opening a pipe or device does not wait; its kind is checked on the handle.
  const HANDLE h =
      CreateFileW(name.c_str(), append ? GENERIC_WRITE : GENERIC_READ,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  append ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *error = Reason(GetLastError());
    return nullptr;
  }
  const std::string problem = KindProblem(h);
  if (!problem.empty()) {
    CloseHandle(h);
    *error = problem;
    return nullptr;
  }
  std::FILE* f = append ? StreamOf(h, _O_WRONLY | _O_APPEND, "ab") : StreamOf(h, _O_RDONLY, "rb");
  if (!f) *error = std::strerror(errno);
  return f;
}

bool IsDevice(const std::string& path) {
  if (IsDeviceName(path)) return true;
  const HANDLE h = OpenToLook(PathOf(path));
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool device = GetFileType(h) == FILE_TYPE_CHAR;
  CloseHandle(h);
  return device;
}

bool SameFile(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION info[2];
  const std::string* paths[2] = {&a, &b};
  for (int i = 0; i < 2; ++i) {
    if (IsDeviceName(*paths[i])) return false;
    const HANDLE h = OpenToLook(PathOf(*paths[i]));
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool ok = GetFileInformationByHandle(h, &info[i]);
    CloseHandle(h);
    if (!ok) return false;
  }
  return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
         info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
         info[0].nFileIndexLow == info[1].nFileIndexLow;
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
  if (IsDeviceName(path)) return failed(kDevice);
  fs::path target = PathOf(path);
  std::error_code ec;
  if (followLinks && fs::is_symlink(fs::symlink_status(target, ec))) {
    // Replace the file the link names, and keep the link.
    target = fs::weakly_canonical(target, ec);
    if (ec) return failed(ec.message());
  }
  // Unless followed, a link is replaced by the file itself.
  const HANDLE look = OpenToLook(target, followLinks);
  const bool exists =
      look != INVALID_HANDLE_VALUE && !fs::is_symlink(fs::symlink_status(target, ec));
  if (look != INVALID_HANDLE_VALUE && !exists) CloseHandle(look);
  if (exists) {
    const std::string problem = KindProblem(look);
    CloseHandle(look);
    if (!problem.empty()) return failed(problem);
    // Refuse a target that could not be written in place (read-only, in use),
    // rather than quietly replacing it.
    const HANDLE probe = CreateFileW(target.c_str(), GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) return failed(Reason(GetLastError()));
    CloseHandle(probe);
  }

  ClearStaleTemporaries(target.parent_path());
  // A new file beside the target, created only if no file has that name,
  // and locked until it has been renamed (a second handle keeps the lock).
  fs::path temp;
  DWORD openError = 0;
  const HANDLE h = CreateTemporary(target, &temp, &openError);
  if (h == INVALID_HANDLE_VALUE) return failed(Reason(openError));
  HANDLE held = nullptr;
  DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(), &held, 0, FALSE,
                  DUPLICATE_SAME_ACCESS);
  std::FILE* f = StreamOf(h, _O_WRONLY, "wb");
  if (!f) {
    DeleteFileW(temp.c_str());
    if (held) CloseHandle(held);
    return failed(std::strerror(errno));
  }
  ArmUndo(temp, nullptr, 0, fs::path(), Quoted(path) + " was not written", held);

  std::string why;
  bool ok = fill(f, &why);
  if (ok && std::fflush(f) != 0) {
    ok = false;
    why = std::strerror(errno);
  }
  if (ok && !SyncFile(f)) {
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
  if (ok && !MoveFileExW(temp.c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ok = false;
    why = Reason(GetLastError());
  }
  DisarmUndo();
  if (!ok) DeleteFileW(temp.c_str());
  if (held) CloseHandle(held);
  if (!ok) return failed(why.empty() ? "unknown error" : why);
  return true;
}

bool AppendFile(const std::string& path,
                const std::function<bool(const AppendSink&, std::string*)>& fill,
                std::string* error) {
  const fs::path name = Followed(PathOf(path));
  std::error_code ec;
  const bool existed = fs::exists(name, ec);
  std::string why;
  std::FILE* f = OpenRegularFile(TextOf(name), &why, "ab");
  const HANDLE h = f ? reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f))) : nullptr;
  long long oldLength = -1;
  if (f && std::fseek(f, 0, SEEK_END) == 0) oldLength = _ftelli64(f);
  if (f && oldLength < 0) why = "cannot tell its length";
  // Before the first new byte, the journal that lets a later run take them back.
  const fs::path journalPath = Beside(name, kJournalPrefix);
  shared::Journal journal;
  journal.name = TextOf(name.filename());
  journal.length = oldLength;
  journal.created = !existed;
  bool journaled = false;
  if (f && why.empty()) {
    if (!IdentityOf(h, &journal.volume, &journal.file)) {
      why = Reason(GetLastError());
    } else {
      journaled = WriteJournal(name, journalPath, shared::JournalText(journal), &why);
    }
  }
  if (journaled) {
    ArmUndo(existed ? fs::path() : name, existed ? h : nullptr, oldLength, journalPath,
            existed ? "the bytes appended to " + Quoted(path) + " were taken back"
                    : Quoted(path) + " was not made");
  }
  // Take back whatever part of the new bytes got in.
  auto undo = [&]() {
    std::error_code failed;
    if (existed && oldLength >= 0) fs::resize_file(name, static_cast<uintmax_t>(oldLength), failed);
    if (!existed) fs::remove(name, failed);
    if (journaled && !failed) DeleteFileW(journalPath.c_str());
    DisarmUndo();
  };
  if (f && why.empty()) {
    const AppendSink put = [&](const void* data, size_t size) {
      if (why.empty() && std::fwrite(data, 1, size, f) != size) why = std::strerror(errno);
      return why.empty();
    };
    try {
      if (!fill(put, &why) && why.empty()) why = "unknown error";
    } catch (...) {
      std::fclose(f);
      undo();
      throw;
    }
    if (why.empty() && (std::fflush(f) != 0 || !SyncFile(f))) why = std::strerror(errno);
  }
  if (f && std::fclose(f) != 0 && why.empty()) why = std::strerror(errno);
  if (why.empty()) {
    DeleteFileW(journalPath.c_str());
    DisarmUndo();
    return true;
  }
  if (f && journaled) undo();
  if (f && !journaled && !existed) fs::remove(name, ec);
  *error = "cannot append to " + Quoted(path) + ": " + why;
  return false;
}

}  // namespace toolkit

#endif  // _WIN32
