// Drawing the two scales: the level scale beside every lane (into the trace
// layer) and the time scale under the lanes (into the composed layer).
#include <algorithm>
#include <cmath>
#include <string>

#include "com/bstr.h"
#include "view/waveform_view.h"

namespace qel::view {

namespace {

std::string Utf8(const std::u16string& text) {
  return com::Utf16ToUtf8(text);
}

}  // namespace

void WaveformView::DrawLevelScales(Graphics& g) {
  const int width = layout_.levelScaleWidth;
  if (!scene_.scaleY.visible || width <= 0 || !fontY_) return;
  const bool right = scene_.scaleY.orientation != 2;
  const int bandX = right ? layout_.right + 3 : layout_.left - width - 3;
  const int bandRight = bandX + width - 1;
  g.FillRectangle(Brush{pens_.scales.color}, bandX, 2, width, layout_.bottom + 2);
  const Font& font = *fontY_;
  const int cell = layout_.fontY.cellHeight;
  const Brush text{pens_.font.color};
  const bool spectral = scene_.visual.viewType == 1;
  const bool decibels = scene_.scaleY.type == 3 && !spectral;

  // The unit over the scale, in the slider strip's rows.
  const Unit unit = spectral                  ? Unit::Hz
                    : scene_.scaleY.type == 3 ? Unit::Db
                    : scene_.scaleY.type == 1 ? Unit::Sample
                                              : Unit::Hms;
  const std::string unitText =
      scene_.scaleY.type == 2 && !spectral ? "%" : Utf8(source_->UnitLabel(unit));
  g.DrawString(unitText, font,
               RectF{static_cast<double>(bandX), 2.0, static_cast<double>(width),
                     static_cast<double>(layout_.top + layout_.laneMargin - 2)},
               TextFormat{Align::Center, Align::Center}, text);

  const TextFormat labelFormat{right ? Align::Near : Align::Far, Align::Center};
  const double labelX = right ? bandX + 9 : bandX;
  const double labelWidth = std::max(width - 9, 1);
  const std::array<int, kMaxChannels> tops = LaneTops();
  for (int c = 0; c < lanes_.channels; ++c) {
    if (!lanes_.visible[c] || tops[c] < 0) continue;
    const int top = tops[c];
    const int h = layout_.laneHeight[c];
    const int half = h / 2;
    const LevelScale& scale = levelScales_[c];
    const int64_t fullTop = static_cast<int64_t>(1.07 * static_cast<double>(scale.top));
    if (fullTop <= 0 || h <= 0) continue;
    const int reach = spectral ? h : half;
    auto offsetOf = [&](int64_t level) {
      return static_cast<int>(static_cast<double>(level) / static_cast<double>(fullTop) * reach);
    };
    auto rowsOf = [&](int offset, int* rows) {
      if (spectral) {
        rows[0] = top + h - offset;
        return 1;
      }
      rows[0] = top + half - offset;
      rows[1] = top + half + offset;
      return offset == 0 ? 1 : 2;
    };
    auto tick = [&](int row, int length) {
      if (right)
        g.DrawLine(pens_.font, bandX, row, bandX + length - 1, row);
      else
        g.DrawLine(pens_.font, bandRight - length + 1, row, bandRight, row);
    };
    auto label = [&](int row, const std::string& s, const Font& f) {
      // Labels that would reach within a quarter cell of the lane edge are left out.
      const double y = row - cell / 2.0;
      if (y < top + cell / 4.0 || y + cell > top + h - cell / 4.0) return;
      g.DrawString(s, f, RectF{labelX, y, labelWidth, static_cast<double>(cell)}, labelFormat,
                   text);
    };
    auto grid = [&](int row) {
      if (scene_.scaleY.grid && !spectral)
        g.DrawLine(pens_.grid, layout_.left, row, layout_.right - 1, row);
    };
    const int64_t step = std::max<int64_t>(scale.step, 1);
    int rows[2];
    for (int64_t v = 0; v <= fullTop; v += step) {
      // Decibel ticks fall on whole decibels; minus infinity has the control's
      // own 10-point font.
      const LevelTick tickAt = MakeLevelTick(v, scale.top, decibels);
      const std::string& s = tickAt.label;
      const Font* f = tickAt.infinity ? &infinityFont_ : &font;
      const int offset = offsetOf(tickAt.level);
      if (offset > reach) continue;
      const int n = rowsOf(offset, rows);
      for (int i = 0; i < n; ++i) {
        tick(rows[i], 6);
        if (!(spectral && v == 0)) label(rows[i], s, *f);
        grid(rows[i]);
      }
      if (decibels || scale.subdivisions <= 1) continue;
      for (int j = 1; j < scale.subdivisions; ++j) {
        const double minor = v + static_cast<double>(j) * step / scale.subdivisions;
        if (minor > fullTop) break;
        const int mo = static_cast<int>(minor / static_cast<double>(fullTop) * reach);
        const int m = rowsOf(mo, rows);
        for (int i = 0; i < m; ++i)
          tick(rows[i], 2);
      }
    }
  }
}

void WaveformView::DrawTimeScale(Graphics& g) {
  const int height = layout_.timeScaleHeight;
  if (!scene_.scaleX.visible || height < 1 || !fontX_) return;
  const int bottom = layout_.bottom;
  g.FillRectangle(Brush{pens_.scales.color}, 2, bottom + 3, clientWidth_ - 4, height);
  const TimeScale& t = timeScale_;
  const double range = t.end - t.start;
  if (!t.valid || !(range > 0) || !(t.step > 0)) return;
  const Font& font = *fontX_;
  const int cell = layout_.fontX.cellHeight;
  const int w = layout_.width;
  const int type = scene_.scaleX.type;
  const Brush text{pens_.font.color};
  const TextFormat centred{Align::Center, Align::Center};

  // The unit in the first cells, which tick labels leave free.
  const Unit unit = type == 2 ? Unit::Hms : type == 3 ? Unit::Frame : Unit::Sample;
  g.DrawString(Utf8(source_->UnitLabel(unit)), font,
               RectF{4.0, bottom + 10.0, 4.0 * cell, static_cast<double>(height - 6)},
               TextFormat{Align::Near, Align::Center}, text);

  const bool minuteFormat =
      scene_.doc.open &&
      static_cast<double>(scene_.doc.Frames()) / std::max(scene_.doc.sampleRate, 1) > 3;
  const int precision = TimePrecisionForStep(t.step);
  const bool scaleOnLeft =
      scene_.scaleY.visible && scene_.scaleY.orientation == 2 && layout_.levelScaleWidth > 0;
  const int firstLabelColumn = scaleOnLeft ? 0 : 1;
  // Nearest column, halves going down.
  auto columnOf = [&](double v) {
    return static_cast<int>(std::ceil((v - t.start) / range * w - 0.5));
  };
  std::vector<Segment> major, minor, grid;
  const double labelWidth = static_cast<double>(cell) * t.labelLength;
  for (int k = 0; k < 100000; ++k) {
    const double v = t.roundedStart + k * t.step;
    if (v > t.end) break;
    const int col = columnOf(v);
    const int x = layout_.left + col;
    if (col >= 0 && col <= w) major.push_back({x, bottom + 3, x, bottom + 9});
    const double boxX = layout_.left - labelWidth / 2 + col + 1;
    if (col >= firstLabelColumn && x + cell / 2.0 < clientWidth_ - 3 && boxX > 4.0 * cell + 1) {
      const std::string s = type == 2 ? FormatTimeLabel(v, precision, minuteFormat)
                                      : std::to_string(static_cast<int64_t>(std::trunc(v)));
      g.DrawString(s, font, RectF{boxX, bottom + 10.0, labelWidth, static_cast<double>(height - 6)},
                   centred, text);
    }
    if (scene_.scaleX.grid && scene_.visual.viewType != 1 && col >= 1 && col <= w)
      grid.push_back({x, layout_.top, x, bottom + 1});
    for (int j = 1; j < t.subdivisions; ++j) {
      const double mv = v + j * t.step / t.subdivisions;
      if (mv > t.end) break;
      const int mc = columnOf(mv);
      if (mc >= 1 && mc <= w)
        minor.push_back({layout_.left + mc, bottom + 3, layout_.left + mc, bottom + 4});
    }
  }
  g.DrawSegments(pens_.grid, grid);
  g.DrawSegments(pens_.font, major);
  g.DrawSegments(pens_.font, minor);
}

}  // namespace qel::view
