// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings/language.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace quarvel_ui {

namespace {

constexpr const char* language_key = "language";
constexpr std::array<std::string_view, 3> choice_texts{"de", "en", "auto"};

std::optional<twindow_language> language_of(std::string_view locale)
{
  if (locale.starts_with("de")) return twindow_language::german;
  if (locale.starts_with("en")) return twindow_language::english;
  return std::nullopt;
}

std::string_view set_variable(const tenvironment& environment, const char* name)
{
  const char* value = environment(name);
  return value == nullptr ? std::string_view() : std::string_view(value);
}

}  // namespace

std::string_view language_choice_text(tlanguage_choice choice)
{
  return choice_texts[static_cast<std::size_t>(choice)];
}

std::optional<tlanguage_choice> parse_language_choice(std::string_view text)
{
  // As lenient as the file's names: blanks around it and any case.
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  const auto same = [](std::string_view choice, std::string_view given) {
    return choice.size() == given.size() &&
           std::equal(choice.begin(), choice.end(), given.begin(), [](char a, char b) {
             return a == (b >= 'A' && b <= 'Z' ? static_cast<char>(b - 'A' + 'a') : b);
           });
  };
  for (std::size_t i = 0; i < choice_texts.size(); ++i) {
    if (same(choice_texts[i], text)) return static_cast<tlanguage_choice>(i);
  }
  return std::nullopt;
}

tlanguage_choice read_language_choice(const tini_file& ini)
{
  return parse_language_choice(ini.read_string(language_section, language_key, "de"))
      .value_or(tlanguage_choice::german);
}

void write_language_choice(tini_file& ini, tlanguage_choice choice)
{
  ini.write_string(language_section, language_key, language_choice_text(choice));
}

tlanguage_choice load_language_choice(const std::string& path)
{
  return read_language_choice(tini_file::load(path).value_or(tini_file{}));
}

const char* process_environment(const char* name)
{
  return std::getenv(name);
}

twindow_language resolve_language(tlanguage_choice choice, const tenvironment& environment)
{
  if (choice == tlanguage_choice::german) return twindow_language::german;
  if (choice == tlanguage_choice::english) return twindow_language::english;
  std::string_view list = set_variable(environment, "LANGUAGE");
  while (!list.empty()) {
    const std::size_t colon = list.find(':');
    if (const auto language = language_of(list.substr(0, colon))) return *language;
    list = colon == std::string_view::npos ? std::string_view() : list.substr(colon + 1);
  }
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const std::string_view locale = set_variable(environment, name);
    if (locale.empty()) continue;
    if (locale == "C" || locale.starts_with("C.") || locale == "POSIX") return twindow_language::german;
    return language_of(locale).value_or(twindow_language::english);
  }
  return twindow_language::german;
}

}  // namespace quarvel_ui
