// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A drawing surface that shows an image at its top left corner, as the
// plot's paint box. Window's thread.

#include <QImage>
#include <QWidget>

class tpaint_box : public QWidget {
  Q_OBJECT

public:
  explicit tpaint_box(QWidget* parent = nullptr);

  // Copies the picture onto the surface.
  void show_image(const QImage& image);
  const QImage& image() const { return image_; }

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  QImage image_;
};
