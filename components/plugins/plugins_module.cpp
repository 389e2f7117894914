// The plug-in host components module. Loading it adds its classes to the class
// table: the LADSPA host (AudioDXTransform) and the LV2 host (AudioVSTTransform).
#include "host_object.h"

namespace qel::plugins {
namespace {

constexpr com::ClassCreator kCreators[] = {
    {"AudioDXTransform", &com::CreateComObject<AudioDXTransform>},
    {"AudioVSTTransform", &com::CreateComObject<AudioVSTTransform>},
};

const bool kRegistered = [] {
  RegisterPluginsInterfaces();
  com::RegisterModuleClasses(kPluginsClasses, kCreators);
  return true;
}();

}  // namespace
}  // namespace qel::plugins
