// Per-column data of the view: softened peaks read from the samples (at most
// about 500 frames per column), peaks taken from the document's peak overview,
// the detail level and the interpolated curve of zoomed-in views.
#pragma once

#include <cstdint>
#include <vector>

#include "document/peak_overview.h"
#include "view/view_source.h"

namespace qel::view {

// A column that received no sample.
inline constexpr int32_t kEmptyColumn = 33333;
// Documents longer than this many frames get a peak overview.
inline constexpr int64_t kOverviewThreshold = 3'000'000;

struct ChannelColumns {
  std::vector<int32_t> maximum;
  std::vector<int32_t> minimum;
  std::vector<int32_t> curve;
  bool Empty(int column) const {
    return maximum[column] == kEmptyColumn && minimum[column] == kEmptyColumn;
  }
};

struct ColumnData {
  int width = 0;  // W; every array has W + 1 entries
  std::vector<ChannelColumns> channels;
  // Fills the peaks with the empty mark and the curve with 0.
  void Reset(int channelCount, int columns);
};

// The halfway rule: a louder value of the same sign moves the extreme only half
// way toward it; a value of the other sign replaces it.
void AddToMaximum(int32_t& maximum, int32_t value);
void AddToMinimum(int32_t& minimum, int32_t value);

// Detail level 0 ... 4 from the view length in bytes, the column count, the
// channel count and the sample rate.
int DetailLevel(int64_t viewBytes, int width, int channels, int sampleRate);

// Frames examined per column step: max(1, floor(frames per column / 500)).
int64_t FrameStep(double framesPerColumn);

// Folds interleaved sample data of the view [vs, ve] (bytes) into column peaks.
// Blocks must arrive in order; only every FrameStep()-th frame is examined.
class SamplePeakScanner {
 public:
  SamplePeakScanner(ColumnData& data, const DocumentState& doc, int64_t vs, int64_t ve);
  // data: bytes of whole frames starting at byte position `position`.
  void Feed(const uint8_t* data, size_t bytes, int64_t position);
  int64_t Step() const { return step_; }

 private:
  template <int Bits>
  void FeedAs(const uint8_t* data, size_t bytes, int64_t position);
  int64_t Boundary(int column) const;

  ColumnData& data_;
  int channels_;
  int sampleSize_;
  int align_;
  int64_t vs_;
  int64_t span_;
  int64_t step_;      // frames
  int64_t next_;      // byte position of the next examined frame
  int column_ = 0;    // column of next_
  int64_t boundary_;  // first byte position of column_ + 1
};

// Reads the view [vs, ve] (bytes) through reader in blocks of one second and
// fills the column peaks. False when a read failed (the columns not reached
// stay empty).
bool PeaksFromSamples(SampleReader& reader, const DocumentState& doc, int64_t vs, int64_t ve,
                      ColumnData& data);

// Column peaks from the document's peak overview for a view of the frames
// [vs, ve): column c (0 ... W - 1) takes the frames from the block boundary at
// or before vs + c (ve - vs) / W up to the next column's, each with its true
// extremes (no halfway rule); column W stays empty. Columns narrower than a
// block of the overview may stay empty.
void ColumnsFromOverview(const document::PeakOverview& overview, int64_t vs, int64_t ve,
                         ColumnData& data);

// Reads the whole document through reader and builds its peak overview. False
// when a read failed.
bool BuildOverview(SampleReader& reader, const DocumentState& doc, document::PeakOverview* out);

// Curve modes: the spline through the column points, or the three-point
// quadratic used while playing.
inline constexpr int kCurveSpline = 2;
inline constexpr int kCurveQuadratic = 1;

// Fills every channel's curve from its column peaks.
void BuildCurves(ColumnData& data, int sampleSize, int mode);

// The Lagrange quadratic through three points, at x.
double Quadratic(double x0, double y0, double x1, double y1, double x2, double y2, double x);

}  // namespace qel::view
