// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A test of the whole window: fresh engine, streaming and plot state, the
// window on the simulated set-up (no sound card is probed) with its files in
// a temporary directory, error boxes captured instead of shown, and helpers
// to click and read controls by their names.

#include "support/temporary_directory.h"

#include "ui/pages/calibration_page.h"
#include "ui/pages/measurement_page.h"
#include "ui/pages/setup_page.h"
#include "ui/plot/plot_drawing.h"
#include "ui/plot/plot_model.h"
#include "ui/widgets/error_box.h"
#include "ui/widgets/lamp.h"
#include "ui/widgets/option_group.h"
#include "ui/window/main_window.h"

#include "engine/calibration/calibration_steps.h"
#include "engine/core/settings.h"
#include "engine/corrections/corrections.h"
#include "engine/measurement/configuration_tests.h"
#include "engine/measurement/measurement_cycle.h"
#include "engine/quantities/quantity_texts.h"
#include "engine/readings/settled_reading.h"

#include "audio/sound_devices.h"
#include "audio/streaming.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyleOptionGroupBox>
#include <QStyleOptionSlider>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <thread>
#include <string>
#include <vector>

namespace quarvel_test {

class window_fixture : public ::testing::Test {
protected:
  void SetUp() override
  {
    lcr::reset_settings();
    lcr::reset_engine_state();
    lcr::reset_calibration_tables();
    lcr::reset_config_tests();
    lcr::reset_cal_capture();
    waveio::reset_stream_state();
    graphic::reset_plot_state();
    graphic::reset_plot_bitmaps();
    previous_handler = set_error_message_handler([this](const QString& message) { errors << message; });
    previous_confirmation = set_confirmation_handler([this](const QString& question) {
      questions << question;
      return confirm_answer;
    });
  }

  void TearDown() override
  {
    release_gate();  // a worker held at the gate could not end
    window.reset();
    set_error_message_handler(previous_handler);
    set_confirmation_handler(previous_confirmation);
    waveio::reset_stream_state();
  }

  std::string settings_path() const { return directory.path() + "/Quarvel.ini"; }

  void start_window(std::optional<std::string> sim_dut = std::nullopt)
  {
    tstartup_options options;
    options.settings_path = settings_path();
    options.calibration_path = directory.path() + "/Quarvel.cal";
    options.sim_dut = std::move(sim_dut);
    options.real_cards = false;
    options.language = language;
    options.window_language = window_language;
    window = std::make_unique<TForm1>(options);
    window->show();
  }

  // Closes the window as its close button does.
  void close_window()
  {
    release_gate();
    window->close();
    window.reset();
  }

  template <typename Widget>
  Widget* find(const char* name) const
  {
    Widget* widget = window->findChild<Widget*>(name);
    if (widget == nullptr) ADD_FAILURE() << "no control " << name;
    return widget;
  }

  QLabel* label_widget(const char* name) const { return find<QLabel>(name); }
  QString label(const char* name) const { return find<QLabel>(name)->text(); }
  QRadioButton* button(const char* name) const { return find<QRadioButton>(name); }
  QPushButton* push_button(const char* name) const { return find<QPushButton>(name); }
  QComboBox* combo(const char* name) const { return find<QComboBox>(name); }
  toption_group* option_group(const char* name) const { return find<toption_group>(name); }
  tlamp* lamp(const char* name) const { return find<tlamp>(name); }

  // The operator turns to the page a control is on and clicks it (a click
  // lands where the control is seen, so its page must be the one shown).
  void click(QWidget* control, QPoint at = {}) const
  {
    for (QWidget* page = control; page != nullptr; page = page->parentWidget()) {
      const int index = window->page_control().indexOf(page);
      if (index >= 0) window->page_control().setCurrentIndex(index);
    }
    QTest::mouseClick(control, Qt::LeftButton, {}, at);
  }

  // The operator clicks an item of an option group, on its button and
  // caption (a radio button takes clicks there only, not beside them).
  void click_item(const char* group, int index) const
  {
    QRadioButton* item = option_group(group)->item_button(index);
    ASSERT_NE(item, nullptr) << group << " has no item " << index;
    QStyleOptionButton option;
    option.initFrom(item);
    option.text = item->text();
    click(item, item->style()->subElementRect(QStyle::SE_RadioButtonClickRect, &option, item).center());
  }

  // A value label with its unit label as a number in base units.
  double shown_value(const char* value, const char* unit) const
  {
    QString text = label(value).trimmed();
    text.replace(',', '.');
    bool ok = false;
    const double number = text.toDouble(&ok);
    if (!ok) ADD_FAILURE() << value << " shows '" << label(value).toStdString() << "'";
    return number * prefix_factor(label(unit));
  }

