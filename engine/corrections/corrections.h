// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The five calibration tables and the fixed correction chain that every
// measurement evaluation passes its averaged channel ratio through:
// crosstalk, channel symmetry, divider, open, short.
//
// The tables are process-wide. The calibration steps and the file loader
// write them on the window's thread and the worker reads them, so entries are
// written and copied only under `publication_lock`.

#include "engine/core/complex_math.h"
#include "engine/core/settings.h"
#include "engine/signal/ratio_scatter.h"

#include <array>
#include <cmath>

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

// The statistical uncertainty of each entry: the spread of the reading a
// calibration step stored it from (its scatter, the noise beside its tone
// and its input's rounding), carried through the step's arithmetic. A
// nominal entry carries none; an entry whose value was read from a
// calibration file without the spreads saved beside it carries an unknown
// one, which leaves every reading that uses it without a statistical
// uncertainty rather than with one that counts the entry as exact.
template <typename T>
using tper_frequency = std::array<T, freq_count>;
template <typename T>
using tper_reference = std::array<tper_frequency<T>, ref_count>;

struct tentry_spread {
  tratio_spread spread;  // valid: known
  bool unknown = false;  // a calibrated value whose spread was not kept

  // A spread that is not a finite variance counts as unknown.
  static tentry_spread known(const tratio_spread& spread)
  {
    const bool finite = spread.valid && std::isfinite(spread.var_re) && std::isfinite(spread.var_im) &&
                        std::isfinite(spread.cov);
    return {finite ? spread : tratio_spread{}, !finite};
  }
  bool operator==(const tentry_spread&) const = default;
};

struct tcalibration_spreads {
  tper_frequency<tentry_spread> h_short{};
  tper_frequency<tentry_spread> h_direct{};
  tper_reference<tentry_spread> y_open{};
  tper_reference<tentry_spread> z_short{};
  tper_reference<tentry_spread> z_ref{};
  bool operator==(const tcalibration_spreads&) const = default;
};

// The one instance; guarded by `publication_lock`.
extern tcalibration_spreads calibration_spreads;

// Whether the open, short and reference tables take part in the chain. A
// table switched off is kept, and the chain uses its nominal entries
// instead, so that a correction taken by mistake can be set aside without
// losing the others. Guarded by `publication_lock`.
struct tcorrection_states {
  bool open = true;
  bool short_circuit = true;
  bool load = true;  // the reference table
  bool operator==(const tcorrection_states&) const = default;
};
extern tcorrection_states correction_states;

// Puts all five tables back to their nominal values, their spreads unknown,
// and every table in force (a test's fresh state, an operator's clearing).
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

struct tcal_entry_spreads {
  tentry_spread h_short;
  tentry_spread h_direct;
  tentry_spread y_open;
  tentry_spread z_short;
  tentry_spread z_ref;
};

// Entries at the given indices (clamped into the tables), copied under
// `publication_lock`.
tcal_entries calibration_entries(int ref_index, int freq_index);
tcal_entry_spreads calibration_entry_spreads(int ref_index, int freq_index);
// The same without taking the lock, for a caller that already holds it.
tcal_entries calibration_entries_locked(int ref_index, int freq_index);

// The right input records its own voltage times the channel mismatch plus
// the left input's voltage times the leak between them:
// h = mismatch·H + h_short. Calibration measures h_short with the device
// shorted (H = 0) and h_direct = mismatch + h_short with the reference
// shorted (H = 1), so the two steps below give H exactly.
//
// h − h_short.
tcomplex crosstalk_correct(tcomplex h, tcomplex h_short_entry);
// h1 / (h_direct − h_short) when h_direct.re > 0, otherwise h1 unchanged.
tcomplex symmetry_correct(tcomplex h1, tcomplex h_direct_entry, tcomplex h_short_entry);
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
