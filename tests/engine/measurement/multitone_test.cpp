// SPDX-License-Identifier: GPL-3.0-or-later
// The multitone: its peak stays at the "Pegel", its crest factor is the one
// the phase table promises, and each test frequency's bin sees its own tone
// alone, whole periods in every transform length.

#include "engine/measurement/multitone.h"
#include "engine/sweeps/multitone_response.h"
#include "support/fresh_engine.h"

#include "audio/streaming.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <utility>

namespace {

class Multitone : public quarvel_test::fresh_engine {
protected:
  void SetUp() override
  {
    fresh_engine::SetUp();
    lcr::reset_engine_state();
    lcr::engine.tone_buffer.assign(waveio::block_frames, 0.0);
  }
};

// The sum of the eight unit tones with the table's phases over its whole
// period (10 ms: every test frequency is a multiple of 100 Hz), sampled
// `oversampling` times finer than the card plays it: its peak and RMS.
std::pair<double, double> unit_peak_and_rms(int oversampling)
{
  const int rate = waveio::out_rate * oversampling;
  double peak = 0.0;
  double power = 0.0;
  for (int t = 0; t < rate / 100; ++t) {
    double sum = 0.0;
    for (std::size_t f = 0; f < lcr::freq_count; ++f) {
      sum += std::sin(2.0 * lcr::pi * lcr::test_frequencies[f] * t / rate + lcr::multitone_phases[f]);
    }
    peak = std::max(peak, std::fabs(sum));
    power += sum * sum;
  }
  return {peak, std::sqrt(power / (rate / 100))};
}

TEST_F(Multitone, TheTablesPeakAndCrestFactor)
{
  // What the card's samples reach is what must stay within full scale.
  const auto [sampled_peak, sampled_rms] = unit_peak_and_rms(1);
  EXPECT_NEAR(sampled_peak, lcr::multitone_unit_peak, 1e-4);
  EXPECT_NEAR(sampled_rms, 2.0, 1e-9);
  // Between the samples the analog wave rises a little higher.
  const auto [peak, rms] = unit_peak_and_rms(16);
  EXPECT_LT(peak / rms, 2.43);  // Schroeder's phases give 3.0 here
  EXPECT_LT(peak, 1.01 * sampled_peak);
}

TEST_F(Multitone, ThePeakIsThePegelAndEachBinSeesItsOwnToneAlone)
{
  const double level = lcr::level_table.back();  // "Pegel" 1.00
  const double tone = lcr::multitone_tone_amplitude(level);
  for (const int factor : {1, 4, 16}) {
    lcr::reset_engine_state();
    lcr::engine.tone_buffer.assign(waveio::block_frames, 0.0);
    lcr::tdft dft;
    lcr::dft_setup(dft, 100, factor, waveio::out_rate);
    std::vector<double> samples;
    while (samples.size() < static_cast<std::size_t>(dft.n)) {
      lcr::make_multitone(level);
      samples.insert(samples.end(), lcr::engine.tone_buffer.begin(), lcr::engine.tone_buffer.end());
    }
    const auto [low, high] = std::minmax_element(samples.begin(), samples.end());
    EXPECT_LE(std::max(-*low, *high), lcr::tone_amplitude(level) + 0.5) << factor;  // the dither's half unit
    EXPECT_GT(std::max(-*low, *high), 0.99 * lcr::tone_amplitude(level)) << factor;
    std::copy_n(samples.begin(), dft.n, dft.data.begin());
    for (std::size_t f = 0; f < lcr::freq_count; ++f) {
      lcr::dft_bin(dft, lcr::bin_of_frequency(lcr::test_frequencies[f], dft.n, waveio::in_rate));
      // sin(ωt + φ) is cos(ωt + φ − π/2): half the amplitude at that phase,
      // the first sample one step into the tone.
      const double first_step = 2.0 * lcr::pi * lcr::test_frequencies[f] / waveio::out_rate;
      const std::complex<double> expected =
          std::polar(tone / 2.0, lcr::multitone_phases[f] - lcr::pi / 2.0 + first_step);
      EXPECT_LT(std::abs(std::complex<double>(dft.re, dft.im) - expected), 2e-4 * tone) << factor << " " << f;
    }
  }
}

// The reference for the multitone's curve, from one curve measured at any
// reference: where every point tells its device, the one that divides the
// worst point best; where a point told nothing, the middle of the range it
// leaves open, so that the next curve tells.
TEST(MultitoneReference, ChosenFromOneCurve)
{
  const auto curve = [](std::vector<lcr::tcomplex> impedances, double uncertainty, int ref_index) {
    std::vector<lcr::tsweep_row> rows;
    for (const lcr::tcomplex z : impedances) {
      lcr::tsweep_row row;
      row.z = z;
      row.z_uncertainty = uncertainty;
      row.z_deviation = 3.0 * uncertainty;
      row.ref_index = ref_index;
      rows.push_back(row);
    }
    return rows;
  };
  // 470 Ω read well at 10 Ω: 1 kΩ.
  EXPECT_EQ(lcr::curve_reference(curve({{470.0, 0.0}, {469.0, 5.0}}, 40.0, 0)), 2);
  // 1 µF + 2 Ω from 1.6 kΩ (100 Hz) to 8 Ω (20 kHz): 100 Ω keeps both ends.
  std::vector<lcr::tcomplex> capacitor;
  for (const int hz : lcr::test_frequencies) capacitor.push_back({2.0, -1.0 / (2.0 * lcr::pi * hz * 1e-6)});
  EXPECT_EQ(lcr::curve_reference(curve(capacitor, 1.0, 5)), 1);
  // A woofer behind 5.6 Ω and 0.9 mH, 6 Ω to 113 Ω: 10 Ω would leave its
  // 20 kHz point with a worst case nearly twice that of 100 Ω's worst point.
  std::vector<lcr::tcomplex> woofer;
  for (const int hz : lcr::test_frequencies) {
    const std::complex<double> jw(0.0, 2.0 * lcr::pi * hz);
    const std::complex<double> motional = 1.0 / (1.0 / 40.0 + 1.0 / (jw * 22e-3) + jw * 600e-6);
    const std::complex<double> z = 5.6 + jw * 0.9e-3 + motional;
    woofer.push_back({z.real(), z.imag()});
  }
  EXPECT_EQ(lcr::curve_reference(curve(woofer, 0.1, 0)), 1);
  // 2.2 Ω at 1 MΩ reads noise, 3 kΩ ± 7 kΩ: somewhere below 10 kΩ, so 100 Ω
  // (the middle of 1 Ω … 10 kΩ), where it will tell.
  EXPECT_EQ(lcr::curve_reference(curve({{3000.0, 500.0}}, 7000.0, 5)), 1);
  EXPECT_FALSE(lcr::curve_informative(curve({{3000.0, 500.0}}, 7000.0, 5)));
  // 1 MΩ at 10 Ω: a ratio near one, somewhere above 10 Ω: 10 kΩ.
  EXPECT_EQ(lcr::curve_reference(curve({{2e5, 0.0}}, 5e5, 0)), 3);
  EXPECT_EQ(lcr::curve_reference({}), -1);
}

}  // namespace
