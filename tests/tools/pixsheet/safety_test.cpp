// Writers of one sheet at once, runs killed in the middle of an append, and
// the temporary files of other runs: real processes, at the same time.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <fcntl.h>

#include "support.h"
#include "toolkit.h"

namespace pxtest {
namespace {

constexpr size_t B = 42 * 32;

class Safety : public PixsheetTest {
 protected:
  void SetUp() override {
    for (const uint8_t index : {1, 2, 3}) {
      const Bytes image(B, index);
      SaveIndexed(At("p" + std::to_string(index) + ".png"), 42, 32, image.data());
    }
    WriteBytes(At("Pieces.pix"), sheet_);
  }
  // A shell script run with $0 naming pixsheet; core dumps off.
  RunResult Shell(const std::string& script) {
    return RunTool(work_.Path(), "/bin/sh", {"-c", "ulimit -c 0; " + script, PIXSHEET_PATH});
  }
  static bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
  }
  const Bytes sheet_ = PixSheet(42, 32, 4);
};

// Two --image writes and an --append at once, three times over: every edit
// is kept, each run waiting its turn.
TEST_F(Safety, WritersOfOneSheetTakeTurns) {
  for (int round = 0; round < 3; ++round) {
    WriteBytes(At("Pieces.pix"), sheet_);
    const RunResult r = Shell(
        "\"$0\" import p1.png -o Pieces.pix --image 0 & a=$!; "
        "\"$0\" import p2.png -o Pieces.pix --image 1 & b=$!; "
        "\"$0\" import p3.png -o Pieces.pix --append & c=$!; "
        "for p in $a $b $c; do wait $p || echo failed; done");
    EXPECT_FALSE(Has(r.out, "failed")) << r.out << r.err;
    Bytes expected = sheet_;
    std::fill_n(expected.begin(), B, 1);
    std::fill_n(expected.begin() + B, B, 2);
    expected.insert(expected.end(), B, 3);
    ASSERT_EQ(ReadBytes(At("Pieces.pix")), expected) << r.out << r.err;
  }
  EXPECT_EQ(Files(), (std::vector<std::string>{"Pieces.pix", "p1.png", "p2.png", "p3.png"}));
}

// While another holds the lock, a writer says it waits, then gives up after
// --wait; readers share the lock with readers.
TEST_F(Safety, AWriterWaitsThenRefuses) {
  toolkit::FileLock lock;
  std::string error;
  ASSERT_TRUE(toolkit::LockFile(At("Pieces.pix"), true, 0, &lock, &error)) << error;
  const RunResult r = Run({"import", "p1.png", "-o", "Pieces.pix", "--image", "0", "--wait", "1"});
  const std::string holder = "another pixsheet (process " + std::to_string(getpid()) + ")";
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "pixsheet: \"Pieces.pix\" is in use by " + holder +
                       ": waiting up to 1 second\npixsheet: \"Pieces.pix\" is still in use by " +
                       holder + " after 1 second: try again when it is done (import --wait " +
                       "SECONDS waits longer)\n");
  ASSERT_TRUE(toolkit::LockFile(At("Pieces.pix"), false, 0, &lock, &error)) << error;
  Ok({"info", "Pieces.pix"});
  ExpectFailure(Run({"import", "p1.png", "-o", "Pieces.pix", "--append", "--wait", "0"}),
                "is still in use by another pixsheet after 0 seconds");
  lock.Release();
  EXPECT_EQ(ReadBytes(At("Pieces.pix")), sheet_);
  EXPECT_EQ(Files(), (std::vector<std::string>{"Pieces.pix", "p1.png", "p2.png", "p3.png"}));
}

