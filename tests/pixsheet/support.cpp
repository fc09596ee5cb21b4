#include "support.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "devices/devices.h"

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace pstest {

namespace {

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'') {
      q += "'\\''";
    } else {
      q += c;
    }
  }
  return q + "'";
}

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

void PixsheetTest::SetUp() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "-" + info->name();
  std::replace(name.begin(), name.end(), '/', '-');
  base_ = fs::temp_directory_path() / ("pixsheet-test-" + std::to_string(getpid()) + "-" + name);
  fs::remove_all(base_);
  work_ = base_ / "work";
  fs::create_directories(work_);
  fs::create_directories(base_ / "log");
}

void PixsheetTest::TearDown() {
  std::error_code ec;
  // Undo any permission a test took away, so the folder can go.
  for (auto it = fs::recursive_directory_iterator(base_, ec); it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(base_, ec);
}

Result PixsheetTest::Run(const std::vector<std::string>& args) {
  const fs::path out = base_ / "log" / "out";
  const fs::path err = base_ / "log" / "err";
  std::string command = "cd " + Quote(work_.string()) + " && " + Quote(PIXSHEET_PATH);
  for (const std::string& a : args) command += " " + Quote(a);
  command += " >" + Quote(out.string()) + " 2>" + Quote(err.string());
  const int raw = std::system(command.c_str());
  Result r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = Slurp(out);
  r.err = Slurp(err);
  return r;
}

std::vector<std::string> PixsheetTest::Files() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(work_)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

void PixsheetTest::ExpectFailure(const Result& r, const std::string& mentions) {
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind("pixsheet: ", 0), 0u) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_NE(r.err.find(mentions), std::string::npos) << "expected '" << mentions << "' in: " << r.err;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << "cannot read " << path;
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

const std::vector<Rgb>& ProgramColours() {
  static const std::vector<Rgb> colours = [] {
    PALETTEENTRY entries[256];
    BuildPaletteEntries(entries);
    std::vector<Rgb> c(256);
    for (int i = 0; i < 256; ++i) c[i] = {entries[i].peRed, entries[i].peGreen, entries[i].peBlue};
    return c;
  }();
  return colours;
}

void ProgramRgb(uint8_t rgb[256][3]) {
  for (int i = 0; i < 256; ++i) {
    rgb[i][0] = ProgramColours()[i].r;
    rgb[i][1] = ProgramColours()[i].g;
    rgb[i][2] = ProgramColours()[i].b;
  }
}

int LowestIndexOf(Rgb c) {
  const auto& colours = ProgramColours();
  for (int i = 0; i < 256; ++i) {
    if (colours[i].r == c.r && colours[i].g == c.g && colours[i].b == c.b) return i;
  }
  return -1;
}

std::vector<uint8_t> MakeSheet(int w, int h, int count) {
  std::vector<uint8_t> bytes(static_cast<size_t>(w) * h * count);
  for (size_t i = 0; i < bytes.size(); ++i) {
    // 7 is odd, so any 256 consecutive bytes hold every value; the image
    // number shifts each image's pattern.
    bytes[i] = static_cast<uint8_t>(i * 7 + i / (static_cast<size_t>(w) * h) * 3);
  }
  return bytes;
}

void WritePlainPng(const std::string& path, int w, int h, int channels, const std::vector<uint8_t>& samples,
                   bool sixteen) {
  ASSERT_EQ(samples.size(), static_cast<size_t>(w) * h * channels);
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(w);
  image.height = static_cast<png_uint_32>(h);
  const png_uint_32 formats[] = {PNG_FORMAT_GRAY, PNG_FORMAT_GA, PNG_FORMAT_RGB, PNG_FORMAT_RGBA};
  image.format = formats[channels - 1];
  int ok = 0;
  if (sixteen) {
    // Linear 16-bit samples are stored as given when there is no alpha.
    ASSERT_TRUE(channels == 1 || channels == 3);
    image.format |= PNG_FORMAT_FLAG_LINEAR;
    std::vector<uint16_t> wide(samples.begin(), samples.end());
    for (auto& v : wide) v = static_cast<uint16_t>(v * 257);
    ok = png_image_write_to_file(&image, path.c_str(), 0, wide.data(), 0, nullptr);
  } else {
    ok = png_image_write_to_file(&image, path.c_str(), 0, samples.data(), 0, nullptr);
  }
  ASSERT_TRUE(ok) << image.message;
}

}  // namespace pstest
