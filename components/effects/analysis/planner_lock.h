// The lock around FFTW's planner, shared by everything in this folder that
// makes or destroys FFT plans (aubio's included).
#pragma once

#include <mutex>

namespace qel::effects::analysis {

// FFTW's planner is not thread-safe, and analysers may start on several
// threads at once: plans are made and destroyed under this lock. A
// function-local static is the one piece of process-wide state here, and it
// holds nothing but the lock.
inline std::mutex& PlannerLock() {
  static std::mutex lock;
  return lock;
}

}  // namespace qel::effects::analysis
