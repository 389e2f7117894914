#include "pcm/dither.h"

#include <cmath>
#include <cstring>
#include <memory>

#include "pcm/dither_random.h"
#include "pcm/pcm_format.h"
#include "pcm/rounding.h"
#include "pcm/sample_io.h"

namespace PCM_CODEC {

namespace {

// Error-feedback filters: set 1 is a 9-tap perceptually weighted curve, set 2 a
// symmetric one with a gentler rise.
constexpr CDither::ShapingSet kShapingSet1 = {2.412,  -3.37, 3.937,  -4.174, 3.353,
                                              -2.205, 1.281, -0.569, 0.0847};
constexpr CDither::ShapingSet kShapingSet2 = {
    0.14406479065657,  -0.57757701897693, 1.26274452380826,  -1.91943925162854, 2.19234882985939,
    -1.91943925162854, 1.26274452380826,  -0.57757701897693, 0.14406479065657};

std::unique_ptr<DITHERNG::RandomNumber> MakeGenerator(std::int32_t type, int sampleRate) {
  switch (type) {
    case 0:
      return std::make_unique<DITHERNG::TriangleRandom>();
    case 2:
      return std::make_unique<DITHERNG::UniformRandom>();
    case 3:
      return std::make_unique<DITHERNG::ColoredRandom>(sampleRate);
    default:
      return std::make_unique<DITHERNG::GaussRandom>();
  }
}

// Input sample normalised to -1…1 from its whole-byte container.
template <int Bytes>
double ReadNormalised(const std::uint8_t* p) {
  constexpr double kScale = static_cast<double>(Pcm<Bytes * 8>::kMax) + 1.0;
  return Pcm<Bytes * 8>::Read(p) / (Bytes == 1 ? 128.0 : kScale);
}

template <int OutBits>
void WriteNormalised(std::uint8_t* p, double x) {
  Pcm<OutBits>::Write(p, static_cast<std::int32_t>(RoundHalfEven(x * Pcm<OutBits>::kMax)));
}

}  // namespace

void CDither::SetChannels(std::int32_t channels) {
  channels_ = channels < 1 ? 1 : channels;
  errors_.clear();
}

void CDither::Prepare() {
  if (errors_.size() != static_cast<std::size_t>(channels_)) {
    errors_.assign(static_cast<std::size_t>(channels_), ShapingSet{});
  } else {
    for (auto& e : errors_)
      e.fill(0.0);
  }
  {
    const auto generator = MakeGenerator(type_, sampleRate_);
    noise_.resize(kNoiseTableSize);
    for (double& v : noise_)
      v = generator->Next();
  }
  noiseIndex_ = 0;
  if (shapingType_ == 1) shaping_ = kShapingSet1;
  if (shapingType_ == 2) shaping_ = kShapingSet2;
}

namespace {

struct KernelParams {
  const double* noise;
  std::uint32_t index;
  double ditherScale;
  double q;
  double invOutScale;
  CDither::ShapingSet c;
  std::size_t inStride;
  std::size_t outStride;
};

// Requantises G channels side by side (their error-feedback chains are
// independent, so the processor overlaps them). Each history is held in local
// variables; the newest error enters the sum last, which keeps the
// sample-to-sample dependency short.
template <int G, int InBytes, int OutBits, bool Shape, bool Dither, bool Record>
void Requantise(const std::uint8_t* in, std::uint8_t* out, std::size_t frames,
                CDither::ShapingSet* histories, const KernelParams& p) {
  constexpr int kOutBytes = OutBits / 8;
  constexpr int kTaps = CDither::kShapingTaps;
  double e[G][kTaps];
#pragma GCC unroll 2
  for (int g = 0; g < G; ++g) {
#pragma GCC unroll 9
    for (int k = 0; k < kTaps; ++k)
      e[g][k] = histories[g][static_cast<std::size_t>(k)];
  }
  const CDither::ShapingSet c = p.c;
  std::uint32_t index = p.index;
  for (std::size_t t = 0; t < frames; ++t, in += p.inStride, out += p.outStride) {
    const double noise = p.noise[index];
#pragma GCC unroll 2
    for (int g = 0; g < G; ++g) {
      double x = ReadNormalised<InBytes>(in + g * InBytes);
      if constexpr (Shape) {
        double older = c[8] * e[g][8];
#pragma GCC unroll 8
        for (int k = 7; k >= 1; --k)
          older += c[static_cast<std::size_t>(k)] * e[g][k];
        x += older + c[0] * e[g][0];
#pragma GCC unroll 8
        for (int k = kTaps - 1; k >= 1; --k)
          e[g][k] = e[g][k - 1];
      }
      if constexpr (Dither) x += noise * p.ditherScale;
      if constexpr (Record) {
        // Truncation toward zero; |x * q| stays far below 2^63.
        e[g][0] = x - static_cast<double>(static_cast<std::int64_t>(x * p.q)) * p.invOutScale;
      }
      x = x < -1.0 ? -1.0 : (x > 1.0 ? 1.0 : x);
      WriteNormalised<OutBits>(out + g * kOutBytes, x);
    }
    index = (index + 1) & (CDither::kNoiseTableSize - 1);
  }
#pragma GCC unroll 2
  for (int g = 0; g < G; ++g) {
#pragma GCC unroll 9
    for (int k = 0; k < kTaps; ++k)
      histories[g][static_cast<std::size_t>(k)] = e[g][k];
  }
}

template <int InBytes, int OutBits, bool Shape, bool Dither, bool Record>
void RequantiseAll(const std::uint8_t* in, std::uint8_t* out, std::size_t frames, int channels,
                   CDither::ShapingSet* histories, const KernelParams& p) {
  constexpr int kOutBytes = OutBits / 8;
  int ch = 0;
  for (; ch + 2 <= channels; ch += 2) {
    Requantise<2, InBytes, OutBits, Shape, Dither, Record>(in + ch * InBytes, out + ch * kOutBytes,
                                                           frames, histories + ch, p);
  }
  if (ch < channels) {
    Requantise<1, InBytes, OutBits, Shape, Dither, Record>(in + ch * InBytes, out + ch * kOutBytes,
                                                           frames, histories + ch, p);
  }
}

}  // namespace

template <int InBytes, int OutBits>
void CDither::Run(const std::uint8_t* in, std::uint8_t* out, std::size_t frames) {
  const bool narrowing = inBits_ > outBits_;
  KernelParams p;
  p.noise = noise_.data();
  p.index = noiseIndex_;
  p.ditherScale = 0.5 / (std::ldexp(1.0, OutBits - 1) - 1.0);
  p.q = narrowing ? std::ldexp(1.0, outBits_) : std::ldexp(1.0, inBits_ - 1);
  p.invOutScale = std::ldexp(1.0, -outBits_);
  p.c = shaping_;
  p.inStride = static_cast<std::size_t>(InBytes) * static_cast<std::size_t>(channels_);
  p.outStride = static_cast<std::size_t>(OutBits / 8) * static_cast<std::size_t>(channels_);
  ShapingSet* e = errors_.data();
  const bool dither = enabled_ && !noise_.empty();
  // All channels of a frame read the same noise value.
  if (shapingEnabled_) {
    if (narrowing) {
      if (dither) {
        RequantiseAll<InBytes, OutBits, true, true, true>(in, out, frames, channels_, e, p);
      } else {
        RequantiseAll<InBytes, OutBits, true, false, true>(in, out, frames, channels_, e, p);
      }
    } else if (dither) {
      RequantiseAll<InBytes, OutBits, false, true, true>(in, out, frames, channels_, e, p);
    } else {
      RequantiseAll<InBytes, OutBits, false, false, true>(in, out, frames, channels_, e, p);
    }
  } else if (dither) {
    RequantiseAll<InBytes, OutBits, false, true, false>(in, out, frames, channels_, e, p);
  } else {
    RequantiseAll<InBytes, OutBits, false, false, false>(in, out, frames, channels_, e, p);
  }
  noiseIndex_ = static_cast<std::uint32_t>((noiseIndex_ + frames) & (kNoiseTableSize - 1));
}

std::span<const std::uint8_t> CDither::Process(std::span<const std::uint8_t> in) {
  const int inBytes = ContainerBytes(inBits_);
  if (!IsSupportedBits(outBits_) || inBytes < 1 || inBytes > 4) {
    out_.clear();
    return {};
  }
  const std::size_t frames =
      in.size() / static_cast<std::size_t>(inBytes) / static_cast<std::size_t>(channels_);
  if (errors_.size() != static_cast<std::size_t>(channels_)) Prepare();
  out_.resize(frames * static_cast<std::size_t>(channels_) * (outBits_ / 8));
  if (frames == 0) return {};

  const std::uint8_t* src = in.data();
  std::uint8_t* dst = out_.data();
  auto byOutput = [&]<int InBytes>() {
    switch (outBits_) {
      case 8:
        Run<InBytes, 8>(src, dst, frames);
        break;
      case 16:
        Run<InBytes, 16>(src, dst, frames);
        break;
      case 24:
        Run<InBytes, 24>(src, dst, frames);
        break;
      case 32:
        Run<InBytes, 32>(src, dst, frames);
        break;
      default:
        break;
    }
  };
  switch (inBytes) {
    case 1:
      byOutput.operator()<1>();
      break;
    case 2:
      byOutput.operator()<2>();
      break;
    case 3:
      byOutput.operator()<3>();
      break;
    case 4:
      byOutput.operator()<4>();
      break;
    default:
      out_.clear();
      return {};
  }
  return out_;
}

}  // namespace PCM_CODEC
