// Known signals and measurements shared by the spectral kinds' tests.
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "effects/time_signals.h"
#include "processor.h"

namespace qel::effects::spectral_test {

// Decibels and the peak are the time kinds' own.
using time_test::Db;
using time_test::Peak;

inline constexpr double kRate = 44100;
inline constexpr std::size_t kSecond = 44100;

inline std::vector<double> Sine(double hz, std::size_t frames, double amplitude = 10000,
                                double phase = 0) {
  std::vector<double> s(frames);
  for (std::size_t i = 0; i < frames; ++i) {
    s[i] = amplitude * std::sin(2 * std::numbers::pi * hz * static_cast<double>(i) / kRate + phase);
  }
  return s;
}

// White Gaussian noise of standard deviation sigma, fixed seed.
inline std::vector<double> Noise(std::size_t frames, double sigma, unsigned seed = 7) {
  std::mt19937 generator(seed);
  std::normal_distribution<double> normal(0.0, sigma);
  std::vector<double> s(frames);
  for (double& v : s)
    v = normal(generator);
  return s;
}

inline std::vector<double> Impulse(std::size_t frames, std::size_t at, double amplitude = 10000) {
  std::vector<double> s(frames, 0.0);
  s[at] = amplitude;
  return s;
}

inline std::vector<double> Add(std::vector<double> a, const std::vector<double>& b) {
  for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
    a[i] += b[i];
  return a;
}

inline void Start(Processor& p) {
  p.Start({kRate, 16, 32768});
}

// How the end of a run is made known to the processor.
enum class End { kMarked, kRangeOnly, kUnknown };

// Runs `in` through p in blocks of `block` frames.
inline std::vector<double> RunBlocks(Processor& p, const std::vector<double>& in, std::size_t block,
                                     End end = End::kMarked) {
  std::vector<double> out;
  const auto range = static_cast<int64_t>(in.size());
  std::size_t at = 0;
  do {
    const std::size_t n = std::min(block, in.size() - at);
    BlockInfo info;
    info.position = static_cast<int64_t>(at);
    info.rangeFrames = end == End::kUnknown ? 0 : range;
    info.last = end == End::kMarked && at + n == in.size();
    std::vector<double> piece;
    p.Process({in.data() + at, n}, info, piece);
    out.insert(out.end(), piece.begin(), piece.end());
    at += n;
  } while (at < in.size());
  return out;
}

// The measuring pass, in blocks of one second, then the run.
inline std::vector<double> MeasureAndRun(Processor& p, const std::vector<double>& in,
                                         std::size_t block = kSecond, End end = End::kMarked) {
  if (p.Measures()) {
    for (std::size_t at = 0; at < in.size(); at += kSecond)
      p.Measure({in.data() + at, std::min(kSecond, in.size() - at)});
  }
  return RunBlocks(p, in, block, end);
}

// One bin of the DFT over [from, from + length); exact for a sine when a
// whole number of its cycles fits (any integer frequency over one second).
inline std::complex<double> Bin(const std::vector<double>& s, double hz, std::size_t from,
                                std::size_t length = kSecond) {
  std::complex<double> sum;
  for (std::size_t i = from; i < from + length; ++i) {
    sum += s[i] * std::polar(1.0, -2 * std::numbers::pi * hz * static_cast<double>(i) / kRate);
  }
  return sum;
}

// The gain of a started, length-preserving p at hz: three seconds of sine in
// blocks of a second, compared over the middle second, away from the edges.
inline double MeasuredGainDb(Processor& p, double hz, End end = End::kMarked,
                             std::size_t length = kSecond) {
  const std::vector<double> in = Sine(hz, 3 * kSecond);
  const std::vector<double> out = RunBlocks(p, in, kSecond, end);
  return 20 * std::log10(std::abs(Bin(out, hz, kSecond, length)) /
                         std::abs(Bin(in, hz, kSecond, length)));
}

// The power at hz over [from, from + 1 s) through a Hann window, which keeps
// a strong tone far away from leaking in.
inline double HannPower(const std::vector<double>& s, double hz, std::size_t from) {
  std::complex<double> sum;
  for (std::size_t i = 0; i < kSecond; ++i) {
    const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(i) / kRate);
    sum += w * s[from + i] *
           std::polar(1.0, -2 * std::numbers::pi * hz * static_cast<double>(i) / kRate);
  }
  return std::norm(sum);
}

inline double MaxAbsDifference(const std::vector<double>& a, const std::vector<double>& b) {
  double worst = 0;
  for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
    worst = std::max(worst, std::abs(a[i] - b[i]));
  return worst;
}

// `s` through a flat gain of `db` decibels.
inline std::vector<double> ScaledDb(std::vector<double> s, double db) {
  for (double& v : s)
    v *= std::pow(10.0, db / 20);
  return s;
}

// A 1 kHz sine through p (set flat at 0 dB) for a second, then the gain P`index`
// changed to −12 dB for two more seconds: the output steps by no more than the
// sine does within `window` frames of the change (a response switched at once
// steps by up to 3/4 of the amplitude), and the last second is 12 dB down.
inline void ExpectGlideToMinus12Db(Processor& p, int index, std::size_t window, End end) {
  const double amplitude = 10000;
  const std::vector<double> in = Sine(1000, 3 * kSecond, amplitude);
  std::vector<double> out;
  p.Process({in.data(), kSecond}, {0, 3 * kSecond, false}, out);
  ASSERT_TRUE(p.SetParam(index, std::vector<double>{-12}));
  for (std::size_t at = kSecond; at < in.size(); at += kSecond) {
    std::vector<double> piece;
    const bool last = end == End::kMarked && at + kSecond == in.size();
    p.Process({in.data() + at, kSecond}, {static_cast<int64_t>(at), 3 * kSecond, last}, piece);
    out.insert(out.end(), piece.begin(), piece.end());
  }
  ASSERT_EQ(out.size(), in.size());
  double largest = 0;
  for (std::size_t i = kSecond - window; i < kSecond + window; ++i)
    largest = std::max(largest, std::abs(out[i + 1] - out[i]));
  EXPECT_LE(largest, 1.01 * amplitude * 2 * std::numbers::pi * 1000 / kRate);
  EXPECT_NEAR(Db(std::abs(Bin(out, 1000, 2 * kSecond)) / std::abs(Bin(in, 1000, 2 * kSecond))), -12,
              0.05);
}
}  // namespace qel::effects::spectral_test
