// The tempo analyser: aubio's beat tracker over the mono downmix of the
// selection decides the beat period, an autocorrelation of the selection's
// spectral flux makes it precise.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "processor.h"

namespace qel::effects::analysis {

class Tempo final : public FrameProcessor {
 public:
  // aubio's analysis window and hop, in frames.
  static constexpr uint32_t kWindow = 1024;
  static constexpr uint32_t kHop = 512;
  // The onset envelope's resolution (half a hop), in frames.
  static constexpr uint32_t kSlice = kHop / 2;

  Tempo();
  ~Tempo() override;

  // No parameters: every index is refused.
  bool SetParam(int index, const ParamValue& value) override;
  void Start(const PcmFormat& format) override;
  // Reads the frames; gives none.
  void Process(std::span<const uint8_t> in, bool last, std::vector<uint8_t>& out) override;
  // The tempo found by the block marked last; 0 before it, for a format it
  // cannot read, or when no beat was heard.
  double Result() const override { return result_; }

 private:
  // aubio's tracker and its buffers, kept out of this header.
  struct Tracker;
  template <int Bits>
  void Read(std::span<const uint8_t> in);
  void RunHop();
  void Finish();

  PcmFormat format_;
  std::unique_ptr<Tracker> tracker_;
  size_t filled_ = 0;      // samples in the hop being gathered
  uint32_t lastBeat_ = 0;  // the tracker's last beat, as it counts
  uint64_t wraps_ = 0;
  std::vector<float> sliceRms_;      // the level of every slice read, full scale 1
  std::vector<float> sliceFlux_;     // the spectral flux at every slice
  std::vector<double> beatFrames_;   // where the tracker put each beat
  std::vector<double> beatPeriods_;  // its beat period then, in frames
  double result_ = 0;
};

}  // namespace qel::effects::analysis
