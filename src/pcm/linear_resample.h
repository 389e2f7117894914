// The fast resampler: linear interpolation between neighbouring input samples,
// with the output time carried across blocks so that a document converted in
// many blocks has no gap or repeat at block boundaries.
//
// All channels of a stream share one clock, so the positions of a block's
// outputs (input index and interpolation weight) are planned once and then
// applied to every channel.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace PCM_CODEC {

// The clock of a stream: time of the next output relative to the block start,
// in seconds. Zero only before the first block: afterwards the block start is
// the time of the previous block's last sample.
struct LinearClock {
  double offset = 0.0;
};

// Where the outputs of one block fall.
struct LinearPlan {
  std::vector<std::uint32_t> index;  // input sample b = x[index]; a is the one before
  std::vector<double> weight;        // of b: y = a + (b - a) * weight
  std::size_t interpolated = 0;      // outputs inside the block
  std::size_t planned = 0;           // outputs the block owes; the rest are extrapolated
};

// Plans a block of n input samples and advances the clock past it.
void PlanLinearBlock(LinearClock& clock, std::size_t n, double inRate, double outRate,
                     LinearPlan& plan);

// What one channel carries between blocks.
struct LinearChannelState {
  double last = 0.0;                     // last input sample of the previous block
  std::array<std::int32_t, 3> recent{};  // last outputs, for extrapolation
  std::size_t produced = 0;
};

// Applies a plan to one channel of n natural-range samples (integers held as
// doubles). Outputs are scaled by 0.999, truncated toward zero and clipped to
// -limit…limit; outputs planned past the block's last sample (rounding at the
// edge) are extrapolated from the three before them. Writes plan.planned samples.
void ApplyLinearPlan(const LinearPlan& plan, std::span<const double> x, std::int32_t limit,
                     LinearChannelState& state, std::int32_t* out);

}  // namespace PCM_CODEC
