// Scale arithmetic: the nice-number step (with minutes and hours on the clock
// scale), label formats and their carry, the level scale's range and ticks.
#include <gtest/gtest.h>

#include <cmath>

#include "view/scales.h"

namespace qel::view {
namespace {

TEST(NiceNumber, TheClosestOfOneTwoAndFiveOnALogScaleWins) {
  EXPECT_EQ(ChooseNiceNumber(1).step, 1);
  EXPECT_EQ(ChooseNiceNumber(3).step, 2);
  EXPECT_EQ(ChooseNiceNumber(7).step, 5);
  EXPECT_EQ(ChooseNiceNumber(8).step, 10);
  EXPECT_NEAR(ChooseNiceNumber(0.03).step, 0.02, 1e-12);
  EXPECT_EQ(ChooseNiceNumber(6553).step, 5000);
}

TEST(NiceNumber, NinetyFiveSecondsAreChosenAsTwoMinutesWithTwoSubdivisions) {
  // 950 s over ten ticks: the sample label "15:50" is 5 characters, and
  // trunc(490 / 7) / (5 + 2) = 10.
  TimeScaleInput in;
  in.type = 2;
  in.documentLoaded = true;
  in.sampleRate = 1000;
  in.viewStart = 0;
  in.viewEnd = 950000;
  in.documentSeconds = 950;
  in.width = 490;
  in.emSize = 7;
  const TimeScale t = ComputeTimeScale(in);
  EXPECT_EQ(t.labelLength, 5);
  EXPECT_EQ(t.step, 120);
  EXPECT_EQ(t.subdivisions, 2);
}

TEST(NiceNumber, StepsOfAnHourAreSixtyBased) {
  TimeScaleInput in;
  in.type = 2;
  in.documentLoaded = true;
  in.sampleRate = 1;
  in.viewEnd = 36000;  // ten hours over about ten ticks
  in.documentSeconds = 36000;
  in.width = 700;
  in.emSize = 7;
  const TimeScale t = ComputeTimeScale(in);
  EXPECT_EQ(std::fmod(t.step, 3600.0), 0) << t.step;
}

TEST(NiceNumber, FrameStepsAreWholeFramesAndTheStartIsAMultipleOfTheStep) {
  TimeScaleInput in;
  in.type = 1;
  in.documentLoaded = true;
  in.viewStart = 1234;
  in.viewEnd = 1244;
  in.width = 1000;
  in.emSize = 7;
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

TEST(TimeLabels, MinuteFormatCarriesAFullFractionIntoTheSeconds) {
  EXPECT_EQ(FormatTimeLabel(59.96, 1, true), "0:60.0");
  EXPECT_EQ(FormatTimeLabel(1.5, 1, true), "0:01.5");
  EXPECT_EQ(FormatTimeLabel(61.25, 2, true), "1:01.25");
  EXPECT_EQ(FormatTimeLabel(59.6, 0, true), "0:60");
}

TEST(TimeLabels, HoursAddAFieldAndFromThreeDecimalsTheSecondsAreSetOffByADot) {
  EXPECT_EQ(FormatTimeLabel(3723.5, 1, true), "1:02:03.5");
  EXPECT_EQ(FormatTimeLabel(3723, 0, true), "1:02:03");
  EXPECT_EQ(FormatTimeLabel(3723.25, 3, true), "1:02.03.250");
}

TEST(TimeLabels, ShortDocumentsShowPlainSeconds) {
  EXPECT_EQ(FormatTimeLabel(1.5, 1, false), "1.5");
  EXPECT_EQ(FormatTimeLabel(2.125, 3, false), "2.125");
  EXPECT_EQ(FormatTimeLabel(2, 0, false), "2");
}

TEST(TimeLabels, APrecisionOutsideZeroToSevenGivesAnEmptyLabel) {
  EXPECT_EQ(FormatTimeLabel(1.5, 8, true), "");
  EXPECT_EQ(FormatTimeLabel(1.5, -1, false), "");
}

TEST(TimeLabels, ADocumentOfFourSecondsMeasuresItsLabelsInMinutes) {
  TimeScaleInput in;
  in.type = 2;
  in.documentLoaded = true;
  in.sampleRate = 1000;
  in.viewEnd = 2500;
  in.width = 300;
  in.emSize = 7;
  in.documentSeconds = 2.5;
  EXPECT_EQ(ComputeTimeScale(in).labelLength, 3);  // "2.5"
  in.viewEnd = 4000;
  in.documentSeconds = 4;
  EXPECT_EQ(ComputeTimeScale(in).labelLength, 6);  // "0:04.0"
}

TEST(TimeLabels, PrecisionFollowsTheRangeAndTheStep) {
  EXPECT_EQ(TimePrecisionForRange(200), 0);
  EXPECT_EQ(TimePrecisionForRange(50), 1);
  EXPECT_EQ(TimePrecisionForRange(0.5), 2);
  EXPECT_EQ(TimePrecisionForRange(0.05), 3);
  EXPECT_EQ(TimePrecisionForRange(5e-7), 0);
  EXPECT_EQ(TimePrecisionForStep(2), 0);
  EXPECT_EQ(TimePrecisionForStep(0.5), 1);
  EXPECT_EQ(TimePrecisionForStep(0.1), 1);
  EXPECT_EQ(TimePrecisionForStep(0.05), 2);
  EXPECT_EQ(TimePrecisionForStep(1e-7), 7);
}

TEST(LevelScale, TheRangeTopFollowsTheVerticalZoom) {
  EXPECT_EQ(LevelRangeTop(0, 1, 16, 100, 44100), 32767);
  EXPECT_EQ(LevelRangeTop(0, 1, 16, 50, 44100), 16383);
  EXPECT_EQ(LevelRangeTop(0, 3, 16, 100, 44100), 32767);
  EXPECT_EQ(LevelRangeTop(0, 2, 16, 1000, 44100), 1000);
  EXPECT_EQ(LevelRangeTop(2, 1, 24, 100, 44100), 8388607);
}

TEST(LevelScale, TheSpectralViewShowsFrequenciesUpToHalfTheRate) {
  EXPECT_EQ(LevelRangeTop(1, 3, 16, 50, 44100), 22050);
}

TEST(LevelScale, TheRangeTopIsNeverBelowOne) {
  EXPECT_EQ(LevelRangeTop(0, 1, 8, 0, 8000), 1);
}

TEST(LevelScale, TicksComeFromTheLaneShareOfTheHeight) {
  LevelScaleInput in;
  in.waveformHeight = 352;  // ten cells of 3.2 x 11
  in.cellHeight = 11;
  in.fraction = 0.5;
  const LevelScale l = ComputeLevelScale(in);
  EXPECT_EQ(l.ticks, 5);
  EXPECT_EQ(l.step, 5000);  // 32767 / 5 = 6553, nearest nice number
  EXPECT_EQ(l.subdivisions, 5);
}

TEST(LevelScale, ATinyLaneStillHasOneTick) {
  LevelScaleInput in;
  in.waveformHeight = 10;
  in.cellHeight = 11;
  EXPECT_EQ(ComputeLevelScale(in).ticks, 1);
}

TEST(DecibelScale, TicksFallOnWholeDecibels) {
  const LevelTick half = MakeLevelTick(16384, 32767, true);
  EXPECT_EQ(half.label, "-6");
  EXPECT_EQ(half.level, 16422);  // 32767 x 10^(-6/20)
  EXPECT_EQ(MakeLevelTick(32767, 32767, true).label, "0");
}

TEST(DecibelScale, TheZeroLevelIsMinusInfinity) {
  const LevelTick zero = MakeLevelTick(0, 32767, true);
  EXPECT_EQ(zero.label, "-\u221E");
  EXPECT_TRUE(zero.infinity);
  EXPECT_EQ(zero.level, 0);
}

TEST(DecibelScale, LinearScalesLabelTheValueItself) {
  EXPECT_EQ(MakeLevelTick(0, 32767, false).label, "0");
  EXPECT_EQ(MakeLevelTick(5000, 32767, false).label, "5000");
}

}  // namespace
}  // namespace qel::view
