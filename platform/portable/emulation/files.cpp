// KERNEL32 files: CreateFileA, GetFileType, ReadFile, WriteFile,
// SetFilePointer (CloseHandle is with the events). Opening never waits: a
// named pipe or a device opens at once, as a Windows pipe or device does, and
// GetFileType tells it from a file on disk (FILE_TYPE_PIPE, FILE_TYPE_CHAR),
// so the program refuses it before reading. A folder cannot be opened
// (ERROR_ACCESS_DENIED, as Windows answers without backup semantics), and
// CREATE_NEW fails on any name that exists, a dangling symbolic link too.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#ifdef _WIN32  // the tools' headless build on Windows: the C runtime's calls
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <string>

#include "platform/portable/emulation/layer.h"

#ifndef O_NONBLOCK
#define O_NONBLOCK 0
#endif
#ifndef O_NOFOLLOW
#define O_NOFOLLOW 0
#endif
#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif
#ifndef O_BINARY
#define O_BINARY 0
#endif
#ifndef S_ISFIFO
#define S_ISFIFO(mode) 0
#endif

namespace pxport {

namespace {

FileObject* LookupFile(HANDLE handle) {
  auto it = W().files.find(reinterpret_cast<uintptr_t>(handle));
  return it == W().files.end() ? nullptr : &it->second;
}

// The Windows error for a failed open or transfer.
DWORD ErrorOf(int error) {
  switch (error) {
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EEXIST:
    case ELOOP:  // CREATE_NEW on a symbolic link: the name exists
      return ERROR_FILE_EXISTS;
    case ENOSPC:
      return ERROR_DISK_FULL;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case EIO:
      return ERROR_READ_FAULT;
    default:
      return ERROR_ACCESS_DENIED;
  }
}

BOOL Fail(DWORD error) {
  W().lastError = error;
  return FALSE;
}

}  // namespace

FileObject::~FileObject() {
  if (descriptor >= 0) ::close(descriptor);
}

bool CloseFile(HANDLE file) { return W().files.erase(reinterpret_cast<uintptr_t>(file)) != 0; }

}  // namespace pxport

using namespace pxport;

#ifndef _WIN32  // see "Functions" in include/windows.h
extern "C" {
#endif

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
  (void)dwShareMode;
  (void)lpSecurityAttributes;
  (void)dwFlagsAndAttributes;
  Call call("CreateFileA", std::string(lpFileName != nullptr ? lpFileName : "(null)"),
            CallKind::Neutral);
  World& w = W();
  const bool reads = (dwDesiredAccess & GENERIC_READ) != 0;
  const bool writes = (dwDesiredAccess & GENERIC_WRITE) != 0;
  if (lpFileName == nullptr || *lpFileName == '\0' || hTemplateFile != nullptr ||
      (!reads && !writes) ||
      (dwCreationDisposition != OPEN_EXISTING && dwCreationDisposition != CREATE_NEW &&
       dwCreationDisposition != CREATE_ALWAYS)) {
    w.lastError = lpFileName != nullptr && *lpFileName == '\0' ? ERROR_PATH_NOT_FOUND
                                                               : ERROR_INVALID_PARAMETER;
    return INVALID_HANDLE_VALUE;
  }
  if (call.Faulted()) {
    w.lastError = ERROR_ACCESS_DENIED;
    return INVALID_HANDLE_VALUE;
  }
  int flags = (reads && writes ? O_RDWR
               : writes        ? O_WRONLY
                               : O_RDONLY) |
              O_NONBLOCK | O_CLOEXEC | O_BINARY;
  if (dwCreationDisposition == CREATE_NEW) flags |= O_CREAT | O_EXCL | O_NOFOLLOW;
  if (dwCreationDisposition == CREATE_ALWAYS) flags |= O_CREAT | O_TRUNC;
  int fd;
  do {
    fd = ::open(lpFileName, flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    // A name in a folder that is not there: the path is not found.
    const std::string path(lpFileName);
    const size_t slash = path.find_last_of("/\\");
    struct stat folder;
    w.lastError = errno == ENOENT && slash != std::string::npos && slash > 0 &&
                          ::stat(path.substr(0, slash).c_str(), &folder) != 0
                      ? ERROR_PATH_NOT_FOUND
                      : ErrorOf(errno);
    return INVALID_HANDLE_VALUE;
  }
  // Looked at on what was opened, never by the name again.
  struct stat info;
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    ::close(fd);
    w.lastError = ERROR_ACCESS_DENIED;
    return INVALID_HANDLE_VALUE;
  }
  const DWORD type = S_ISREG(info.st_mode)    ? FILE_TYPE_DISK
                     : S_ISFIFO(info.st_mode) ? FILE_TYPE_PIPE
                                              : FILE_TYPE_CHAR;
  const uintptr_t handle = w.nextHandle;
  w.nextHandle += 4;
  w.files.emplace(handle, FileObject(fd, type));
  return reinterpret_cast<HANDLE>(handle);
}

