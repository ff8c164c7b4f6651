// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Texts that the engine hands to the window (quantity names, verdicts,
// calibration results, file errors, unit texts) are German, as the engine
// has no notion of a language. They are put into the window's language
// here, at the border, so that the engine and the command line stay as
// they are. Window's thread.

#include <QString>

#include <string_view>

// The text in the window's language: a text the engine writes whole
// ("Gut"), or one put together from known pieces and numbers or file names
// ("Quarvel.cal: E/A-Fehler 13", "Kapazität, Reihenschaltung"). Pieces
// that are not known stay as they are.
QString engine_text(std::string_view german);

// A unit text of the engine ("KOhm", "µF", "°"): the kilo prefix as the
// window's language writes it.
QString unit_text(std::string_view german);
