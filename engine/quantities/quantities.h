// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Turns one corrected impedance into the quantities the window shows, and
// holds the table of the fourteen measurement modes (shared by the window and
// the command-line meter).

#include "engine/core/complex_math.h"

#include <array>
#include <string>
#include <string_view>

namespace lcr {

// One displayed quantity from its selection to its texts. `quantity` is a key
// ("Z", "phi_Z", "Y", "phi_Y", "R", "X", "G", "B", "Q", "D", "C", "L"),
// `circuit` is "ser", "par" or empty; the other four are written by
// name_quantity and format_quantity.
struct tlcr_strings {
  std::string quantity;
  std::string circuit;
  std::string symbol;
  std::string long_name;
  std::string value_text;
  std::string unit_text;
};

// The keys in the order quantity_value compares them; `none` for an unknown
// or empty key (whose value is 0).
enum class quantity_key { Z, phi_Z, Y, phi_Y, G, B, D, Q, X, R, C, L, none };

quantity_key parse_quantity_key(std::string_view key);
// Only "par" changes the arithmetic; "ser" and empty compute alike.
bool is_parallel_circuit(std::string_view circuit);

// The value of a quantity for the impedance z (ohm) at the frequency
// frequency_hz, in its base unit (ohm, siemens, degree, farad, henry, none).
double quantity_value(tcomplex z, quantity_key key, bool parallel, double frequency_hz);
// The same for a record's key and circuit at the current `freq_index`.
double quantity_value(tcomplex z, const tlcr_strings& record);

// The phase angles are two-quadrant: a value and the same plus or minus
// 180° describe one impedance (a capacitor whose resistance reads a hair
// below zero shows +89.99° for −90.01°). Their errors are told modulo
// 180°; every other quantity's plainly.
double quantity_period(quantity_key key);
// a − b, for a phase the nearest to zero of its values modulo 180°.
double quantity_difference(quantity_key key, double a, double b);

// Where a quantity near z grows without bound: as the resistance, the
// reactance or the whole impedance goes to zero (a parallel resistance, a
// Q, a capacitance from a reactance, an admittance). Told numerically: near
// there it exceeds a million times its size at the same magnitude at 45°
// (a quantity that is 0 there has none).
struct tquantity_poles {
  bool resistance = false;
  bool reactance = false;
  bool impedance = false;
};
tquantity_poles quantity_poles(quantity_key key, bool parallel, double frequency_hz, tcomplex z);

struct tmeas_mode {
  std::string_view first_key;
  std::string_view first_circuit;
  std::string_view second_key;
  std::string_view second_circuit;
  std::string_view caption;  // caption of the mode's option button
};

inline constexpr std::array<tmeas_mode, 14> meas_modes{{
    {"Z", "", "phi_Z", "", "Z/phi"},
    {"Y", "", "phi_Y", "", "Y/phi"},
    {"R", "ser", "X", "ser", "Rs/Xs"},
    {"R", "par", "X", "par", "Rp/Xp"},
    {"G", "ser", "B", "ser", "Gs/Bs"},
    {"G", "par", "B", "par", "Gp/Bp"},
    {"R", "ser", "C", "ser", "Rs/Cs"},
    {"R", "par", "C", "par", "Rp/Cp"},
    {"R", "ser", "L", "ser", "Rs/Ls"},
    {"R", "par", "L", "par", "Rp/Lp"},
    {"Q", "", "C", "", "Q/C"},
    {"D", "", "C", "", "D/C"},
    {"Q", "", "L", "", "Q/L"},
    {"D", "", "L", "", "D/L"},
}};

inline constexpr int meas_mode_count = static_cast<int>(meas_modes.size());

// The mode whose button caption is `caption`, or −1.
int find_meas_mode(std::string_view caption);

}  // namespace lcr
