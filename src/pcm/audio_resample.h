// The band-limited resampler of one channel, on libresample. It keeps the input
// the library has not consumed yet, so a document can be fed block by block.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace PCM_CODEC {

class CAudioResample {
 public:
  CAudioResample() = default;
  ~CAudioResample() = default;
  CAudioResample(const CAudioResample&) = delete;
  CAudioResample& operator=(const CAudioResample&) = delete;

  // Forget the history and reopen the library handle on the next block.
  void Reset();
  void SetHighQuality(bool on) { highQuality_ = on; }
  void SetGain(double gain) { gain_ = gain; }

  // Resamples one channel of a block. Samples are read with the given byte
  // stride from interleaved PCM of `bits` (8, 16, 24 or 32); out receives the
  // results in the same sample size as integers: natural range for 8, 16 and 32
  // bits, the 32-bit scale for 24 bits. Returns their count; 0 also when the
  // library cannot be opened for this factor.
  std::size_t Process(double factor, const std::uint8_t* in, std::size_t frames, std::size_t stride,
                      int bits, std::vector<std::int32_t>& out);

  // Input samples the library has not taken yet.
  std::size_t PendingInput() const { return held_; }

 private:
  struct HandleCloser {
    void operator()(void* handle) const;
  };
  std::unique_ptr<void, HandleCloser> handle_;
  double factor_ = 0.0;
  bool highQuality_ = true;
  bool reopen_ = true;
  double gain_ = 1.0;
  std::vector<float> history_;  // the library reads single-precision floats
  std::size_t held_ = 0;        // samples of history_ in use
  std::vector<float> output_;
};

}  // namespace PCM_CODEC
