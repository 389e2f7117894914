// Pitch shift at constant length and tempo change at constant pitch, told
// apart by which ratio P1 sets, on either engine: the time-domain one (the
// default, fast) or Rubber Band (better on polyphonic music), with its latency
// taken out.
#pragma once

#include <memory>

#include "common.h"

namespace qel::effects::pitch {

// kPitch: P1 pitch ratio (output frequency / input frequency), time ratio 1,
// the output as long as the input. kTime: P1 speed factor (1.25 = 25 % faster,
// a shorter result), time ratio 1/P1, round(input / P1) frames over a run.
// P1 is clamped to 0.25…4 in both. P2 chooses the engine for the next Start:
// 0 the time-domain one (WsolaEngine), nonzero Rubber Band (StretchEngine).
class StretchKind final : public Processor {
 public:
  enum class Mode { kPitch, kTime };
  explicit StretchKind(Mode mode) : mode_(mode) {}

  bool SetParam(int index, const ParamValue& value) override;
  void Start(const StreamSetup& setup) override;
  void Process(std::span<const double> in, const BlockInfo& info,
               std::vector<double>& out) override;
  bool PreservesLength() const override { return mode_ == Mode::kPitch; }

 private:
  // What P1 means to the engine (time ratio, pitch scale) and to the output
  // schedule (output frames = input frames / speed).
  struct Ratios {
    double time = 1.0;
    double pitch = 1.0;
    double speed = 1.0;
  };
  Ratios CurrentRatios() const;

  Mode mode_;
  Params<2> params_{{1.0, 0.0}};
  bool dirty_ = false;
  bool finished_ = false;
  std::unique_ptr<Engine> engine_;
  OutputSchedule schedule_;
};

}  // namespace qel::effects::pitch
