#include "pcm/mixer.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "pcm/pcm_format.h"
#include "pcm/rounding.h"
#include "pcm/sample_io.h"

namespace PCM_CODEC {

namespace {

constexpr double kSqrt2 = 1.4142135623730951;

bool IsSurround(int speaker) {
  return speaker == kBackLeft || speaker == kBackRight || speaker == kBackCenter ||
         speaker == kSideLeft || speaker == kSideRight;
}

// Full scale of a sample size as the mixer sees it: 24-bit material is mixed in
// the 32-bit scale.
double FullScale(int bits) {
  switch (bits) {
    case 8:
      return 127.0;
    case 16:
      return 32767.0;
    default:
      return 2147483647.0;
  }
}

template <int Bits>
void Deinterleave(const std::uint8_t* in, std::size_t frames, int channels,
                  std::vector<std::vector<double>>& x) {
  constexpr std::size_t kBytes = Bits / 8;
  const std::size_t stride = kBytes * static_cast<std::size_t>(channels);
  for (int c = 0; c < channels; ++c) {
    double* dst = x[static_cast<std::size_t>(c)].data();
    const std::uint8_t* src = in + static_cast<std::size_t>(c) * kBytes;
    for (std::size_t t = 0; t < frames; ++t, src += stride)
      dst[t] = Pcm<Bits>::ReadWide(src);
  }
}

template <int Bits>
void Interleave(const std::vector<std::vector<double>>& y, std::size_t frames, int channels,
                std::uint8_t* out) {
  constexpr std::size_t kBytes = Bits / 8;
  const std::size_t stride = kBytes * static_cast<std::size_t>(channels);
  const double full = FullScale(Bits);
  for (int c = 0; c < channels; ++c) {
    const double* src = y[static_cast<std::size_t>(c)].data();
    std::uint8_t* dst = out + static_cast<std::size_t>(c) * kBytes;
    for (std::size_t t = 0; t < frames; ++t, dst += stride) {
      const double v = std::clamp(src[t], -full, full);
      if constexpr (Bits == 24) {
        const std::int64_t r = std::min<std::int64_t>(RoundHalfEven(v / 256.0), 8388607);
        Pcm<24>::Write(dst, static_cast<std::int32_t>(r));
      } else if constexpr (Bits == 32) {
        const std::int64_t r = std::min<std::int64_t>(RoundHalfEven(v), 2147483647);
        Pcm<32>::Write(dst, static_cast<std::int32_t>(r));
      } else {
        Pcm<Bits>::Write(dst, static_cast<std::int32_t>(RoundHalfEven(v)));
      }
    }
  }
}

template <class F>
void ForBits(int bits, F&& f) {
  DispatchBits(bits, std::forward<F>(f));
}

}  // namespace

double GainPresetDb(std::int32_t preset, int speaker) {
  const bool centre = speaker == kFrontCenter;
  const bool surround = IsSurround(speaker);
  switch (preset) {
    case 1:  // softer centre
      return centre ? -3.0 : 0.0;
    case 2:
      return centre ? -6.0 : 0.0;
    case 3:  // softer surrounds
      return surround ? -3.0 : 0.0;
    case 4:
      return surround ? -6.0 : 0.0;
    case 5:  // both
      return centre || surround ? -3.0 : 0.0;
    case 6:  // low-frequency channel at the consumer reference, 10 dB down
      return speaker == kLowFrequency ? -10.0 : 0.0;
    case 7:  // dialogue lift
      return centre ? 3.0 : 0.0;
    default:
      return 0.0;
  }
}

double DelayPresetMs(std::int32_t preset, int speaker) {
  if (!IsSurround(speaker) || preset < 1 || preset > 4) return 0.0;
  return 5.0 + 5.0 * preset;  // 10, 15, 20, 25 ms
}

CMixer::CMixer() : m_(std::make_unique<GainMatrix>()) {
  fixedGain_.fill(1.0);
  presetGain_.fill(1.0);
  SetInput(0x3, 2);
  SetOutput(0x3, 2);
}

CMixer::~CMixer() = default;

void CMixer::SetListenerOffset(std::int32_t x, std::int32_t y) {
  listener_.x = std::clamp(x, -100, 100);
  listener_.y = std::clamp(y, -100, 100);
  positionalDirty_ = true;
}

void CMixer::SetRoom(std::int32_t width, std::int32_t height) {
  const double w = width;
  const double h = height;
  const double diagonal = std::min(std::sqrt(w * w + h * h), static_cast<double>(INT_MAX));
  diagonal_ = std::max(1, static_cast<int>(diagonal));
  if (height > 0) {
    const double aspect = w / h;
    if (std::abs(aspect) >= 0.001) aspect_ = aspect;
  }
  positionalDirty_ = true;
}

Room CMixer::RoomShape() const {
  const double a = std::abs(aspect_);
  Room r;
  r.height = diagonal_ / std::sqrt(1.0 + a * a);
  r.width = a * r.height;
  return r;
}

void CMixer::SetInput(std::uint32_t mask, int channels) {
  in_.mask = mask;
  in_.channels = std::clamp(channels, 1, kMaxChannels);
  in_.speakers = SpeakersOf(mask, in_.channels);
  in_.set = 0;
  for (int s : in_.speakers)
    in_.set |= std::uint64_t{1} << s;
}

void CMixer::SetOutput(std::uint32_t mask, int channels) {
  out_.mask = mask;
  out_.channels = std::clamp(channels, 1, kMaxChannels);
  positionalDirty_ = true;
  out_.speakers = SpeakersOf(mask, out_.channels);
  out_.set = 0;
  for (int s : out_.speakers)
    out_.set |= std::uint64_t{1} << s;
}

void CMixer::Set(int out, int in, double value) {
  (*m_)[static_cast<std::size_t>(out)][static_cast<std::size_t>(in)] = value;
  ruleSet_ = true;
}

double CMixer::Coefficient(int out, int in) const {
  if (out < 0 || in < 0 || out >= kMatrixSize || in >= kMatrixSize) return 0.0;
  return (*m_)[static_cast<std::size_t>(out)][static_cast<std::size_t>(in)];
}

double CMixer::SpeakerDelayMs(int speaker) const {
  if (speaker < 0 || speaker >= kMatrixSize) return 0.0;
  const auto s = static_cast<std::size_t>(speaker);
  return presetDelayMs_[s] + calibration_.delayMs[s];
}

double CMixer::SpeakerGain(int speaker) const {
  if (speaker < 0 || speaker >= kMatrixSize) return 1.0;
  const auto s = static_cast<std::size_t>(speaker);
  return fixedGain_[s] * presetGain_[s];
}

// Plain copies of the front channels into the speakers the input lacks.
bool CMixer::ApplyAsIsRules() {
  const Layout& i = in_;
  const Layout& o = out_;
  auto missing = [&](int s) { return o.Has(s) && !i.Has(s); };
  const bool before = ruleSet_;
  ruleSet_ = false;
  if (i.Has(kFrontLeft) && i.Has(kFrontRight)) {
    if (missing(kFrontCenter)) {
      Set(kFrontCenter, kFrontLeft, kG);
      Set(kFrontCenter, kFrontRight, kG);
    }
    if (missing(kBackCenter)) {
      Set(kBackCenter, kFrontLeft, kG);
      Set(kBackCenter, kFrontRight, kG);
    }
    if (missing(kBackLeft)) Set(kBackLeft, kFrontLeft, 1.0);
    if (missing(kBackRight)) Set(kBackRight, kFrontRight, 1.0);
    if (missing(kSideLeft)) Set(kSideLeft, kFrontLeft, 1.0);
    if (missing(kSideRight)) Set(kSideRight, kFrontRight, 1.0);
  } else if (i.Has(kFrontLeft)) {
    for (int s : {kFrontCenter, kBackCenter, kBackLeft, kBackRight, kSideLeft, kSideRight}) {
      if (missing(s)) Set(s, kFrontLeft, 1.0);
    }
  }
  const bool any = ruleSet_;
  ruleSet_ = before || any;
  return any;
}

// Matrix decoding rules; later rules may overwrite what earlier ones set.
bool CMixer::ApplyStandardRules() {
  const Layout& i = in_;
  const Layout& o = out_;
  const bool before = ruleSet_;
  ruleSet_ = false;

  // Mono output.
  if (o.Has(kFrontLeft) && !o.Has(kFrontRight) && !o.Has(kFrontCenter)) {
    if (i.Has(kFrontLeft) && i.Has(kFrontRight)) {
      Set(kFrontLeft, kFrontLeft, kG);
      Set(kFrontLeft, kFrontRight, kG);
    }
    if (i.Has(kFrontCenter)) Set(kFrontLeft, kFrontCenter, kSqrt2);
    if (i.Has(kBackCenter)) {
      Set(kFrontLeft, kBackCenter, kG);
    } else if (i.Has(kBackLeft) && i.Has(kBackRight)) {
      Set(kFrontLeft, kBackLeft, kG);
      Set(kFrontLeft, kBackRight, kG);
    } else if (i.Has(kSideLeft) && i.Has(kSideRight)) {
      Set(kFrontLeft, kSideLeft, kG);
      Set(kFrontLeft, kSideRight, kG);
    }
  }
  // Front pair output.
  if (o.Has(kFrontLeft) && o.Has(kFrontRight)) {
    if (i.Has(kFrontLeft) && !i.Has(kFrontRight)) {
      Set(kFrontLeft, kFrontLeft, kG);
      Set(kFrontRight, kFrontLeft, kG);
    } else if (i.Has(kFrontCenter) && !o.Has(kFrontCenter)) {
      Set(kFrontLeft, kFrontCenter, kG);
      Set(kFrontRight, kFrontCenter, kG);
    }
  }
  // Centre output.
  if (o.Has(kFrontCenter)) {
    if (i.Has(kFrontLeft) && !i.Has(kFrontRight)) {
      Set(kFrontCenter, kFrontLeft, kG);
    } else if (i.Has(kFrontLeft) && i.Has(kFrontRight) && !i.Has(kFrontCenter)) {
      Set(kFrontCenter, kFrontLeft, kG);
      Set(kFrontCenter, kFrontRight, kG);
    }
  }
  // A single back centre input.
  if (i.Has(kBackCenter) && !i.Has(kBackLeft) && !i.Has(kBackRight)) {
    if (!o.Has(kBackLeft) && !o.Has(kBackRight) && !o.Has(kBackCenter)) {
      Set(kFrontLeft, kBackCenter, -kG);
      Set(kFrontRight, kBackCenter, kG);
    }
    if (o.Has(kBackLeft) && o.Has(kBackRight) && !o.Has(kBackCenter)) {
      Set(kBackLeft, kBackCenter, kG);
      Set(kBackRight, kBackCenter, kG);
    }
    if (o.Has(kSideLeft) && o.Has(kSideRight) && !o.Has(kBackCenter)) {
      Set(kSideLeft, kBackCenter, kG);
      Set(kSideRight, kBackCenter, kG);
    }
  }
  // A back pair input.
  if (i.Has(kBackLeft) && i.Has(kBackRight) && !i.Has(kBackCenter)) {
    if (!o.Has(kBackCenter) && !o.Has(kBackLeft) && !o.Has(kBackRight)) {
      Set(kFrontLeft, kBackLeft, 1.0);
      Set(kFrontRight, kBackRight, 1.0);
    } else if (o.Has(kBackCenter) && !o.Has(kBackLeft) && !o.Has(kBackRight)) {
      Set(kBackCenter, kBackLeft, kG);
      Set(kBackCenter, kBackRight, kG);
    } else if (o.Has(kSideLeft) && o.Has(kSideRight)) {
      Set(kSideLeft, kBackLeft, 1.0);
      Set(kSideRight, kBackRight, 1.0);
    }
  }
  // Surround from a front-only input.
  if (!i.Has(kBackLeft) && !i.Has(kBackRight) && !i.Has(kBackCenter)) {
    const bool pair = i.Has(kFrontLeft) && i.Has(kFrontRight);
    const bool left = i.Has(kFrontLeft) && !i.Has(kFrontRight);
    if (o.Has(kBackCenter)) {
      if (pair) {
        Set(kBackCenter, kFrontLeft, 1.2589254117941673);
        Set(kBackCenter, kFrontRight, -1.2589254117941673);
      } else if (left) {
        Set(kBackCenter, kFrontLeft, 1.0);
      }
    } else if (o.Has(kBackLeft) && o.Has(kBackRight)) {
      const bool sides = o.Has(kSideLeft) && o.Has(kSideRight);
      if (pair) {
        Set(kBackLeft, kFrontLeft, 1.1220184543019633);
        Set(kBackLeft, kFrontRight, -0.5610092271509817);
        Set(kBackRight, kFrontLeft, 0.5610092271509817);
        Set(kBackRight, kFrontRight, -1.1220184543019633);
        if (sides) {
          Set(kSideLeft, kFrontLeft, 1.0);
          Set(kSideLeft, kFrontRight, -0.5);
          Set(kSideRight, kFrontLeft, -0.5);
          Set(kSideRight, kFrontRight, 1.0);
        }
      } else if (left) {
        Set(kBackLeft, kFrontLeft, 1.0);
        Set(kBackRight, kFrontLeft, 1.0);
        if (sides) {
          Set(kSideLeft, kFrontLeft, 1.0);
          Set(kSideRight, kFrontLeft, 1.0);
        }
      }
    }
  }
  const bool any = ruleSet_;
  ruleSet_ = before || any;
  return any;
}

void CMixer::ComputeMatrix() {
  for (auto& row : *m_)
    row.fill(0.0);
  ruleSet_ = false;
  positional_ = false;
  deriveLfe_ = false;

  // Speakers both sides have pass straight through.
  for (int k : {kFrontLeft, kFrontRight, kFrontCenter, kBackLeft, kBackRight, kBackCenter,
                kSideLeft, kSideRight}) {
    if (in_.Has(k) && out_.Has(k))
      (*m_)[static_cast<std::size_t>(k)][static_cast<std::size_t>(k)] = 1.0;
  }
  // The rules look at the layouts without the low-frequency speaker.
  const std::uint64_t lfeBit = std::uint64_t{1} << kLowFrequency;
  const bool lfeIn = in_.Has(kLowFrequency);
  const bool lfeOut = out_.Has(kLowFrequency);
  const std::uint64_t inRest = in_.set & ~lfeBit;
  const std::uint64_t outRest = out_.set & ~lfeBit;

  // Decoding or copying rules when the layouts differ; when only the channel
  // count does, the plain mono and stereo cases.
  bool rules = false;
  if (inRest != outRest) {
    if (asIs_) rules = ApplyAsIsRules();
    if (!rules) rules = ApplyStandardRules();
  } else if (in_.channels != out_.channels) {
    if (in_.channels == 1) {
      Set(kFrontRight, kFrontLeft, 1.0);
      Set(kFrontRight, kFrontRight, 0.0);
      rules = true;
    }
    if (out_.channels == 1) {
      Set(kFrontLeft, kFrontLeft, 0.5);
      Set(kFrontLeft, kFrontRight, 0.5);
      rules = true;
    }
  }
  // Low frequency: passed on, dropped, or derived from the other channels.
  if (lfeIn) {
    (*m_)[kLowFrequency][kLowFrequency] = lfeOut ? 1.0 : 0.0;
  } else if (lfeEnabled_ && lfeOut && in_.Has(kFrontLeft)) {
    deriveLfe_ = true;
    (*m_)[kLowFrequency][kLowFrequency] = 1.0;
  }
  // Layouts no rule knows: place the sources by where their speakers stand.
  if (!rules) {
    FillPositionalMatrix(*m_, in_.speakers, out_.speakers, RoomShape(), listener_);
    positional_ = true;
  }

  // Speaker factors and delays.
  if (positionalDirty_) {
    calibration_ = Calibrate(out_.speakers, RoomShape(), listener_);
    positionalDirty_ = false;
  }
  for (int s = 0; s < kMatrixSize; ++s) {
    const auto k = static_cast<std::size_t>(s);
    fixedGain_[k] = calibration_.gain[k];
    const bool weighted = s <= kSideRight && s != kFrontLeftOfCenter && s != kFrontRightOfCenter;
    presetGain_[k] = weighted ? std::pow(10.0, GainPresetDb(gainPreset_, s) / 20.0) : 1.0;
    presetDelayMs_[k] = DelayPresetMs(delayPreset_, s);
  }

  // Signal state for a new conversion.
  lfe_.Design(lfeFrequency_, sampleRate_);
  lfe_.Reset();
  delays_.assign(static_cast<std::size_t>(out_.channels), CDelayLine{});
  delaysActive_ = false;
  for (int c = 0; c < out_.channels; ++c) {
    const double ms = SpeakerDelayMs(out_.speakers[static_cast<std::size_t>(c)]);
    if (std::abs(ms) >= 0.001) {
      delaysActive_ = true;
      delays_[static_cast<std::size_t>(c)].SetDelay(
          static_cast<std::size_t>(std::lround(std::max(0.0, ms) * sampleRate_ / 1000.0)));
    }
  }
  reverb_ = FindReverbPreset(reverbPreset_);
  reverbs_.clear();
  if (reverb_) {
    // The reverb runs on the side with fewer channels.
    const int channels = std::min(in_.channels, out_.channels);
    reverbs_.resize(static_cast<std::size_t>(channels));
    for (int c = 0; c < channels; ++c) {
      reverbs_[static_cast<std::size_t>(c)].Configure(*reverb_, sampleRate_, c);
    }
  }
}

std::span<const std::uint8_t> CMixer::Mix(std::span<const std::uint8_t> in, int bits) {
  if (!IsSupportedBits(bits)) return {};
  const std::size_t bytes = static_cast<std::size_t>(bits / 8);
  const int inChannels = in_.channels;
  const int outChannels = out_.channels;
  const std::size_t frames = in.size() / (bytes * static_cast<std::size_t>(inChannels));
  const double full = FullScale(bits);
  const bool same = in_.mask == out_.mask && inChannels == outChannels;
  in = in.first(frames * bytes * static_cast<std::size_t>(inChannels));
  if (same && !delaysActive_ && !reverb_) return in;

  // Work buffers grow to twice the largest block seen and are then reused.
  auto ensure = [&](std::vector<std::vector<double>>& v, std::size_t count) {
    if (v.size() < count) v.resize(count);
    for (auto& b : v) {
      if (b.size() < frames) {
        b.reserve(2 * frames);
        b.resize(frames);
      }
    }
  };
  ensure(y_, static_cast<std::size_t>(outChannels));

  if (same) {
    ForBits(bits, [&]<int Bits>() { Deinterleave<Bits>(in.data(), frames, inChannels, y_); });
    for (std::size_t c = 0; c < reverbs_.size(); ++c)
      reverbs_[c].Process({y_[c].data(), frames});
  } else {
    ensure(x_, static_cast<std::size_t>(inChannels) + 1);
    ForBits(bits, [&]<int Bits>() { Deinterleave<Bits>(in.data(), frames, inChannels, x_); });

    // Sources: every input channel, plus the derived low-frequency channel.
    std::vector<std::pair<int, const double*>> sources;
    sources.reserve(static_cast<std::size_t>(inChannels) + 1);
    for (int c = 0; c < inChannels; ++c) {
      sources.emplace_back(in_.speakers[static_cast<std::size_t>(c)],
                           x_[static_cast<std::size_t>(c)].data());
    }
    if (deriveLfe_) {
      double* lfe = x_[static_cast<std::size_t>(inChannels)].data();
      const double share = 1.0 / inChannels;
      for (std::size_t t = 0; t < frames; ++t) {
        double sum = 0.0;
        for (int c = 0; c < inChannels; ++c)
          sum += x_[static_cast<std::size_t>(c)][t];
        lfe[t] = sum * share;
      }
      lfe_.Process({lfe, frames});
      sources.emplace_back(kLowFrequency, lfe);
    }
    if (reverb_ && outChannels > inChannels) {
      for (std::size_t c = 0; c < reverbs_.size(); ++c)
        reverbs_[c].Process({x_[c].data(), frames});
    }

    // The matrix, then the speaker's calibration and preset level.
    for (int c = 0; c < outChannels; ++c) {
      const int o = out_.speakers[static_cast<std::size_t>(c)];
      const auto& row = (*m_)[static_cast<std::size_t>(o)];
      double* y = y_[static_cast<std::size_t>(c)].data();
      std::fill(y, y + frames, 0.0);
      for (const auto& [speaker, x] : sources) {
        const double g = row[static_cast<std::size_t>(speaker)];
        for (std::size_t t = 0; t < frames; ++t)
          y[t] += g * x[t];
      }
      const double factor =
          fixedGain_[static_cast<std::size_t>(o)] * presetGain_[static_cast<std::size_t>(o)];
      for (std::size_t t = 0; t < frames; ++t)
        y[t] *= factor;
    }

    // Overload: a channel whose overloaded frames are more than 1 % of the block
    // counts at the mean level of those frames; the loudest such channel sets
    // one divisor for the whole block, so the balance between channels stays.
    double loudest = full;
    for (int c = 0; c < outChannels; ++c) {
      const double* y = y_[static_cast<std::size_t>(c)].data();
      std::size_t over = 0;
      double sum = 0.0;
      for (std::size_t t = 0; t < frames; ++t) {
        const double a = std::abs(y[t]);
        if (a > full) {
          ++over;
          sum += a;
        }
      }
      const double level =
          static_cast<double>(over) <= 0.01 * static_cast<double>(frames) ? full : sum / over;
      loudest = std::max(loudest, level);
    }
    const double divisor = std::max(1.0, loudest / full);
    for (int c = 0; c < outChannels; ++c) {
      double* y = y_[static_cast<std::size_t>(c)].data();
      for (std::size_t t = 0; t < frames; ++t)
        y[t] = std::clamp(y[t] / divisor, -full, full);
    }
    if (reverb_ && outChannels <= inChannels) {
      for (std::size_t c = 0; c < reverbs_.size(); ++c)
        reverbs_[c].Process({y_[c].data(), frames});
    }
  }

  if (delaysActive_) {
    for (int c = 0; c < outChannels; ++c) {
      delays_[static_cast<std::size_t>(c)].Process(
          {y_[static_cast<std::size_t>(c)].data(), frames});
    }
  }
  bytes_.resize(frames * bytes * static_cast<std::size_t>(outChannels));
  ForBits(bits, [&]<int Bits>() { Interleave<Bits>(y_, frames, outChannels, bytes_.data()); });
  return bytes_;
}

}  // namespace PCM_CODEC
