// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/widgets/error_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <utility>

namespace {

std::function<void(const QString&)>& error_handler()
{
  static std::function<void(const QString&)> handler;
  return handler;
}

std::function<bool(const QString&)>& confirmation_handler()
{
  static std::function<bool(const QString&)> handler;
  return handler;
}

}  // namespace

void show_error_message(const QString& message)
{
  if (error_handler()) {
    error_handler()(message);
    return;
  }
  QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationName(), message);
}

std::function<void(const QString&)> set_error_message_handler(std::function<void(const QString&)> handler)
{
  return std::exchange(error_handler(), std::move(handler));
}

bool confirm_action(const QString& question)
{
  if (confirmation_handler()) return confirmation_handler()(question);
  QMessageBox box(QMessageBox::Question, QApplication::applicationName(), question, QMessageBox::NoButton,
                  QApplication::activeWindow());
  QPushButton* yes = box.addButton(QCoreApplication::translate("error_box", "Ja"), QMessageBox::YesRole);
  box.setDefaultButton(box.addButton(QCoreApplication::translate("error_box", "Nein"), QMessageBox::NoRole));
  box.exec();
  return box.clickedButton() == yes;
}

std::function<bool(const QString&)> set_confirmation_handler(std::function<bool(const QString&)> handler)
{
  return std::exchange(confirmation_handler(), std::move(handler));
}