// Killed while it appends: SIGQUIT takes the bytes back at once and says so;
// after SIGKILL, the next run (check, info) finds the journal and does.
TEST_F(Safety, AKilledAppendIsTakenBack) {
  WriteBytes(At("big.pix"), PixSheet(42, 32, 3000));
  Ok({"export", "big.pix", "--size", "42x32", "--columns", "40", "-o", "big.png"});
  fs::remove(At("big.pix"));
  const std::vector<std::string> files = Files();
  for (const auto& [signal, later] :
       {std::pair<std::string, std::string>{"QUIT", ""}, {"KILL", "check"}, {"KILL", "info"}}) {
    WriteBytes(At("Pieces.pix"), sheet_);
    const RunResult r = Shell(
        "env --default-signal=QUIT \"$0\" import big.png -o Pieces.pix --append & p=$!; n=0; "
        "while [ $(wc -c < Pieces.pix) -le " +
        std::to_string(sheet_.size() + 10 * B) +
        " ] && [ $n -lt 100000 ]; do n=$((n+1)); done; kill -" + signal +
        " $p; wait $p; echo status $?");
    EXPECT_TRUE(Has(r.out, signal == "QUIT" ? "status 131" : "status 137")) << r.out << r.err;
    if (signal == "QUIT") {
      EXPECT_TRUE(Has(r.err,
                      "pixsheet: interrupted: the bytes appended to \"Pieces.pix\" were "
                      "taken back\n"))
          << r.err;  // the shell adds "Quit"
    } else {
      EXPECT_GT(ReadBytes(At("Pieces.pix")).size(), sheet_.size());
      const RunResult after = Run({later, later == "check" ? "." : "Pieces.pix"});
      const std::string shown = later == "check" ? "./Pieces.pix" : "Pieces.pix";
      EXPECT_EQ(after.err, "pixsheet: cut \"" + shown + "\" back to its " +
                               std::to_string(sheet_.size()) + " bytes: an append to it did " +
                               "not finish (the process was killed)\n");
    }
    EXPECT_EQ(ReadBytes(At("Pieces.pix")), sheet_) << signal;
    EXPECT_EQ(Files(), files) << signal;
  }
}

// A temporary file is stale only when nobody holds its lock, whatever the
// number in its name says (its writer may run in another PID namespace, or
// on another machine); the older naming also waits for an hour's quiet.
TEST_F(Safety, OnlyUnlockedTemporaryFilesAreCleared) {
  const std::string live[] = {".pixtmp-999999999-0", ".pixtmp-" + std::to_string(getpid()) + "-7"};
  std::vector<int> held;
  for (const std::string& name : live) {
    held.push_back(open(At(name).c_str(), O_RDWR | O_CREAT, 0600));
    ASSERT_EQ(flock(held.back(), LOCK_EX), 0);
  }
  for (const char* stale : {".pixtmp-1-0", ".pixlock-0123456789abcdef",
                            ".Pieces.pix.tmp-999999999-3-12345", ".Pieces.pix.tmp-1-3-12345"})
    WriteBytes(At(stale), {1});
  fs::last_write_time(At(".Pieces.pix.tmp-999999999-3-12345"),
                      fs::file_time_type::clock::now() - std::chrono::hours(2));
  Ok({"import", "p1.png", "-o", "Pieces.pix", "--image", "3"});
  std::vector<std::string> kept = {
      ".Pieces.pix.tmp-1-3-12345", live[0], live[1], "Pieces.pix", "p1.png", "p2.png", "p3.png"};
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(Files(), kept);
  for (const int fd : held) close(fd);
}

// A sheet replaced by import keeps its owner and group where the system
// allows (here as the superuser), and its permissions.
TEST_F(Safety, ReplacingKeepsTheOwner) {
  if (geteuid() != 0) GTEST_SKIP() << "only the superuser can give a file away";
  ASSERT_EQ(chown(At("Pieces.pix").c_str(), 4321, 8765), 0);
  fs::permissions(At("Pieces.pix"), fs::perms::owner_read | fs::perms::owner_write);
  Ok({"import", "p1.png", "-o", "Pieces.pix", "--image", "2"});
  struct stat st = {};
  ASSERT_EQ(stat(At("Pieces.pix").c_str(), &st), 0);
  EXPECT_EQ(std::make_tuple(st.st_uid, st.st_gid, st.st_mode & 0777),
            std::make_tuple(4321u, 8765u, 0600u));
}

}  // namespace
}  // namespace pxtest
