// Flanger (P7 = 1, one voice) and chorus (P7 = 2, three voices): delays swept
// by a raised-cosine LFO, read with cubic interpolation, fed back and added to
// the input.
#pragma once

#include "common.h"

namespace qel::effects::time {

class ModulatedDelay final : public Processor {
 public:
  bool SetParam(int index, const ParamValue& value) override;
  void Start(const StreamSetup& setup) override;
  void Process(std::span<const double> in, const BlockInfo& info,
               std::vector<double>& out) override;

 private:
  void Apply(bool immediately);
  template <int Voices>
  void Run(std::span<const double> in, std::vector<double>& out);

  Params<7> params_{{1.0, 70.0, 0.0, 3.0, 0.5, 0.0, 1.0}};
  bool dirty_ = false;
  double rate_ = 44100;
  RingBuffer line_;
  Phase phase_;
  bool chorus_ = false;
  Ramp base_;   // samples
  Ramp sweep_;  // samples
  Ramp mix_;
  Ramp feedback_;
};

}  // namespace qel::effects::time
