// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The window's language: German as designed, English on request. The
// operator's choice ("Sprache / Language" on "Setup/Test", or
// `quarvel --lang`) is kept in the settings file's own section
// `language`, so that the other sections stay exactly as they are. Only
// the choice "automatisch" asks the environment (LANGUAGE, LC_ALL,
// LC_MESSAGES, LANG). Window's thread; no Qt.

#include "ui/settings/ini_file.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace quarvel_ui {

inline constexpr const char* language_section = "language";

// In the order of the items of the list "Sprache / Language".
enum class tlanguage_choice { german = 0, english = 1, automatic = 2 };

enum class twindow_language { german, english };

// "de", "en", "auto": as the file and `--lang` write the choice.
std::string_view language_choice_text(tlanguage_choice choice);
std::optional<tlanguage_choice> parse_language_choice(std::string_view text);

// A missing section or an unknown value reads as German.
tlanguage_choice read_language_choice(const tini_file& ini);
void write_language_choice(tini_file& ini, tlanguage_choice choice);
tlanguage_choice load_language_choice(const std::string& path);

// The environment variable of a name, nullptr when unset (std::getenv in
// the program, a table in tests).
using tenvironment = std::function<const char*(const char*)>;

// German and English are chosen as themselves. "automatisch" follows the
// first of LANGUAGE's entries that is German or English; else the messages
// locale (LC_ALL, LC_MESSAGES, LANG, the first that is set): German for
// "de…", German for none or "C"/"POSIX" (the window's own language), and
// English for any other, as English is read more widely than German.
twindow_language resolve_language(tlanguage_choice choice, const tenvironment& environment);

// This process's environment.
const char* process_environment(const char* name);

}  // namespace quarvel_ui
