// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/widgets/option_group.h"

#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

toption_group::toption_group(QWidget* parent) : QGroupBox(parent), layout_(new QVBoxLayout(this))
{
  // Compact rows: the window is small and a group may hold eight items.
  layout_->setContentsMargins(6, 2, 2, 2);
  layout_->setSpacing(0);
  layout_->addStretch(1);
}

void toption_group::set_items(const QStringList& items)
{
  items_ = items;
  index_ = -1;
  while (buttons_.size() < static_cast<std::size_t>(items.size())) add_button();
  for (std::size_t i = 0; i < buttons_.size(); ++i) {
    QRadioButton* button = buttons_[i];
    const bool used = i < static_cast<std::size_t>(items.size());
    button->setText(used ? items[static_cast<qsizetype>(i)] : QString());
    button->setObjectName(objectName() + "_item" + QString::number(i));
    button->setChecked(false);
    button->setVisible(used);  // surplus buttons of a longer list stay hidden
  }
}

void toption_group::add_button()
{
  const int index = static_cast<int>(buttons_.size());
  auto* button = new QRadioButton(this);  // owned by the group
  button->setAutoExclusive(false);        // the group alone decides, so that −1 stays possible
  // A click on the selected item would clear it: it selects it again instead.
  connect(button, &QRadioButton::clicked, this, [this, index] { select(index); });
  layout_->insertWidget(index, button);
  buttons_.push_back(button);
}

void toption_group::set_item_index(int index)
{
  select(std::clamp(index, -1, item_count() - 1));
}

QRadioButton* toption_group::item_button(int index) const
{
  if (index < 0 || index >= item_count()) return nullptr;
  return buttons_[static_cast<std::size_t>(index)];
}

void toption_group::select(int index)
{
  for (int i = 0; i < item_count(); ++i) buttons_[static_cast<std::size_t>(i)]->setChecked(i == index);
  if (index == index_) return;
  index_ = index;
  // Clearing the selection is no choice: nothing runs.
  if (index >= 0) emit click();
}
