// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The calibration file "Quarvel.cal": the five correction tables as 45 lines
// of text (CR LF), each data line eight "%15.8e" fields with "." as decimal
// point and an upper-case "E", each followed by "; ".
//
// Called on the window's (or the command-line meter's) thread. Reading and
// writing never touch the process locale. Table entries are taken and
// published under `publication_lock`.

#include "engine/core/file_result.h"
#include "engine/corrections/calibration_field.h"
#include "engine/corrections/corrections.h"

#include <string>
#include <string_view>

namespace lcr {

inline constexpr const char* calibration_file_name = "Quarvel.cal";
inline constexpr const char* calibration_backup_name = "Quarvel_bak.cal";

// Writes all five tables. Only a regular file (or a link to one) that is
// not write-protected is replaced, and only by a complete new file: a full
// disk, a crash or a kill never leave a truncated calibration, and the old
// file's permission bits stay. The entries' spreads go beside it
// (calibration_spread_file.h) by the same path; a failure there is
// reported, and the calibration stays saved.
tfile_result cal_save(const std::string& path);

// Reads the tables back. A missing file changes nothing and is no error;
// anything but a regular file is refused unread. Sections in fixed order; a
// key line that does not match skips its section; a data line is used only
// with exactly eight semicolons (a line longer than any data line is none);
// reading stops at a field that is not a finite number, keeping the rows
// read before it. The entries' spreads come from beside it, where they
// were saved with these very values; every other calibrated entry's
// spread is unknown.
tfile_result cal_load(const std::string& path);

// Back to the calibration in the file, as at the program's start: the
// tables read over the nominal ones (all nominal without a file), their
// scatter unknown. A file that cannot be opened changes nothing.
tfile_result cal_revert(const std::string& path);

// The same rules on a file's text, into `tables` (tests and fuzzing).
tfile_result read_calibration_text(std::string_view text, tcalibration_tables& tables);

// Copies the calibration file to the backup, replacing an older backup as
// a save would, and its spreads beside it. A missing calibration file is no
// error; anything but a regular file is not copied.
tfile_result cal_backup(const std::string& path, const std::string& backup_path);

// "Speichern": checks that `path` may be replaced, keeps the current file
// as the backup and writes the tables. Nothing is written when `path` may
// not be replaced, and the calibration file stays as it was when its
// backup cannot be made.
tfile_result cal_save_with_backup(const std::string& path, const std::string& backup_path);

// "Quarvel_bak.cal" in the calibration file's directory.
std::string calibration_backup_path(const std::string& path);

// The file's whole text for the given tables (for saving and for tests).
std::string calibration_file_text(const tcalibration_tables& tables);

}  // namespace lcr
