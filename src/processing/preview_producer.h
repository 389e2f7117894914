// What an effect's preview plays: stretches of the selection, read by the
// player's glue, pass through the processors the effect configured and come
// out as the device's frames. Nothing here touches the document or its
// history; the processors keep their configuration, so a live adjustment
// reaches the next stretch.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "document/document.h"
#include "processing/effect_catalogue.h"
#include "processing/effect_frame.h"

namespace qel::processing {

struct PreviewSetup {
  EffectEntry effect;
  document::DocumentFormat format;
  // The document channels that pass through a processor, ascending, and their
  // processors in the same order.
  std::vector<int32_t> processed;
  std::vector<ChannelProcessor*> processors;
  // 1: the other channels play unchanged. 2: they are silent, and with
  // `packed` the processed channels (at most two) are the only ones played.
  int32_t mode = 1;
  bool packed = false;
  int64_t rangeFrames = 0;  // the length of what is previewed
};

class PreviewProducer {
 public:
  explicit PreviewProducer(PreviewSetup setup);

  // The channels of each frame Produce gives.
  int32_t OutputChannels() const;
  // Whether the processors must see the whole range (Measure) first.
  bool Measures() const;
  // One stretch of the measuring pass. False: a processor failed.
  bool Measure(const uint8_t* frames, int64_t count);
  // The next `count` interleaved frames of the range; `last` when they reach
  // its end. *out receives the device's frames, fewer (even none) while a
  // processor fills its latency, more when it flushes a tail. False: a
  // processor failed or gave no output at all; the preview ends.
  bool Produce(const uint8_t* frames, int64_t count, bool last, std::vector<uint8_t>* out);

  // Which channels are processed for an effect: every one for the effects
  // that work on all channels, else the operated ones.
  static std::vector<int32_t> ProcessedChannels(const EffectEntry& effect,
                                                const document::Document& doc);

 private:
  BlockPlace Place(int64_t done) const;
  void ToDoubles(const uint8_t* frames, int64_t count);

  PreviewSetup setup_;
  int32_t align_ = 1;
  int32_t rate_ = 1;
  int32_t sampleBytes_ = 2;
  int32_t outChannels_ = 1;
  double scale_ = 0;
  int64_t done_ = 0;      // frames produced so far (the time stamps)
  int64_t measured_ = 0;  // frames measured so far
  std::vector<std::vector<double>> input_;
  std::vector<std::span<const double>> outputs_;
  std::vector<double> padding_;
  // Input bytes of the unprocessed channels not played yet: they wait as long
  // as the processors hold frames back, so that the channels stay in step.
  std::vector<uint8_t> pending_;
  size_t pendingFrom_ = 0;
};

}  // namespace qel::processing
