// SPDX-License-Identifier: GPL-3.0-or-later
// quarvel-cli: the headless meter. Subcommands print to standard output;
// bad arguments exit with 2 and a one-line message on standard error.

#include "arguments.h"
#include "calibrate_command.h"
#include "measure_command.h"
#include "meter_options.h"
#include "meter_session.h"
#include "mixer_command.h"
#include "serve_command.h"
#include "impedance_command.h"
#include "loudspeaker_command.h"
#include "sweep_command.h"

#include "engine/core/settings.h"
#include "engine/quantities/quantities.h"
#include "engine/quantities/quantity_texts.h"
#include "quarvel/version.h"

#include <array>
#include <cstdio>
#include <iostream>
#include <span>
#include <string>
#include <string_view>

namespace {

constexpr int exit_failure = 1;
constexpr int exit_usage = 2;
constexpr int exit_no_device = 3;

struct tcommand_usage {
  std::string_view command;
  std::string_view text;
};

// Each command's usage, as `quarvel-cli COMMAND --help` prints it.
constexpr std::array<tcommand_usage, 10> command_usages{{
    {"devices", "  quarvel-cli devices [--json]\n"
                "      the sound input and output devices with their indices\n"},
    {"measure", "  quarvel-cli measure [--in DEV] [--out DEV] [--sim DUT] [--ref 10|100|1k|10k|100k|1M]\n"
                "                      [--freq 100|200|500|1k|2k|5k|10k|20k] [--level 0.01..1.00]\n"
                "                      [--ft 1|4|16] [--avg 1|4|16] [--mode CAPTION] [--seconds S]\n"
                "                      [--cal FILE] [--realtime] [--watch] [--json]\n"
                "      measures the device; DEV is an index or part of a name, DUT a network such as\n"
                "      'R=4.7k', 'C=100n + R=2', '(L=10m + R=5) | C=1n' on the simulated fixture,\n"
                "      CAPTION a mode such as Z/phi, Rs/Cs, Q/L, or auto (the pair that fits the device);\n"
                "      --nominal VALUE --tolerance PERCENT [--strict] sorts the part by its first value\n"
                "      (by C or L when the first is D or Q; exit 4 when it fails),\n"
                "      --csv FILE appends each reading to a log;\n"
                "      element values 0 or R 1u … 1000G ohm,\n"
                "      C 1f/1000 … 1 farad (1 aF … 1 F), L 1p … 1M henry\n"},
    {"sweep", "  quarvel-cli sweep [--auto-ref] [--multitone [--watch]] [measure's options] [--json | --csv]\n"
              "      the device at all eight frequencies and the equivalent circuit that fits best;\n"
              "      --auto-ref: each with the reference the meter recommends there (with --multitone\n"
              "      the one reference with the smallest worst deviation over the eight);\n"
              "      --multitone: all eight at once with one tone that sums them;\n"
              "      --watch: with --multitone a curve per evaluation, one JSON object per line,\n"
              "      until interrupted or --seconds of stream time\n"},
    {"impedance", "  quarvel-cli impedance [--from HZ] [--to HZ] [--ppo 6|12|24|48] [--ref R | --auto-ref]\n"
                  "                        [--level 0.01..1.00] [--avg N] [--realtime] [--watch] [--json | --csv]\n"
                  "                        [--zma FILE] [--overlay FILE.zma] [--no-refine] [--input-vrms V]\n"
                  "                        [measure's device options]\n"
                  "      the impedance analyser: a calibrated curve of |Z| and phase with each point's\n"
                  "      deviation, 10 Hz to 20 kHz at 24 points per octave unless asked otherwise, from\n"
                  "      one period of a multisine (--avg: periods averaged); --level defaults to 1.00;\n"
                  "      --zma writes the curve for loudspeaker design programs, --overlay lists a\n"
                  "      .zma curve beside it; --watch: a curve per period as JSON lines; a resonance\n"
                  "      with fewer than 10 points in its -3 dB width is measured again on 0.25 Hz bins\n"
                  "      and said so (--no-refine: not); the level across the device is given as a share\n"
                  "      of full scale, and in volts with --input-vrms, a full-scale sine's RMS at the inputs\n"},
    {"loudspeaker", "  quarvel-cli loudspeaker FREE [--added-mass GRAMS LOADED | --box LITRES BOXED]\n"
                    "                          [--sd CM2 | --diameter CM] [--re OHM] [--temperature C] [--json | --csv]\n"
                    "      a loudspeaker's small-signal parameters (Re, Le, fs, Qms, Qes, Qts, ...) with their\n"
                    "      ± (k = 2), fitted to its impedance curve FREE in free air; with a second curve, a mass\n"
                    "      on the cone (LOADED) or in a closed box (BOXED), also Mms, Cms, Rms, Bl, Vas, η0 and\n"
                    "      SPL (needs the cone's area); curves are files of impedance --json (with each\n"
                    "      point's uncertainty) or .zma; --re: an ohmmeter's reading of the coil, held in the\n"
                    "      fit; a value may carry its tolerance, 12.5±0.1 or 12.5+-0.1, else half its last\n"
                    "      digit; --temperature: the air's, 20 °C unless given\n"},
    {"serve", "  quarvel-cli serve [--listen ADDR] [--port N] [--idle-timeout S] [measure's device options]\n"
              "      the meter remote-controlled over TCP with SCPI commands as benchtop LCR meters\n"
              "      take them (*IDN?, :FREQ 1KHZ, :FUNC:IMP CPD, :TRIG:SOUR BUS, *TRG, :LIST:FREQ,\n"
              "      :FETC?, …); listens on 127.0.0.1 port 5025 by default; a client with nothing\n"
              "      going on for S seconds (no line, no waiting command, no reply on its way;\n"
              "      default 60, 0 never) is closed.\n"
              "      The protocol has no authentication: listen on other addresses only in a\n"
              "      network you trust\n"},
    {"calibrate", "  quarvel-cli calibrate --mode 0..4 [--ref R] [--rp OHM] [--cp FEMTOFARAD] [--multitone] [--save]\n"
                  "                        [options]\n"
                  "      one calibration sweep over the eight frequencies: 0 crosstalk, 1 channel symmetry,\n"
                  "      2 open, 3 short, 4 known resistor; --multitone takes all eight in one pass;\n"
                  "      --save keeps it in the calibration file;\n"
                  "      --impedance [--from HZ] [--to HZ] [--ppo N]: the steps at the impedance analyser's\n"
                  "      points, each in one pass of 16 periods (--avg), kept with --save in the analyser's\n"
                  "      own file beside the calibration file (Quarvel.zcal)\n"},
    {"mixer", "  quarvel-cli mixer [--in DEV] [--out DEV] [--capture 0..31] [--playback 0..31] [--json]\n"
              "      binds the mixer bars to the devices' recording and playback volume, sets the\n"
              "      given positions and shows what the bars show after a new bind\n"},
    {"selftest", "  quarvel-cli selftest --test 1..4 [--seconds S] [options]\n"
                 "      one test of the sound-card set-up\n"},
    {"quantities", "  quarvel-cli quantities --z RE,IM [--freq 100|200|500|1k|2k|5k|10k|20k]\n"
                   "      the fourteen measurement modes' values for the impedance RE + jIM ohm\n"},
}};

constexpr std::string_view common_options =
    "  options common to all: --sim DUT (simulated fixture), --noise RMS (its input noise),\n"
    "      --noise-seed N (another run of that noise),\n"
    "      --realistic (its adapter and card imperfect as a real one: crosstalk, channel\n"
    "      mismatch, strays, reference resistors 1 % off; calibrate it like a real one),\n"
    "      --cal FILE (calibration file, default Quarvel.cal), --json\n";

void print_usage()
{
  std::cout << "quarvel-cli " << quarvel::version_text << " - LCR meter on a stereo sound card\n"
            << "\n"
            << "usage:\n";
  for (const tcommand_usage& usage : command_usages) {
    std::cout << usage.text;
    if (usage.command == "selftest") std::cout << common_options;
  }
  std::cout << "  quarvel-cli COMMAND --help\n"
            << "      that command's usage\n"
            << "  quarvel-cli --version\n";
}

// `quarvel-cli COMMAND --help`: the command's own usage; false for a
// command that has none.
bool print_command_usage(std::string_view command)
{
  for (const tcommand_usage& usage : command_usages) {
    if (usage.command != command) continue;
    std::cout << "usage:\n" << usage.text;
    if (command != "devices" && command != "quantities" && command != "loudspeaker") std::cout << common_options;
    return true;
  }
  return false;
}

bool asks_for_help(std::span<const char* const> arguments)
{
  for (const char* argument : arguments) {
    if (std::string_view(argument) == "--help" || std::string_view(argument) == "-h") return true;
  }
  return false;
}

lcr::tcomplex impedance_argument(std::string_view text)
{
  const auto comma = text.find(',');
  const auto re = quarvel_cli::parse_si_number(text.substr(0, comma));
  const auto im = comma == std::string_view::npos ? std::optional<double>(0.0)
                                                  : quarvel_cli::parse_si_number(text.substr(comma + 1));
  if (!re || !im) {
    throw quarvel_cli::usage_error("--z: '" + std::string(text) + "' is not an impedance RE,IM in ohm (e.g. 100,-4.7k)");
  }
  return {*re, *im};
}

void print_quantity(lcr::tlcr_strings record, double value)
{
  lcr::name_quantity(record);
  lcr::format_quantity(1, record, value);
  std::cout << "  " << record.symbol << ": " << record.value_text << " " << record.unit_text << "  ("
            << record.long_name << ")\n";
}

int run_quantities(std::span<const char* const> arguments)
{
  const quarvel_cli::argument_list list(arguments, {"--z", "--freq"}, {});
  const auto z_text = list.value("--z");
  if (!z_text) throw quarvel_cli::usage_error("quantities needs --z RE,IM");
  const lcr::tcomplex z = impedance_argument(*z_text);
  lcr::settings.freq_index = quarvel_cli::parse_freq_option(list.value("--freq").value_or("1k"));
  lcr::set_decimal_separator(lcr::locale_decimal_separator());
  for (const lcr::tmeas_mode& mode : lcr::meas_modes) {
    std::cout << mode.caption << "\n";
    lcr::tlcr_strings first{std::string(mode.first_key), std::string(mode.first_circuit), {}, {}, {}, {}};
    lcr::tlcr_strings second{std::string(mode.second_key), std::string(mode.second_circuit), {}, {}, {}, {}};
    print_quantity(first, lcr::quantity_value(z, first));
    print_quantity(second, lcr::quantity_value(z, second));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv)
{
  const std::span<const char* const> arguments(argv + 1, static_cast<std::size_t>(argc > 0 ? argc - 1 : 0));
  try {
    if (arguments.empty() || std::string_view(arguments[0]) == "help" || std::string_view(arguments[0]) == "--help") {
      print_usage();
      return 0;
    }
    const std::string_view command = arguments[0];
    if (command == "--version") {
      std::cout << "quarvel-cli " << quarvel::version_text << "\n"
                << "License GPL-3.0-or-later: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>\n"
                << "This is free software: you are free to change and redistribute it.\n"
                << "There is NO WARRANTY, to the extent permitted by law.\n";
      return 0;
    }
    if (asks_for_help(arguments.subspan(1)) && print_command_usage(command)) return 0;
    if (command == "quantities") return run_quantities(arguments.subspan(1));
    if (command == "measure") return quarvel_cli::run_measure(arguments.subspan(1));
    if (command == "devices") return quarvel_cli::run_devices(arguments.subspan(1));
    if (command == "mixer") return quarvel_cli::run_mixer(arguments.subspan(1));
    if (command == "sweep") return quarvel_cli::run_sweep(arguments.subspan(1));
    if (command == "impedance") return quarvel_cli::run_impedance(arguments.subspan(1));
    if (command == "loudspeaker") return quarvel_cli::run_loudspeaker(arguments.subspan(1));
    if (command == "serve") return quarvel_cli::run_serve(arguments.subspan(1));
    if (command == "calibrate") return quarvel_cli::run_calibrate(arguments.subspan(1));
    if (command == "selftest") return quarvel_cli::run_selftest(arguments.subspan(1));
    throw quarvel_cli::usage_error("unknown command '" + std::string(command) + "' (try: quarvel-cli help)");
  } catch (const quarvel_cli::usage_error& error) {
    std::cerr << "quarvel-cli: " << error.what() << "\n";
    return exit_usage;
  } catch (const quarvel_cli::device_error& error) {
    std::cerr << "quarvel-cli: " << error.what() << "\n";
    return exit_no_device;
  } catch (const std::exception& error) {
    std::cerr << "quarvel-cli: " << error.what() << "\n";
    return exit_failure;
  }
}
