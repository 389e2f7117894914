// Signals, block runners and measurements shared by the tests of the pitch and
// time kinds.
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <numbers>
#include <random>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "effects/time_signals.h"
#include "processor.h"
#include "processors.h"

namespace qel::effects::pitch_test {

// The factories, signals and decibels are the time kinds' own.
using time_test::Db;
using time_test::Factory;
using time_test::Make;
using time_test::Noise;
using time_test::RunBlocks;
using time_test::Settings;
using time_test::Sine;

// Whether each block's output count depends only on the block lengths: a
// tone and noise through the same settings give the same counts.
inline void ExpectCountsIndependentOfTheSignal(Factory factory, const Settings& settings,
                                               size_t frames) {
  const std::vector<size_t> blocks{44100, 1, 7, 20000, 4410, 3};
  std::vector<size_t> toneCounts, noiseCounts;
  RunBlocks(*Make(factory, settings), Sine(440, 10000, frames), blocks, &toneCounts);
  RunBlocks(*Make(factory, settings), Noise(frames, 20000), blocks, &noiseCounts);
  EXPECT_EQ(toneCounts, noiseCounts);
}

// The longest run of exact zeros in x from frame `from` on: an engine behind
// its schedule, or reading past the input's end, fills the gap with zeros.
inline size_t LongestZeroRun(std::span<const double> x, size_t from = 0) {
  size_t run = 0, longest = 0;
  for (size_t i = from; i < x.size(); ++i) {
    run = x[i] == 0 ? run + 1 : 0;
    longest = std::max(longest, run);
  }
  return longest;
}

// P2 of the pitch shifter and the time stretcher, the engine: the parameter
// of the suites that run on both.
constexpr double kTimeDomain = 0;
constexpr double kRubberBand = 1;

inline std::string EngineName(const ::testing::TestParamInfo<double>& info) {
  return info.param == kRubberBand ? "RubberBand" : "TimeDomain";
}

// Silence with a sine between frames `from` and `to`.
inline std::vector<double> Burst(double hz, double amplitude, size_t n, size_t from, size_t to,
                                 double rate = 44100) {
  std::vector<double> x = Sine(hz, amplitude, n, rate);
  for (size_t i = 0; i < n; ++i)
    if (i < from || i >= to) x[i] = 0;
  return x;
}

// x[from, from + n) under a Hann window, scaled so that the |DFT| of a sine
// of amplitude A reads about A at its frequency.
inline std::vector<double> Windowed(std::span<const double> x, size_t from, size_t n) {
  std::vector<double> w(n);
  for (size_t i = 0; i < n; ++i) {
    const double hann = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(i) /
                                             static_cast<double>(n));
    w[i] = 4 * hann * x[from + i] / static_cast<double>(n);
  }
  return w;
}

inline double Dft(std::span<const double> windowed, double hz, double rate) {
  std::complex<double> sum = 0;
  const std::complex<double> step = std::polar(1.0, -2 * std::numbers::pi * hz / rate);
  std::complex<double> phasor = 1;
  for (double v : windowed) {
    sum += v * phasor;
    phasor *= step;
  }
  return std::abs(sum);
}

// The level of the component at hz in x[from, from + n).
inline double Level(std::span<const double> x, double hz, size_t from, size_t n,
                    double rate = 44100) {
  return Dft(Windowed(x, from, n), hz, rate);
}

// The frequency of the strongest component between lo and hi: a scan on a
// grid, then a ternary search of the windowed spectrum's peak.
inline double PeakFrequency(std::span<const double> x, size_t from, size_t n, double lo, double hi,
                            double rate = 44100) {
  const std::vector<double> w = Windowed(x, from, n);
  const int steps = 200;
  const double grid = (hi - lo) / steps;
  double best = lo;
  double bestLevel = -1;
  for (int k = 0; k <= steps; ++k) {
    const double f = lo + grid * k;
    const double level = Dft(w, f, rate);
    if (level > bestLevel) bestLevel = level, best = f;
  }
  double a = best - grid, b = best + grid;
  for (int i = 0; i < 40; ++i) {
    const double m1 = a + (b - a) / 3, m2 = b - (b - a) / 3;
    if (Dft(w, m1, rate) < Dft(w, m2, rate)) {
      a = m1;
    } else {
      b = m2;
    }
  }
  return (a + b) / 2;
}

// Seconds from the start to the first (rising) or last (falling) sample whose
// magnitude reaches half of `amplitude`: a tone burst's edges, to within a
// quarter of its period.
inline double Edge(std::span<const double> y, double amplitude, bool rising, double rate = 44100) {
  const auto hit = [&](double v) { return std::abs(v) >= amplitude / 2; };
  if (rising) {
    const auto it = std::find_if(y.begin(), y.end(), hit);
    return it == y.end() ? -1 : static_cast<double>(it - y.begin()) / rate;
  }
  const auto it = std::find_if(y.rbegin(), y.rend(), hit);
  return it == y.rend() ? -1 : static_cast<double>(y.rend() - it - 1) / rate;
}

}  // namespace qel::effects::pitch_test
