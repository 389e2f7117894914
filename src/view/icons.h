// The 32 x 32 speaker icons shown on the lanes when channel labels are on. They
// are drawn here as small vector pictures under their resource numbers: a
// loudspeaker with the speaker's short name.
#pragma once

#include <array>
#include <cstdint>

#include "view/graphics.h"
#include "view/view_source.h"

namespace qel::view {

// Resource number of the icon for a speaker bit; 0 for a speaker without one.
int IconResourceForSpeaker(uint32_t speakerBit);
// The speaker bit of each channel in storage order: the mask's set bits, lowest
// first (0 for channels the mask does not name).
std::array<uint32_t, kMaxChannels> SpeakersOf(uint32_t channelsMask);
// The icon of a resource number (221 ... 229); a transparent picture for others.
Bitmap MakeSpeakerIcon(int resource);

}  // namespace qel::view
