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

 private:
  // Runs the effect of `code` with these parameter puts.
  com::HRESULT Run(int32_t code, std::vector<ParamPut> params);
  document::Smoothing& Stored() override { return State() ? State()->doc.smoothing : own_; }
  document::Smoothing own_;
};

}  // namespace qel
