// SPDX-License-Identifier: GPL-3.0-or-later
#include "quantities.h"

#include "engine/core/settings.h"

#include <cmath>

namespace lcr {

quantity_key parse_quantity_key(std::string_view key)
{
  // Compared in this order, first match wins; keys are case-sensitive.
  static constexpr std::array<std::pair<std::string_view, quantity_key>, 12> keys{{
      {"Z", quantity_key::Z},
      {"phi_Z", quantity_key::phi_Z},
      {"Y", quantity_key::Y},
      {"phi_Y", quantity_key::phi_Y},
      {"G", quantity_key::G},
      {"B", quantity_key::B},
      {"D", quantity_key::D},
      {"Q", quantity_key::Q},
      {"X", quantity_key::X},
      {"R", quantity_key::R},
      {"C", quantity_key::C},
      {"L", quantity_key::L},
  }};
  for (const auto& [text, parsed] : keys) {
    if (key == text) return parsed;
  }
  return quantity_key::none;
}

bool is_parallel_circuit(std::string_view circuit)
{
  return circuit == "par";
}

double quantity_value(tcomplex z, quantity_key key, bool parallel, double frequency_hz)
{
  if (parallel) z = ser_to_par(z);
  const double r = z.re;
  const double x = z.im;
  const double omega = 2.0 * pi * frequency_hz;
  switch (key) {
    case quantity_key::Z: return c_abs(z);
    case quantity_key::phi_Z: return atan_deg(r, x);
    case quantity_key::Y: return safe_div(1.0, c_abs(z));
    case quantity_key::phi_Y: return -atan_deg(r, x);
    case quantity_key::G: return c_inv(z).re;
    case quantity_key::B: return c_inv(z).im;
    case quantity_key::D: return std::fabs(safe_div(r, x));
    case quantity_key::Q: return std::fabs(safe_div(x, r));
    case quantity_key::X: return x;
    case quantity_key::R: return r;
    case quantity_key::C: return safe_div(-1.0, omega * x);
    case quantity_key::L: return x / omega;
    case quantity_key::none: break;
  }
  return 0.0;
}

double quantity_value(tcomplex z, const tlcr_strings& record)
{
  return quantity_value(z, parse_quantity_key(record.quantity), is_parallel_circuit(record.circuit),
                        current_frequency_hz());
}

int find_meas_mode(std::string_view caption)
{
  for (int mode = 0; mode < meas_mode_count; ++mode) {
    if (meas_modes[static_cast<std::size_t>(mode)].caption == caption) return mode;
  }
  return -1;
}

double quantity_period(quantity_key key)
{
  return key == quantity_key::phi_Z || key == quantity_key::phi_Y ? 180.0 : 0.0;
}

double quantity_difference(quantity_key key, double a, double b)
{
  const double period = quantity_period(key);
  const double difference = a - b;
  return period > 0.0 && std::isfinite(difference) ? std::remainder(difference, period) : difference;
}

tquantity_poles quantity_poles(quantity_key key, bool parallel, double frequency_hz, tcomplex z)
{
  const double magnitude = c_abs(z) > 0.0 ? c_abs(z) : 1.0;
  const auto size = [&](tcomplex at) { return std::fabs(quantity_value(at, key, parallel, frequency_hz)); };
  // Against its size at 45°, not at z, which may lie near the pole itself.
  const double reference = 1e6 * size({magnitude * std::sqrt(0.5), magnitude * std::sqrt(0.5)});
  if (!(reference > 0.0)) return {};
  const double tiny = 1e-9 * magnitude;
  return {size({tiny, z.im}) > reference, size({z.re, tiny}) > reference, size({tiny, tiny}) > reference};
}

}  // namespace lcr
