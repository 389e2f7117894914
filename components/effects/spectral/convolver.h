// Streaming convolution with a fixed-length kernel that gives one output per
// input at once (no block latency), and the run bookkeeping that turns it into
// a centred, length-preserving linear-phase filter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "processor.h"
#include "spectral/fft.h"

namespace qel::effects::spectral {

// y[n] = Σ h[j]·x[n − j], one y per x pushed, whatever the block lengths.
// Short kernels are applied directly; long ones by overlap-save FFT frames.
// Whenever a push ends inside a frame, the outputs up to the last input are
// computed at once (directly when that is cheaper than a transform): they only
// need inputs already seen, the unseen ones standing as zeros. So the output
// does not depend on how the input is split, up to rounding.
class Convolver {
 public:
  Convolver() { Configure(1); }
  // Sizes the buffers for kernels of `taps` taps; the kernel is a unit impulse
  // until SetKernel. Not for use in the middle of a run.
  void Configure(std::size_t taps);
  // Replaces the kernel (h.size() must equal the configured taps). In a run
  // that has begun, the output moves linearly from the old kernel's to the new
  // one's over `fadeFrames` outputs.
  void SetKernel(std::span<const double> h, std::size_t fadeFrames);
  // Forgets the input seen so far (a new run); the kernel is kept.
  void Reset();
  // Appends in.size() outputs to out; a null `in` stands for n zeros.
  void Push(const double* in, std::size_t n, std::vector<double>& out);

  std::size_t taps() const { return taps_; }

 private:
  // The outputs at frame positions [from, to) (inputs at history + position).
  void Compute(std::size_t from, std::size_t to, double* out);
  void Direct(const std::vector<double>& reversed, std::size_t from, std::size_t to,
              double* out) const;
  // The frame's spectrum times `response`, back in fft_.Real().
  void Transform(const ComplexBuffer& response);
  void TransformKernel(const std::vector<double>& reversed, ComplexBuffer& response);

  std::size_t taps_ = 1;
  std::size_t history_ = 0;  // taps − 1 inputs kept from before the frame
  std::size_t hop_ = 0;      // new inputs per frame
  bool useFft_ = false;
  double fftCost_ = 0;  // a transform's cost in multiply-adds, to choose the path

  std::vector<double> frame_;  // history_ + hop_ inputs, unseen ones zero
  std::size_t fill_ = 0;       // inputs of this frame received
  std::size_t done_ = 0;       // outputs of this frame given
  bool begun_ = false;

  std::vector<double> reversed_ = {1.0};  // the kernel, last tap first
  std::vector<double> oldReversed_;
  RealFft fft_;
  ComplexBuffer spectrum_;  // of the frame, kept while fading
  ComplexBuffer response_;
  ComplexBuffer oldResponse_;
  std::vector<double> scratch_;
  std::vector<double> oldScratch_;
  std::size_t fadeLength_ = 0;
  std::size_t fadeDone_ = 0;  // outputs given since the fade began; fading while < length
};

// A linear-phase kernel of 2M + 1 taps delays by M. This holds the run
// together: the first M outputs are dropped and M more are drawn from zeros
// after the end, so that over a run the output lines up with the input sample
// for sample and is as long. The end is the block marked last, or the block
// reaching rangeFrames when that is known. When a run starts with neither
// promised (rangeFrames 0 and a first block not marked last) and the kind may
// be left unmarked, the run is not compensated: each block gives as many
// outputs as inputs, delayed by M.
class CentredRun {
 public:
  void Reset(std::size_t delay, bool toldOfLast);
  void Process(Convolver& convolver, std::span<const double> in, const BlockInfo& info,
               std::vector<double>& out);

 private:
  std::size_t delay_ = 0;
  bool toldOfLast_ = true;
  bool begun_ = false;
  bool compensate_ = true;
  bool ended_ = false;
  std::size_t dropped_ = 0;
};

// True when this block ends the run.
inline bool EndsRun(const BlockInfo& info, std::size_t frames) {
  return info.last ||
         (info.rangeFrames > 0 && info.position + static_cast<int64_t>(frames) >= info.rangeFrames);
}

// The smallest power of two ≥ n.
std::size_t NextPowerOfTwo(std::size_t n);

}  // namespace qel::effects::spectral
