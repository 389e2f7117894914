// Gain curves through (frequency, value) points, drawn on a logarithmic
// frequency axis and held flat beyond the first and last points: shared by
// the FFT and FIR filters.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "processor.h"

namespace qel::effects::spectral {

// How the curve passes between points, in log2(frequency).
enum class Interpolation { kLinear = 0, kCubic = 1, kAkima = 2, kMonotone = 3 };

// The points a filter is drawn through, sorted by frequency.
struct CurvePoints {
  std::vector<double> hz;
  std::vector<double> values;
};

// Pairs hz[i] with values[i] (the first min(length) pairs); points at or below
// 0 Hz are left out, and of points at the same frequency the one given last is
// kept.
CurvePoints SortPoints(const std::vector<double>& hz, const std::vector<double>& values);

// The curve at each of `frequencies` (Hz, any order). With no points it is
// `empty` everywhere; with one point it is flat at that value.
std::vector<double> SampleCurve(const CurvePoints& points, Interpolation interpolation,
                                std::span<const double> frequencies, double empty);

// Reads an array parameter whose values must all be finite.
bool AsFiniteArray(const ParamValue& value, std::vector<double>& out);
// Reads a number parameter that must be finite.
bool AsFiniteNumber(const ParamValue& value, double& out);

// 2^round(log2 v), clamped to [lo, hi] (powers of two); non-positive v gives lo.
std::size_t RoundToPowerOfTwo(double v, std::size_t lo, std::size_t hi);

}  // namespace qel::effects::spectral
