#include "envelope.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "interpolation.h"
#include "processors.h"

namespace qel::effects {

std::unique_ptr<Processor> MakeEnvelope() {
  return std::make_unique<level::Envelope>();
}

namespace level {

namespace {

// The smallest frame f with f·msPerFrame ≥ ms, the same comparison Fill makes.
int64_t FirstFrameAtOrAfter(double ms, double msPerFrame) {
  const double estimate = std::ceil(ms / msPerFrame);
  // Knots 2^52 frames away are beyond any range: no need to be exact there.
  constexpr double kFar = 0x1p52;
  if (!(std::abs(estimate) < kFar)) {
    return static_cast<int64_t>(estimate > 0 ? kFar : -kFar);
  }
  auto f = static_cast<int64_t>(estimate);
  while (static_cast<double>(f - 1) * msPerFrame >= ms) {
    --f;
  }
  while (static_cast<double>(f) * msPerFrame < ms) {
    ++f;
  }
  return f;
}

}  // namespace

bool Envelope::SetParam(int index, const ParamValue& value) {
  double d = 0;
  switch (index) {
    case 1:
      if (!ReadFiniteArray(value, times_)) return false;
      break;
    case 2:
      if (!ReadFiniteArray(value, percents_)) return false;
      break;
    case 3:
      if (!ReadFinite(value, d) || d != std::round(d) || d < kLinear || d > kMonotone) {
        return false;
      }
      shape_ = static_cast<int>(d);
      break;
    case 4:
      if (!ReadFinite(value, steepness_)) return false;
      break;
    case 5:
      return ReadFinite(value, selectionMs_);
    default:
      return false;
  }
  pending_ = Build(times_, percents_, shape_, steepness_);
  pendingReady_ = true;
  return true;
}

Envelope::Curve Envelope::Build(const std::vector<double>& times,
                                const std::vector<double>& percents, int shape, double steepness) {
  Curve curve;
  if (times.empty() || times.size() != percents.size()) return curve;
  std::vector<std::pair<double, double>> points(times.size());
  for (size_t i = 0; i < times.size(); ++i) {
    points[i] = {times[i], std::clamp(percents[i], 0.0, kMaxPercent) / 100.0};
  }
  // Points at the same time collapse into the one given last.
  std::stable_sort(points.begin(), points.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::pair<double, double>> distinct;
  distinct.reserve(points.size());
  for (const auto& p : points) {
    if (!distinct.empty() && distinct.back().first == p.first) {
      distinct.back() = p;
    } else {
      distinct.push_back(p);
    }
  }
  const auto m = static_cast<alglib::ae_int_t>(distinct.size());
  if (m == 1) {
    curve.knots = {distinct[0].first};
    curve.first = curve.last = distinct[0].second;
    return curve;
  }
  std::vector<double> x(distinct.size());
  std::vector<double> y(distinct.size());
  for (size_t i = 0; i < distinct.size(); ++i) {
    x[i] = distinct[i].first;
    y[i] = distinct[i].second;
  }
  try {
    alglib::real_1d_array ax;
    alglib::real_1d_array ay;
    ax.setcontent(m, x.data());
    ay.setcontent(m, y.data());
    alglib::spline1dinterpolant spline;
    if (shape == kAkima && m < kAkimaMinPoints) shape = kMonotone;
    switch (shape) {
      case kCubic:
        // Natural ends: no curvature at the first and last points.
        alglib::spline1dbuildcubic(ax, ay, m, 2, 0.0, 2, 0.0, spline);
        break;
      case kAkima:
        alglib::spline1dbuildakima(ax, ay, m, spline);
        break;
      case kCardinal: {
        // Cardinal spline: the tangent at each point is the slope between
        // its neighbours (one-sided at the ends), scaled by 1 − tension.
        const double scale = 1.0 - std::clamp(steepness, 0.0, 100.0) / 100.0;
        std::vector<double> tangents(distinct.size());
        const size_t last = distinct.size() - 1;
        for (size_t i = 0; i <= last; ++i) {
          const size_t lo = i == 0 ? 0 : i - 1;
          const size_t hi = i == last ? last : i + 1;
          tangents[i] = scale * (y[hi] - y[lo]) / (x[hi] - x[lo]);
        }
        alglib::real_1d_array ad;
        ad.setcontent(m, tangents.data());
        alglib::spline1dbuildhermite(ax, ay, ad, m, spline);
        break;
      }
      case kMonotone:
        alglib::spline1dbuildmonotone(ax, ay, m, spline);
        break;
      default:
        alglib::spline1dbuildlinear(ax, ay, m, spline);
        break;
    }
    // The pieces as the spline holds them (the monotone one adds flat
    // pieces outside the points, so its knots are not just the points').
    alglib::ae_int_t knots = 0;
    alglib::real_2d_array table;
    alglib::spline1dunpack(spline, knots, table);
    const alglib::ae_int_t rows = knots - 1;
    curve.knots.resize(static_cast<size_t>(rows) + 1);
    curve.cubics.resize(static_cast<size_t>(rows));
    for (alglib::ae_int_t r = 0; r < rows; ++r) {
      const auto s = static_cast<size_t>(r);
      curve.knots[s] = table[r][0];
      curve.cubics[s] = {table[r][2], table[r][3], table[r][4], table[r][5]};
    }
    curve.knots.back() = table[rows - 1][1];
    // Flat outside the points, at the points' own levels.
    curve.first = distinct.front().second;
    curve.last = distinct.back().second;
  } catch (const alglib::ap_error&) {
    return Curve{};
  }
  return curve;
}

double Envelope::Curve::At(double ms) const {
  if (knots.empty()) return 1.0;
  if (ms < knots.front()) return first;
  if (ms >= knots.back()) return last;
  const auto s =
      static_cast<size_t>(std::upper_bound(knots.begin(), knots.end(), ms) - knots.begin() - 1);
  const double d = ms - knots[s];
  const auto& c = cubics[s];
  return std::max(0.0, c[0] + d * (c[1] + d * (c[2] + d * c[3])));
}

double Envelope::MsPerFrame(int64_t rangeFrames) const {
  if (selectionMs_ > 0 && rangeFrames > 0) {
    return selectionMs_ / static_cast<double>(rangeFrames);
  }
  return 1000.0 / sampleRate_;
}

void Envelope::Start(const StreamSetup& setup) {
  if (pendingReady_) {
    std::swap(curve_, pending_);
    pendingReady_ = false;
  }
  sampleRate_ = setup.sampleRate;
  glideFrames_ = GlideFrames(setup.sampleRate);
  glide_.Reset();
  started_ = false;
}

void Envelope::Fill(int64_t position, std::span<double> gains) const {
  const Curve& c = curve_;
  if (c.knots.empty()) {
    std::fill(gains.begin(), gains.end(), 1.0);
    return;
  }
  const double k = msPerFrame_;
  const size_t m = c.knots.size();
  const int64_t end = position + static_cast<int64_t>(gains.size());
  // Region r holds the frames with exactly r knots at or before them: 0 is
  // before the first point, m after the last, r between knots r − 1 and r.
  size_t r = static_cast<size_t>(
      std::upper_bound(c.knots.begin(), c.knots.end(), static_cast<double>(position) * k) -
      c.knots.begin());
  const double base = static_cast<double>(position);
  int64_t n = position;
  while (n < end) {
    const int64_t next = r < m ? std::clamp(FirstFrameAtOrAfter(c.knots[r], k), n, end) : end;
    double* g = gains.data() + (n - position);
    const auto count = static_cast<size_t>(next - n);
    if (r == 0 || r == m) {
      std::fill(g, g + count, r == 0 ? c.first : c.last);
    } else {
      const double x0 = c.knots[r - 1];
      const auto [c0, c1, c2, c3] = c.cubics[r - 1];
      const double first = static_cast<double>(n - position);
      for (size_t i = 0; i < count; ++i) {
        const double d = (base + (first + static_cast<double>(i))) * k - x0;
        g[i] = std::max(0.0, c0 + d * (c1 + d * (c2 + d * c3)));
      }
    }
    n = next;
    ++r;
  }
}

void Envelope::Process(std::span<const double> in, const BlockInfo& info,
                       std::vector<double>& out) {
  const double msPerFrame = MsPerFrame(info.rangeFrames);
  if (!started_) {
    if (pendingReady_) {
      std::swap(curve_, pending_);
      pendingReady_ = false;
    }
    msPerFrame_ = msPerFrame;
    started_ = true;
  } else if (pendingReady_ || msPerFrame != msPerFrame_) {
    const auto position = static_cast<double>(info.position);
    const double before = curve_.At(position * msPerFrame_) + glide_.Current();
    if (pendingReady_) {
      std::swap(curve_, pending_);
      pendingReady_ = false;
    }
    msPerFrame_ = msPerFrame;
    glide_.Restart(before - curve_.At(position * msPerFrame_), glideFrames_);
  }

  const size_t n = in.size();
  out.resize(n);
  Fill(info.position, out);
  const size_t gliding = std::min<size_t>(n, static_cast<size_t>(glide_.Left()));
  for (size_t i = 0; i < gliding; ++i) {
    out[i] += glide_.At(static_cast<int64_t>(i));
  }
  glide_.Advance(static_cast<int64_t>(gliding));
  const double* x = in.data();
  double* y = out.data();
  for (size_t i = 0; i < n; ++i) {
    y[i] *= x[i];
  }
}

}  // namespace level
}  // namespace qel::effects
