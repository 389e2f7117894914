// The reverb: decay time against its formula, early reflections and the tail
// appended on the last block.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "effects/time_signals.h"

namespace qel::effects::time_test {
namespace {

constexpr double kFs = 44100;

// RT60 from the impulse response by Schroeder's backward integration, fitted
// between −5 and −35 dB.
double MeasuredRt60(const std::vector<double>& ir) {
  std::vector<double> energy(ir.size() + 1, 0.0);
  for (size_t i = ir.size(); i-- > 0;)
    energy[i] = energy[i + 1] + ir[i] * ir[i];
  size_t from = 0, to = 0;
  for (size_t i = 0; i < ir.size(); ++i) {
    const double db = 10 * std::log10(energy[i] / energy[0]);
    if (from == 0 && db <= -5) from = i;
    if (db <= -35) {
      to = i;
      break;
    }
  }
  // Least-squares slope of the decay curve (dB per sample) between them.
  double sx = 0, sy = 0, sxx = 0, sxy = 0;
  for (size_t i = from; i < to; ++i) {
    const double x = static_cast<double>(i), y = 10 * std::log10(energy[i] / energy[0]);
    sx += x, sy += y, sxx += x * x, sxy += x * y;
  }
  const double n = static_cast<double>(to - from);
  const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
  return -60 / slope / kFs;
}

TEST(Reverb, TheDecayTimeMatchesPointZeroNineSecondsOverMinusLogTenOfTheFeedback) {
  // Undamped (P5 above Nyquist), within 10 %.
  for (double feedback : {60.0, 90.0}) {
    auto p = Make(MakeReverb, {{1, 0}, {2, 100}, {3, feedback}, {4, 100}, {5, 30000}, {6, 0}});
    const auto ir = RunBlocks(*p, Impulse(8 * 44100, 10000), {}, nullptr, false);
    const double expected = 0.09 / -std::log10(feedback / 100);
    EXPECT_NEAR(MeasuredRt60(ir), expected, 0.1 * expected) << feedback << " %";
  }
}

// Energy of ir around `centre` (±400 Hz) in a Hann-windowed 50 ms frame.
double BandEnergy(const std::vector<double>& ir, double centre, double seconds) {
  const size_t n = 2205, from = static_cast<size_t>(seconds * kFs);
  std::vector<double> frame(n);
  for (size_t i = 0; i < n; ++i) {
    frame[i] = ir[from + i] * (0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / n));
  }
  double sum = 0;
  for (int k = -20; k <= 20; ++k) {
    const double a = Bin(frame, centre + 20.0 * k, 0, n);
    sum += a * a;
  }
  return sum;
}

TEST(Reverb, DampingShortensTheDecayOfHighFrequenciesOnly) {
  // A 2 kHz damping cutoff: around 200 Hz the decay keeps the formula's rate
  // (within 15 %); around 8 kHz, where each loop pass loses 12 dB, it decays
  // more than four times as fast.
  auto p = Make(MakeReverb, {{1, 0}, {2, 100}, {3, 80}, {4, 100}, {5, 2000}, {6, 0}});
  const auto ir = RunBlocks(*p, Impulse(44100, 10000), {}, nullptr, false);
  const double expected = -60 / (0.09 / -std::log10(0.8));  // dB per second
  auto slope = [&](double hz, double from, double to) {
    return 10 * std::log10(BandEnergy(ir, hz, to) / BandEnergy(ir, hz, from)) / (to - from);
  };
  EXPECT_NEAR(slope(200, 0.1, 0.5), expected, 0.15 * std::abs(expected));
  EXPECT_LT(slope(8000, 0.05, 0.15), 4 * expected);
}

TEST(Reverb, EarlyReflectionsAreTheDocumentedTaps) {
  // Late part off (P4 = 0), 40 ms spread at 48 kHz = 1920 samples, 4 taps:
  // tap k at r_k·1920, r_k = (k − 1 + 0.25 + 0.5·frac(0.618…·k))/4, gain
  // (−1)^(k−1)·(1 − 0.7·r_k)/2.
  auto p = Make(MakeReverb, {{1, 40}, {2, 100}, {3, 50}, {4, 0}, {6, 4}}, 48000);
  const auto out = RunBlocks(*p, Impulse(4000, 1), {}, nullptr, false);
  std::vector<double> expected(out.size(), 0.0);
  for (int k = 1; k <= 4; ++k) {
    const double golden = k * 0.6180339887498949;
    const double r = (k - 1 + 0.25 + 0.5 * (golden - std::floor(golden))) / 4;
    expected[static_cast<size_t>(std::lround(r * 1920))] = (k % 2 ? 1 : -1) * (1 - 0.7 * r) / 2;
  }
  for (size_t i = 0; i < out.size(); ++i)
    ASSERT_NEAR(out[i], expected[i], 1e-12) << i;
}

Settings Room() {
  return {{1, 20}, {2, 50}, {3, 80}, {4, 100}, {5, 5000}, {6, 4}};
}

TEST(Reverb, OnlyTheLastBlockIsLongerThanItsInput) {
  std::vector<size_t> counts;
  RunBlocks(*Make(MakeReverb, Room()), Noise(8820, 10000), {4410}, &counts);
  ASSERT_EQ(counts.size(), 2u);
  EXPECT_EQ(counts[0], 4410u);
  EXPECT_GT(counts[1], 4410u + 44100u);
}

TEST(Reverb, TheTailEndsAtTheLastSampleAboveMinus90dBFSAndTheDecayStaysBelowAfterIt) {
  const double endLevel = 32768 * std::pow(10.0, -90.0 / 20);
  const auto in = Noise(22050, 10000);
  auto p = Make(MakeReverb, Room());
  const auto withTail = RunBlocks(*p, in);
  const size_t tail = withTail.size() - in.size();
  EXPECT_GE(std::abs(withTail.back()), endLevel);
  // The same input followed by silence in ordinary blocks: the tail is what
  // the silence produces, and everything after it stays under −90 dBFS.
  std::vector<double> padded = in;
  padded.resize(in.size() + tail + 2 * 44100, 0.0);
  auto q = Make(MakeReverb, Room());
  const auto continued = RunBlocks(*q, padded, {}, nullptr, false);
  EXPECT_LE(RelativeDifference(std::span(withTail), std::span(continued).first(withTail.size())),
            1e-12);
  EXPECT_LT(Peak(std::span(continued).subspan(withTail.size())), endLevel);
}

TEST(Reverb, TheTailStopsAtTenSeconds) {
  // Feedback 98 %: RT60 ≈ 10.3 s, far longer than a full-scale burst needs.
  auto p = Make(MakeReverb, {{1, 20}, {2, 100}, {3, 98}, {4, 100}, {5, 30000}, {6, 0}});
  const auto out = RunBlocks(*p, Noise(4410, 30000));
  EXPECT_EQ(out.size(), 4410u + 441000u);
}

TEST(Reverb, NoWetSignalMeansNoTailAndTheInputUnchanged) {
  auto p = Make(MakeReverb, {{1, 20}, {2, 0}, {3, 80}, {4, 100}, {6, 4}});
  const auto in = Noise(4410, 10000);
  const auto out = RunBlocks(*p, in);
  ASSERT_EQ(out.size(), in.size());
  EXPECT_LE(RelativeDifference(out, in), 1e-15);
}

}  // namespace
}  // namespace qel::effects::time_test
