#include "silence_remover.h"

#include <algorithm>
#include <cmath>

#include "pcm.h"
#include "processors.h"

namespace qel::effects {

std::unique_ptr<FrameProcessor> MakeSilenceRemover() {
  return std::make_unique<analysis::SilenceRemover>();
}

namespace analysis {

bool SilenceRemover::SetParam(int index, const ParamValue& value) {
  double number = 0;
  if (!AsNumber(value, number) || !std::isfinite(number)) return false;
  switch (index) {
    case 1:
      thresholdDb_ = number;
      return true;
    case 2:
      windowMs_ = number;
      return true;
    default:
      return false;
  }
}

void SilenceRemover::Start(const PcmFormat& format) {
  format_ = format;
  passThrough_ =
      !SupportedPcm(format) || !std::isfinite(format.sampleRate) || format.sampleRate < 1;
  align_ = passThrough_ ? 0 : static_cast<size_t>(format.BlockAlign());
  const double ms = std::clamp(windowMs_, kMinMs, kMaxMs);
  window_ = passThrough_ ? 1 : std::max<int64_t>(1, std::llround(ms * format.sampleRate / 1000));
  // Silent: 10·log10(2·meanSquare / fullScale²) < threshold, the mean taken
  // over the W frames and all channels (a sine reads the level of its peak).
  const double db = std::clamp(thresholdDb_, kMinDb, kMaxDb);
  const long double fullScale = passThrough_ ? 1 : PcmFullScale(format.bitsPerSample);
  const long double limit = static_cast<long double>(window_) * format.channels * fullScale *
                            fullScale * std::pow(10.0L, static_cast<long double>(db) / 10) / 2;
  // The energy is a whole number: below `limit` is below its ceiling.
  limit_ = static_cast<Energy>(std::ceil(limit));
  Reset();
}

void SilenceRemover::Reset() {
  ring_.assign(passThrough_ ? 0 : static_cast<size_t>(window_), Energy{0});
  ringAt_ = 0;
  sum_ = 0;
  seen_ = 0;
  decided_ = 0;
  coveredEnd_ = 0;
  pending_.clear();
}

void SilenceRemover::Emit(int64_t from, int64_t to, std::vector<uint8_t>& out) const {
  if (to <= from) return;
  const auto begin = pending_.begin() + static_cast<ptrdiff_t>((from - decided_) * align_);
  out.insert(out.end(), begin, begin + static_cast<ptrdiff_t>((to - from) * align_));
}

template <int Bits>
void SilenceRemover::Scan(int64_t count, std::vector<uint8_t>& out) {
  constexpr size_t kBytes = Bits / 8;
  const auto channels = static_cast<size_t>(format_.channels);
  const uint8_t* frame = pending_.data() + (seen_ - decided_) * static_cast<int64_t>(align_);
  int64_t runStart = -1;  // the first frame of the kept run being gathered
  for (int64_t k = 0; k < count; ++k, frame += align_) {
    Energy energy = 0;
    for (size_t c = 0; c < channels; ++c) {
      const int64_t x = ReadSample<Bits>(frame + c * kBytes);
      energy += static_cast<uint64_t>(x * x);
    }
    sum_ += energy;
    sum_ -= ring_[ringAt_];
    ring_[ringAt_] = energy;
    if (++ringAt_ == ring_.size()) ringAt_ = 0;
    ++seen_;

    // The window [m, seen_) is complete; no later window reaches back to
    // frame m, so m is decided now.
    const int64_t m = seen_ - window_;
    if (m < 0) continue;
    if (sum_ < limit_) coveredEnd_ = seen_;
    if (coveredEnd_ > m) {
      if (runStart >= 0) Emit(runStart, m, out);
      runStart = -1;
    } else if (runStart < 0) {
      runStart = m;
    }
  }
  const int64_t decidedEnd = std::max(decided_, seen_ - window_ + 1);
  if (runStart >= 0) Emit(runStart, decidedEnd, out);
  pending_.erase(pending_.begin(),
                 pending_.begin() + static_cast<ptrdiff_t>((decidedEnd - decided_) * align_));
  decided_ = decidedEnd;
}

void SilenceRemover::Process(std::span<const uint8_t> in, bool last, std::vector<uint8_t>& out) {
  if (passThrough_) {
    out.insert(out.end(), in.begin(), in.end());
    return;
  }
  const size_t frames = in.size() / align_;
  pending_.insert(pending_.end(), in.begin(), in.begin() + static_cast<ptrdiff_t>(frames * align_));
  WithBits(format_.bitsPerSample,
           [&](auto bits) { Scan<decltype(bits)::value>(static_cast<int64_t>(frames), out); });
  if (last) {
    // The frames whose window would run past the end: removed only when an
    // earlier silent window covers them.
    Emit(std::max(decided_, coveredEnd_), seen_, out);
    Reset();
  }
}

}  // namespace analysis
}  // namespace qel::effects
