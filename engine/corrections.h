#pragma once

// The five calibration tables and the fixed correction chain that every
// measurement evaluation passes its averaged channel ratio through:
// crosstalk, channel symmetry, divider, open, short.
//
// The tables are process-wide. The calibration steps and the file loader
// write them on the window's thread and the worker reads them, so entries are
// written and copied only under `publication_lock`.

#include "complex_math.h"
#include "settings.h"

#include <array>

namespace lcr {

using tfreq_row = std::array<tcomplex, freq_count>;      // indexed by frequency
using tref_table = std::array<tfreq_row, ref_count>;     // [reference][frequency]

struct tcalibration_tables {
  tfreq_row h_short{};   // crosstalk: raw ratio with reference open, device shorted
  tfreq_row h_direct{};  // symmetry: raw ratio with reference shorted; re ≤ 0 = off
  tref_table y_open{};   // stray admittance across the device terminals, siemens
  tref_table z_short{};  // residual series impedance of the device path, ohm
  tref_table z_ref{};    // effective reference impedance, ohm
};

// The tables before any calibration: z_ref nominal, everything else (0, 0).
tcalibration_tables nominal_calibration_tables();

// The one instance; guarded by `publication_lock`.
extern tcalibration_tables calibration;

// Puts all five tables back to their nominal values (a test's fresh state).
void reset_calibration_tables();
// Sets every z_ref[r][f] to (ref_resistors[r], 0); takes `publication_lock`.
void cal_reset_reference();

// The table entries that one evaluation uses, at [r][f] or [f].
struct tcal_entries {
  tcomplex h_short;
  tcomplex h_direct;
  tcomplex y_open;
  tcomplex z_short;
  tcomplex z_ref;
};

// Entries at the given indices (clamped into the tables), copied under
// `publication_lock`.
tcal_entries calibration_entries(int ref_index, int freq_index);
// The same without taking the lock, for a caller that already holds it.
tcal_entries calibration_entries_locked(int ref_index, int freq_index);

// h − (1 − |h|)·h_short: full correction at |h| = 0, none at |h| = 1.
tcomplex crosstalk_correct(tcomplex h, tcomplex h_short_entry);
// h1 / h_direct when h_direct.re > 0, otherwise h1 unchanged.
tcomplex symmetry_correct(tcomplex h1, tcomplex h_direct_entry);
// The impedance that forms the voltage ratio `ratio` with the reference
// impedance: z_ref·H / (1 − H); (0, 0) for H = 1.
tcomplex divider_z(tcomplex ratio, tcomplex z_ref);
// Removes the stray admittance: 1 / (y_raw − y_open), (0, 0) where that is 0.
// `ratio` is the corrected channel ratio that y_raw came from: a ratio of
// exactly 0 is a dead short, whose admittance is infinite rather than the
// guarded 0 of its reciprocal, so it stays a short (0, 0).
tcomplex open_correct(tcomplex ratio, tcomplex y_raw, tcomplex y_open);
// Divider and open step together, as the deviation estimate re-evaluates them.
tcomplex divider_open_corrected(tcomplex ratio, tcomplex z_ref, tcomplex y_open);
// Removes the residual series impedance: z_open_corrected − z_short.
tcomplex short_correct(tcomplex z_open_corrected, tcomplex z_short);

// Every intermediate value of the chain for one averaged ratio.
struct tcorrection_chain {
  tcomplex ratio_xtalk;       // after crosstalk_correct
  tcomplex ratio_corrected;   // after symmetry_correct
  tcomplex z_raw;             // divider impedance, ohm
  tcomplex y_raw;             // its reciprocal, siemens
  tcomplex z_open_corrected;  // after the open correction, ohm
  tcomplex z;                 // after the short correction: the device, ohm
};

tcorrection_chain run_correction_chain(tcomplex avg_ratio, const tcal_entries& entries);

}  // namespace lcr
