// The bit-depth stage: changes the sample size of interleaved PCM through a
// normalised double, optionally adding table-driven dither noise and 9-tap
// error-feedback noise shaping. Noise is generated once per preparation so the
// per-sample work is a table read, a short sum and a rounding.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace PCM_CODEC {

class CDither {
 public:
  static constexpr std::size_t kNoiseTableSize = 32768;
  static constexpr int kShapingTaps = 9;
  using ShapingSet = std::array<double, kShapingTaps>;

  // Dither type values: 0 triangle, 2 uniform, 3 coloured, anything else Gaussian.
  void SetEnabled(bool on) { enabled_ = on; }
  void SetType(std::int32_t type) { type_ = type; }
  void SetNoiseShapingEnabled(bool on) { shapingEnabled_ = on; }
  // 1 and 2 choose a coefficient set at preparation; other values keep the current set.
  void SetNoiseShapingType(std::int32_t type) { shapingType_ = type; }
  // Values below 1 become 1. The error histories are rebuilt at preparation.
  void SetChannels(std::int32_t channels);
  void SetSampleRate(std::int32_t rate) { sampleRate_ = rate < 100 ? 100 : rate; }
  void SetInputBits(std::int32_t bits) { inBits_ = bits < 1 ? 16 : bits; }
  void SetOutputBits(std::int32_t bits) { outBits_ = bits < 1 ? 16 : bits; }

  bool Enabled() const { return enabled_; }
  std::int32_t Type() const { return type_; }
  bool NoiseShapingEnabled() const { return shapingEnabled_; }
  std::int32_t NoiseShapingType() const { return shapingType_; }
  int Channels() const { return channels_; }
  int SampleRate() const { return sampleRate_; }
  int InputBits() const { return inBits_; }
  int OutputBits() const { return outBits_; }
  const ShapingSet& ShapingCoefficients() const { return shaping_; }
  std::span<const double> NoiseTable() const { return noise_; }

  // Fills the noise table from a fresh generator, clears the error histories
  // and picks the noise-shaping set.
  void Prepare();

  // Converts whole frames of interleaved input (input bits, Channels() channels)
  // to the output size. Input sizes other than 8/16/24/32 bits are read from
  // their whole-byte container, left-justified as in wave files. The result
  // stays valid until the next call.
  std::span<const std::uint8_t> Process(std::span<const std::uint8_t> in);

 private:
  template <int InBytes, int OutBits>
  void Run(const std::uint8_t* in, std::uint8_t* out, std::size_t frames);

  std::int32_t type_ = 0;
  int inBits_ = 16;
  int outBits_ = 8;
  int sampleRate_ = 44100;
  int channels_ = 2;
  bool enabled_ = false;
  bool shapingEnabled_ = false;
  std::int32_t shapingType_ = 1;

  std::vector<double> noise_;
  std::uint32_t noiseIndex_ = 0;
  std::vector<ShapingSet> errors_;  // per channel e[0] … e[8]
  ShapingSet shaping_;
  std::vector<std::uint8_t> out_;
};

}  // namespace PCM_CODEC
