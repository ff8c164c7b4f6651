#pragma once

// The window's standard error message box. Messages go through a handler
// that a test can replace, so that no test ever blocks on a box. Window's
// thread.

#include <QString>

#include <functional>

void show_error_message(const QString& message);

// Replaces the handler; an empty one restores the message box. Returns the
// previous handler.
std::function<void(const QString&)> set_error_message_handler(std::function<void(const QString&)> handler);
