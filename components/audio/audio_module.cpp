// The sound-device components module. Loading it adds its classes to the class table.
#include "device_objects.h"

namespace qel::audio {
namespace {

constexpr com::ClassCreator kCreators[] = {
    {"AudioDXPlayer", &com::CreateComObject<AudioDXPlayer>},
    {"AudioRecord", &com::CreateComObject<AudioRecord>},
};

const bool kRegistered = [] {
  RegisterAudioInterfaces();
  com::RegisterModuleClasses(kAudioClasses, kCreators);
  return true;
}();

}  // namespace
}  // namespace qel::audio
