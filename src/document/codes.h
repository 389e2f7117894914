// The numbers every layer shares: error numbers (the one error type of the
// model and its operations; the control turns them into result codes and
// messages), the status word's values and the operation codes recorded with
// history steps.
#pragma once

#include <cstdint>
#include <string_view>

namespace qel {

// Error numbers of internal routines.
enum ErrorNumber : int32_t {
  kErrNone = 0,
  kErrBusy = 1,
  kErrMemory = 2,
  kErrFileAccess = 3,
  kErrFileFormat = 4,
  kErrVideoFormat = 5,
  kErrAudioFormat = 6,
  kErrInvalidOperation = 7,
  kErrInvalidArgument = 8,
  kErrNotInstalled = 9,
  kErrIndexOutOfRange = 10,
  kErrQtContainer = 11,
  kErrQtVideoDescription = 12,
  kErrQtAudioDescription = 13,
  kErrQtAudioCodec = 14,
  kErrQtVideoCodec = 15,
  kErrAviContainer = 16,
  kErrAcmAudioCodec = 17,
  kErrAcmVideoCodec = 18,
  kErrDvdProtected = 19,
  kErrOutputDriver = 20,
  kErrInputDriver = 21,
  kErrMixerDriver = 22,
  kErrAspiDriver = 23,
  kErrStreamClosed = 24,
};

// Status word values: which operation is running (0 when idle). Editing and
// effect operations use their operation code as their status.
namespace status {
inline constexpr int32_t kIdle = 0;
inline constexpr int32_t kPlaying = 1;
inline constexpr int32_t kRecording = 2;
inline constexpr int32_t kOpening = 3;
inline constexpr int32_t kSaving = 4;
inline constexpr int32_t kPlayPaused = 5;
inline constexpr int32_t kCopying = 6;
inline constexpr int32_t kCopyToClipboard = 7;
inline constexpr int32_t kPreparingRecord = 7;
inline constexpr int32_t kOverview = 8;
inline constexpr int32_t kPaste = 9;
inline constexpr int32_t kPasteFromFile = 10;
inline constexpr int32_t kMix = 11;
inline constexpr int32_t kMixFromFile = 12;
inline constexpr int32_t kPlayingLike = 14;
inline constexpr int32_t kRecognizeDtmf = 15;
inline constexpr int32_t kRecordPaused = 17;
inline constexpr int32_t kLoadingPlugins = 18;
inline constexpr int32_t kConvertSampleType = 20;
inline constexpr int32_t kDxProcessing = 80;
inline constexpr int32_t kVstProcessing = 81;
inline constexpr int32_t kBatchProcess = 82;
inline constexpr int32_t kSplitFile = 83;
inline constexpr int32_t kVideoPlayback = 84;
inline constexpr int32_t kDeleteSelect = 85;
inline constexpr int32_t kCut = 86;
inline constexpr int32_t kBpmAnalyse = 87;
}  // namespace status

// Operation codes stored with history steps (the status of the operation).
namespace opcode {
inline constexpr int32_t kNone = -1;  // document creation and opening: no code recorded
inline constexpr int32_t kRecord = 2;
inline constexpr int32_t kPutAudioArray = 4;
inline constexpr int32_t kPaste = 9;
inline constexpr int32_t kPasteFromFile = 10;
inline constexpr int32_t kMix = 11;
inline constexpr int32_t kMixFromFile = 12;
inline constexpr int32_t kConvertSampleType = 20;
inline constexpr int32_t kResample = 30;
inline constexpr int32_t kPitchShift = 31;
inline constexpr int32_t kTimeStretch = 32;
inline constexpr int32_t kTrim = 35;
inline constexpr int32_t kDeleteSilence = 36;
inline constexpr int32_t kMixChannels = 39;
inline constexpr int32_t kSilence = 40;
inline constexpr int32_t kReverse = 41;
inline constexpr int32_t kInvert = 42;
inline constexpr int32_t kAmplify = 43;
inline constexpr int32_t kFade = 44;
inline constexpr int32_t kNormalize = 45;
inline constexpr int32_t kVibrato = 46;
inline constexpr int32_t kEnvelope = 47;
inline constexpr int32_t kCompressor = 48;
inline constexpr int32_t kExpander = 49;
inline constexpr int32_t kDelay = 50;
inline constexpr int32_t kFlanger = 51;
inline constexpr int32_t kChorus = 52;
inline constexpr int32_t kPhaser = 53;
inline constexpr int32_t kReverb = 54;
inline constexpr int32_t kLowPassFilter = 55;
inline constexpr int32_t kHighPassFilter = 56;
inline constexpr int32_t kBandPassFilter = 57;
inline constexpr int32_t kNotchFilter = 58;
inline constexpr int32_t kPeakEqFilter = 59;
inline constexpr int32_t kEqualizer = 60;
inline constexpr int32_t kLowShelfFilter = 61;
inline constexpr int32_t kHighShelfFilter = 62;
inline constexpr int32_t kFftFilter = 63;
inline constexpr int32_t kFirFilter = 64;
inline constexpr int32_t kNoiseRemove = 66;
inline constexpr int32_t kWahWah = 67;
inline constexpr int32_t kGenerateSilence = 68;
inline constexpr int32_t kGenerateNoise = 69;
inline constexpr int32_t kGenerateSignal = 70;
inline constexpr int32_t kGenerateChirp = 71;
inline constexpr int32_t kGenerateDtmfSignal = 72;
inline constexpr int32_t kDxProcess = 80;
inline constexpr int32_t kVstProcess = 81;
inline constexpr int32_t kBatchProcess = 82;
inline constexpr int32_t kDeleteSelect = 85;
inline constexpr int32_t kCut = 86;
}  // namespace opcode

// What a host is shown when a component the control needs cannot be created.
inline constexpr std::u16string_view kMediaNotRegistered = u"QelVideoFile3 is not registered.";
inline constexpr std::u16string_view kCoreNotRegistered = u"QelMediaCore3 is not registered.";
inline constexpr std::u16string_view kDxNotRegistered = u"QelAudioDXTransform3 is not registered.";
inline constexpr std::u16string_view kVstNotRegistered =
    u"QelAudioVSTTransform3 is not registered.";
inline constexpr std::u16string_view kTransformNotRegistered =
    u"QelAudioTransform is not registered.";

}  // namespace qel
