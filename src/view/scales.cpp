#include "view/scales.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace qel::view {

NiceNumber ChooseNiceNumber(double raw) {
  NiceNumber best;
  if (!(raw > 0) || !std::isfinite(raw)) return best;
  const double y = std::log10(raw);
  double bestDistance = 0;
  bool first = true;
  for (int base : {1, 2, 5}) {
    const double t = y - std::log10(static_cast<double>(base));
    double e = std::ceil(t);
    if (e - t > 0.5) e = std::floor(t);
    const double distance = std::fabs(e - t);
    if (first || distance < bestDistance) {
      first = false;
      bestDistance = distance;
      best.base = base;
      best.exponent = static_cast<int>(e);
    }
  }
  best.step = best.base * std::pow(10.0, best.exponent);
  return best;
}

int TimePrecisionForRange(double d) {
  if (d > 120) return 0;
  if (d > 1) return 1;
  const double g = std::log10(d);
  for (int p = 2; p <= 7; ++p)
    if (g > 1 - p) return p;  // p = 2 needs g > -1, p = 3 g > -2, ...
  return 0;
}

int TimePrecisionForStep(double step) {
  if (step >= 1) return 0;
  const double l = std::log10(step);
  for (int p = 1; p <= 6; ++p)
    if (l >= -p) return p;
  return 7;
}

std::string FormatTimeLabel(double s, int p, bool minuteFormat) {
  if (p < 0 || p > 7) return {};
  char text[64];
  if (!minuteFormat) {
    std::snprintf(text, sizeof text, "%.*f", p, s);
    return text;
  }
  const int h = static_cast<int>(std::trunc(s / 3600));
  const int m = static_cast<int>(std::trunc((s - 3600.0 * h) / 60));
  const double sec = s - 3600.0 * h - 60.0 * m;
  int whole = static_cast<int>(std::trunc(sec));
  const int scale = static_cast<int>(std::lround(std::pow(10.0, p)));
  int fraction = static_cast<int>(std::trunc((sec - whole) * scale + 0.5));
  if (fraction == scale) {
    fraction = 0;
    ++whole;
  }
  if (h >= 1) {
    // From three decimals on, the seconds are set off by a dot.
    if (p == 0)
      std::snprintf(text, sizeof text, "%d:%.2d:%.2d", h, m, whole);
    else if (p <= 2)
      std::snprintf(text, sizeof text, "%d:%.2d:%.2d.%.*d", h, m, whole, p, fraction);
    else
      std::snprintf(text, sizeof text, "%d:%.2d.%.2d.%.*d", h, m, whole, p, fraction);
  } else {
    if (p == 0)
      std::snprintf(text, sizeof text, "%d:%.2d", m, whole);
    else
      std::snprintf(text, sizeof text, "%d:%.2d.%.*d", m, whole, p, fraction);
  }
  return text;
}

TimeScale ComputeTimeScale(const TimeScaleInput& in) {
  TimeScale t;
  t.valid = true;
  if (in.documentLoaded) {
    t.start = static_cast<double>(in.viewStart);
    t.end = static_cast<double>(in.viewEnd);
    if (in.type == 2 || in.type == 3) {
      const double rate = std::max(in.sampleRate, 1);
      t.start /= rate;
      t.end /= rate;
      if (in.type == 3) {
        t.start *= in.frameRate;
        t.end *= in.frameRate;
      }
    }
  }
  const double d = t.end - t.start;
  std::string sample;
  if (in.type == 2)
    sample = FormatTimeLabel(t.end, TimePrecisionForRange(d),
                             in.documentLoaded && in.documentSeconds > 3);
  else
    sample = std::to_string(static_cast<int64_t>(t.end * (in.type == 3 ? 10 : 100)));
  t.labelLength = std::max(static_cast<int>(sample.size()), 1);

  const int columnsPerEm =
      in.emSize > 0 ? static_cast<int>(std::trunc(in.width / in.emSize)) : in.width;
  const int n = std::max(columnsPerEm / (t.labelLength + 2), 1);
  double s = d / n;
  int power = 0;
  if (in.type == 2 && s > 1) {
    for (power = 2; power > 0; --power)
      if (std::trunc(s / std::pow(60.0, power)) > 0) break;
    s /= std::pow(60.0, power);
  }
  const NiceNumber nice = ChooseNiceNumber(s);
  t.step = nice.step;
  t.subdivisions = nice.base == 1 ? (in.type == 2 ? 2 : 5) : nice.base;
  if (in.type == 2 && power > 0) t.step *= std::pow(60.0, power);
  t.roundedStart = t.step > 0 ? std::floor(t.start / t.step) * t.step : t.start;
  if ((in.type == 1 || in.type == 3) && t.step <= 1) {
    t.step = 1;
    t.subdivisions = 1;
  }
  return t;
}

int64_t LevelRangeTop(int viewType, int type, int sampleSize, int verticalZoom, int sampleRate) {
  if (viewType == 1) return sampleRate / 2;
  int64_t r = type == 2 ? 100 : (int64_t{1} << (std::clamp(sampleSize, 8, 32) - 1)) - 1;
  r = r * verticalZoom / 100;
  return r > 0 ? r : 1;
}

LevelScale ComputeLevelScale(const LevelScaleInput& in) {
  LevelScale l;
  l.top = LevelRangeTop(in.viewType, in.type, in.sampleSize, in.verticalZoom, in.sampleRate);
  int n = in.cellHeight > 0 ? static_cast<int>(in.waveformHeight / (in.cellHeight * 3.2)) : 1;
  if (in.anyVisible) n = static_cast<int>(n * in.fraction);
  l.ticks = std::max(n, 1);
  const int64_t raw = std::max<int64_t>(l.top / l.ticks, 1);
  const NiceNumber nice = ChooseNiceNumber(static_cast<double>(raw));
  l.step = std::max<int64_t>(std::llround(nice.step), 1);
  l.subdivisions = nice.base == 1 ? (in.type == 2 ? 2 : 5) : nice.base;
  return l;
}

int DecibelLabel(int64_t v, int64_t rangeTop) {
  return static_cast<int>(
      std::ceil(20.0 * std::log10(static_cast<double>(v) / static_cast<double>(rangeTop))));
}

int64_t DecibelLevel(int label, int64_t rangeTop) {
  return static_cast<int64_t>(std::trunc(rangeTop * std::pow(10.0, label / 20.0)));
}

LevelTick MakeLevelTick(int64_t v, int64_t rangeTop, bool decibels) {
  if (!decibels) return {std::to_string(v), v, false};
  if (v == 0) return {"-\u221E", 0, true};
  const int db = DecibelLabel(v, rangeTop);
  char text[16];
  std::snprintf(text, sizeof text, "%d", db);
  return {text, DecibelLevel(db, rangeTop), false};
}

}  // namespace qel::view
