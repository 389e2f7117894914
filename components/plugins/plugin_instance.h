// What a running plug-in looks like to the control, and the one error type
// the hosts throw.
#pragma once

#include <cstddef>
#include <span>
#include <stdexcept>

namespace qel::plugins {

// Every failure the hosts report by throwing: an index out of range, an
// unknown load method, a plug-in that cannot run (refused to instantiate,
// needs a feature the host does not provide, has a port layout that does not
// fit a document's channels), buffers that do not match. The message says
// which plug-in and why. When it is thrown nothing has changed.
class PluginError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One plug-in running over a document's channels. Plug-ins with two audio
// inputs and two outputs take the channels in pairs (0,1), (2,3)…; a lone last
// channel feeds both inputs and takes the first output. Others run once per
// channel: the channel feeds the single input (plug-ins without audio input
// generate) and takes the first output. The plug-in's latency is not
// compensated: the output is what the plug-in gives for the same frames.
class Instance {
 public:
  virtual ~Instance() = default;
  virtual size_t Channels() const = 0;
  // Processes `frames` frames of every channel: in[c] and out[c] point to
  // `frames` samples of channel c (in[c] may equal out[c]), in the integer
  // scale where `fullScale` is full scale (32768 for 16-bit). The parameters
  // are read from the host at each call, so changes apply from the next call.
  // Consecutive calls continue the same stream.
  virtual void Process(std::span<const double* const> in, std::span<double* const> out,
                       size_t frames, double fullScale) = 0;
  // What the plug-in reports as its latency in frames after the last call (0
  // when it reports none). Informative only.
  virtual double LatencyFrames() const { return 0.0; }
};

}  // namespace qel::plugins
