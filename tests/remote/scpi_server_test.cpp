// The remote control over real sockets on the simulated set-up's virtual
// clock: a lab script's session read against the exact impedance, fifty
// clients at once, and what a hostile network sends.

#include "remote/engine_instrument.h"
#include "remote/scpi_server.h"
#include "support/simulated_meter.h"
#include "support/tcp_client.h"

#include <gtest/gtest.h>

#include <charconv>
#include <sstream>

namespace {

using quarvel_test::tclient;

class ScpiServer : public quarvel_test::simulated_meter {
protected:
  // At "FT Faktor" and "Mittelwert" 1, so that a sweep takes seconds of
  // stream time; the simulated set-up is exact at the test frequencies.
  void start(const std::string& network)
  {
    quarvel_cli::tmeter_options options = precise_options();
    options.ft_factor = 1;
    options.avg_count = 1;
    open(options);
    place_device(network);
    instrument = std::make_unique<scpi::tengine_instrument>(true, directory.path() + "/Quarvel.cal");
    server = std::make_unique<scpi::tscpi_server>(*instrument, "127.0.0.1", 0);
  }
  void TearDown() override
  {
    server.reset();
    simulated_meter::TearDown();
  }

  // One turn: 10 ms of stream time and the server's work.
  void turn()
  {
    run_seconds(0.01);
    server->service(0);
  }

  // The reply lines that `client` has received after up to `seconds` of
  // stream time, once `lines` have come.
  std::string replies(tclient& client, std::size_t lines, double seconds = 10.0)
  {
    std::string text;
    for (int t = 0; t < seconds * 100 && static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) < lines;
         ++t) {
      turn();
      text += client.receive();
    }
    return text;
  }

  static std::vector<double> numbers(const std::string& line)
  {
    std::vector<double> values;
    std::istringstream fields(line);
    std::string field;
    while (std::getline(fields, field, ',')) {
      double value = 0.0;
      std::from_chars(field.data(), field.data() + field.size(), value);
      values.push_back(value);
    }
    return values;
  }

  std::unique_ptr<scpi::tengine_instrument> instrument;
  std::unique_ptr<scpi::tscpi_server> server;
};

// A script sets frequency, function and reference and reads Cs and Rs of
// 1 µF with 2 Ω at 2 kHz, as a benchtop meter gives them.
TEST_F(ScpiServer, AScriptSetsTheMeterAndReadsTheExactImpedance)
{
  start("C=1u + R=2");
  tclient client(server->port());
  ASSERT_TRUE(client.send("*IDN?\n:FREQ 2000;:FUNC:IMP CSRS;:RREF 100\n:FETC?\n:FETC:DEV?;SYST:ERR?\n"));
  const std::string text = replies(client, 4);
  std::istringstream lines(text);
  std::string idn, fetch, deviation, error;
  std::getline(lines, idn);
  std::getline(lines, fetch);
  std::getline(lines, deviation);
  std::getline(lines, error);
  EXPECT_EQ(idn.rfind("Quarvel,Quarvel LCR meter,0,", 0), 0u) << text;
  EXPECT_EQ(lcr::settings.freq_index.load(), 4);
  EXPECT_EQ(lcr::settings.ref_index.load(), 1);
  const auto values = numbers(fetch);
  ASSERT_EQ(values.size(), 3u) << text;
  EXPECT_NEAR(values[0], 1e-6, 1e-6 * 1e-4) << text;  // Cs first
  EXPECT_NEAR(values[1], 2.0, 2.0 * 1e-3) << text;
  EXPECT_EQ(values[2], 0.0);  // normal signal
  EXPECT_EQ(numbers(deviation).size(), 2u) << text;
  EXPECT_EQ(error, "0,\"No error\"");
}

