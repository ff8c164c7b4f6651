// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Numbers as the operator types them in the window's fields, and the test
// frequencies as the window writes them. Window's thread.

#include <QString>

#include <optional>

// A number as the operator's locale writes it ("1000,0" with a decimal
// comma); nothing when the text is not one.
std::optional<double> parse_locale_number(const QString& text, char separator);

// "100 Hz", "1 KHz", "20 KHz": a test frequency with the prefix the window
// gives every unit ("KOhm").
QString frequency_text(double frequency_hz);
