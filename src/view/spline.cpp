#include "view/spline.h"

#include <interpolation.h>

namespace qel::view {

struct CSpline::Impl {
  alglib::spline1dinterpolant interpolant;
};

CSpline::CSpline(int type) : type_(type), impl_(std::make_unique<Impl>()) {}

CSpline::~CSpline() = default;

bool CSpline::Build(std::span<const double> x, std::span<const double> y) {
  built_ = false;
  if (type_ != kLinear || x.size() != y.size() || x.size() < 2) return false;
  try {
    alglib::real_1d_array ax, ay;
    ax.setcontent(static_cast<alglib::ae_int_t>(x.size()), x.data());
    ay.setcontent(static_cast<alglib::ae_int_t>(y.size()), y.data());
    alglib::spline1dbuildlinear(ax, ay, static_cast<alglib::ae_int_t>(x.size()),
                                impl_->interpolant);
    built_ = true;
  } catch (const alglib::ap_error&) {
    built_ = false;  // duplicate abscissae and the like: no curve
  }
  return built_;
}

double CSpline::Evaluate(double x) const {
  if (!built_) return 0.0;
  return alglib::spline1dcalc(impl_->interpolant, x);
}

}  // namespace qel::view
