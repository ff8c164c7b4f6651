// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A lamp: a small read-only field whose background colour carries a state.
// For operators who cannot tell red from green, and for screen readers, the
// state is also given as text, in the tooltip and the accessible name
// ("Eingangspegel: rot", "Test 3: gelb"). Window's thread.

#include <QLineEdit>
#include <QString>

enum class tlamp_colour { background, grey, yellow, red, green };

class tlamp : public QLineEdit {
  Q_OBJECT
  // What the lamp shows, as the first part of its accessible name.
  Q_PROPERTY(QString caption READ caption WRITE set_caption)

public:
  explicit tlamp(QWidget* parent = nullptr);

  QString caption() const { return caption_; }
  void set_caption(const QString& caption);

  tlamp_colour colour() const { return colour_; }
  // `state_text` replaces the colour's name in the texts ("kein Signal").
  void set_colour(tlamp_colour colour, const QString& state_text = {});
  // "Eingangspegel: rot".
  QString state_description() const;

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  void describe();

  QString caption_;
  QString state_text_;
  tlamp_colour colour_ = tlamp_colour::background;
};

// The colour of a test's result code: 1 green, 2 yellow, 3 red; any other
// code keeps the lamp as it is (returns false).
bool result_colour(int code, tlamp_colour& colour);
