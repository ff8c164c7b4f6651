// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pages/setup_page.h"

#include "ui/widgets/error_box.h"

#include "engine/core/settings.h"
#include "engine/measurement/measurement_cycle.h"
#include "engine/quantities/quantity_texts.h"

#include "audio/streaming.h"

#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QSignalBlocker>

#include <algorithm>
#include <cstdlib>

namespace {

// A track bar as the mixer's views drive it: setting its position runs its
// change handler, as an operator's move does.
class tslider_track_bar final : public waveio::ttrack_bar {
public:
  explicit tslider_track_bar(QSlider& slider) : slider_(slider) {}
  void set_enabled(bool enabled) override { slider_.setEnabled(enabled); }
  void set_position(int position) override { slider_.setValue(position); }
  int position() const override { return slider_.value(); }

private:
  QSlider& slider_;
};

}  // namespace

void tsetup_page::show_language(quarvel_ui::tlanguage_choice choice, quarvel_ui::twindow_language running)
{
  running_language_ = running;
  select_entry(*ui.ComboBox7, static_cast<int>(choice));
  ComboBox7Change();
}

quarvel_ui::tlanguage_choice tsetup_page::language_choice() const
{
  const int index =
      std::clamp(ui.ComboBox7->currentIndex(), 0, static_cast<int>(quarvel_ui::tlanguage_choice::automatic));
  return static_cast<quarvel_ui::tlanguage_choice>(index);
}

// The note is in the language chosen, as the operator who chose it reads
// that one.
void tsetup_page::ComboBox7Change()
{
  const quarvel_ui::twindow_language chosen =
      quarvel_ui::resolve_language(language_choice(), quarvel_ui::process_environment);
  if (chosen == running_language_) {
    ui.Label74->clear();
  } else {
    ui.Label74->setText(chosen == quarvel_ui::twindow_language::english
                            ? QStringLiteral("applies from the next start")
                            : QStringLiteral("gilt ab dem nächsten Start"));
  }
}

int selected_index(const QComboBox& list)
{
  const int current = list.currentIndex();
  if (current >= 0 && list.itemText(current) == list.currentText()) return current;
  return list.findText(list.currentText(), Qt::MatchExactly | Qt::MatchCaseSensitive);
}

void select_entry(QComboBox& list, int index)
{
  const QSignalBlocker quiet(list);
  list.setCurrentIndex(index >= 0 && index < list.count() ? index : -1);
  if (list.currentIndex() < 0) list.setEditText(QString());
}

tsetup_page::tsetup_page(QWidget* parent, tstream_service& streams, tremote_switch& remote)
    : QWidget(parent), streams_(streams), remote_(remote)
{
  ui.setupUi(this);
  input_bar_ = std::make_unique<tslider_track_bar>(*ui.TrackBar1);
  output_bar_ = std::make_unique<tslider_track_bar>(*ui.TrackBar2);
  connect(ui.TrackBar1, &QSlider::valueChanged, this, &tsetup_page::TrackBar1Change);
  connect(ui.TrackBar2, &QSlider::valueChanged, this, &tsetup_page::TrackBar2Change);
  ui.Edit9->setFocusPolicy(Qt::NoFocus);
  ui.Edit10->setFocusPolicy(Qt::NoFocus);
  // The lists' change handlers run on the operator's choice or typing
  // only; the program selects entries without them.
  for (QComboBox* list : {ui.ComboBox1, ui.ComboBox2}) {
    connect(list, &QComboBox::activated, this, &tsetup_page::ComboBox2Change);
    connect(list->lineEdit(), &QLineEdit::textEdited, this, &tsetup_page::ComboBox2Change);
  }
  connect(ui.ComboBox3, &QComboBox::activated, this, &tsetup_page::ComboBox3Change);
  connect(ui.ComboBox7, &QComboBox::activated, this, &tsetup_page::ComboBox7Change);
  connect(ui.ComboBox3->lineEdit(), &QLineEdit::textEdited, this, &tsetup_page::ComboBox3Change);
  connect(ui.CheckBox1, &QCheckBox::toggled, this, &tsetup_page::CheckBox1Click);
  connect(ui.CheckBox2, &QCheckBox::toggled, this, &tsetup_page::CheckBox2Click);
  connect(ui.CheckBox6, &QCheckBox::toggled, this, &tsetup_page::CheckBox6Click);
  const std::array<QRadioButton*, 5> tests{ui.RadioButton1, ui.RadioButton2, ui.RadioButton3, ui.RadioButton4,
                                           ui.RadioButton5};
  for (int tag = 0; tag < static_cast<int>(tests.size()); ++tag) {
    connect(tests[static_cast<std::size_t>(tag)], &QRadioButton::toggled, this, [this, tag](bool checked) {
      if (checked) RadioButton1Click(tag);
    });
  }
}

