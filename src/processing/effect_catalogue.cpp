#include "processing/effect_catalogue.h"

#include <array>

namespace qel::processing {
namespace {

using namespace effect_flag;
using K = EffectKind;
using S = SmoothingRule;

// The reverb is told of its last block so that its tail rings on into what
// follows the selection instead of being cut off.
constexpr std::array kEffects{
    EffectSpec{opcode::kAmplify, K::kAmplify, S::kTested, kLive},
    EffectSpec{opcode::kFade, K::kFade, S::kOff, 0},
    EffectSpec{opcode::kNormalize, K::kNormalize, S::kTested, kLive | kScale24},
    EffectSpec{opcode::kCompressor, K::kDynamics, S::kTested,
               kAllChannels | kFlushing | kLive | kScale24},
    EffectSpec{opcode::kExpander, K::kDynamics, S::kTested,
               kAllChannels | kFlushing | kLive | kScale24},
    EffectSpec{opcode::kEnvelope, K::kEnvelope, S::kTested, kParamsFirst},
    EffectSpec{opcode::kSilence, K::kSilence, S::kTested, 0},
    EffectSpec{opcode::kDelay, K::kDelay, S::kTested, kLive},
    EffectSpec{opcode::kFlanger, K::kModulatedDelay, S::kTested, kLive},
    EffectSpec{opcode::kChorus, K::kModulatedDelay, S::kTested, kLive},
    EffectSpec{opcode::kPhaser, K::kPhaser, S::kTested, kLive},
    EffectSpec{opcode::kReverb, K::kReverb, S::kTested, kLive | kFlushing | kMixesTail},
    EffectSpec{opcode::kVibrato, K::kVibrato, S::kTested, kLive},
    EffectSpec{opcode::kWahWah, K::kWahWah, S::kStored, 0},
    EffectSpec{opcode::kMixChannels, K::kNone, S::kTested, 0},
    EffectSpec{opcode::kReverse, K::kReverse, S::kSwitchOff, kAllChannels | kBackwards},
    EffectSpec{opcode::kInvert, K::kInvert, S::kTested, 0},
    EffectSpec{opcode::kLowPassFilter, K::kFilter, S::kTested, kLive},
    EffectSpec{opcode::kHighPassFilter, K::kFilter, S::kTested, kLive},
    EffectSpec{opcode::kBandPassFilter, K::kFilter, S::kTested, kLive},
    EffectSpec{opcode::kNotchFilter, K::kFilter, S::kTested, kLive},
    EffectSpec{opcode::kPeakEqFilter, K::kFilter, S::kTested, kLive},
    EffectSpec{opcode::kLowShelfFilter, K::kFilter, S::kTested, kLive},
    EffectSpec{opcode::kHighShelfFilter, K::kFilter, S::kTested, kLive},
    EffectSpec{opcode::kEqualizer, K::kEqualizer, S::kTested, kAllChannels | kFlushing | kLive},
    EffectSpec{opcode::kResample, K::kResampler, S::kStored,
               kAllChannels | kFlushing | kChangesLength},
    EffectSpec{opcode::kPitchShift, K::kPitchShifter, S::kFixed20,
               kAllChannels | kFlushing | kLive | kScale65536},
    EffectSpec{opcode::kTimeStretch, K::kTimeStretcher, S::kTested,
               kAllChannels | kFlushing | kLive | kNoVideo | kScale65536 | kChangesLength},
    EffectSpec{opcode::kNoiseRemove, K::kNoiseRemover, S::kTested,
               kAllChannels | kFlushing | kScale24},
    EffectSpec{opcode::kFftFilter, K::kFftFilter, S::kTested, kAllChannels | kFlushing | kLive},
    EffectSpec{opcode::kFirFilter, K::kFirFilter, S::kTested, kLive},
    EffectSpec{opcode::kGenerateSilence, K::kGenerator, S::kNone,
               kAllChannels | kNoVideo | kGenerator | kChangesLength},
    EffectSpec{opcode::kGenerateNoise, K::kGenerator, S::kNone,
               kAllChannels | kNoVideo | kScale24 | kGenerator | kChangesLength},
    EffectSpec{opcode::kGenerateSignal, K::kGenerator, S::kStored,
               kAllChannels | kNoVideo | kLive | kScale24 | kGenerator | kChangesLength},
    EffectSpec{opcode::kGenerateChirp, K::kGenerator, S::kStored,
               kAllChannels | kNoVideo | kLive | kScale24 | kGenerator | kChangesLength},
    EffectSpec{opcode::kGenerateDtmfSignal, K::kDtmfGenerator, S::kNone,
               kAllChannels | kNoVideo | kScale24 | kGenerator | kChangesLength},
};

}  // namespace

double EffectSpec::SampleScale(int32_t sampleSize) const {
  if (Has(kScale65536) && (sampleSize == 24 || sampleSize == 32)) return 65536.0;
  if (Has(kScale24) && sampleSize == 24) return 256.0;
  return 0.0;
}

std::optional<EffectSpec> FindEffect(int32_t code) {
  for (const EffectSpec& spec : kEffects)
    if (spec.code == code) return spec;
  return std::nullopt;
}

}  // namespace qel::processing
