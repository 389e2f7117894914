#include "wsola_engine.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace qel::effects::pitch {

namespace {

// Segment geometry in seconds: a new segment every 30 ms of output, joined
// over 10 ms, its start searched within ± 10 ms (which covers a full period
// down to 50 Hz). Segments this short keep speech and attacks crisp; an
// event's timing is off by at most half a hop × |speed − 1| plus the search.
constexpr double kHopSeconds = 0.030;
constexpr double kOverlapSeconds = 0.010;
constexpr double kSearchSeconds = 0.010;
// The coarse search runs on means of this many frames per 11 kHz or so, the
// fine one at the full rate around the coarse winner.
constexpr double kCoarseRate = 11025;
constexpr double kMinStretch = 0.25;
constexpr double kMaxStretch = 4;
// The input is dropped from the buffer in steps of at least this many frames.
constexpr int64_t kCompactFrames = 1 << 16;

// Σ a[i]·b[i]. Four-lane vectors with two accumulators: the compiler keeps a
// float sum in order otherwise and will not vectorise it, and this loop is
// where the engine spends its time.
float Dot(const float* a, const float* b, int64_t n) {
  using V = float __attribute__((vector_size(16)));
  V s0{}, s1{};
  int64_t i = 0;
  for (; i + 8 <= n; i += 8) {
    V a0, a1, b0, b1;
    std::memcpy(&a0, a + i, sizeof(V));
    std::memcpy(&a1, a + i + 4, sizeof(V));
    std::memcpy(&b0, b + i, sizeof(V));
    std::memcpy(&b1, b + i + 4, sizeof(V));
    s0 += a0 * b0;
    s1 += a1 * b1;
  }
  const V s = s0 + s1;
  float sum = (s[0] + s[1]) + (s[2] + s[3]);
  for (; i < n; ++i)
    sum += a[i] * b[i];
  return sum;
}

// The similarity of a candidate to the target: their correlation over the
// candidate's level (the target's own level is the same for all candidates).
// Silence scores 0.
float Score(float dot, float energy) {
  return energy > 0 ? dot / std::sqrt(energy) : 0.0f;
}

int64_t FloorDiv(int64_t a, int64_t b) {
  return a >= 0 ? a / b : -((-a + b - 1) / b);
}

}  // namespace

// ---------------------------------------------------------------------------

void WsolaStretcher::Start(double sampleRate, double stretch) {
  const auto frames = [&](double seconds) {
    return std::max<int64_t>(1, std::llround(seconds * sampleRate));
  };
  hop_ = frames(kHopSeconds);
  overlap_ = frames(kOverlapSeconds);
  search_ = frames(kSearchSeconds);
  decimation_ = std::max<int64_t>(1, std::llround(sampleRate / kCoarseRate));
  coarse_ = std::max<int64_t>(1, overlap_ / decimation_);
  // The earliest search reaches this far before the first input frame.
  pad_ = hop_ + search_ + 2 * decimation_;
  pad_ = (pad_ + decimation_ - 1) / decimation_ * decimation_;

  x_.assign(static_cast<size_t>(pad_), 0.0f);
  xBase_ = 0;
  fed_ = pad_;
  dec_.assign(static_cast<size_t>(pad_ / decimation_), 0.0f);
  decBase_ = 0;

  speed_ = 1.0 / std::clamp(stretch, kMinStretch, kMaxStretch);
  inAnchor_ = static_cast<double>(pad_);
  outAnchor_ = 0;
  outPos_ = 0;
  prevEnd_ = pad_;
  first_ = true;
  ended_ = false;
  end_ = 0;

  // A linear cross-fade: the segments joined are similar by construction, so
  // their amplitudes add rather than their powers.
  fade_.resize(static_cast<size_t>(overlap_));
  for (int64_t i = 0; i < overlap_; ++i)
    fade_[static_cast<size_t>(i)] =
        static_cast<float>((static_cast<double>(i) + 0.5) / static_cast<double>(overlap_));
  target_.resize(static_cast<size_t>(coarse_));
}

void WsolaStretcher::SetStretch(double stretch) {
  const double speed = 1.0 / std::clamp(stretch, kMinStretch, kMaxStretch);
  if (speed == speed_) return;
  outAnchor_ += (static_cast<double>(fed_) - inAnchor_) / speed_;
  inAnchor_ = static_cast<double>(fed_);
  speed_ = speed;
}

