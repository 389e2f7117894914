// The effect processors of the control: for every kind, one component per
// channel (up to the most channels a document has had), each with the data
// object that carries its input. They are made when a document is created or
// opened and kept until the control ends, keeping their configuration between
// runs. Each channel's processor is offered to the block loop as a
// ChannelProcessor; a component call that fails keeps its result and error
// description, so the member can hand exactly that to the host.
#pragma once

#include <array>
#include <memory>
#include <utility>
#include <vector>

#include "com/variant.h"
#include "core/component_failure.h"
#include "document/history.h"
#include "external/effects.h"
#include "processing/effect_frame.h"
#include "processing/frame_run.h"

namespace qel {

// One parameter put: Param(index) := value.
struct ParamPut {
  int32_t index;
  com::Variant value;
};

class EffectProcessors {
 public:
  EffectProcessors();
  ~EffectProcessors();
  EffectProcessors(const EffectProcessors&) = delete;
  EffectProcessors& operator=(const EffectProcessors&) = delete;

  // Makes the processors of every kind for channels not yet served. False
  // when a component cannot be made.
  bool Ensure(int32_t channels);

  // Sends the smoothing settings and the parameters (in the effect's order)
  // and Start to one channel's processor of a kind.
  bool Configure(processing::EffectKind kind, int32_t channel,
                 const processing::SmoothingSent& smoothing, const std::vector<ParamPut>& params,
                 bool paramsFirst);
  bool SendParams(processing::EffectKind kind, int32_t channel,
                  const std::vector<ParamPut>& params);
  // The block loop's view of one channel's processor; null when there is none.
  processing::ChannelProcessor* Channel(processing::EffectKind kind, int32_t channel,
                                        int32_t sampleRate, int32_t sampleSize);

  // The single components, made on first use (null when one cannot be made).
  enum class SingleKind { kSilenceRemover, kBatch, kTempo, kDtmf, kCount };
  class FrameAdapter;
  FrameAdapter* Single(SingleKind kind, const document::DocumentFormat& format);
  // Its parameters, then Start.
  bool Configure(FrameAdapter& single, const std::vector<ParamPut>& params);
  bool Result(FrameAdapter& single, double* value);
  static processing::FrameComponent* Component(FrameAdapter* single);
  // DTMF on: its generators for `channels` channels (and for every later
  // document) and its recogniser. False, and DTMF stays off, when one of them
  // cannot be made.
  bool EnableDtmf(int32_t channels, const document::DocumentFormat& format);
  bool DtmfEnabled() const { return dtmf_; }

  // The first failure since the last call, with its error description put
  // back on this thread; S_OK when nothing failed.
  com::HRESULT TakeFailure();

  class Adapter;

 private:
  Adapter* Find(processing::EffectKind kind, int32_t channel) const;

  std::unique_ptr<ComponentFailure> failure_;
  bool dtmf_ = false;
  std::array<std::unique_ptr<FrameAdapter>, static_cast<size_t>(SingleKind::kCount)> singles_;
  std::array<std::vector<std::unique_ptr<Adapter>>,
             static_cast<size_t>(processing::EffectKind::kCount)>
      kinds_;
};

}  // namespace qel
