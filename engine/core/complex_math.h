// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <cmath>

// The engine's complex arithmetic and its guarded real helpers. Every
// division that a measurement can make zero yields 0 or (0, 0) instead of
// failing; the engine reports no errors of its own. Pure functions, callable
// from any thread.

namespace lcr {

inline constexpr long double pi_extended = 3.14159265358979323846L;
inline constexpr double pi = static_cast<double>(pi_extended);

// Impedance in ohm (Z = R + jX, X > 0 inductive), admittance in siemens, or a
// dimensionless channel ratio.
struct tcomplex {
  double re = 0.0;
  double im = 0.0;

  friend bool operator==(const tcomplex&, const tcomplex&) = default;
};

// Inline: the deviation search spends most of its time in these.
inline tcomplex c_add(tcomplex a, tcomplex b)
{
  return {a.re + b.re, a.im + b.im};
}
inline tcomplex c_sub(tcomplex a, tcomplex b)
{
  return {a.re - b.re, a.im - b.im};
}
inline tcomplex c_mul(tcomplex a, tcomplex b)
{
  return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}

namespace complex_detail {

// The power of two that brings a's larger part into [1, 2) where its square
// would overflow or vanish; 0 for ordinary and for non-finite values.
inline int square_safe_exponent(tcomplex a)
{
  const double largest = std::max(std::fabs(a.re), std::fabs(a.im));
  if (!std::isfinite(largest) || largest == 0.0) return 0;
  if (largest < 0x1p500 && largest > 0x1p-500) return 0;
  return std::ilogb(largest);
}

// Ordinary values need no scaling; ldexp would cost more than the
// arithmetic around it.
inline tcomplex scaled(tcomplex a, int exponent)
{
  if (exponent == 0) return a;
  return {std::ldexp(a.re, exponent), std::ldexp(a.im, exponent)};
}

inline double squared_magnitude(tcomplex a)
{
  return a.re * a.re + a.im * a.im;
}

inline bool is_finite(tcomplex a)
{
  return std::isfinite(a.re) && std::isfinite(a.im);
}

}  // namespace complex_detail

// The operations that square a value (c_div, c_inv, c_abs, ser_to_par)
// first scale it by a power of two where a square would overflow or vanish
// (parts beyond 2^±500), so that every finite value gives a result that is
// not NaN; ordinary values are computed exactly as written, unscaled.

// (0, 0) when |b|² is 0 or b is not finite. a / b = a·2^−k / (b·2^−k).
inline tcomplex c_div(tcomplex a, tcomplex b)
{
  using namespace complex_detail;
  if (!is_finite(b)) return {};
  const int k = square_safe_exponent(b);
  a = scaled(a, -k);
  b = scaled(b, -k);
  const double d = squared_magnitude(b);
  if (!(d > 0.0)) return {};
  return {(a.re * b.re + a.im * b.im) / d, (a.im * b.re - a.re * b.im) / d};
}

// (0, 0) when |a|² is 0 or a is not finite. 1/a = 2^−k / (a·2^−k).
inline tcomplex c_inv(tcomplex a)
{
  using namespace complex_detail;
  if (!is_finite(a)) return {};
  const int k = square_safe_exponent(a);
  a = scaled(a, -k);
  const double d = squared_magnitude(a);
  if (!(d > 0.0)) return {};
  return scaled({a.re / d, -a.im / d}, -k);
}

// √(re² + im²), evaluated in that order.
inline double c_abs(tcomplex a)
{
  using namespace complex_detail;
  const int k = square_safe_exponent(a);
  const double magnitude = std::sqrt(squared_magnitude(scaled(a, -k)));
  return k == 0 ? magnitude : std::ldexp(magnitude, k);
}

// Series pair (Rs, Xs) to parallel pair (Rp, Xp); each part 0 where the
// corresponding series part is 0 (infinite where the pair exceeds the
// range of a double).
tcomplex ser_to_par(tcomplex z);
// Parallel pair (Rp, Xp) to series pair; unguarded: both parts must be
// non-zero (used only with the operator's known-resistor entries).
tcomplex par_to_ser(tcomplex p);

// num / den, or 0 when den is 0.
double safe_div(double num, double den);
// Two-quadrant angle of (re, im) in degrees, −90 … +90; 0 when re is 0.
double atan_deg(double re, double im);
// Four-quadrant angle of (re, im) in degrees, −180 … +180; 0 when re is 0.
double angle_deg(double re, double im);

}  // namespace lcr
