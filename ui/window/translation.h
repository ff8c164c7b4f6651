// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The window's English: the translation file built from
// ui/translations/quarvel_en.ts. A build keeps it beside the program, an
// installation in share/quarvel/translations beside the program's bin
// folder. Window's thread, before the window is created.

#include "ui/settings/language.h"

#include <QString>

class QTranslator;

// The translation file for `language` ("" for German, which needs none, and
// when no file is found).
QString translation_file(quarvel_ui::twindow_language language, const QString& program_directory);

// Loads the file into `translator` and installs it into the application,
// which must exist and outlive neither. True for German, and for English
// when its file was found and read.
bool install_translation(QTranslator& translator, quarvel_ui::twindow_language language,
                         const QString& program_directory);
