// The generator: noise, silence, periodic waveforms and chirps, with optional
// amplitude modulation and a fade-in, mixed over the (silent) input.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

#include "noise.h"
#include "processor.h"
#include "ramp.h"

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
  Ramp amplitude_;
  Ramp dry_;
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
