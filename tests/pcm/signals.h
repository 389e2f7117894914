// Test signals and measurements: interleaved PCM packing, sines, least-squares
// tone fitting and power spectra (FFTW, single precision).
#pragma once

#include <fftw3.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <numbers>
#include <span>
#include <vector>

namespace pcmtest {

// Interleaved PCM from per-frame, per-channel natural-range values.
inline std::vector<std::uint8_t> Pack(const std::vector<std::int32_t>& values, int bits) {
  const std::size_t bytes = static_cast<std::size_t>(bits / 8);
  std::vector<std::uint8_t> out(values.size() * bytes);
  for (std::size_t k = 0; k < values.size(); ++k) {
    const std::int32_t v = values[k];
    std::uint8_t* p = out.data() + k * bytes;
    if (bits == 8) {
      p[0] = static_cast<std::uint8_t>(v + 128);
    } else {
      const auto u = static_cast<std::uint32_t>(v);
      for (std::size_t b = 0; b < bytes; ++b)
        p[b] = static_cast<std::uint8_t>(u >> (8 * b));
    }
  }
  return out;
}

inline std::vector<std::int32_t> Unpack(std::span<const std::uint8_t> data, int bits) {
  const std::size_t bytes = static_cast<std::size_t>(bits / 8);
  std::vector<std::int32_t> out(data.size() / bytes);
  for (std::size_t k = 0; k < out.size(); ++k) {
    const std::uint8_t* p = data.data() + k * bytes;
    if (bits == 8) {
      out[k] = static_cast<std::int32_t>(p[0]) - 128;
    } else {
      std::uint32_t u = 0;
      for (std::size_t b = 0; b < bytes; ++b)
        u |= static_cast<std::uint32_t>(p[b]) << (8 * b);
      const int shift = 32 - bits;
      out[k] = static_cast<std::int32_t>(u << shift) >> shift;
    }
  }
  return out;
}

// One channel out of interleaved values.
inline std::vector<double> Channel(const std::vector<std::int32_t>& v, int channels, int index) {
  std::vector<double> out;
  out.reserve(v.size() / static_cast<std::size_t>(channels));
  for (std::size_t k = static_cast<std::size_t>(index); k < v.size();
       k += static_cast<std::size_t>(channels)) {
    out.push_back(v[k]);
  }
  return out;
}

// Interleaved sine frames: every channel gets the same tone.
inline std::vector<std::int32_t> Sine(double freq, double rate, double amplitude,
                                      std::size_t frames, int channels = 1) {
  std::vector<std::int32_t> v(frames * static_cast<std::size_t>(channels));
  for (std::size_t t = 0; t < frames; ++t) {
    const double s = amplitude * std::sin(2.0 * std::numbers::pi * freq * t / rate);
    for (int c = 0; c < channels; ++c) {
      v[t * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] =
          static_cast<std::int32_t>(std::lrint(s));
    }
  }
  return v;
}

// Amplitude of the component at freq (least squares on sine, cosine and DC).
inline double ToneAmplitude(std::span<const double> y, double freq, double rate) {
  double ss = 0, cc = 0, sc = 0, ys = 0, yc = 0, s1 = 0, c1 = 0, y1 = 0;
  const double n = static_cast<double>(y.size());
  for (std::size_t t = 0; t < y.size(); ++t) {
    const double w = 2.0 * std::numbers::pi * freq * t / rate;
    const double s = std::sin(w), c = std::cos(w);
    ss += s * s, cc += c * c, sc += s * c, ys += y[t] * s, yc += y[t] * c;
    s1 += s, c1 += c, y1 += y[t];
  }
  // Remove the mean first (3x3 system reduced by centring).
  const double ms = s1 / n, mc = c1 / n, my = y1 / n;
  ss -= n * ms * ms, cc -= n * mc * mc, sc -= n * ms * mc;
  ys -= n * ms * my, yc -= n * mc * my;
  const double det = ss * cc - sc * sc;
  const double a = (ys * cc - yc * sc) / det;
  const double b = (yc * ss - ys * sc) / det;
  return std::hypot(a, b);
}

inline double Db(double ratio) {
  return 20.0 * std::log10(ratio);
}

// One-sided power spectrum with a Hann window, normalised so that the bins add
// up to the signal's mean-square value.
class Spectrum {
 public:
  explicit Spectrum(std::span<const double> x) : n_(x.size()) {
    std::unique_ptr<float[], decltype(&fftwf_free)> in(
        static_cast<float*>(fftwf_malloc(sizeof(float) * n_)), &fftwf_free);
    std::unique_ptr<fftwf_complex[], decltype(&fftwf_free)> out(
        static_cast<fftwf_complex*>(fftwf_malloc(sizeof(fftwf_complex) * (n_ / 2 + 1))),
        &fftwf_free);
    double wsum2 = 0;
    for (std::size_t t = 0; t < n_; ++t) {
      const double w = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * t / n_);
      in[t] = static_cast<float>(x[t] * w);
      wsum2 += w * w;
    }
    fftwf_plan plan =
        fftwf_plan_dft_r2c_1d(static_cast<int>(n_), in.get(), out.get(), FFTW_ESTIMATE);
    fftwf_execute(plan);
    fftwf_destroy_plan(plan);
    power_.resize(n_ / 2 + 1);
    for (std::size_t k = 0; k < power_.size(); ++k) {
      const double re = out[k][0], im = out[k][1];
      power_[k] = (re * re + im * im) / (wsum2 * n_) * 2.0;  // one-sided, mean-square per bin
    }
  }

  // Mean-square signal power between two frequencies (Hz) at the given rate.
  double Band(double lo, double hi, double rate) const {
    double sum = 0;
    for (std::size_t k = 0; k < power_.size(); ++k) {
      const double f = static_cast<double>(k) * rate / n_;
      if (f >= lo && f < hi) sum += power_[k];
    }
    return sum;
  }

 private:
  std::size_t n_;
  std::vector<double> power_;
};

}  // namespace pcmtest
