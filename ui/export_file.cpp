#include "export_file.h"

#include "error_box.h"

#include <QSaveFile>

namespace {

void report_failure(const QString& path)
{
  show_error_message(QStringLiteral("nach %1 kann nicht geschrieben werden").arg(path));
}

}  // namespace

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
