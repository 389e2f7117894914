#include "stretch_engine.h"

#include <rubberband/RubberBandStretcher.h>

#include <algorithm>
#include <cmath>

namespace qel::effects::pitch {

namespace {

using RubberBand::RubberBandStretcher;

// The largest piece handed to Rubber Band at once. Pieces are also never
// larger than what the stretcher asks for (getSamplesRequired): given more,
// the real-time engine processes only part of it per call and the rest piles
// up in its input buffer, so its output falls further behind the longer the
// blocks are.
constexpr size_t kMaxPiece = 4096;

// The R2 ("faster") engine in real-time mode. R3 ("finer") measured about
// 3.4 times slower here, further from the speed goal than R2 already is.
// Transients are smooth (no phase resets): with the crisp and mixed settings
// this engine resets phases on steady tones as well, which left a sine's peak
// up to 1 % off its frequency and down to a tenth of its level; smooth keeps
// it exact. Formants move with the pitch (no formant preservation); the pitch
// method favours speed, as the goal is throughput over hours of material.
constexpr RubberBandStretcher::Options kOptions =
    RubberBandStretcher::OptionProcessRealTime | RubberBandStretcher::OptionEngineFaster |
    RubberBandStretcher::OptionThreadingNever | RubberBandStretcher::OptionFormantShifted |
    RubberBandStretcher::OptionPitchHighSpeed | RubberBandStretcher::OptionWindowStandard |
    RubberBandStretcher::OptionTransientsSmooth | RubberBandStretcher::OptionPhaseLaminar;

// Rubber Band works between 8 and 192 kHz; other rates only choose its window.
size_t EngineRate(double sampleRate) {
  return static_cast<size_t>(std::clamp<double>(std::llround(sampleRate), 8000, 192000));
}

// Rubber Band's analysis window: 2048 frames up to 48 kHz, doubled for each
// doubling of the rate above.
int64_t WindowFrames(size_t engineRate) {
  int64_t window = 2048;
  for (double r = static_cast<double>(engineRate) / 48000; r > 1; r /= 2)
    window *= 2;
  return window;
}

// Measured worst lag of the aligned output behind round(input · timeRatio),
// over ratios 0.25…4 and blocks of 1 frame to a second: 3.3 windows (pitch
// 0.25); the hold is 6 windows.
constexpr int64_t kSlackWindows = 6;

}  // namespace

StretchEngine::StretchEngine() = default;
StretchEngine::~StretchEngine() = default;

void StretchEngine::Start(double sampleRate, double timeRatio, double pitchScale,
                          double fullScale) {
  const size_t rate = EngineRate(sampleRate);
  timeRatio_ = timeRatio;
  pitchScale_ = pitchScale;
  stretcher_ = std::make_unique<RubberBandStretcher>(rate, 1, kOptions, timeRatio, pitchScale);
  stretcher_->setMaxProcessSize(kMaxPiece);
  // Samples arrive at most ±fullScale; wider scales (24 and 32 bits) come
  // divided down to about ±32768, so that is the largest unit used.
  const double unit =
      std::isfinite(fullScale) && fullScale > 0 ? std::min(fullScale, 32768.0) : 32768.0;
  toUnit_ = 1.0 / unit;
  fromUnit_ = unit;
  window_ = WindowFrames(rate);
  slack_ = kSlackWindows * window_;
  in_.assign(kMaxPiece, 0.0f);
  out_.assign(kMaxPiece * 4, 0.0f);
  fifo_.Reset();
  retrieved_ = 0;
  // Real-time mode leaves the start to the caller: silence ahead of the
  // signal primes the window, and the output's first frames up to the start
  // delay are dropped, which lines the output up with the input.
  startDelay_ = static_cast<int64_t>(stretcher_->getStartDelay());
  fifo_.Drop(static_cast<size_t>(startDelay_));
  size_t pad = stretcher_->getPreferredStartPad();
  std::fill(in_.begin(), in_.end(), 0.0f);
  while (pad > 0) {
    const size_t n = std::min(pad, kMaxPiece);
    Process(n, false);
    pad -= n;
  }
}

void StretchEngine::SetRatios(double timeRatio, double pitchScale) {
  if (timeRatio != timeRatio_) stretcher_->setTimeRatio(timeRatio);
  if (pitchScale != pitchScale_) stretcher_->setPitchScale(pitchScale);
  timeRatio_ = timeRatio;
  pitchScale_ = pitchScale;
}

void StretchEngine::Process(size_t frames, bool final) {
  const float* channel = in_.data();
  stretcher_->process(&channel, frames, final);
  Pull();
}

void StretchEngine::Pull() {
  for (int available = stretcher_->available(); available > 0;
       available = stretcher_->available()) {
    float* channel = out_.data();
    const size_t n =
        stretcher_->retrieve(&channel, std::min(static_cast<size_t>(available), out_.size()));
    if (n == 0) break;
    fifo_.Push(std::span<const float>(out_.data(), n), fromUnit_);
    retrieved_ += static_cast<int64_t>(n);
  }
}

void StretchEngine::Feed(std::span<const double> in) {
  size_t pos = 0;
  while (pos < in.size()) {
    const size_t wanted = std::clamp<size_t>(stretcher_->getSamplesRequired(), 1, kMaxPiece);
    const size_t n = std::min(wanted, in.size() - pos);
    for (size_t i = 0; i < n; ++i)
      in_[i] = static_cast<float>(in[pos + i] * toUnit_);
    Process(n, false);
    pos += n;
  }
}

void StretchEngine::Finish(int64_t total) {
  std::fill(in_.begin(), in_.end(), 0.0f);
  // Bounded, in case the engine stops producing: a few windows of silence
  // (scaled by the stretch) always suffice.
  const auto limit = static_cast<int64_t>(static_cast<double>(4 * slack_) /
                                          std::min(1.0, std::max(timeRatio_, 1e-3)));
  int64_t fed = 0;
  while (retrieved_ - startDelay_ < total && fed < limit) {
    const size_t n = std::clamp<size_t>(stretcher_->getSamplesRequired(), 1, kMaxPiece);
    Process(n, false);
    fed += static_cast<int64_t>(n);
  }
  Process(0, true);
}

}  // namespace qel::effects::pitch
