// What each effect of the transform object is: its operation code, the kind of
// processor that does its work, how edge smoothing is sent, and how it departs
// from the usual run over the selection. One row per effect; the control's
// members and the block loop both read it.
#pragma once

#include <cstdint>
#include <optional>

#include "document/codes.h"

namespace qel::processing {

// The processor kinds; each is one class of the effect components.
enum class EffectKind : int32_t {
  kNone,  // computed by the control itself
  kAmplify,
  kFade,
  kNormalize,
  kDynamics,
  kEnvelope,
  kSilence,
  kDelay,
  kModulatedDelay,
  kVibrato,
  kPhaser,
  kReverb,
  kWahWah,
  kReverse,
  kInvert,
  kFilter,
  kEqualizer,
  kPitchShifter,
  kTimeStretcher,
  kResampler,
  kNoiseRemover,
  kFftFilter,
  kFirFilter,
  kGenerator,
  kDtmfGenerator,
  kCount
};

// What is sent to the processors about edge smoothing before the parameters.
enum class SmoothingRule {
  kTested,     // the stored switch, on only for selections longer than both edges
  kOff,        // switch 0, times sent
  kStored,     // the stored switch without the length test, times sent
  kSwitchOff,  // the switch set to 0, nothing else
  kFixed20,    // the stored switch for selections of at least 20 ms, both edges 20 ms
  kNone,       // nothing is sent
};

namespace effect_flag {
inline constexpr uint32_t kAllChannels = 1u << 0;    // every channel, whatever is enabled
inline constexpr uint32_t kFlushing = 1u << 1;       // told of the last block
inline constexpr uint32_t kLive = 1u << 2;           // parameters adjustable while previewing
inline constexpr uint32_t kNoVideo = 1u << 3;        // refused on a document with video
inline constexpr uint32_t kBackwards = 1u << 4;      // reads the selection last second first
inline constexpr uint32_t kParamsFirst = 1u << 5;    // parameters before the smoothing settings
inline constexpr uint32_t kMixesTail = 1u << 6;      // output past the selection is mixed in
inline constexpr uint32_t kScale24 = 1u << 7;        // 24-bit samples ÷ 256 on the way in
inline constexpr uint32_t kScale65536 = 1u << 8;     // 24- and 32-bit samples ÷ 65536
inline constexpr uint32_t kChangesLength = 1u << 9;  // output as long as it likes
inline constexpr uint32_t kGenerator = 1u << 10;     // makes its signal, needs no selection
}  // namespace effect_flag

struct EffectEntry {
  int32_t code;
  EffectKind kind;
  SmoothingRule smoothing;
  uint32_t flags;

  bool Has(uint32_t flag) const { return (flags & flag) != 0; }
  // The divisor of 24- and 32-bit samples on their way to the processors.
  double SampleScale(int32_t sampleSize) const;
};

// The row of an operation code; none for codes that are not effects.
std::optional<EffectEntry> FindEffect(int32_t code);

}  // namespace qel::processing
