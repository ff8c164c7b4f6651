// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The window's standard message boxes: an error, and a question before an
// action that cannot be undone. Both go through a handler that a test can
// replace, so that no test ever blocks on a box. Window's thread.

#include <QString>

#include <functional>

void show_error_message(const QString& message);

// Replaces the handler; an empty one restores the message box. Returns the
// previous handler.
std::function<void(const QString&)> set_error_message_handler(std::function<void(const QString&)> handler);

// "Ja"/"Nein" before an action that cannot be undone: true for "Ja".
bool confirm_action(const QString& question);

// Replaces the question's handler; an empty one restores the message box.
// Returns the previous handler.
std::function<bool(const QString&)> set_confirmation_handler(std::function<bool(const QString&)> handler);
