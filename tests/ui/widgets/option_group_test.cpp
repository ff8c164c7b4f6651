// SPDX-License-Identifier: GPL-3.0-or-later
// The option group that every "R ref", "Frequenz", … group is: the item
// index with −1 for none, clamping, and a click only on a change.

#include "ui/widgets/option_group.h"

#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class OptionGroup : public ::testing::Test {
protected:
  void SetUp() override
  {
    group.set_items({"10", "100", "1 k", "10 k", "100 k", "1 M"});
    group.resize(60, 140);
    group.show();
    QObject::connect(&group, &toption_group::click, [this] {
      ++clicks;
      index_at_click = group.item_index();
    });
  }

  int checked_buttons() const
  {
    int checked = 0;
    for (int i = 0; i < group.item_count(); ++i) checked += group.item_button(i)->isChecked() ? 1 : 0;
    return checked;
  }

  toption_group group;
  int clicks = 0;
  int index_at_click = -99;
};

TEST_F(OptionGroup, StartsWithoutSelectionAndClampsWhatItIsGiven)
{
  EXPECT_EQ(group.item_index(), -1);
  EXPECT_EQ(checked_buttons(), 0);
  const struct {
    int given;
    int selected;
  } cases[] = {{3, 3}, {9, 5}, {5, 5}, {-5, -1}, {-1, -1}, {0, 0}, {6, 5}};
  for (const auto& c : cases) {
    group.set_item_index(c.given);
    EXPECT_EQ(group.item_index(), c.selected) << "given " << c.given;
    EXPECT_EQ(checked_buttons(), c.selected < 0 ? 0 : 1) << "given " << c.given;
    if (c.selected >= 0) {
      EXPECT_TRUE(group.item_button(c.selected)->isChecked());
    }
  }
}

TEST_F(OptionGroup, ClicksOnlyWhenAnotherItemIsSelected)
{
  group.set_item_index(2);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(index_at_click, 2);  // the new index is there when the handler runs
  group.set_item_index(2);
  EXPECT_EQ(clicks, 1);
  group.set_item_index(99);  // clamped to 5: a change
  EXPECT_EQ(clicks, 2);
  group.set_item_index(7);  // clamped to 5 again: none
  EXPECT_EQ(clicks, 2);
  group.set_item_index(-5);  // cleared: no item chosen, nothing runs
  EXPECT_EQ(group.item_index(), -1);
  EXPECT_EQ(clicks, 2);
  group.set_item_index(0);
  EXPECT_EQ(clicks, 3);
}

TEST_F(OptionGroup, TheOperatorsClicksSelectAndTheSelectedItemStays)
{
  group.set_item_index(1);
  clicks = 0;
  QTest::mouseClick(group.item_button(4), Qt::LeftButton);
  EXPECT_EQ(group.item_index(), 4);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(checked_buttons(), 1);
  // Clicking the selected item again keeps it and runs nothing.
  QTest::mouseClick(group.item_button(4), Qt::LeftButton);
  EXPECT_EQ(group.item_index(), 4);
  EXPECT_TRUE(group.item_button(4)->isChecked());
  EXPECT_EQ(clicks, 1);
}

TEST_F(OptionGroup, NewItemsReplaceTheOldAndClearTheSelection)
{
  group.set_item_index(5);
  group.set_items({"1", "4", "16"});
  EXPECT_EQ(group.item_count(), 3);
  EXPECT_EQ(group.item_index(), -1);
  EXPECT_EQ(group.item_button(2)->text(), "16");
  EXPECT_EQ(group.item_button(3), nullptr);
  group.set_item_index(8);
  EXPECT_EQ(group.item_index(), 2);
  EXPECT_EQ(checked_buttons(), 1);
}

}  // namespace
