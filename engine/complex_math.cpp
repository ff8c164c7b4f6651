#include "complex_math.h"

#include <algorithm>
#include <cmath>

namespace lcr {

namespace {
constexpr double degrees_per_radian = static_cast<double>(180.0L / pi_extended);

double squared_magnitude(tcomplex a)
{
  return a.re * a.re + a.im * a.im;
}

// The power of two that brings a's larger part into [1, 2) where its square
// would overflow or vanish; 0 for ordinary and for non-finite values.
int square_safe_exponent(tcomplex a)
{
  const double largest = std::max(std::fabs(a.re), std::fabs(a.im));
  if (!std::isfinite(largest) || largest == 0.0) return 0;
  if (largest < 0x1p500 && largest > 0x1p-500) return 0;
  return std::ilogb(largest);
}

tcomplex scaled(tcomplex a, int exponent)
{
  return {std::ldexp(a.re, exponent), std::ldexp(a.im, exponent)};
}

bool is_finite(tcomplex a)
{
  return std::isfinite(a.re) && std::isfinite(a.im);
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

// a / b = a·2^−k / (b·2^−k).
tcomplex c_div(tcomplex a, tcomplex b)
{
  if (!is_finite(b)) return {};
  const int k = square_safe_exponent(b);
  a = scaled(a, -k);
  b = scaled(b, -k);
  const double d = squared_magnitude(b);
  if (!(d > 0.0)) return {};
  return {(a.re * b.re + a.im * b.im) / d, (a.im * b.re - a.re * b.im) / d};
}

// 1/a = 2^−k / (a·2^−k).
tcomplex c_inv(tcomplex a)
{
  if (!is_finite(a)) return {};
  const int k = square_safe_exponent(a);
  a = scaled(a, -k);
  const double d = squared_magnitude(a);
  if (!(d > 0.0)) return {};
  return scaled({a.re / d, -a.im / d}, -k);
}

double c_abs(tcomplex a)
{
  const int k = square_safe_exponent(a);
  return std::ldexp(std::sqrt(squared_magnitude(scaled(a, -k))), k);
}

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
