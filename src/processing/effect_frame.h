// The run of an effect over the selection: the processors of the enabled
// channels are configured, the head of the document is copied, the selection
// passes through them one second at a time (as doubles, see effect_samples.h),
// and the tail is copied; the result is one history step. Stop during the
// block loop keeps what was processed and copies the rest unchanged; Stop
// before the first processed block, or a status word reset at any time,
// cancels: the document stays as it was.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "document/document.h"
#include "processing/effect_catalogue.h"

namespace qel::processing {

// Where a block lies: milliseconds from the start of the range, and the length
// of the whole range in milliseconds.
struct BlockPlace {
  double timeStampMs = 0;
  double rangeMs = 0;
};

// One channel's processor as the block loop drives it. A false result means
// the component failed; its implementation keeps what the host must be told.
// Calls for different channels may come from different threads at once.
class ChannelProcessor {
 public:
  virtual ~ChannelProcessor() = default;
  // Whether the processor must see the whole range (Measure) before Process.
  virtual bool Measures() = 0;
  virtual bool Measure(std::span<const double> in, const BlockPlace& place) = 0;
  // The next Process gets the final block.
  virtual bool SetLastBlock() = 0;
  // One block through; *out is the output, valid until the next call. A
  // processor that gives no output at all (out->data() null) ends the run; one
  // that gives an empty block (still filling its latency) does not.
  virtual bool Process(std::span<const double> in, const BlockPlace& place,
                       std::span<const double>* out) = 0;
  // A generator's next chunk: chunkMs milliseconds after fromMs generated
  // before it.
  virtual bool Generate(double fromMs, double chunkMs, std::span<const double>* out) = 0;
};

// The smoothing settings sent to the processors before the parameters.
struct SmoothingSent {
  bool none = false;        // nothing is sent
  bool switchOnly = false;  // only the switch, set to 0 (Reverse)
  int32_t enabled = 0;
  double beginMs = 0;
  double endMs = 0;
};

struct EffectJob {
  EffectEntry effect;
  int32_t previewMode = 0;
  // Sends the smoothing settings, the parameters and Start to the processor of
  // one channel, in the effect's order. False: the component failed.
  std::function<bool(int32_t channel, const SmoothingSent& smoothing)> configure;
  // Sends the parameters again (live adjustment of a running preview).
  std::function<bool(int32_t channel)> adjust;
  std::function<ChannelProcessor*(int32_t channel)> processor;
  // Starts playback of the preview; false when it failed.
  std::function<bool()> play;
  // For work the control does itself instead of processors: writes the
  // output of `frames` interleaved frames (out starts as a copy of in).
  std::function<void(const uint8_t* in, uint8_t* out, int64_t frames)> mixBlock;
  // Generators: how much to generate, in milliseconds.
  double generateMs = 0;
};

enum class EffectOutcome {
  kNothing,          // preconditions unmet: nothing happened
  kDone,             // a history step was taken (also after Stop)
  kCancelled,        // the document stayed as it was
  kFailed,           // a file could not be made or written: `error`
  kComponentFailed,  // a processor failed; the document stayed as it was
  kRefused,          // not on this document: `error`
  kPreview,          // the processors were configured and playback asked for
  kPreviewFailed,    // ... and playback failed
  kAdjusted,         // the running preview got the new parameters
};

struct EffectResult {
  EffectOutcome outcome = EffectOutcome::kNothing;
  ErrorNumber error = kErrNone;
};

// The smoothing flag for a selection of `frames` frames at `rate`: on only when
// the switch is on and the selection is at least as long as each edge.
bool SmoothingApplies(const document::Smoothing& smoothing, int64_t frames, int32_t rate);

EffectResult RunEffect(document::Document& doc, document::OperationObserver& observer,
                       const EffectJob& job);

}  // namespace qel::processing
