// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/window/window_settings.h"

#include "ui/pages/measurement_page.h"
#include "ui/pages/setup_page.h"
#include "ui/pages/simulation_page.h"
#include "ui/pages/sorting_page.h"
#include "ui/settings/settings_file.h"
#include "ui/widgets/error_box.h"
#include "ui/widgets/export_file.h"

#include <QCheckBox>
#include <QRadioButton>

#include <vector>

namespace {

std::vector<std::string> entry_names(const QComboBox& list)
{
  std::vector<std::string> names;
  for (int i = 0; i < list.count(); ++i) names.push_back(list.itemText(i).toStdString());
  return names;
}

void select_device(QComboBox& list, const std::string& stored_text, int stored_index)
{
  select_entry(list, quarvel_ui::select_device_entry(entry_names(list), stored_text, stored_index));
}

// Checking a button that was not checked runs the mode once; the mode is
// then applied again, as the stored mode always is.
void restore_meas_mode(tmeasurement_page& page, int stored_mode)
{
  auto* button = page.findChild<QRadioButton*>(QStringLiteral("RadioButton_meas") + QString::number(stored_mode));
  if (button == nullptr) return;  // no such mode: the mode stays
  button->setChecked(true);
  page.apply_meas_mode(button);
}

}  // namespace

void load_settings(const tsettings_pages& pages, const std::string& path)
{
  quarvel_ui::remove_stale_save_temporaries(path);
  const quarvel_ui::tsettings_values values = quarvel_ui::load_settings_values(path);
  Ui::setup_page& setup = pages.setup.ui;
  select_device(*setup.ComboBox1, values.wavedevintext, values.wavedevinid);
  select_device(*setup.ComboBox2, values.wavedevouttext, values.wavedevoutid);
  select_entry(*setup.ComboBox3, values.wavesampleoffset);
  setup.CheckBox2->setChecked(values.waveswapchan);

  tmeasurement_page& page = pages.measurement;
  restore_meas_mode(page, values.measmodeindex);
  page.ui.RadioGroup1->set_item_index(values.rrefindex);
  page.ui.RadioGroup3->set_item_index(values.freqindex);
  page.ui.RadioGroup4->set_item_index(values.levelindex);
  page.ui.RadioGroup5->set_item_index(values.fftindex);
  page.ui.RadioGroup6->set_item_index(values.avgindex);

  const quarvel_ui::tbench_values bench = quarvel_ui::load_bench_values(path);
  page.ui.CheckBox4->setChecked(bench.automode);
  Ui::sorting_page& sorting = pages.sorting.ui;
  sorting.CheckBox5->setChecked(bench.comparator);
  if (!bench.nominal.empty()) sorting.Edit20->setText(QString::fromStdString(bench.nominal));
  if (!bench.tolerance.empty()) sorting.Edit21->setText(QString::fromStdString(bench.tolerance));
  pages.simulation.restore_choices(bench.simsetup, bench.simadapter, QString::fromStdString(bench.simnoise));
}

void save_settings(const tsettings_pages& pages, const std::string& path)
{
  const Ui::setup_page& setup = pages.setup.ui;
  const tmeasurement_page& page = pages.measurement;
  quarvel_ui::tsettings_values values;
  values.wavedevintext = setup.ComboBox1->currentText().toStdString();
  values.wavedevinid = selected_index(*setup.ComboBox1);
  values.wavedevouttext = setup.ComboBox2->currentText().toStdString();
  values.wavedevoutid = selected_index(*setup.ComboBox2);
  values.wavesampleoffset = selected_index(*setup.ComboBox3);
  values.waveswapchan = setup.CheckBox2->isChecked();
  values.measmodeindex = page.meas_mode();
  values.rrefindex = page.ui.RadioGroup1->item_index();
  values.freqindex = page.ui.RadioGroup3->item_index();
  values.levelindex = page.ui.RadioGroup4->item_index();
  values.fftindex = page.ui.RadioGroup5->item_index();
  values.avgindex = page.ui.RadioGroup6->item_index();
  const Ui::sorting_page& sorting = pages.sorting.ui;
  quarvel_ui::tbench_values bench;
  bench.automode = page.ui.CheckBox4->isChecked();
  bench.comparator = sorting.CheckBox5->isChecked();
  bench.nominal = sorting.Edit20->text().toStdString();
  bench.tolerance = sorting.Edit21->text().toStdString();
  const Ui::simulation_page& simulation = pages.simulation.ui;
  bench.simsetup = simulation.RadioGroup10->item_index();
  bench.simadapter = simulation.RadioGroup11->item_index();
  bench.simnoise = simulation.ComboBox5->currentText().toStdString();
  const std::string message =
      quarvel_ui::save_settings_values(path, values, bench, pages.setup.language_choice());
  // The settings file's rules speak German; the box speaks the window's.
  if (!message.empty()) show_error_message(write_failure_text(QString::fromStdString(path)));
}
