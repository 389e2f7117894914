// CSpline: an interpolating curve through a set of points, built and evaluated
// by ALGLIB's one-dimensional spline routines. The view uses type 1, the
// piecewise-linear spline (points sorted by x, straight segments between
// neighbours, the first and last segments continued outside the points).
#pragma once

#include <memory>
#include <span>

namespace qel::view {

class CSpline {
 public:
  static constexpr int kLinear = 1;

  explicit CSpline(int type = kLinear);
  ~CSpline();
  CSpline(const CSpline&) = delete;
  CSpline& operator=(const CSpline&) = delete;

  // Builds the curve through (x[i], y[i]); needs at least two points. False when
  // the points cannot make a curve (too few, or a type other than linear).
  bool Build(std::span<const double> x, std::span<const double> y);
  bool Built() const { return built_; }
  // The interpolated value at x (0 before Build).
  double Evaluate(double x) const;

 private:
  struct Impl;
  int type_;
  bool built_ = false;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qel::view
