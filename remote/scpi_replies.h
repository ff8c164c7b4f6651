// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How the meter writes its answers: numbers that read back to the same
// double in any locale, and the benchtop status code of a reading.

#include "instrument.h"

#include <initializer_list>
#include <string>

namespace scpi {

// What the language answers for a number that is not known, and for one
// without bound (a deviation that reaches a quantity's pole).
inline constexpr double not_a_number = 9.91e37;
inline constexpr double infinity_value = 9.9e37;

// Shortest text that reads back to the same double; whole numbers as
// integers ("100000", not "1e+05").
std::string number_text(double value);
std::string numbers_text(std::initializer_list<double> values);

// As benchtop meters report it: 0 normal, 1 overload (an input clipped),
// 2 no usable signal (the tone does not reach the left input), −1 no
// settled reading.
int reading_status(const treading& reading);

}  // namespace scpi