DWORD WINAPI GetFileType(HANDLE hFile) {
  Call call("GetFileType", "", CallKind::Neutral);
  FileObject* file = LookupFile(hFile);
  if (file == nullptr) {
    call.Refuse(": not an open file");
    W().lastError = ERROR_INVALID_HANDLE;
    return FILE_TYPE_UNKNOWN;
  }
  W().lastError = NO_ERROR;
  return file->type;
}

namespace {

// What ReadFile and WriteFile check before a transfer: the count done starts
// at 0, the handle is an open file, the buffer and the count are given, no
// fault is injected. Null when the call must fail, with the error in *error
// (which holds the injected fault's error on the way in).
FileObject* TransferFile(Call& call, HANDLE handle, const void* buffer, LPDWORD done,
                         LPOVERLAPPED overlapped, const char* verb, DWORD* error) {
  if (done != nullptr) *done = 0;
  FileObject* file = LookupFile(handle);
  if (file == nullptr) {
    call.Refuse(": not an open file");
    *error = ERROR_INVALID_HANDLE;
    return nullptr;
  }
  if (overlapped != nullptr)
    call.Refuse(std::string(": this layer ") + verb + " no overlapped files");
  if (buffer == nullptr || done == nullptr) {
    *error = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  return call.Faulted() ? nullptr : file;
}

}  // namespace

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
  Call call("ReadFile", std::to_string(nNumberOfBytesToRead), CallKind::Neutral);
  DWORD error = ERROR_READ_FAULT;
  FileObject* file =
      TransferFile(call, hFile, lpBuffer, lpNumberOfBytesRead, lpOverlapped, "reads", &error);
  if (file == nullptr) return Fail(error);
  long got;
  do {
    got = static_cast<long>(::read(file->descriptor, lpBuffer, nNumberOfBytesToRead));
  } while (got < 0 && errno == EINTR);
  if (got < 0) return Fail(ERROR_READ_FAULT);
  *lpNumberOfBytesRead = static_cast<DWORD>(got);
  return TRUE;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
  Call call("WriteFile", std::to_string(nNumberOfBytesToWrite), CallKind::Neutral);
  DWORD error = ERROR_DISK_FULL;
  FileObject* file =
      TransferFile(call, hFile, lpBuffer, lpNumberOfBytesWritten, lpOverlapped, "writes", &error);
  if (file == nullptr) return Fail(error);
  const char* bytes = static_cast<const char*>(lpBuffer);
  DWORD done = 0;
  while (done < nNumberOfBytesToWrite) {
    const long put =
        static_cast<long>(::write(file->descriptor, bytes + done, nNumberOfBytesToWrite - done));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return Fail(put < 0 ? ErrorOf(errno) : ERROR_DISK_FULL);
    done += static_cast<DWORD>(put);
    *lpNumberOfBytesWritten = done;
  }
  return TRUE;
}

DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, LPLONG lpDistanceToMoveHigh,
                            DWORD dwMoveMethod) {
  Call call("SetFilePointer", std::to_string(lDistanceToMove), CallKind::Neutral);
  FileObject* file = LookupFile(hFile);
  if (file == nullptr) {
    call.Refuse(": not an open file");
    W().lastError = ERROR_INVALID_HANDLE;
    return INVALID_SET_FILE_POINTER;
  }
  // Without the high part the distance is a signed 32-bit one.
  const long long distance =
      lpDistanceToMoveHigh != nullptr
          ? static_cast<long long>(
                (static_cast<unsigned long long>(static_cast<uint32_t>(*lpDistanceToMoveHigh))
                 << 32) |
                static_cast<uint32_t>(lDistanceToMove))
          : lDistanceToMove;
  if (dwMoveMethod != FILE_BEGIN || distance < 0 || file->type != FILE_TYPE_DISK) {
    W().lastError = distance < 0 ? ERROR_NEGATIVE_SEEK : ERROR_INVALID_PARAMETER;
    return INVALID_SET_FILE_POINTER;
  }
#ifdef _WIN32
  const long long at = _lseeki64(file->descriptor, distance, SEEK_SET);
#else
  const long long at = static_cast<long long>(::lseek(file->descriptor, distance, SEEK_SET));
#endif
  if (at < 0) {
    W().lastError = ERROR_INVALID_PARAMETER;
    return INVALID_SET_FILE_POINTER;
  }
  if (lpDistanceToMoveHigh != nullptr) *lpDistanceToMoveHigh = static_cast<LONG>(at >> 32);
  W().lastError = NO_ERROR;
  return static_cast<DWORD>(at);
}

#ifndef _WIN32
}  // extern "C"
#endif
