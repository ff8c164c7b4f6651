#include "calibration_steps.h"

#include "corrections.h"
#include "measurement_cycle.h"

#include <cmath>
#include <mutex>

namespace lcr {

tcal_capture_state cal_capture;

namespace {

struct tindices {
  std::size_t r;
  std::size_t f;
};

tindices current_indices()
{
  return {static_cast<std::size_t>(clamp_ref_index(settings.ref_index.load())),
          static_cast<std::size_t>(clamp_freq_index(settings.freq_index.load()))};
}

bool is_finite(tcomplex value)
{
  return std::isfinite(value.re) && std::isfinite(value.im);
}

// Plain complex division: false for a zero divisor instead of a guard value.
bool divide(tcomplex a, tcomplex b, tcomplex& quotient)
{
  if (!(b.re * b.re + b.im * b.im > 0.0)) return false;
  quotient = c_div(a, b);
  return is_finite(quotient);
}

}  // namespace

void reset_cal_capture()
{
  const std::lock_guard lock(publication_lock);
  cal_capture = tcal_capture_state{};
}

tcal_step_result cal_store_crosstalk()
{
  const auto [r, f] = current_indices();
  const std::lock_guard lock(publication_lock);
  if (is_finite(engine.avg_ratio)) calibration.h_short[f] = engine.avg_ratio;
  return tcal_step_result::stored;
}

tcal_step_result cal_store_symmetry()
{
  const auto [r, f] = current_indices();
  const std::lock_guard lock(publication_lock);
  if (is_finite(engine.avg_ratio)) calibration.h_direct[f] = engine.avg_ratio;
  return tcal_step_result::stored;
}

tcal_step_result cal_store_open()
{
  const auto [r, f] = current_indices();
  const std::lock_guard lock(publication_lock);
  if (is_finite(engine.ratio_corrected) && is_finite(engine.y_raw)) {
    cal_capture.h_open[f] = engine.ratio_corrected;
    calibration.y_open[r][f] = engine.y_raw;
  }
  return tcal_step_result::stored;
}

tcal_step_result cal_store_short()
{
  const auto [r, f] = current_indices();
  const std::lock_guard lock(publication_lock);
  if (is_finite(engine.z_open_corrected)) calibration.z_short[r][f] = engine.z_open_corrected;
  return tcal_step_result::stored;
}

tcomplex known_impedance(double rp_ohm, double cp_ff, double frequency_hz)
{
  if (cp_ff == 0.0) return {rp_ohm, 0.0};
  const double omega = 2.0 * pi * frequency_hz;
  return par_to_ser({rp_ohm, -1.0 / (cp_ff * 1e-15 * omega)});
}

bool reference_from_ratios(tcomplex a, tcomplex b, tcomplex c, tcomplex& z_ref)
{
  const tcomplex one{1.0, 0.0};
  const tcomplex p1 = c_mul(c_sub(one, a), b);
  const tcomplex p2 = c_mul(c_sub(one, b), a);
  tcomplex q;
  tcomplex scaled;
  if (!divide(p1, p2, q)) return false;
  if (!divide(c_mul(c_mul(c_sub(q, one), c), c_sub(one, b)), b, scaled)) return false;
  if (!(scaled.re * scaled.re + scaled.im * scaled.im > 0.0)) return false;
  z_ref = scaled;
  return true;
}

tcal_step_result cal_store_reference()
{
  const auto [r, f] = current_indices();
  const std::lock_guard lock(publication_lock);
  if (is_finite(engine.ratio_corrected)) cal_capture.h_known[f] = engine.ratio_corrected;
  const double rp = cal_capture.known_rp;
  const double cp = cal_capture.known_cp;
  if (!(rp > 0.0) || !std::isfinite(rp) || !(cp >= 0.0) || !std::isfinite(cp)) {
    return tcal_step_result::bad_known_resistor;
  }
  const tcomplex zk = known_impedance(rp, cp, test_frequencies[f]);
  const tcomplex c = c_add(zk, calibration.z_short[r][f]);
  const tcomplex a = cal_capture.h_known[f];
  const tcomplex b = cal_capture.h_open[f];
  if (a.re == 0.0) return tcal_step_result::no_known_ratio;
  if (b.re == 0.0) return tcal_step_result::no_open_ratio;
  tcomplex z_ref;
  if (!reference_from_ratios(a, b, c, z_ref)) return tcal_step_result::degenerate;
  const tcomplex y_open = c_inv(divider_z(b, z_ref));
  // The short was measured against the previous reference impedance, and a
  // measured impedance scales with the reference: carry it over to the new
  // one, as a short step made now would find it.
  tcomplex z_short = calibration.z_short[r][f];
  tcomplex rescale;
  if (divide(z_ref, calibration.z_ref[r][f], rescale)) z_short = c_mul(z_short, rescale);
  if (!is_finite(y_open) || !is_finite(z_short)) return tcal_step_result::degenerate;
  calibration.z_ref[r][f] = z_ref;
  calibration.y_open[r][f] = y_open;
  calibration.z_short[r][f] = z_short;
  return tcal_step_result::stored;
}

tcal_step_result cal_store_step(tcal_mode mode)
{
  switch (mode) {
    case tcal_mode::crosstalk: return cal_store_crosstalk();
    case tcal_mode::symmetry: return cal_store_symmetry();
    case tcal_mode::open: return cal_store_open();
    case tcal_mode::short_circuit: return cal_store_short();
    case tcal_mode::reference: return cal_store_reference();
  }
  return tcal_step_result::stored;
}

}  // namespace lcr
