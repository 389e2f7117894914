// Scale arithmetic: the nice-number step (with minutes and hours on the clock
// scale), label formats and their carry, the level scale's range and ticks.
#include <gtest/gtest.h>

#include <cmath>

#include "view/scales.h"

namespace qel::view {
namespace {

TimeScaleInput Clock(int type, int rate, int64_t viewEnd, int width) {
  TimeScaleInput in;
  in.type = type;
  in.documentLoaded = true;
  in.sampleRate = rate;
  in.viewEnd = viewEnd;
  in.documentSeconds = static_cast<double>(viewEnd) / rate;
  in.width = width;
  in.emSize = 7;
  return in;
}

TEST(NiceNumber, TheClosestOfOneTwoAndFiveOnALogScaleWins) {
  EXPECT_EQ(ChooseNiceNumber(1).step, 1);
  EXPECT_EQ(ChooseNiceNumber(3).step, 2);
  EXPECT_EQ(ChooseNiceNumber(7).step, 5);
  EXPECT_EQ(ChooseNiceNumber(8).step, 10);
  EXPECT_NEAR(ChooseNiceNumber(0.03).step, 0.02, 1e-12);
}

TEST(NiceNumber, NinetyFiveSecondsAreChosenAsTwoMinutesWithTwoSubdivisions) {
  // 950 s over ten ticks: the sample label "15:50" is 5 characters, and
  // trunc(490 / 7) / (5 + 2) = 10.
  const TimeScale t = ComputeTimeScale(Clock(2, 1000, 950000, 490));
  EXPECT_EQ(t.labelLength, 5);
  EXPECT_EQ(t.step, 120);
  EXPECT_EQ(t.subdivisions, 2);
}

TEST(NiceNumber, StepsOfAnHourAreSixtyBased) {
  const TimeScale t = ComputeTimeScale(Clock(2, 1, 36000, 700));  // ten hours, about ten ticks
  EXPECT_EQ(std::fmod(t.step, 3600.0), 0) << t.step;
}

TEST(NiceNumber, FrameStepsAreWholeFramesAndTheStartIsAMultipleOfTheStep) {
  TimeScaleInput in = Clock(1, 8000, 1244, 1000);
  in.viewStart = 1234;
  in.documentSeconds = 0;
  const TimeScale small = ComputeTimeScale(in);
  EXPECT_EQ(small.step, 1);
  EXPECT_EQ(small.subdivisions, 1);
  in.viewEnd = 98765;
  const TimeScale t = ComputeTimeScale(in);
  EXPECT_EQ(std::fmod(t.roundedStart, t.step), 0);
  EXPECT_LE(t.roundedStart, 1234);
  EXPECT_GT(t.roundedStart + t.step, 1234);
}

TEST(NiceNumber, WithoutADocumentTheScaleRunsFromZeroToTen) {
  TimeScaleInput in;
  in.width = 300;
  in.emSize = 7;
  const TimeScale t = ComputeTimeScale(in);
  EXPECT_EQ(t.start, 0);
  EXPECT_EQ(t.end, 10);
}

TEST(TimeLabels, EachFormatCarriesAFullFractionAndABadPrecisionGivesAnEmptyLabel) {
  struct Case {
    double seconds;
    int precision;
    bool minutes;
    const char* label;
  };
  for (const Case& c : {
           Case{59.96, 1, true, "0:60.0"},  // the fraction carries into the seconds
           Case{1.5, 1, true, "0:01.5"}, Case{59.6, 0, true, "0:60"},
           Case{3723.5, 1, true, "1:02:03.5"},     // hours add a field
           Case{3723.25, 3, true, "1:02.03.250"},  // from three decimals a dot sets off the seconds
           Case{1.5, 1, false, "1.5"},             // short documents show plain seconds
           Case{1.5, 8, true, ""},                 // precision outside 0 ... 7
       })
    EXPECT_EQ(FormatTimeLabel(c.seconds, c.precision, c.minutes), c.label) << c.seconds;
}

TEST(TimeLabels, ADocumentOfFourSecondsMeasuresItsLabelsInMinutes) {
  TimeScaleInput in = Clock(2, 1000, 2500, 300);
  EXPECT_EQ(ComputeTimeScale(in).labelLength, 3);  // "2.5"
  in.viewEnd = 4000;
  in.documentSeconds = 4;
  EXPECT_EQ(ComputeTimeScale(in).labelLength, 6);  // "0:04.0"
}

TEST(TimeLabels, PrecisionFollowsTheRangeAndTheStep) {
  EXPECT_EQ(TimePrecisionForRange(200), 0);
  EXPECT_EQ(TimePrecisionForRange(50), 1);
  EXPECT_EQ(TimePrecisionForRange(0.05), 3);
  EXPECT_EQ(TimePrecisionForRange(5e-7), 0);
  EXPECT_EQ(TimePrecisionForStep(2), 0);
  EXPECT_EQ(TimePrecisionForStep(0.5), 1);
  EXPECT_EQ(TimePrecisionForStep(1e-7), 7);
}

TEST(LevelScale, TheRangeTopFollowsTheVerticalZoomIsNeverBelowOneAndIsHalfTheRateWhenSpectral) {
  EXPECT_EQ(LevelRangeTop(0, 1, 16, 100, 44100), 32767);
  EXPECT_EQ(LevelRangeTop(0, 1, 16, 50, 44100), 16383);
  EXPECT_EQ(LevelRangeTop(0, 2, 16, 1000, 44100), 1000);
  EXPECT_EQ(LevelRangeTop(2, 1, 24, 100, 44100), 8388607);
  EXPECT_EQ(LevelRangeTop(0, 1, 8, 0, 8000), 1);
  EXPECT_EQ(LevelRangeTop(1, 3, 16, 50, 44100), 22050);
}

TEST(LevelScale, TicksComeFromTheLaneShareOfTheHeightAndATinyLaneStillHasOne) {
  LevelScaleInput in;
  in.waveformHeight = 352;  // ten cells of 3.2 x 11
  in.cellHeight = 11;
  in.fraction = 0.5;
  const LevelScale l = ComputeLevelScale(in);
  EXPECT_EQ(l.ticks, 5);
  EXPECT_EQ(l.step, 5000);  // 32767 / 5 = 6553, nearest nice number
  EXPECT_EQ(l.subdivisions, 5);
  in.waveformHeight = 10;
  in.fraction = 1;
  EXPECT_EQ(ComputeLevelScale(in).ticks, 1);
}

TEST(LevelTicks, DecibelTicksFallOnWholeDecibelsZeroIsMinusInfinityLinearOnesShowTheValue) {
  const LevelTick half = MakeLevelTick(16384, 32767, true);
  EXPECT_EQ(half.label, "-6");
  EXPECT_EQ(half.level, 16422);  // 32767 x 10^(-6/20)
  const LevelTick zero = MakeLevelTick(0, 32767, true);
  EXPECT_EQ(zero.label, "-\u221E");
  EXPECT_TRUE(zero.infinity);
  EXPECT_EQ(zero.level, 0);
  EXPECT_EQ(MakeLevelTick(5000, 32767, false).label, "5000");
}

}  // namespace
}  // namespace qel::view
