// Fade: a gain ramping linearly in amplitude from one level to another over
// the start of the range, then holding the second level.
#pragma once

#include "level_common.h"
#include "processor.h"

namespace qel::effects::level {

class Fade final : public Processor {
 public:
  static constexpr double kMaxPercent = 100000.0;
  static constexpr double kMaxDurationMs = 1e9;

  bool SetParam(int index, const ParamValue& value) override;
  void Start(const StreamSetup& setup) override;
  void Process(std::span<const double> in, const BlockInfo& info,
               std::vector<double>& out) override;

 private:
  // The gain of frame n: `from` at frame 0, `to` at frame frames − 1 and after;
  // frames == 0 holds `from` (a whole-range ramp over a range of unknown length).
  struct Ramp {
    double from = 1.0;
    double to = 1.0;
    int64_t frames = 0;
    double At(int64_t n) const;
    bool operator==(const Ramp&) const = default;
  };
  Ramp Resolve(int64_t rangeFrames) const;

  double fromPercent_ = 100.0;
  double toPercent_ = 100.0;
  double durationMs_ = 0.0;
  double sampleRate_ = 44100.0;
  int64_t glideFrames_ = 441;
  bool started_ = false;
  Ramp ramp_;
  Glide glide_;
};

}  // namespace qel::effects::level
