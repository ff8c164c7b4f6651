#pragma once

// The calibration file "Quarvel.cal": the five correction tables as 45 lines
// of text (CR LF), each data line eight "%15.8e" fields with "." as decimal
// point and an upper-case "E", each followed by "; ".
//
// Called on the window's (or the command-line meter's) thread. Reading and
// writing never touch the process locale. Table entries are taken and
// published under `publication_lock`.

#include "corrections.h"

#include <string>
#include <string_view>

namespace lcr {

inline constexpr const char* calibration_file_name = "Quarvel.cal";
inline constexpr const char* calibration_backup_name = "Quarvel_bak.cal";

// Outcome of a file operation; `message` is the German text for the
// operator ("E/A-Fehler 13", "'1,5' ist kein gültiger Gleitkommawert").
struct tfile_result {
  bool ok = true;
  std::string message;
};

// Writes all five tables. The lines go to a temporary file in the same
// directory, which replaces the calibration file only once every line has
// been written and flushed to disk: a full disk, a crash or a kill never
// leave a truncated calibration.
tfile_result cal_save(const std::string& path);

// Reads the tables back. A missing file changes nothing and is no error.
// Sections in fixed order; a key line that does not match skips its section;
// a data line is used only with exactly eight semicolons; reading stops at a
// field that is not a finite number, keeping the rows read before it.
tfile_result cal_load(const std::string& path);

// Copies the calibration file to the backup, replacing an older backup;
// done before every save. A missing calibration file is no error.
tfile_result cal_backup(const std::string& path, const std::string& backup_path);

// The file's whole text for the given tables (for saving and for tests).
std::string calibration_file_text(const tcalibration_tables& tables);
// One field: "%15.8e" with "E", the exponent's sign and at least three
// digits, "." whatever the locale; a value that is not finite becomes 0.
std::string calibration_field(double value);

}  // namespace lcr
