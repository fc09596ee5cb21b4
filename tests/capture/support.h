// Helpers for the tests of the tools: temporary folders, running a tool as a
// child process, reading files and indexed PNGs.
#ifndef PIXSHOW_TESTS_CAPTURE_SUPPORT_H
#define PIXSHOW_TESTS_CAPTURE_SUPPORT_H

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
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

// Runs `program` with `args` in the folder `cwd`, capturing its output.
RunResult RunTool(const std::string& cwd, const std::string& program, const std::vector<std::string>& args);

std::vector<uint8_t> ReadBytes(const std::string& path);
bool Exists(const std::string& path);
// The names in a folder, sorted.
std::vector<std::string> List(const std::string& dir);
void CopyFile(const std::string& from, const std::string& to);

// An 8-bit colour-mapped PNG as libpng reads it.
struct IndexedPng {
  int width = 0, height = 0;
  std::vector<uint8_t> indices;  // width * height
  std::vector<uint8_t> rgb;      // 3 bytes per colour-table entry
  int At(int x, int y) const { return indices[static_cast<size_t>(y) * width + x]; }
};
// False (with a message) unless the file is a readable 8-bit indexed PNG.
bool ReadIndexedPng(const std::string& path, IndexedPng& out, std::string& error);

}  // namespace testsupport

#endif
