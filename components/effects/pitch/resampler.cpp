#include "resampler.h"

#include <libresample.h>

#include <algorithm>
#include <cmath>

#include "processors.h"

namespace qel::effects::pitch {

namespace {

// P1/rate is kept within 1/16…16.
constexpr double kMaxFactor = 16;
// Both low-passes cut at this fraction of the lower of the two rates.
constexpr double kCutoff = 0.45;
// Input is handed to libresample in pieces of at most this many frames.
constexpr size_t kPiece = 4096;

}  // namespace

// ---------------------------------------------------------------------------

void LinearInterpolator::Start() {
  seen_ = 0;
  index_ = 0;
  frac_ = 0;
  previous_ = 0;
}

void LinearInterpolator::Advance(double step) {
  frac_ += step;
  // frac_ ≥ 0, so truncation is the floor (and cheaper than std::floor on
  // baseline x86-64).
  const auto whole = static_cast<int64_t>(frac_);
  index_ += whole;
  frac_ -= static_cast<double>(whole);
}

void LinearInterpolator::Process(std::span<const double> in, double step,
                                 std::vector<double>& out) {
  if (in.empty()) return;
  const int64_t begin = seen_;
  const int64_t end = seen_ + static_cast<int64_t>(in.size());
  // The loop ended last time with index_ + 1 ≥ begin, so index_ ≥ begin − 1:
  // the left frame is either in this block or the previous block's last.
  while (index_ + 1 < end) {
    const double a = index_ >= begin ? in[static_cast<size_t>(index_ - begin)] : previous_;
    const double b = in[static_cast<size_t>(index_ + 1 - begin)];
    out.push_back(a + frac_ * (b - a));
    Advance(step);
  }
  previous_ = in.back();
  seen_ = end;
}

void LinearInterpolator::Finish(int64_t count, double step, std::vector<double>& out) {
  // Past the end the input is taken to hold its last value, so the final
  // frames neither drop towards zero nor read beyond the range. The frame
  // left of the next position is the last input frame or lies beyond it.
  for (int64_t k = 0; k < count; ++k) {
    out.push_back(previous_);
    Advance(step);
  }
}

// ---------------------------------------------------------------------------

void SincResampler::Close::operator()(void* handle) const {
  resample_close(handle);
}

SincResampler::SincResampler() = default;
SincResampler::~SincResampler() = default;

void SincResampler::Start(bool highQuality, double minFactor, double maxFactor) {
  handle_.reset(resample_open(highQuality ? 1 : 0, minFactor, maxFactor));
  in_.assign(kPiece, 0.0f);
  out_.assign(kPiece * 4, 0.0f);
}

int64_t SincResampler::Lookahead() const {
  return handle_ ? resample_get_filter_width(handle_.get()) : 0;
}

void SincResampler::Run(float* in, int frames, double factor, bool last, std::vector<double>& out) {
  int offset = 0;
  for (;;) {
    int used = 0;
    const int got =
        resample_process(handle_.get(), factor, in + offset, frames - offset, last ? 1 : 0, &used,
                         out_.data(), static_cast<int>(out_.size()));
    if (got < 0) return;
    offset += used;
    out.insert(out.end(), out_.begin(), out_.begin() + got);
    if (got == 0 && (offset >= frames || used == 0)) return;
  }
}

void SincResampler::Process(std::span<const double> in, double factor, std::vector<double>& out) {
  for (size_t pos = 0; pos < in.size(); pos += kPiece) {
    const size_t n = std::min(kPiece, in.size() - pos);
    for (size_t i = 0; i < n; ++i)
      in_[i] = static_cast<float>(in[pos + i]);
    Run(in_.data(), static_cast<int>(n), factor, false, out);
  }
}

void SincResampler::Finish(double factor, std::vector<double>& out) {
  Run(in_.data(), 0, factor, true, out);
}

// ---------------------------------------------------------------------------

bool Resampler::SetParam(int index, const ParamValue& value) {
  if (!params_.Set(index, value)) return false;
  targetSet_ = targetSet_ || index == 1;
  dirty_ = true;
  return true;
}

void Resampler::Apply() {
  dirty_ = false;
  target_ = targetSet_ ? std::clamp(params_[1], rate_ / kMaxFactor, rate_ * kMaxFactor) : rate_;
  preFilter_ = params_[2] != 0;
  postFilter_ = params_[3] != 0;
  const double factor = target_ / rate_;
  // The pre-filter runs at the document's rate, the post-filter on the
  // resampled frames (at P1 Hz before they are played at the document's
  // rate): both cut at 0.45 × the lower of the two rates.
  pre_.Design(kCutoff * std::min(1.0, factor));
  post_.Design(kCutoff * std::min(1.0, 1.0 / factor));
  schedule_.SetRatio(target_, rate_);
}

void Resampler::Start(const StreamSetup& setup) {
  rate_ = WorkingRate(setup);
  finished_ = false;
  method_ = static_cast<int>(std::clamp(std::round(params_[4]), 0.0, 2.0));
  pre_.Reset();
  post_.Reset();
  linear_.Start();
  // The hold covers what the converter reads ahead, at the largest factor a
  // live change can reach.
  int64_t hold = static_cast<int64_t>(kMaxFactor) + 2;
  if (method_ > 0) {
    sinc_.Start(method_ == 2, 1.0 / kMaxFactor, kMaxFactor);
    hold = static_cast<int64_t>(std::ceil(static_cast<double>(sinc_.Lookahead() + 2) * kMaxFactor));
  }
  fifo_.Reset();
  producedTotal_ = 0;
  schedule_.Start(1, 1, hold);
  Apply();
}

void Resampler::Emit(std::vector<double>& produced) {
  if (postFilter_) post_.Run(produced);
  fifo_.Push(std::span<const double>(produced), 1.0);
  producedTotal_ += static_cast<int64_t>(produced.size());
  produced.clear();
}

void Resampler::Process(std::span<const double> in, const BlockInfo& info,
                        std::vector<double>& out) {
  if (finished_) return;
  if (dirty_) Apply();
  std::span<const double> x = in;
  if (preFilter_) {
    filtered_.assign(in.begin(), in.end());
    pre_.Run(filtered_);
    x = filtered_;
  }
  const double factor = target_ / rate_;
  if (method_ == 0) {
    linear_.Process(x, rate_ / target_, produced_);
  } else {
    sinc_.Process(x, factor, produced_);
  }
  Emit(produced_);
  const bool last = IsLastBlock(info, in.size());
  const int64_t n = schedule_.Next(static_cast<int64_t>(in.size()), last);
  if (last) {
    finished_ = true;
    if (method_ == 0) {
      linear_.Finish(std::max<int64_t>(0, schedule_.FinalTotal() - producedTotal_), rate_ / target_,
                     produced_);
    } else {
      sinc_.Finish(factor, produced_);
    }
    Emit(produced_);
  }
  fifo_.Pop(static_cast<size_t>(n), out);
}

}  // namespace qel::effects::pitch

namespace qel::effects {
std::unique_ptr<Processor> MakeResampler() {
  return std::make_unique<pitch::Resampler>();
}
}  // namespace qel::effects
