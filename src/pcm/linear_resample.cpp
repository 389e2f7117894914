#include "pcm/linear_resample.h"

#include <algorithm>
#include <cmath>

namespace PCM_CODEC {

void PlanLinearBlock(LinearClock& clock, std::size_t n, double inRate, double outRate,
                     LinearPlan& plan) {
  plan.interpolated = 0;
  plan.planned = 0;
  if (n == 0) return;
  const double ti = 1.0 / inRate;
  const double to = 1.0 / outRate;
  const double offset = clock.offset;
  const double f = offset != 0.0 ? 1.0 : 0.0;
  const double last = (f + static_cast<double>(n) - 1.0) * ti;  // time of the block's last sample
  // floor() equals truncation whenever the block reaches the next output time;
  // for a block that ends before it (tiny blocks, strong downsampling) floor
  // plans no output where truncation would invent one.
  const auto m = static_cast<std::size_t>(std::max<std::int64_t>(
      0, static_cast<std::int64_t>(std::floor(outRate * (last - offset))) + 1));
  if (plan.index.size() < m) {
    plan.index.resize(m);
    plan.weight.resize(m);
  }
  std::size_t i = 0;
  std::size_t j = 0;
  double edge = f * ti;            // time of input sample i
  double before = (f - 1.0) * ti;  // time of the sample before it
  for (; j < m; ++j) {
    const double t = static_cast<double>(j) * to + offset;
    while (edge < t) {
      if (++i >= n) break;
      before = edge;  // (i + f - 1) * ti, exactly: the products of consecutive integers
      edge = (static_cast<double>(i) + f) * ti;
    }
    if (i >= n) break;
    plan.index[j] = static_cast<std::uint32_t>(i);
    plan.weight[j] = (t - before) / ti;
  }
  plan.interpolated = j;
  plan.planned = m;
  clock.offset = offset + static_cast<double>(m) * to - last;
}

void ApplyLinearPlan(const LinearPlan& plan, std::span<const double> x, std::int32_t limit,
                     LinearChannelState& state, std::int32_t* out) {
  const std::size_t m = plan.planned;
  if (x.empty() || m == 0) {
    if (!x.empty()) state.last = x.back();
    return;
  }
  const double lim = limit;
  const double* xs = x.data();
  const std::uint32_t* index = plan.index.data();
  const double* weight = plan.weight.data();
  std::size_t j = 0;
  // Outputs before the first input sample interpolate from the previous block.
  for (; j < plan.interpolated && index[j] == 0; ++j) {
    const double y = state.last + (xs[0] - state.last) * weight[j];
    out[j] = static_cast<std::int32_t>(std::clamp(y * 0.999, -lim, lim));
  }
  for (; j < plan.interpolated; ++j) {
    const double a = xs[index[j] - 1];
    const double b = xs[index[j]];
    // Clamping first makes the truncation branch-free; the limits are integers.
    out[j] = static_cast<std::int32_t>(std::clamp((a + (b - a) * weight[j]) * 0.999, -lim, lim));
  }
  auto recent = [&](std::size_t k, std::size_t back) -> double {
    if (k >= back) return out[k - back];
    const std::size_t before = back - k;  // 1, 2 or 3 samples before this block
    return before <= std::min<std::size_t>(state.produced, 3) ? state.recent[3 - before] : 0.0;
  };
  for (; j < m; ++j) {
    const double y = recent(j, 3) - 3.0 * recent(j, 2) + 3.0 * recent(j, 1);
    out[j] = static_cast<std::int32_t>(std::clamp(std::trunc(y), -lim, lim));
  }
  state.last = x.back();
  for (std::size_t k = m > 3 ? m - 3 : 0; k < m; ++k) {
    state.recent = {state.recent[1], state.recent[2], out[k]};
  }
  state.produced += m;
}

}  // namespace PCM_CODEC
