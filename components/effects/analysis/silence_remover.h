// The silence remover: drops the stretches of a recording whose level, as an
// RMS over a sliding window across all channels, stays under a threshold, and
// passes every other frame through byte for byte.
#pragma once

#include <cstdint>
#include <vector>

#include "processor.h"

namespace qel::effects::analysis {

class SilenceRemover final : public FrameProcessor {
 public:
  static constexpr double kMinDb = -150.0;
  static constexpr double kMaxDb = 0.0;
  static constexpr double kMinMs = 1.0;
  static constexpr double kMaxMs = 10000.0;

  bool SetParam(int index, const ParamValue& value) override;
  void Start(const PcmFormat& format) override;
  void Process(std::span<const uint8_t> in, bool last, std::vector<uint8_t>& out) override;

 private:
  // Sum of squared samples; exact for any sample size and window length.
  using Energy = unsigned __int128;

  // Reads the `count` frames of pending_ not yet seen and decides every frame
  // whose last window is complete.
  template <int Bits>
  void Scan(int64_t count, std::vector<uint8_t>& out);
  // Appends frames [from, to) (absolute) from the pending bytes.
  void Emit(int64_t from, int64_t to, std::vector<uint8_t>& out) const;
  void Reset();

  double thresholdDb_ = -60.0;
  double windowMs_ = 100.0;

  PcmFormat format_;
  bool passThrough_ = true;
  size_t align_ = 0;
  int64_t window_ = 1;  // W frames
  Energy limit_ = 0;    // a window is silent when its energy is below this

  std::vector<Energy> ring_;  // the energy of each of the last W frames
  size_t ringAt_ = 0;
  Energy sum_ = 0;
  int64_t seen_ = 0;        // frames read
  int64_t decided_ = 0;     // frames kept or removed; pending_ starts here
  int64_t coveredEnd_ = 0;  // frames before this lie in a silent window
  std::vector<uint8_t> pending_;
};

}  // namespace qel::effects::analysis
