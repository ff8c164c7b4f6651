// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/widgets/window_style.h"

#include <QApplication>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOptionComplex>

#include <algorithm>

namespace {

constexpr int controls_pixel_size = 11;
constexpr int indicator_px = 12;

class tcompact_style : public QProxyStyle {
public:
  tcompact_style() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

  int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
  {
    switch (metric) {
      case PM_ExclusiveIndicatorWidth:
      case PM_ExclusiveIndicatorHeight:
      case PM_IndicatorWidth:
      case PM_IndicatorHeight:
        return indicator_px;
      case PM_RadioButtonLabelSpacing:
      case PM_CheckBoxLabelSpacing:
        return 4;
      case PM_TabBarTabHSpace:
        return 6;  // all eight page captions side by side
      default:
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
  }

  QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& contents,
                         const QWidget* widget) const override
  {
    QSize size = QProxyStyle::sizeFromContents(type, option, contents, widget);
    // One line of text and a pixel to spare, without Fusion's focus margin.
    if (type == CT_RadioButton || type == CT_CheckBox) size.setHeight(std::max(contents.height(), indicator_px) + 1);
    return size;
  }

  QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                       const QWidget* widget) const override
  {
    QRect rect = QProxyStyle::subControlRect(control, option, sub, widget);
    // The items start right under the caption.
    if (control == CC_GroupBox && sub == SC_GroupBoxContents && option != nullptr) {
      rect.setTop(std::min(rect.top(), option->rect.top() + option->fontMetrics.height() + 2));
    }
    return rect;
  }
};

}  // namespace

QFont font_of_pixel_size(int pixels)
{
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixels);
  return font;
}

QFont controls_font()
{
  return font_of_pixel_size(controls_pixel_size);
}

void apply_window_style(QApplication& application)
{
  QApplication::setStyle(new tcompact_style);  // the application owns its style
  application.setFont(controls_font());
}
