#include "view/spectrum.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>

namespace qel::view {

int FftSizeForResolution(int r) {
  if (r < 0) r = 1;
  if (r > 5) r = 5;
  // 16 x 4^(r - 1) = 4^(r + 1)
  return 1 << (2 * (r + 1));
}

std::vector<float> HannWindow(int n) {
  std::vector<float> w(static_cast<size_t>(std::max(n, 0)));
  for (int i = 0; i < n; ++i) {
    const double s = std::sin(M_PI * i / n);
    w[i] = static_cast<float>(s * s);
  }
  return w;
}

float SampleScale(int sampleSize) {
  switch (sampleSize) {
    case 8:
      return 256.0f;
    case 24:
    case 32:
      return 1.5258789e-05f;
    default:
      return 1.0f;
  }
}

void SpectrumAnalyzer::BufferDeleter::operator()(float* p) const {
  fftwf_free(p);
}

void SpectrumAnalyzer::PlanDeleter::operator()(void* p) const {
  fftwf_destroy_plan(static_cast<fftwf_plan>(p));
}

SpectrumAnalyzer::SpectrumAnalyzer(int n) : n_(n) {
  if (n < 2) return;
  in_.reset(fftwf_alloc_real(static_cast<size_t>(n)));
  out_.reset(fftwf_alloc_real(static_cast<size_t>(n)));
  if (!in_ || !out_) return;
  // The half-complex layout: re(k) at k, im(k) at N - k.
  plan_.reset(fftwf_plan_r2r_1d(n, in_.get(), out_.get(), FFTW_R2HC, FFTW_ESTIMATE));
}

SpectrumAnalyzer::~SpectrumAnalyzer() = default;

int32_t PowerToDecibels(double power) {
  if (power <= 0) return -20;
  return static_cast<int32_t>(std::trunc(10.0 * std::log10(power)));
}

void SpectrumAnalyzer::Transform(int32_t* db) {
  if (!plan_) return;
  fftwf_execute(static_cast<fftwf_plan>(plan_.get()));
  const float* out = out_.get();
  const double half = n_ / 2.0;
  db[0] = PowerToDecibels(static_cast<double>(out[0]) * out[0] / half);
  for (int k = 1; k < n_ / 2; ++k) {
    const double re = out[k], im = out[n_ - k];
    db[k] = PowerToDecibels((re * re + im * im) / half);
  }
  db[n_ / 2] = PowerToDecibels(static_cast<double>(out[n_ / 2]) * out[n_ / 2] / half);
}

namespace {

constexpr int kHlsMax = 140;
constexpr int kRgbMax = 255;

int HueToRgb(int n1, int n2, int hue) {
  if (hue < 0) hue += kHlsMax;
  if (hue > kHlsMax) hue -= kHlsMax;
  if (hue < kHlsMax / 6) return n1 + (((n2 - n1) * hue + (kHlsMax / 12)) / (kHlsMax / 6));
  if (hue < kHlsMax / 2) return n2;
  if (hue < (kHlsMax * 2) / 3)
    return n1 + (((n2 - n1) * (((kHlsMax * 2) / 3) - hue) + (kHlsMax / 12)) / (kHlsMax / 6));
  return n1;
}

}  // namespace

uint32_t HlsToRgb(int hue, int lum, int sat) {
  int r, g, b;
  if (sat == 0) {
    r = g = b = (lum * kRgbMax) / kHlsMax;
  } else {
    const int magic2 = lum <= kHlsMax / 2 ? (lum * (kHlsMax + sat) + (kHlsMax / 2)) / kHlsMax
                                          : lum + sat - ((lum * sat) + (kHlsMax / 2)) / kHlsMax;
    const int magic1 = 2 * lum - magic2;
    r = (HueToRgb(magic1, magic2, hue + (kHlsMax / 3)) * kRgbMax + (kHlsMax / 2)) / kHlsMax;
    g = (HueToRgb(magic1, magic2, hue) * kRgbMax + (kHlsMax / 2)) / kHlsMax;
    b = (HueToRgb(magic1, magic2, hue - (kHlsMax / 3)) * kRgbMax + (kHlsMax / 2)) / kHlsMax;
  }
  // Lightness above the maximum (the top of the bright ramp) would leave the
  // byte range; it saturates instead.
  auto byte = [](int v) { return static_cast<uint32_t>(std::clamp(v, 0, 255)); };
  return byte(r) | (byte(g) << 8) | (byte(b) << 16);
}

std::array<uint32_t, 100> SpectralPalette(bool bright, int low, int high) {
  std::array<uint32_t, 100> palette{};
  for (int i = 0; i < 100; ++i) {
    const int hue = static_cast<int>(std::lround((low + 100) - (high - low) * i / 100.0));
    const int lightness = bright ? static_cast<int>(std::lround(i * 1.5 + 10)) : i / 2;
    palette[i] = 0xFF000000u | HlsToRgb(hue, lightness, 140);
  }
  return palette;
}

void PaintSpectralBand(Bitmap& image, int bandTop, int h, int n,
                       const std::vector<std::vector<int32_t>>& columns,
                       const std::array<uint32_t, 100>& palette) {
  if (!image.Valid() || h <= 0 || n < 2) return;
  image.Flush();
  const double rowsPerBin = 2.0 * h / n;
  const int width = std::min(static_cast<int>(columns.size()), image.Width());
  const int bins = n / 2;
  for (int x = 0; x < width; ++x) {
    const std::vector<int32_t>& value = columns[x];
    if (static_cast<int>(value.size()) < bins + 1) continue;
    for (int k = 0; k < bins; ++k) {
      const double slope = k + 1 < bins ? (value[k + 1] - value[k]) / rowsPerBin : 0.0;
      for (int j = 0; j < rowsPerBin; ++j) {
        const int index =
            std::clamp(static_cast<int>(std::trunc(value[k] - 20 + j * slope + 0.5)), 0, 99);
        const int row = std::max(h - static_cast<int>(std::trunc(k * rowsPerBin + j)), 0);
        const int y = bandTop + row;
        if (row < h && y >= 0 && y < image.Height()) image.Row(y)[x] = palette[index];
      }
    }
  }
  image.MarkDirty();
}

}  // namespace qel::view
