// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The settings file "Quarvel.ini": the operator's choices from one run to
// the next, twelve keys in the section `options`. The window reads it once
// while it is created (`load_settings`) and writes it once when it is
// destroyed (`save_settings`); these are the rules both follow, without
// any control. Applying the values to the controls (and clamping indices
// there) is the window's part.
//
// Called on the window's thread only; no shared state.

#include "ui/settings/ini_file.h"
#include "ui/settings/language.h"

#include <string>
#include <string_view>
#include <vector>

namespace quarvel_ui {

inline constexpr const char* settings_file_name = "Quarvel.ini";
inline constexpr const char* settings_section = "options";

// The keys in the order they are written and read, each field named after
// its key and initialised to the value a missing key reads as.
struct tsettings_values {
  std::string wavedevintext;   // text shown in the input device list ComboBox1
  int wavedevinid = 0;         // its selected index (−1 for none)
  std::string wavedevouttext;  // text shown in the output device list ComboBox2
  int wavedevoutid = 0;        // its selected index
  int wavesampleoffset = 1;    // index in ComboBox3: 0 "-1", 1 "0", 2 "+1"
  bool waveswapchan = false;   // CheckBox2 "Kanäle vertauschen (Test 3)"
  int measmodeindex = 0;       // meas_mode, 0..13
  int rrefindex = 0;           // item of RadioGroup1 "R ref"
  int freqindex = 0;           // item of RadioGroup3 "Frequenz"
  int levelindex = 0;          // item of RadioGroup4 "Pegel"
  int fftindex = 0;            // item of RadioGroup5 "FT Faktor"
  int avgindex = 0;            // item of RadioGroup6 "Mittelwert"

  bool operator==(const tsettings_values&) const = default;
};

// The bench features' choices, in a section of their own ("bench"), so
// that `options` stays exactly as it always is.
inline constexpr const char* bench_section = "bench";

struct tbench_values {
  bool automode = false;     // "Auto" beside the group "Messung"
  bool comparator = false;   // "Vergleich mit Sollwert aktiv"
  std::string nominal;       // as typed: "4,7k"
  std::string tolerance;     // percent, as typed
  // The page "Simulation": "Aufbau", "Messadapter und Soundkarte" (ideal,
  // realistisch) and "Rauschen", as item indices and the noise's text.
  int simsetup = 0;
  int simadapter = 0;
  std::string simnoise = "0";
  // The tab "Lautsprecher": the second curve's kind (0 added mass, 1 box)
  // and the entries as typed, so that a driver's data and the card's input
  // level need not be typed again after a restart.
  int lskind = 0;
  std::string lsamount;
  std::string lssd;
  std::string lsre;
  std::string lstemperature = "20";
  std::string lsinputvrms;

  bool operator==(const tbench_values&) const = default;
};

tbench_values read_bench_values(const tini_file& ini);
// Replaces the section "bench".
void write_bench_values(tini_file& ini, const tbench_values& values);

// The twelve keys of `options`; a missing key or a value that is not a
// number gives the field's initial value. Numbers come back as written,
// even those that no control has.
tsettings_values read_settings_values(const tini_file& ini);

// Erases `options` when it holds at least one key (so keys of other
// versions or typed in by hand disappear), then writes the twelve keys in
// table order. Other sections stay as they are.
void write_settings_values(tini_file& ini, const tsettings_values& values);

// The entry of a device list to select for a stored device: the entry at
// `stored_index` when `stored_text` is not empty and occurs in it
// (case-sensitive; the same device, now shown with a longer name), else the
// last entry whose name equals `stored_text` exactly (the device moved),
// else entry 0. −1 for an empty list.
int select_device_entry(const std::vector<std::string>& names, std::string_view stored_text,
                        int stored_index);

// What decides where the settings file lives.
struct tprogram_directory_state {
  bool writable = true;     // a file can be created there
  bool holds_file = false;  // an entry of the file's name is there
  bool installed = false;   // the program is part of an installation
};

// The desktop entry that an installation puts into share/applications
// beside the program's bin folder: how a program knows it is installed.
inline constexpr const char* desktop_entry_name = "io.github.quarvel.Quarvel.desktop";

// The settings file beside the program, except for an installed program
// (even run as root, it never writes into the system's folders) and when
// the program's directory is not writable and holds no such file: then in
// `config_directory` (the window passes
// QStandardPaths::writableLocation(AppConfigLocation); empty when there is
// none, and then the file stays beside the program).
std::string settings_file_path(const std::string& program_directory, const std::string& file_name,
                               const std::string& config_directory, const tprogram_directory_state& state);
// As above, with the program directory's state taken from the disk.
std::string settings_file_path(const std::string& program_directory, const std::string& file_name,
                               const std::string& config_directory);

// The values stored at `path`; a missing or unreadable file gives the
// initial values of `tsettings_values`.
tsettings_values load_settings_values(const std::string& path);

// Removes what a save of the file at `path` killed mid-way left in the
// program's own folder for its saves (save_staging_directory), a minute
// old or more, so that a save of another instance under way keeps its
// own, and the folder once empty. The number of files removed.
int remove_stale_save_temporaries(const std::string& path);

// Writes `ini` to `path`, creating the file's directory when it is missing.
// "" on success, else the operator's message
// "nach <path> kann nicht geschrieben werden"; `path` should be full.
std::string save_settings_file(const std::string& path, const tini_file& ini);

// Reads the file at `path`, writes `values` into it and saves it, keeping
// its other sections; a file that is there but cannot be read is not
// replaced. "" or the message of `save_settings_file`.
std::string save_settings_values(const std::string& path, const tsettings_values& values);
// The same with the bench section and the language.
std::string save_settings_values(const std::string& path, const tsettings_values& values,
                                 const tbench_values& bench, tlanguage_choice language);
tbench_values load_bench_values(const std::string& path);

}  // namespace quarvel_ui
