#include "generator.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "processors.h"

namespace qel::effects {

std::unique_ptr<Processor> MakeGenerator() {
  return std::make_unique<generators::Generator>();
}

namespace generators {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

bool KnownType(double value) {
  if (!(std::abs(value) <= 100)) return false;
  switch (static_cast<int>(value)) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 5:
    case 6:
    case 7:
    case 8:
    case 9:
      return value == std::floor(value);
    default:
      return false;
  }
}

double DbToGain(double db) {
  return std::pow(10.0, db / 20.0);
}

// Steps a phase in cycles, kept in [0, 1); steps never exceed half a cycle.
inline void Advance(double& phase, double step) {
  phase += step;
  if (phase >= 1.0) phase -= 1.0;
}

}  // namespace

Generator::Generator() {
  params_ = {5, -3, 0, 100, 2, 50, 440, 880, -60, 1000, 0, 0, 1000, 0, 0};
}

bool Generator::SetParam(int index, const ParamValue& value) {
  double number = 0;
  if (index < 1 || index > kParams || !AsNumber(value, number) || !std::isfinite(number)) {
    return false;
  }
  if (index == 1 && !KnownType(number)) return false;
  if (index == 15 && number != 0 && number != 1 && number != 2) return false;
  params_[static_cast<size_t>(index - 1)] = number;
  return true;
}

Generator::Settings Generator::Resolve() const {
  const double rate = setup_.sampleRate;
  const double nyquist = rate / 2;
  Settings s;
  s.type = static_cast<SignalType>(static_cast<int>(Param(1)));
  s.levelDb = std::clamp(Param(2), kMinDb, 0.0);
  s.amplitude = setup_.fullScale * DbToGain(s.levelDb) * std::clamp(Param(4), 0.0, 100.0) / 100.0;
  s.dry = std::clamp(Param(3), 0.0, 100.0) / 100.0;
  s.modulate = Param(11) != 0;
  s.modulationStep = std::clamp(Param(5), 0.0, nyquist) / rate;
  s.modulationDepth = std::clamp(Param(6), 0.0, 100.0) / 100.0;
  s.startStep = std::clamp(Param(7), 0.0, nyquist) / rate;
  s.endStep = std::clamp(Param(8), 0.0, nyquist) / rate;
  s.chirpFrames =
      std::max<int64_t>(1, std::llround(std::clamp(Param(13), 0.0, kMaxMs) * rate / 1000));
  const auto law = static_cast<ChirpLaw>(static_cast<int>(Param(15)));
  s.exponential = law != ChirpLaw::kLinear && s.startStep > 0 && s.endStep > 0;
  if (Param(12) != 0) {
    s.fadeFrames = std::llround(std::clamp(Param(10), 0.0, kMaxMs) * rate / 1000);
    s.fadeDb = std::clamp(Param(9), kMinDb, 0.0) - s.levelDb;
  }
  return s;
}

void Generator::Start(const StreamSetup& setup) {
  setup_ = setup;
  if (!std::isfinite(setup_.sampleRate) || setup_.sampleRate < 1000) setup_.sampleRate = 44100;
  if (!std::isfinite(setup_.fullScale) || setup_.fullScale <= 0) setup_.fullScale = 32768;
  settings_ = Resolve();
  amplitude_.Reset(settings_.amplitude);
  dry_.Reset(settings_.dry);
  glideFrames_ = std::max<int64_t>(1, std::llround(kGlideMs * setup_.sampleRate / 1000));
  phase_ = 0;
  modulationPhase_ = 0;

  const double seed = std::clamp(Param(14), -0x1.0p53, 0x1.0p53);
  white_ = WhiteNoise(static_cast<uint64_t>(std::llround(seed)));
  // The noise filters start in their steady state: run them past their
  // start-up transient on the same seeded source.
  pink_ = PinkFilter();
  brown_ = BrownFilter();
  brown_.Set(kBrownCornerHz, setup_.sampleRate);
  for (int i = 0; i < 20000; ++i)
    pink_.Next(white_.Next());
  for (int64_t i = brown_.SettlingFrames(); i > 0; --i)
    brown_.Next(white_.Next());
  // Uniform white noise on [−1, 1) has variance 1/3.
  pinkScale_ = kNoiseRmsOfPeak / std::sqrt(PinkFilter::PowerGain() / 3.0);
  brownScale_ = kNoiseRmsOfPeak / std::sqrt(brown_.PowerGain() / 3.0);
}

