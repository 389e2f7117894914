#include "channel_groups.h"

#include <algorithm>
#include <string>

namespace qel::plugins {

bool IsEffectLayout(size_t audioInputs, size_t audioOutputs) {
  return (audioInputs == 1 && audioOutputs == 1) || (audioInputs == 2 && audioOutputs == 2);
}

bool IsProcessableLayout(size_t audioInputs, size_t audioOutputs) {
  return (audioInputs == 2 && audioOutputs == 2) || (audioInputs <= 1 && audioOutputs >= 1);
}

GroupedInstance::GroupedInstance(size_t channels, size_t audioInputs, size_t audioOutputs,
                                 bool inPlace)
    : channels_(channels) {
  const bool pairs = audioInputs == 2 && audioOutputs == 2;
  for (size_t first = 0; first < channels; first += pairs ? 2 : 1) {
    Group group;
    group.first = first;
    group.width = pairs ? std::min<size_t>(2, channels - first) : 1;
    const size_t shared = inPlace ? std::min(audioInputs, audioOutputs) : 0;
    group.storage.resize(audioInputs + audioOutputs - shared, std::vector<float>(kChunkFrames));
    for (size_t i = 0; i < audioInputs; ++i)
      group.inputs.push_back(group.storage[i].data());
    for (size_t o = 0; o < audioOutputs; ++o) {
      group.outputs.push_back(o < shared ? group.inputs[o]
                                         : group.storage[audioInputs + o - shared].data());
    }
    groups_.push_back(std::move(group));
  }
}

void GroupedInstance::Process(std::span<const double* const> in, std::span<double* const> out,
                              size_t frames, double fullScale) {
  if (in.size() < channels_ || out.size() < channels_) {
    throw PluginError("the plug-in runs over " + std::to_string(channels_) +
                      " channels but was given " + std::to_string(in.size()) + " inputs and " +
                      std::to_string(out.size()) + " outputs");
  }
  if (!(fullScale > 0.0)) {
    throw PluginError("full scale must be above zero, not " + std::to_string(fullScale));
  }
  UpdateControls();
  const double toPlugin = 1.0 / fullScale;
  for (size_t done = 0; done < frames;) {
    const size_t n = std::min(kChunkFrames, frames - done);
    for (size_t g = 0; g < groups_.size(); ++g) {
      Group& group = groups_[g];
      // A lone channel of a pair feeds both inputs; a single-channel group
      // feeds its one input, if any.
      for (size_t port = 0; port < group.inputs.size(); ++port) {
        const double* source = in[group.first + std::min(port, group.width - 1)] + done;
        float* target = group.inputs[port];
        for (size_t i = 0; i < n; ++i)
          target[i] = static_cast<float>(source[i] * toPlugin);
      }
      RunGroup(g, n);
      for (size_t channel = 0; channel < group.width; ++channel) {
        const float* source = group.outputs[channel];
        double* target = out[group.first + channel] + done;
        for (size_t i = 0; i < n; ++i)
          target[i] = static_cast<double>(source[i]) * fullScale;
      }
    }
    done += n;
  }
}

}  // namespace qel::plugins
