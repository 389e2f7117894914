// Reverse: reverses the order of the samples of each block. The control feeds
// the blocks of the range last first, so the whole range comes out reversed.
// No parameters.
#pragma once

#include "processor.h"

namespace qel::effects::level {

class Reverse final : public Processor {
 public:
  bool SetParam(int /*index*/, const ParamValue& /*value*/) override { return false; }
  void Start(const StreamSetup& /*setup*/) override {}
  void Process(std::span<const double> in, const BlockInfo& info,
               std::vector<double>& out) override;
};

}  // namespace qel::effects::level
