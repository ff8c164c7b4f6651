// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/widgets/file_dialog.h"

#include <QApplication>
#include <QFileDialog>

#include <utility>

namespace {

using tname_handler = std::function<QString(const QString&, const QString&, const QString&)>;
using topen_handler = std::function<QString(const QString&, const QString&)>;

tname_handler& name_handler()
{
  static tname_handler handler;
  return handler;
}

topen_handler& open_handler()
{
  static topen_handler handler;
  return handler;
}

}  // namespace

QString ask_save_file_name(const QString& caption, const QString& suggested_name, const QString& filter)
{
  if (name_handler()) return name_handler()(caption, suggested_name, filter);
  return QFileDialog::getSaveFileName(QApplication::activeWindow(), caption, suggested_name, filter);
}

tname_handler set_save_file_name_handler(tname_handler handler)
{
  return std::exchange(name_handler(), std::move(handler));
}

QString ask_open_file_name(const QString& caption, const QString& filter)
{
  if (open_handler()) return open_handler()(caption, filter);
  return QFileDialog::getOpenFileName(QApplication::activeWindow(), caption, QString(), filter);
}

topen_handler set_open_file_name_handler(topen_handler handler)
{
  return std::exchange(open_handler(), std::move(handler));
}
