// The generator: noise, silence, periodic waveforms and chirps, with optional
// amplitude modulation and a fade-in, mixed over the (silent) input.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

#include "noise.h"
#include "processor.h"

namespace qel::effects::generators {

// P1: what is generated.
enum class SignalType {
  kWhiteNoise = 0,
  kSilence = 1,
  kPinkNoise = 2,
  kBrownNoise = 3,
  kSine = 5,
  kChirp = 6,
  kSquare = 7,
  kSawtooth = 8,
  kTriangle = 9,
};

// P15: how the chirp's frequency moves from start to end.
enum class ChirpLaw { kAuto = 0, kLinear = 1, kExponential = 2 };

// A gain that moves linearly to a new value over a fixed number of frames and
// then holds it exactly; stepped per sample, so the result does not depend on
// where blocks begin.
class GainRamp {
 public:
  void Reset(double value) {
    value_ = target_ = value;
    left_ = 0;
  }
  void SetTarget(double target, int64_t frames) {
    if (target == target_) return;
    target_ = target;
    left_ = std::max<int64_t>(1, frames);
    step_ = (target_ - value_) / static_cast<double>(left_);
  }
  bool Moving() const { return left_ > 0; }
  double value() const { return value_; }
  double Next() {
    if (left_ > 0) {
      value_ += step_;
      if (--left_ == 0) value_ = target_;
    }
    return value_;
  }

 private:
  double value_ = 0;
  double target_ = 0;
  double step_ = 0;
  int64_t left_ = 0;
};

class Generator final : public Processor {
 public:
  static constexpr int kParams = 15;
  static constexpr double kMinDb = -150.0;
  static constexpr double kMaxMs = 1e9;
  // Level and mix changes while previewing glide over this long.
  static constexpr double kGlideMs = 10.0;
  // Brown noise is flat below this frequency.
  static constexpr double kBrownCornerHz = 10.0;
  // Pink and brown noise: RMS a quarter of the peak level (12 dB crest).
  static constexpr double kNoiseRmsOfPeak = 0.25;

  Generator();

  bool SetParam(int index, const ParamValue& value) override;
  void Start(const StreamSetup& setup) override;
  void Process(std::span<const double> in, const BlockInfo& info,
               std::vector<double>& out) override;

 private:
  // The parameters clamped and converted for the sample rate of the run.
  struct Settings {
    SignalType type = SignalType::kSine;
    double amplitude = 0;  // peak, in sample units, times the wet mix
    double dry = 0;
    double levelDb = 0;
    double modulationStep = 0;  // cycles per frame
    double modulationDepth = 0;
    bool modulate = false;
    double startStep = 0;  // the signal's (start) frequency in cycles per frame
    double endStep = 0;    // the chirp's end frequency in cycles per frame
    bool exponential = false;
    int64_t chirpFrames = 1;
    double fadeDb = 0;  // fade start relative to the level
    int64_t fadeFrames = 0;
  };
  Settings Resolve() const;
  double Param(int index) const { return params_[static_cast<size_t>(index - 1)]; }

  // Fills y with the raw waveform (peak ±1) from frame `position` on.
  void Waveform(std::span<double> y, int64_t position);
  void Chirp(std::span<double> y, int64_t position);
  void ApplyGain(std::span<double> y, int64_t position);

  std::array<double, kParams> params_{};
  StreamSetup setup_;
  Settings settings_;
  GainRamp amplitude_;
  GainRamp dry_;
  int64_t glideFrames_ = 441;
  double phase_ = 0;            // of the signal, in cycles [0, 1)
  double modulationPhase_ = 0;  // in cycles [0, 1)
  WhiteNoise white_;
  PinkFilter pink_;
  BrownFilter brown_;
  double pinkScale_ = 1;
  double brownScale_ = 1;
};

}  // namespace qel::effects::generators