  // "KOhm" → 1e3, "nF" → 1e-9, "Ohm" → 1.
  static double prefix_factor(const QString& unit)
  {
    const std::pair<QString, double> prefixes[] = {{"T", 1e12}, {"G", 1e9},  {"M", 1e6},  {"K", 1e3},  {"", 1.0},
                                                    {"m", 1e-3}, {"µ", 1e-6}, {"n", 1e-9}, {"p", 1e-12}, {"f", 1e-15}};
    for (const QString base : {"Ohm", "S", "F", "H"}) {
      if (!unit.endsWith(base)) continue;
      for (const auto& [prefix, factor] : prefixes) {
        if (unit.chopped(base.size()) == prefix) return factor;
      }
    }
    return 1.0;
  }

  // Another part at the terminals: readings settle anew.
  void set_simulated_device(const std::string& network) const
  {
    waveio::tfixture_config config = window->sound_devices().fixture().configuration();
    config.dut_network = network;
    window->sound_devices().fixture().set_configuration(config);
    lcr::request_settling();
  }

  // Until the latest reading has settled under the present settings, and a
  // display tick has shown it (a test fails when none comes in 10 s).
  void wait_for_settled_reading() const
  {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!lcr::is_current_reading(lcr::measurement_snapshot())) {
      if (std::chrono::steady_clock::now() > deadline) {
        ADD_FAILURE() << "no settled reading in 10 s";
        return;
      }
      QTest::qWait(20);
    }
    wait_display_ticks(2);
  }

  // Until the display timer has ticked `count` times more: what it shows
  // then is of the present state, however slowly a busy machine ticks.
  void wait_display_ticks(int count) const
  {
    QSignalSpy ticks(&window->timer1(), &QTimer::timeout);
    while (ticks.count() < count) {
      if (!ticks.wait(10000)) {
        ADD_FAILURE() << "the display did not tick in 10 s";
        return;
      }
    }
  }

  // Until `condition` holds (events processed meanwhile); a failure after
  // 10 s, which only a hang takes.
  template <typename Condition>
  bool wait_until(Condition condition) const
  {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      QTest::qWait(10);
    }
    return true;
  }

  // From now on the simulated set-up runs on its virtual clock and the
  // stream advances only in advance(); the window's timers tick in step
  // with stream time there, not by the wall clock.
  void use_virtual_clock()
  {
    gate_frames.store(frames_processed.load());
    // The worker reads its handler: it is exchanged while the streams are
    // closed.
    window->close_streams();
    waveio::set_block_handler([this] {
      // Held here, the virtual clock stands still; a closing worker goes on.
      while (frames_processed.load() >= gate_frames.load() && waveio::stream.worker_run.load()) {
        std::this_thread::sleep_for(std::chrono::microseconds(50));
      }
      const int frames = waveio::in_available() / waveio::block_frames * waveio::block_frames;
      lcr::process_recorded_blocks();
      frames_processed.fetch_add(frames);
    });
    waveio::tfixture_config config = window->sound_devices().fixture().configuration();
    config.clock = waveio::tclock::virtual_time;
    window->sound_devices().fixture().set_configuration(config);
    window->open_streams();
    // The wall clock's ticks would come at random moments: an hour apart.
    window->timer1().setInterval(3600 * 1000);
    window->timer2().setInterval(3600 * 1000);
  }

  // Runs `seconds` of stream time; the display tick every 100 ms and the
  // calibration tick every 500 ms while their timers are on.
  void advance(double seconds)
  {
    constexpr std::int64_t tick_frames = waveio::in_rate / 10;
    const auto ticks = static_cast<int>(std::lround(seconds * 10.0));
    for (int tick = 0; tick < ticks; ++tick) {
      gate_frames.store(gate_frames.load() + tick_frames);
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      while (frames_processed.load() < gate_frames.load()) {
        if (std::chrono::steady_clock::now() > deadline) {
          ADD_FAILURE() << "the stream stands still";
          return;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(50));
      }
      ++ticks_run;
      if (window->timer1().isActive()) window->show_measurement();
      if (ticks_run % 5 == 0 && window->timer2().isActive()) window->calibration_page().Timer2Timer();
    }
  }

  // On the virtual clock: display ticks until the latest reading has
  // settled under the present settings, and one tick more to show it.
  void advance_until_settled()
  {
    for (int tick = 0; tick < 300 && !lcr::is_current_reading(lcr::measurement_snapshot()); ++tick) advance(0.1);
    EXPECT_TRUE(lcr::is_current_reading(lcr::measurement_snapshot())) << "no settled reading in 30 s of stream";
    advance(0.1);
  }

  void release_gate() { gate_frames.store(std::numeric_limits<std::int64_t>::max()); }

  static QPoint sub_control_centre(const QScrollBar& bar, QStyle::SubControl part)
  {
    QStyleOptionSlider option;
    option.initFrom(&bar);
    option.orientation = bar.orientation();
    option.minimum = bar.minimum();
    option.maximum = bar.maximum();
    option.sliderPosition = bar.sliderPosition();
    option.sliderValue = bar.value();
    option.singleStep = bar.singleStep();
    option.pageStep = bar.pageStep();
    option.upsideDown = bar.invertedAppearance();
    return bar.style()->subControlRect(QStyle::CC_ScrollBar, &option, part, &bar).center();
  }

  temporary_directory directory;
  // What `--lang` gave, and the translation installed for the window.
  std::optional<quarvel_ui::tlanguage_choice> language;
  quarvel_ui::twindow_language window_language = quarvel_ui::twindow_language::german;
  std::unique_ptr<TForm1> window;
  QStringList errors;
  QStringList questions;       // asked before an action that cannot be undone
  bool confirm_answer = true;  // the operator's answer to them
  std::atomic<std::int64_t> frames_processed{0};
  std::atomic<std::int64_t> gate_frames{std::numeric_limits<std::int64_t>::max()};
  long ticks_run = 0;

