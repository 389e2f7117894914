// A machine-wide named mutex, used only to learn whether another holder of the
// same name is alive. Each holder keeps a shared lock on a lock file named after
// the mutex; whoever finds no other lock when it arrives is the first. Locks
// belong to open file descriptions, so they go away with their holder, also when
// the holder is killed, and two objects in one process see each other.
#pragma once

#include <string>
#include <string_view>
#include <system_error>

namespace qel::platform {

class NamedMutex {
 public:
  NamedMutex() = default;
  ~NamedMutex();
  NamedMutex(NamedMutex&& other) noexcept;
  NamedMutex& operator=(NamedMutex&& other) noexcept;
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;

  // Creates (or joins) the mutex `name`, releasing whatever this object held.
  // *alreadyExisted is true exactly when another holder of the name is alive:
  // another process, or another NamedMutex object in this process. Returns false
  // when the lock file cannot be opened or locked (see LastError()).
  bool Create(std::string_view name, bool* alreadyExisted);
  bool IsOpen() const { return fd_ >= 0; }
  // Releases the mutex; other holders stay.
  void Close();

  // Asks afresh whether this is the only holder, without letting go: when it
  // is, the hold becomes exclusive and true is returned; until Share() a
  // newcomer's Create waits and then finds the mutex existing. False when
  // another holder is alive or nothing is held (the hold stays shared).
  bool HoldAlone();
  // Turns an exclusive hold back into a shared one (atomically: there is no
  // moment without a lock).
  void Share();

  std::error_code LastError() const { return error_; }

  // The lock file that stands for `name`: in $QEL_LOCK_DIR when set, else /tmp.
  static std::string LockFilePath(std::string_view name);

 private:
  int fd_ = -1;
  std::error_code error_;
};

// HoldAlone for a scope: the mutex is shared again when the scope ends.
class SoleHold {
 public:
  explicit SoleHold(NamedMutex& mutex) : mutex_(mutex), alone_(mutex.HoldAlone()) {}
  ~SoleHold() {
    if (alone_) mutex_.Share();
  }
  SoleHold(const SoleHold&) = delete;
  SoleHold& operator=(const SoleHold&) = delete;
  bool Alone() const { return alone_; }

 private:
  NamedMutex& mutex_;
  bool alone_;
};

}  // namespace qel::platform
