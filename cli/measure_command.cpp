#include "measure_command.h"

#include "json_writer.h"
#include "meter_session.h"

#include "engine/deviation_estimate.h"
#include "engine/measurement_cycle.h"
#include "engine/quantity_texts.h"
#include "engine/settings.h"

#include "audio/sound_devices.h"
#include "audio/streaming.h"

#include <atomic>
#include <csignal>
#include <cstdint>
#include <iostream>
#include <limits>
#include <string>

namespace quarvel_cli {

namespace {

std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void on_interrupt(int)
{
  interrupted.store(true);
}

// One displayed quantity: its record with names and texts, its value and
// its deviation ("max. Abweichung") with texts of their own.
struct tshown_quantity {
  lcr::tlcr_strings record;
  double value = 0.0;
  lcr::tlcr_strings deviation_record;
  double deviation = 0.0;
};

tshown_quantity shown_quantity(const lcr::tlcr_strings& selection, lcr::tcomplex z)
{
  tshown_quantity shown;
  shown.record.quantity = selection.quantity;
  shown.record.circuit = selection.circuit;
  lcr::name_quantity(shown.record);
  shown.value = lcr::quantity_value(z, shown.record);
  lcr::format_quantity(1, shown.record, shown.value);
  shown.deviation_record = shown.record;
  shown.deviation = lcr::quantity_deviation(shown.record);
  lcr::format_quantity(0, shown.deviation_record, shown.deviation);
  return shown;
}

const char* lamp_text(int signal_state)
{
  switch (signal_state) {
    case lcr::signal_ok: return "grün";
    case lcr::signal_left_weak: return "grau";
    case lcr::signal_right_weak:
    case lcr::signal_near_full_scale: return "gelb";
    default: return "rot";
  }
}

// One reading as the window would show it at a display tick.
struct treading {
  int meas_mode = 0;
  tshown_quantity first;
  tshown_quantity second;
  lcr::tmeasurement_snapshot snapshot;
  int signal_state = 0;
};

treading take_reading(int meas_mode)
{
  treading reading;
  reading.meas_mode = meas_mode;
  reading.snapshot = lcr::measurement_snapshot();
  reading.signal_state = lcr::take_signal_state();
  lcr::tlcr_strings first_selection;
  lcr::tlcr_strings second_selection;
  {
    const std::lock_guard lock(lcr::publication_lock);
    first_selection = lcr::engine.first_quantity;
    second_selection = lcr::engine.second_quantity;
  }
  reading.first = shown_quantity(first_selection, reading.snapshot.display_z);
  reading.second = shown_quantity(second_selection, reading.snapshot.display_z);
  return reading;
}

tjson_object quantity_json(const tshown_quantity& shown)
{
  tjson_object object;
  object.add("quantity", shown.record.quantity)
      .add("circuit", shown.record.circuit)
      .add("symbol", shown.record.symbol)
      .add("long_name", shown.record.long_name)
      .add("value", shown.value)
      .add("value_text", shown.record.value_text)
      .add("unit_text", shown.record.unit_text)
      .add("deviation", shown.deviation)
      .add("deviation_value_text", shown.deviation_record.value_text)
      .add("deviation_unit_text", shown.deviation_record.unit_text);
  return object;
}

std::string reading_json(const treading& reading)
{
  tjson_object z;
  z.add("re", reading.snapshot.display_z.re).add("im", reading.snapshot.display_z.im);
  tjson_object recommended;
  recommended.add("value_text", reading.snapshot.ref_value_text).add("unit_text", reading.snapshot.ref_unit_text);
  tjson_object object;
  object.add("mode", lcr::meas_modes[static_cast<std::size_t>(reading.meas_mode)].caption)
      .add("first", quantity_json(reading.first))
      .add("second", quantity_json(reading.second))
      .add("z", z)
      .add("recommended_ref_ohm", reading.snapshot.recommended_ref_ohm)
      .add("recommended_ref", recommended)
      .add("signal_state", reading.signal_state)
      .add("signal_lamp", lamp_text(reading.signal_state))
      .add("frequency_hz", lcr::current_frequency_hz())
      .add("ref_ohm", lcr::current_ref_resistor_ohm());
  return object.text();
}

std::string quantity_line(const tshown_quantity& shown)
{
  return shown.record.symbol + ": " + shown.record.value_text + " " + shown.record.unit_text;
}

std::string deviation_line(const tshown_quantity& shown)
{
  return "max. Abweichung " + shown.record.symbol + ": " + shown.deviation_record.value_text + " " +
         shown.deviation_record.unit_text;
}

void print_reading(const treading& reading, const tmeter_session& session, const tmeter_options& options)
{
  std::cout << lcr::meas_modes[static_cast<std::size_t>(reading.meas_mode)].caption << "   "
            << frequency_text(options.freq_index) << "   Rref " << reference_text(options.ref_index) << "   "
            << session.input_name() << "\n"
            << reading.first.record.long_name << "\n  " << quantity_line(reading.first) << "\n  "
            << deviation_line(reading.first) << "\n"
            << reading.second.record.long_name << "\n  " << quantity_line(reading.second) << "\n  "
            << deviation_line(reading.second) << "\n"
            << "empf. Ref.Widerstand: " << reading.snapshot.ref_value_text << " " << reading.snapshot.ref_unit_text
            << "\nEingangspegel: " << lamp_text(reading.signal_state) << "\n";
}

void print_watch_line(const treading& reading, bool json)
{
  if (json) {
    std::cout << reading_json(reading) << std::endl;
    return;
  }
  std::cout << quantity_line(reading.first) << "   " << quantity_line(reading.second)
            << "   empf. Ref.Widerstand: " << reading.snapshot.ref_value_text << " " << reading.snapshot.ref_unit_text
            << "   Eingangspegel: " << lamp_text(reading.signal_state) << std::endl;
}

// Nothing had been evaluated when the measurement ended: a reading of the
// engine's initial state would look like a measured 0.
int no_reading(const tmeter_options& options)
{
  std::cerr << "quarvel-cli: no reading was taken";
  if (options.seconds) std::cerr << " in " << *options.seconds << " s (one evaluation takes "
                                 << lcr::eval_stride * 1000 / waveio::in_rate << " ms of signal)";
  std::cerr << "\n";
  return 1;
}

std::int64_t frames_of_seconds(double seconds)
{
  return static_cast<std::int64_t>(seconds * waveio::in_rate);
}

}  // namespace

int run_measure(std::span<const char* const> arguments)
{
  const argument_list list(arguments, meter_value_options(), meter_flags());
  const tmeter_options options = parse_meter_options(list);
  tmeter_session session(options);
  if (!session.calibration_message().empty()) std::cerr << "quarvel-cli: " << session.calibration_message() << "\n";

  if (options.watch) {
    interrupted.store(false);
    std::signal(SIGINT, on_interrupt);
    std::signal(SIGTERM, on_interrupt);
    const std::int64_t end = options.seconds ? frames_of_seconds(*options.seconds)
                                             : std::numeric_limits<std::int64_t>::max();
    bool printed = false;
    session.run_until(end, [&] {
      const treading reading = take_reading(options.meas_mode);
      if (reading.snapshot.evaluation_count > 0) {
        print_watch_line(reading, options.json);
        printed = true;
      }
      return !interrupted.load();
    });
    if (!printed) return no_reading(options);
    return 0;
  }

  // Until the tone has come back and the averagers hold only it, and one
  // averaging span more: twice the span after the first evaluations.
  const std::int64_t settled = session.frames_processed() + frames_of_seconds(lcr::tone_settling_seconds());
  const std::int64_t averaging_span = static_cast<std::int64_t>(options.avg_count) * options.ft_factor * lcr::eval_stride;
  const std::int64_t end = options.seconds ? frames_of_seconds(*options.seconds) : settled + averaging_span;
  session.run_until(std::min(settled, end));
  lcr::take_signal_state();  // the level while the tone arrived does not count
  session.run_until(end);
  const treading reading = take_reading(options.meas_mode);
  if (reading.snapshot.evaluation_count == 0) return no_reading(options);
  if (options.json) {
    std::cout << reading_json(reading) << std::endl;
  } else {
    print_reading(reading, session, options);
  }
  return 0;
}

int run_devices(std::span<const char* const> arguments)
{
  const argument_list list(arguments, {}, {"--json"});
  waveio::tsound_devices devices([] { return lcr::settings.ref_index.load(); }, true);
  waveio::set_backend(&devices.catalog());
  waveio::wavein_enum();
  const std::vector<std::string> inputs = waveio::listed_device_names();
  waveio::waveout_enum();
  const std::vector<std::string> outputs = waveio::listed_device_names();
  waveio::set_backend(nullptr);
  if (list.flag("--json")) {
    const auto names_json = [](const std::vector<std::string>& names) {
      std::string text = "[";
      for (std::size_t i = 0; i < names.size(); ++i) text += (i == 0 ? "" : ",") + json_string(names[i]);
      return text + "]";
    };
    std::cout << "{\"inputs\":" << names_json(inputs) << ",\"outputs\":" << names_json(outputs) << "}" << std::endl;
    return 0;
  }
  std::cout << "Eingänge:\n";
  for (std::size_t i = 0; i < inputs.size(); ++i) std::cout << "  " << i << "  " << inputs[i] << "\n";
  std::cout << "Ausgänge:\n";
  for (std::size_t i = 0; i < outputs.size(); ++i) std::cout << "  " << i << "  " << outputs[i] << "\n";
  return 0;
}

}  // namespace quarvel_cli
