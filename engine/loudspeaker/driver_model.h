// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A loudspeaker's small-signal model (Thiele and Small) as the network its
// terminals show: the voice coil's resistance Re and inductance, in series
// with the motional impedance, a parallel resonance of Res (the mechanical
// losses), Lces (the suspension's compliance) and Cmes (the moving mass):
//
//   Z = Re + Zl + Res / (1 + j·Qms·(f/fs − fs/f))
//   fs = 1 / (2π √(Lces·Cmes)),  Qms = 2π fs Cmes Res = Res / (2π fs Lces)
//
// The motional part is written in fs and Qms rather than Lces and Cmes: a
// curve shows those two directly, and a fit finds them well apart where it
// would find Lces and Cmes only as a ridge along fs.
//
// The coil is Zl = jωLe, or, where eddy currents in the pole piece show,
// jωLe ∥ R2 (carried as G2 = 1/R2, which is 0 for no losses and keeps the
// fit away from an infinite R2).
//
// Pure functions; any thread.

#include <array>
#include <complex>
#include <cstddef>

namespace lcr {

enum class tcoil_model { plain, lossy };

// The parameters in the order of the fit's vector.
enum class tdriver_parameter : std::size_t { re_ohm, le_h, res_ohm, fs_hz, qms, g2_s };
inline constexpr std::size_t driver_parameter_count = 6;
using tdriver_vector = std::array<double, driver_parameter_count>;

constexpr std::size_t index_of(tdriver_parameter parameter)
{
  return static_cast<std::size_t>(parameter);
}

struct tdriver_model {
  double re_ohm = 0.0;
  double le_h = 0.0;
  double res_ohm = 0.0;
  double fs_hz = 0.0;
  double qms = 0.0;
  double g2_s = 0.0;  // 1/R2 of the lossy coil; 0 for the plain one
  tcoil_model coil = tcoil_model::plain;
};

tdriver_vector vector_of(const tdriver_model& model);
tdriver_model model_of(const tdriver_vector& values, tcoil_model coil);

std::complex<double> driver_impedance(const tdriver_model& model, double frequency_hz);
// ∂Z/∂ each parameter of the vector at the frequency (0 for G2 with the
// plain coil).
std::array<std::complex<double>, driver_parameter_count> driver_impedance_slopes(const tdriver_model& model,
                                                                                 double frequency_hz);

// The motional elements and the electrical Q.
double lces_h(const tdriver_model& model);
double cmes_f(const tdriver_model& model);
double qes_of(const tdriver_model& model);
// Qms·Qes / (Qms + Qes).
double total_q(double qms, double qes);

}  // namespace lcr
