// Invert: negates every sample (polarity inversion). No parameters.
#pragma once

#include "processor.h"

namespace qel::effects::level {

class Invert final : public Processor {
 public:
  bool SetParam(int /*index*/, const ParamValue& /*value*/) override { return false; }
  void Start(const StreamSetup& /*setup*/) override {}
  void Process(std::span<const double> in, const BlockInfo& info,
               std::vector<double>& out) override;
};

}  // namespace qel::effects::level
