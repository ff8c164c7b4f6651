// SPDX-License-Identifier: GPL-3.0-or-later
// The whole calibration as an operator does it in the window, on a
// realistic simulated set-up: sweeps of modes 0 and 1, then for every
// reference resistor modes 2, 3 and 4 with its known resistor, "Speichern",
// closing and starting again; then R, C and L devices across the ranges
// measure within 0.05 % of |Z| and 0.05° wherever the divider ratio lies
// between 0.05 and 0.95. The timers tick in step with the virtual clock.

#include "support/file_text.h"
#include "support/window_fixture.h"

#include "ui/pages/simulation_page.h"

#include "audio/simulated/dut_network.h"

#include <QLineEdit>

#include <complex>
#include <iostream>

namespace {

class CalibrationProof : public quarvel_test::window_fixture {
protected:
  // The simulated set-up with the imperfections of a real adapter and card
  // and 1 digit of noise; the adapter follows the pages by itself.
  void start_realistic()
  {
    start_window("R=1k");
    use_virtual_clock();
    click_item("RadioGroup11", 1);
    QComboBox* noise = combo("ComboBox5");
    noise->setCurrentIndex(1);
    emit noise->activated(1);
    advance(0.5);
  }

  void sweep(int mode)
  {
    click_item("RadioGroup8", mode);
    click(push_button("Button5"));
    for (int tick = 0; tick < 100 && window->timer2().isActive(); ++tick) advance(0.5);
    ASSERT_FALSE(window->timer2().isActive()) << "mode " << mode;
  }

  void enter(const char* edit, const QString& text) const { find<QLineEdit>(edit)->setText(text); }

  void calibrate_in_the_operators_order()
  {
    sweep(0);
    sweep(1);
    for (int r = 0; r < lcr::ref_count; ++r) {
      click_item("RadioGroup8", 2);
      click_item("RadioGroup9", r);
      // "Ref.-Widerst." moves "R ref" only when its own item changes: the
      // operator makes sure "R ref" holds the resistor fitted.
      click_item("RadioGroup1", r);
      enter("Edit13", QString::number(lcr::ref_resistors[static_cast<std::size_t>(r)]));
      enter("Edit17", "200");
      for (const int mode : {2, 3, 4}) sweep(mode);
    }
  }

  struct treading {
    std::complex<double> measured;
    std::complex<double> exact;
    double ratio = 0.0;  // |divider ratio| with the nominal reference
  };

  // The device on the set-up at a frequency, with the reference the meter
  // recommends for it, chosen as the operator would.
  treading measure(const std::string& network, int f)
  {
    window->page_control().setCurrentIndex(window->page_control().indexOf(&window->simulation_page()));
    find<QLineEdit>("Edit18")->setText(QString::fromStdString(network));
    emit find<QLineEdit>("Edit18")->editingFinished();
    click_item("RadioGroup3", f);
    for (int attempt = 0; attempt < 3; ++attempt) {
      advance_until_settled();
      const int recommended = reference_index(lcr::measurement_snapshot().recommended_ref_ohm);
      if (recommended == option_group("RadioGroup1")->item_index()) break;
      click_item("RadioGroup1", recommended);
    }
    const lcr::tcomplex z = lcr::measurement_snapshot().display_z;
    const double omega = 2.0 * lcr::pi * lcr::test_frequencies[static_cast<std::size_t>(f)];
    treading reading;
    reading.measured = {z.re, z.im};
    reading.exact = waveio::parse_dut_network(network).impedance(omega).value_ohm();
    const double ref_ohm = lcr::ref_resistors[static_cast<std::size_t>(option_group("RadioGroup1")->item_index())];
    reading.ratio = std::abs(reading.exact / (ref_ohm + reading.exact));
    return reading;
  }

  static int reference_index(double ohm)
  {
    for (int r = 0; r < lcr::ref_count; ++r) {
      if (lcr::ref_resistors[static_cast<std::size_t>(r)] == ohm) return r;
    }
    return 2;
  }
};

TEST_F(CalibrationProof, CalibratedInTheWindowARealisticSetUpMeasuresExactly)
{
  start_realistic();
  const std::string file = directory.path() + "/Quarvel.cal";
  click(push_button("Button7"));  // the file before this calibration
  const std::string previous = quarvel_test::read_file(file);
  ASSERT_FALSE(previous.empty());

  // Uncalibrated, the set-up really is off.
  const treading uncalibrated = measure("R=470", 3);
  EXPECT_GT(std::abs(std::abs(uncalibrated.measured) / std::abs(uncalibrated.exact) - 1.0), 5e-3);

  calibrate_in_the_operators_order();
  ASSERT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
  click(push_button("Button7"));
  EXPECT_EQ(quarvel_test::read_file(directory.path() + "/Quarvel_bak.cal"), previous);
  close_window();

  lcr::reset_calibration_tables();
  lcr::reset_cal_capture();
  start_realistic();  // reads the saved calibration
  click_item("RadioGroup4", 6);
  click_item("RadioGroup5", 2);
  click_item("RadioGroup6", 2);
  double worst_magnitude = 0.0;
  double worst_phase_deg = 0.0;
  int checked = 0;
  for (const std::string network : {"R=3.3", "R=470", "R=47k", "R=2.2M", "C=47p", "C=10n", "C=4.7u", "L=22u",
                                    "L=4.7m", "L=1"}) {
    for (const int f : {0, 3, 6}) {
      const treading reading = measure(network, f);
      if (reading.ratio < 0.05 || reading.ratio > 0.95) continue;
      ++checked;
      const double magnitude = std::abs(std::abs(reading.measured) / std::abs(reading.exact) - 1.0);
      const double phase_deg = std::abs(std::arg(reading.measured / reading.exact)) * 180.0 / lcr::pi;
      worst_magnitude = std::max(worst_magnitude, magnitude);
      worst_phase_deg = std::max(worst_phase_deg, phase_deg);
      const std::string where = network + " at " + std::to_string(lcr::test_frequencies[static_cast<std::size_t>(f)]) + " Hz";
      EXPECT_LT(magnitude, 5e-4) << where;
      EXPECT_LT(phase_deg, 0.05) << where;
    }
  }
  std::cout << "[ figures  ] through the window: worst |Z| error " << worst_magnitude * 100.0
            << " %, worst phase error " << worst_phase_deg << " deg over " << checked << " readings\n";
  EXPECT_GE(checked, 20);
}

}  // namespace