private:
  std::function<void(const QString&)> previous_handler;
  std::function<bool(const QString&)> previous_confirmation;
};

// What does not fit on a page: a control outside its parent, two controls
// of one parent that overlap, a text wider or taller than its control.
inline std::vector<std::string> layout_problems(QWidget& page)
{
  std::vector<std::string> problems;
  const auto name = [](const QWidget* widget) { return widget->objectName().toStdString(); };
  QList<QWidget*> parents = page.findChildren<QWidget*>();
  parents.append(&page);
  for (QWidget* parent : parents) {
    std::vector<QWidget*> children;
    for (QObject* object : parent->children()) {
      auto* child = qobject_cast<QWidget*>(object);
      if (child == nullptr || !child->isVisibleTo(&page) || child->isWindow()) continue;
      if (parent->metaObject()->className() == QByteArray("QComboBox")) continue;  // the list's own parts
      children.push_back(child);
      if (!parent->rect().contains(child->geometry())) problems.push_back(name(child) + " lies outside " + name(parent));
    }
    for (std::size_t i = 0; i < children.size(); ++i) {
      for (std::size_t j = i + 1; j < children.size(); ++j) {
        if (children[i]->geometry().intersects(children[j]->geometry())) {
          problems.push_back(name(children[i]) + " overlaps " + name(children[j]));
        }
      }
    }
  }
  for (QWidget* widget : page.findChildren<QWidget*>()) {
    if (!widget->isVisibleTo(&page)) continue;
    const bool has_text = qobject_cast<QLabel*>(widget) != nullptr || qobject_cast<QAbstractButton*>(widget) != nullptr;
    if (!has_text) continue;
    QSize needed = widget->sizeHint();
    if (const auto* label = qobject_cast<QLabel*>(widget); label != nullptr && label->wordWrap()) {
      needed = {label->width(), label->heightForWidth(label->width())};  // wraps to its width
    }
    if (needed.width() > widget->width() || needed.height() > widget->height()) {
      problems.push_back(name(widget) + " needs " + std::to_string(needed.width()) + "x" +
                         std::to_string(needed.height()) + " but has " + std::to_string(widget->width()) + "x" +
                         std::to_string(widget->height()));
    }
  }
  // A group's title, and the item a closed list shows (device lists may
  // hold any card's name; they are typed into and scroll).
  for (QGroupBox* group : page.findChildren<QGroupBox*>()) {
    if (!group->isVisibleTo(&page) || group->title().isEmpty()) continue;
    QStyleOptionGroupBox option;
    option.initFrom(group);
    option.text = group->title();
    option.lineWidth = 1;
    option.textAlignment = group->alignment();
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    const QRect title =
        group->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group);
    if (title.right() > group->rect().right()) {
      problems.push_back(name(group) + "'s title ends at " + std::to_string(title.right()) + ", beyond " +
                         std::to_string(group->rect().right()));
    }
  }
  for (QComboBox* list : page.findChildren<QComboBox*>()) {
    if (!list->isVisibleTo(&page) || list->isEditable()) continue;
    QStyleOptionComboBox option;
    option.initFrom(list);
    // "Beispiele …" picks a network for the field beside it and returns to
    // its heading: only the heading stays shown.
    const int shown_items = list->objectName() == QStringLiteral("ComboBox4") ? 1 : list->count();
    for (int item = 0; item < shown_items; ++item) {
      const QSize text(list->fontMetrics().horizontalAdvance(list->itemText(item)),
                       list->fontMetrics().height());
      const int needed = list->style()->sizeFromContents(QStyle::CT_ComboBox, &option, text, list).width();
      if (needed > list->width()) {
        problems.push_back(name(list) + "'s item '" + list->itemText(item).toStdString() + "' needs " +
                           std::to_string(needed) + " but has " + std::to_string(list->width()));
      }
    }
  }
  return problems;
}

}  // namespace quarvel_test
