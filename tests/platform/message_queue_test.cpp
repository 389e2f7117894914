// Posting from other threads, timers, and the loop that runs them.
#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <numeric>
#include <thread>

#include "platform/message_queue.h"

namespace qel::platform {
namespace {

using namespace std::chrono_literals;

// Guards against a hang only; no test measures time.
constexpr auto kPatience = std::chrono::milliseconds(10000);

bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, 0) == 1;
}

TEST(MessageQueue, WorkPostedFromAnotherThreadRunsOnTheOwnerThreadInOrder) {
  MessageQueue queue;
  std::vector<int> order;
  std::vector<std::thread::id> threads;
  std::thread poster([&] {
    for (int i = 0; i < 100; ++i) {
      queue.Post([&, i] {
        order.push_back(i);
        threads.push_back(std::this_thread::get_id());
      });
    }
  });
  poster.join();
  ASSERT_TRUE(RunMessageLoop(
      queue, [&] { return order.size() == 100; }, kPatience));
  std::vector<int> expected(100);
  std::iota(expected.begin(), expected.end(), 0);
  EXPECT_EQ(order, expected);
  EXPECT_EQ(std::count(threads.begin(), threads.end(), std::this_thread::get_id()), 100);
}

TEST(MessageQueue, DescriptorIsReadableExactlyWhileWorkIsWaiting) {
  MessageQueue queue;
  EXPECT_FALSE(Readable(queue.Fd()));
  std::thread([&] { queue.Post([] {}); }).join();
  EXPECT_TRUE(Readable(queue.Fd()));
  queue.Dispatch();
  EXPECT_FALSE(Readable(queue.Fd()));
}

TEST(MessageQueue, TimersFireInTheOrderTheyFallDue) {
  MessageQueue queue;
  std::vector<int> fired;
  // Each fires once (it kills itself); the period is also the id.
  for (int period : {60, 20, 40}) {
    queue.SetTimer(period, period, [&, period] {
      fired.push_back(period);
      queue.KillTimer(period);
    });
  }
  ASSERT_TRUE(RunMessageLoop(
      queue, [&] { return fired.size() == 3; }, kPatience));
  EXPECT_EQ(fired, (std::vector<int>{20, 40, 60}));
}

TEST(MessageQueue, TimerRepeatsUntilKilled) {
  MessageQueue queue;
  int fired = 0;
  queue.SetTimer(7, 10, [&] {
    if (++fired == 3) queue.KillTimer(7);
  });
  ASSERT_TRUE(RunMessageLoop(
      queue, [&] { return fired == 3; }, kPatience));
  RunMessageLoop(queue, {}, 50ms);
  EXPECT_EQ(fired, 3);
}

TEST(MessageQueue, SettingATimerAgainReplacesItsCallback) {
  MessageQueue queue;
  std::vector<char> fired;
  queue.SetTimer(1, 10, [&] { fired.push_back('a'); });
  queue.SetTimer(1, 10, [&] { fired.push_back('b'); });
  ASSERT_TRUE(RunMessageLoop(
      queue, [&] { return fired.size() >= 2; }, kPatience));
  EXPECT_EQ(std::count(fired.begin(), fired.end(), 'a'), 0);
}

TEST(MessageQueue, TimerKilledByAnEarlierTimerOfTheSameDispatchDoesNotRun) {
  MessageQueue queue;
  bool secondRan = false;
  queue.SetTimer(1, 10, [&] { queue.KillTimer(2); });
  queue.SetTimer(2, 10, [&] { secondRan = true; });
  std::this_thread::sleep_for(30ms);  // both are due at the dispatch below
  queue.Dispatch();
  EXPECT_FALSE(secondRan);
}

TEST(MessageQueue, QuitFromAnotherThreadEndsTheLoop) {
  MessageQueue queue;
  std::thread quitter([&] { queue.Quit(); });
  EXPECT_TRUE(RunMessageLoop(queue, {}, kPatience));
  quitter.join();
}

TEST(MessageQueue, LoopWithNothingToDoReturnsFalseAtItsTimeout) {
  MessageQueue queue;
  EXPECT_FALSE(RunMessageLoop(queue, {}, 20ms));
}

}  // namespace
}  // namespace qel::platform
