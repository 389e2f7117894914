// The effect components module. Loading it adds its classes to the class table.
//
// The processors are not built yet: AudioEffect answers every call with
// E_NOTIMPL, so the control can be created and effects fail cleanly.
#include "audio_data.h"

namespace qel::effects {
namespace {

class AudioEffect final : public com::DispatchObject<AudioEffect, IAudioEffectDefaults> {};

constexpr com::ClassCreator kCreators[] = {
    {"AudioEffect", &com::CreateComObject<AudioEffect>},
    {"AudioData", &com::CreateComObject<AudioData>},
};

const bool kRegistered = [] {
  RegisterEffectsInterfaces();
  com::RegisterModuleClasses(kEffectsClasses, kCreators);
  return true;
}();

}  // namespace
}  // namespace qel::effects