int64_t WsolaStretcher::MaxLag(double stretch) const {
  // A segment is taken once the input reaches its nominal start plus the
  // search, a hop and the decimation; the nominal start lies up to half a hop
  // × (speed − 1) beyond the hop's ideal input position. Every input frame
  // still missing counts `stretch` times in the output, and one more hop is
  // given only once its segment is complete.
  stretch = std::clamp(stretch, kMinStretch, kMaxStretch);
  const double speed = 1 / stretch;
  const double ahead = std::max(0.0, static_cast<double>(hop_) / 2 * (speed - 1));
  const double input = ahead + static_cast<double>(search_ + std::max(hop_, overlap_) + overlap_ +
                                                   2 * decimation_ + 2);
  return static_cast<int64_t>(std::ceil(input * stretch)) + hop_;
}

double WsolaStretcher::Nominal(int64_t y) const {
  // The hop's centre, y + hop/2, maps to input inAnchor + (y + hop/2 −
  // outAnchor)·speed; the segment starts half a hop before that.
  const double half = static_cast<double>(hop_) / 2;
  return inAnchor_ + (static_cast<double>(y) + half - outAnchor_) * speed_ - half;
}

int64_t WsolaStretcher::BestMatch(int64_t centre, int64_t limit) {
  const int64_t lo = std::max(centre - search_, xBase_);
  const int64_t hi = std::max(std::min(centre + search_, limit), lo);
  const int64_t d = decimation_;

  // Coarse: the target and the candidates as means of d frames, candidates
  // on the grid of the decimated copy. The nominal position is tried first
  // and only beaten by a strictly better score, so silence and other ties
  // stay on schedule.
  for (int64_t i = 0; i < coarse_; ++i) {
    const float* p = Ptr(prevEnd_ + i * d);
    float sum = 0;
    for (int64_t k = 0; k < d; ++k)
      sum += p[k];
    target_[static_cast<size_t>(i)] = sum / static_cast<float>(d);
  }
  const int64_t jlo = FloorDiv(lo + d - 1, d);
  const int64_t jhi = std::max(jlo, FloorDiv(hi, d));
  const int64_t jc = std::clamp(FloorDiv(centre + d / 2, d), jlo, jhi);
  const float* dj = DecPtr(jlo);
  float energy = Dot(dj, dj, coarse_);
  int64_t bestJ = jc;
  float best = 0;
  scores_.resize(static_cast<size_t>(jhi - jlo + 1));
  for (int64_t j = jlo; j <= jhi; ++j) {
    const float* c = DecPtr(j);
    if (j > jlo) energy = std::max(0.0f, energy + c[coarse_ - 1] * c[coarse_ - 1] - c[-1] * c[-1]);
    scores_[static_cast<size_t>(j - jlo)] = Score(Dot(target_.data(), c, coarse_), energy);
  }
  best = scores_[static_cast<size_t>(jc - jlo)];
  for (int64_t j = jlo; j <= jhi; ++j) {
    if (scores_[static_cast<size_t>(j - jlo)] > best) {
      best = scores_[static_cast<size_t>(j - jlo)];
      bestJ = j;
    }
  }

  // Fine: every frame position within one grid step of the coarse winner,
  // against the nominal position itself (which at speed 1 is the exact
  // continuation, so the input comes back unchanged).
  const int64_t nominal = std::clamp(centre, lo, hi);
  const int64_t around = bestJ == jc ? nominal : bestJ * d;
  const int64_t flo = std::max(lo, around - d);
  const int64_t fhi = std::min(hi, around + d);
  const float* t = Ptr(prevEnd_);
  int64_t bestPos = nominal;
  best = Score(Dot(t, Ptr(nominal), overlap_), Dot(Ptr(nominal), Ptr(nominal), overlap_));
  const float* f = Ptr(flo);
  energy = Dot(f, f, overlap_);
  for (int64_t pos = flo; pos <= fhi; ++pos) {
    const float* c = Ptr(pos);
    if (pos > flo)
      energy = std::max(0.0f, energy + c[overlap_ - 1] * c[overlap_ - 1] - c[-1] * c[-1]);
    const float score = Score(Dot(t, c, overlap_), energy);
    if (score > best) {
      best = score;
      bestPos = pos;
    }
  }
  return bestPos;
}

