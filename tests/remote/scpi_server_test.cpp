// SPDX-License-Identifier: GPL-3.0-or-later
// The remote control over real sockets on the simulated set-up's virtual
// clock: a lab script's session read against the exact impedance, fifty
// clients at once, and what a hostile network sends.

#include "engine/core/settings.h"
#include "engine/measurement/measurement_cycle.h"
#include "remote/engine_instrument.h"
#include "remote/scpi_server.h"
#include "support/simulated_meter.h"
#include "support/tcp_client.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <complex>
#include <map>
#include <iostream>
#include <sstream>
#include <thread>

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
  // The same with a server whose idle time is told by the test's clock.
  void start_with_clock(const std::string& network, int idle_seconds)
  {
    start(network);
    scpi::tserver_limits limits;
    limits.client_limit = 2;
    limits.idle_timeout = std::chrono::seconds(idle_seconds);
    server = std::make_unique<scpi::tscpi_server>(*instrument, "127.0.0.1", 0, limits, [this] { return now; });
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
  const std::chrono::steady_clock::time_point start_time{};
  std::chrono::steady_clock::time_point now = start_time;
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

// The exact values of 1 µF in series with 2 Ω for each benchtop function,
// from the textbook formulas rather than the meter's own.
std::pair<double, double> exact_values(const std::string& function, double frequency_hz)
{
  const double omega = 2.0 * lcr::pi * frequency_hz;
  const std::complex<double> z(2.0, -1.0 / (omega * 1e-6));
  const std::complex<double> y = 1.0 / z;
  const double rs = z.real(), xs = z.imag(), g = y.real(), b = y.imag();
  const double rp = 1.0 / g, cp = b / omega, lp = -1.0 / (omega * b);
  const double cs = -1.0 / (omega * xs), ls = xs / omega, d = rs / std::fabs(xs), q = std::fabs(xs) / rs;
  const double theta = std::atan2(xs, rs);
  const std::map<std::string, std::pair<double, double>> values{
      {"CPD", {cp, d}},   {"CPQ", {cp, q}},   {"CPG", {cp, g}},   {"CPRP", {cp, rp}}, {"CSD", {cs, d}},
      {"CSQ", {cs, q}},   {"CSRS", {cs, rs}}, {"LPD", {lp, d}},   {"LPQ", {lp, q}},   {"LPG", {lp, g}},
      {"LPRP", {lp, rp}}, {"LSD", {ls, d}},   {"LSQ", {ls, q}},   {"LSRS", {ls, rs}}, {"RX", {rs, xs}},
      {"ZTD", {std::abs(z), theta * 180.0 / lcr::pi}}, {"ZTR", {std::abs(z), theta}},
      {"GB", {g, b}},     {"YTD", {std::abs(y), -theta * 180.0 / lcr::pi}}, {"YTR", {std::abs(y), -theta}},
  };
  return values.at(function);
}

// Each of the twenty benchtop functions against the exact impedance at two
// frequencies: both values within the deviation the meter gives them, about
// 95 % within their statistical uncertainty (on the quiet set-up that is
// the inputs' rounding, which no scatter shows), and the window showing the
// mode nearest to the function.
TEST_F(ScpiServer, TheTwentyBenchtopFunctionsReadTheExactNetwork)
{
  start("C=1u + R=2");
  tclient client(server->port());
  int within_uncertainty = 0;
  int values_counted = 0;
  const std::map<std::string, int> window_modes{{"CPD", 7}, {"CSD", 11}, {"CSQ", 10}, {"LPG", 9}, {"LSD", 13},
                                                {"ZTR", 0}, {"GB", 4},   {"YTR", 1}};
  for (const double hz : {1000.0, 10000.0}) {
    ASSERT_TRUE(client.send(":FUNC:IMP:RANG:AUTO ON;:FREQ " + std::to_string(static_cast<int>(hz)) + "HZ\n"));
    for (const std::string function : {"CPD", "CPQ", "CPG", "CPRP", "CSD", "CSQ", "CSRS", "LPD", "LPQ", "LPG",
                                       "LPRP", "LSD", "LSQ", "LSRS", "RX", "ZTD", "ZTR", "GB", "YTD", "YTR"}) {
      ASSERT_TRUE(client.send(":FUNC:IMP " + function + ";:FETC?;:FETC:DEV?;:FETC:UNC?;:FUNC:IMP?\n"));
      std::istringstream lines(replies(client, 4));
      std::string fetch, deviation, uncertainty, name;
      std::getline(lines, fetch);
      std::getline(lines, deviation);
      std::getline(lines, uncertainty);
      std::getline(lines, name);
      EXPECT_EQ(name, function);
      const auto values = numbers(fetch);
      const auto deviations = numbers(deviation);
      ASSERT_EQ(values.size(), 3u) << function << " " << fetch;
      ASSERT_EQ(deviations.size(), 2u) << function << " " << deviation;
      const auto [a, b] = exact_values(function, hz);
      EXPECT_NEAR(values[0], a, deviations[0]) << function << " at " << hz << " Hz";
      EXPECT_NEAR(values[1], b, deviations[1]) << function << " at " << hz << " Hz";
      const auto uncertainties = numbers(uncertainty);
      ASSERT_EQ(uncertainties.size(), 2u) << function << " " << uncertainty;
      within_uncertainty += (std::fabs(values[0] - a) <= uncertainties[0]) + (std::fabs(values[1] - b) <= uncertainties[1]);
      values_counted += 2;
      EXPECT_LT(deviations[0], 0.05 * std::fabs(a)) << function;  // a deviation that tells something
      EXPECT_EQ(values[2], 0.0) << function;
      if (window_modes.count(function) > 0) {
        EXPECT_EQ(lcr::displayed_meas_mode(), window_modes.at(function)) << function;
      }
    }
  }
  std::cout << "[ figures  ] " << within_uncertainty << " of " << values_counted
            << " values within :FETC:UNC?\n";
  EXPECT_GE(within_uncertainty, values_counted * 85 / 100);
  ASSERT_TRUE(client.send("SYST:ERR:ALL?\n"));
  EXPECT_EQ(replies(client, 1), "0,\"No error\"\n");
}

// A benchtop script's list sweep: triggered under BUS, polled by bit 3 of
// the operation status, fetched with four values a point; meanwhile a
// second client's setting is refused and every point keeps its frequency.
TEST_F(ScpiServer, AListSweepIsPolledWhileAnotherClientIsRefused)
{
  start("C=1u + R=2");
  tclient script(server->port());
  tclient other(server->port());
  ASSERT_TRUE(script.send(":FUNC:IMP CSRS;:FUNC:IMP:RANG:AUTO ON;:LIST:FREQ 100,1000,10000;:LIST:MODE SEQ;"
                          ":TRIG:SOUR BUS;:INIT:CONT ON;:STAT:OPER?;:TRIG:IMM\n"));
  EXPECT_EQ(replies(script, 1), "0\n");
  ASSERT_TRUE(other.send(":FREQ 200;SYST:ERR?\n"));
  EXPECT_EQ(replies(other, 1), "-221,\"Settings conflict;a sweep is running; settings can change when it has ended\"\n");
  std::string status = "0\n";
  for (int poll = 0; poll < 300 && status == "0\n"; ++poll) {
    ASSERT_TRUE(script.send(":STAT:OPER?\n"));
    status = replies(script, 1);
  }
  EXPECT_EQ(status, "8\n");
  ASSERT_TRUE(script.send(":FETC?;SYST:ERR?\n"));
  std::istringstream lines(replies(script, 2));
  std::string fetch, error;
  std::getline(lines, fetch);
  std::getline(lines, error);
  const auto values = numbers(fetch);
  ASSERT_EQ(values.size(), 12u) << fetch;
  const double frequencies[] = {100.0, 1000.0, 10000.0};
  for (std::size_t point = 0; point < 3; ++point) {
    const auto [cs, rs] = exact_values("CSRS", frequencies[point]);
    EXPECT_NEAR(values[point * 4], cs, cs * 1e-3) << frequencies[point];
    EXPECT_NEAR(values[point * 4 + 1], rs, 0.5) << frequencies[point];
    EXPECT_EQ(values[point * 4 + 2], 0.0);
    EXPECT_EQ(values[point * 4 + 3], 0.0);
  }
  EXPECT_EQ(error, "0,\"No error\"");
  EXPECT_EQ(lcr::settings.freq_index.load(), 3);  // the operator's frequency is back
}

// A client that never finishes a line is closed after the idle time; one
// beyond the limit is told why before it is closed. Time by the server's
// clock, which the test moves.
TEST_F(ScpiServer, IdleClientsAreClosedAndTheOneTooManyIsTold)
{
  start_with_clock("R=1k", 1);
  tclient half(server->port());
  tclient working(server->port());
  turn();
  ASSERT_TRUE(half.send(":FREQ 10"));
  tclient refused(server->port());
  EXPECT_EQ(replies(refused, 1), "Quarvel: all 2 connections are in use; try again later\n");
  EXPECT_EQ(server->client_count(), 2u);
  for (int step = 0; step < 15; ++step) {
    ASSERT_TRUE(working.send("*OPC?\n"));
    EXPECT_EQ(replies(working, 1), "1\n");
    now += std::chrono::milliseconds(100);
  }
  turn();
  EXPECT_EQ(server->client_count(), 1u);  // the half line's client has gone
  tclient next(server->port());
  turn();
  EXPECT_EQ(server->client_count(), 2u);
}

// A query that waits longer than the idle time is no idleness: the client
// waiting a minute and more for its list gets its reply and stays to fetch
// the list; the idle time starts once the reply has gone out.
TEST_F(ScpiServer, AClientWhoseQueryWaitsIsNotIdle)
{
  start_with_clock("C=1u + R=2", 60);
  tclient client(server->port());
  ASSERT_TRUE(client.send(":LIST:FREQ 100,200,500,1000;:TRIG:SOUR BUS;:TRIG;*OPC?\n"));
  std::string text;
  for (int t = 0; t < 3000 && text.empty(); ++t) {
    now += std::chrono::milliseconds(1500);  // far more than the idle time over the list
    turn();
    text += client.receive();
  }
  ASSERT_EQ(text, "1\n");
  EXPECT_GT(now - start_time, std::chrono::seconds(60));
  ASSERT_TRUE(client.send(":FETC?\n"));
  EXPECT_EQ(numbers(replies(client, 1)).size(), 16u);
  now += std::chrono::seconds(59);
  turn();
  EXPECT_EQ(server->client_count(), 1u);
  now += std::chrono::seconds(2);
  turn();
  EXPECT_EQ(server->client_count(), 0u);  // idle from its last reply on
}

// A client that closes its connection while a query waits on its own list
// (*OPC?, *TRG, :FETC?) has left: its list ends at once, and another
// client's settings are taken again instead of refused (-221) until the
// list would have run out.
TEST_F(ScpiServer, AClientThatLeavesWhileItsListRunsEndsIt)
{
  start("C=1u + R=2");
  for (const std::string waiting : {"*OPC?", "*TRG", ":FETC?"}) {
    tclient leaving(server->port());
    tclient other(server->port());
    ASSERT_TRUE(leaving.send(":LIST:FREQ 100,200,500,1000,2000,5000,10000,20000;:TRIG:SOUR BUS;:TRIG;" + waiting +
                             "\n"));
    for (int t = 0; t < 5; ++t) turn();
    ASSERT_TRUE(instrument->sweep_active()) << waiting;
    leaving.finish_sending();
    leaving.close();
    for (int t = 0; t < 5 && server->client_count() > 1; ++t) turn();
    EXPECT_FALSE(instrument->sweep_active()) << waiting;
    ASSERT_TRUE(other.send(":FREQ 2000;:SYST:ERR?\n"));
    EXPECT_EQ(replies(other, 1), "0,\"No error\"\n") << waiting;
    EXPECT_EQ(lcr::settings.freq_index.load(), 4) << waiting;
  }
}

// Under BUS, a setting changed after a finished list makes its result
// stale: :FETC? still answers a line (no values, status -1, as benchtop
// meters do) and the error waits in the queue, so that a reader does not
// time out.
TEST_F(ScpiServer, AFetchOfAStaleListIsAnsweredAndTold)
{
  start("R=1k");
  tclient client(server->port());
  ASSERT_TRUE(client.send(":LIST:FREQ 1000,2000;:TRIG:SOUR BUS;:TRIG;*OPC?\n"));
  EXPECT_EQ(replies(client, 1), "1\n");
  ASSERT_TRUE(client.send(":FREQ 5000;:FETC?;:SYST:ERR?\n"));
  const std::string text = replies(client, 2);
  EXPECT_EQ(text.substr(0, text.find('\n')), "9.91e+37,9.91e+37,-1,0") << text;  // a list's point has its bin
  EXPECT_NE(text.find("-230,"), std::string::npos) << text;
}

}  // namespace
