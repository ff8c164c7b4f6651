// SPDX-License-Identifier: GPL-3.0-or-later
// The window under remote control: a script's settings show in the
// measurement page's controls as if the operator had clicked them, it reads
// what the window measures, and a port that is taken is said, not ignored.

#include "support/tcp_client.h"
#include "support/window_fixture.h"

#include "ui/window/remote_control.h"

#include <QCheckBox>
#include <QRadioButton>

#include <gtest/gtest.h>

#include <charconv>
#include <sstream>

namespace {

class RemoteControl : public quarvel_test::window_fixture {
protected:
  // Runs the stream and the window until `lines` replies have come.
  std::string replies(quarvel_test::tclient& client, std::size_t lines)
  {
    std::string text;
    for (int tick = 0; tick < 100 && static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) < lines;
         ++tick) {
      advance(0.1);
      QTest::qWait(12);  // the server's own timer
      text += client.receive();
    }
    return text;
  }
};

TEST_F(RemoteControl, AScriptSetsTheControlsAndReadsTheWindowsMeasurement)
{
  start_window("C=1u + R=2");
  use_virtual_clock();
  ASSERT_EQ(window->remote_control().enable(true, 0), "");
  quarvel_test::tclient client(window->remote_control().port());
  QTest::qWait(12);
  ASSERT_TRUE(client.send(":FREQ 2000;:FUNC:IMP CSRS;:RREF 100;:APER 4,4\n:FETC?\n"));
  const std::string text = replies(client, 1);
  EXPECT_EQ(option_group("RadioGroup3")->item_index(), 4);
  EXPECT_EQ(option_group("RadioGroup1")->item_index(), 1);
  EXPECT_EQ(option_group("RadioGroup5")->item_index(), 1);
  EXPECT_EQ(option_group("RadioGroup6")->item_index(), 1);
  EXPECT_TRUE(button("RadioButton_meas6")->isChecked());
  EXPECT_EQ(lcr::displayed_quantities().second.quantity, "C");  // the mode button's handler ran
  std::vector<double> values;
  std::istringstream fields(text);
  for (std::string field; std::getline(fields, field, ',');) {
    double value = 0.0;
    std::from_chars(field.data(), field.data() + field.size(), value);
    values.push_back(value);
  }
  ASSERT_EQ(values.size(), 3u) << text;
  EXPECT_NEAR(values[0], 1e-6, 1e-9) << text;  // Cs, then Rs
  EXPECT_NEAR(values[1], 2.0, 0.05) << text;  // 2 Ω of 80 Ω at "Pegel" 0.10

  // The operator's own click is what the script reads back.
  click_item("RadioGroup3", 3);
  ASSERT_TRUE(client.send(":FREQ?\n"));
  EXPECT_EQ(replies(client, 1), "1000\n");
  EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(RemoteControl, APortThatIsTakenIsSaidAndTheBoxGoesOff)
{
  start_window("R=1k");
  // Port 5025 held here (or by another program already): either way taken.
  const int holder = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(5025);
  ::inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
  ::bind(holder, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  ::listen(holder, 1);
  auto* box = window->findChild<QCheckBox*>("CheckBox6");
  click(box);
  ::close(holder);
  EXPECT_FALSE(box->isChecked());
  EXPECT_FALSE(window->remote_control().enabled());
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors[0].startsWith("Fernsteuerung: cannot listen on 127.0.0.1 port 5025")) << errors[0].toStdString();
}

}  // namespace
