// The Rubber Band driver shared by the pitch shifter and the time stretcher:
// one mono real-time stretcher, fed in the pieces it asks for, its start-up
// delay removed, its output queued as doubles in the caller's sample scale.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "common.h"

namespace RubberBand {
class RubberBandStretcher;
}

namespace qel::effects::pitch {

class StretchEngine final : public Engine {
 public:
  StretchEngine();
  ~StretchEngine() override;
  StretchEngine(const StretchEngine&) = delete;
  StretchEngine& operator=(const StretchEngine&) = delete;

  // A fresh stretcher for a run. `timeRatio` is output duration / input
  // duration, `pitchScale` output frequency / input frequency; `fullScale` is
  // the sample value that maps to ±1 inside Rubber Band.
  void Start(double sampleRate, double timeRatio, double pitchScale, double fullScale) override;
  // New ratios, in effect for the input fed from now on.
  void SetRatios(double timeRatio, double pitchScale) override;
  // Frames of output the engine may lag behind the ideal position (its
  // window, start-up delay and the hop it waits for, with a wide margin):
  // the hold a schedule must keep so that the engine has always produced what
  // the schedule gives out.
  int64_t Slack() const override { return slack_; }
  // Feeds input; whatever output it completes goes to the queue.
  void Feed(std::span<const double> in) override;
  // After the last input: feeds silence until at least `total` frames of
  // aligned output exist (so the end of the signal comes out of the engine
  // rather than being padded), then ends the stream.
  void Finish(int64_t total) override;
  SampleFifo& Output() override { return fifo_; }

 private:
  void Process(size_t frames, bool final);
  void Pull();

  std::unique_ptr<RubberBand::RubberBandStretcher> stretcher_;
  std::vector<float> in_;
  std::vector<float> out_;
  SampleFifo fifo_;
  double toUnit_ = 1.0 / 32768;
  double fromUnit_ = 32768;
  int64_t startDelay_ = 0;
  int64_t retrieved_ = 0;
  int64_t window_ = 2048;
  int64_t slack_ = 0;
  double timeRatio_ = 1;
  double pitchScale_ = 1;
};

}  // namespace qel::effects::pitch
