// Normalize: scales the range so that its peak reaches a given share of full
// scale, optionally removing the range's mean (DC offset) first. The whole
// range is measured before anything is written.
#pragma once

#include <limits>

#include "level_common.h"
#include "processor.h"

namespace qel::effects::level {

class Normalize final : public Processor {
 public:
  bool SetParam(int index, const ParamValue& value) override;
  void Start(const StreamSetup& setup) override;
  bool Measures() const override { return true; }
  void Measure(std::span<const double> in) override;
  void Process(std::span<const double> in, const BlockInfo& info,
               std::vector<double>& out) override;

 private:
  // The map y = gain·(x − offset) the measurements and parameters ask for.
  struct Map {
    double gain = 1.0;
    double offset = 0.0;
  };
  Map Resolve() const;

  double percent_ = 100.0;
  bool removeDc_ = false;
  double fullScale_ = 32768.0;
  int64_t glideFrames_ = 441;
  bool started_ = false;
  // What Measure saw: the extremes and the sum, enough for any of the maps.
  double min_ = std::numeric_limits<double>::infinity();
  double max_ = -std::numeric_limits<double>::infinity();
  double sum_ = 0.0;
  int64_t count_ = 0;
  Map map_;
  Glide gainGlide_;
  Glide offsetGlide_;
};

}  // namespace qel::effects::level
