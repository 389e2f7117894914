// Amplify: a constant gain given in percent of the input level.
#pragma once

#include "level_common.h"
#include "processor.h"

namespace qel::effects::level {

class Amplify final : public Processor {
 public:
  // Percent is clamped to this range at Start (±60 dB; a negative value also
  // inverts the polarity).
  static constexpr double kMaxPercent = 100000.0;

  bool SetParam(int index, const ParamValue& value) override;
  void Start(const StreamSetup& setup) override;
  void Process(std::span<const double> in, const BlockInfo& info,
               std::vector<double>& out) override;

 private:
  double TargetGain() const;

  double percent_ = 100.0;
  double gain_ = 1.0;
  int64_t glideFrames_ = 441;
  Glide glide_;
};

}  // namespace qel::effects::level
