// The drives' lock between processes on Linux: one lock file per device
// node, whichever name or address reaches it, and a file that only users
// with rights to the drive can open.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/NamedLock.h"
#include "platform/headless/InspectLock.h"
#include "tests/unit/DriveTestSupport.h"

namespace {

class NamedLockTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("ORVEX_LOCK_DIR", m_dir.Path().c_str(), 1); }
  void TearDown() override { unsetenv("ORVEX_LOCK_DIR"); }
  drivetest::TempDir m_dir;
};

// /dev/null stands for a drive's node: what counts is its number.
TEST_F(NamedLockTest, OneDeviceIsOneLockWhateverNameOrAddressReachesIt) {
  const std::string file = headless::LockFileName("Orvex drive 1:0:0", "/dev/null");
  EXPECT_EQ(file, m_dir.Path("orvex-char-1.3.lock"));
  EXPECT_EQ(headless::LockFileName("Orvex drive 0:0:0", "/dev/../dev/null"), file);
  // A name that is no node keys by its text.
  EXPECT_NE(headless::LockFileName("Orvex drive 0:0:0", "sim /a.cfg 0:0:0"),
            headless::LockFileName("Orvex drive 0:0:0", "sim /b.cfg 0:0:0"));

  CNamedLock first, second, other;
  std::string why;
  ASSERT_EQ(first.Acquire("Orvex drive 1:0:0", "/dev/null", &why), LOCK_HELD) << why;
  // Another address, the same device: a second holder, as another process
  // would be (one open file each).
  EXPECT_EQ(second.Acquire("Orvex drive 0:0:0", "/dev/null", &why), LOCK_BUSY);
  EXPECT_EQ(other.Acquire("Orvex drive 2:0:0", "/dev/zero", &why), LOCK_HELD) << why;
  struct stat st;
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0660u);  // the node's group, nobody else
  first.Release();
  EXPECT_EQ(second.Acquire("Orvex drive 0:0:0", "/dev/null", &why), LOCK_HELD) << why;
}

// A user without rights to the drive made its lock file before any updater
// and keeps it locked: another user of the drive is refused and told whose
// file it is; root puts a file of its own in its place, closed to that user.
TEST_F(NamedLockTest, ALockFileHeldByAUserWithoutRightsIsNamedAndReplacedByRoot) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as other users";
  const uid_t stranger = 65534;
  ASSERT_EQ(chmod(m_dir.Path().c_str(), 01777), 0);  // as /run/lock
  const std::string file = headless::LockFileName("Orvex drive 0:0:0", "/dev/null");
  int planted = open(file.c_str(), O_RDWR | O_CREAT, 0666);
  ASSERT_GE(planted, 0);
  ASSERT_EQ(fchown(planted, stranger, stranger), 0);
  ASSERT_EQ(fchmod(planted, 0666), 0);
  ASSERT_EQ(flock(planted, LOCK_EX), 0);
  // `code` run as user `uid` in a child: its exit status.
  auto as = [](uid_t uid, int (*code)(const std::string&), const std::string& arg) {
    const pid_t child = fork();
    if (child == 0) _exit(setgid(uid) == 0 && setuid(uid) == 0 ? code(arg) : 99);
    int status = -1;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  EXPECT_EQ(as(65533, [](const std::string&) {
              CNamedLock lock;
              std::string why;
              const int r = lock.Acquire("Orvex drive 0:0:0", "/dev/null", &why);
              return r == LOCK_BUSY && why.find("belongs to user 65534") != std::string::npos ? 0 : 1;
            }, ""), 0);

  CNamedLock lock;
  std::string why;
  ASSERT_EQ(lock.Acquire("Orvex drive 0:0:0", "/dev/null", &why), LOCK_HELD) << why;
  struct stat st;
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 0u);
  EXPECT_EQ(st.st_gid, 0u);  // /dev/null's group
  EXPECT_EQ(st.st_mode & 07777, 0660u);
  EXPECT_EQ(as(stranger, [](const std::string& f) { return open(f.c_str(), O_RDONLY) < 0 && errno == EACCES ? 0 : 1; },
               file), 0);
  close(planted);
}

}  // namespace
