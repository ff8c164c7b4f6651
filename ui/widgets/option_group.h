// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// An option group: a framed caption over a column of radio buttons, of which
// at most one is selected. The item index is −1 when none is. Setting an
// index clamps it (beyond the last item selects the last, below −1 gives
// −1), and `click` is emitted whenever another item becomes selected, by
// the operator or by program, and only then: choosing the selected item
// again, setting the index it already has, or clearing the selection (−1)
// emits nothing.
//
// The items are a property, so that a form can set them. Window's thread.

#include <QGroupBox>
#include <QStringList>

#include <vector>

class QRadioButton;
class QVBoxLayout;

class toption_group : public QGroupBox {
  Q_OBJECT
  Q_PROPERTY(QStringList items READ items WRITE set_items)
  Q_PROPERTY(int item_index READ item_index WRITE set_item_index)

public:
  explicit toption_group(QWidget* parent = nullptr);

  QStringList items() const { return items_; }
  // Replaces the items; the selection becomes −1 (without a click).
  void set_items(const QStringList& items);

  int item_index() const { return index_; }
  void set_item_index(int index);

  int item_count() const { return static_cast<int>(items_.size()); }
  // The radio button of an item, for tests and accessibility.
  QRadioButton* item_button(int index) const;

signals:
  // The item index changed.
  void click();

private:
  void add_button();
  void select(int index);

  QStringList items_;
  std::vector<QRadioButton*> buttons_;  // owned by the group's layout
  QVBoxLayout* layout_ = nullptr;
  int index_ = -1;
};
