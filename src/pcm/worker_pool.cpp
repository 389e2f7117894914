#include "pcm/worker_pool.h"

#include <chrono>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace PCM_CODEC {

namespace {

constexpr auto kSpinTime = std::chrono::microseconds(200);

inline void Relax() {
#if defined(__SSE2__)
  _mm_pause();
#else
  std::this_thread::yield();
#endif
}

}  // namespace

CWorkerPool::CWorkerPool(unsigned workers) {
  threads_.reserve(workers);
  for (unsigned k = 0; k < workers; ++k) {
    threads_.emplace_back([this](std::stop_token stop) { WorkerLoop(stop); });
  }
}

CWorkerPool::~CWorkerPool() {
  for (auto& t : threads_)
    t.request_stop();
  {
    std::lock_guard lock(mutex_);
    wake_.notify_all();
  }
  threads_.clear();
}

void CWorkerPool::Drain() {
  std::size_t done = 0;
  for (std::size_t i = next_.fetch_add(1); i < count_; i = next_.fetch_add(1)) {
    (*body_)(i);
    ++done;
  }
  if (done != 0) finished_.fetch_add(done, std::memory_order_release);
}

bool CWorkerPool::WaitForJob(std::uint64_t seen, const std::stop_token& stop) {
  const auto until = std::chrono::steady_clock::now() + kSpinTime;
  for (unsigned spins = 0; generation_.load(std::memory_order_acquire) == seen; ++spins) {
    if (stop.stop_requested()) return false;
    if ((spins & 63) == 63 && std::chrono::steady_clock::now() > until) {
      std::unique_lock lock(mutex_);
      sleepers_.fetch_add(1);
      const bool woke = wake_.wait(lock, stop, [&] { return generation_.load() != seen; });
      sleepers_.fetch_sub(1);
      return woke;
    }
    Relax();
  }
  return true;
}

void CWorkerPool::WorkerLoop(std::stop_token stop) {
  std::uint64_t seen = 0;
  for (;;) {
    if (!WaitForJob(seen, stop)) return;
    active_.fetch_add(1);
    // Only a job published after we became active may be read: the owner does
    // not rewrite the job while any worker is active.
    const std::uint64_t current = generation_.load(std::memory_order_acquire);
    if (current != seen) {
      seen = current;
      Drain();
    }
    active_.fetch_sub(1, std::memory_order_release);
  }
}

void CWorkerPool::ParallelFor(std::size_t count, const std::function<void(std::size_t)>& body) {
  if (count == 0) return;
  if (threads_.empty() || count == 1) {
    for (std::size_t i = 0; i < count; ++i)
      body(i);
    return;
  }
  // No worker may still be looking at the previous job.
  while (active_.load(std::memory_order_acquire) != 0)
    Relax();
  body_ = &body;
  count_ = count;
  finished_.store(0, std::memory_order_relaxed);
  next_.store(0, std::memory_order_relaxed);
  generation_.fetch_add(1, std::memory_order_seq_cst);
  if (sleepers_.load(std::memory_order_seq_cst) != 0) {
    std::lock_guard lock(mutex_);
    wake_.notify_all();
  }
  Drain();
  for (unsigned spins = 0; finished_.load(std::memory_order_acquire) != count; ++spins) {
    if ((spins & 1023) == 1023) {
      std::this_thread::yield();
    } else {
      Relax();
    }
  }
}

}  // namespace PCM_CODEC
