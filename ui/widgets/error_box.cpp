#include "ui/widgets/error_box.h"

#include <QApplication>
#include <QMessageBox>

#include <utility>

namespace {

std::function<void(const QString&)>& error_handler()
{
  static std::function<void(const QString&)> handler;
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
