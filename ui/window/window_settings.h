// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The settings file applied to the window's controls and taken from them:
// the devices, the sample offset, the channel swap, the measurement mode
// and the five option groups, and the added pages' choices and entries.
// Window's thread.

#include <string>

class tloudspeaker_panel;
class tmeasurement_page;
class tsetup_page;
class tsimulation_page;
class tsorting_page;

// The pages whose controls the settings file keeps.
struct tsettings_pages {
  tsetup_page& setup;
  tmeasurement_page& measurement;
  tsorting_page& sorting;
  tsimulation_page& simulation;
  tloudspeaker_panel& loudspeaker;
};

// Restores the controls from the file (a missing file gives the defaults).
// Device lists and the offset list are selected without their change
// handlers; the swap box, the mode and the option groups run theirs where
// their state changes.
void load_settings(const tsettings_pages& pages, const std::string& path);

// Writes the controls' state into the file, keeping its other sections. A
// failure is shown in the error box ("nach … kann nicht geschrieben
// werden").
void save_settings(const tsettings_pages& pages, const std::string& path);
