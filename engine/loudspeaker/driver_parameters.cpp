// SPDX-License-Identifier: GPL-3.0-or-later
#include "driver_parameters.h"

#include "engine/core/complex_math.h"
#include "engine/core/plain_text.h"

#include <cmath>

namespace lcr {

namespace {

constexpr double standard_pressure_pa = 101325.0;
constexpr double air_gas_constant = 287.05;  // J/(kg·K), dry air
constexpr double zero_celsius_k = 273.15;
constexpr double reference_pressure_pa = 20e-6;

// Where each value sits in the vector the derivations read.
constexpr std::size_t free_block = 0;
constexpr std::size_t second_block = driver_parameter_count;
constexpr std::size_t amount_at = 2 * driver_parameter_count;
constexpr std::size_t sd_at = amount_at + 1;
constexpr std::size_t value_count = sd_at + 1;

using tvalues = std::span<const double>;

double parameter(tvalues x, std::size_t block, tdriver_parameter which)
{
  return x[block + index_of(which)];
}

tdriver_model model_in(tvalues x, std::size_t block, tcoil_model coil)
{
  tdriver_vector values{};
  for (std::size_t k = 0; k < driver_parameter_count; ++k) values[k] = x[block + k];
  return model_of(values, coil);
}

double qes_in(tvalues x, std::size_t block)
{
  return parameter(x, block, tdriver_parameter::qms) * parameter(x, block, tdriver_parameter::re_ohm) /
         parameter(x, block, tdriver_parameter::res_ohm);
}

double omega_s(tvalues x)
{
  return 2.0 * pi * parameter(x, free_block, tdriver_parameter::fs_hz);
}

// Both fits, the amount and Sd, with every covariance between them: each
// fit's own, and through a given Re, which both fits hold and follow.
tuncertain_values uncertain_values(const tdriver_fit& free_fit, const tdriver_fit* second_fit,
                                   const tdriver_entries& entries, const tentered& amount)
{
  std::vector<double> values(value_count, 0.0);
  const tdriver_vector free_values = vector_of(free_fit.model);
  std::copy(free_values.begin(), free_values.end(), values.begin() + free_block);
  if (second_fit) {
    const tdriver_vector second_values = vector_of(second_fit->model);
    std::copy(second_values.begin(), second_values.end(), values.begin() + second_block);
  }
  values[amount_at] = amount.value;
  values[sd_at] = entries.sd_m2 ? entries.sd_m2->value : 0.0;
  tuncertain_values uncertain(std::move(values));
  const auto add_fit = [&](const tdriver_fit& fit, std::size_t block) {
    for (std::size_t i = 0; i < driver_parameter_count; ++i) {
      for (std::size_t k = i; k < driver_parameter_count; ++k)
        uncertain.add_covariance(block + i, block + k, fit.covariance.at(i, k));
    }
  };
  add_fit(free_fit, free_block);
  if (second_fit) add_fit(*second_fit, second_block);
  if (entries.re_ohm) {
    const double re_variance = std::pow(standard_uncertainty(*entries.re_ohm), 2);
    std::vector<std::pair<std::size_t, const tdriver_vector*>> followers{{free_block, &free_fit.re_slopes}};
    if (second_fit) followers.emplace_back(second_block, &second_fit->re_slopes);
    for (const auto& [block_a, slopes_a] : followers) {
      for (const auto& [block_b, slopes_b] : followers) {
        for (std::size_t i = 0; i < driver_parameter_count; ++i) {
          for (std::size_t k = 0; k < driver_parameter_count; ++k) {
            // Each unordered pair once: add_covariance fills both halves.
            if (block_a + i > block_b + k) continue;
            uncertain.add_covariance(block_a + i, block_b + k, (*slopes_a)[i] * (*slopes_b)[k] * re_variance);
          }
        }
      }
    }
  }
  uncertain.add_covariance(amount_at, amount_at, std::pow(standard_uncertainty(amount), 2));
  if (entries.sd_m2)
    uncertain.add_covariance(sd_at, sd_at, std::pow(standard_uncertainty(*entries.sd_m2), 2));
  return uncertain;
}

tdriver_parameters free_air_parameters(const tuncertain_values& uncertain, tcoil_model coil)
{
  const auto of = [&](tdriver_parameter which) {
    return uncertain.derive([which](tvalues x) { return parameter(x, free_block, which); });
  };
  tdriver_parameters result;
  result.re_ohm = of(tdriver_parameter::re_ohm);
  result.le_h = of(tdriver_parameter::le_h);
  result.fs_hz = of(tdriver_parameter::fs_hz);
  result.qms = of(tdriver_parameter::qms);
  result.res_ohm = of(tdriver_parameter::res_ohm);
  result.z_max_ohm = uncertain.derive([coil](tvalues x) {
    const tdriver_model model = model_in(x, free_block, coil);
    return std::abs(driver_impedance(model, model.fs_hz));
  });
  result.qes = uncertain.derive([](tvalues x) { return qes_in(x, free_block); });
  result.qts = uncertain.derive([](tvalues x) {
    return total_q(parameter(x, free_block, tdriver_parameter::qms), qes_in(x, free_block));
  });
  result.lces_h = uncertain.derive([coil](tvalues x) { return lces_h(model_in(x, free_block, coil)); });
  result.cmes_f = uncertain.derive([coil](tvalues x) { return cmes_f(model_in(x, free_block, coil)); });
  if (coil == tcoil_model::lossy) {
    result.r2_ohm =
        uncertain.derive([](tvalues x) { return 1.0 / parameter(x, free_block, tdriver_parameter::g2_s); });
  }
  return result;
}

// Mms from either second curve: the added mass's shift of fs, or the box's
// stiffening through Vas.
tderivation moving_mass(tsecond_method method, tair air)
{
  if (method == tsecond_method::added_mass) {
    return [](tvalues x) {
      const double ratio = parameter(x, free_block, tdriver_parameter::fs_hz) /
                           parameter(x, second_block, tdriver_parameter::fs_hz);
      return x[amount_at] / (ratio * ratio - 1.0);
    };
  }
  return [air](tvalues x) {
    const double stiffening = parameter(x, second_block, tdriver_parameter::fs_hz) * qes_in(x, second_block) /
                              (parameter(x, free_block, tdriver_parameter::fs_hz) * qes_in(x, free_block));
    const double vas_m3 = x[amount_at] * (stiffening - 1.0);
    const double c = air.sound_speed_m_per_s;
    const double cms = vas_m3 / (air.density_kg_per_m3 * c * c * x[sd_at] * x[sd_at]);
    return 1.0 / (omega_s(x) * omega_s(x) * cms);
  };
}

tmechanical_parameters mechanical_parameters(const tuncertain_values& uncertain, tsecond_method method,
                                             tair air)
{
  const tderivation mms = moving_mass(method, air);
  const double rho = air.density_kg_per_m3;
  const double c = air.sound_speed_m_per_s;
  const auto cms = [mms](tvalues x) { return 1.0 / (omega_s(x) * omega_s(x) * mms(x)); };
  const auto eta0 = [=](tvalues x) {
    return rho * x[sd_at] * x[sd_at] * parameter(x, free_block, tdriver_parameter::fs_hz) /
           (c * mms(x) * qes_in(x, free_block));
  };
  tmechanical_parameters result;
  result.mms_kg = uncertain.derive(mms);
  result.cms_m_per_n = uncertain.derive(cms);
  result.rms_kg_per_s = uncertain.derive(
      [mms](tvalues x) { return omega_s(x) * mms(x) / parameter(x, free_block, tdriver_parameter::qms); });
  result.bl_tm = uncertain.derive([mms](tvalues x) {
    return std::sqrt(omega_s(x) * mms(x) * parameter(x, free_block, tdriver_parameter::re_ohm) /
                     qes_in(x, free_block));
  });
  result.vas_m3 = uncertain.derive([=](tvalues x) { return rho * c * c * x[sd_at] * x[sd_at] * cms(x); });
  result.eta0 = uncertain.derive(eta0);
  result.spl_db = uncertain.derive([=](tvalues x) {
    return 10.0 * std::log10(eta0(x) * rho * c / (2.0 * pi * reference_pressure_pa * reference_pressure_pa));
  });
  return result;
}

tdriver_report refused(std::string reason)
{
  tdriver_report report;
  report.refusal = std::move(reason);
  return report;
}

bool proper(const tentered& entered)
{
  return std::isfinite(entered.value) && entered.value > 0.0 && std::isfinite(entered.tolerance) &&
         entered.tolerance >= 0.0;
}

// Why the entries cannot be used, or empty.
std::string entry_fault(const std::optional<tsecond_curve>& second, const tdriver_entries& entries)
{
  if (entries.re_ohm && !proper(*entries.re_ohm)) return "Re muss positiv sein, seine Toleranz nicht negativ";
  if (!(entries.temperature_c >= -40.0 && entries.temperature_c <= 60.0))
    return "Temperatur außerhalb −40 … 60 °C";
  if (!second) return {};
  const bool mass = second->method == tsecond_method::added_mass;
  if (!proper(second->amount)) {
    return mass ? "Masse muss positiv sein, ihre Toleranz nicht negativ"
                : "Volumen muss positiv sein, seine Toleranz nicht negativ";
  }
  if (!entries.sd_m2) return "Membranfläche Sd fehlt";
  if (!proper(*entries.sd_m2)) return "Membranfläche muss positiv sein, ihre Toleranz nicht negativ";
  return {};
}

std::string hz_text(double frequency_hz)
{
  return round_trip_number(std::round(frequency_hz * 100.0) / 100.0) + " Hz";
}

// Why the second curve's resonance cannot carry the mechanical
// parameters, or empty.
std::string second_resonance_fault(tsecond_method method, const tdriver_fit& free_fit,
                                   const tdriver_fit& second_fit)
{
  const double fs_hz = free_fit.model.fs_hz;
  const double second_hz = second_fit.model.fs_hz;
  if (method == tsecond_method::added_mass) {
    if (second_hz < fs_hz) return {};
    return "mit Zusatzmasse liegt die Resonanz nicht tiefer (" + hz_text(second_hz) + " gegen " +
           hz_text(fs_hz) + " frei)";
  }
  if (second_hz * qes_of(second_fit.model) > fs_hz * qes_of(free_fit.model)) return {};
  return "im Gehäuse liegt fc·Qec nicht über fs·Qes (fc = " + hz_text(second_hz) +
         ", fs = " + hz_text(fs_hz) + "): Vas wäre nicht positiv";
}

}  // namespace

tair air_at(double temperature_c)
{
  return {standard_pressure_pa / (air_gas_constant * (temperature_c + zero_celsius_k)),
          331.3 * std::sqrt(1.0 + temperature_c / zero_celsius_k)};
}

tdriver_report measure_driver(const tdriver_curve& free_curve, const std::optional<tsecond_curve>& second,
                              const tdriver_entries& entries)
{
  if (const std::string fault = entry_fault(second, entries); !fault.empty()) return refused(fault);
  const bool mass = second && second->method == tsecond_method::added_mass;
  const std::string second_name = mass ? "Kurve mit Zusatzmasse" : "Kurve im Gehäuse";
  // Without the analyser's uncertainties only the residuals tell how well
  // each curve measured; curves of different grids were not taken in one
  // set-up, and a shift between set-ups (level, warm-up) is not the
  // mass's or the box's.
  if (second && (!free_curve.weighted() || !second->curve.weighted()) &&
      !same_grid(free_curve, second->curve)) {
    return refused("Kurven mit verschiedenen Frequenzrastern: beide im selben Raster messen");
  }
  const std::optional<double> given_re_ohm =
      entries.re_ohm ? std::optional<double>(entries.re_ohm->value) : std::nullopt;
  tdriver_report report;
  report.free_fit = fit_driver(free_curve, given_re_ohm);
  if (!report.free_fit.ok()) return refused((second ? "Kurve ohne Zusatz: " : "") + report.free_fit.refusal);
  if (second) {
    report.second_fit = fit_driver(second->curve, given_re_ohm);
    if (!report.second_fit->ok()) return refused(second_name + ": " + report.second_fit->refusal);
    const std::string fault = second_resonance_fault(second->method, report.free_fit, *report.second_fit);
    if (!fault.empty()) return refused(fault);
  }
  report.air = air_at(entries.temperature_c);
  const tuncertain_values uncertain =
      uncertain_values(report.free_fit, report.second_fit ? &*report.second_fit : nullptr, entries,
                       second ? second->amount : tentered{});
  report.parameters = free_air_parameters(uncertain, report.free_fit.model.coil);
  if (second) report.parameters.mechanical = mechanical_parameters(uncertain, second->method, report.air);
  report.free_drive = check_drive(free_curve, report.free_fit.resonance, "Kurve in Freiluft");
  if (second) report.second_drive = check_drive(second->curve, report.second_fit->resonance, second_name);
  return report;
}

}  // namespace lcr
