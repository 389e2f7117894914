// Envelope: a gain curve through points (time, level) drawn over the range,
// interpolated by a chosen spline and held flat before the first point and
// after the last.
#pragma once

#include <array>
#include <vector>

#include "level_common.h"
#include "processor.h"

namespace qel::effects::level {

class Envelope final : public Processor {
 public:
  // P3.
  static constexpr int kLinear = 0;
  static constexpr int kCubic = 1;
  static constexpr int kAkima = 2;
  static constexpr int kCardinal = 3;
  static constexpr int kMonotone = 4;
  // Akima's spline needs this many points; with fewer the monotone one is used.
  static constexpr int kAkimaMinPoints = 5;
  static constexpr double kMaxPercent = 100000.0;

  bool SetParam(int index, const ParamValue& value) override;
  void Start(const StreamSetup& setup) override;
  void Process(std::span<const double> in, const BlockInfo& info,
               std::vector<double>& out) override;

 private:
  // The gain as a function of milliseconds from the range start: sorted,
  // distinct knots and, from knot s to knot s + 1, the cubic
  // c0 + c1·d + c2·d² + c3·d³ with d = t − knots[s]. No knots: unity gain.
  struct Curve {
    std::vector<double> knots;
    std::vector<std::array<double, 4>> cubics;
    double first = 1.0;
    double last = 1.0;
    double At(double ms) const;
  };
  static Curve Build(const std::vector<double>& times, const std::vector<double>& percents,
                     int shape, double steepness);
  double MsPerFrame(int64_t rangeFrames) const;
  // The gains of frames position … position + gains.size() − 1.
  void Fill(int64_t position, std::span<double> gains) const;

  std::vector<double> times_;
  std::vector<double> percents_;
  int shape_ = kLinear;
  double steepness_ = 0.0;
  double selectionMs_ = 0.0;

  Curve curve_;
  Curve pending_;  // built by SetParam, taken up at the next Start or block
  bool pendingReady_ = false;
  double sampleRate_ = 44100.0;
  double msPerFrame_ = 1000.0 / 44100.0;
  int64_t glideFrames_ = 441;
  bool started_ = false;
  Glide glide_;
};

}  // namespace qel::effects::level
