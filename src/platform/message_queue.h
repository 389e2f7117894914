// A per-thread message queue: work posted from any thread and repeating timers,
// both run on the thread that owns the queue when it dispatches. A toolkit main
// loop (GTK, Python) watches Fd() and calls Dispatch() when it becomes readable;
// headless programs and tests use RunMessageLoop.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "platform/unique_fd.h"

namespace qel::platform {

class MessageQueue;

// Runs the queue on the calling (owner) thread until Quit() is called or done()
// returns true (checked after every dispatch), or until timeout has passed.
// Returns true when it stopped because of Quit() or done(), false on timeout.
bool RunMessageLoop(MessageQueue& queue, const std::function<bool()>& done = {},
                    std::optional<std::chrono::milliseconds> timeout = std::nullopt);

class MessageQueue {
 public:
  using Clock = std::chrono::steady_clock;

  // The constructing thread owns the queue.
  MessageQueue();
  ~MessageQueue();
  MessageQueue(const MessageQueue&) = delete;
  MessageQueue& operator=(const MessageQueue&) = delete;

  // Queues task to run on the owner thread. Safe from any thread; tasks run in
  // the order they were posted.
  void Post(std::function<void()> task);

  // Starts (or restarts) the repeating timer (owner, id): callback runs on the
  // owner thread every `milliseconds`. As with window timers, a timer that fell
  // behind fires once, not once per missed period. owner separates the ids of
  // different users of one queue (a window passes itself). Safe from any thread.
  void SetTimer(uintptr_t id, uint32_t milliseconds, std::function<void()> callback,
                const void* owner = nullptr);
  // Stops the timer; false when there was none.
  bool KillTimer(uintptr_t id, const void* owner = nullptr);

  // Readable whenever Dispatch() has something to run (posted work or a due
  // timer). Stays valid for the life of the queue.
  int Fd() const { return pollFd_.get(); }

  // Runs the work posted before the call and the timers that are due, without
  // waiting. Work posted while it runs waits for the next call. Returns how many
  // callbacks ran. Must be called on the owner thread (std::logic_error if not).
  size_t Dispatch();

  // Time until the earliest timer is due (zero when one is due now), or nothing
  // when no timer runs.
  std::optional<Clock::duration> TimeUntilNextTimer() const;

  // Asks RunMessageLoop to return after the current dispatch. Safe from any thread.
  void Quit();
  bool QuitRequested() const;

  bool IsOwnerThread() const { return std::this_thread::get_id() == owner_; }

 private:
  friend bool RunMessageLoop(MessageQueue&, const std::function<bool()>&,
                             std::optional<std::chrono::milliseconds>);

  struct TimerKey {
    const void* owner;
    uintptr_t id;
    auto operator<=>(const TimerKey&) const = default;
  };
  struct Timer {
    Clock::duration period;
    Clock::time_point due;
    std::shared_ptr<std::function<void()>> callback;
    uint64_t generation;  // changes whenever the timer is set again
  };

  void Wake();
  void ArmTimerFdLocked();
  bool TakeQuitRequest();

  std::thread::id owner_;
  UniqueFd eventFd_;  // counts posts and wake-ups
  UniqueFd timerFd_;  // armed for the earliest timer
  UniqueFd pollFd_;   // epoll over both: the one descriptor a main loop watches
  mutable std::mutex mutex_;
  std::vector<std::function<void()>> posted_;
  std::map<TimerKey, Timer> timers_;
  uint64_t nextGeneration_ = 1;
  bool quit_ = false;
};

}  // namespace qel::platform

namespace qel {
using platform::RunMessageLoop;
}  // namespace qel
