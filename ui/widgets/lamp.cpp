// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/widgets/lamp.h"

#include <QPainter>

namespace {

QColor colour_value(tlamp_colour colour, const QPalette& palette)
{
  switch (colour) {
    case tlamp_colour::grey: return {128, 128, 128};
    case tlamp_colour::yellow: return {255, 255, 0};
    case tlamp_colour::red: return {255, 0, 0};
    case tlamp_colour::green: return {0, 255, 0};
    case tlamp_colour::background: break;
  }
  return palette.color(QPalette::Window);
}

QString colour_name(tlamp_colour colour)
{
  switch (colour) {
    case tlamp_colour::grey: return tlamp::tr("grau");
    case tlamp_colour::yellow: return tlamp::tr("gelb");
    case tlamp_colour::red: return tlamp::tr("rot");
    case tlamp_colour::green: return tlamp::tr("grün");
    case tlamp_colour::background: break;
  }
  return tlamp::tr("nicht gemessen");
}

}  // namespace

tlamp::tlamp(QWidget* parent) : QLineEdit(parent)
{
  setReadOnly(true);
  setEnabled(false);
  setFocusPolicy(Qt::NoFocus);
  describe();
}

void tlamp::set_caption(const QString& caption)
{
  caption_ = caption;
  describe();
}

void tlamp::set_colour(tlamp_colour colour, const QString& state_text)
{
  if (colour == colour_ && state_text == state_text_) return;
  colour_ = colour;
  state_text_ = state_text;
  describe();
  // Painted at once: a screen reader that reads the new name never sees
  // the old colour still on the screen.
  repaint();
}

QString tlamp::state_description() const
{
  return caption_ + QStringLiteral(": ") + (state_text_.isEmpty() ? colour_name(colour_) : state_text_);
}

void tlamp::describe()
{
  setToolTip(state_description());
  setAccessibleName(state_description());
}

void tlamp::paintEvent(QPaintEvent*)
{
  // Painted by hand: a disabled field would otherwise show the style's
  // greyed background instead of the state's colour.
  QPainter painter(this);
  painter.fillRect(rect(), colour_value(colour_, palette()));
  painter.setPen(palette().color(QPalette::Dark));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

bool result_colour(int code, tlamp_colour& colour)
{
  switch (code) {
    case 1: colour = tlamp_colour::green; return true;
    case 2: colour = tlamp_colour::yellow; return true;
    case 3: colour = tlamp_colour::red; return true;
    default: return false;
  }
}
