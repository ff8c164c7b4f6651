// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The calibration entries' spreads, kept beside the calibration file in a
// file of their own ("Quarvel.cal.spread" beside "Quarvel.cal"), so that a
// reading's statistical uncertainty still holds its calibration's part
// after a restart while "Quarvel.cal" stays exactly as it was designed.
//
// The format (text; LF or CR LF line ends; "." as decimal point whatever
// the locale):
//
//   Quarvel calibration spreads 1
//   # lines beginning with "#" are comments
//   TABLE R F RE IM known VAR_RE VAR_IM COV
//   TABLE R F RE IM unknown
//
// TABLE is h_short, h_direct, y_open, z_short or z_ref; R the reference
// index 0 … 5 ("-" for h_short and h_direct, which have none); F the
// frequency index 0 … 7; RE and IM the entry's value exactly as the
// calibration file writes it ("%15.8e" without its leading blank); VAR_RE,
// VAR_IM and COV the variances of its parts and their covariance, in its
// unit squared (siemens², ohm², or none for the ratios). A line applies
// only to an entry that holds exactly the value it names, so a spread never
// travels to another calibration (a backup put back, an edited file).
// Nominal entries have no line; a calibrated entry without a matching line
// has an unknown spread.
//
// On the window's or the command-line meter's thread, as the calibration
// file; no shared state of its own.

#include "engine/core/file_result.h"
#include "engine/corrections/corrections.h"

#include <string>
#include <string_view>

namespace lcr {

inline constexpr const char* calibration_spread_version_line = "Quarvel calibration spreads 1";

// "Quarvel.cal.spread" for "Quarvel.cal".
std::string calibration_spread_path(const std::string& calibration_path);

// The spreads of tables read without any: none for a nominal entry,
// unknown for every other.
tcalibration_spreads spreads_without_record(const tcalibration_tables& tables);

std::string calibration_spread_text(const tcalibration_tables& tables, const tcalibration_spreads& spreads);

// The spreads of `tables` from a file's text: spreads_without_record, and
// each line that names an entry's value gives that entry its spread, with
// the variance of the calibration file's rounding to eight digits added.
// A text that is not of the format (a wrong first line, a line that does
// not parse, a spread that is no variance) gives a message naming the line
// and takes nothing from the text.
tfile_result read_calibration_spread_text(std::string_view text, const tcalibration_tables& tables,
                                          tcalibration_spreads& spreads);

// The same from the file beside `calibration_path`; no file is no error.
tfile_result load_calibration_spreads(const std::string& calibration_path, const tcalibration_tables& tables,
                                      tcalibration_spreads& spreads);

// Writes the file beside `calibration_path` by the calibration file's safe
// path.
tfile_result save_calibration_spreads(const std::string& calibration_path, const tcalibration_tables& tables,
                                      const tcalibration_spreads& spreads);

}  // namespace lcr
