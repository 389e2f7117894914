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

#include <algorithm>
#include <array>
#include <cmath>
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
  // False for kinds whose output is not as long as their input over a run
  // (time stretch, resampling): their output frames do not stand for the input
  // frames at the same place, so the edges are not cross-faded with the input.
  // Kinds that hold samples back (latency) and give them out with the last
  // block still preserve the length. Either way, how many frames each Process
  // gives must depend only on the lengths of the blocks and the parameters,
  // never on the signal: the channels of a document run in separate instances
  // and must stay in step.
  virtual bool PreservesLength() const { return true; }
};

// Generators are processors too: each call gets a block of zeros as long as
// the chunk to generate (BlockInfo::position counts the frames generated
// before it, rangeFrames is 0) and gives as many frames.

// The format of interleaved PCM blocks (the document's own samples).
struct PcmFormat {
  double sampleRate = 44100;
  int32_t channels = 1;
  int32_t bitsPerSample = 16;  // 8-bit unsigned around 128, the others signed little-endian
  int32_t BlockAlign() const { return bitsPerSample / 8 * channels; }
};

// The single-instance kinds that see all channels at once, as interleaved PCM:
// the silence remover, the tempo analyser, the batch chain.
class FrameProcessor {
 public:
  virtual ~FrameProcessor() = default;
  virtual bool SetParam(int index, const ParamValue& value) = 0;
  virtual void Start(const PcmFormat& format) = 0;
  // Whole frames in; the output (whole frames, possibly fewer or none)
  // appended to out. `last`: the final block of the run.
  virtual void Process(std::span<const uint8_t> in, bool last, std::vector<uint8_t>& out) = 0;
  // What an analysing kind found (the tempo in beats per minute); 0 before.
  virtual double Result() const { return 0.0; }
  // Why the last SetParam was refused, in words for the host (may be empty).
  virtual std::string Problem() const { return {}; }
};

// Reads a number parameter; false for arrays and text.
inline bool AsNumber(const ParamValue& value, double& out) {
  if (const double* d = std::get_if<double>(&value)) {
    out = *d;
    return true;
  }
  return false;
}

// N numeric parameters P1…PN with defaults; only finite numbers get in, so a
// NaN or an infinity never reaches a processor's state or an engine.
template <int N>
class Params {
 public:
  explicit Params(const std::array<double, N>& defaults) : values_(defaults) {}
  bool Set(int index, const ParamValue& value) {
    double number = 0;
    if (index < 1 || index > N || !AsNumber(value, number) || !std::isfinite(number)) return false;
    values_[static_cast<size_t>(index - 1)] = number;
    return true;
  }
  double operator[](int index) const { return values_[static_cast<size_t>(index - 1)]; }

 private:
  std::array<double, N> values_;
};

// The sample rate a processor works at: a nonsensical setup falls back to
// 44.1 kHz rather than dividing by zero.
inline double WorkingRate(const StreamSetup& setup) {
  const double rate = setup.sampleRate;
  return std::isfinite(rate) && rate >= 1000 ? std::min(rate, 1536000.0) : 44100.0;
}

}  // namespace qel::effects
