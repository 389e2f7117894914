// The view layout record and the geometry every drawing and mouse pass reads:
// where the slider strip, the lanes and the two scales lie in the client area,
// how positions map to columns and back, and how amplitudes map to rows.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "view/view_source.h"

namespace qel::view {

// A scale font's measures: cell height in pixels and em size in points.
struct ScaleFontMetrics {
  int cellHeight = 15;
  float emSize = 8.0f;
};

struct LayoutInput {
  int width = 0;  // client size
  int height = 0;
  bool scaleXVisible = true;
  bool scaleYVisible = true;
  int scaleYType = 1;
  int scaleYOrientation = 1;
  int viewType = 0;
  int sampleRate = 8000;
  int sampleSize = 16;
  ScaleFontMetrics fontX;
  ScaleFontMetrics fontY;
};

struct Layout {
  int clientWidth = 0;
  int clientHeight = 0;
  int stripHeight = 8;  // slider strip; its top is the client top
  int laneMargin = 8;
  int levelScaleWidth = 0;  // -2 when there is no level scale
  int timeScaleHeight = 0;
  int left = 0;  // waveform area: first column, one past the last column
  int right = 0;
  int top = 0;
  int bottom = 0;
  int width = 0;  // right - left, the column count W
  int height = 0;
  std::array<double, kMaxChannels> fraction{};
  std::array<int, kMaxChannels> laneHeight{};
  int laneSpace = 0;
  ScaleFontMetrics fontX;
  ScaleFontMetrics fontY;
  int sliderLeft = 0;
  int sliderWidth = 0;
  int selectionStart = 0;  // columns 0 ... W
  int selectionEnd = 0;
  std::vector<int> progressTable;  // W + 1 entries, 0 ... 80
};

// Which channels show a lane; the first `channels` entries count.
struct LaneSet {
  std::array<bool, kMaxChannels> visible{};
  int channels = 0;
  int interval = 4;  // ChannelsInterval
  int VisibleCount() const;
};

// Computes the record from the client size, the scale settings and fonts. False
// (and the record untouched) when the client is below 2 x 2 pixels.
bool ComputeLayout(const LayoutInput& in, Layout* layout);

// Lane heights from the fractions and the lane space; nothing while the
// waveform is lower than 2 pixels.
void ComputeLaneHeights(Layout& layout, const LaneSet& lanes);
// Gives every visible channel the same share, then recomputes the heights.
void SplitLanesEqually(Layout& layout, const LaneSet& lanes);
// Top row of every visible lane; -1 for hidden channels. The last visible lane
// is aligned to the bottom margin and takes the rounding remainder.
std::array<int, kMaxChannels> LaneTops(const Layout& layout, const LaneSet& lanes);

// Sample position (frames) to a column 0 ... W of the view [vs, ve].
int PositionToColumn(int64_t position, int64_t vs, int64_t ve, int width);
// Column 0 ... W to a frame of the view [vs, ve].
int64_t ColumnToPosition(int column, int64_t vs, int64_t ve, int width);

// Value that fills the lane height: full scale with 7 % headroom, scaled by the
// vertical zoom. 24-bit samples are widened to 32 bits before drawing.
double FullScale(int sampleSize, int verticalZoom);
// Offset of a value from the lane centre, clamped to +-half.
int AmplitudeOffset(double value, int half, double fullScale);
int AmplitudeToRow(double value, int laneTop, int laneHeight, int sampleSize, int verticalZoom);
// The stored vertical zoom: below 1 becomes 10, above 1000 becomes 1000.
int ClampVerticalZoom(int percent);

// The slider for the view [vs, ve] of a document of `total` frames.
void ComputeSlider(Layout& layout, int64_t vs, int64_t ve, int64_t total);
// The selection's columns (frames in, columns 0 ... W out).
void ComputeSelectionColumns(Layout& layout, int64_t startSelect, int64_t endSelect, int64_t vs,
                             int64_t ve);
// |trunc(sin(i * 62.831852 / W) * 80)| for i = 0 ... W.
std::vector<int> ProgressTable(int width);

}  // namespace qel::view
