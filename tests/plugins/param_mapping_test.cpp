// Parameter values: what a port accepts and where it sits on a 0…1 slider.
#include <gtest/gtest.h>

#include <cmath>

#include "plugin_param.h"

namespace qel::plugins {
namespace {

ParamInfo Linear(double minimum, double maximum) {
  ParamInfo param;
  param.minimum = minimum;
  param.maximum = maximum;
  return param;
}

ParamInfo Logarithmic(double minimum, double maximum) {
  ParamInfo param = Linear(minimum, maximum);
  param.logarithmic = true;
  return param;
}

TEST(ParamClamp, KeepsValuesWithinTheDeclaredBounds) {
  const ParamInfo param = Linear(-10.0, 10.0);
  EXPECT_EQ(ClampParam(param, -11.0), -10.0);
  EXPECT_EQ(ClampParam(param, 11.0), 10.0);
  EXPECT_EQ(ClampParam(param, 2.5), 2.5);
}

TEST(ParamClamp, LeavesASideThePlugInLeavesOpen) {
  ParamInfo param = Linear(0.0, 10.0);
  param.boundedAbove = false;
  EXPECT_EQ(ClampParam(param, 25.0), 25.0);
  EXPECT_EQ(ClampParam(param, -1.0), 0.0);
}

TEST(ParamClamp, RoundsIntegerPortsAndSwitchesToggles) {
  ParamInfo steps = Linear(1.0, 8.0);
  steps.integer = true;
  EXPECT_EQ(ClampParam(steps, 3.4), 3.0);
  EXPECT_EQ(ClampParam(steps, 9.0), 8.0);
  ParamInfo toggle = Linear(0.0, 1.0);
  toggle.toggled = true;
  EXPECT_EQ(ClampParam(toggle, 0.2), 1.0);
  EXPECT_EQ(ClampParam(toggle, 0.0), 0.0);
}

TEST(ParamNormalised, IsLinearOverTheRangeForPlainPorts) {
  const ParamInfo param = Linear(-20.0, 20.0);
  EXPECT_DOUBLE_EQ(ToNormalised(param, 10.0), 0.75);
  EXPECT_DOUBLE_EQ(FromNormalised(param, 0.25), -10.0);
}

TEST(ParamNormalised, IsLinearInTheLogarithmForLogarithmicPorts) {
  const ParamInfo param = Logarithmic(20.0, 20000.0);
  EXPECT_NEAR(ToNormalised(param, 632.4555), 0.5, 1e-6);
  EXPECT_NEAR(FromNormalised(param, 1.0 / 3.0), 200.0, 1e-9);
}

TEST(ParamNormalised, StartsALogarithmicRangeFromZeroSixtyDecibelsBelowTheTop) {
  const ParamInfo param = Logarithmic(0.0, 10.0);
  EXPECT_DOUBLE_EQ(LogFloor(param), 0.01);
  EXPECT_NEAR(FromNormalised(param, 0.5), std::sqrt(0.01 * 10.0), 1e-12);
  EXPECT_EQ(FromNormalised(param, 0.0), 0.0);
  EXPECT_EQ(ToNormalised(param, 0.005), 0.0);
}

TEST(ParamNormalised, RoundTripsEveryPosition) {
  const ParamInfo log = Logarithmic(0.5, 5000.0);
  const ParamInfo linear = Linear(-3.0, 7.0);
  for (double n = 0.0; n <= 1.0; n += 0.125) {
    EXPECT_NEAR(ToNormalised(log, FromNormalised(log, n)), n, 1e-12);
    EXPECT_NEAR(ToNormalised(linear, FromNormalised(linear, n)), n, 1e-12);
  }
}

TEST(ParamNormalised, StepsIntegerPortsAndClampsOutOfRangePositions) {
  ParamInfo steps = Linear(1.0, 8.0);
  steps.integer = true;
  EXPECT_EQ(FromNormalised(steps, 0.5), 5.0);  // 4.5 rounds away from zero
  EXPECT_EQ(FromNormalised(steps, 1.5), 8.0);
  EXPECT_EQ(FromNormalised(steps, -0.5), 1.0);
}

}  // namespace
}  // namespace qel::plugins
