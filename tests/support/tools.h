// Temporary folders, files, and running a tool as a child process.
#ifndef PIXSHOW_TESTS_SUPPORT_TOOLS_H
#define PIXSHOW_TESTS_SUPPORT_TOOLS_H

#include <cstdint>
#include <string>
#include <vector>

namespace pxtest {

// A fresh folder under the system's temporary folder, removed with its
// contents (whatever their permissions) when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

struct RunResult {
  int status = -1;  // exit status, or -1 when the process did not exit normally
  std::string out;
  std::string err;
};

// Runs `program` with `args` in the folder `cwd`, capturing its output. A
// program still running after three minutes is killed (status 137).
RunResult RunTool(const std::string& cwd, const std::string& program,
                  const std::vector<std::string>& args);

std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
bool Exists(const std::string& path);
// The names in a folder, sorted.
std::vector<std::string> List(const std::string& dir);

}  // namespace pxtest

#endif
