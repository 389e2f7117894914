// The shape every effect processor has, whatever its kind: parameters P1, P2, …
// are set, Start resets the state for a run, then the blocks of one channel pass
// through Process in order; the final block is marked so that processors that
// hold samples back (a reverb tail, a filter's latency) can emit them.
//
// Samples are 64-bit floats in the integer scale of the document's sample size
// (StreamSetup::fullScale is the magnitude of full scale). One instance serves
// one channel; different instances may run on different threads at once, so a
// processor keeps no state outside itself.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace qel::effects {

// A parameter as the control sends it: numbers (integers and booleans as their
// double value, a true boolean as −1), arrays of doubles, or text.
using ParamValue = std::variant<double, std::vector<double>, std::u16string>;

struct StreamSetup {
  double sampleRate = 44100;
  int32_t bitsPerSample = 16;
  // 2^(bits − 1). Kinds whose result depends on the absolute level receive
  // 24-bit samples divided by 256, so this holds for them as well.
  double fullScale = 32768;
};

// Where a block lies in the range being processed.
struct BlockInfo {
  int64_t position = 0;     // frames of the range before this block
  int64_t rangeFrames = 0;  // frames in the whole range; 0 when not known
  bool last = false;        // the final block of the run
};

class Processor {
 public:
  virtual ~Processor() = default;
  // Sets Pindex (1-based). False when the kind has no such parameter or the
  // value has the wrong type; the processor is then unchanged.
  virtual bool SetParam(int index, const ParamValue& value) = 0;
  // Starts a run with the parameters set so far. Parameters set later (live
  // adjustment while previewing) take effect from the next block on.
  virtual void Start(const StreamSetup& setup) = 0;
  // Kinds that must see the whole range before writing anything (normalize)
  // answer true; every block of the range then passes through Measure, after
  // Start and before the first Process.
  virtual bool Measures() const { return false; }
  virtual void Measure(std::span<const double> /*in*/) {}
  // One block in; its output appended to out (out arrives empty). The output
  // is as long as the input except where a kind says otherwise (a tail after
  // the last block).
  virtual void Process(std::span<const double> in, const BlockInfo& info,
                       std::vector<double>& out) = 0;
};

// Reads a number parameter; false for arrays and text.
inline bool AsNumber(const ParamValue& value, double& out) {
  if (const double* d = std::get_if<double>(&value)) {
    out = *d;
    return true;
  }
  return false;
}

}  // namespace qel::effects
