// SPDX-License-Identifier: GPL-3.0-or-later
#include "quantity_texts.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <locale>
#include <stdexcept>
#include <string_view>

namespace lcr {

namespace {

std::atomic<char> separator_setting{'.'};

// A short text built on the stack, so that formatting allocates nothing.
class text_buffer {
public:
  void append(std::string_view text)
  {
    const auto room = chars_.size() - length_;
    const auto count = std::min(room, text.size());
    std::copy_n(text.data(), count, chars_.data() + length_);
    length_ += count;
  }

  // printf "%<min_width>.<decimals>f", with `separator` for the point.
  void append_fixed(double value, int decimals, int min_width, char separator)
  {
    std::array<char, 400> digits{};
    const auto [end, error] = std::to_chars(digits.data(), digits.data() + digits.size(), value,
                                            std::chars_format::fixed, decimals);
    if (error != std::errc{}) {
      append("?");
      return;
    }
    const auto length = static_cast<int>(end - digits.data());
    std::replace(digits.data(), end, '.', separator);
    for (int pad = length; pad < min_width; ++pad) append(" ");
    append({digits.data(), static_cast<std::size_t>(length)});
  }

  std::string_view view() const { return {chars_.data(), length_}; }

private:
  std::array<char, 128> chars_{};
  std::size_t length_ = 0;
};

enum class unit_class { none, degree, ohm, siemens, farad, henry };

unit_class unit_class_of(std::string_view key)
{
  if (key == "phi_Z" || key == "phi_Y") return unit_class::degree;
  if (key == "Z" || key == "R" || key == "X") return unit_class::ohm;
  if (key == "Y" || key == "G" || key == "B") return unit_class::siemens;
  if (key == "C") return unit_class::farad;
  if (key == "L") return unit_class::henry;
  return unit_class::none;  // "Q", "D" and unknown keys
}

std::string_view unit_name(unit_class unit)
{
  switch (unit) {
    case unit_class::degree: return "°";
    case unit_class::ohm: return "Ohm";
    case unit_class::siemens: return "S";
    case unit_class::farad: return "F";
    case unit_class::henry: return "H";
    case unit_class::none: break;
  }
  return "";
}

bool takes_prefix(unit_class unit)
{
  return unit != unit_class::none && unit != unit_class::degree;
}

// Engineering prefix of decade group d (−5 … 4) and the value scaled to it.
std::string_view scale_to_prefix(int d, double& v)
{
  switch (d) {
    case 4: v /= 1e12; return "T";
    case 3: v /= 1e9; return "G";
    case 2: v /= 1e6; return "M";
    case 1: v /= 1e3; return "K";
    case -1: v *= 1e3; return "m";
    case -2: v *= 1e6; return "µ";
    case -3: v *= 1e9; return "n";
    case -4: v *= 1e12; return "p";
    case -5: v *= 1e15; return "f";
    default: break;
  }
  return "";
}

// Class 0 (Q, D, unknown): fixed thresholds decide the decimals.
void format_dimensionless(text_buffer& text, double v, char separator)
{
  if (v < 0.0001) {
    text.append("< ");
    text.append_fixed(0.0001, 5, 4, separator);
  } else if (v < 1.0) {
    text.append_fixed(v, 5, 4, separator);
  } else if (v > 10000.0) {
    text.append("> ");
    text.append_fixed(10000.0, 1, 4, separator);
  } else if (v > 1000.0) {
    text.append_fixed(v, 1, 4, separator);
  } else if (v > 100.0) {
    text.append_fixed(v, 2, 4, separator);
  } else {
    text.append_fixed(v, 3, 4, separator);
  }
}

// Down to the first significant digit: no decimals for |v| ≥ 1, one for
// 0.1 ≤ |v| < 1, and so on.
int decimals_to_first_digit(double v)
{
  const double magnitude = std::fabs(v);
  double exponent = magnitude > 0.0 ? std::log10(magnitude) : 0.0;
  if (!std::isfinite(exponent)) exponent = 0.0;
  return static_cast<int>(-std::min(std::floor(exponent), 0.0));
}

char separator_of_locale_name(std::string_view name)
{
  const auto language_end = name.find_first_of("_.@");
  const std::string_view language = name.substr(0, language_end);
  if (name.starts_with("de_CH") || name.starts_with("de_LI")) return '.';
  static constexpr std::array<std::string_view, 34> comma_languages{
      "de", "fr", "es", "it", "nl", "pt", "ru", "pl", "cs", "sk", "sv", "da",
      "fi", "nb", "nn", "no", "tr", "el", "hu", "ro", "bg", "uk", "hr", "sl",
      "sr", "lt", "lv", "et", "id", "vi", "ca", "eu", "gl", "is"};
  return std::find(comma_languages.begin(), comma_languages.end(), language) != comma_languages.end()
             ? ','
             : '.';
}

std::string_view numeric_locale_name_from_environment()
{
  for (const char* variable : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return value;
  }
  return "C";
}

}  // namespace

void set_decimal_separator(char separator)
{
  separator_setting.store(separator);
}

char decimal_separator()
{
  return separator_setting.load();
}

char locale_decimal_separator()
{
  const std::string_view name = numeric_locale_name_from_environment();
  try {
    // A locale object of our own; the process's global locale stays as it is.
    const std::locale user_locale{std::string(name)};
    return std::use_facet<std::numpunct<char>>(user_locale).decimal_point();
  } catch (const std::runtime_error&) {
    // The locale is not installed on this machine: judge by its name.
    return separator_of_locale_name(name);
  }
}

std::string format_fixed(double value, int decimals, int min_width, char separator)
{
  text_buffer text;
  text.append_fixed(value, decimals, min_width, separator);
  return std::string(text.view());
}

void format_quantity(int full_precision, tlcr_strings& record, double v)
{
  const unit_class unit = unit_class_of(record.quantity);
  const char separator = decimal_separator();
  text_buffer value_text;
  text_buffer unit_text;

  // Not a number is beyond every range: shown at the upper range limit.
  const double magnitude = std::isnan(v) ? std::numeric_limits<double>::infinity() : std::fabs(v);
  const double decade_group = magnitude > 0.0 ? std::floor(std::log10(magnitude) / 3.0) : 0.0;
  if (decade_group > 4.0 || decade_group < -5.0) {
    value_text.append(decade_group > 4.0 ? "> 1" : "< 1");
    unit_text.append(decade_group > 4.0 ? "P" : "f");
    unit_text.append(unit_name(unit));
    record.value_text.assign(value_text.view());
    record.unit_text.assign(unit_text.view());
    return;
  }

  const int d = static_cast<int>(decade_group);
  double shown = v;
  if (takes_prefix(unit)) unit_text.append(scale_to_prefix(d, shown));
  unit_text.append(unit_name(unit));

  if (full_precision == 0) {
    value_text.append_fixed(shown, decimals_to_first_digit(shown), 4, separator);
  } else if (unit == unit_class::none) {
    format_dimensionless(value_text, v, separator);
  } else {
    value_text.append_fixed(shown, 3, 4, separator);
  }
  record.value_text.assign(value_text.view());
  record.unit_text.assign(unit_text.view());
}

tunit_scale unit_scale(const std::string& quantity, double magnitude)
{
  const unit_class unit = unit_class_of(quantity);
  tunit_scale scale;
  if (takes_prefix(unit) && magnitude > 0.0 && std::isfinite(magnitude)) {
    const int d = std::clamp(static_cast<int>(std::floor(std::log10(magnitude) / 3.0)), -5, 4);
    double one = 1.0;
    scale.unit_text = std::string(scale_to_prefix(d, one));
    scale.factor = 1.0 / one;
  }
  scale.unit_text += std::string(unit_name(unit));
  return scale;
}

void name_quantity(tlcr_strings& record)
{
  struct naming {
    std::string_view key;
    std::string_view symbol;
    std::string_view long_name;
  };
  static constexpr std::array<naming, 12> names{{
      {"Z", "Z", "Scheinwiderstand, Impedanz"},
      {"phi_Z", "phi", "Phasenwinkel"},
      {"Y", "Y", "Scheinleitwert, Admittanz"},
      {"phi_Y", "phi", "Phasenwinkel"},
      {"R", "R", "Wirkwiderstand, Resistanz"},
      {"X", "X", "Blindwiderstand, Reaktanz"},
      {"G", "G", "Wirkleitwert, Konduktanz"},
      {"B", "B", "Blindleitwert, Suszeptanz"},
      {"Q", "Q", "Güte"},
      {"D", "D", "Verlustfaktor"},
      {"C", "C", "Kapazität"},
      {"L", "L", "Induktivität"},
  }};
  const auto found = std::find_if(names.begin(), names.end(),
                                  [&](const naming& entry) { return entry.key == record.quantity; });
  if (found != names.end()) {
    record.symbol = found->symbol;
    record.long_name = found->long_name;
  }
  if (record.circuit == "ser") {
    record.long_name += ", Reihenschaltung";
    record.symbol += "s";
  } else if (record.circuit == "par") {
    record.long_name += ", Parallelschaltung";
    record.symbol += "p";
  }
}

}  // namespace lcr
