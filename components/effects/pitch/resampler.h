// Tape-speed change: the range is resampled from the document's rate to P1 Hz
// and the result kept at the document's rate, so the length is multiplied by
// P1/rate and every frequency by rate/P1.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "common.h"
#include "lowpass.h"

namespace qel::effects::pitch {

// Output frame k stands for input time k·step (step = rate/P1), found by
// straight-line interpolation between the two input frames around it.
class LinearInterpolator {
 public:
  void Start();
  // Appends every output frame the input seen so far allows.
  void Process(std::span<const double> in, double step, std::vector<double>& out);
  // Appends `count` more frames, the input held at its last value past its end.
  void Finish(int64_t count, double step, std::vector<double>& out);

 private:
  void Advance(double step);

  int64_t seen_ = 0;     // input frames so far
  int64_t index_ = 0;    // the input frame left of the next output's position
  double frac_ = 0;      // the position's distance from it, 0 ≤ frac < 1
  double previous_ = 0;  // the last input frame of the previous block
};

// The band-limited (windowed-sinc) converter of libresample.
class SincResampler {
 public:
  SincResampler();
  ~SincResampler();
  SincResampler(const SincResampler&) = delete;
  SincResampler& operator=(const SincResampler&) = delete;
  void Start(bool highQuality, double minFactor, double maxFactor);
  // Input frames it reads ahead of the position of its latest output.
  int64_t Lookahead() const;
  void Process(std::span<const double> in, double factor, std::vector<double>& out);
  void Finish(double factor, std::vector<double>& out);

 private:
  void Run(float* in, int frames, double factor, bool last, std::vector<double>& out);

  struct Close {
    void operator()(void* handle) const;
  };
  std::unique_ptr<void, Close> handle_;
  std::vector<float> in_;
  std::vector<float> out_;
};

// P1 target rate (Hz), P2 low-pass before, P3 low-pass after (booleans),
// P4 method: 0 linear, 1 libresample (fast), 2 libresample (best).
class Resampler final : public Processor {
 public:
  bool SetParam(int index, const ParamValue& value) override;
  void Start(const StreamSetup& setup) override;
  void Process(std::span<const double> in, const BlockInfo& info,
               std::vector<double>& out) override;
  bool PreservesLength() const override { return false; }

 private:
  void Apply();
  void Emit(std::vector<double>& produced);

  // P1 defaults to the document's rate (no change) until it is set.
  Params<4> params_{{0.0, -1.0, -1.0, 2.0}};
  bool targetSet_ = false;
  bool dirty_ = false;
  bool finished_ = false;
  double rate_ = 44100;
  int method_ = 2;
  double target_ = 44100;  // P1 after clamping
  bool preFilter_ = true;
  bool postFilter_ = true;
  Lowpass pre_;
  Lowpass post_;
  LinearInterpolator linear_;
  SincResampler sinc_;
  OutputSchedule schedule_;
  SampleFifo fifo_;
  std::vector<double> filtered_;
  std::vector<double> produced_;
  int64_t producedTotal_ = 0;
};

}  // namespace qel::effects::pitch
