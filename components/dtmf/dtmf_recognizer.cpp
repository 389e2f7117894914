#include "dtmf_recognizer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <utility>

namespace qel::dtmf {
namespace {

using Complex = std::complex<double>;

// Short enough to time 40 ms tones and breaks, long enough for seven cycles
// of the lowest tone. Such a frame cannot keep neighbouring frequencies apart
// (rows 73 Hz apart spill −9.7 dB into each other), so the spill is modelled
// and taken out rather than tolerated.
constexpr double kFrameMs = 10.0;
// Frequencies above this share of the rate are not analysed (too close to
// the Nyquist frequency for the rate's anti-alias filter).
constexpr double kHighestShareOfRate = 0.45;

constexpr std::array<DtmfRecognizer::Strictness, 4> kStrictness = {{
    // tone, gap, level, twist low/high, dominance, share, 2nd harmonic
    {20, 20, -45, -10, 6, 6, 0.50, -3},
    {30, 20, -40, -8, 4, 8, 0.60, -6},
    {30, 30, -35, -8, 4, 10, 0.70, -8},
    {40, 40, -30, -6, 3, 10, 0.75, -10},
}};

double DbToPower(double db) {
  return std::pow(10.0, db / 10.0);
}

// Σ e^{jθn} for n = 0 … n − 1.
Complex GeometricSum(double theta, int n) {
  Complex sum = 0;
  for (int i = 0; i < n; ++i)
    sum += std::polar(1.0, theta * i);
  return sum;
}

// Gauss–Jordan with partial pivoting; the matrices here are well conditioned
// (two distinct frequencies, each well inside the band).
std::array<double, 16> Invert4(std::array<double, 16> m) {
  std::array<double, 16> inv{};
  for (size_t i = 0; i < 4; ++i)
    inv[i * 5] = 1.0;
  for (size_t col = 0; col < 4; ++col) {
    size_t pivot = col;
    for (size_t r = col + 1; r < 4; ++r) {
      if (std::abs(m[r * 4 + col]) > std::abs(m[pivot * 4 + col])) pivot = r;
    }
    for (size_t k = 0; k < 4; ++k) {
      std::swap(m[col * 4 + k], m[pivot * 4 + k]);
      std::swap(inv[col * 4 + k], inv[pivot * 4 + k]);
    }
    const double p = m[col * 4 + col];
    for (size_t k = 0; k < 4; ++k) {
      m[col * 4 + k] /= p;
      inv[col * 4 + k] /= p;
    }
    for (size_t r = 0; r < 4; ++r) {
      if (r == col) continue;
      const double f = m[r * 4 + col];
      for (size_t k = 0; k < 4; ++k) {
        m[r * 4 + k] -= f * m[col * 4 + k];
        inv[r * 4 + k] -= f * inv[col * 4 + k];
      }
    }
  }
  return inv;
}

// Frames of interleaved little-endian PCM to mono samples in [−1, 1).
template <int kBytes>
void ToMono(const uint8_t* p, size_t frames, int channels, double* out) {
  constexpr double kScale = 1.0 / static_cast<double>(int64_t{1} << (8 * kBytes - 1));
  const double average = kScale / channels;
  for (size_t f = 0; f < frames; ++f) {
    int64_t sum = 0;
    for (int c = 0; c < channels; ++c, p += kBytes) {
      if constexpr (kBytes == 1) {
        sum += int64_t{p[0]} - 128;
      } else if constexpr (kBytes == 2) {
        sum += static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
      } else if constexpr (kBytes == 3) {
        const uint32_t u = uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16);
        sum += static_cast<int32_t>(u << 8) >> 8;
      } else {
        int32_t v = 0;
        std::memcpy(&v, p, 4);  // little-endian host
        sum += v;
      }
    }
    out[f] = static_cast<double>(sum) * average;
  }
}

}  // namespace

DtmfRecognizer::Strictness DtmfRecognizer::StrictnessOf(int quality) {
  return kStrictness[static_cast<size_t>(std::clamp(quality, 0, 3))];
}

