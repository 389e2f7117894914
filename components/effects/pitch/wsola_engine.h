// The time-domain engine of the pitch shifter and the time stretcher:
// waveform-similarity overlap-add (WSOLA) for the tempo, and for the pitch the
// same stretch by the pitch ratio followed by resampling back to the original
// length. Far cheaper than a phase vocoder, and clean on speech and other
// single voices; polyphonic music smears less through Rubber Band.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "common.h"
#include "resampler.h"

namespace qel::effects::pitch {

// Builds the output from segments of the input, one every `hop` output
// frames. Each segment is taken near the input position the output has
// reached (its hop's centre maps to input time × speed), at the offset within
// ± `search` whose first `overlap` frames look most like the frames that
// would have followed the previous segment; those frames fade into it. The
// first segment starts exactly at the first input frame, so the output is
// aligned with the input and has no latency of its own.
class WsolaStretcher {
 public:
  // `stretch` is output duration / input duration, kept within 1/4…4.
  void Start(double sampleRate, double stretch);
  // A new stretch for the input fed from now on.
  void SetStretch(double stretch);
  // Takes input and appends every output frame it completes.
  void Feed(std::span<const double> in, std::vector<double>& out);
  // The input has ended: later segments are taken from within it, so the
  // output's last frames are the input's last ones rather than the silence
  // fed behind it.
  void MarkEnd() {
    ended_ = true;
    end_ = fed_;
  }
  // The most output frames the output can lag behind round(input · stretch)
  // at the given stretch.
  int64_t MaxLag(double stretch) const;

 private:
  // Where (in buffer coordinates) the segment starting at output frame y
  // would be taken without a search.
  double Nominal(int64_t y) const;
  // The segment's start within ± search of `centre`, and not beyond
  // `limit`, that continues the previous one best.
  int64_t BestMatch(int64_t centre, int64_t limit);
  float At(int64_t pos) const { return x_[static_cast<size_t>(pos - xBase_)]; }
  const float* Ptr(int64_t pos) const { return x_.data() + (pos - xBase_); }
  const float* DecPtr(int64_t j) const { return dec_.data() + (j - decBase_); }
  void Compact();

  int64_t hop_ = 1323;
  int64_t overlap_ = 441;
  int64_t search_ = 441;
  int64_t decimation_ = 4;
  int64_t coarse_ = 110;  // overlap_ / decimation_
  int64_t pad_ = 0;       // silence ahead of the input, for searches before it

  // Input frames as floats, buffer coordinate xBase_ + i at x_[i]; the input
  // frame n is at pad_ + n. The decimated copy holds means of `decimation_`
  // frames: dec_[j − decBase_] covers frames [j·D, j·D + D).
  std::vector<float> x_;
  int64_t xBase_ = 0;
  int64_t fed_ = 0;
  std::vector<float> dec_;
  int64_t decBase_ = 0;

  // Output frame y maps to input inAnchor_ + (y − outAnchor_) · speed_;
  // a stretch change moves the anchors to the point reached.
  double speed_ = 1;
  double inAnchor_ = 0;
  double outAnchor_ = 0;

  int64_t outPos_ = 0;   // output frame at which the next segment starts
  int64_t prevEnd_ = 0;  // input frame that would follow the previous segment
  bool first_ = true;
  bool ended_ = false;
  int64_t end_ = 0;  // buffer coordinate of the end of the input, once ended

  std::vector<float> fade_;  // the rising half of the cross-fade
  std::vector<float> target_;
  std::vector<float> scores_;
};

// The engine behind the kinds: a WSOLA stretch by timeRatio · pitchScale,
// then (for the pitch shifter) libresample reads the stretched
// frames at pitchScale per output frame, which restores the duration and
// scales every frequency.
class WsolaEngine final : public Engine {
 public:
  // `pitch`: the pitch shifter's engine, which resamples; the time
  // stretcher's gives the stretched frames as they are.
  explicit WsolaEngine(bool pitch) : resample_(pitch) {}
  void Start(double sampleRate, double timeRatio, double pitchScale, double fullScale) override;
  void SetRatios(double timeRatio, double pitchScale) override;
  int64_t Slack() const override { return slack_; }
  void Feed(std::span<const double> in) override;
  // Feeds silence until `total` frames of aligned output exist.
  void Finish(int64_t total) override;
  SampleFifo& Output() override { return fifo_; }

 private:
  void Emit();

  WsolaStretcher stretcher_;
  SincResampler resampler_;
  bool resample_ = true;
  double pitchScale_ = 1;
  std::vector<double> stretched_;
  std::vector<double> resampled_;
  SampleFifo fifo_;
  int64_t produced_ = 0;
  int64_t slack_ = 0;
};

}  // namespace qel::effects::pitch
