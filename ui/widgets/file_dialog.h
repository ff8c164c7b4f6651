// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Where the operator wants a file saved, or which file to read: the
// standard file dialogs, through handlers that a test can replace, so that
// no test ever blocks on a dialog. Window's thread.

#include <QString>

#include <functional>

// An empty text when the operator cancels.
QString ask_save_file_name(const QString& caption, const QString& suggested_name, const QString& filter);

// Replaces the dialog (an empty handler restores it); returns the previous
// handler.
std::function<QString(const QString&, const QString&, const QString&)> set_save_file_name_handler(
    std::function<QString(const QString&, const QString&, const QString&)> handler);

// An empty text when the operator cancels.
QString ask_open_file_name(const QString& caption, const QString& filter);

// Replaces the dialog (an empty handler restores it); returns the previous
// handler.
std::function<QString(const QString&, const QString&)> set_open_file_name_handler(
    std::function<QString(const QString&, const QString&)> handler);
