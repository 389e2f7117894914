// Reverb: early reflections from a tapped pre-delay line, then a Schroeder /
// Freeverb-style late part (eight damped feedback combs in parallel, four
// all-passes in series) fed from the pre-delayed input. On the last block the
// wet decay is appended after the input.
#pragma once

#include <array>
#include <cstdint>

#include "common.h"

namespace qel::effects::time {

class Reverb final : public Processor {
 public:
  static constexpr int kCombs = 8;
  static constexpr int kAllPasses = 4;
  static constexpr int kMaxTaps = 64;

  bool SetParam(int index, const ParamValue& value) override;
  void Start(const StreamSetup& setup) override;
  void Process(std::span<const double> in, const BlockInfo& info,
               std::vector<double>& out) override;

 private:
  // Samples processed at a time; scratch arrays of this size hold the
  // intermediate signals, so nothing is allocated while processing.
  static constexpr size_t kChunk = 256;

  void Apply(bool immediately);
  void RunChunk(const double* x, size_t n, double* y);
  void AppendTail(std::vector<double>& out);

  Params<6> params_{{20.0, 30.0, 80.0, 100.0, 5000.0, 4.0}};
  bool dirty_ = false;
  double rate_ = 44100;
  double fullScale_ = 32768;

  // Pre-delay line: early taps and the late part's input read from it.
  std::vector<double> pre_;
  size_t preMask_ = 0;
  size_t prePos_ = 0;
  size_t preDelay_ = 0;
  int taps_ = 0;
  std::array<size_t, kMaxTaps> tapDelay_{};
  std::array<double, kMaxTaps> tapGain_{};

  // Combs and all-passes, each in a power-of-two slice of one buffer.
  std::vector<double> combs_;
  size_t combSize_ = 0;
  std::vector<double> allPasses_;
  size_t allPassSize_ = 0;
  size_t pos_ = 0;
  std::array<size_t, kCombs> combLength_{};
  std::array<size_t, kAllPasses> allPassLength_{};
  std::array<double, kCombs> combFeedback_{};
  std::array<double, kCombs> combState_{};
  double damp_ = 0;
  double inputGain_ = 0;
  Ramp dry_;
  Ramp wet_;

  std::array<double, kChunk> early_{};
  std::array<double, kChunk> lateIn_{};
  std::array<double, kChunk> late_{};
  std::array<double, kChunk> zeros_{};
};

}  // namespace qel::effects::time
