// The spectral view: a Hann-windowed single-precision FFT per column and
// channel, decibel values per bin, two 100-colour palettes made with the integer
// HLS conversion, and the bright and dark images the lanes are copied from.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "view/graphics.h"
#include "view/view_source.h"

namespace qel::view {

// FFT size for SpectralResolution R: 16 x 4^(R - 1); R below 0 counts as 1 and
// above 5 as 5, so R = 0 gives 4 and R = 5 gives 4096.
int FftSizeForResolution(int resolution);

// w[i] = sin^2(pi * i / N).
std::vector<float> HannWindow(int n);

// The factor that brings a sample to the 16-bit range before windowing.
float SampleScale(int sampleSize);

// A real FFT of size N (FFTW, single precision) turned into decibel values.
class SpectrumAnalyzer {
 public:
  explicit SpectrumAnalyzer(int n);
  ~SpectrumAnalyzer();
  SpectrumAnalyzer(const SpectrumAnalyzer&) = delete;
  SpectrumAnalyzer& operator=(const SpectrumAnalyzer&) = delete;

  int Size() const { return n_; }
  bool Valid() const { return plan_ != nullptr; }
  // The buffer to fill with N windowed samples before Transform.
  float* Input() { return in_.get(); }
  // Bins 0 ... N/2 of the last input: trunc(10 log10(power)), -20 for silence,
  // power of bin k = (re^2 + im^2) / (N / 2).
  void Transform(int32_t* decibels);

 private:
  struct BufferDeleter {
    void operator()(float* p) const;
  };
  struct PlanDeleter {
    void operator()(void* p) const;
  };
  int n_;
  std::unique_ptr<float, BufferDeleter> in_;
  std::unique_ptr<float, BufferDeleter> out_;
  std::unique_ptr<void, PlanDeleter> plan_;
};

// Decibel value of a power: trunc(10 log10(p)), -20 when p is 0.
int32_t PowerToDecibels(double power);

// The classic integer HLS conversion with 140 as the maximum of hue, lightness
// and saturation; the result is r | g << 8 | b << 16 (each channel clamped to
// 0 ... 255).
uint32_t HlsToRgb(int hue, int lightness, int saturation);

// The 100 colours of the bright or dark palette as stored pixels: the HLS
// result with alpha 255 in the top byte, so a pixel's blue channel receives r.
std::array<uint32_t, 100> SpectralPalette(bool bright, int spectralLow, int spectralHigh);

// Writes one channel's band of a spectral image: rows [bandTop, bandTop + h),
// one column per entry of `columns` (each N/2 + 1 decibel values).
void PaintSpectralBand(Bitmap& image, int bandTop, int height, int n,
                       const std::vector<std::vector<int32_t>>& columns,
                       const std::array<uint32_t, 100>& palette);

}  // namespace qel::view
