#pragma once

// Numbers as the operator types them in the window's fields. Window's
// thread.

#include <QString>

#include <optional>

// A number as the operator's locale writes it ("1000,0" with a decimal
// comma); nothing when the text is not one.
std::optional<double> parse_locale_number(const QString& text, char separator);
