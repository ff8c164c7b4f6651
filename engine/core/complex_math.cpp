// SPDX-License-Identifier: GPL-3.0-or-later
#include "complex_math.h"

#include <algorithm>
#include <cmath>

namespace lcr {

namespace {
constexpr double degrees_per_radian = static_cast<double>(180.0L / pi_extended);
}  // namespace

using complex_detail::scaled;
using complex_detail::square_safe_exponent;
using complex_detail::squared_magnitude;

// (Rs² + Xs²)/Rs = 2^k·(Rs'² + Xs'²)/Rs' with Rs = 2^k·Rs'.
tcomplex ser_to_par(tcomplex z)
{
  const int k = square_safe_exponent(z);
  z = scaled(z, -k);
  const double s = squared_magnitude(z);
  return scaled({safe_div(s, z.re), safe_div(s, z.im)}, k);
}

tcomplex par_to_ser(tcomplex p)
{
  const double g = 1.0 / p.re;
  const double b = -1.0 / p.im;
  const double d = g * g + b * b;
  return {g / d, -b / d};
}

double safe_div(double num, double den)
{
  return std::fabs(den) > 0.0 ? num / den : 0.0;
}

double atan_deg(double re, double im)
{
  if (!(std::fabs(re) > 0.0)) return 0.0;
  return std::atan(im / re) * degrees_per_radian;
}

double angle_deg(double re, double im)
{
  double angle = 0.0;
  if (re > 0.0) {
    angle = std::atan(std::fabs(im) / re) * degrees_per_radian;
  } else if (re < 0.0) {
    angle = 180.0 - std::atan(std::fabs(im) / -re) * degrees_per_radian;
  }
  return im < 0.0 ? -angle : angle;
}

}  // namespace lcr
