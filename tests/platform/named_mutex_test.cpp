// The named mutex tells whether another holder is alive: in this process, in
// another one, and no longer once that process was killed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "platform/named_mutex.h"
#include "platform/unique_fd.h"
#include "support/scratch_dir.h"

namespace qel::platform {
namespace {

constexpr const char* kName = "{35591CB0-4180-43DE-ACA1-00C9EBA25C61}";

class NamedMutexTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("QEL_LOCK_DIR", dir_.Path().c_str(), 1); }
  void TearDown() override { unsetenv("QEL_LOCK_DIR"); }

  // Starts the holder program on kName; returns its "existed" answer.
  int StartHolder() {
    int toChild[2], fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0) return -1;
    child_ = fork();
    if (child_ == 0) {
      dup2(toChild[0], STDIN_FILENO);
      dup2(fromChild[1], STDOUT_FILENO);
      execl(QEL_MUTEX_HOLDER, QEL_MUTEX_HOLDER, kName, static_cast<char*>(nullptr));
      _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    childStdin_.Reset(toChild[1]);
    UniqueFd answer(fromChild[0]);
    char line[32] = {};
    ssize_t n = read(answer.get(), line, sizeof line - 1);
    if (n <= 0) return -1;
    return std::string(line).rfind("existed=1", 0) == 0 ? 1 : 0;
  }

  void KillHolder() {
    kill(child_, SIGKILL);
    waitpid(child_, nullptr, 0);
    child_ = -1;
  }

  ~NamedMutexTest() override {
    if (child_ > 0) KillHolder();
  }

  test::ScratchDir dir_;
  pid_t child_ = -1;
  UniqueFd childStdin_;
};

TEST_F(NamedMutexTest, SecondHolderInTheSameProcessSeesItExisting) {
  NamedMutex first, second;
  bool existed = false;
  ASSERT_TRUE(first.Create(kName, &existed));
  ASSERT_TRUE(second.Create(kName, &existed));
  EXPECT_TRUE(existed);
}

TEST_F(NamedMutexTest, NameIsFreeAgainOnceTheOtherHolderIsDestroyed) {
  bool existed = true;
  {
    NamedMutex first;
    ASSERT_TRUE(first.Create(kName, &existed));
  }
  NamedMutex second;
  ASSERT_TRUE(second.Create(kName, &existed));
  EXPECT_FALSE(existed);
}

TEST_F(NamedMutexTest, HolderInAnotherProcessIsSeen) {
  ASSERT_EQ(StartHolder(), 0);
  NamedMutex mutex;
  bool existed = false;
  ASSERT_TRUE(mutex.Create(kName, &existed));
  EXPECT_TRUE(existed);
}

TEST_F(NamedMutexTest, AnotherProcessSeesOurHold) {
  NamedMutex mutex;
  bool existed = true;
  ASSERT_TRUE(mutex.Create(kName, &existed));
  EXPECT_EQ(StartHolder(), 1);
}

TEST_F(NamedMutexTest, NameIsFreeAgainAfterTheHoldingProcessIsKilled) {
  ASSERT_EQ(StartHolder(), 0);
  KillHolder();
  NamedMutex mutex;
  bool existed = true;
  ASSERT_TRUE(mutex.Create(kName, &existed));
  EXPECT_FALSE(existed);
}

TEST_F(NamedMutexTest, LockFileCanBeJoinedByOtherUsers) {
  NamedMutex mutex;
  bool existed;
  ASSERT_TRUE(mutex.Create(kName, &existed));
  struct stat st {};
  ASSERT_EQ(stat(NamedMutex::LockFilePath(kName).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0666, 0666u);
}

TEST_F(NamedMutexTest, HoldingAloneIsRefusedWhileAnotherHolderLives) {
  NamedMutex first, second;
  bool existed;
  ASSERT_TRUE(first.Create(kName, &existed));
  ASSERT_TRUE(second.Create(kName, &existed));
  EXPECT_FALSE(first.HoldAlone());
  EXPECT_FALSE(SoleHold(second).Alone());
}

TEST_F(NamedMutexTest, ANewcomerWhileOneHoldsAloneFindsTheMutexExisting) {
  NamedMutex first;
  bool existed = true;
  ASSERT_TRUE(first.Create(kName, &existed));
  bool newcomerExisted = false;
  std::thread newcomer;
  {
    SoleHold hold(first);
    ASSERT_TRUE(hold.Alone());
    // The newcomer cannot get in before the hold is shared again, however the
    // threads are scheduled, so whatever it finds is decided by the lock.
    newcomer = std::thread([&] {
      NamedMutex second;
      ASSERT_TRUE(second.Create(kName, &newcomerExisted));
    });
  }
  newcomer.join();
  EXPECT_TRUE(newcomerExisted);
}

TEST_F(NamedMutexTest, AHolderThatHeldAloneIsSeenByAnotherProcessAfterwards) {
  NamedMutex mutex;
  bool existed = true;
  ASSERT_TRUE(mutex.Create(kName, &existed));
  { SoleHold hold(mutex); }
  EXPECT_EQ(StartHolder(), 1);
}

}  // namespace
}  // namespace qel::platform
