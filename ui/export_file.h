#pragma once

// Writing an export the operator asked for: complete or not at all
// (QSaveFile), and a failure said in the error box with the file's name.
// Window's thread.

#include <QImage>
#include <QString>

#include <string>

bool save_text_file(const QString& path, const std::string& text);
bool save_image_file(const QString& path, const QImage& image);
