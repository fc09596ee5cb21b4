// The toolkit's files and command line on Windows: the same promises as on
// POSIX systems (toolkit.cpp), kept with the system's own calls. Names are
// UTF-8 text inside the tools and UTF-16 towards the system; a file's kind is
// checked on the handle that was opened (GetFileType), and an output is
// replaced in one step by MoveFileExW(MOVEFILE_REPLACE_EXISTING).
#ifdef _WIN32

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "toolkit.h"

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

}  // namespace

int RunMain(int (*run)(const std::vector<std::string>& args), int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(Utf8(argv[i]));
  // Messages name paths in UTF-8: let the console show them so, and leave
  // it as it was afterwards, also when the program ends by exit().
  static UINT s_codePage = GetConsoleOutputCP();
  if (s_codePage) {
    SetConsoleOutputCP(CP_UTF8);
    std::atexit([] {
      std::fflush(stdout);
      std::fflush(stderr);
      SetConsoleOutputCP(s_codePage);
    });
  }
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

  // A new file beside the target, created only if no file has that name.
  static std::atomic<unsigned> counter{0};
  fs::path temp;
  HANDLE h = INVALID_HANDLE_VALUE;
  DWORD openError = 0;
  for (int attempt = 0; attempt < 8 && h == INVALID_HANDLE_VALUE; ++attempt) {
    temp = target.parent_path() / PathOf(".pixtmp-" + std::to_string(GetCurrentProcessId()) + "-" +
                                         std::to_string(counter++));
    h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                    nullptr);
    openError = GetLastError();
    if (h == INVALID_HANDLE_VALUE && openError != ERROR_FILE_EXISTS) break;
  }
  if (h == INVALID_HANDLE_VALUE) return failed(Reason(openError));
  std::FILE* f = StreamOf(h, _O_WRONLY, "wb");
  if (!f) {
    DeleteFileW(temp.c_str());
    return failed(std::strerror(errno));
  }

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
  if (!ok) {
    DeleteFileW(temp.c_str());
    return failed(why.empty() ? "unknown error" : why);
  }
  return true;
}

bool AppendFile(const std::string& path,
                const std::function<bool(const AppendSink&, std::string*)>& fill,
                std::string* error) {
  const fs::path name = PathOf(path);
  std::error_code ec;
  const bool existed = fs::exists(name, ec);
  std::string why;
  std::FILE* f = OpenRegularFile(path, &why, "ab");
  long long oldLength = -1;
  if (f && std::fseek(f, 0, SEEK_END) == 0) oldLength = _ftelli64(f);
  if (f && oldLength < 0) why = "cannot tell its length";
  // Take back whatever part of the new bytes got in.
  auto undo = [&]() {
    if (existed && oldLength >= 0) fs::resize_file(name, static_cast<uintmax_t>(oldLength), ec);
    if (!existed) fs::remove(name, ec);
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
  if (why.empty()) return true;
  if (f) undo();
  *error = "cannot append to " + Quoted(path) + ": " + why;
  return false;
}

}  // namespace toolkit

#endif  // _WIN32
