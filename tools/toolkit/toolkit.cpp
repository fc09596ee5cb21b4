#include "toolkit.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifndef _WIN32  // Windows: toolkit_windows.cpp
#include <fcntl.h>
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

std::string TempNameBeside(const fs::path& target) {
  static std::atomic<unsigned> counter{0};
  const auto stamp =
      static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  std::string name = "." + target.filename().string() + ".tmp-" +
                     std::to_string(static_cast<long>(TOOLKIT_GETPID())) + "-" +
                     std::to_string(counter++) + "-" + std::to_string(stamp % 100000);
  return (target.parent_path() / name).string();
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
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    fs::file_type type = fs::file_type::unknown;
    if (S_ISDIR(st.st_mode)) type = fs::file_type::directory;
    if (S_ISFIFO(st.st_mode)) type = fs::file_type::fifo;
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) type = fs::file_type::character;
    if (S_ISSOCK(st.st_mode)) type = fs::file_type::socket;
    *error = DescribeType(type);
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

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return fs::equivalent(a, b, ec) && !ec;
}

bool WriteFileReplacing(const std::string& path,
                        const std::function<bool(std::FILE*, std::string*)>& fill,
                        std::string* error) {
  std::string scratch;
  if (!error) error = &scratch;
  auto failed = [&](const std::string& why) {
    *error = "cannot write " + Quoted(path) + ": " + why;
    return false;
  };
  fs::path target(path);
  std::error_code ec;
  if (fs::is_symlink(fs::symlink_status(target, ec))) {
    // Replace the file the link names, and keep the link.
    target = fs::weakly_canonical(target, ec);
    if (ec) return failed(ec.message());
  }
  const fs::file_status st = fs::status(target, ec);
  const bool exists = fs::exists(st);
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

  std::string temp;
  std::FILE* f = nullptr;
  int openErrno = 0;
  for (int attempt = 0; attempt < 8 && !f; ++attempt) {
    temp = TempNameBeside(target);
    f = std::fopen(temp.c_str(), "wbx");
    openErrno = errno;
    if (!f && openErrno != EEXIST) break;
  }
  if (!f) return failed(std::strerror(openErrno));

  std::string why;
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
    return failed(why.empty() ? "unknown error" : why);
  }
  return true;
}

#endif  // !_WIN32

}  // namespace toolkit