void WsolaStretcher::Feed(std::span<const double> in, std::vector<double>& out) {
  const size_t at = x_.size();
  x_.resize(at + in.size());
  for (size_t i = 0; i < in.size(); ++i)
    x_[at + i] = static_cast<float>(in[i]);
  fed_ += static_cast<int64_t>(in.size());
  // Extend the decimated copy by every group of d frames now complete.
  const int64_t d = decimation_;
  for (int64_t j = decBase_ + static_cast<int64_t>(dec_.size()); (j + 1) * d <= fed_; ++j) {
    const float* p = Ptr(j * d);
    float sum = 0;
    for (int64_t k = 0; k < d; ++k)
      sum += p[k];
    dec_.push_back(sum / static_cast<float>(d));
  }

  for (;;) {
    // The input needed is counted from the nominal position even past the
    // end, so that segments keep coming only as fast as silence is fed.
    const auto nominal = static_cast<int64_t>(std::llround(Nominal(outPos_)));
    const int64_t need = first_ ? prevEnd_ + hop_ + overlap_
                                : std::max(nominal + search_ + std::max(hop_, overlap_) + 2 * d + 1,
                                           prevEnd_ + overlap_);
    if (need > fed_) break;
    // Past the end, a segment is taken no later than lets the frames the
    // output still needs from it come from the input.
    int64_t limit = INT64_MAX;
    if (ended_) {
      const double idealEnd = outAnchor_ + (static_cast<double>(end_) - inAnchor_) / speed_;
      const auto wanted = static_cast<int64_t>(std::ceil(idealEnd - static_cast<double>(outPos_)));
      limit = std::max(xBase_, end_ - std::clamp(wanted, overlap_, hop_));
    }
    const int64_t cur = first_ ? prevEnd_ : BestMatch(std::min(nominal, limit), limit);
    const float* tail = Ptr(prevEnd_);
    const float* head = Ptr(cur);
    const size_t o = out.size();
    out.resize(o + static_cast<size_t>(hop_));
    double* y = out.data() + o;
    for (int64_t i = 0; i < overlap_; ++i) {
      const float w = fade_[static_cast<size_t>(i)];
      y[i] = tail[i] + w * (head[i] - tail[i]);
    }
    for (int64_t i = overlap_; i < hop_; ++i)
      y[i] = head[i];
    prevEnd_ = cur + hop_;
    outPos_ += hop_;
    first_ = false;
  }
  Compact();
}

void WsolaStretcher::Compact() {
  // Keep what the next search and cross-fade can reach (with a ratio change
  // pulling the nominal position back by up to the lag, a wide margin).
  const int64_t reach = static_cast<int64_t>(std::floor(Nominal(outPos_))) - search_;
  const int64_t keep = (std::min(prevEnd_, reach) - 4 * hop_) / decimation_ * decimation_;
  if (keep - xBase_ < kCompactFrames) return;
  x_.erase(x_.begin(), x_.begin() + (keep - xBase_));
  xBase_ = keep;
  const int64_t j = keep / decimation_;
  dec_.erase(dec_.begin(), dec_.begin() + (j - decBase_));
  decBase_ = j;
}

// ---------------------------------------------------------------------------

void WsolaEngine::Start(double sampleRate, double timeRatio, double pitchScale,
                        double /*fullScale*/) {
  // The engine is linear, so the sample scale does not matter to it.
  pitchScale_ = std::clamp(pitchScale, kMinStretch, kMaxStretch);
  stretcher_.Start(sampleRate, timeRatio * pitchScale_);
  int64_t lookahead = 0;
  if (resample_) {
    resampler_.Start(false, 1 / kMaxStretch, 1 / kMinStretch);
    lookahead = resampler_.Lookahead();
  }
  // The worst lag over the ratios this run can reach: a tempo change at any
  // speed, or a pitch shift at any ratio (whose stretcher's lag of L frames
  // is L / pitchScale output frames, behind the resampler's look-ahead).
  slack_ = 0;
  for (const double r : {kMinStretch, 0.5, 1.0, 2.0, kMaxStretch}) {
    const int64_t lag =
        resample_ ? static_cast<int64_t>(std::ceil(
                        static_cast<double>(stretcher_.MaxLag(timeRatio * r) + lookahead + 2) / r))
                  : stretcher_.MaxLag(r);
    slack_ = std::max(slack_, lag);
  }
  fifo_.Reset();
  produced_ = 0;
}

void WsolaEngine::SetRatios(double timeRatio, double pitchScale) {
  pitchScale_ = std::clamp(pitchScale, kMinStretch, kMaxStretch);
  stretcher_.SetStretch(timeRatio * pitchScale_);
}

void WsolaEngine::Emit() {
  std::vector<double>* out = &stretched_;
  if (resample_) {
    resampled_.clear();
    resampler_.Process(stretched_, 1 / pitchScale_, resampled_);
    out = &resampled_;
  }
  fifo_.Push(std::span<const double>(*out), 1.0);
  produced_ += static_cast<int64_t>(out->size());
  stretched_.clear();
}

void WsolaEngine::Feed(std::span<const double> in) {
  stretcher_.Feed(in, stretched_);
  Emit();
}

void WsolaEngine::Finish(int64_t total) {
  // Silence behind the input lets the last segments and the resampler's
  // filter complete; bounded in case of a bug rather than looping forever.
  const std::vector<double> silence(4096, 0.0);
  const int64_t limit = 4 * slack_ + 65536;
  stretcher_.MarkEnd();
  for (int64_t fed = 0; produced_ < total && fed < limit;
       fed += static_cast<int64_t>(silence.size()))
    Feed(silence);
}

}  // namespace qel::effects::pitch
