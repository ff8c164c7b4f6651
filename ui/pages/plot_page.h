// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The page "Zeitverlauf": the time-course plot of both displayed values,
// the "Y Position" jog bars, the "Y Streckung" scale bars, "Auto Set" and
// "Stopp". Window's thread.

#include "ui_plot_page.h"

#include <QWidget>

#include <array>
#include <optional>
#include <string>

class QScrollBar;

// What a scroll bar reports.
enum class tscroll_code { line_up, line_down, page_up, page_down, position, track, top, bottom, end_scroll };

// The "Y Position" bar as a jog control centred on 0: a line step and the
// end of scrolling add the bar's position to the trace's base and put the
// bar back to 0; while the thumb is dragged the trace follows base +
// position; other events change nothing. Returns the trace's new Y
// position, or nothing when it stays.
std::optional<int> jog_scroll(tscroll_code code, int& position, int& offset_base);

class tplot_page : public QWidget {
  Q_OBJECT

public:
  explicit tplot_page(QWidget* parent);

  Ui::plot_page ui;

  // Sizes the frame and the paint box and sets the plot up (window
  // creation).
  void set_up_plot();
  // The display tick's part: the plot, unless it is frozen.
  void draw_plot();

  const std::array<int, 2>& trace_offset_base() const { return trace_offset_base_; }
  // What the plot shows as CSV: both traces' values, oldest first, with
  // their time before the newest.
  std::string traces_csv() const;

public slots:
  void ScrollBar1Scroll(tscroll_code code, int position);
  void ScrollBar3Scroll(tscroll_code code, int position);
  void ScrollBar2Change();
  void ScrollBar4Change();
  void Button3Click();
  void Button6Click();
  void Button11Click();
  void Button12Click();

private:
  void connect_jog(QScrollBar* bar, void (tplot_page::*handler)(tscroll_code, int));
  void jog(int trace, QScrollBar* bar, tscroll_code code, int position);
  void change_scale(int trace, const QScrollBar* bar, QLabel* label);

  std::array<int, 2> trace_offset_base_{};
};
