#include "platform/message_queue.h"

#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <system_error>
#include <tuple>

namespace qel::platform {

namespace {

// Window timers never run faster than every 10 ms; neither do ours, so a zero
// period cannot turn the loop into a busy wait.
constexpr std::chrono::milliseconds kMinimumTimerPeriod{10};

[[noreturn]] void ThrowErrno(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

void Drain(int fd) {
  uint64_t value;
  while (read(fd, &value, sizeof value) < 0 && errno == EINTR) {
  }
}

}  // namespace

MessageQueue::MessageQueue() : owner_(std::this_thread::get_id()) {
  eventFd_.Reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!eventFd_) ThrowErrno("eventfd");
  timerFd_.Reset(timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK));
  if (!timerFd_) ThrowErrno("timerfd_create");
  pollFd_.Reset(epoll_create1(EPOLL_CLOEXEC));
  if (!pollFd_) ThrowErrno("epoll_create1");
  for (int fd : {eventFd_.get(), timerFd_.get()}) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd;
    if (epoll_ctl(pollFd_.get(), EPOLL_CTL_ADD, fd, &event) != 0) ThrowErrno("epoll_ctl");
  }
}

MessageQueue::~MessageQueue() = default;

void MessageQueue::Wake() {
  uint64_t one = 1;
  while (write(eventFd_.get(), &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void MessageQueue::Post(std::function<void()> task) {
  {
    std::lock_guard lock(mutex_);
    posted_.push_back(std::move(task));
  }
  Wake();
}

void MessageQueue::ArmTimerFdLocked() {
  itimerspec when{};
  if (!timers_.empty()) {
    auto earliest = std::min_element(timers_.begin(), timers_.end(), [](auto& a, auto& b) {
                      return a.second.due < b.second.due;
                    })->second.due;
    // steady_clock is CLOCK_MONOTONIC, the clock of the timer descriptor.
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(earliest.time_since_epoch());
    auto count = std::max<int64_t>(ns.count(), 1);  // zero would disarm it
    when.it_value.tv_sec = count / 1000000000;
    when.it_value.tv_nsec = count % 1000000000;
  }
  timerfd_settime(timerFd_.get(), TFD_TIMER_ABSTIME, &when, nullptr);
}

void MessageQueue::SetTimer(uintptr_t id, uint32_t milliseconds, std::function<void()> callback,
                            const void* owner) {
  auto period =
      std::max<Clock::duration>(std::chrono::milliseconds(milliseconds), kMinimumTimerPeriod);
  std::lock_guard lock(mutex_);
  timers_[TimerKey{owner, id}] =
      Timer{period, Clock::now() + period,
            std::make_shared<std::function<void()>>(std::move(callback)), nextGeneration_++};
  ArmTimerFdLocked();
}

bool MessageQueue::KillTimer(uintptr_t id, const void* owner) {
  std::lock_guard lock(mutex_);
  bool found = timers_.erase(TimerKey{owner, id}) > 0;
  ArmTimerFdLocked();
  return found;
}

size_t MessageQueue::Dispatch() {
  if (!IsOwnerThread()) throw std::logic_error("MessageQueue::Dispatch off its owner thread");
  Drain(eventFd_.get());
  Drain(timerFd_.get());

  size_t ran = 0;
  std::vector<std::function<void()>> tasks;
  {
    std::lock_guard lock(mutex_);
    tasks.swap(posted_);
  }
  for (size_t i = 0; i < tasks.size(); ++i) {
    try {
      tasks[i]();
    } catch (...) {
      // The work behind the failing task is not lost: it goes back to the front.
      std::lock_guard lock(mutex_);
      posted_.insert(posted_.begin(), std::make_move_iterator(tasks.begin() + i + 1),
                     std::make_move_iterator(tasks.end()));
      Wake();
      throw;
    }
    ++ran;
  }

  // Timers due now, earliest first. A callback may set or kill timers (its own
  // too), so each one is looked up again right before it runs.
  const auto now = Clock::now();
  std::vector<std::tuple<Clock::time_point, TimerKey, uint64_t>> due;
  {
    std::lock_guard lock(mutex_);
    for (auto& [key, timer] : timers_) {
      if (timer.due <= now) due.emplace_back(timer.due, key, timer.generation);
    }
  }
  std::sort(due.begin(), due.end());
  for (auto& [when, key, generation] : due) {
    std::shared_ptr<std::function<void()>> callback;
    {
      std::lock_guard lock(mutex_);
      auto it = timers_.find(key);
      if (it == timers_.end() || it->second.generation != generation) continue;
      it->second.due = now + it->second.period;
      callback = it->second.callback;
    }
    if (*callback) (*callback)();
    ++ran;
  }
  {
    std::lock_guard lock(mutex_);
    ArmTimerFdLocked();
  }
  return ran;
}

std::optional<MessageQueue::Clock::duration> MessageQueue::TimeUntilNextTimer() const {
  std::lock_guard lock(mutex_);
  if (timers_.empty()) return std::nullopt;
  auto earliest = Clock::time_point::max();
  for (auto& [key, timer] : timers_)
    earliest = std::min(earliest, timer.due);
  return std::max<Clock::duration>(earliest - Clock::now(), Clock::duration::zero());
}

void MessageQueue::Quit() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  Wake();
}

bool MessageQueue::QuitRequested() const {
  std::lock_guard lock(mutex_);
  return quit_;
}

bool MessageQueue::TakeQuitRequest() {
  std::lock_guard lock(mutex_);
  return std::exchange(quit_, false);
}

bool RunMessageLoop(MessageQueue& queue, const std::function<bool()>& done,
                    std::optional<std::chrono::milliseconds> timeout) {
  using Clock = MessageQueue::Clock;
  std::optional<Clock::time_point> deadline;
  if (timeout) deadline = Clock::now() + *timeout;
  for (;;) {
    queue.Dispatch();
    if (queue.TakeQuitRequest()) return true;
    if (done && done()) return true;
    int waitMs = -1;
    if (deadline) {
      auto left = *deadline - Clock::now();
      if (left <= Clock::duration::zero()) return false;
      // Rounded up, so that the loop sleeps rather than spins near the deadline.
      waitMs = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
    }
    pollfd fd{queue.Fd(), POLLIN, 0};
    poll(&fd, 1, waitMs);
  }
}

}  // namespace qel::platform
