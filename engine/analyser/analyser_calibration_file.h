// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The impedance analyser's calibration file ("Quarvel.zcal" beside
// "Quarvel.cal", which it leaves alone), written by the same safe path.
//
// The format (text; LF or CR LF line ends; "." as decimal point whatever
// the locale):
//
//   Quarvel impedance calibration 1
//   # lines beginning with "#" are comments
//   TABLE F R RE IM VAR_RE VAR_IM COV
//   TABLE F R RE IM unknown
//
// TABLE is h_short, h_direct (R is then "-"), y_open, z_short or z_ref (R
// the reference index 0 … 5); F the frequency in Hz; RE and IM the entry's
// value (ratio, siemens or ohm), written so that it reads back exactly;
// VAR_RE, VAR_IM and COV the variances of its parts and their covariance,
// or "unknown". Each entry appears at most once; an entry without a line
// was not taken.
//
// A text that is not of the format is refused whole with the line at
// fault named, and the calibration in use stays as it was.
//
// On the window's or the command line's thread; no shared state.

#include "engine/analyser/analyser_calibration.h"

#include "engine/core/file_result.h"

#include <string>
#include <string_view>

namespace lcr {

inline constexpr const char* analyser_calibration_version_line = "Quarvel impedance calibration 1";

// "Quarvel.zcal" for "Quarvel.cal", "x.zcal" for "x.cal", "x.zcal" for "x".
std::string analyser_calibration_path(const std::string& calibration_path);

std::string analyser_calibration_text(const tanalyser_calibration& calibration);
tfile_result read_analyser_calibration_text(std::string_view text, tanalyser_calibration& calibration);

// No file is no error: an empty calibration.
tfile_result load_analyser_calibration(const std::string& path, tanalyser_calibration& calibration);
tfile_result save_analyser_calibration(const std::string& path, const tanalyser_calibration& calibration);

}  // namespace lcr
