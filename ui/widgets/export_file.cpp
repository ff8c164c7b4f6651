// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/widgets/export_file.h"

#include "ui/widgets/error_box.h"
#include "ui/widgets/file_dialog.h"

#include <QCoreApplication>
#include <QSaveFile>

namespace {

void report_failure(const QString& path)
{
  show_error_message(write_failure_text(path));
}

}  // namespace

QString write_failure_text(const QString& path)
{
  return QCoreApplication::translate("export_file", "nach %1 kann nicht geschrieben werden").arg(path);
}

bool save_text_file(const QString& path, const std::string& text)
{
  QSaveFile file(path);
  const bool written = file.open(QIODevice::WriteOnly) &&
                       file.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size()) &&
                       file.commit();
  if (!written) report_failure(path);
  return written;
}

bool save_image_file(const QString& path, const QImage& image)
{
  QSaveFile file(path);
  const bool written = file.open(QIODevice::WriteOnly) && image.save(&file, "PNG") && file.commit();
  if (!written) report_failure(path);
  return written;
}

void export_csv(const QString& caption, const QString& suggested_name, const std::string& text)
{
  const QString path = ask_save_file_name(caption, suggested_name, QStringLiteral("CSV (*.csv)"));
  if (!path.isEmpty()) save_text_file(path, text);
}

void export_png(const QString& caption, const QString& suggested_name, const QImage& image)
{
  const QString path = ask_save_file_name(caption, suggested_name, QStringLiteral("PNG (*.png)"));
  if (!path.isEmpty()) save_image_file(path, image);
}
