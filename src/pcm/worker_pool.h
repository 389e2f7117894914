// A few threads that run the iterations of one loop in parallel, used to
// resample the channels of a block at the same time. The calling thread takes
// part, so a pool of N workers runs up to N + 1 iterations at once.
//
// Blocks arrive back to back, a fraction of a millisecond apart, so idle
// workers spin for a short while before they sleep: waking a sleeping thread
// costs about as much as resampling a channel of a block.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace PCM_CODEC {

class CWorkerPool {
 public:
  explicit CWorkerPool(unsigned workers);
  ~CWorkerPool();
  CWorkerPool(const CWorkerPool&) = delete;
  CWorkerPool& operator=(const CWorkerPool&) = delete;

  unsigned Workers() const { return static_cast<unsigned>(threads_.size()); }

  // Calls body(i) for every i in 0…count-1 and returns when all have finished.
  void ParallelFor(std::size_t count, const std::function<void(std::size_t)>& body);

 private:
  void WorkerLoop(std::stop_token stop);
  // Runs iterations of the current job until none is left.
  void Drain();
  // Waits until the job generation differs from `seen`; false when stopping.
  bool WaitForJob(std::uint64_t seen, const std::stop_token& stop);

  // The job. Written only while no worker is active (active_ == 0), published
  // by the release store of generation_.
  const std::function<void(std::size_t)>* body_ = nullptr;
  std::size_t count_ = 0;
  std::atomic<std::uint64_t> generation_{0};
  std::atomic<std::size_t> next_{0};
  std::atomic<std::size_t> finished_{0};
  // Workers between noticing a job and being done with it.
  std::atomic<unsigned> active_{0};

  std::mutex mutex_;
  std::condition_variable_any wake_;
  std::atomic<unsigned> sleepers_{0};
  std::vector<std::jthread> threads_;  // last member: joined before the rest goes away
};

}  // namespace PCM_CODEC