void Generator::Waveform(std::span<double> y, int64_t position) {
  const size_t n = y.size();
  double* out = y.data();
  const double step = settings_.startStep;
  switch (settings_.type) {
    case SignalType::kWhiteNoise:
      for (size_t i = 0; i < n; ++i)
        out[i] = white_.Next();
      break;
    case SignalType::kSilence:
      std::fill(y.begin(), y.end(), 0.0);
      break;
    case SignalType::kPinkNoise:
      for (size_t i = 0; i < n; ++i)
        out[i] = std::clamp(pink_.Next(white_.Next()) * pinkScale_, -1.0, 1.0);
      break;
    case SignalType::kBrownNoise:
      for (size_t i = 0; i < n; ++i)
        out[i] = std::clamp(brown_.Next(white_.Next()) * brownScale_, -1.0, 1.0);
      break;
    case SignalType::kSine:
      for (size_t i = 0; i < n; ++i) {
        out[i] = std::sin(kTwoPi * phase_);
        Advance(phase_, step);
      }
      break;
    case SignalType::kChirp:
      Chirp(y, position);
      break;
    case SignalType::kSquare:
      for (size_t i = 0; i < n; ++i) {
        out[i] = phase_ < 0.5 ? 1.0 : -1.0;
        Advance(phase_, step);
      }
      break;
    case SignalType::kSawtooth:
      // Rises through 0 at phase 0, jumps from +1 to −1 at phase ½.
      for (size_t i = 0; i < n; ++i) {
        const double p = phase_ < 0.5 ? phase_ : phase_ - 1.0;
        out[i] = 2.0 * p;
        Advance(phase_, step);
      }
      break;
    case SignalType::kTriangle:
      // Rises through 0 at phase 0, +1 at ¼, −1 at ¾.
      for (size_t i = 0; i < n; ++i) {
        const double p = phase_ < 0.25 ? phase_ + 0.75 : phase_ - 0.25;
        out[i] = 4.0 * std::abs(p - 0.5) - 1.0;
        Advance(phase_, step);
      }
      break;
  }
}

void Generator::Chirp(std::span<double> y, int64_t position) {
  const Settings& s = settings_;
  const size_t n = y.size();
  double* out = y.data();
  const int64_t sweepLeft = std::max<int64_t>(0, s.chirpFrames - position);
  const size_t sweeping =
      static_cast<size_t>(std::min<int64_t>(sweepLeft, static_cast<int64_t>(n)));
  const double frames = static_cast<double>(s.chirpFrames);
  if (s.exponential) {
    const double logRatio = std::log(s.endStep / s.startStep);
    for (size_t i = 0; i < sweeping; ++i) {
      const double t = static_cast<double>(position + static_cast<int64_t>(i)) / frames;
      out[i] = std::sin(kTwoPi * phase_);
      Advance(phase_, s.startStep * std::exp(logRatio * t));
    }
  } else {
    const double span = s.endStep - s.startStep;
    for (size_t i = 0; i < sweeping; ++i) {
      const double t = static_cast<double>(position + static_cast<int64_t>(i)) / frames;
      out[i] = std::sin(kTwoPi * phase_);
      Advance(phase_, s.startStep + span * t);
    }
  }
  for (size_t i = sweeping; i < n; ++i) {
    out[i] = std::sin(kTwoPi * phase_);
    Advance(phase_, s.endStep);
  }
}

void Generator::ApplyGain(std::span<double> y, int64_t position) {
  const Settings& s = settings_;
  const size_t n = y.size();
  double* out = y.data();

  size_t i = 0;
  for (; i < n && amplitude_.Moving(); ++i)
    out[i] *= amplitude_.Next();
  const double amplitude = amplitude_.value();
  for (; i < n; ++i)
    out[i] *= amplitude;

  if (s.modulate) {
    // 1 at phase 0, down to 1 − depth half a period later.
    const double half = s.modulationDepth / 2;
    for (size_t k = 0; k < n; ++k) {
      out[k] *= 1.0 - half + half * std::cos(kTwoPi * modulationPhase_);
      Advance(modulationPhase_, s.modulationStep);
    }
  }

  if (position < s.fadeFrames) {
    // dB-linear: from fadeDb under the level at frame 0 to the level itself
    // at frame fadeFrames.
    const size_t fading =
        static_cast<size_t>(std::min<int64_t>(s.fadeFrames - position, static_cast<int64_t>(n)));
    const double perFrame = 1.0 / static_cast<double>(s.fadeFrames);
    const double nepers = s.fadeDb * (std::numbers::ln10 / 20.0);
    for (size_t k = 0; k < fading; ++k) {
      const double t = static_cast<double>(position + static_cast<int64_t>(k)) * perFrame;
      out[k] *= std::exp(nepers * (1.0 - t));
    }
  }
}

void Generator::Process(std::span<const double> in, const BlockInfo& info,
                        std::vector<double>& out) {
  settings_ = Resolve();
  amplitude_.SetTarget(settings_.amplitude, glideFrames_);
  dry_.SetTarget(settings_.dry, glideFrames_);

  const size_t n = in.size();
  out.resize(n);
  std::span<double> y(out);
  Waveform(y, info.position);
  ApplyGain(y, info.position);

  // The input is silence when generating; the dry path is there for the rare
  // caller mixing over existing audio.
  double* o = out.data();
  const double* x = in.data();
  size_t i = 0;
  for (; i < n && dry_.Moving(); ++i)
    o[i] += dry_.Next() * x[i];
  const double dry = dry_.value();
  if (dry != 0) {
    for (; i < n; ++i)
      o[i] += dry * x[i];
  }
}

}  // namespace generators
}  // namespace qel::effects
