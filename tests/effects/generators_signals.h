// Running the generator chunk by chunk and measuring what it made: level,
// frequency from zero crossings, and the noise spectrum.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <numbers>
#include <span>
#include <utility>
#include <vector>

#include "level_signals.h"
#include "processor.h"
#include "processors.h"

namespace qel::effects::generators_test {

// The rate, the full scale and the level measures are the level kinds' own.
using leveltest::DbToAmplitude;
using leveltest::kFullScale;
using leveltest::kRate;
using leveltest::Peak;
using leveltest::SineLevelDb;

// Signal types (P1).
inline constexpr double kWhite = 0, kSilence = 1, kPink = 2, kBrown = 3, kSine = 5, kChirp = 6,
                        kSquare = 7, kSawtooth = 8, kTriangle = 9;

using time_test::Settings;

inline std::unique_ptr<Processor> Make(const Settings& settings, double fullScale = kFullScale) {
  return time_test::Make(MakeGenerator, settings, kRate, fullScale);
}
// Generates one chunk per entry of `chunks` (frames each), as the control
// does: zeros in, `position` counting the frames made before.
inline std::vector<double> Generate(Processor& p, const std::vector<size_t>& chunks) {
  std::vector<double> result;
  std::vector<double> out;
  int64_t position = 0;
  for (size_t n : chunks) {
    const std::vector<double> zeros(n, 0.0);
    out.clear();
    p.Process(zeros, BlockInfo{position, 0, false}, out);
    result.insert(result.end(), out.begin(), out.end());
    position += static_cast<int64_t>(n);
  }
  return result;
}

inline std::vector<double> Generate(const Settings& settings, size_t frames) {
  return Generate(*Make(settings), {frames});
}

inline size_t Frames(double seconds) {
  return static_cast<size_t>(std::llround(seconds * kRate));
}

inline double Rms(std::span<const double> x) {
  double sum = 0;
  for (double v : x)
    sum += v * v;
  return std::sqrt(sum / static_cast<double>(x.size()));
}

// Times (in frames, linearly interpolated) where x rises through zero.
inline std::vector<double> RisingCrossings(std::span<const double> x) {
  std::vector<double> times;
  for (size_t i = 0; i + 1 < x.size(); ++i) {
    if (x[i] < 0 && x[i + 1] >= 0) {
      times.push_back(static_cast<double>(i) + -x[i] / (x[i + 1] - x[i]));
    }
  }
  return times;
}

// The mean frequency over x from its first to its last rising zero crossing.
inline double FrequencyHz(std::span<const double> x) {
  const auto t = RisingCrossings(x);
  if (t.size() < 2) return 0;
  return static_cast<double>(t.size() - 1) / (t.back() - t.front()) * kRate;
}

// Power spectral density at each of `hz` (arbitrary but common units):
// Hann-windowed segments of 4096 frames, half overlapping, each frequency
// averaged over the 9 bins around it.
inline std::vector<double> SpectrumAt(std::span<const double> x, const std::vector<double>& hz) {
  constexpr size_t kSegment = 4096;
  std::vector<double> window(kSegment);
  for (size_t i = 0; i < kSegment; ++i)
    window[i] = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(i) / kSegment);
  std::vector<double> power(hz.size(), 0.0);
  std::vector<double> segment(kSegment);
  for (size_t from = 0; from + kSegment <= x.size(); from += kSegment / 2) {
    for (size_t i = 0; i < kSegment; ++i)
      segment[i] = x[from + i] * window[i];
    for (size_t f = 0; f < hz.size(); ++f) {
      const double centre = std::round(hz[f] * kSegment / kRate);
      for (int bin = -4; bin <= 4; ++bin) {
        // Goertzel at bin centre + bin.
        const double w = 2 * std::numbers::pi * (centre + bin) / kSegment;
        const double coeff = 2 * std::cos(w);
        double s1 = 0, s2 = 0;
        for (double v : segment) {
          const double s = v + coeff * s1 - s2;
          s2 = s1;
          s1 = s;
        }
        power[f] += s1 * s1 + s2 * s2 - coeff * s1 * s2;
      }
    }
  }
  return power;
}

inline double Db(double powerRatio) {
  return 10 * std::log10(powerRatio);
}

}  // namespace qel::effects::generators_test