// Fifty scripts at once each get their own answers.
TEST_F(ScpiServer, FiftyClientsAtOnce)
{
  start("R=1k");
  std::vector<std::unique_ptr<tclient>> clients;
  for (int i = 0; i < 50; ++i) clients.push_back(std::make_unique<tclient>(server->port()));
  turn();
  for (auto& client : clients) ASSERT_TRUE(client->send(":RREF 1000;:FUNC:IMP RX\n:FETC?;*OPC?\n"));
  std::vector<std::string> texts(clients.size());
  for (int t = 0; t < 1000; ++t) {
    turn();
    bool all = true;
    for (std::size_t i = 0; i < clients.size(); ++i) {
      texts[i] += clients[i]->receive();
      all = all && std::count(texts[i].begin(), texts[i].end(), '\n') >= 2;
    }
    if (all) break;
  }
  EXPECT_EQ(server->client_count(), 50u);
  for (const std::string& text : texts) {
    const auto values = numbers(text.substr(0, text.find('\n')));
    ASSERT_EQ(values.size(), 3u) << text;
    EXPECT_NEAR(values[0], 1000.0, 0.1);
    EXPECT_EQ(text.substr(text.find('\n') + 1), "1\n");
  }
  clients.clear();
  for (int t = 0; t < 5; ++t) turn();
  EXPECT_EQ(server->client_count(), 0u);
}

// Overlong lines, binary garbage, half lines, a client that never reads
// and one that leaves mid-reply: each is answered with an error or
// dropped; the others go on.
TEST_F(ScpiServer, WhatAHostileNetworkSendsHurtsNoOne)
{
  start("R=1k");
  tclient overlong(server->port());
  tclient garbage(server->port());
  tclient half(server->port());
  tclient deaf(server->port());
  tclient good(server->port());
  turn();

  ASSERT_TRUE(overlong.send(std::string(10000, 'A')));
  turn();
  ASSERT_TRUE(overlong.send("\n*IDN?;SYST:ERR?\n"));
  std::string binary(3000, '\0');
  for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>((i * 131 + 7) % 256);
  ASSERT_TRUE(garbage.send(binary + "\nSYST:ERR?\n"));
  ASSERT_TRUE(half.send(":FREQ 10"));  // the rest comes later

  // Replies pile up for a client that never reads, until it is dropped.
  std::string flood;
  for (int i = 0; i < 40; ++i) flood += "*IDN?;*IDN?;*IDN?;*IDN?;*IDN?;*IDN?;*IDN?;*IDN?\n";
  for (int i = 0; i < 5000 && server->client_count() == 5; ++i) {
    deaf.send(flood);
    turn();
  }
  EXPECT_EQ(server->client_count(), 4u);

  const std::string overlong_text = replies(overlong, 2);
  EXPECT_EQ(overlong_text.rfind("Quarvel,", 0), 0u) << overlong_text;
  EXPECT_NE(overlong_text.find("\n-102,\"Syntax error\"\n"), std::string::npos) << overlong_text;
  EXPECT_EQ(replies(garbage, 1), "-102,\"Syntax error\"\n");
  ASSERT_TRUE(half.send("00\n:FREQ?\n"));
  EXPECT_EQ(replies(half, 1), "1000\n");

  // One that leaves in the middle of a sweep is dropped when it ends.
  {
    tclient leaving(server->port());
    turn();
    ASSERT_TRUE(leaving.send(":SWE?\n"));
    turn();
  }
  EXPECT_EQ(server->client_count(), 5u);
  for (int t = 0; t < 6000 && server->client_count() > 4; ++t) turn();
  EXPECT_EQ(server->client_count(), 4u);
  ASSERT_TRUE(good.send("*IDN?\n:FETC?\n"));
  const std::string text = replies(good, 2);
  EXPECT_EQ(text.rfind("Quarvel,", 0), 0u) << text;
  EXPECT_EQ(numbers(text.substr(text.find('\n') + 1)).size(), 3u) << text;
}

// "echo ... | nc -N": the client sends its lines and closes its side; it
// still gets every reply, also to a last line without its line end.
TEST_F(ScpiServer, AClientThatHasSentEverythingGetsItsReplies)
{
  start("R=1k");
  tclient client(server->port());
  ASSERT_TRUE(client.send(":RREF 1000\n:FETC?\n*IDN?"));
  client.finish_sending();
  const std::string text = replies(client, 2);
  EXPECT_EQ(numbers(text.substr(0, text.find('\n'))).size(), 3u) << text;
  EXPECT_NE(text.find("\nQuarvel,"), std::string::npos) << text;
  for (int t = 0; t < 10 && server->client_count() > 0; ++t) turn();
  EXPECT_EQ(server->client_count(), 0u);
}

}  // namespace
