// KERNEL32 files: what opens, at once and of which kind, and what a new file
// never follows or replaces (what Windows has too, reading and writing, is
// compared with Wine by the probe).
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/support/layer.h"

namespace {

using namespace pxtest;

class FileTest : public LayerTest {
 protected:
  void SetUp() override {
    LayerTest::SetUp();
    char folder[] = "/tmp/pixshow-files-XXXXXX";
    dir_ = mkdtemp(folder);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string dir_;
};

TEST_F(FileTest, OpeningNeverWaitsItsKindIsTheOpenedOnesAndCreateNewFollowsNoLink) {
  std::ofstream(dir_ + "/sheet") << "0123456789";
  ASSERT_EQ(mkfifo((dir_ + "/pipe").c_str(), 0600), 0);
  ASSERT_EQ(symlink((dir_ + "/elsewhere").c_str(), (dir_ + "/dangling").c_str()), 0);
  ASSERT_EQ(symlink("/dev/zero", (dir_ + "/zero").c_str()), 0);
  struct Case {
    const char* name;
    DWORD access, disposition;
    DWORD type;  // FILE_TYPE_UNKNOWN: refused with `error`
    DWORD error;
  };
  const Case cases[] = {
      {"sheet", GENERIC_READ, OPEN_EXISTING, FILE_TYPE_DISK, 0},
      {"pipe", GENERIC_READ, OPEN_EXISTING, FILE_TYPE_PIPE, 0},  // no writer: not waited for
      {"zero", GENERIC_READ, OPEN_EXISTING, FILE_TYPE_CHAR, 0},
      {"dangling", GENERIC_WRITE, CREATE_NEW, FILE_TYPE_UNKNOWN, ERROR_FILE_EXISTS},
      {"sheet", GENERIC_WRITE, CREATE_NEW, FILE_TYPE_UNKNOWN, ERROR_FILE_EXISTS},
      {"new", GENERIC_WRITE, CREATE_NEW, FILE_TYPE_DISK, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    alarm(20);  // an open that waits ends the test as a failure
    HANDLE file = CreateFileA((dir_ + "/" + c.name).c_str(), c.access, FILE_SHARE_READ, NULL,
                              c.disposition, FILE_ATTRIBUTE_NORMAL, NULL);
    alarm(0);
    if (c.type == FILE_TYPE_UNKNOWN) {
      EXPECT_EQ(file, INVALID_HANDLE_VALUE);
      EXPECT_EQ(GetLastError(), c.error);
      continue;
    }
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileType(file), c.type);
    EXPECT_TRUE(CloseHandle(file));
  }
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/elsewhere"));  // the link's target not made
  EXPECT_TRUE(pxh::MisuseReport().empty()) << Joined(pxh::MisuseReport());
}

}  // namespace
