// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/window/window_settings.h"

#include "ui/pages/loudspeaker_panel.h"
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

// The entries come back as typed, a mistyped one too: the panel says what
// is wrong with it when it computes.
void restore_loudspeaker_entries(Ui::loudspeaker_panel& panel, const quarvel_ui::tbench_values& bench)
{
  if (bench.lskind >= 0 && bench.lskind < panel.ComboBox11->count()) panel.ComboBox11->setCurrentIndex(bench.lskind);
  panel.Edit24->setText(QString::fromStdString(bench.lsamount));
  panel.Edit25->setText(QString::fromStdString(bench.lssd));
  panel.Edit26->setText(QString::fromStdString(bench.lsre));
  panel.Edit27->setText(QString::fromStdString(bench.lstemperature));
  panel.Edit28->setText(QString::fromStdString(bench.lsinputvrms));
}

void keep_loudspeaker_entries(const Ui::loudspeaker_panel& panel, quarvel_ui::tbench_values& bench)
{
  bench.lskind = panel.ComboBox11->currentIndex();
  bench.lsamount = panel.Edit24->text().toStdString();
  bench.lssd = panel.Edit25->text().toStdString();
  bench.lsre = panel.Edit26->text().toStdString();
  bench.lstemperature = panel.Edit27->text().toStdString();
  bench.lsinputvrms = panel.Edit28->text().toStdString();
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
  restore_loudspeaker_entries(pages.loudspeaker.ui, bench);
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
  keep_loudspeaker_entries(pages.loudspeaker.ui, bench);
  const std::string message =
      quarvel_ui::save_settings_values(path, values, bench, pages.setup.language_choice());
  // The settings file's rules speak German; the box speaks the window's.
  if (!message.empty()) show_error_message(write_failure_text(QString::fromStdString(path)));
}
