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

}  // namespace

HRESULT CEditorTransform::CreateInstance(REFIID iid, void** object) {
  return CreateComObject<CEditorTransform>(iid, object);
}

HRESULT CEditorTransform::Run(int32_t code, std::vector<ParamPut> params) {
  if (Orphaned()) return RaiseError(kErrInvalidOperation);
  ControlState* state = State();
  if (!state) return S_OK;
  const std::optional<processing::EffectSpec> spec = processing::FindEffect(code);
  if (!spec) return RaiseError(kErrInvalidOperation);
  document::Document& doc = state->doc;
  EffectProcessors& effects = state->effects;
  HRESULT played = S_OK;
  processing::EffectJob job;
  job.spec = *spec;
  job.previewMode = state->previewMode;
  job.configure = [&](int32_t channel, const processing::SmoothingSent& smoothing) {
    return effects.Configure(spec->kind, channel, smoothing, params,
                             spec->Has(processing::effect_flag::kParamsFirst));
  };
  job.adjust = [&](int32_t channel) { return effects.SendParams(spec->kind, channel, params); };
  job.processor = [&](int32_t channel) {
    return effects.Channel(spec->kind, channel, doc.format.sampleRate, doc.format.sampleSize);
  };
  job.play = [&] {
    played = state->playPreview ? state->playPreview() : E_NOTIMPL;
    return Succeeded(played);
  };
  const processing::EffectResult result = processing::RunEffect(doc, *state, job);
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
  const processing::EffectResult result =
      processing::MixChannels(state->doc, *state, *gains, state->previewMode, [&] {
        played = state->playPreview ? state->playPreview() : E_NOTIMPL;
        return Succeeded(played);
      });
  switch (result.outcome) {
    case EffectOutcome::kFailed:
      return RaiseError(result.error);
    case EffectOutcome::kPreviewFailed:
      return played;
    default:
      return S_OK;
  }
}

}  // namespace qel
