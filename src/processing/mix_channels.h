// Channel mixing computed by the control: every enabled output channel becomes
// a weighted sum of all input channels, frame by frame, over the selection.
#pragma once

#include <array>
#include <functional>

#include "document/document.h"
#include "processing/effect_frame.h"

namespace qel::processing {

// gain(o, i) = gains[o × 18 + i]: output channel o, input channel i (factors, not percent).
using ChannelGains = std::array<double, document::kMaxChannels * document::kMaxChannels>;

// Sums in double over the stored values (8-bit unsigned, 24-bit in the upper
// bytes of a 32-bit value), rounds to nearest and clips to the size's range
// (8-bit 0..255, 16-bit −32767..32767, 24- and 32-bit ±(2^31 − 1)). Channels
// outside the operation keep their bytes. In preview mode it only asks for
// playback.
EffectResult MixChannels(document::Document& doc, document::OperationObserver& observer,
                         const ChannelGains& gains, int32_t previewMode,
                         const std::function<bool()>& play);

}  // namespace qel::processing
