// The batch component: a chain of effects named in XML, run over interleaved
// blocks of the document, each channel through its own instances.
#pragma once

#include <memory>

#include "processor.h"

namespace qel::effects {

// P1: the XML text. Refused (with Problem() saying why) when it is not a
// well-formed <effects> list of known elements with valid attributes.
std::unique_ptr<FrameProcessor> MakeBatch();

}  // namespace qel::effects