DtmfRecognizer::Spill DtmfRecognizer::MakeSpill(double sourceHz, double targetHz) const {
  const double ws = 2.0 * std::numbers::pi * sourceHz / rate_;
  const double wt = 2.0 * std::numbers::pi * targetHz / rate_;
  // Σ Re(a·e^{jω_s·n})·e^{−jω_t·n} = (a·D + a*·M)/2 over the frame.
  const Complex d = GeometricSum(ws - wt, frameLength_);
  const Complex m = GeometricSum(-ws - wt, frameLength_);
  return {(d.real() + m.real()) / 2, (m.imag() - d.imag()) / 2, (d.imag() + m.imag()) / 2,
          (d.real() - m.real()) / 2};
}

DtmfRecognizer::Bin DtmfRecognizer::MakeBin(double hz) const {
  Bin bin;
  bin.hz = hz;
  bin.usable = hz < kHighestShareOfRate * rate_;
  const double omega = 2.0 * std::numbers::pi * hz / rate_;
  bin.coefficient = 2.0 * std::cos(omega);
  bin.lastTap = std::polar(1.0, -omega);
  bin.toDft = std::polar(1.0, -omega * (frameLength_ - 1));
  // The inverse of the sinusoid's own spill: exact amplitudes even where a
  // frame holds few cycles and the negative frequency shows.
  const Spill m = MakeSpill(hz, hz);
  const double det = m[0] * m[3] - m[1] * m[2];
  bin.inverse = {m[3] / det, -m[1] / det, -m[2] / det, m[0] / det};
  return bin;
}

void DtmfRecognizer::Start(double sampleRate, int channels, int bitsPerSample, int method,
                           int quality) {
  rate_ = std::isfinite(sampleRate) && sampleRate > 0 ? sampleRate : 8000;
  channels_ = std::max(1, channels);
  bytesPerSample_ =
      (bitsPerSample == 8 || bitsPerSample == 16 || bitsPerSample == 24 || bitsPerSample == 32)
          ? bitsPerSample / 8
          : 2;
  frameLength_ = std::max(8, static_cast<int>(std::lround(kFrameMs * rate_ / 1000.0)));
  hop_ =
      method >= 1 ? std::max(1, static_cast<int>(std::lround(frameLength_ / 2.0))) : frameLength_;
  strictness_ = StrictnessOf(quality);
  // A run of r frames spans (r − 1)·hop + N samples; the gap counts frames.
  const double toneSamples = strictness_.toneMs * rate_ / 1000.0;
  const double gapSamples = strictness_.gapMs * rate_ / 1000.0;
  toneFrames_ =
      1 + std::max(0, static_cast<int>(std::ceil((toneSamples - frameLength_) / hop_ - 1e-9)));
  gapFrames_ = std::max(1, static_cast<int>(std::ceil(gapSamples / hop_ - 1e-9)));

  for (size_t i = 0; i < 4; ++i) {
    fundamentals_[i] = MakeBin(kRowHz[i]);
    fundamentals_[i + 4] = MakeBin(kColumnHz[i]);
  }
  for (size_t i = 0; i < 8; ++i)
    harmonics_[i] = MakeBin(2.0 * fundamentals_[i].hz);
  for (size_t t = 0; t < 8; ++t) {
    for (size_t f = 0; f < 8; ++f) {
      spillToFundamental_[t][f] = MakeSpill(fundamentals_[f].hz, fundamentals_[t].hz);
      spillToHarmonic_[t][f] = MakeSpill(fundamentals_[f].hz, harmonics_[t].hz);
    }
  }
  for (size_t r = 0; r < 4; ++r) {
    for (size_t c = 4; c < 8; ++c) {
      // Both tones spill into both bins: [X_r; X_c] = [S_rr S_rc; S_cr S_cc]·[a_r; a_c].
      std::array<double, 16> m{};
      const std::array<size_t, 2> at = {r, c};
      for (size_t i = 0; i < 2; ++i) {
        for (size_t j = 0; j < 2; ++j) {
          const Spill& block = spillToFundamental_[at[i]][at[j]];
          for (size_t k = 0; k < 4; ++k)
            m[(2 * i + k / 2) * 4 + 2 * j + k % 2] = block[k];
        }
      }
      pairInverse_[r * 4 + (c - 4)] = Invert4(m);
    }
  }

  carry_.clear();
  samples_.clear();
  sampleBase_ = 0;
  received_ = 0;
  nextFrame_ = 0;
  candidate_ = -1;
  run_ = 0;
  runStart_ = 0;
  last_ = -1;
  armed_ = true;
  gap_ = 0;
  detections_.clear();
  finished_ = false;
}

