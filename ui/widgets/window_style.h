// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The window's look: Qt's Fusion style with radio buttons, check boxes and
// option group captions as compact as the fixed 542 × 318 window needs (an
// option group holds up to eight items in 143 pixels), and the controls'
// font, a sans-serif at 11 pixels. Window's thread.

#include <QFont>

class QApplication;
class QLabel;

// Sets the style and the controls' font for the whole application.
void apply_window_style(QApplication& application);

// The controls' font, and the same family at another pixel size (the large
// value fonts).
QFont controls_font();
QFont font_of_pixel_size(int pixels);
