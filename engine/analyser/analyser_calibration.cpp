// SPDX-License-Identifier: GPL-3.0-or-later
#include "analyser_calibration.h"

namespace lcr {

namespace {

tanalyser_point_entries nominal_entries(int ref_index)
{
  tanalyser_point_entries nominal;
  nominal.entries.z_ref = {static_cast<double>(ref_resistors[static_cast<std::size_t>(ref_index)]), 0.0};
  return nominal;
}

// Puts a taken entry in place of the nominal one.
void take(const tanalyser_entry& entry, tcomplex& value, tentry_spread& spread, bool& calibrated)
{
  if (!entry.taken) return;
  value = entry.value;
  spread = entry.spread;
  calibrated = true;
}

}  // namespace

tanalyser_point_entries analyser_entries(const tanalyser_calibration& calibration, int ref_index,
                                         double frequency_hz)
{
  const int r = clamp_ref_index(ref_index);
  tanalyser_point_entries out = nominal_entries(r);
  const auto found = calibration.points.find(frequency_hz);
  if (found == calibration.points.end()) return out;
  const tanalyser_cal_point& point = found->second;
  const auto at = static_cast<std::size_t>(r);
  take(point.h_short, out.entries.h_short, out.spreads.h_short, out.calibrated);
  take(point.h_direct, out.entries.h_direct, out.spreads.h_direct, out.calibrated);
  take(point.y_open[at], out.entries.y_open, out.spreads.y_open, out.calibrated);
  take(point.z_short[at], out.entries.z_short, out.spreads.z_short, out.calibrated);
  take(point.z_ref[at], out.entries.z_ref, out.spreads.z_ref, out.reference_calibrated);
  out.calibrated = out.calibrated || out.reference_calibrated;
  return out;
}

}  // namespace lcr
