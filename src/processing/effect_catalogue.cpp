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
    EffectEntry{opcode::kAmplify, K::kAmplify, S::kTested, kLive},
    EffectEntry{opcode::kFade, K::kFade, S::kOff, 0},
    EffectEntry{opcode::kNormalize, K::kNormalize, S::kTested, kLive | kScale24},
    EffectEntry{opcode::kCompressor, K::kDynamics, S::kTested,
                kAllChannels | kFlushing | kLive | kScale24},
    EffectEntry{opcode::kExpander, K::kDynamics, S::kTested,
                kAllChannels | kFlushing | kLive | kScale24},
    EffectEntry{opcode::kEnvelope, K::kEnvelope, S::kTested, kParamsFirst},
    EffectEntry{opcode::kSilence, K::kSilence, S::kTested, 0},
    EffectEntry{opcode::kDelay, K::kDelay, S::kTested, kLive},
    EffectEntry{opcode::kFlanger, K::kModulatedDelay, S::kTested, kLive},
    EffectEntry{opcode::kChorus, K::kModulatedDelay, S::kTested, kLive},
    EffectEntry{opcode::kPhaser, K::kPhaser, S::kTested, kLive},
    EffectEntry{opcode::kReverb, K::kReverb, S::kTested, kLive | kFlushing | kMixesTail},
    EffectEntry{opcode::kVibrato, K::kVibrato, S::kTested, kLive},
    EffectEntry{opcode::kWahWah, K::kWahWah, S::kStored, 0},
    EffectEntry{opcode::kMixChannels, K::kNone, S::kTested, 0},
    EffectEntry{opcode::kReverse, K::kReverse, S::kSwitchOff, kAllChannels | kBackwards},
    EffectEntry{opcode::kInvert, K::kInvert, S::kTested, 0},
    EffectEntry{opcode::kLowPassFilter, K::kFilter, S::kTested, kLive},
    EffectEntry{opcode::kHighPassFilter, K::kFilter, S::kTested, kLive},
    EffectEntry{opcode::kBandPassFilter, K::kFilter, S::kTested, kLive},
    EffectEntry{opcode::kNotchFilter, K::kFilter, S::kTested, kLive},
    EffectEntry{opcode::kPeakEqFilter, K::kFilter, S::kTested, kLive},
    EffectEntry{opcode::kLowShelfFilter, K::kFilter, S::kTested, kLive},
    EffectEntry{opcode::kHighShelfFilter, K::kFilter, S::kTested, kLive},
    EffectEntry{opcode::kEqualizer, K::kEqualizer, S::kTested, kAllChannels | kFlushing | kLive},
    EffectEntry{opcode::kResample, K::kResampler, S::kStored,
                kAllChannels | kFlushing | kChangesLength},
    EffectEntry{opcode::kPitchShift, K::kPitchShifter, S::kFixed20,
                kAllChannels | kFlushing | kLive | kScale65536},
    EffectEntry{opcode::kTimeStretch, K::kTimeStretcher, S::kTested,
                kAllChannels | kFlushing | kLive | kNoVideo | kScale65536 | kChangesLength},
    EffectEntry{opcode::kNoiseRemove, K::kNoiseRemover, S::kTested,
                kAllChannels | kFlushing | kScale24},
    EffectEntry{opcode::kFftFilter, K::kFftFilter, S::kTested, kAllChannels | kFlushing | kLive},
    EffectEntry{opcode::kFirFilter, K::kFirFilter, S::kTested, kLive},
    EffectEntry{opcode::kGenerateSilence, K::kGenerator, S::kNone,
                kAllChannels | kNoVideo | kGenerator | kChangesLength},
    EffectEntry{opcode::kGenerateNoise, K::kGenerator, S::kNone,
                kAllChannels | kNoVideo | kScale24 | kGenerator | kChangesLength},
    EffectEntry{opcode::kGenerateSignal, K::kGenerator, S::kStored,
                kAllChannels | kNoVideo | kLive | kScale24 | kGenerator | kChangesLength},
    EffectEntry{opcode::kGenerateChirp, K::kGenerator, S::kStored,
                kAllChannels | kNoVideo | kLive | kScale24 | kGenerator | kChangesLength},
    EffectEntry{opcode::kGenerateDtmfSignal, K::kDtmfGenerator, S::kNone,
                kAllChannels | kNoVideo | kScale24 | kGenerator | kChangesLength},
    // The plug-in hosts' runs: their processing objects are made by the host
    // components, not by kind.
    EffectEntry{opcode::kDxProcess, K::kNone, S::kNone, kAllChannels | kLive | kNoVideo},
    EffectEntry{opcode::kVstProcess, K::kNone, S::kNone,
                kAllChannels | kLive | kNoVideo | kScale24},
};

}  // namespace

double EffectEntry::SampleScale(int32_t sampleSize) const {
  if (Has(kScale65536) && (sampleSize == 24 || sampleSize == 32)) return 65536.0;
  if (Has(kScale24) && sampleSize == 24) return 256.0;
  return 0.0;
}

std::optional<EffectEntry> FindEffect(int32_t code) {
  for (const EffectEntry& entry : kEffects)
    if (entry.code == code) return entry;
  return std::nullopt;
}

}  // namespace qel::processing
