// SPDX-License-Identifier: GPL-3.0-or-later
#include "driver_model.h"

#include "engine/core/complex_math.h"

namespace lcr {

namespace {

using complex = std::complex<double>;
constexpr complex j{0.0, 1.0};

double omega_of(double frequency_hz)
{
  return 2.0 * pi * frequency_hz;
}

// The detuning f/fs − fs/f: 0 at resonance, odd about it on a log scale.
double detuning(const tdriver_model& model, double frequency_hz)
{
  return frequency_hz / model.fs_hz - model.fs_hz / frequency_hz;
}

// 1 + jωLe·G2: the lossy coil's denominator, 1 for the plain one.
complex coil_denominator(const tdriver_model& model, double frequency_hz)
{
  const double g2_s = model.coil == tcoil_model::lossy ? model.g2_s : 0.0;
  return 1.0 + j * omega_of(frequency_hz) * model.le_h * g2_s;
}

}  // namespace

tdriver_vector vector_of(const tdriver_model& model)
{
  return {model.re_ohm, model.le_h, model.res_ohm, model.fs_hz, model.qms, model.g2_s};
}

tdriver_model model_of(const tdriver_vector& values, tcoil_model coil)
{
  const auto at = [&](tdriver_parameter parameter) { return values[index_of(parameter)]; };
  return {at(tdriver_parameter::re_ohm),
          at(tdriver_parameter::le_h),
          at(tdriver_parameter::res_ohm),
          at(tdriver_parameter::fs_hz),
          at(tdriver_parameter::qms),
          coil == tcoil_model::lossy ? at(tdriver_parameter::g2_s) : 0.0,
          coil};
}

std::complex<double> driver_impedance(const tdriver_model& model, double frequency_hz)
{
  const complex coil = j * omega_of(frequency_hz) * model.le_h / coil_denominator(model, frequency_hz);
  const complex motional = model.res_ohm / (1.0 + j * model.qms * detuning(model, frequency_hz));
  return model.re_ohm + coil + motional;
}

std::array<std::complex<double>, driver_parameter_count> driver_impedance_slopes(const tdriver_model& model,
                                                                                 double frequency_hz)
{
  const double omega = omega_of(frequency_hz);
  const complex coil_d = coil_denominator(model, frequency_hz);
  const complex motional_d = 1.0 + j * model.qms * detuning(model, frequency_hz);
  const complex motional_d2 = motional_d * motional_d;
  // d(f/fs − fs/f)/dfs
  const double detuning_slope = -frequency_hz / (model.fs_hz * model.fs_hz) - 1.0 / frequency_hz;
  std::array<complex, driver_parameter_count> slopes{};
  slopes[index_of(tdriver_parameter::re_ohm)] = 1.0;
  slopes[index_of(tdriver_parameter::le_h)] = j * omega / (coil_d * coil_d);
  slopes[index_of(tdriver_parameter::res_ohm)] = 1.0 / motional_d;
  slopes[index_of(tdriver_parameter::fs_hz)] = -model.res_ohm * j * model.qms * detuning_slope / motional_d2;
  slopes[index_of(tdriver_parameter::qms)] = -model.res_ohm * j * detuning(model, frequency_hz) / motional_d2;
  if (model.coil == tcoil_model::lossy) {
    const complex reactance = j * omega * model.le_h;
    slopes[index_of(tdriver_parameter::g2_s)] = -reactance * reactance / (coil_d * coil_d);
  }
  return slopes;
}

double lces_h(const tdriver_model& model)
{
  return model.res_ohm / (omega_of(model.fs_hz) * model.qms);
}

double cmes_f(const tdriver_model& model)
{
  return model.qms / (omega_of(model.fs_hz) * model.res_ohm);
}

double qes_of(const tdriver_model& model)
{
  return model.qms * model.re_ohm / model.res_ohm;
}

double total_q(double qms, double qes)
{
  return qms * qes / (qms + qes);
}

}  // namespace lcr
