// The DTMF components as the effect components' module offers them: the
// generator as a processor kind whose custom frequency pairs arrive as its
// ninth parameter, and the recogniser as a single component that answers each
// block with the symbols it found.
#pragma once

#include <memory>

#include "processor.h"

namespace qel::dtmf {

// The generator; P9 takes the custom pairs (an array of 32 frequencies).
std::unique_ptr<effects::Processor> MakeDtmfGeneratorKind();

// The recogniser over interleaved PCM: P1 method, P2 quality (both read at
// Start). Each block's output is the symbols found so far and not yet given,
// as 32-bit indices into "0123456789*#abcd"; the block marked last also
// gives those found while finishing.
std::unique_ptr<effects::FrameProcessor> MakeDtmfRecognizerKind();

}  // namespace qel::dtmf
