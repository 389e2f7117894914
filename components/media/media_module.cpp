// The media components module. Loading it adds its classes to the class table.
#include "media_core.h"
#include "video_file.h"

namespace qel::media {
namespace {

constexpr com::ClassCreator kCreators[] = {
    {"VideoFile", &com::CreateComObject<VideoFile>},
    {"AudioFormat", &com::CreateComObject<AudioFormat>},
    {"DataBuffer", &com::CreateComObject<DataBuffer>},
    {"AudioFrameData", &com::CreateComObject<AudioFrameData>},
    {"ExtraData", &com::CreateComObject<ExtraData>},
};

const bool kRegistered = [] {
  RegisterMediaInterfaces();
  com::RegisterModuleClasses(kMediaClasses, kCreators);
  return true;
}();

}  // namespace
}  // namespace qel::media
