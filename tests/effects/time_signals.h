// Signals, block runners and measurements shared by the tests of the time
// effects.
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <memory>
#include <numbers>
#include <random>
#include <span>
#include <utility>
#include <vector>

#include "processor.h"
#include "processors.h"

namespace qel::effects::time_test {

using Factory = std::unique_ptr<Processor> (*)();
using Settings = std::vector<std::pair<int, double>>;

inline std::unique_ptr<Processor> Make(Factory factory, const Settings& settings,
                                       double rate = 44100, double fullScale = 32768) {
  auto p = factory();
  for (const auto& [index, value] : settings)
    p->SetParam(index, value);
  StreamSetup setup;
  setup.sampleRate = rate;
  setup.fullScale = fullScale;
  p->Start(setup);
  return p;
}

// Runs `in` through the processor in blocks of the given lengths, repeated
// cyclically (the whole signal at once when empty); the final block is marked
// last when `last` is set. `counts` receives each block's output length.
inline std::vector<double> RunBlocks(Processor& p, std::span<const double> in,
                                     std::vector<size_t> lengths = {},
                                     std::vector<size_t>* counts = nullptr, bool last = true) {
  if (lengths.empty()) lengths = {std::max<size_t>(in.size(), 1)};
  std::vector<double> result;
  std::vector<double> out;
  size_t pos = 0;
  size_t k = 0;
  do {
    const size_t n = std::min(lengths[k++ % lengths.size()], in.size() - pos);
    out.clear();
    const BlockInfo info{static_cast<int64_t>(pos), static_cast<int64_t>(in.size()),
                         last && pos + n == in.size()};
    p.Process(in.subspan(pos, n), info, out);
    if (counts != nullptr) counts->push_back(out.size());
    result.insert(result.end(), out.begin(), out.end());
    pos += n;
  } while (pos < in.size());
  return result;
}

inline std::vector<double> Sine(double hz, double amplitude, size_t n, double rate = 44100) {
  std::vector<double> x(n);
  for (size_t i = 0; i < n; ++i)
    x[i] = amplitude * std::sin(2 * std::numbers::pi * hz * i / rate);
  return x;
}

inline std::vector<double> Impulse(size_t n, double amplitude = 1.0, size_t at = 0) {
  std::vector<double> x(n, 0.0);
  if (at < n) x[at] = amplitude;
  return x;
}

inline std::vector<double> Noise(size_t n, double amplitude, unsigned seed = 7) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> dist(-amplitude, amplitude);
  std::vector<double> x(n);
  for (auto& v : x)
    v = dist(gen);
  return x;
}

// Amplitude of the component at `hz` in x[from, from + n): least-squares fit of
// a·cos + b·sin (and a constant), exact for a pure sinusoid of that frequency.
inline double Amplitude(std::span<const double> x, double hz, size_t from, size_t n,
                        double rate = 44100) {
  double cc = 0, ss = 0, cs = 0, xc = 0, xs = 0, c1 = 0, s1 = 0, x1 = 0;
  for (size_t i = from; i < from + n; ++i) {
    const double w = 2 * std::numbers::pi * hz * static_cast<double>(i) / rate;
    const double c = std::cos(w), s = std::sin(w);
    cc += c * c, ss += s * s, cs += c * s, xc += x[i] * c, xs += x[i] * s;
    c1 += c, s1 += s, x1 += x[i];
  }
  const double m = static_cast<double>(n);
  // Remove the mean from the normal equations.
  cc -= c1 * c1 / m, ss -= s1 * s1 / m, cs -= c1 * s1 / m;
  xc -= x1 * c1 / m, xs -= x1 * s1 / m;
  const double det = cc * ss - cs * cs;
  const double a = (xc * ss - xs * cs) / det;
  const double b = (xs * cc - xc * cs) / det;
  return std::hypot(a, b);
}

// |DFT| at hz over x[from, from + n), scaled so a sine of amplitude A reads A
// when n spans whole periods.
inline double Bin(std::span<const double> x, double hz, size_t from, size_t n,
                  double rate = 44100) {
  std::complex<double> sum = 0;
  for (size_t i = 0; i < n; ++i) {
    sum +=
        x[from + i] * std::polar(1.0, -2 * std::numbers::pi * hz * static_cast<double>(i) / rate);
  }
  return 2 * std::abs(sum) / static_cast<double>(n);
}

inline double Db(double ratio) {
  return 20 * std::log10(ratio);
}

inline double Peak(std::span<const double> x) {
  double peak = 0;
  for (double v : x)
    peak = std::max(peak, std::abs(v));
  return peak;
}

// Largest difference between two signals relative to the larger one's peak.
inline double RelativeDifference(std::span<const double> a, std::span<const double> b) {
  if (a.size() != b.size()) return INFINITY;
  double diff = 0;
  for (size_t i = 0; i < a.size(); ++i)
    diff = std::max(diff, std::abs(a[i] - b[i]));
  return diff / std::max({Peak(a), Peak(b), 1e-300});
}

}  // namespace qel::effects::time_test
