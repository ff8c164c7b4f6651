// SPDX-License-Identifier: GPL-3.0-or-later
// The command language as a lab script speaks it, against a fake meter:
// long and short forms in any case, several units per line, each error
// number where it belongs, waiting queries that do not block, and a few
// thousand random lines that must not crash the parser or grow its queue.

#include "remote/benchtop_functions.h"
#include "remote/scpi_session.h"

#include "quarvel/version.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <string>

namespace {

class tfake_instrument : public scpi::tinstrument {
public:
  scpi::tinstrument_state state_now;
  bool ready = true;
  bool delivering = true;
  int sweep_ticks_left = 0;
  int resets = 0;
  int settle_requests = 0;
  std::string correction_failure;
  std::string last_correction;
  bool open_state = true;
  int clears = 0;
  std::vector<int> swept;  // the frequencies of the last sweep started
  int cancels = 0;

  scpi::tinstrument_state state() const override { return state_now; }
  void set_frequency_index(int index) override { state_now.freq_index = index; }
  void set_function(int function) override
  {
    state_now.function = function;
    state_now.meas_mode = scpi::benchtop_function(function).window_mode;
  }
  void set_level_index(int index) override { state_now.level_index = index; }
  void set_aperture(int ft, int avg) override
  {
    state_now.ft_index = ft;
    state_now.avg_index = avg;
  }
  void set_ref_index(int index) override
  {
    state_now.ref_index = index;
    state_now.auto_ref = false;
  }
  std::string set_auto_ref(bool on) override
  {
    state_now.auto_ref = on;
    return {};
  }
  void reset() override
  {
    state_now = {};
    ++resets;
  }
  bool reading_ready() override { return ready; }
  scpi::treading reading() const override
  {
    scpi::treading reading{12.5, 1e-6, 0.25, 2e-8, 4};  // clipped: an overload
    reading.first_uncertainty = 0.125;
    reading.second_uncertainty = std::numeric_limits<double>::quiet_NaN();  // not known yet
    reading.unsettled = !ready;
    return reading;
  }
  void request_settling() override { ++settle_requests; }
  bool streaming() const override { return delivering; }
  std::string correct(scpi::tcorrection step, double rp_ohm, double cp_ff) override
  {
    last_correction = std::to_string(static_cast<int>(step)) + " " + std::to_string(rp_ohm) + " " + std::to_string(cp_ff);
    return correction_failure;
  }
  void set_correction_state(scpi::tcorrection table, bool on) override
  {
    if (table == scpi::tcorrection::open) open_state = on;
  }
  bool correction_state(scpi::tcorrection table) const override
  {
    return table == scpi::tcorrection::open ? open_state : true;
  }
  void clear_corrections() override
  {
    open_state = true;
    ++clears;
  }
  std::string save_corrections() override { return "Quarvel.cal: E/A-Fehler 13"; }
  bool start_sweep(const std::vector<int>& freq_indices) override
  {
    if (sweep_ticks_left > 0) return false;
    sweep_ticks_left = 3;
    swept = freq_indices;
    return true;
  }
  bool sweep_running() override { return sweep_ticks_left > 0 && --sweep_ticks_left > 0; }
  bool sweep_active() const override { return sweep_ticks_left > 0; }
  void cancel_sweep() override
  {
    sweep_ticks_left = 0;
    ++cancels;
  }
  // One point per frequency swept, all with the same reading.
  std::vector<scpi::tsweep_point> sweep_result() const override
  {
    std::vector<scpi::tsweep_point> points;
    for (const int f : swept) points.push_back({lcr::test_frequencies[static_cast<std::size_t>(f)] * 1.0, reading()});
    return points;
  }
};

class ScpiSession : public ::testing::Test {
protected:
  std::string send(const std::string& line)
  {
    session.receive_line(line);
    return session.run();
  }
  std::string next_error() { return send("SYST:ERR?"); }

