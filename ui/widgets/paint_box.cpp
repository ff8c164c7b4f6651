// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/widgets/paint_box.h"

#include <QPainter>

tpaint_box::tpaint_box(QWidget* parent) : QWidget(parent)
{
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void tpaint_box::show_image(const QImage& image)
{
  image_ = image;
  update();
}

void tpaint_box::paintEvent(QPaintEvent*)
{
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  painter.drawImage(0, 0, image_);
}
