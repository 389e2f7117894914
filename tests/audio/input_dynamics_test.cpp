// Accumulation and automatic gain on chunks of known samples.
#include "input_dynamics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace qel::audio {
namespace {

constexpr int32_t kRate = 8000;
constexpr size_t kChunkFrames = 80;  // 10 ms, as the capture thread reads them

// A 10 ms chunk of 16-bit mono samples at `level` of full scale, marked by
// `seed` so that chunks can be told apart.
std::vector<uint8_t> Chunk(double level, int seed) {
  std::vector<uint8_t> bytes(kChunkFrames * 2);
  for (size_t i = 0; i < kChunkFrames; ++i) {
    const double wave = (i % 2 == 0 ? 1.0 : -1.0) * (1.0 - 0.001 * ((i + seed) % 7));
    const auto v = static_cast<int16_t>(std::lround(wave * level * 32767));
    bytes[2 * i] = static_cast<uint8_t>(v);
    bytes[2 * i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8);
  }
  return bytes;
}

int32_t PeakOf(const std::vector<uint8_t>& bytes) {
  int32_t peak = 0;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    peak = std::max(peak, std::abs(static_cast<int16_t>(bytes[i] | bytes[i + 1] << 8)));
  return peak;
}

struct Fed {
  std::vector<uint8_t> in, out;
  std::vector<int32_t> gains;
};

// Feeds `count` chunks at `level` (seeded from `seed` on) through `dynamics`.
void Feed(InputDynamics& dynamics, Fed& run, int count, double level, int seed) {
  for (int i = 0; i < count; ++i) {
    std::vector<uint8_t> chunk = Chunk(level, seed + i);
    run.in.insert(run.in.end(), chunk.begin(), chunk.end());
    if (const int32_t gain = dynamics.Process(chunk, &run.out); gain >= 0)
      run.gains.push_back(gain);
  }
}

AccumulationSettings Accumulate(int32_t attackMs, int32_t releaseMs) {
  return {true, attackMs, -20, releaseMs, -30};
}

TEST(Accumulation, SilenceBeforeASoundIsDroppedAndItsOnsetKept) {
  InputDynamics dynamics(kRate, 1, 16, Accumulate(30, 500), {});
  Fed run;
  Feed(dynamics, run, 20, 0.001, 0);
  const size_t onset = run.in.size();
  Feed(dynamics, run, 10, 0.5, 100);
  EXPECT_EQ(run.out,
            std::vector<uint8_t>(run.in.begin() + static_cast<ptrdiff_t>(onset), run.in.end()));
}

TEST(Accumulation, ABurstShorterThanTheAttackTimeIsNotKept) {
  InputDynamics dynamics(kRate, 1, 16, Accumulate(50, 500), {});
  Fed run;
  Feed(dynamics, run, 3, 0.5, 0);  // 30 ms
  Feed(dynamics, run, 10, 0.001, 10);
  EXPECT_TRUE(run.out.empty());
}

TEST(Accumulation, TheTailIsKeptForTheReleaseTimeAndWhatFollowsDropped) {
  InputDynamics dynamics(kRate, 1, 16, Accumulate(10, 200), {});
  Fed run;
  Feed(dynamics, run, 10, 0.5, 0);
  Feed(dynamics, run, 100, 0.001, 10);  // one second of near silence
  const size_t kept = (10 + 20) * kChunkFrames * 2;
  ASSERT_EQ(run.out.size(), kept);
  EXPECT_EQ(run.out, std::vector<uint8_t>(run.in.begin(), run.in.begin() + kept));
}

TEST(GainControl, APeakAboveTheHighLevelLowersTheGainAtOnce) {
  InputDynamics dynamics(kRate, 1, 16, {}, {true, -20, -6, 500});
  Fed run;
  Feed(dynamics, run, 1, 1.0, 0);
  ASSERT_EQ(run.gains.size(), 1u);
  EXPECT_NEAR(run.gains[0], 50, 1);                                    // -6 dB: half
  EXPECT_NEAR(PeakOf(run.out), 32768 * std::pow(10.0, -6 / 20.0), 1);  // lowered in this chunk
}

TEST(GainControl, AQuietInputIsRaisedOneDbPerAttackTimeUpTo24Db) {
  InputDynamics dynamics(kRate, 1, 16, {}, {true, -20, -3, 100});
  Fed run;
  Feed(dynamics, run, 50, 0.001, 0);  // half a second: five steps
  ASSERT_EQ(run.gains.size(), 5u);
  EXPECT_NEAR(run.gains.back(), 100 * std::pow(10.0, 5 / 20.0), 1);
  Feed(dynamics, run, 400, 0.001, 50);
  EXPECT_NEAR(dynamics.GainPercent(), 100 * std::pow(10.0, 24 / 20.0), 1);  // the ceiling
}

TEST(GainControl, OffLeavesEverySampleAsItWas) {
  InputDynamics dynamics(kRate, 1, 16, {}, {});
  Fed run;
  Feed(dynamics, run, 5, 0.9, 0);
  EXPECT_EQ(run.out, run.in);
  EXPECT_TRUE(run.gains.empty());
}

}  // namespace
}  // namespace qel::audio
