// How a plug-in's audio ports meet a document's channels, and the part of an
// instance both hosts share: the chunk loop, the channel grouping and the
// conversion between the control's doubles and the plug-ins' floats.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "plugin_host.h"

namespace qel::plugins {

// The plug-ins never see more frames at once than this: their buffers are
// allocated for it when they start.
inline constexpr size_t kChunkFrames = 4096;

// One input and one output, or two of each.
bool IsEffectLayout(size_t audioInputs, size_t audioOutputs);
// Two inputs and two outputs (channel pairs), or at most one input and at
// least one output (one channel each).
bool IsProcessableLayout(size_t audioInputs, size_t audioOutputs);

class GroupedInstance : public Instance {
 public:
  size_t Channels() const final { return channels_; }
  void Process(std::span<const double* const> in, std::span<double* const> out, size_t frames,
               double fullScale) final;

 protected:
  // `inPlace`: each output shares its buffer with the input of the same
  // number, for plug-ins that allow it.
  GroupedInstance(size_t channels, size_t audioInputs, size_t audioOutputs, bool inPlace);

  // The number of plug-in copies needed: one per channel or channel pair.
  size_t GroupCount() const { return groups_.size(); }
  float* InputBuffer(size_t group, size_t port) { return groups_[group].inputs[port]; }
  float* OutputBuffer(size_t group, size_t port) { return groups_[group].outputs[port]; }

  // Called once per Process before any chunk: reads the host's values.
  virtual void UpdateControls() = 0;
  // Runs the plug-in copy of `group` over `frames` frames of its buffers.
  virtual void RunGroup(size_t group, size_t frames) = 0;

 private:
  struct Group {
    size_t first = 0;  // the first channel
    size_t width = 1;  // 1, or 2 for a pair
    std::vector<std::vector<float>> storage;
    std::vector<float*> inputs;
    std::vector<float*> outputs;
  };

  size_t channels_;
  std::vector<Group> groups_;
};

}  // namespace qel::plugins
