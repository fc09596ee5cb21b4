#include "tests/support/tools.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace pxtest {

TempDir::TempDir() {
  path_ = (fs::temp_directory_path() / "pixshow-test-XXXXXX").string();
  if (!mkdtemp(&path_[0])) std::abort();
}

TempDir::~TempDir() {
  std::error_code ec;
  // Give back any permission a test took away, so that everything can go.
  for (auto it = fs::recursive_directory_iterator(path_, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(path_, ec);
}

static std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

RunResult RunTool(const std::string& cwd, const std::string& program,
                  const std::vector<std::string>& args) {
  TempDir logs;
  // The watchdog turns a tool that hangs (waiting on a pipe, say) into a
  // failed run instead of a test that never ends.
  std::string command = "cd " + Quote(cwd) + " && exec timeout -s KILL 180 " + Quote(program);
  for (const std::string& a : args) command += " " + Quote(a);
  command += " >" + Quote(logs / "out") + " 2>" + Quote(logs / "err") + " </dev/null";
  const int raw = std::system(command.c_str());
  RunResult r;
  if (raw != -1 && WIFEXITED(raw)) r.status = WEXITSTATUS(raw);
  r.out = std::string(std::istreambuf_iterator<char>(std::ifstream(logs / "out").rdbuf()), {});
  r.err = std::string(std::istreambuf_iterator<char>(std::ifstream(logs / "err").rdbuf()), {});
  return r;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out.good()) std::fprintf(stderr, "cannot write %s\n", path.c_str());
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

std::vector<std::string> List(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace pxtest
