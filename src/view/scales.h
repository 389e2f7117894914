// The two rulers: the time scale under the waveform (sample frames, clock time
// or video frames) and the level scale beside each lane (sample values,
// percent or decibels; frequency in the spectral view). This header holds the
// arithmetic: tick steps from the nice-number rule, label texts and the range
// of the level scale.
#pragma once

#include <cstdint>
#include <string>

namespace qel::view {

// b x 10^e for base b in 1, 2, 5, whichever lies closest to the raw step on a
// log scale (ties to 1, then 2, then 5).
struct NiceNumber {
  double step = 1;
  int base = 1;
  int exponent = 0;
};
NiceNumber ChooseNiceNumber(double raw);

struct TimeScale {
  bool valid = false;
  double start = 0;  // range, in the unit of the scale type
  double end = 10;
  double roundedStart = 0;
  double step = 1;
  int subdivisions = 5;
  int labelLength = 1;  // characters of the sample label
};

struct TimeScaleInput {
  int type = 1;  // 1 frames, 2 clock, 3 video frames
  double frameRate = 25.0;
  bool documentLoaded = false;
  int64_t viewStart = 0;  // frames
  int64_t viewEnd = 0;
  int sampleRate = 8000;
  double documentSeconds = 0;  // the whole document's length
  int width = 0;               // waveform columns
  double emSize = 8;           // of the time-scale font
};

// The tick step for the visible range (the scale must be visible and have room;
// the caller checks that).
TimeScale ComputeTimeScale(const TimeScaleInput& in);

// Label precision of the sample label from the range length d (seconds).
int TimePrecisionForRange(double d);
// Label precision of the tick labels from the step (seconds).
int TimePrecisionForStep(double step);

// A time label: with a document longer than three seconds the minute (and
// hour) format, else plain seconds; an empty text for a precision outside 0 ... 7.
std::string FormatTimeLabel(double seconds, int precision, bool minuteFormat);

struct LevelScale {
  int64_t top = 1;  // range top R
  int ticks = 1;
  int64_t step = 1;
  int subdivisions = 1;
};

struct LevelScaleInput {
  int viewType = 0;
  int type = 1;
  int sampleSize = 16;
  int verticalZoom = 100;
  int sampleRate = 8000;
  int waveformHeight = 0;
  int cellHeight = 15;  // of the level-scale font
  double fraction = 1;  // the lane's share
  bool anyVisible = true;
};

// The range top R of the level scale.
int64_t LevelRangeTop(int viewType, int type, int sampleSize, int verticalZoom, int sampleRate);
LevelScale ComputeLevelScale(const LevelScaleInput& in);

// The label of a decibel tick for the linear value v of range top R:
// ceil(20 log10(v / R)); the tick sits at trunc(R x 10^(label / 20)).
int DecibelLabel(int64_t v, int64_t rangeTop);
int64_t DecibelLevel(int label, int64_t rangeTop);

// The label of the level-scale tick for v and the level it stands at: the
// decimal value, or on a decibel scale the decibels, with minus infinity
// ("-" and U+221E) for zero.
struct LevelTick {
  std::string label;
  int64_t level;
  bool infinity;
};
LevelTick MakeLevelTick(int64_t v, int64_t rangeTop, bool decibels);

}  // namespace qel::view
