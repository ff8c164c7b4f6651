// The command language as a lab script speaks it, against a fake meter:
// long and short forms in any case, several units per line, each error
// number where it belongs, waiting queries that do not block, and a few
// thousand random lines that must not crash the parser or grow its queue.

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

  scpi::tinstrument_state state() const override { return state_now; }
  void set_frequency_index(int index) override { state_now.freq_index = index; }
  void set_meas_mode(int mode) override { state_now.meas_mode = mode; }
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
    scpi::treading reading{12.5, 1e-6, 0.25, 2e-8, 3};
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
  std::string save_corrections() override { return "Quarvel.cal: E/A-Fehler 13"; }
  bool start_sweep() override
  {
    if (sweep_ticks_left > 0) return false;
    sweep_ticks_left = 3;
    return true;
  }
  bool sweep_running() override { return sweep_ticks_left > 0 && --sweep_ticks_left > 0; }
  std::vector<scpi::tsweep_point> sweep_result() const override { return {{100.0, reading()}, {200.0, reading()}}; }
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
  EXPECT_EQ(send(":APER 16,4;:APER?"), "16,4\n");
  EXPECT_EQ(send(":RREF 1E5;:RREF?;:RREF:AUTO ON;:RREF:AUTO?"), "100000\n1\n");
  EXPECT_EQ(send(":RREF 10;:RREF:AUTO?"), "0\n");  // a chosen reference ends the automatic one
  EXPECT_EQ(next_error(), "0,\"No error\"\n");
  EXPECT_EQ(send("*RST;*OPC?"), "1\n");
  EXPECT_EQ(meter.resets, 1);
}

// Benchtop names answer in their own order: CSRS is Cs first, then Rs.
TEST_F(ScpiSession, FetchAnswersInTheOrderOfTheFunctionName)
{
  EXPECT_EQ(send(":FUNC:IMP RX;:FETC?"), "12.5,1e-06,2\n");  // status 2: near full scale
  EXPECT_EQ(send(":FUNC:IMP CSRS;:FETCh?"), "1e-06,12.5,2\n");
  EXPECT_EQ(send(":FETC:DEV?"), "2e-08,0.25\n");
  EXPECT_EQ(send(":FETC:UNC?"), "9.91e+37,0.125\n");  // an uncertainty not known yet is SCPI's NaN
  EXPECT_EQ(send(":FUNC:IMP LSQ;:FUNC:IMP?"), "LSQ\n");
  EXPECT_EQ(meter.state_now.meas_mode, 12);
  EXPECT_EQ(send(":SWE?"), "");  // the sweep runs on
  EXPECT_EQ(session.run(), "");
  EXPECT_EQ(session.run(), "100,1e-06,12.5,2,200,1e-06,12.5,2\n");
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
      {":FUNC:IMP XYZ", "-222,\"Data out of range;ZTD,YTD,RX,RPXP,GSBS,GB,CSRS,CPRP,LSRS,LPRP,QC,CSD,LSQ,DL\""},
      {":APER 2", "-222,\"Data out of range;1,4,16\""},
      {":FOO:BAR", "-113,\"Undefined header\""},
      {"*XYZ", "-113,\"Undefined header\""},
      {":FETC", "-113,\"Undefined header\""},  // a query only
      {":FREQ 1000 2000", "-222,\"Data out of range;not a number\""},
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
  EXPECT_EQ(session.run(), "12.5,1e-06,2\n1\n");
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

}  // namespace
