// The DTMF generator: a dial string laid out in time as tone, break, tone,
// break…, with silence for each pause character, mixed over the (silent)
// input. Parameters and timing are described in README.md.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "processor.h"

namespace qel::dtmf {

// The generator's own interface: a processor that also takes the custom
// frequency pairs used when P1 (TypeSignals) is 1.
class DtmfGenerator : public effects::Processor {
 public:
  // Low and high frequency in Hz of each symbol, pair i for symbol i of
  // "0123456789*#abcd": 32 values. A shorter list replaces only the pairs it
  // gives (a lone last value only that pair's low frequency); values past 32
  // are ignored. Applied like a parameter: at Start, or from the next block
  // when set during a run. Frequencies are clamped to 0 … rate/2 at Start.
  virtual void SetCustomSignals(std::span<const int32_t> pairs) = 0;
};

// Always a DtmfGenerator: reach SetCustomSignals through AsDtmfGenerator.
std::unique_ptr<effects::Processor> MakeDtmfGenerator();

// The DtmfGenerator behind a processor made by MakeDtmfGenerator; null for any
// other processor.
inline DtmfGenerator* AsDtmfGenerator(effects::Processor* processor) {
  return dynamic_cast<DtmfGenerator*>(processor);
}

}  // namespace qel::dtmf
