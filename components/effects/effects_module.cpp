// The effect components module. Loading it adds its classes to the class
// table: the audio data object, one processor class per effect kind and the
// single components (silence remover, batch chain, tempo analyser).
#include "audio_data.h"
#include "batch/chain.h"
#include "dtmf_kinds.h"
#include "effect_object.h"
#include "frame_object.h"
#include "processors.h"

namespace qel::effects {
namespace {

constexpr com::ClassCreator kCreators[] = {
    {"AudioData", &com::CreateComObject<AudioData>},
    {"AmplifyEffect", &com::CreateComObject<KindEffect<MakeAmplify>>},
    {"FadeEffect", &com::CreateComObject<KindEffect<MakeFade>>},
    {"NormalizeEffect", &com::CreateComObject<KindEffect<MakeNormalize>>},
    {"DynamicsEffect", &com::CreateComObject<KindEffect<MakeDynamics>>},
    {"EnvelopeEffect", &com::CreateComObject<KindEffect<MakeEnvelope>>},
    {"SilenceEffect", &com::CreateComObject<KindEffect<MakeSilence>>},
    {"DelayEffect", &com::CreateComObject<KindEffect<MakeDelay>>},
    {"ModulatedDelayEffect", &com::CreateComObject<KindEffect<MakeModulatedDelay>>},
    {"VibratoEffect", &com::CreateComObject<KindEffect<MakeVibrato>>},
    {"PhaserEffect", &com::CreateComObject<KindEffect<MakePhaser>>},
    {"ReverbEffect", &com::CreateComObject<KindEffect<MakeReverb>>},
    {"WahWahEffect", &com::CreateComObject<KindEffect<MakeWahWah>>},
    {"ReverseEffect", &com::CreateComObject<KindEffect<MakeReverse>>},
    {"InvertEffect", &com::CreateComObject<KindEffect<MakeInvert>>},
    {"FilterEffect", &com::CreateComObject<KindEffect<MakeFilter>>},
    {"EqualizerEffect", &com::CreateComObject<KindEffect<MakeEqualizer>>},
    {"PitchShifterEffect", &com::CreateComObject<KindEffect<MakePitchShifter>>},
    {"TimeStretcherEffect", &com::CreateComObject<KindEffect<MakeTimeStretcher>>},
    {"ResamplerEffect", &com::CreateComObject<KindEffect<MakeResampler>>},
    {"NoiseRemoverEffect", &com::CreateComObject<KindEffect<MakeNoiseRemover>>},
    {"FftFilterEffect", &com::CreateComObject<KindEffect<MakeFftFilter>>},
    {"FirFilterEffect", &com::CreateComObject<KindEffect<MakeFirFilter>>},
    {"GeneratorEffect", &com::CreateComObject<KindEffect<MakeGenerator>>},
    {"SilenceRemover", &com::CreateComObject<FrameEffect<MakeSilenceRemover>>},
    {"BatchProcessor", &com::CreateComObject<FrameEffect<MakeBatch>>},
    {"TempoAnalyser", &com::CreateComObject<FrameEffect<MakeTempo>>},
    {"DtmfGeneratorEffect", &com::CreateComObject<KindEffect<dtmf::MakeDtmfGeneratorKind>>},
    {"DtmfRecognizer", &com::CreateComObject<FrameEffect<dtmf::MakeDtmfRecognizerKind>>},
};

const bool kRegistered = [] {
  RegisterEffectsInterfaces();
  com::RegisterModuleClasses(kEffectsClasses, kCreators);
  return true;
}();

}  // namespace
}  // namespace qel::effects
