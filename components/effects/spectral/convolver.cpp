#include "spectral/convolver.h"

#include <algorithm>
#include <cmath>

namespace qel::effects::spectral {
namespace {

// Up to this many taps a kernel is applied directly; longer ones go faster
// through transforms (measured: 65 taps already run about twice as fast).
constexpr std::size_t kDirectMaxTaps = 48;
// The direct path works through the input in chunks of this many frames.
constexpr std::size_t kDirectChunk = 1024;

void Multiply(const fftw_complex* a, const fftw_complex* b, fftw_complex* out, std::size_t n) {
  for (std::size_t k = 0; k < n; ++k) {
    const double re = a[k][0] * b[k][0] - a[k][1] * b[k][1];
    const double im = a[k][0] * b[k][1] + a[k][1] * b[k][0];
    out[k][0] = re;
    out[k][1] = im;
  }
}

}  // namespace

std::size_t NextPowerOfTwo(std::size_t n) {
  std::size_t p = 1;
  while (p < n)
    p <<= 1;
  return p;
}

void Convolver::Configure(std::size_t taps) {
  taps_ = std::max<std::size_t>(taps, 1);
  history_ = taps_ - 1;
  useFft_ = taps_ > kDirectMaxTaps;
  if (useFft_) {
    // Four times the kernel: each frame then yields about three kernels'
    // worth of output, which keeps the transforms per sample low.
    const std::size_t size = 4 * NextPowerOfTwo(taps_);
    hop_ = size - history_;
    fft_ = RealFft(size);
    spectrum_ = MakeComplex(fft_.bins());
    response_ = MakeComplex(fft_.bins());
    oldResponse_ = MakeComplex(fft_.bins());
    // A forward and an inverse transform plus the product, in multiply-adds.
    fftCost_ = 3.0 * static_cast<double>(size) * std::log2(static_cast<double>(size));
  } else {
    hop_ = kDirectChunk;
    fft_ = RealFft();
    spectrum_.reset();
    response_.reset();
    oldResponse_.reset();
  }
  frame_.assign(history_ + hop_, 0.0);
  scratch_.assign(hop_, 0.0);
  oldScratch_.assign(hop_, 0.0);
  std::vector<double> impulse(taps_, 0.0);
  impulse[0] = 1.0;
  Reset();
  SetKernel(impulse, 0);
}

void Convolver::Reset() {
  std::fill(frame_.begin(), frame_.end(), 0.0);
  fill_ = 0;
  done_ = 0;
  begun_ = false;
  fadeLength_ = 0;
  fadeDone_ = 0;
}

void Convolver::TransformKernel(const std::vector<double>& reversed, ComplexBuffer& response) {
  double* real = fft_.Real();
  const std::size_t size = fft_.size();
  // FFTW's inverse is unnormalised: the 1/size goes into the kernel.
  const double scale = 1.0 / static_cast<double>(size);
  std::fill_n(real, size, 0.0);
  for (std::size_t j = 0; j < taps_; ++j)
    real[j] = reversed[taps_ - 1 - j] * scale;
  fft_.Forward();
  CopyComplex(fft_.Complex(), fft_.bins(), response.get());
}

void Convolver::SetKernel(std::span<const double> h, std::size_t fadeFrames) {
  std::vector<double> reversed(h.rbegin(), h.rend());
  reversed.resize(taps_, 0.0);
  const bool fading = fadeDone_ < fadeLength_;
  if (begun_ && fadeFrames > 0) {
    if (fading) {
      // A change during a fade: what is heard now, a blend of the two, is
      // itself a kernel, and becomes the one faded from.
      const double t = static_cast<double>(fadeDone_) / static_cast<double>(fadeLength_);
      for (std::size_t j = 0; j < taps_; ++j)
        oldReversed_[j] += t * (reversed_[j] - oldReversed_[j]);
      if (useFft_) {
        for (std::size_t k = 0; k < fft_.bins(); ++k) {
          oldResponse_[k][0] += t * (response_[k][0] - oldResponse_[k][0]);
          oldResponse_[k][1] += t * (response_[k][1] - oldResponse_[k][1]);
        }
      }
    } else {
      oldReversed_ = reversed_;
      if (useFft_) CopyComplex(response_.get(), fft_.bins(), oldResponse_.get());
    }
    fadeLength_ = fadeFrames;
    fadeDone_ = 0;
  } else {
    fadeLength_ = 0;
    fadeDone_ = 0;
  }
  reversed_ = std::move(reversed);
  if (useFft_) TransformKernel(reversed_, response_);
}

void Convolver::Direct(const std::vector<double>& reversed, std::size_t from, std::size_t to,
                       double* out) const {
  // Tap by tap over the outputs: the inner loop vectorises, and each output
  // still sums its taps in the same order however the input was split.
  const std::size_t n = to - from;
  std::fill_n(out, n, 0.0);
  const double* x = frame_.data() + from;
  for (std::size_t j = 0; j < taps_; ++j) {
    const double c = reversed[j];
    const double* xj = x + j;
    for (std::size_t i = 0; i < n; ++i)
      out[i] += c * xj[i];
  }
}

void Convolver::Transform(const ComplexBuffer& response) {
  Multiply(spectrum_.get(), response.get(), fft_.Complex(), fft_.bins());
  fft_.Inverse();
}

void Convolver::Compute(std::size_t from, std::size_t to, double* out) {
  const std::size_t n = to - from;
  const bool fading = fadeDone_ < fadeLength_;
  const bool transform = useFft_ && static_cast<double>(n) * static_cast<double>(taps_) > fftCost_;
  if (transform) {
    std::copy(frame_.begin(), frame_.end(), fft_.Real());
    fft_.Forward();
    CopyComplex(fft_.Complex(), fft_.bins(), spectrum_.get());
    Transform(response_);
    std::copy_n(fft_.Real() + history_ + from, n, out);
    if (fading) {
      Transform(oldResponse_);
      std::copy_n(fft_.Real() + history_ + from, n, oldScratch_.data());
    }
  } else {
    Direct(reversed_, from, to, out);
    if (fading) Direct(oldReversed_, from, to, oldScratch_.data());
  }
  if (!fading) return;
  const double length = static_cast<double>(fadeLength_);
  for (std::size_t i = 0; i < n && fadeDone_ < fadeLength_; ++i) {
    ++fadeDone_;
    const double t = static_cast<double>(fadeDone_) / length;
    out[i] = oldScratch_[i] + t * (out[i] - oldScratch_[i]);
  }
}

void Convolver::Push(const double* in, std::size_t n, std::vector<double>& out) {
  const std::size_t start = out.size();
  out.resize(start + n);
  double* dst = out.data() + start;
  if (n > 0) begun_ = true;
  while (n > 0) {
    const std::size_t take = std::min(n, hop_ - fill_);
    if (in != nullptr) {
      std::copy_n(in, take, frame_.data() + history_ + fill_);
      in += take;
    }  // else the unseen part of the frame is zero already
    fill_ += take;
    n -= take;
    if (fill_ == hop_) {
      Compute(done_, hop_, dst);
      dst += hop_ - done_;
      // The last taps − 1 inputs become the history of the next frame.
      std::copy(frame_.begin() + static_cast<std::ptrdiff_t>(hop_), frame_.end(), frame_.begin());
      std::fill(frame_.begin() + static_cast<std::ptrdiff_t>(history_), frame_.end(), 0.0);
      fill_ = 0;
      done_ = 0;
    }
  }
  if (fill_ > done_) {
    Compute(done_, fill_, dst);
    done_ = fill_;
  }
}

void CentredRun::Reset(std::size_t delay, bool toldOfLast) {
  delay_ = delay;
  toldOfLast_ = toldOfLast;
  begun_ = false;
  compensate_ = true;
  ended_ = false;
  dropped_ = 0;
}

void CentredRun::Process(Convolver& convolver, std::span<const double> in, const BlockInfo& info,
                         std::vector<double>& out) {
  const bool end = EndsRun(info, in.size());
  if (ended_) {
    // A block after the end starts a run of its own.
    convolver.Reset();
    Reset(delay_, toldOfLast_);
  }
  if (!begun_) {
    begun_ = true;
    compensate_ = toldOfLast_ || info.rangeFrames > 0 || end;
  }
  const std::size_t start = out.size();
  convolver.Push(in.data(), in.size(), out);
  if (compensate_) {
    const std::size_t drop = std::min(delay_ - dropped_, in.size());
    const auto first = out.begin() + static_cast<std::ptrdiff_t>(start);
    out.erase(first, first + static_cast<std::ptrdiff_t>(drop));
    dropped_ += drop;
    if (end) {
      // delay_ more outputs from zeros; of these the last dropped_ complete
      // the run (all of them unless the run was shorter than the delay).
      const std::size_t mark = out.size();
      convolver.Push(nullptr, delay_, out);
      const auto from = out.begin() + static_cast<std::ptrdiff_t>(mark);
      out.erase(from, from + static_cast<std::ptrdiff_t>(delay_ - dropped_));
    }
  }
  if (end) ended_ = true;
}

}  // namespace qel::effects::spectral
