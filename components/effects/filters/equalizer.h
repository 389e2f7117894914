// A bank of cookbook peaking filters in series, one per (frequency, gain)
// pair, whose widths follow the spacing of the bands and whose gains are
// solved so that the response at each centre is the gain asked for there.
#pragma once

#include <span>
#include <vector>

#include "filters/biquad.h"
#include "processor.h"

namespace qel::effects::filters {

struct EqualizerBand {
  double frequency = 0;  // Hz
  double gainDb = 0;     // asked gain at the centre
};

inline constexpr double kMaxEqualizerGainDb = 60;

struct EqualizerDesign {
  std::vector<Biquad> sections;  // in series; empty when the response is flat
  double worstCentreErrorDb = 0;
};

// Bands are taken as given (any order, any count); those outside
// [1 Hz, 0.49·sampleRate] are dropped, gains clamped to
// ±kMaxEqualizerGainDb.
EqualizerDesign DesignEqualizer(std::span<const EqualizerBand> bands, double sampleRate);

class Equalizer final : public Processor {
 public:
  bool SetParam(int index, const ParamValue& value) override;
  void Start(const StreamSetup& setup) override;
  void Process(std::span<const double> in, const BlockInfo& info,
               std::vector<double>& out) override;

 private:
  void Design();

  std::vector<double> gainsDb_;
  std::vector<double> frequencies_;

  double sampleRate_ = 44100;
  double floor_ = 0;
  bool dirty_ = true;
  std::vector<Biquad> sections_;
  std::vector<BiquadState> states_;
  double in1_ = 0, in2_ = 0;  // the last two input samples
};

}  // namespace qel::effects::filters
