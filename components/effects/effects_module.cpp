// The effect components module. Loading it adds its classes to the class
// table: the audio data object and one processor class per effect kind.
#include "audio_data.h"
#include "effect_object.h"
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
};

const bool kRegistered = [] {
  RegisterEffectsInterfaces();
  com::RegisterModuleClasses(kEffectsClasses, kCreators);
  return true;
}();

}  // namespace
}  // namespace qel::effects
