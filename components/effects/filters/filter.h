// The seven single filters (low-pass, high-pass, notch, band-pass, low shelf,
// high shelf, peaking): one cookbook biquad chosen by P3.
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "filters/biquad.h"
#include "filters/cookbook.h"
#include "processor.h"

namespace qel::effects::filters {

class Filter final : public Processor {
 public:
  static constexpr double kDefaultFrequency = 1000;
  static constexpr double kDefaultQ = 0.70710678118654752;  // Butterworth
  static constexpr double kDefaultSlope = 1;
  static constexpr double kMinQ = 0.1, kMaxQ = 100;
  static constexpr double kMinSlope = 0.01, kMaxSlope = 1;
  static constexpr double kMaxGainDb = 60;

  bool SetParam(int index, const ParamValue& value) override;
  void Start(const StreamSetup& setup) override;
  void Process(std::span<const double> in, const BlockInfo& info,
               std::vector<double>& out) override;

 private:
  void Design();

  double frequency_ = kDefaultFrequency;
  std::optional<double> steepness_;  // unset: kDefaultQ, or kDefaultSlope for the shelves
  FilterType type_ = FilterType::kLowPass;
  double gainDb_ = 0;

  double sampleRate_ = 44100;
  double floor_ = 0;
  bool dirty_ = true;
  Biquad coefficients_;
  BiquadState state_;
};

}  // namespace qel::effects::filters
