// Pieces the pitch and time kinds share: the per-block output schedule that
// keeps channels in step, and the output queue between an engine (Rubber Band,
// a resampler) and what Process gives out.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "processor.h"

namespace qel::effects::pitch {

// The end of the run: marked by the control, or known from the range length
// when the control gives it.
inline bool IsLastBlock(const BlockInfo& info, size_t frames) {
  return info.last ||
         (info.rangeFrames > 0 && info.position + static_cast<int64_t>(frames) >= info.rangeFrames);
}

// How many frames each block gives. The ideal output position after a block
// is Σ (block frames · num/den) over the blocks so far (num/den may change
// between blocks); a block gives what brings the total to round(ideal) − hold,
// and the last block whatever brings it to round(ideal). The count therefore
// depends on the block lengths and the ratios only, never on the signal, and
// the engine behind always has `hold` frames of slack to have produced them.
class OutputSchedule {
 public:
  void Start(double num, double den, int64_t hold) {
    base_ = 0;
    inSince_ = 0;
    num_ = num;
    den_ = den;
    hold_ = hold;
    emitted_ = 0;
  }
  void SetRatio(double num, double den) {
    if (num == num_ && den == den_) return;
    base_ = Ideal();
    inSince_ = 0;
    num_ = num;
    den_ = den;
  }
  // Total output once the input so far has been given out in full.
  int64_t FinalTotal() const { return std::llround(Ideal()); }
  // Counts `frames` more input and answers how many frames to give now.
  int64_t Next(int64_t frames, bool last) {
    inSince_ += frames;
    const int64_t total = FinalTotal();
    const int64_t target = last ? total : std::max(emitted_, total - hold_);
    const int64_t n = std::max<int64_t>(0, target - emitted_);
    emitted_ += n;
    return n;
  }

 private:
  double Ideal() const { return base_ + static_cast<double>(inSince_) * num_ / den_; }

  double base_ = 0;
  int64_t inSince_ = 0;
  double num_ = 1;
  double den_ = 1;
  int64_t hold_ = 0;
  int64_t emitted_ = 0;
};

// A first-in first-out queue of samples between an engine and the output.
// Should the engine ever fall behind the schedule, the missing frames are
// given as zeros and as many of its late frames are dropped when they come,
// so the output stays both counted and aligned.
class SampleFifo {
 public:
  void Reset() {
    data_.clear();
    read_ = 0;
    owed_ = 0;
  }
  size_t size() const { return data_.size() - read_; }
  // Appends `in` · scale.
  template <typename T>
  void Push(std::span<const T> in, double scale) {
    size_t skip = std::min<size_t>(owed_, in.size());
    owed_ -= skip;
    const size_t at = data_.size();
    data_.resize(at + in.size() - skip);
    for (size_t i = skip; i < in.size(); ++i)
      data_[at + i - skip] = static_cast<double>(in[i]) * scale;
  }
  // The next `n` frames pushed are discarded (an engine's start-up delay).
  void Drop(size_t n) { owed_ += n; }
  // Moves `n` frames to the end of `out`, zeros for any that are missing.
  void Pop(size_t n, std::vector<double>& out) {
    const size_t have = std::min(n, size());
    out.insert(out.end(), data_.begin() + static_cast<std::ptrdiff_t>(read_),
               data_.begin() + static_cast<std::ptrdiff_t>(read_ + have));
    read_ += have;
    if (have < n) {
      out.resize(out.size() + (n - have), 0.0);
      owed_ += n - have;
    }
    // Compact once the consumed part dominates, so the queue stays as long as
    // the slack and the memory moved per frame stays O(1).
    if (read_ > 4096 && read_ * 2 > data_.size()) {
      data_.erase(data_.begin(), data_.begin() + static_cast<std::ptrdiff_t>(read_));
      read_ = 0;
    }
  }

 private:
  std::vector<double> data_;
  size_t read_ = 0;
  size_t owed_ = 0;
};

// An engine behind the pitch and time kinds (Rubber Band or the time-domain
// one): it takes a run's input and queues its output aligned with the input,
// its own latency removed. The kinds count out what it queued with an
// OutputSchedule whose hold is the engine's Slack.
class Engine {
 public:
  virtual ~Engine() = default;
  // A fresh run. `timeRatio` is output duration / input duration,
  // `pitchScale` output frequency / input frequency; samples arrive at most
  // ±fullScale.
  virtual void Start(double sampleRate, double timeRatio, double pitchScale, double fullScale) = 0;
  // New ratios, in effect for the input fed from now on.
  virtual void SetRatios(double timeRatio, double pitchScale) = 0;
  // The most output frames the engine may lag behind round(input · timeRatio).
  virtual int64_t Slack() const = 0;
  virtual void Feed(std::span<const double> in) = 0;
  // After the last input: produces at least `total` frames of output in all.
  virtual void Finish(int64_t total) = 0;
  virtual SampleFifo& Output() = 0;
};

}  // namespace qel::effects::pitch