void tsetup_page::ComboBox2Change()
{
  streams_.close_streams();
  waveio::stream.in_device_id = selected_index(*ui.ComboBox1);
  waveio::stream.out_device_id = selected_index(*ui.ComboBox2);
  streams_.open_streams();
  if (ui.CheckBox1->isChecked()) waveio::mixer_bind_output();
}

void tsetup_page::TrackBar1Change()
{
  if (waveio::mixer.input_view) waveio::mixer.input_view->apply();
}

void tsetup_page::TrackBar2Change()
{
  if (waveio::mixer.output_view) waveio::mixer.output_view->apply();
}

void tsetup_page::ComboBox3Change()
{
  const int index = selected_index(*ui.ComboBox3);
  // No selection gives −2, which the streaming layer treats as +1.
  waveio::stream.sample_offset = index < 0 ? -2 : index - 1;
}

void tsetup_page::CheckBox1Click()
{
  const bool checked = ui.CheckBox1->isChecked();
  ui.TrackBar1->setEnabled(checked);
  ui.TrackBar2->setEnabled(checked);
  if (!checked) return;  // the mixer keeps the levels last written
  waveio::mixer_create_views(*input_bar_, *output_bar_);
  waveio::mixer_bind_input();
  waveio::mixer_bind_output();
}

void tsetup_page::CheckBox2Click()
{
  waveio::stream.swap_channels = ui.CheckBox2->isChecked();
}

void tsetup_page::CheckBox6Click()
{
  const std::string failure = remote_.enable_remote(ui.CheckBox6->isChecked());
  if (failure.empty()) return;
  show_error_message(tr("Fernsteuerung: %1").arg(QString::fromStdString(failure)));
  const QSignalBlocker quiet(ui.CheckBox6);
  ui.CheckBox6->setChecked(false);
}

void tsetup_page::RadioButton1Click(int tag)
{
  lcr::settings.test_mode = tag;
  if (tag != 0) {
    lcr::enter_test_mode();
  } else {
    emit measurement_resumed();
  }
  streams_.follow_set_up();
}

void tsetup_page::show_test_results(const lcr::tconfig_test_results& results)
{
  const char separator = lcr::decimal_separator();
  ui.Edit9->setText(QString::fromStdString(lcr::format_fixed(results.test4_bits_best, 1, 4, separator)));
  ui.Edit10->setText(QString::fromStdString(lcr::format_fixed(results.test4_bits_worst, 1, 4, separator)));
  const std::array<std::pair<tlamp*, int>, 4> lamps{{{ui.Edit16, results.test2_phase_result},
                                                     {ui.Edit15, results.test2_amplitude_result},
                                                     {ui.Edit14, results.test1_result},
                                                     {ui.Edit12, results.test3_result}}};
  for (const auto& [lamp, code] : lamps) {
    tlamp_colour colour = lamp->colour();
    if (result_colour(code, colour)) lamp->set_colour(colour);
  }
}