std::vector<DtmfDetection> DtmfRecognizer::TakeDetections() {
  return std::exchange(detections_, {});
}

void DtmfRecognizer::Process(std::span<const uint8_t> interleavedPcm) {
  if (finished_) return;
  Append(interleavedPcm);
  AnalyseReadyFrames();
}

void DtmfRecognizer::Append(std::span<const uint8_t> bytes) {
  const size_t align = static_cast<size_t>(bytesPerSample_ * channels_);
  auto convert = [&](const uint8_t* p, size_t frames) {
    const size_t at = samples_.size();
    samples_.resize(at + frames);
    double* out = samples_.data() + at;
    switch (bytesPerSample_) {
      case 1:
        ToMono<1>(p, frames, channels_, out);
        break;
      case 3:
        ToMono<3>(p, frames, channels_, out);
        break;
      case 4:
        ToMono<4>(p, frames, channels_, out);
        break;
      default:
        ToMono<2>(p, frames, channels_, out);
        break;
    }
    received_ += static_cast<int64_t>(frames);
  };
  if (!carry_.empty()) {
    const size_t take = std::min(align - carry_.size(), bytes.size());
    carry_.insert(carry_.end(), bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(take));
    bytes = bytes.subspan(take);
    if (carry_.size() < align) return;
    convert(carry_.data(), 1);
    carry_.clear();
  }
  const size_t frames = bytes.size() / align;
  convert(bytes.data(), frames);
  carry_.assign(bytes.begin() + static_cast<ptrdiff_t>(frames * align), bytes.end());
}

void DtmfRecognizer::AnalyseReadyFrames() {
  const auto n = static_cast<int64_t>(frameLength_);
  while (nextFrame_ + n <= sampleBase_ + static_cast<int64_t>(samples_.size())) {
    Decide(Classify(samples_.data() + (nextFrame_ - sampleBase_)), nextFrame_);
    nextFrame_ += hop_;
  }
  const int64_t drop =
      std::min<int64_t>(nextFrame_ - sampleBase_, static_cast<int64_t>(samples_.size()));
  samples_.erase(samples_.begin(), samples_.begin() + static_cast<ptrdiff_t>(drop));
  sampleBase_ += drop;
}

void DtmfRecognizer::Finish() {
  // Frames that begin before the end still hold a tone's last samples: they
  // are analysed completed with silence.
  const auto n = static_cast<int64_t>(frameLength_);
  while (nextFrame_ < received_) {
    const auto needed = static_cast<size_t>(nextFrame_ + n - sampleBase_);
    if (samples_.size() < needed) samples_.resize(needed, 0.0);
    AnalyseReadyFrames();
  }
  samples_.clear();
  carry_.clear();
  finished_ = true;
}

