// Anti-imaging low-pass for the linear resampler: a Kaiser-windowed sinc design
// and a per-channel FIR that keeps its state across blocks.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace PCM_CODEC {

// Low-pass FIR taps with unit gain at DC. cutoff is in cycles per sample
// (0.5 = Nyquist) and marks the centre of the transition band; attenuationDb is
// the stop-band level the Kaiser window aims for (a negative number, e.g. -40);
// the filter has 2 * halfLength + 1 taps.
std::vector<double> DesignLowPassFir(double attenuationDb, double cutoff, int halfLength);

// The anti-imaging design for upsampling from inRate to outRate: the cut-off is
// the input's Nyquist frequency at the output rate, the half length five times
// the rounded rate ratio (five sinc lobes on each side).
std::vector<double> DesignAntiImagingFir(int inRate, int outRate);

class CFilter {
 public:
  void SetCoefficients(std::span<const double> taps);
  void Reset();
  bool Active() const { return !taps_.empty(); }
  std::size_t Length() const { return taps_.size(); }

  // Filters samples in place, rounding to nearest and clipping to lo…hi. Meant
  // for 16-bit material (exact in single precision).
  void Process(std::span<std::int32_t> samples, std::int32_t lo, std::int32_t hi);

 private:
  // Single precision: 16-bit samples times taps summed over a few dozen terms
  // stay within a thousandth of a step, and four values fit a vector register.
  std::vector<float> taps_;  // reversed, so the dot product runs forwards
  // The last taps-1 inputs followed by the current block: a contiguous window.
  std::vector<float> window_;
  std::size_t history_ = 0;
};

}  // namespace PCM_CODEC