  tfake_instrument meter;
  scpi::tscpi_session session{meter};
};

TEST_F(ScpiSession, LongAndShortFormsInAnyCaseAndSeveralUnitsPerLine)
{
  EXPECT_EQ(send("*IDN?"), std::string("Quarvel,Quarvel LCR meter,0,") + quarvel::version_text + "\n");
  EXPECT_EQ(send(":FREQuency:CW 200;:freq?;FREQUENCY?"), "200\n200\n");
  EXPECT_EQ(meter.state_now.freq_index, 1);
  EXPECT_EQ(send("freq 2E4 ; :FREQ:CW?"), "20000\n");
  EXPECT_EQ(send(":FUNC:IMP:TYPE cprp;:FUNCtion:IMPedance?"), "CPRP\n");
  EXPECT_EQ(meter.state_now.meas_mode, 7);
  EXPECT_EQ(send(":VOLT 0.5;:VOLTage:LEVel?"), "0.5\n");
  EXPECT_EQ(meter.state_now.level_index, 5);
  EXPECT_EQ(send(":APER 16,4;:APER?"), "LONG,4\n");
  EXPECT_EQ(send(":RREF 1E5;:RREF?;:RREF:AUTO ON;:RREF:AUTO?"), "100000\n1\n");
  EXPECT_EQ(send(":RREF 10;:RREF:AUTO?"), "0\n");  // a chosen reference ends the automatic one
  EXPECT_EQ(next_error(), "0,\"No error\"\n");
  EXPECT_EQ(send("*RST;*OPC?"), "1\n");
  EXPECT_EQ(meter.resets, 1);
}

TEST_F(ScpiSession, FetchAnswersTheReadingWithItsStatusAndFigures)
{
  EXPECT_EQ(send(":FUNC:IMP RX;:FETC?"), "12.5,1e-06,1\n");  // status 1: overload
  EXPECT_EQ(send(":FETC:DEV?"), "0.25,2e-08\n");
  EXPECT_EQ(send(":FETC:UNC?"), "0.125,9.91e+37\n");  // an uncertainty not known yet is SCPI's NaN
  EXPECT_EQ(send(":FUNC:IMP LSQ;:FUNC:IMP?"), "LSQ\n");
  EXPECT_EQ(meter.state_now.meas_mode, 12);
  EXPECT_EQ(send(":SWE?"), "");  // the sweep runs on
  EXPECT_EQ(session.run(), "");
  EXPECT_EQ(session.run().substr(0, 22), "100,12.5,1e-06,1,200,1");
  EXPECT_EQ(meter.swept.size(), 8u);
}

TEST_F(ScpiSession, EveryErrorNumberWhereItBelongs)
{
  const struct {
    const char* line;
    const char* error;
  } cases[] = {
      {":FREQ 1234", "-222,\"Data out of range;100,200,500,1000,2000,5000,10000,20000\""},
      {":FREQ abc", "-222,\"Data out of range;not a number\""},
      {":RREF 47", "-222,\"Data out of range;10,100,1000,10000,100000,1000000\""},
      {":FUNC:IMP XYZ", "-222,\"Data out of range;CPD,CPQ,CPG,CPRP,CSD,CSQ,CSRS,LPD,LPQ,LPG,LPRP,LSD,LSQ,LSRS,RX,"
                        "ZTD,ZTR,GB,YTD,YTR,RPXP,GPBP,GSBS,QC,DL\""},
      {":APER 2", "-222,\"Data out of range;SHORt|MEDium|LONG[,1…256] or 1|4|16[,1|4|16]\""},
      {":APER MED,300", "-222,\"Data out of range;SHORt|MEDium|LONG[,1…256] or 1|4|16[,1|4|16]\""},
      {":FREQ 1KV", "-131,\"Invalid suffix;the unit is HZ\""},
      {":FREQ 1QHZ", "-131,\"Invalid suffix;the unit is HZ\""},
      {":VOLT 0", "-222,\"Data out of range;a level above 0 V; 0.01,0.02,0.05,0.1,0.2,0.5,1 (1 V is full scale)\""},
      {":LIST:FREQ 100,123", "-222,\"Data out of range;'123'; the list takes 100,200,500,1000,2000,5000,10000,20000\""},
      {":LIST:MODE FAST", "-222,\"Data out of range;SEQuence,STEP\""},
      {":TRIG:SOUR EXT", "-221,\"Settings conflict;there is no trigger input; INTernal, BUS or HOLD\""},
      {":FORM REAL,64", "-221,\"Settings conflict;answers are ASCii only\""},
      {":STAT:OPER 8", "-113,\"Undefined header;a query only\""},
      {":INIT?", "-113,\"Undefined header;a command only\""},
      {"SYST:ERR? 1", "-108,\"Parameter not allowed\""},
      {":FETC? 1", "-108,\"Parameter not allowed\""},
      {":FOO:BAR", "-113,\"Undefined header\""},
      {"*XYZ", "-113,\"Undefined header\""},
      {":FETC", "-113,\"Undefined header;a query only\""},
      {":FREQ 1000 2000", "-131,\"Invalid suffix;the unit is HZ\""},
      {":FREQ", "-109,\"Missing parameter\""},
      {":FREQ 100,200", "-108,\"Parameter not allowed\""},
      {"*IDN? 5", "-108,\"Parameter not allowed\""},
      {":FREQ 100,,", "-102,\"Syntax error\""},
      {"FREQ?:CW", "-102,\"Syntax error\""},
      {"\x01\xff:FREQ", "-102,\"Syntax error\""},
      {":CORR:SAVE", "-200,\"Execution error;Quarvel.cal: E/A-Fehler 13\""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(send(c.line), "") << c.line;
    EXPECT_EQ(next_error(), std::string(c.error) + "\n") << c.line;
  }
  EXPECT_EQ(next_error(), "0,\"No error\"\n");

  // The queue keeps its first errors and says that more were lost.
  send("*CLS");
  for (int i = 0; i < 40; ++i) send(":NOPE");
  EXPECT_EQ(send("*STB?"), "36\n");  // error queue not empty, event status set
  EXPECT_EQ(send("*ESR?"), "32\n");  // command error
  EXPECT_EQ(send("*ESR?"), "0\n");
  std::string last;
  for (std::size_t i = 0; i < scpi::error_queue_capacity; ++i) last = next_error();
  EXPECT_EQ(last, "-350,\"Queue overflow\"\n");
  EXPECT_EQ(next_error(), "0,\"No error\"\n");
  send(":NOPE;*CLS");
  EXPECT_EQ(next_error(), "0,\"No error\"\n");
}

// A query that needs a settled reading waits, and the later units of its
// line wait behind it; a device that stops ends the wait with an error.
TEST_F(ScpiSession, WaitingQueriesDoNotBlockAndEndWhenTheInputStops)
{
  meter.ready = false;
  EXPECT_EQ(send(":FREQ 500;:FETC?;*OPC?"), "");
  EXPECT_TRUE(session.busy());
  EXPECT_EQ(meter.state_now.freq_index, 2);
  meter.ready = true;
  EXPECT_EQ(session.run(), "12.5,1e-06,1\n1\n");
  EXPECT_FALSE(session.busy());

  // A correction measures anew: it asks for a reading recorded after it.
  meter.ready = false;
  EXPECT_EQ(send(":CORR:LOAD 1000,200"), "");
  EXPECT_EQ(session.run(), "");
  EXPECT_EQ(meter.settle_requests, 1);
  meter.ready = true;
  meter.correction_failure = "kein Leerlauf-Verhältnis";
  EXPECT_EQ(session.run(), "");
  EXPECT_EQ(meter.last_correction, "2 1000.000000 200.000000");
  EXPECT_EQ(next_error(), "-200,\"Execution error;kein Leerlauf-Verhältnis\"\n");

  // A query is always answered: with no settled reading, the latest one
  // with status −1 and the reason in the error queue.
  meter.ready = false;
  meter.delivering = false;
  EXPECT_EQ(send(":FETC?;*OPC?"), "12.5,1e-06,-1\n1\n");
  EXPECT_EQ(next_error(), "-200,\"Execution error;no signal from the sound input\"\n");
  meter.delivering = true;
  send(":FETC?");
  EXPECT_EQ(session.run(std::chrono::steady_clock::now() + scpi::longest_wait), "12.5,1e-06,-1\n");
  EXPECT_EQ(next_error(), "-200,\"Execution error;no settled reading in time\"\n");
  EXPECT_EQ(meter.settle_requests, 1);  // fetching does not ask for one
}

// Random bytes and random command-like lines: no crash, no reply to what
// is not a query, a bounded error queue, and the session still answers.
TEST_F(ScpiSession, RandomLinesNeitherCrashNorGrowTheQueue)
{
  std::mt19937 random(20261209);
  const std::string pieces[] = {":",    "FREQ", "freq", "?",  ";",   " ",      ",",     "1E3", "*IDN",
                                "*RST", "CW",   "FUNC", "IMP", "CSD", "RREF",  "AUTO",  "ON",  "\t",
                                "[",    "]",    "-5",   "1e999", "FETC", "SWE", "CORR", "OPEN", "\"x\""};
  for (int line_number = 0; line_number < 4000; ++line_number) {
    std::string line;
    const int length = static_cast<int>(random() % 12);
    for (int i = 0; i < length; ++i) {
      if (random() % 4 == 0) {
        line += static_cast<char>(random() % 256);
      } else {
        line += pieces[random() % std::size(pieces)];
      }
    }
    session.receive_line(line);
    session.run();
    if (session.busy()) {  // a sweep: let it end
      meter.sweep_ticks_left = 0;
      session.run();
    }
    EXPECT_LE(session.error_count(), scpi::error_queue_capacity);
  }
  while (session.busy()) session.run();
  send("*CLS;*RST");
  EXPECT_EQ(send("*IDN?;:FREQ?"), std::string("Quarvel,Quarvel LCR meter,0,") + quarvel::version_text + "\n1000\n");
}

// What lab scripts write besides the plain forms: a header after ';' that
// continues the previous path, units and multipliers, the range's names.
TEST_F(ScpiSession, RelativeHeadersUnitsAndTheRangesNames)
{
  EXPECT_EQ(send(":FREQ:CW 2000;CW?"), "2000\n");
  EXPECT_EQ(send(":FUNC:IMP CPD;FREQ 5KHZ;:FREQ?"), "5000\n");  // FREQ from the root where FUNC:FREQ is none
  EXPECT_EQ(send(":FREQ 1E2HZ;:FREQ?;:FREQ MAX;:FREQ?;:FREQ DEF;:FREQ?;:FREQ min;:FREQ?"), "100\n20000\n1000\n100\n");
  EXPECT_EQ(send(":FREQ 0.02 MHZ;:FREQ?"), "20000\n");  // MHZ is mega, as lab tools mean it
  EXPECT_EQ(send(":VOLT 100MV;:VOLT?;:VOLT 1V;:VOLT?;:VOLT 0.3;:VOLT?;:VOLT 7;:VOLT?"), "0.1\n1\n0.2\n1\n");
  EXPECT_EQ(send(":FUNC:IMP:RANG 1KOHM;:RREF?;:RREF 1MOHM;:FUNC:IMP:RANG?"), "1000\n1000000\n");
  EXPECT_EQ(send(":APER SHOR;:APER?;:APER LONG,10;:APER?;:APERture medium,1;:APER?"), "SHOR,1\nLONG,16\nMED,1\n");
  EXPECT_EQ(send(":FUNC:IMP:RANG:AUTO ON;:RREF:AUTO?;:RREF:AUTO OFF;:FUNC:IMP:RANG:AUTO?"), "1\n0\n");
  EXPECT_EQ(send(":FORM ASC;:FORM:DATA?;:DISP:PAGE list;:DISP:PAGE?;:INIT;:INIT:CONT OFF;:INIT:CONT?"),
            "ASC\nLIST\n0\n");
  EXPECT_EQ(send("*TST?;*OPT?;SYST:ERR:COUN?;SYST:ERR:ALL?"), "0\n0\n0\n0,\"No error\"\n");
  meter.delivering = false;
  EXPECT_EQ(send("*TST?"), "1\n");  // no sound stream: the self-test fails
  send(":NOPE;:FREQ 7");
  EXPECT_EQ(send("SYST:ERR:COUN?;SYST:ERR:ALL?;SYST:ERR:COUN?"),
            "2\n-113,\"Undefined header\",-222,\"Data out of range;100,200,500,1000,2000,5000,10000,20000\"\n0\n");
}

// The trigger system: under BUS a fetch answers only what a trigger took,
// and *TRG takes a reading recorded after it and answers it.
TEST_F(ScpiSession, TriggeredReadingsUnderBus)
{
  EXPECT_EQ(send(":TRIG:SOUR BUS;:TRIG:SOUR?"), "BUS\n");
  // Nothing triggered yet: a line all the same, no values and the status
  // of no settled reading, so that a reader is not left waiting.
  EXPECT_EQ(send(":FETC?"), "9.91e+37,9.91e+37,-1\n");
  EXPECT_EQ(send(":FETC:DEV?"), "9.91e+37,9.91e+37\n");
  EXPECT_EQ(next_error().substr(0, 5), "-230,");
  EXPECT_EQ(next_error(), "-230,\"Data stale;no reading was triggered since the settings last changed\"\n");
  meter.ready = false;
  EXPECT_EQ(send("*TRG"), "");
  EXPECT_EQ(meter.settle_requests, 1);
  EXPECT_TRUE(session.busy());
  meter.ready = true;
  EXPECT_EQ(session.run(), "12.5,1e-06,1\n");
  EXPECT_EQ(send(":FETC?;:FETC:DEV?"), "12.5,1e-06,1\n0.25,2e-08\n");
  send(":FREQ 200");  // the settings changed: the triggered reading no longer counts
  EXPECT_EQ(send(":FETC?"), "9.91e+37,9.91e+37,-1\n");
  EXPECT_EQ(next_error().substr(0, 5), "-230,");
  EXPECT_EQ(send(":TRIG;*OPC?;:FETC?"), "1\n12.5,1e-06,1\n");
  EXPECT_EQ(meter.settle_requests, 2);
  // A trigger that never settles ends with an error after the longest wait.
  meter.ready = false;
  EXPECT_EQ(send(":TRIG:IMM"), "");
  EXPECT_EQ(session.run(std::chrono::steady_clock::now() + scpi::longest_wait), "");
  EXPECT_EQ(next_error(), "-200,\"Execution error;no settled reading in time\"\n");
  EXPECT_EQ(send(":TRIG:SOUR INT;:FETC?"), "");  // internal: the latest settled reading, waited for
  meter.ready = true;
  EXPECT_EQ(session.run(), "12.5,1e-06,1\n");
}

// A list sweep runs in the background: the script polls bit 3 of the
// operation status, which reading clears, then fetches four values a point.
TEST_F(ScpiSession, AListSweepIsPolledAndFetched)
{
  EXPECT_EQ(send(":LIST:FREQ 10KHZ,100,1000,100;:LIST:FREQ?"), "10000,100,1000,100\n");
  EXPECT_EQ(send(":TRIG:SOUR BUS;:STAT:OPER?;:TRIG"), "0\n");
  EXPECT_EQ(meter.swept, (std::vector<int>{6, 0, 3, 0}));
  EXPECT_EQ(send(":STAT:OPER?"), "0\n");
  EXPECT_EQ(send(":FREQ 200;:LIST:FREQ?"), "10000,100,1000,100\n");  // a setting waits for the sweep
  EXPECT_EQ(next_error(), "-221,\"Settings conflict;a sweep is running; settings can change when it has ended\"\n");
  EXPECT_EQ(meter.state_now.freq_index, 3);
  EXPECT_EQ(send(":STAT:OPER?;:STAT:OPER:COND?"), "8\n8\n");
  EXPECT_EQ(send(":STAT:OPER:EVEN?;:STAT:OPER:COND?"), "0\n8\n");  // the event is read once
  EXPECT_EQ(send(":FETC?"), "12.5,1e-06,1,0,12.5,1e-06,1,0,12.5,1e-06,1,0,12.5,1e-06,1,0\n");

  // A fetch sent while the list runs answers when it is complete.
  EXPECT_EQ(send(":TRIG;:FETC?"), "");
  std::string fetched;
  while (session.busy()) fetched += session.run();
  EXPECT_EQ(fetched, "12.5,1e-06,1,0,12.5,1e-06,1,0,12.5,1e-06,1,0,12.5,1e-06,1,0\n");

  // STEP: each trigger measures the next point; the last one completes.
  EXPECT_EQ(send(":STAT:OPER?;:LIST:FREQ 100,200;:LIST:MODE STEP;:LIST:MODE?;*TRG"), "8\nSTEP\n");
  EXPECT_EQ(meter.swept, std::vector<int>{0});
  while (session.busy()) session.run();
  EXPECT_EQ(send(":STAT:OPER?;*TRG"), "0\n");
  EXPECT_EQ(meter.swept, std::vector<int>{1});
  while (session.busy()) session.run();
  EXPECT_EQ(send(":STAT:OPER?;:FETC?"), "8\n12.5,1e-06,1,0,12.5,1e-06,1,0\n");

  // Without a list a trigger takes one reading again.
  EXPECT_EQ(send(":LIST:CLE:ALL;:LIST:FREQ?;*TRG"), "\n12.5,1e-06,1\n");
  std::string too_long = ":LIST:FREQ 100";
  for (int i = 1; i < 202; ++i) too_long += ",100";
  EXPECT_EQ(send(too_long), "");
  EXPECT_EQ(next_error(), "-222,\"Data out of range;up to 201 points\"\n");
}

// A client that leaves while its sweep runs ends it, so that the others
// may change settings again.
TEST_F(ScpiSession, ASweepWhoseClientLeftIsEnded)
{
  {
    scpi::tscpi_session leaving(meter);
    leaving.receive_line(":LIST:FREQ 100,200;:TRIG");
    leaving.run();
    EXPECT_TRUE(meter.sweep_active());
  }
  EXPECT_FALSE(meter.sweep_active());
  EXPECT_EQ(meter.cancels, 1);
  EXPECT_EQ(send("*RST;SYST:ERR?"), "0,\"No error\"\n");
}

TEST_F(ScpiSession, CorrectionsAreSwitchedAndCleared)
{
  EXPECT_EQ(send(":CORR:OPEN:STAT?;:CORR:OPEN:STAT OFF;:CORR:OPEN:STAT?"), "1\n0\n");
  EXPECT_EQ(send("*RST;:CORR:OPEN:STAT?"), "0\n");  // a reset keeps the corrections as they are
  EXPECT_EQ(send(":CORR:CLE;:CORR:OPEN:STAT?"), "1\n");
  EXPECT_EQ(meter.clears, 1);
  EXPECT_EQ(send(":CORR:SHOR:STAT maybe"), "");
  EXPECT_EQ(next_error(), "-222,\"Data out of range;ON,OFF\"\n");
}

}  // namespace
