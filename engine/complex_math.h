#pragma once

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

tcomplex c_add(tcomplex a, tcomplex b);
tcomplex c_sub(tcomplex a, tcomplex b);
tcomplex c_mul(tcomplex a, tcomplex b);
// The operations that square a value (c_div, c_inv, c_abs, ser_to_par)
// first scale it by a power of two where a square would overflow or vanish
// (parts beyond 2^±500), so that every finite value gives a result that is
// not NaN; ordinary values are computed exactly as written, unscaled.

// (0, 0) when |b|² is 0 or b is not finite.
tcomplex c_div(tcomplex a, tcomplex b);
// (0, 0) when |a|² is 0 or a is not finite.
tcomplex c_inv(tcomplex a);
// √(re² + im²), evaluated in that order.
double c_abs(tcomplex a);

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
