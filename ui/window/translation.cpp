// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/window/translation.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTranslator>

QString translation_file(quarvel_ui::twindow_language language, const QString& program_directory)
{
  if (language == quarvel_ui::twindow_language::german) return {};
  const QString name = QStringLiteral("quarvel_en.qm");
  for (const QString& directory :
       {program_directory, program_directory + QStringLiteral("/../share/quarvel/translations")}) {
    const QFileInfo file(directory + '/' + name);
    if (file.isFile()) return file.canonicalFilePath();
  }
  return {};
}

bool install_translation(QTranslator& translator, quarvel_ui::twindow_language language,
                         const QString& program_directory)
{
  if (language == quarvel_ui::twindow_language::german) return true;
  const QString file = translation_file(language, program_directory);
  return !file.isEmpty() && translator.load(file) && QCoreApplication::installTranslator(&translator);
}