Complex DtmfRecognizer::Dft(const Bin& bin, const double* x) const {
  double s1 = 0, s2 = 0;
  const double c = bin.coefficient;
  for (int i = 0; i < frameLength_; ++i) {
    const double s0 = x[i] + c * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  // Goertzel gives Σ x[n]·e^{jω(N−1−n)}; turn it into Σ x[n]·e^{−jωn}.
  return bin.toDft * (s1 - bin.lastTap * s2);
}

Complex DtmfRecognizer::Apply(const std::array<double, 4>& m, Complex z) {
  return {m[0] * z.real() + m[1] * z.imag(), m[2] * z.real() + m[3] * z.imag()};
}

int DtmfRecognizer::Classify(const double* x) const {
  const int n = frameLength_;
  // The eight Goertzel filters in one pass over the frame.
  std::array<double, 8> c{}, s1{}, s2{};
  for (size_t b = 0; b < 8; ++b)
    c[b] = fundamentals_[b].coefficient;
  double energy = 0;
  for (int i = 0; i < n; ++i) {
    const double v = x[i];
    energy += v * v;
    for (size_t b = 0; b < 8; ++b) {
      const double s0 = v + c[b] * s1[b] - s2[b];
      s2[b] = s1[b];
      s1[b] = s0;
    }
  }
  const double meanSquare = energy / n;
  if (!(meanSquare > 1e-20)) return -1;

  std::array<Complex, 8> dft{};
  std::array<double, 8> single{};  // squared peak amplitude of a lone tone in each bin
  for (size_t b = 0; b < 8; ++b) {
    const Bin& bin = fundamentals_[b];
    if (!bin.usable) continue;
    dft[b] = bin.toDft * (s1[b] - bin.lastTap * s2[b]);
    single[b] = std::norm(Apply(bin.inverse, dft[b]));
  }
  const auto row =
      static_cast<size_t>(std::max_element(single.begin(), single.begin() + 4) - single.begin());
  const auto column =
      static_cast<size_t>(std::max_element(single.begin() + 4, single.end()) - single.begin());
  if (!fundamentals_[row].usable || !fundamentals_[column].usable) return -1;

  // Both tones' amplitudes at once, each freed of the other's spill.
  const auto& inverse = pairInverse_[row * 4 + (column - 4)];
  const std::array<double, 4> v = {dft[row].real(), dft[row].imag(), dft[column].real(),
                                   dft[column].imag()};
  std::array<double, 4> u{};
  for (size_t i = 0; i < 4; ++i) {
    for (size_t j = 0; j < 4; ++j)
      u[i] += inverse[i * 4 + j] * v[j];
  }
  const Complex ar(u[0], u[1]), ac(u[2], u[3]);
  const double pr = std::norm(ar), pc = std::norm(ac);

  const Strictness& s = strictness_;
  if (pr < DbToPower(s.minDbfs) || pc < DbToPower(s.minDbfs)) return -1;
  const double twist = pr / pc;
  if (twist < DbToPower(s.twistLowDb) || twist > DbToPower(s.twistHighDb)) return -1;
  // A sinusoid of peak amplitude A has mean square A²/2.
  if ((pr + pc) / 2.0 < s.energyShare * meanSquare) return -1;
  // What the two tones leave in the other bins: a third tone (or the two
  // tones lying off their nominal frequencies) shows there.
  const double dominance = DbToPower(s.dominanceDb);
  for (size_t b = 0; b < 8; ++b) {
    if (b == row || b == column || !fundamentals_[b].usable) continue;
    const Complex rest =
        dft[b] - Apply(spillToFundamental_[b][row], ar) - Apply(spillToFundamental_[b][column], ac);
    const double p = std::norm(Apply(fundamentals_[b].inverse, rest));
    if (p * dominance > (b < 4 ? pr : pc)) return -1;
  }
  // Voiced speech carries harmonics; DTMF tones do not.
  const double harmonicLimit = DbToPower(s.harmonicDb);
  for (const size_t f : {row, column}) {
    const Bin& bin = harmonics_[f];
    if (!bin.usable) continue;
    const Complex rest =
        Dft(bin, x) - Apply(spillToHarmonic_[f][row], ar) - Apply(spillToHarmonic_[f][column], ac);
    const double p = std::norm(Apply(bin.inverse, rest));
    if (p > (f < 4 ? pr : pc) * harmonicLimit) return -1;
  }
  return SymbolAt(static_cast<int>(row), static_cast<int>(column) - 4);
}

void DtmfRecognizer::Decide(int symbol, int64_t frameStart) {
  if (symbol == candidate_) {
    ++run_;
  } else {
    candidate_ = symbol;
    run_ = 1;
    runStart_ = frameStart;
  }
  if (!armed_) {
    // Any frame without the last reported symbol counts towards the gap; a
    // frame with it again means the same key is still down.
    if (symbol == last_) {
      gap_ = 0;
    } else if (++gap_ >= gapFrames_) {
      armed_ = true;
    }
  }
  if (symbol >= 0 && armed_ && run_ >= toneFrames_) {
    detections_.push_back({symbol, runStart_});
    last_ = symbol;
    armed_ = false;
    gap_ = 0;
  }
}

}  // namespace qel::dtmf
