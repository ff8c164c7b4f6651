#include "complex_math.h"

#include <cmath>

namespace lcr {

namespace {
constexpr double degrees_per_radian = static_cast<double>(180.0L / pi_extended);

double squared_magnitude(tcomplex a)
{
  return a.re * a.re + a.im * a.im;
}
}  // namespace

tcomplex c_add(tcomplex a, tcomplex b)
{
  return {a.re + b.re, a.im + b.im};
}

tcomplex c_sub(tcomplex a, tcomplex b)
{
  return {a.re - b.re, a.im - b.im};
}

tcomplex c_mul(tcomplex a, tcomplex b)
{
  return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}

tcomplex c_div(tcomplex a, tcomplex b)
{
  const double d = squared_magnitude(b);
  if (!(d > 0.0)) return {};
  return {(a.re * b.re + a.im * b.im) / d, (a.im * b.re - a.re * b.im) / d};
}

tcomplex c_inv(tcomplex a)
{
  const double d = squared_magnitude(a);
  if (!(d > 0.0)) return {};
  return {a.re / d, -a.im / d};
}

double c_abs(tcomplex a)
{
  return std::sqrt(squared_magnitude(a));
}

tcomplex ser_to_par(tcomplex z)
{
  const double s = squared_magnitude(z);
  return {safe_div(s, z.re), safe_div(s, z.im)};
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
