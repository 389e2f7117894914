// Drawing the frame, the slider strip and the lanes: peak lines, the envelope,
// the curve of zoomed-in views with its sample squares, spectral bands, the
// progress wave while a file opens, boundary lines and channel icons.
#include <algorithm>
#include <cmath>
#include <map>

#include "view/icons.h"
#include "view/waveform_view.h"

namespace qel::view {

namespace {

constexpr int32_t kOpening = 3;
constexpr int32_t kRecording = 2;
constexpr int32_t kRecordPaused = 17;

// Offset of a value from the lane centre and whether it had to be clipped.
struct Offset {
  int value;
  bool clipped;
};

Offset OffsetOf(double v, int half, double full) {
  const double raw = std::trunc(v / full * half);
  if (raw > half) return {half, true};
  if (raw < -half) return {-half, true};
  return {static_cast<int>(raw), false};
}

int ClampToHalf(double raw, int half) {
  if (raw > half) return half;
  if (raw < -half) return -half;
  return static_cast<int>(raw);
}

}  // namespace

void WaveformView::DrawFrame(Graphics& g) {
  const int w = clientWidth_, h = clientHeight_;
  const int border = scene_.visual.borderType;
  if (border != 0) {
    // A sunken edge; style 4 adds an inner line.
    g.DrawLine(pens_.grey, 0, 0, w - 1, 0);
    g.DrawLine(pens_.grey, 0, 0, 0, h - 1);
    g.DrawLine(pens_.window, 1, h - 1, w - 1, h - 1);
    g.DrawLine(pens_.window, w - 1, 1, w - 1, h - 1);
    if (border == 4) g.DrawRectangle(pens_.scales, 1, 1, w - 3, h - 3);
  }
  // The line between the slider strip and the lanes.
  if (layout_.width > 0) {
    const int y = layout_.stripHeight + 4;
    g.DrawLine(pens_.separator, layout_.left, y, layout_.right - 1, y);
  }
}

void WaveformView::DrawSliderStrip(Graphics& g) {
  const Brush slider{scene_.colors.argb[ColorSettings::kSlider]};
  g.FillRectangle(slider, layout_.sliderLeft, 3, layout_.sliderWidth + 1, layout_.stripHeight);
  // Margin bands above the first and below the last lane, and the bands
  // between lanes with a separator line through their middle.
  const Brush bands{pens_.scales.color};
  const std::array<int, kMaxChannels> tops = LaneTops();
  int previousBottom = layout_.top;
  bool first = true;
  for (int c = 0; c < lanes_.channels; ++c) {
    if (!lanes_.visible[c] || tops[c] < 0) continue;
    const int gap = tops[c] - previousBottom;
    g.FillRectangle(bands, layout_.left, previousBottom, layout_.width, gap);
    if (!first && gap > 0) {
      const int y = previousBottom + gap / 2;
      g.DrawLine(pens_.separator, layout_.left, y, layout_.right - 1, y);
    }
    first = false;
    previousBottom = tops[c] + layout_.laneHeight[c];
  }
  if (!first)
    g.FillRectangle(bands, layout_.left, previousBottom, layout_.width,
                    layout_.top + layout_.height - previousBottom);
}

void WaveformView::DrawBoundary(Graphics& g, int c, int top) {
  if (!scene_.visual.boundaryEnabled || scene_.visual.viewType == 1 || !scene_.doc.open) return;
  const int half = layout_.laneHeight[c] / 2;
  const int64_t m = scene_.scaleY.type == 2
                        ? 100
                        : (int64_t{1} << (std::clamp(scene_.doc.sampleSize, 8, 32) - 1)) - 1;
  const int64_t r = LevelRangeTop(0, scene_.scaleY.type, scene_.doc.sampleSize, scene_.verticalZoom,
                                  scene_.doc.sampleRate);
  const int64_t f = static_cast<int64_t>(1.07 * static_cast<double>(r));
  if (f <= 0) return;
  const int offset = static_cast<int>(static_cast<double>(m) / static_cast<double>(f) * half);
  if (offset >= half) return;
  const Pen pen = pens_.boundary;
  g.DrawLine(pen, layout_.left, top + half - offset, layout_.right - 1, top + half - offset);
  g.DrawLine(pen, layout_.left, top + half + offset, layout_.right - 1, top + half + offset);
}

void WaveformView::DrawLane(Graphics& g, int c, int top) {
  const int h = layout_.laneHeight[c];
  const int half = h / 2;
  const bool selected = scene_.LaneSelected(c);
  const int viewType = scene_.visual.viewType;
  const bool opening = scene_.status == kOpening;
  if (viewType == 1 && !opening) return DrawSpectralLane(g, c, top);
  if (scene_.visual.centerLineEnabled)
    g.DrawLine(selected ? pens_.center : pens_.unselected, layout_.left, top + half,
               layout_.right - 1, top + half);
  if (opening) return DrawProgressLane(g, c, top);
  if (!scene_.doc.open || scene_.doc.lengthBytes == 0) return;
  if ((scene_.status == kRecording || scene_.status == kRecordPaused) &&
      scene_.visual.recordType == 3) {
    g.DrawLine(pens_.digital, layout_.left, top + half, layout_.right - 1, top + half);
    return;
  }
  if (c >= static_cast<int>(columns_.channels.size())) return;
  const std::vector<Argb> markerColor = MarkerColumnColors();
  if (detail_ >= 1)
    DrawCurveLane(g, c, top, markerColor);
  else if (viewType == 2)
    DrawEnvelopeLane(g, c, top);
  else
    DrawWaveformLane(g, c, top, markerColor);
}

void WaveformView::DrawWaveformLane(Graphics& g, int c, int top,
                                    const std::vector<Argb>& markerColor) {
  const ChannelColumns& cc = columns_.channels[c];
  const int half = layout_.laneHeight[c] / 2;
  const double full = FullScale(scene_.doc.sampleSize, scene_.verticalZoom);
  const bool selected = scene_.LaneSelected(c);
  const Pen& base = selected ? pens_.digital : pens_.unselected;
  std::map<Argb, std::vector<Segment>> byColor;
  for (int col = 0; col <= columns_.width; ++col) {
    if (cc.Empty(col) || cc.minimum[col] > cc.maximum[col]) continue;
    const int upper = ClampToHalf(std::trunc(cc.maximum[col] / full * half), half);
    int lower = ClampToHalf(std::trunc(cc.minimum[col] / full * half + 1.0), half);
    if (upper == lower) lower += 1;
    const Argb color = selected && markerColor[col] ? markerColor[col] : base.color;
    const int x = layout_.left + col;
    byColor[color].push_back({x, top - upper + half, x, top - lower + half});
  }
  Pen pen = base;
  for (const auto& [color, segments] : byColor) {
    pen.color = color;
    g.DrawSegments(pen, segments);
  }
}

void WaveformView::DrawEnvelopeLane(Graphics& g, int c, int top) {
  const ChannelColumns& cc = columns_.channels[c];
  const int half = layout_.laneHeight[c] / 2;
  const double full = FullScale(scene_.doc.sampleSize, scene_.verticalZoom);
  const int w = columns_.width;
  std::vector<PointF> points(2 * static_cast<size_t>(w + 1));
  for (int col = 0; col <= w; ++col) {
    // Geometric means of the positive maxima and of the magnitudes of the
    // negative minima over this column and the next two.
    double logUp = 0, logDown = 0;
    int up = 0, down = 0;
    for (int k = col; k <= std::min(col + 2, w); ++k) {
      if (cc.Empty(k)) continue;
      if (cc.maximum[k] > 0) {
        logUp += std::log(static_cast<double>(cc.maximum[k]));
        ++up;
      }
      if (cc.minimum[k] < 0) {
        logDown += std::log(-static_cast<double>(cc.minimum[k]));
        ++down;
      }
    }
    const int upper = up ? std::min(static_cast<int>(std::exp(logUp / up) / full * half), half) : 0;
    const int lower =
        down ? std::min(static_cast<int>(std::exp(logDown / down) / full * half), half) : 0;
    points[col] = {static_cast<double>(layout_.left + col),
                   static_cast<double>(top - upper + half)};
    points[2 * static_cast<size_t>(w + 1) - 1 - col] = {static_cast<double>(layout_.left + col),
                                                        static_cast<double>(top + half + lower)};
  }
  const bool selected = scene_.LaneSelected(c);
  const Brush fill{selected ? scene_.colors.argb[ColorSettings::kEnvelopeWaveform]
                            : scene_.colors.argb[ColorSettings::kUnSelectedChannel]};
  g.FillClosedCurve(fill, points);
  g.DrawClosedCurve(selected ? pens_.envelope : pens_.unselected, points);
}

void WaveformView::DrawCurveLane(Graphics& g, int c, int top,
                                 const std::vector<Argb>& markerColor) {
  const ChannelColumns& cc = columns_.channels[c];
  const int half = layout_.laneHeight[c] / 2;
  const double full = FullScale(scene_.doc.sampleSize, scene_.verticalZoom);
  const bool selected = scene_.LaneSelected(c);
  const bool envelope = scene_.visual.viewType == 2;
  const int level = detail_;
  const Pen& base = !selected   ? pens_.unselected
                    : level > 1 ? pens_.analog
                    : envelope  ? pens_.envelope
                                : pens_.digital;
  const int w = columns_.width;
  std::map<Argb, std::vector<Segment>> byColor;
  for (int col = 1; col < w; ++col) {
    const Offset a = OffsetOf(cc.curve[col - 1], half, full);
    const Offset b = OffsetOf(cc.curve[col], half, full);
    // A flat run along the clipped edge is left out.
    if (a.value == b.value && (a.clipped || b.clipped)) continue;
    const Argb color = selected && markerColor[col] ? markerColor[col] : base.color;
    byColor[color].push_back(
        {layout_.left + col - 1, top - a.value + half, layout_.left + col, top - b.value + half});
  }
  Pen pen = base;
  for (const auto& [color, segments] : byColor) {
    pen.color = color;
    g.DrawSegments(pen, segments);
  }
  if (level < 2) return;
  // Squares on the real samples.
  std::vector<Segment> squares;
  for (int col = 1; col < w; ++col) {
    if (cc.Empty(col)) continue;
    const Offset o = OffsetOf(cc.curve[col], half, full);
    if (o.clipped) continue;
    const int row = top - o.value + half;
    for (int x = col - level - 1; x <= col + level - 2; ++x)
      if (x > 0 && x < w)
        squares.push_back({layout_.left + x, row - level, layout_.left + x, row + level});
    col += level;
  }
  g.DrawSegments(!selected ? pens_.unselected : envelope ? pens_.envelope : pens_.digital, squares);
}

void WaveformView::DrawSpectralLane(Graphics& g, int c, int top) {
  int band = 0;
  for (int k = 0; k < c; ++k)
    if (lanes_.visible[k]) band += layout_.laneHeight[k];
  const bool selected = scene_.LaneSelected(c);
  cairo_surface_t* host = selected ? scene_.hostBright : scene_.hostDark;
  if (host) {
    const Bitmap supplied = Bitmap::FromSurface(host);
    g.DrawImage(supplied, layout_.left, top, 0, band, layout_.width, layout_.laneHeight[c]);
    return;
  }
  g.DrawImage(selected ? bright_ : dark_, layout_.left, top, 0, band, layout_.width,
              layout_.laneHeight[c]);
}

void WaveformView::DrawProgressLane(Graphics& g, int c, int top) {
  const int half = layout_.laneHeight[c] / 2;
  const int count = openProgress_ * layout_.width / 100;
  std::vector<PointF> points;
  points.reserve(2 * static_cast<size_t>(std::max(count, 0)));
  for (int i = 0; i < count && i < static_cast<int>(layout_.progressTable.size()); ++i) {
    const int d = layout_.progressTable[i] * half / 100;
    const double x = layout_.left + i;
    points.push_back({x, static_cast<double>(top + half + d)});
    points.push_back({x, static_cast<double>(top + half - d)});
  }
  if (points.size() >= 2) g.DrawLines(pens_.digital, points);
}

std::vector<Argb> WaveformView::MarkerColumnColors() const {
  std::vector<Argb> colors(static_cast<size_t>(std::max(columns_.width, 0)) + 1, 0);
  if (scene_.visual.markerType < 2) return colors;
  const int64_t vs = scene_.Frames(scene_.pos.startView);
  const int64_t ve = scene_.Frames(scene_.pos.endView);
  for (const MarkerMark& m : scene_.markers) {
    if (m.length <= 0) continue;
    const int64_t start = scene_.Frames(m.position);
    const int64_t end = start + scene_.Frames(m.length);
    if (end < vs || start > ve) continue;
    const int c0 = PositionToColumn(start, vs, ve, columns_.width);
    const int c1 = PositionToColumn(end, vs, ve, columns_.width);
    for (int col = c0; col <= c1; ++col)
      colors[col] = MarkerColor(m);
  }
  return colors;
}

const Bitmap& WaveformView::Icon(int resource) {
  auto it = icons_.find(resource);
  if (it == icons_.end()) it = icons_.emplace(resource, MakeSpeakerIcon(resource)).first;
  return it->second;
}

void WaveformView::DrawChannelIcons(Graphics& g) {
  if (!scene_.visual.channelLabelEnabled || !scene_.doc.open) return;
  const std::array<int, kMaxChannels> tops = LaneTops();
  const std::array<uint32_t, kMaxChannels> speakers = SpeakersOf(scene_.doc.channelsMask);
  for (int c = 0; c < lanes_.channels; ++c) {
    if (!lanes_.visible[c] || tops[c] < 0) continue;
    const int resource = IconResourceForSpeaker(speakers[c]);
    if (resource == 0) continue;
    g.DrawImage(Icon(resource), layout_.right - 28, tops[c] - 4);
  }
}

}  // namespace qel::view
