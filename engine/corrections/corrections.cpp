// SPDX-License-Identifier: GPL-3.0-or-later
#include "corrections.h"

#include <cmath>
#include <mutex>

namespace lcr {

tcalibration_tables calibration = nominal_calibration_tables();
tcalibration_spreads calibration_spreads;
tcorrection_states correction_states;

tcalibration_tables nominal_calibration_tables()
{
  tcalibration_tables tables;
  for (int r = 0; r < ref_count; ++r) {
    tables.z_ref[static_cast<std::size_t>(r)].fill(
        {static_cast<double>(ref_resistors[static_cast<std::size_t>(r)]), 0.0});
  }
  return tables;
}

void reset_calibration_tables()
{
  const std::lock_guard lock(publication_lock);
  calibration = nominal_calibration_tables();
  calibration_spreads = {};
  correction_states = {};
}

void cal_reset_reference()
{
  const tcalibration_tables nominal = nominal_calibration_tables();
  const std::lock_guard lock(publication_lock);
  calibration.z_ref = nominal.z_ref;
  calibration_spreads.z_ref = {};
}

tcal_entries calibration_entries_locked(int ref_index, int freq_index)
{
  const auto r = static_cast<std::size_t>(clamp_ref_index(ref_index));
  const auto f = static_cast<std::size_t>(clamp_freq_index(freq_index));
  const tcorrection_states& in_force = correction_states;
  const tcomplex nominal_z_ref{static_cast<double>(ref_resistors[r]), 0.0};
  return {calibration.h_short[f], calibration.h_direct[f], in_force.open ? calibration.y_open[r][f] : tcomplex{},
          in_force.short_circuit ? calibration.z_short[r][f] : tcomplex{},
          in_force.load ? calibration.z_ref[r][f] : nominal_z_ref};
}

tcal_entries calibration_entries(int ref_index, int freq_index)
{
  const std::lock_guard lock(publication_lock);
  return calibration_entries_locked(ref_index, freq_index);
}

tcal_entry_spreads calibration_entry_spreads(int ref_index, int freq_index)
{
  const auto r = static_cast<std::size_t>(clamp_ref_index(ref_index));
  const auto f = static_cast<std::size_t>(clamp_freq_index(freq_index));
  const tcalibration_spreads& s = calibration_spreads;
  const std::lock_guard lock(publication_lock);
  const tcorrection_states& in_force = correction_states;
  return {s.h_short[f], s.h_direct[f], in_force.open ? s.y_open[r][f] : tentry_spread{},
          in_force.short_circuit ? s.z_short[r][f] : tentry_spread{},
          in_force.load ? s.z_ref[r][f] : tentry_spread{}};
}

tcomplex crosstalk_correct(tcomplex h, tcomplex h_short_entry)
{
  return c_sub(h, h_short_entry);
}

tcomplex symmetry_correct(tcomplex h1, tcomplex h_direct_entry, tcomplex h_short_entry)
{
  // h_direct was stored raw: the leak is in it too.
  return h_direct_entry.re > 0.0 ? c_div(h1, c_sub(h_direct_entry, h_short_entry)) : h1;
}

tcomplex divider_z(tcomplex ratio, tcomplex z_ref)
{
  return c_div(c_mul(ratio, z_ref), {1.0 - ratio.re, -ratio.im});
}

tcomplex open_correct(tcomplex ratio, tcomplex y_raw, tcomplex y_open)
{
  if (ratio == tcomplex{0.0, 0.0}) return {};
  return c_inv(c_sub(y_raw, y_open));
}

tcomplex divider_open_corrected(tcomplex ratio, tcomplex z_ref, tcomplex y_open)
{
  return open_correct(ratio, c_inv(divider_z(ratio, z_ref)), y_open);
}

tcomplex short_correct(tcomplex z_open_corrected, tcomplex z_short)
{
  return c_sub(z_open_corrected, z_short);
}

tcorrection_chain run_correction_chain(tcomplex avg_ratio, const tcal_entries& entries)
{
  tcorrection_chain chain;
  chain.ratio_xtalk = crosstalk_correct(avg_ratio, entries.h_short);
  chain.ratio_corrected = symmetry_correct(chain.ratio_xtalk, entries.h_direct, entries.h_short);
  chain.z_raw = divider_z(chain.ratio_corrected, entries.z_ref);
  chain.y_raw = c_inv(chain.z_raw);
  chain.z_open_corrected = open_correct(chain.ratio_corrected, chain.y_raw, entries.y_open);
  chain.z = short_correct(chain.z_open_corrected, entries.z_short);
  return chain;
}

}  // namespace lcr
