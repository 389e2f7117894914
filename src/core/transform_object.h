// The effects: each member hands its arguments to the processors of its kind
// (in the order the kind expects them) and runs them over the selection in
// the processing layer's block loop. Edge smoothing is plain storage that the
// next operation reads: in the document while the control lives, here for an
// object made on its own.
#pragma once

#include <vector>

#include "core/automation_object.h"
#include "core/control_state.h"
#include "core/surface_defaults.h"
#include "processing/frame_run.h"

namespace qel {

class CEditorTransform final : public AutomationObject<CEditorTransform, IEditorTransformDefaults>,
                               public StateLink {
 public:
  static com::HRESULT CreateInstance(com::REFIID iid, void** object);

  com::HRESULT Amplify(double pcAmplify) override;
  com::HRESULT Fade(double pcAmpLeft, double pcAmpRight, double duration) override;
  com::HRESULT Normalize(double normalization, com::VARIANT_BOOL dcBiasAdjust) override;
  com::HRESULT Compressor(double dbThreshold, double dbPostAmplify, double compressionRate,
                          double rmsTime) override;
  com::HRESULT Expander(double dbThreshold, double dbPostAmplify, double compressionRate,
                        double rmsTime) override;
  com::HRESULT Envelope(com::SAFEARRAY** msTimeArray, com::SAFEARRAY** pcAmplifyArray,
                        int32_t splineType, int32_t steepness) override;
  com::HRESULT Silence() override;
  com::HRESULT Delay(double delayTime, double mixDepth, double feedBackGain) override;
  com::HRESULT Flanger(double delayRate, double mixDepth, double feedBackGain, double sweepDepth,
                       double sweepRate, double sweepPhase) override;
  com::HRESULT Chorus(double delayRate, double mixDepth, double feedBackGain, double sweepDepth,
                      double sweepRate, double sweepPhase) override;
  com::HRESULT Phaser(double frequency, double pcDryMix, double pcWetMix, double pcFeedBack,
                      double depth, double speed, int32_t stages, com::VARIANT_BOOL invertDry,
                      com::VARIANT_BOOL invertWet, com::VARIANT_BOOL feedBack,
                      int32_t shapeType) override;
  com::HRESULT Reverb(double delayTime, double mixDepth, double feedBackGain,
                      double reverbrationGain, double reverbrationFrequency,
                      int32_t nTapDelay) override;
  com::HRESULT Vibrato(double depth, double frequency, double phase) override;
  com::HRESULT WahWah(double depth, double lfoFrequency, double lfoStartPhase, double resonance,
                      double wahFreqOffset) override;
  com::HRESULT MixChannels(com::SAFEARRAY** pcGains) override;
  com::HRESULT Reverse() override;
  com::HRESULT Invert() override;
  com::HRESULT LowPassFilter(double frequency, double steepness) override;
  com::HRESULT HighPassFilter(double frequency, double steepness) override;
  com::HRESULT BandPassFilter(double frequency, double steepness) override;
  com::HRESULT NotchFilter(double frequency, double steepness) override;
  com::HRESULT PeakEQFilter(double dbGain, double frequency, double steepness) override;
  com::HRESULT LowShelfFilter(double dbGain, double frequency, double steepness) override;
  com::HRESULT HighShelfFilter(double dbGain, double frequency, double steepness) override;
  com::HRESULT Equalizer(com::SAFEARRAY** dbGainArray, com::SAFEARRAY** freqArray,
                         int32_t baseFilterType) override;
  com::HRESULT Resample(int32_t frequency, com::VARIANT_BOOL preFilter,
                        com::VARIANT_BOOL postFilter, int32_t resamplingMethod) override;
  com::HRESULT PitchShift(double rate) override;
  com::HRESULT TimeStretch(double rate) override;
  com::HRESULT DeleteSilence(double dbThreshold, double rmsTime) override;
  com::HRESULT NoiseRemove(double reduceLevel, int32_t fftLength, com::BSTR noiseFileName) override;
  com::HRESULT FFTFilter(com::SAFEARRAY** dbGainArray, com::SAFEARRAY** freqArray, int32_t fftSize,
                         int32_t windowingType, int32_t splineType) override;
  com::HRESULT FIRFilter(com::SAFEARRAY** dbGainArray, com::SAFEARRAY** freqArray,
                         com::SAFEARRAY** weightArray, int32_t quality,
                         int32_t splineType) override;
  com::HRESULT GenerateSilence(double msDuration) override;
  com::HRESULT GenerateNoise(double msDuration, double dbLevel, int32_t type, double pcDryMix,
                             double pcWetMix) override;
  com::HRESULT GenerateSignal(double msDuration, double dbLevel, double signalFrequency,
                              com::VARIANT_BOOL useFading, double dbFadeLevel, double fadingTime,
                              com::VARIANT_BOOL useModulation, double modulationFrequency,
                              double modulationDepth, int32_t type, double pcDryMix,
                              double pcWetMix) override;
  com::HRESULT GenerateChirp(double msDuration, double dbLevel, double signalFrequency,
                             double signalFrequencyEnd, double chirpTime,
                             com::VARIANT_BOOL useFading, double dbFadeLevel, double fadingTime,
                             com::VARIANT_BOOL useModulation, double modulationFrequency,
                             double modulationDepth, double pcDryMix, double pcWetMix) override;
  com::HRESULT GenerateDTMFSignal(com::BSTR dialString, double msBreakDuration,
                                  com::BSTR pauseCharacter, double msPauseDuration,
                                  double msToneDuration, int32_t typeSignals,
                                  com::SAFEARRAY** customSignals, double pcDryMix,
                                  double pcWetMix) override;
  com::HRESULT BatchProcess(com::BSTR effectsXml) override;
  com::HRESULT BPMAnalyse() override;
  com::HRESULT GetBPM(double* bpm) override;

 private:
  // Runs the effect of `code` with these parameter puts (generators: for
  // generateMs milliseconds).
  com::HRESULT Run(int32_t code, std::vector<ParamPut> params, double generateMs = 0);
  // Runs a single component over the selection.
  com::HRESULT RunSingle(processing::FrameRunKind kind, std::vector<ParamPut> params);
  bool analysed_ = false;  // a tempo was measured
  document::Smoothing& Stored() override { return State() ? State()->doc.smoothing : own_; }
  document::Smoothing own_;
};

}  // namespace qel
