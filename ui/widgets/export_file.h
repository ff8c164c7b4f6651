// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Writing an export the operator asked for: complete or not at all
// (QSaveFile), and a failure said in the error box with the file's name.
// Window's thread.

#include <QImage>
#include <QString>

#include <string>

// "nach <path> kann nicht geschrieben werden", in the window's language.
QString write_failure_text(const QString& path);

bool save_text_file(const QString& path, const std::string& text);
bool save_image_file(const QString& path, const QImage& image);

// "Export …" and "Bild …": asks where (the dialog's `caption`, the
// suggested file name) and saves there; nothing when the operator cancels.
void export_csv(const QString& caption, const QString& suggested_name, const std::string& text);
void export_png(const QString& caption, const QString& suggested_name, const QImage& image);
