#include "view/layout.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace qel::view {

int LaneSet::VisibleCount() const {
  int n = 0;
  for (int c = 0; c < std::min(channels, kMaxChannels); ++c)
    if (visible[c]) ++n;
  return n;
}

namespace {

// The widest label the level scale must hold, by what it shows.
std::string LevelSampleLabel(const LayoutInput& in) {
  if (in.viewType == 1) return std::to_string(in.sampleRate);
  switch (in.scaleYType) {
    case 3:
      return "1000";
    case 2:
      return "norm";
    default:
      return std::to_string((int64_t{1} << (std::clamp(in.sampleSize, 8, 32) - 1)) - 1);
  }
}

}  // namespace

bool ComputeLayout(const LayoutInput& in, Layout* layout) {
  if (in.width < 2 && in.height < 2) return false;
  Layout& l = *layout;
  l.clientWidth = in.width;
  l.clientHeight = in.height;
  l.fontX = in.fontX;
  l.fontY = in.fontY;
  l.stripHeight = l.laneMargin = std::max(in.height / 80, 8);
  l.left = 0;
  l.top = 0;

  int scaleWidth = 0;
  if (in.scaleYVisible) {
    const std::string label = LevelSampleLabel(in);
    scaleWidth = static_cast<int>((static_cast<double>(label.size()) + 1) * in.fontY.emSize + 2);
    if (in.sampleSize == 8) scaleWidth += 20;
  }
  int scaleHeight = in.scaleXVisible ? 2 * in.fontX.cellHeight + 2 : 0;
  if (in.width - scaleWidth - 7 < 180) scaleWidth = 0;
  if (in.height - scaleHeight - 5 < 60) scaleHeight = 0;
  l.timeScaleHeight = scaleHeight;

  l.top = l.stripHeight + 5;
  l.bottom = std::max(in.height - scaleHeight - 5, 0);
  if (in.scaleYOrientation == 2) {
    l.left = scaleWidth + 5;
    l.right = in.width - 2;
    if (scaleWidth < 1) {
      l.left -= 2;
      scaleWidth = -2;
    }
  } else {
    l.left = 2;
    l.right = std::max(in.width - scaleWidth - 5, 0);
    if (scaleWidth < 1) {
      l.right += 2;
      scaleWidth = -2;
    }
  }
  l.levelScaleWidth = scaleWidth;
  l.width = l.right - l.left;
  l.height = std::max(l.bottom - l.top, 0);
  l.progressTable = ProgressTable(l.width);
  return true;
}

void ComputeLaneHeights(Layout& l, const LaneSet& lanes) {
  if (l.height < 2) return;
  const int visible = lanes.VisibleCount();
  l.laneSpace = l.height - 2 * l.laneMargin - (visible - 1) * lanes.interval;
  for (int c = 0; c < kMaxChannels; ++c) {
    const bool shown = c < lanes.channels && lanes.visible[c];
    l.laneHeight[c] = shown ? static_cast<int>(l.laneSpace * l.fraction[c]) : 0;
  }
}

void SplitLanesEqually(Layout& l, const LaneSet& lanes) {
  const int visible = lanes.VisibleCount();
  for (int c = 0; c < kMaxChannels; ++c) {
    const bool shown = c < lanes.channels && lanes.visible[c];
    l.fraction[c] = shown && visible > 0 ? 1.0 / visible : 0.0;
  }
  ComputeLaneHeights(l, lanes);
}

std::array<int, kMaxChannels> LaneTops(const Layout& l, const LaneSet& lanes) {
  std::array<int, kMaxChannels> tops;
  tops.fill(-1);
  int last = -1;
  int y = l.top + l.laneMargin;
  for (int c = 0; c < std::min(lanes.channels, kMaxChannels); ++c) {
    if (!lanes.visible[c]) continue;
    tops[c] = y;
    y += l.laneHeight[c] + lanes.interval;
    last = c;
  }
  if (last >= 0) tops[last] = l.top + l.height - l.laneMargin - l.laneHeight[last];
  return tops;
}

int PositionToColumn(int64_t p, int64_t vs, int64_t ve, int width) {
  if (ve == vs) return 0;
  const double x = static_cast<double>(p - vs) / static_cast<double>(ve - vs) * width + 0.5;
  const double t = std::trunc(x);
  if (t < 0) return 0;
  if (t > width) return width;
  return static_cast<int>(t);
}

int64_t ColumnToPosition(int x, int64_t vs, int64_t ve, int width) {
  if (x >= width) return ve;
  if (x <= 0) return vs;
  // The span is one frame longer than the view, so the last columns still
  // reach the view end; the result is a whole frame.
  const double offset = static_cast<double>(ve - vs + 1) * x / width;
  return vs + static_cast<int64_t>(std::floor(offset));
}

double FullScale(int sampleSize, int verticalZoom) {
  const int bits = sampleSize == 24 ? 32 : std::clamp(sampleSize, 8, 32);
  const double top = static_cast<double>((int64_t{1} << (bits - 1)) - 1);
  return top * 1.07 * verticalZoom / 100.0;
}

int AmplitudeOffset(double value, int half, double fullScale) {
  const double raw = std::trunc(value / fullScale * half);
  if (raw > half) return half;
  if (raw < -half) return -half;
  return static_cast<int>(raw);
}

int AmplitudeToRow(double value, int laneTop, int laneHeight, int sampleSize, int verticalZoom) {
  const int half = laneHeight / 2;
  return laneTop + half - AmplitudeOffset(value, half, FullScale(sampleSize, verticalZoom));
}

int ClampVerticalZoom(int percent) {
  if (percent < 1) return 10;
  return std::min(percent, 1000);
}

void ComputeSlider(Layout& l, int64_t vs, int64_t ve, int64_t total) {
  if (total <= 0) {
    l.sliderLeft = l.left;
    l.sliderWidth = l.width;
    return;
  }
  const double t = static_cast<double>(total);
  l.sliderLeft = l.left + static_cast<int>(static_cast<double>(vs) / t * l.width + 0.5);
  l.sliderWidth = std::max(static_cast<int>(static_cast<double>(ve - vs) / t * l.width + 0.5), 3);
}

void ComputeSelectionColumns(Layout& l, int64_t ss, int64_t se, int64_t vs, int64_t ve) {
  const int w = l.width;
  int start = ss >= vs ? PositionToColumn(ss, vs, ve, w) : 0;
  int end = se <= ve ? PositionToColumn(se, vs, ve, w) : w;
  if (se < vs || ss > ve) start = end = 0;
  start = std::clamp(start, 0, std::max(w, 0));
  end = std::clamp(end, 0, std::max(w, 0));
  if (start > end) start = 0;
  l.selectionStart = start;
  l.selectionEnd = end;
}

std::vector<int> ProgressTable(int width) {
  std::vector<int> table(static_cast<size_t>(std::max(width, 0)) + 1, 0);
  if (width <= 0) return table;
  for (int i = 0; i <= width; ++i)
    table[i] = std::abs(static_cast<int>(std::sin(i * 62.831852 / width) * 80));
  return table;
}

}  // namespace qel::view
