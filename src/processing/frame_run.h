// Runs over the selection for the single components that see whole
// interleaved frames: the silence remover and the batch chain write a new
// version of the selection from what they give back; the tempo analyser only
// reads it. A Stop, or the status word reset, cancels the two that write (they
// hold frames back, so half a run would drop some): the document stays as it
// was.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "document/document.h"
#include "processing/effect_frame.h"

namespace qel::processing {

// A single component as these runs drive it. A false result means the
// component failed; its implementation keeps what the host must be told.
class FrameComponent {
 public:
  virtual ~FrameComponent() = default;
  // The next Process gets the final block.
  virtual bool SetLastBlock() = 0;
  // Whole frames of the document's format in; *out what the component gave
  // (data() null: no output at all).
  virtual bool Process(std::span<const uint8_t> frames, double timeStampMs, double durationMs,
                       std::span<const uint8_t>* out) = 0;
};

enum class FrameRunKind {
  kDeleteSilence,  // the kept frames replace the selection
  kBatch,          // the chain's output replaces the selection; an output under 2 bytes ends it
  kTempo,          // reads the selection, changes nothing
  kRecognize,      // reads the enabled channels of the selection, changes nothing
};

struct FrameJob {
  FrameRunKind kind = FrameRunKind::kTempo;
  int32_t previewMode = 0;
  FrameComponent* component = nullptr;
  // Sends the parameters and Start once the preconditions hold; the outcome
  // kDone to go on, anything else ends the run with it.
  std::function<EffectResult()> configure;
  std::function<bool()> play;
  // Reading runs: what the component gave back for each block.
  std::function<void(std::span<const uint8_t> output)> collect;
};

EffectResult RunFrames(document::Document& doc, document::OperationObserver& observer,
                       const FrameJob& job);

}  // namespace qel::processing
