// Running a level processor over a whole signal and measuring what comes out.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "effects/time_signals.h"
#include "processor.h"

namespace leveltest {

using qel::effects::BlockInfo;
using qel::effects::Processor;
using qel::effects::StreamSetup;

inline constexpr double kRate = 44100;
inline constexpr double kFullScale = 32768;

// The sine and the peak are the time kinds' own.
using qel::effects::time_test::Peak;
using qel::effects::time_test::Sine;

inline std::vector<double> Constant(double value, size_t frames) {
  return std::vector<double>(frames, value);
}

// Starts the processor, measures first when it asks to, then feeds the signal
// in blocks of `block` frames, in order.
inline std::vector<double> RunBlocks(Processor& p, std::span<const double> in, size_t block,
                                     const StreamSetup& setup = {}) {
  p.Start(setup);
  if (p.Measures()) {
    for (size_t at = 0; at < in.size(); at += block)
      p.Measure(in.subspan(at, std::min(block, in.size() - at)));
  }
  return qel::effects::time_test::RunBlocks(p, in, {block});
}
inline double Mean(std::span<const double> v) {
  double sum = 0;
  for (double x : v)
    sum += x;
  return sum / static_cast<double>(v.size());
}

// The level of a sine as the level of its peak (√2·RMS), in dB re full scale.
inline double SineLevelDb(std::span<const double> v) {
  double squares = 0;
  for (double x : v)
    squares += x * x;
  return 20.0 * std::log10(std::sqrt(2.0 * squares / static_cast<double>(v.size())) / kFullScale);
}

inline double DbToAmplitude(double db) {
  return kFullScale * std::pow(10.0, db / 20.0);
}

}  // namespace leveltest
