// Dynamics: a feed-forward compressor or downward expander with an RMS level
// detector, a hard-knee gain computer in decibels and attack/release smoothing
// of the gain. No look-ahead: the output is aligned with the input.
#pragma once

#include <array>

#include "processor.h"

namespace qel::effects::level {

class Dynamics final : public Processor {
 public:
  // P4.
  static constexpr int kCompressor = 1;
  static constexpr int kExpander = 2;

  static constexpr double kMinThresholdDb = -150.0;
  static constexpr double kMaxThresholdDb = 0.0;
  static constexpr double kMinRatio = 1.0;
  static constexpr double kMaxRatio = 100.0;
  static constexpr double kMinRmsMs = 0.1;
  static constexpr double kMaxRmsMs = 10000.0;
  static constexpr double kMaxMakeUpDb = 60.0;
  // The gain moves towards what a rising level asks for with the attack time
  // and back with the release time (one-pole time constants in decibels).
  static constexpr double kAttackMs = 5.0;
  static constexpr double kReleaseMs = 100.0;
  // The expander never attenuates by more than this.
  static constexpr double kMaxExpansionDb = 100.0;
  // The detector is read and the gain recomputed once per period of about
  // this long (a multiple of 4 frames, 8 … 256 frames).
  static constexpr double kPeriodMs = 0.7;
  static constexpr int kMaxPeriod = 256;

  bool SetParam(int index, const ParamValue& value) override;
  void Start(const StreamSetup& setup) override;
  void Process(std::span<const double> in, const BlockInfo& info,
               std::vector<double>& out) override;

 private:
  // The parameters as clamped numbers, and the per-period coefficients.
  struct Settings {
    double thresholdDb = -20.0;
    double slope = 0.75;  // dB of gain change per dB past the threshold
    double detector = 0.0;
    double makeUpDb = 0.0;
  };
  Settings Resolve() const;
  // At the end of each period: feeds its mean square to the detector and
  // sets the gain ramp of the next period.
  void EndPeriod(const Settings& s);

  double thresholdDb_ = -20.0;
  double ratio_ = 4.0;
  double rmsMs_ = 50.0;
  int mode_ = kCompressor;
  double makeUpDb_ = 0.0;

  double sampleRate_ = 44100.0;
  double levelOffsetDb_ = 0.0;  // mean square → dB of a sine's peak re full scale
  int period_ = 32;
  double attack_ = 0.0;
  double release_ = 0.0;
  std::array<double, kMaxPeriod> ramp_{};  // 1, 2, … period

  int fill_ = 0;
  std::array<double, 4> squares_{};
  double meanSquare_ = 0.0;
  double gainDb_ = 0.0;
  double gainStart_ = 1.0;
  double gainStep_ = 0.0;
};

}  // namespace qel::effects::level
