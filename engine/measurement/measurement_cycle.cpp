// SPDX-License-Identifier: GPL-3.0-or-later
#include "measurement_cycle.h"

#include "engine/core/settings.h"
#include "engine/measurement/analyser_stream.h"
#include "engine/measurement/configuration_tests.h"
#include "engine/measurement/multitone.h"
#include "engine/quantities/quantity_texts.h"

#include "audio/streaming.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>
#include <utility>

namespace lcr {

namespace {

constexpr int block_frames = waveio::block_frames;

void rebuild_working_objects()
{
  const int factor = std::clamp(settings.ft_factor.load(), 1, 16);
  const int avg_count = settings.avg_count.load();
  dft_setup(engine.dft_ch1, 100, factor, waveio::out_rate);
  dft_setup(engine.dft_ch2, 100, factor, waveio::out_rate);
  ring_setup(engine.ring_ch1, engine.dft_ch1.n);
  ring_setup(engine.ring_ch2, engine.dft_ch2.n);
  avg_setup(engine.avg_re, avg_count * factor);
  avg_setup(engine.avg_im, avg_count * factor);
  noise_average_setup(engine.noise, avg_count * factor);
  for (tmultitone_bin& bin : engine.multitone) {
    avg_setup(bin.avg_re, avg_count * factor);
    avg_setup(bin.avg_im, avg_count * factor);
    noise_average_setup(bin.noise, avg_count * factor);
  }
  for (std::size_t f = 0; f < engine.noise_bins.size(); ++f) {
    engine.noise_bins[f] = noise_bins_near(test_frequencies[f], engine.dft_ch1.n, waveio::in_rate);
  }
  clear_multitone_scatter();
  engine.built_ft_factor = factor;
  engine.built_avg_count = avg_count;
  engine.settling.rebuilt(waveio::input_frame_position());
  engine.scatter.clear();
}

// The settings this block is made under, read once: the tone, the
// evaluation and the settling all go by the same values.
tmeasure_tag block_tag()
{
  tmeasure_tag tag = current_measure_tag();
  tag.ft_factor = engine.built_ft_factor;
  tag.avg_count = engine.built_avg_count;
  return tag;
}

void make_tone(int freq_index, double level)
{
  const double step =
      test_frequencies[static_cast<std::size_t>(clamp_freq_index(freq_index))] / static_cast<double>(waveio::out_rate);
  const double amplitude = tone_amplitude(level);
  for (double& sample : engine.tone_buffer) {
    engine.tone_phase += step;
    engine.tone_phase -= std::trunc(engine.tone_phase);
    // A dither of at most half a sample unit decorrelates the rounding error.
    sample = std::sin(2.0 * pi * engine.tone_phase) * amplitude + (engine.dither_source.next() - 0.5);
  }
}

void fill_tone_buffer(const tmeasure_tag& tag, tanalyser_job* analyser)
{
  switch (tag.test_mode) {
    case 0:
      if (analyser != nullptr) {
        make_analyser_tone(*analyser, tag.tone_level);
      } else if (tag.multitone) {
        make_multitone(tag.tone_level);
      } else {
        make_tone(tag.freq_index, tag.tone_level);
      }
      break;
    case 1:
    case 3: make_test_tone_1k(); break;
    case 2: make_test_multitone(); break;
    case 4: std::fill(engine.tone_buffer.begin(), engine.tone_buffer.end(), 0.0); break;
    default: break;  // an unknown mode leaves the buffer as it is
  }
}

void play_tone_buffer()
{
  std::copy(engine.tone_buffer.begin(), engine.tone_buffer.end(), waveio::stream.outblock_left.begin());
  std::copy(engine.tone_buffer.begin(), engine.tone_buffer.end(), waveio::stream.outblock_right.begin());
  waveio::write_output_block(block_frames);
}

void evaluate(int test_mode, std::int64_t window_start)
{
  switch (test_mode) {
    case 0: evaluate_measurement(window_start); break;
    case 1: evaluate_test1(); break;
    case 2: evaluate_test2(); break;
    case 3: evaluate_test3(); break;
    case 4: evaluate_test4(); break;
    default: break;
  }
}

struct tpeaks {
  double max = 0.0;
  double min = 0.0;
};

tpeaks peaks_of(const waveio::tblock& block)
{
  tpeaks peaks;
  for (const double sample : block) {
    peaks.max = std::max(peaks.max, sample);
    peaks.min = std::min(peaks.min, sample);
  }
  return peaks;
}

// Near-full-scale and full-scale tests, in this order: a later one that
// holds overwrites.
void apply_peak_tests(int& state, tpeaks peaks)
{
  if (peaks.max > 29767.0 || peaks.min < -29768.0) state = signal_near_full_scale;
  if (peaks.max >= 32767.0 || peaks.min <= -32768.0) state = signal_clipped;
}

struct tselection {
  quantity_key key = quantity_key::none;
  bool parallel = false;
};

tselection selection_of(const tlcr_strings& record)
{
  return {parse_quantity_key(record.quantity), is_parallel_circuit(record.circuit)};
}

}  // namespace

void engine_init()
{
  settings.request_average_rebuild = true;
  cal_reset_reference();
  engine.tone_buffer.assign(block_frames, 0.0);
}

void enter_test_mode()
{
  settings.ft_factor = 1;
  settings.tone_level = 0.0;
  settings.request_transform_rebuild = true;
  config_tests.test4_restart_requested = true;
}

void process_recorded_blocks()
{
  // Both requests are taken before either setting is read, so a request
  // raised during the rebuild stays for the next block.
  const bool transform_requested = take_transform_rebuild_request();
  const bool average_requested = take_average_rebuild_request();
  if (transform_requested || average_requested) rebuild_working_objects();
  if (engine.tone_buffer.size() != block_frames) engine.tone_buffer.assign(block_frames, 0.0);

  while (waveio::in_available() / block_frames > 0) {
    const std::int64_t block_start = waveio::input_frame_position();
    waveio::read_input_block();
    const bool delayed = waveio::stream.sample_offset.load() != 0;
    if (delayed) waveio::delay_input_block();
    engine.block_tag = block_tag();
    // The analyser runs in place of the measurement, not of a set-up test.
    tanalyser_job* const published = take_published_analyser_job();
    tanalyser_job* const analyser = engine.block_tag.test_mode == 0 ? published : nullptr;
    engine.block_tag.analyser_generation = engine.analyser_acknowledged;
    fill_tone_buffer(engine.block_tag, analyser);
    play_tone_buffer();
    engine.settling.block_made(engine.block_tag);
    if (analyser != nullptr) {
      check_signal_levels();
      collect_analyser_block(*analyser, block_start, delayed, engine.latest_signal_state);
      continue;
    }
    ring_put(engine.ring_ch1, waveio::stream.inblock_left);
    ring_put(engine.ring_ch2, waveio::stream.inblock_right);
    if (engine.ring_ch1.fill < eval_stride) continue;
    ring_take(engine.ring_ch1, engine.dft_ch1.data, eval_stride, engine.dft_ch1.n);
    ring_take(engine.ring_ch2, engine.dft_ch2.data, eval_stride, engine.dft_ch2.n);
    // The window holds the newest n samples; a delayed channel's begins one
    // sample earlier.
    const std::int64_t window_start = block_start + block_frames - engine.dft_ch1.n - (delayed ? 1 : 0);
    evaluate(engine.block_tag.test_mode, window_start);
  }
}

void make_measurement_tone()
{
  make_tone(settings.freq_index.load(), settings.tone_level.load());
}

// The level rules, applied to a state that may already hold a code.
void apply_level_rules(int& state, const tpeaks& left, const tpeaks& right)
{
  if (left.max < 30.0 || left.min > -30.0) state = signal_left_weak;
  apply_peak_tests(state, left);
  if (state == signal_ok && right.max < 30.0) state = signal_left_weak;
  if (state == signal_ok && right.min > -30.0) state = signal_left_weak;
  if (state == signal_left_weak && right.max < 30.0) state = signal_right_weak;
  if (state == signal_left_weak && right.min > -30.0) state = signal_right_weak;
  apply_peak_tests(state, right);
}

void check_signal_levels()
{
  const tpeaks left = peaks_of(waveio::stream.inblock_left);
  const tpeaks right = peaks_of(waveio::stream.inblock_right);
  // The same rules on this block alone, for a reading that must not depend
  // on when the window last took the accumulated state.
  int latest = signal_ok;
  apply_level_rules(latest, left, right);
  const std::lock_guard lock(publication_lock);
  apply_level_rules(engine.signal_state, left, right);
  engine.latest_signal_state = latest;
}

namespace {

// The window spans a dropout: the evaluation is not averaged, shown or
// plotted, and the reading settles again.
void leave_out_evaluation()
{
  engine.settling.left_out();
  engine.scatter.clear();
  clear_multitone_scatter();
  const std::lock_guard lock(publication_lock);
  engine.settled = false;
  engine.resettling_after_dropout = true;
  ++engine.left_out_count;
}

// Whether the new average holds only settled evaluations, and the scatter
// of the single ratios behind it.
bool judge_average(bool window_settled, tcomplex ratio, tratio_spread& spread)
{
  engine.settling.averaged(window_settled);
  if (window_settled) {
    engine.scatter.push(ratio);
  } else {
    engine.scatter.clear();
  }
  const int averaged_count = engine.avg_re.length;
  if (!engine.settling.settled(averaged_count)) return false;
  engine.settling.settled_again();
  spread = engine.scatter.spread_of_mean(averaged_count, engine.dft_ch1.n, eval_stride);
  return true;
}

}  // namespace

void evaluate_measurement(std::int64_t window_start)
{
  const twindow_verdict verdict = engine.settling.judge_window(window_start);
  if (verdict.spans_dropout) {
    leave_out_evaluation();
    return;
  }
  const tmeasure_tag tag = engine.block_tag;
  const int r = clamp_ref_index(tag.ref_index);
  const int f = clamp_freq_index(tag.freq_index);
  check_signal_levels();

  double g = 0.0;
  tcomplex h{1.0, 1.0};
  tcomplex averaged;
  twindow_noise noise;  // mean over the averaged windows
  if (tag.multitone) {
    // All eight at once; the operator's frequency is the reading on display.
    analyse_multitone(verdict.settled);
    const tmultitone_bin& shown = engine.multitone[static_cast<std::size_t>(f)];
    g = shown.amplitude * shown.amplitude;
    h = shown.single;
    averaged = shown.averaged;
    noise = shown.noise_mean;
  } else {
    const int k = bin_of_frequency(test_frequencies[static_cast<std::size_t>(f)], engine.dft_ch1.n, waveio::in_rate);
    dft_bin(engine.dft_ch1, k);
    dft_bin(engine.dft_ch2, k);
    const tcomplex a{engine.dft_ch1.re, engine.dft_ch1.im};
    const tcomplex b{engine.dft_ch2.re, engine.dft_ch2.im};
    // A silent left input would divide by almost nothing: count it as H = 1.
    g = a.re * a.re + a.im * a.im;
    if (g > 1e-10) h = {(a.re * b.re + a.im * b.im) / g, (a.re * b.im - a.im * b.re) / g};
    averaged = {avg_push(engine.avg_re, h.re), avg_push(engine.avg_im, h.im)};
    noise = noise_average_push(
        engine.noise, window_noise(engine.dft_ch1, engine.dft_ch2, engine.noise_bins[static_cast<std::size_t>(f)], h, g));
  }
  tratio_spread spread;
  const bool settled = judge_average(verdict.settled, h, spread);
  if (settled && tag.multitone) take_multitone_spreads();
  const tratio_spread noise_spread =
      settled ? circular_spread(noise.ratio_variance * mean_variance_factor(engine.avg_re.length, engine.dft_ch1.n, eval_stride))
              : tratio_spread{};

  tcal_entries entries;
  tselection first;
  tselection second;
  tselection reference;
  {
    const std::lock_guard lock(publication_lock);
    entries = calibration_entries_locked(r, f);
    first = selection_of(engine.first_quantity);
    second = selection_of(engine.second_quantity);
    reference = selection_of(engine.ref_quantity);
    engine.ref_quantity_work.quantity.assign(engine.ref_quantity.quantity);
  }
  const tcorrection_chain chain = run_correction_chain(averaged, entries);
  const double frequency_hz = test_frequencies[static_cast<std::size_t>(f)];
  const double first_value = quantity_value(chain.z, first.key, first.parallel, frequency_hz);
  const double second_value = quantity_value(chain.z, second.key, second.parallel, frequency_hz);
  const double recommended_ohm = recommended_resistor_for(c_abs(chain.z_raw));
  format_quantity(0, engine.ref_quantity_work,
                  quantity_value({recommended_ohm, 0.0}, reference.key, reference.parallel, frequency_hz));

  // One evaluation's results cross to the window together.
  const std::lock_guard lock(publication_lock);
  {
    engine.avg_ratio = averaged;
    engine.ratio_xtalk = chain.ratio_xtalk;
    engine.ratio_corrected = chain.ratio_corrected;
    engine.z_raw = chain.z_raw;
    engine.y_raw = chain.y_raw;
    engine.z_open_corrected = chain.z_open_corrected;
    engine.z = chain.z;
    engine.channel1_amplitude = std::sqrt(g);
    engine.published_transform_length = engine.dft_ch1.n;
    engine.tag = tag;
    engine.settled = settled;
    engine.resettling_after_dropout = engine.settling.resettling_after_dropout();
    engine.ratio_spread = spread;
    engine.noise_spread = noise_spread;
    engine.noise_mean = noise;
    if (tag.multitone) {
      for (std::size_t i = 0; i < engine.multitone.size(); ++i) {
        engine.multitone_ratio[i] = engine.multitone[i].averaged;
        engine.multitone_spread[i] = settled ? engine.multitone[i].spread : tratio_spread{};
        engine.multitone_noise_spread[i] = settled ? engine.multitone[i].noise_spread : tratio_spread{};
        engine.multitone_noise[i] = engine.multitone[i].noise_mean;
        engine.multitone_amplitude[i] = engine.multitone[i].amplitude;
      }
    }
    engine.signal_seen = engine.signal_seen || (verdict.settled && g > 1e-10);
    if (settings.display_running.load()) engine.display_z = chain.z;
    auto& history = engine.plot_history;
    if (engine.signal_seen && !history[0].empty() && history[0].size() == history[1].size()) {
      const auto index = static_cast<std::size_t>(engine.plot_write_index) % history[0].size();
      history[0][index] = first_value;
      history[1][index] = second_value;
      if (index < engine.plot_settled.size()) engine.plot_settled[index] = settled ? 1 : 0;
      engine.plot_write_index = static_cast<int>((index + 1) % history[0].size());
    }
    ++engine.evaluation_count;
  }
  engine.ref_quantity.value_text.assign(engine.ref_quantity_work.value_text);
  engine.ref_quantity.unit_text.assign(engine.ref_quantity_work.unit_text);
  engine.recommended_ref_ohm = recommended_ohm;
}

double relative_error_estimate(double a, double bits, double c, double floor, double m, double r)
{
  const double h = c * m / (r + m);
  const double g = std::sqrt(268435456.0 / std::exp(6.02 * bits / 10.0 * std::log(10.0)) / a);
  // No voltage across the device, or none across the reference: no estimate.
  if (!(h > 0.0) || !(c - h > 0.0)) return std::numeric_limits<double>::infinity();
  return g / h + floor + 2.0 * g / (c - h);
}

double recommend_ref_resistor()
{
  return recommended_resistor_for(c_abs(engine.z_raw));
}

double recommended_resistor_for(double m)
{
  double best = 1000.0;
  std::size_t index = 0;
  for (std::size_t i = 0; i < ref_resistors.size(); ++i) {
    const double e = relative_error_estimate(1024.0, 12.0, 1.0, 0.01, m, ref_resistors[i]);
    if (e < best) {
      best = e;
      index = i;
    }
  }
  return ref_resistors[index];
}

tmeasurement_snapshot measurement_snapshot()
{
  tmeasurement_snapshot snapshot;
  snapshot.dropouts = waveio::dropout_count();
  const std::lock_guard lock(publication_lock);
  snapshot.display_z = engine.display_z;
  snapshot.ratio_corrected = engine.ratio_corrected;
  snapshot.channel1_amplitude = engine.channel1_amplitude;
  snapshot.ref_value_text = engine.ref_quantity.value_text;
  snapshot.ref_unit_text = engine.ref_quantity.unit_text;
  snapshot.recommended_ref_ohm = engine.recommended_ref_ohm;
  snapshot.evaluation_count = engine.evaluation_count;
  snapshot.signal_seen = engine.signal_seen;
  snapshot.latest_signal_state = engine.latest_signal_state;
  snapshot.avg_ratio = engine.avg_ratio;
  snapshot.z = engine.z;
  snapshot.transform_length = engine.published_transform_length;
  snapshot.tag = engine.tag;
  snapshot.settled = engine.settled;
  snapshot.resettling_after_dropout = engine.resettling_after_dropout;
  snapshot.ratio_spread = engine.ratio_spread;
  snapshot.noise_spread = engine.noise_spread;
  snapshot.noise = engine.noise_mean;
  snapshot.multitone_noise = engine.multitone_noise;
  snapshot.multitone_noise_spread = engine.multitone_noise_spread;
  snapshot.multitone_ratio = engine.multitone_ratio;
  snapshot.multitone_spread = engine.multitone_spread;
  snapshot.multitone_amplitude = engine.multitone_amplitude;
  return snapshot;
}

void forget_signal()
{
  const std::lock_guard lock(publication_lock);
  engine.signal_seen = false;
}

int take_signal_state()
{
  const std::lock_guard lock(publication_lock);
  return std::exchange(engine.signal_state, signal_ok);
}

std::pair<tlcr_strings, tlcr_strings> displayed_quantities()
{
  std::pair<tlcr_strings, tlcr_strings> records;
  {
    const std::lock_guard lock(publication_lock);
    records.first.quantity = engine.first_quantity.quantity;
    records.first.circuit = engine.first_quantity.circuit;
    records.second.quantity = engine.second_quantity.quantity;
    records.second.circuit = engine.second_quantity.circuit;
  }
  name_quantity(records.first);
  name_quantity(records.second);
  return records;
}

int displayed_meas_mode()
{
  const auto [first, second] = displayed_quantities();
  for (int mode = 0; mode < meas_mode_count; ++mode) {
    const tmeas_mode& candidate = meas_modes[static_cast<std::size_t>(mode)];
    if (candidate.first_key == first.quantity && candidate.first_circuit == first.circuit &&
        candidate.second_key == second.quantity && candidate.second_circuit == second.circuit) {
      return mode;
    }
  }
  return 0;
}

void set_meas_mode_quantities(int meas_mode)
{
  const tmeas_mode& mode = meas_modes[static_cast<std::size_t>(std::clamp(meas_mode, 0, meas_mode_count - 1))];
  {
    const std::lock_guard lock(publication_lock);
    engine.first_quantity.quantity = mode.first_key;
    engine.first_quantity.circuit = mode.first_circuit;
    engine.second_quantity.quantity = mode.second_key;
    engine.second_quantity.circuit = mode.second_circuit;
  }
  name_quantity(engine.first_quantity);
  name_quantity(engine.second_quantity);
}

}  // namespace lcr
