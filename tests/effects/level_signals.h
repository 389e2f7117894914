// Running a level processor over a whole signal and measuring what comes out.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <span>
#include <vector>

#include "processor.h"

namespace leveltest {

using qel::effects::BlockInfo;
using qel::effects::Processor;
using qel::effects::StreamSetup;

inline constexpr double kRate = 44100;
inline constexpr double kFullScale = 32768;

inline std::vector<double> Sine(double freq, double amplitude, size_t frames, double rate = kRate) {
  std::vector<double> v(frames);
  for (size_t t = 0; t < frames; ++t) {
    v[t] = amplitude * std::sin(2.0 * std::numbers::pi * freq * static_cast<double>(t) / rate);
  }
  return v;
}

inline std::vector<double> Constant(double value, size_t frames) {
  return std::vector<double>(frames, value);
}

// Starts the processor, measures first when it asks to, then feeds the signal
// in blocks of `block` frames, in order.
inline std::vector<double> RunBlocks(Processor& p, std::span<const double> in, size_t block,
                                     const StreamSetup& setup = {}) {
  p.Start(setup);
  const auto total = static_cast<int64_t>(in.size());
  if (p.Measures()) {
    for (size_t at = 0; at < in.size(); at += block) {
      p.Measure(in.subspan(at, std::min(block, in.size() - at)));
    }
  }
  std::vector<double> result;
  std::vector<double> out;
  for (size_t at = 0; at < in.size(); at += block) {
    const size_t n = std::min(block, in.size() - at);
    out.clear();
    p.Process(in.subspan(at, n), BlockInfo{static_cast<int64_t>(at), total, at + n == in.size()},
              out);
    result.insert(result.end(), out.begin(), out.end());
  }
  return result;
}

inline double Peak(std::span<const double> v) {
  double peak = 0;
  for (double x : v)
    peak = std::max(peak, std::abs(x));
  return peak;
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
