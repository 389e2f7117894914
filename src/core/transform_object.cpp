#include "core/transform_object.h"

#include "com/classtable.h"
#include "com/safearray.h"
#include "core/errors.h"
#include "processing/effect_frame.h"
#include "processing/mix_channels.h"

namespace qel {

using namespace com;
using processing::EffectOutcome;

namespace {

ParamPut Number(int32_t index, double value) {
  return {index, Variant::R8(value)};
}
// Integers and booleans travel as 32-bit integers (a true boolean as −1).
ParamPut Integer(int32_t index, int32_t value) {
  return {index, Variant::I4(value)};
}
// Arrays travel as they came, as a copy the processor may keep.
ParamPut Array(int32_t index, SAFEARRAY** array) {
  ParamPut put{index, {}};
  SAFEARRAY* copy = nullptr;
  VARTYPE type = VT_R8;
  if (array && *array) {
    SafeArrayGetVartype(*array, &type);
    SafeArrayCopy(*array, &copy);
  }
  put.value.vt = static_cast<VARTYPE>(VT_ARRAY | type);
  put.value.parray = copy;
  return put;
}

// What a run's outcome means to the host: the error it raised, the failing
// component's own result, or playback's result for a preview.
HRESULT Answer(const processing::EffectResult& result, EffectProcessors& effects, HRESULT played) {
  switch (result.outcome) {
    case EffectOutcome::kFailed:
    case EffectOutcome::kRefused:
      return RaiseError(result.error);
    case EffectOutcome::kComponentFailed:
      return effects.TakeFailure();
    case EffectOutcome::kPreviewFailed:
      return played;
    default:
      return S_OK;
  }
}

// Starts playback of a preview, keeping its result for the answer.
std::function<bool()> Player(ControlState& state, HRESULT& played) {
  return [&state, &played] {
    played = state.playPreview ? state.playPreview() : E_NOTIMPL;
    return Succeeded(played);
  };
}

}  // namespace

HRESULT CEditorTransform::CreateInstance(REFIID iid, void** object) {
  return CreateComObject<CEditorTransform>(iid, object);
}

HRESULT CEditorTransform::Run(int32_t code, std::vector<ParamPut> params, double generateMs) {
  if (Orphaned()) return RaiseError(kErrInvalidOperation);
  ControlState* state = State();
  if (!state) return S_OK;
  const std::optional<processing::EffectEntry> entry = processing::FindEffect(code);
  if (!entry) return RaiseError(kErrInvalidOperation);
  document::Document& doc = state->doc;
  EffectProcessors& effects = state->effects;
  HRESULT played = S_OK;
  processing::EffectJob job;
  job.effect = *entry;
  job.previewMode = state->previewMode;
  job.generateMs = generateMs;
  job.configure = [&](int32_t channel, const processing::SmoothingSent& smoothing) {
    return effects.Configure(entry->kind, channel, smoothing, params,
                             entry->Has(processing::effect_flag::kParamsFirst));
  };
  job.adjust = [&](int32_t channel) { return effects.SendParams(entry->kind, channel, params); };
  job.processor = [&](int32_t channel) {
    return effects.Channel(entry->kind, channel, doc.format.sampleRate, doc.format.sampleSize);
  };
  job.play = Player(*state, played);
  const processing::EffectResult result = processing::RunEffect(doc, *state, job);
  return Answer(result, effects, played);
}

HRESULT CEditorTransform::Amplify(double pcAmplify) {
  return Run(opcode::kAmplify, {Number(1, pcAmplify)});
}

HRESULT CEditorTransform::Fade(double pcAmpLeft, double pcAmpRight, double duration) {
  return Run(opcode::kFade, {Number(1, pcAmpLeft), Number(2, pcAmpRight), Number(3, duration)});
}

HRESULT CEditorTransform::Normalize(double normalization, VARIANT_BOOL dcBiasAdjust) {
  return Run(opcode::kNormalize, {Number(1, normalization), Integer(2, dcBiasAdjust)});
}

HRESULT CEditorTransform::Compressor(double dbThreshold, double dbPostAmplify,
                                     double compressionRate, double rmsTime) {
  return Run(opcode::kCompressor, {Integer(4, 1), Number(1, dbThreshold), Number(5, dbPostAmplify),
                                   Number(2, compressionRate), Number(3, rmsTime)});
}

HRESULT CEditorTransform::Expander(double dbThreshold, double dbPostAmplify, double compressionRate,
                                   double rmsTime) {
  return Run(opcode::kExpander, {Integer(4, 2), Number(1, dbThreshold), Number(5, dbPostAmplify),
                                 Number(2, compressionRate), Number(3, rmsTime)});
}

HRESULT CEditorTransform::Envelope(SAFEARRAY** msTimeArray, SAFEARRAY** pcAmplifyArray,
                                   int32_t splineType, int32_t steepness) {
  // The selection's duration in milliseconds, as the single-precision value
  // the envelope has always been given.
  float selectionMs = 0.0F;
  if (ControlState* state = State(); state && state->doc.IsOpen()) {
    const document::Document& doc = state->doc;
    const document::ViewStack& view = *doc.View();
    const float bytes = static_cast<float>(view.endSelect[view.zoom] - view.startSelect[view.zoom]);
    const float perMs = static_cast<float>(doc.format.sampleRate) *
                        static_cast<float>(doc.format.BlockAlign()) / 1000.0F;
    if (perMs > 0) selectionMs = bytes / perMs;
  }
  std::vector<ParamPut> params;
  params.push_back(Array(1, msTimeArray));
  params.push_back(Array(2, pcAmplifyArray));
  params.push_back(Integer(3, splineType));
  params.push_back(Integer(4, steepness));
  params.push_back(Number(5, selectionMs));
  return Run(opcode::kEnvelope, std::move(params));
}

HRESULT CEditorTransform::Silence() {
  return Run(opcode::kSilence, {});
}

HRESULT CEditorTransform::Delay(double delayTime, double mixDepth, double feedBackGain) {
  return Run(opcode::kDelay,
             {Integer(4, 1), Number(1, delayTime), Number(2, mixDepth), Number(3, feedBackGain)});
}

namespace {
std::vector<ParamPut> SweptDelay(int32_t mode, double delayRate, double mixDepth,
                                 double feedBackGain, double sweepDepth, double sweepRate,
                                 double sweepPhase) {
  std::vector<ParamPut> params;
  params.push_back(Integer(7, mode));
  for (int32_t i = 1;
       double v : {delayRate, mixDepth, feedBackGain, sweepDepth, sweepRate, sweepPhase})
    params.push_back(Number(i++, v));
  return params;
}
}  // namespace

HRESULT CEditorTransform::Flanger(double delayRate, double mixDepth, double feedBackGain,
                                  double sweepDepth, double sweepRate, double sweepPhase) {
  return Run(opcode::kFlanger,
             SweptDelay(1, delayRate, mixDepth, feedBackGain, sweepDepth, sweepRate, sweepPhase));
}

HRESULT CEditorTransform::Chorus(double delayRate, double mixDepth, double feedBackGain,
                                 double sweepDepth, double sweepRate, double sweepPhase) {
  return Run(opcode::kChorus,
             SweptDelay(2, delayRate, mixDepth, feedBackGain, sweepDepth, sweepRate, sweepPhase));
}

HRESULT CEditorTransform::Phaser(double frequency, double pcDryMix, double pcWetMix,
                                 double pcFeedBack, double depth, double speed, int32_t stages,
                                 VARIANT_BOOL invertDry, VARIANT_BOOL invertWet,
                                 VARIANT_BOOL feedBack, int32_t shapeType) {
  // The feedback amount and then the feedback switch go to the same
  // parameter; the phaser keeps the amount and lets the switch turn it on or off.
  return Run(opcode::kPhaser,
             {Number(4, frequency), Number(5, pcDryMix), Number(6, pcWetMix), Number(9, pcFeedBack),
              Number(7, depth), Number(2, speed), Integer(8, stages), Integer(11, invertDry),
              Integer(10, invertWet), Number(9, feedBack ? -1.0 : 0.0), Integer(3, shapeType)});
}

HRESULT CEditorTransform::Reverb(double delayTime, double mixDepth, double feedBackGain,
                                 double reverbrationGain, double reverbrationFrequency,
                                 int32_t nTapDelay) {
  return Run(opcode::kReverb, {Number(1, delayTime), Number(2, mixDepth), Number(3, feedBackGain),
                               Number(4, reverbrationGain), Number(5, reverbrationFrequency),
                               Integer(6, nTapDelay)});
}

HRESULT CEditorTransform::Vibrato(double depth, double frequency, double phase) {
  return Run(opcode::kVibrato, {Number(1, depth), Number(2, frequency), Number(3, phase)});
}

HRESULT CEditorTransform::WahWah(double depth, double lfoFrequency, double lfoStartPhase,
                                 double resonance, double wahFreqOffset) {
  return Run(opcode::kWahWah, {Number(1, depth), Number(2, lfoFrequency), Number(3, lfoStartPhase),
                               Number(4, resonance), Number(5, wahFreqOffset)});
}

HRESULT CEditorTransform::Reverse() {
  return Run(opcode::kReverse, {});
}

HRESULT CEditorTransform::Invert() {
  return Run(opcode::kInvert, {});
}

HRESULT CEditorTransform::LowPassFilter(double frequency, double steepness) {
  return Run(opcode::kLowPassFilter, {Integer(3, 1), Number(1, frequency), Number(2, steepness)});
}

HRESULT CEditorTransform::HighPassFilter(double frequency, double steepness) {
  return Run(opcode::kHighPassFilter, {Integer(3, 2), Number(1, frequency), Number(2, steepness)});
}

HRESULT CEditorTransform::BandPassFilter(double frequency, double steepness) {
  return Run(opcode::kBandPassFilter, {Integer(3, 4), Number(1, frequency), Number(2, steepness)});
}

HRESULT CEditorTransform::NotchFilter(double frequency, double steepness) {
  return Run(opcode::kNotchFilter, {Integer(3, 3), Number(1, frequency), Number(2, steepness)});
}

HRESULT CEditorTransform::PeakEQFilter(double dbGain, double frequency, double steepness) {
  return Run(opcode::kPeakEqFilter,
             {Integer(3, 7), Number(4, dbGain), Number(1, frequency), Number(2, steepness)});
}

HRESULT CEditorTransform::LowShelfFilter(double dbGain, double frequency, double steepness) {
  return Run(opcode::kLowShelfFilter,
             {Integer(3, 5), Number(4, dbGain), Number(1, frequency), Number(2, steepness)});
}

HRESULT CEditorTransform::HighShelfFilter(double dbGain, double frequency, double steepness) {
  return Run(opcode::kHighShelfFilter,
             {Integer(3, 6), Number(4, dbGain), Number(1, frequency), Number(2, steepness)});
}

HRESULT CEditorTransform::Equalizer(SAFEARRAY** dbGainArray, SAFEARRAY** freqArray,
                                    int32_t /*baseFilterType: one kind of band only*/) {
  std::vector<ParamPut> params;
  params.push_back(Array(1, dbGainArray));
  params.push_back(Array(2, freqArray));
  params.push_back(Integer(3, 2));
  return Run(opcode::kEqualizer, std::move(params));
}

HRESULT CEditorTransform::Resample(int32_t frequency, VARIANT_BOOL preFilter,
                                   VARIANT_BOOL postFilter, int32_t resamplingMethod) {
  return Run(opcode::kResample, {Integer(1, frequency), Integer(2, preFilter),
                                 Integer(3, postFilter), Integer(4, resamplingMethod)});
}

HRESULT CEditorTransform::PitchShift(double rate) {
  return Run(opcode::kPitchShift, {Number(1, rate)});
}

HRESULT CEditorTransform::TimeStretch(double rate) {
  return Run(opcode::kTimeStretch, {Number(1, rate)});
}

HRESULT CEditorTransform::NoiseRemove(
    double reduceLevel, int32_t fftLength,
    BSTR /*noiseFileName: the profile comes from the selection*/) {
  return Run(opcode::kNoiseRemove, {Number(2, reduceLevel), Integer(1, fftLength)});
}

HRESULT CEditorTransform::FFTFilter(SAFEARRAY** dbGainArray, SAFEARRAY** freqArray, int32_t fftSize,
                                    int32_t windowingType, int32_t splineType) {
  std::vector<ParamPut> params;
  params.push_back(Array(4, dbGainArray));
  params.push_back(Array(1, freqArray));
  params.push_back(Integer(3, fftSize));
  params.push_back(Integer(5, windowingType));
  params.push_back(Integer(2, splineType));
  return Run(opcode::kFftFilter, std::move(params));
}

HRESULT CEditorTransform::FIRFilter(SAFEARRAY** dbGainArray, SAFEARRAY** freqArray,
                                    SAFEARRAY** weightArray, int32_t quality,
                                    int32_t /*splineType: the design needs none*/) {
  std::vector<ParamPut> params;
  params.push_back(Array(2, dbGainArray));
  params.push_back(Array(1, freqArray));
  params.push_back(Array(3, weightArray));
  params.push_back(Integer(4, quality));
  return Run(opcode::kFirFilter, std::move(params));
}

HRESULT CEditorTransform::GenerateSilence(double msDuration) {
  return Run(opcode::kGenerateSilence, {Integer(1, 1)}, msDuration);
}

HRESULT CEditorTransform::GenerateNoise(double msDuration, double dbLevel, int32_t type,
                                        double /*pcDryMix*/, double /*pcWetMix*/) {
  return Run(opcode::kGenerateNoise, {Number(2, dbLevel), Integer(1, type)}, msDuration);
}

HRESULT CEditorTransform::GenerateSignal(double msDuration, double dbLevel, double signalFrequency,
                                         VARIANT_BOOL useFading, double dbFadeLevel,
                                         double fadingTime, VARIANT_BOOL useModulation,
                                         double modulationFrequency, double modulationDepth,
                                         int32_t type, double pcDryMix, double pcWetMix) {
  std::vector<ParamPut> params;
  params.push_back(Number(2, dbLevel));
  params.push_back(Number(7, signalFrequency));
  params.push_back(Integer(12, useFading));
  params.push_back(Number(9, dbFadeLevel));
  params.push_back(Number(10, fadingTime));
  params.push_back(Integer(11, useModulation));
  params.push_back(Number(5, modulationFrequency));
  params.push_back(Number(6, modulationDepth));
  params.push_back(Number(3, pcDryMix));
  params.push_back(Number(4, pcWetMix));
  // Types 1, 2 and 3 are the generator's sine, square and sawtooth; any other
  // leaves the generator's signal as it was.
  constexpr int32_t kSignalOfType[] = {0, 5, 7, 8};
  if (type >= 1 && type <= 3) params.push_back(Integer(1, kSignalOfType[type]));
  return Run(opcode::kGenerateSignal, std::move(params), msDuration);
}

HRESULT CEditorTransform::GenerateChirp(double msDuration, double dbLevel, double signalFrequency,
                                        double signalFrequencyEnd, double chirpTime,
                                        VARIANT_BOOL useFading, double dbFadeLevel,
                                        double fadingTime, VARIANT_BOOL useModulation,
                                        double modulationFrequency, double modulationDepth,
                                        double pcDryMix, double pcWetMix) {
  std::vector<ParamPut> params;
  params.push_back(Number(2, dbLevel));
  params.push_back(Number(7, signalFrequency));
  params.push_back(Number(8, signalFrequencyEnd));
  params.push_back(Number(13, chirpTime));
  params.push_back(Integer(12, useFading));
  params.push_back(Number(9, dbFadeLevel));
  params.push_back(Number(10, fadingTime));
  params.push_back(Integer(11, useModulation));
  params.push_back(Number(5, modulationFrequency));
  params.push_back(Number(6, modulationDepth));
  params.push_back(Number(3, pcDryMix));
  params.push_back(Number(4, pcWetMix));
  params.push_back(Integer(1, 6));
  return Run(opcode::kGenerateChirp, std::move(params), msDuration);
}

HRESULT CEditorTransform::GenerateDTMFSignal(BSTR dialString, double msBreakDuration,
                                             BSTR pauseCharacter, double msPauseDuration,
                                             double msToneDuration, int32_t typeSignals,
                                             SAFEARRAY** customSignals, double pcDryMix,
                                             double pcWetMix) {
  ControlState* state = State();
  if (state && !state->effects.DtmfEnabled()) return S_OK;
  const std::u16string_view dial(dialString ? dialString : u"", SysStringLen(dialString));
  const std::u16string_view pause(pauseCharacter ? pauseCharacter : u"",
                                  SysStringLen(pauseCharacter));
  // How long the dial string sounds: a tone and a break per symbol, a pause
  // per pause character; anything else takes no time.
  constexpr std::u16string_view kSymbols = u"0123456789*#ABCDabcd";
  double ms = 0;
  for (char16_t c : dial) {
    if (!pause.empty() && c == pause.front())
      ms += std::max(msPauseDuration, 0.0);
    else if (kSymbols.find(c) != std::u16string_view::npos)
      ms += std::max(msToneDuration, 0.0) + std::max(msBreakDuration, 0.0);
  }
  std::vector<ParamPut> params;
  params.push_back(Number(4, msBreakDuration));
  params.push_back({5, Variant::Str(pause)});
  params.push_back(Number(3, msPauseDuration));
  params.push_back(Number(2, msToneDuration));
  params.push_back(Integer(1, typeSignals));
  params.push_back({6, Variant::Str(dial)});
  params.push_back(Number(8, pcDryMix));
  params.push_back(Number(7, pcWetMix));
  // The custom frequency pairs go last, on their own.
  if (customSignals && *customSignals) params.push_back(Array(9, customSignals));
  return Run(opcode::kGenerateDtmfSignal, std::move(params), ms);
}

HRESULT CEditorTransform::RunSingle(processing::FrameRunKind kind, std::vector<ParamPut> params) {
  if (Orphaned()) return RaiseError(kErrInvalidOperation);
  ControlState* state = State();
  if (!state) return S_OK;
  document::Document& doc = state->doc;
  EffectProcessors& effects = state->effects;
  using Single = EffectProcessors::SingleKind;
  const Single which = kind == processing::FrameRunKind::kDeleteSilence ? Single::kSilenceRemover
                       : kind == processing::FrameRunKind::kBatch       ? Single::kBatch
                                                                        : Single::kTempo;
  HRESULT played = S_OK;
  EffectProcessors::FrameAdapter* single = nullptr;
  processing::FrameJob job;
  job.kind = kind;
  job.previewMode = state->previewMode;
  job.configure = [&]() -> processing::EffectResult {
    single = effects.Single(which, doc.format);
    if (!single) {
      state->ComponentMissing(which == Single::kBatch   ? u"QelAudioTransformEx4 is not registered."
                              : which == Single::kTempo ? u"QelAudioTransform4 is not registered."
                                                        : kTransformNotRegistered);
      return {EffectOutcome::kRefused, kErrNotInstalled};
    }
    job.component = EffectProcessors::Component(single);
    if (!effects.Configure(*single, params)) {
      // The batch component refusing its list is the host's bad argument.
      if (kind == processing::FrameRunKind::kBatch) {
        effects.TakeFailure();
        return {EffectOutcome::kRefused, kErrInvalidArgument};
      }
      return {EffectOutcome::kComponentFailed};
    }
    return {EffectOutcome::kDone};
  };
  job.play = Player(*state, played);
  const processing::EffectResult result = processing::RunFrames(doc, *state, job);
  if (result.outcome == EffectOutcome::kDone && kind == processing::FrameRunKind::kTempo)
    analysed_ = true;
  return Answer(result, effects, played);
}

HRESULT CEditorTransform::DeleteSilence(double dbThreshold, double rmsTime) {
  return RunSingle(processing::FrameRunKind::kDeleteSilence,
                   {Number(1, dbThreshold), Number(2, rmsTime)});
}

HRESULT CEditorTransform::BatchProcess(BSTR effectsXml) {
  std::vector<ParamPut> params;
  params.push_back(
      {1, Variant::Str(effectsXml ? std::u16string_view(effectsXml, SysStringLen(effectsXml))
                                  : std::u16string_view())});
  return RunSingle(processing::FrameRunKind::kBatch, std::move(params));
}

HRESULT CEditorTransform::BPMAnalyse() {
  return RunSingle(processing::FrameRunKind::kTempo, {});
}

HRESULT CEditorTransform::GetBPM(double* bpm) {
  if (!bpm) return E_POINTER;
  ControlState* state = State();
  // Before the first analysis there is nothing to tell.
  if (!state || !analysed_) return S_OK;
  EffectProcessors::FrameAdapter* tempo =
      state->effects.Single(EffectProcessors::SingleKind::kTempo, state->doc.format);
  if (!tempo || !state->effects.Result(*tempo, bpm)) return state->effects.TakeFailure();
  return S_OK;
}

HRESULT CEditorTransform::MixChannels(SAFEARRAY** pcGains) {
  if (Orphaned()) return RaiseError(kErrInvalidOperation);
  ControlState* state = State();
  if (!state) return S_OK;
  // 18 × 18 gains in percent, output channel major; anything else is ignored.
  SAFEARRAY* array = pcGains ? *pcGains : nullptr;
  std::optional<processing::ChannelGains> gains;
  if (array && array->cDims == 2) {
    int32_t upper0 = 0, upper1 = 0;
    VARTYPE type = VT_EMPTY;
    SafeArrayGetUBound(array, 1, &upper0);
    SafeArrayGetUBound(array, 2, &upper1);
    SafeArrayGetVartype(array, &type);
    void* data = nullptr;
    if (upper0 + 1 == 18 && upper1 + 1 == 18 && (type == VT_R8 || type == VT_R4) &&
        Succeeded(SafeArrayAccessData(array, &data))) {
      gains = processing::ChannelGains{};
      for (size_t k = 0; k < gains->size(); ++k)
        (*gains)[k] = (type == VT_R8 ? static_cast<const double*>(data)[k]
                                     : static_cast<const float*>(data)[k]) /
                      100.0;
      SafeArrayUnaccessData(array);
    }
  }
  if (!gains) return S_OK;
  HRESULT played = S_OK;
  const processing::EffectResult result = processing::MixChannels(
      state->doc, *state, *gains, state->previewMode, Player(*state, played));
  return Answer(result, state->effects, played);
}

}  // namespace qel
