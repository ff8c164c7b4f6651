// SPDX-License-Identifier: GPL-3.0-or-later
// The window's tests: one application for all of them, on the offscreen
// platform unless the environment names another (the Xvfb test runs the
// real program instead).

#include "ui/widgets/window_style.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  apply_window_style(application);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
