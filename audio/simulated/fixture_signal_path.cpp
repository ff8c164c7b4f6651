// SPDX-License-Identifier: GPL-3.0-or-later
#include "fixture_signal_path.h"

#include "fftw_plan.h"
#include "fixture_circuit.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace waveio {

namespace {

// The FIR is designed on a 10 Hz grid: 4800 taps at 48 kHz.
constexpr int design_size = fixture_filter_taps;
constexpr int design_bins = design_size / 2 + 1;
constexpr double design_spacing_hz = fixture_sample_rate_hz / design_size;
constexpr int transform_size = 8192;
constexpr int transform_bins = transform_size / 2 + 1;
constexpr int history_kept = transform_size - block_frames;
static_assert(history_kept >= design_size - 1, "overlap-save needs as much history as the filter is long");

std::size_t index_of(int value)
{
  return static_cast<std::size_t>(value);
}

// The right channel's response on the design grid. DC and Nyquist are forced
// real so that the spectrum is that of a real filter; no test frequency sits
// on either.
fftw::tcomplex_buffer sampled_response(const tfixture_circuit& circuit, int reference_index, bool& silent)
{
  fftw::tcomplex_buffer samples = fftw::make_complex_buffer(index_of(design_bins));
  silent = true;
  for (int k = 0; k < design_bins; ++k) {
    std::complex<double> response = circuit.input_response(reference_index, k * design_spacing_hz).right;
    if (k == 0 || k == design_bins - 1) response = response.real();
    samples[index_of(k)][0] = response.real();
    samples[index_of(k)][1] = response.imag();
    silent = silent && response == 0.0;
  }
  return samples;
}

// Spectrum of the FIR zero-padded to the transform length, with the inverse
// transform's 1 / transform_size folded in.
fftw::tcomplex_buffer design_filter(fftw::tcomplex_buffer samples, const fftw::tplan& design_backward,
                                    const fftw::tplan& forward)
{
  fftw::treal_buffer taps = fftw::make_real_buffer(index_of(transform_size));
  fftw_execute_dft_c2r(design_backward.get(), samples.get(), taps.get());
  for (int n = 0; n < design_size; ++n) taps[index_of(n)] /= design_size;
  fftw::tcomplex_buffer filter = fftw::make_complex_buffer(index_of(transform_bins));
  fftw_execute_dft_r2c(forward.get(), taps.get(), filter.get());
  for (int k = 0; k < transform_bins; ++k) {
    filter[index_of(k)][0] /= transform_size;
    filter[index_of(k)][1] /= transform_size;
  }
  return filter;
}

void delay_one_sample(std::array<double, block_frames>& channel, double& carried)
{
  for (double& sample : channel) std::swap(sample, carried);
}

}  // namespace

class tfixture_model {
 public:
  explicit tfixture_model(const tfixture_config& config);

  fftw::tplan forward = fftw::plan_forward(transform_size);
  fftw::tplan backward = fftw::plan_backward(transform_size);
  std::array<fftw::tcomplex_buffer, reference_count> right_filters;
  std::array<bool, reference_count> right_silent{};  // the filter is zero: skip it
  double left_gain = 0.0;
  tdelayed_channel delayed_channel = tdelayed_channel::none;
  bool swap_channels = false;
  double noise_rms = 0.0;
  std::uint64_t noise_seed = 0;
};

tfixture_model::tfixture_model(const tfixture_config& config)
    : delayed_channel(config.delayed_channel),
      swap_channels(config.swap_channels),
      noise_rms(config.noise_rms),
      noise_seed(config.noise_seed)
{
  const tfixture_circuit circuit(config);
  left_gain = circuit.input_response(0, 0.0).left.real();
  const fftw::tplan design_backward = fftw::plan_backward(design_size);
  for (int r = 0; r < reference_count; ++r) {
    bool silent = true;
    fftw::tcomplex_buffer samples = sampled_response(circuit, r, silent);
    right_silent[index_of(r)] = silent;
    right_filters[index_of(r)] = design_filter(std::move(samples), design_backward, forward);
  }
}

void tfixture_model_deleter::operator()(const tfixture_model* model) const
{
  std::default_delete<const tfixture_model>()(model);
}

tfixture_model_ptr make_fixture_model(const tfixture_config& config)
{
  return tfixture_model_ptr(std::make_unique<const tfixture_model>(config).release());
}

struct tsignal_path::tstate {
  explicit tstate(tfixture_model_ptr initial) : model(std::move(initial)), generator(model->noise_seed) {}

  void convolve_right(int reference_index, trecorded_block& recorded);
  void add_noise(trecorded_block& recorded);

  tfixture_model_ptr model;
  fftw::treal_buffer history = fftw::make_real_buffer(index_of(transform_size));  // drive, newest last
  fftw::tcomplex_buffer spectrum = fftw::make_complex_buffer(index_of(transform_bins));
  fftw::treal_buffer convolved = fftw::make_real_buffer(index_of(transform_size));
  double carried_left = 0.0;  // last sample of each channel, for the one-sample delay
  double carried_right = 0.0;
  std::mt19937_64 generator;
  std::normal_distribution<double> gaussian;
};

void tsignal_path::tstate::convolve_right(int reference_index, trecorded_block& recorded)
{
  const fftw_complex* filter = model->right_filters[index_of(reference_index)].get();
  fftw_execute_dft_r2c(model->forward.get(), history.get(), spectrum.get());
  for (int k = 0; k < transform_bins; ++k) {
    double* bin = spectrum[index_of(k)];
    const double re = bin[0] * filter[k][0] - bin[1] * filter[k][1];
    const double im = bin[0] * filter[k][1] + bin[1] * filter[k][0];
    bin[0] = re;
    bin[1] = im;
  }
  // The inverse transform overwrites the spectrum; it is scratch by now.
  fftw_execute_dft_c2r(model->backward.get(), spectrum.get(), convolved.get());
  std::copy_n(convolved.get() + history_kept, block_frames, recorded.right.begin());
}

void tsignal_path::tstate::add_noise(trecorded_block& recorded)
{
  const double rms = model->noise_rms;
  for (int i = 0; i < block_frames; ++i) {
    recorded.left[index_of(i)] += rms * gaussian(generator);
    recorded.right[index_of(i)] += rms * gaussian(generator);
  }
}

tsignal_path::tsignal_path(tfixture_model_ptr model) : state_(std::make_unique<tstate>(std::move(model))) {}

tsignal_path::tsignal_path(const tfixture_config& config) : tsignal_path(make_fixture_model(config)) {}

tsignal_path::~tsignal_path() = default;

tfixture_model_ptr tsignal_path::exchange_model(tfixture_model_ptr model)
{
  if (model->noise_seed != state_->model->noise_seed) {
    state_->generator.seed(model->noise_seed);
    state_->gaussian.reset();
  }
  std::swap(model, state_->model);
  return model;
}

void tsignal_path::process(std::span<const std::int16_t, played_block_samples> played, int reference_index,
                           trecorded_block& recorded, double capture_gain, double playback_gain)
{
  tstate& state = *state_;
  const tfixture_model& model = *state.model;
  const int reference = std::clamp(reference_index, 0, reference_count - 1);

  double* history = state.history.get();
  std::copy(history + block_frames, history + transform_size, history);
  for (int i = 0; i < block_frames; ++i) history[history_kept + i] = playback_gain * played[index_of(2 * i)];

  if (model.right_silent[index_of(reference)]) {
    recorded.right.fill(0.0);
  } else {
    state.convolve_right(reference, recorded);
  }
  for (int i = 0; i < block_frames; ++i)
    recorded.left[index_of(i)] = model.left_gain * history[history_kept + i];
  if (capture_gain != 1.0) {
    for (double& sample : recorded.left) sample *= capture_gain;
    for (double& sample : recorded.right) sample *= capture_gain;
  }

  if (model.delayed_channel == tdelayed_channel::left) {
    delay_one_sample(recorded.left, state.carried_left);
  } else {
    state.carried_left = recorded.left.back();
  }
  if (model.delayed_channel == tdelayed_channel::right) {
    delay_one_sample(recorded.right, state.carried_right);
  } else {
    state.carried_right = recorded.right.back();
  }
  if (model.swap_channels) std::swap(recorded.left, recorded.right);
  if (model.noise_rms > 0.0) state.add_noise(recorded);
}

std::int16_t quantise_sample(double value)
{
  if (std::isnan(value)) return 0;
  if (value >= 32767.0) return 32767;
  if (value <= -32768.0) return -32768;
  return static_cast<std::int16_t>(std::nearbyint(value));
}

void quantise_block(const trecorded_block& recorded,
                    std::span<std::int16_t, played_block_samples> interleaved)
{
  for (int i = 0; i < block_frames; ++i) {
    interleaved[index_of(2 * i)] = quantise_sample(recorded.left[index_of(i)]);
    interleaved[index_of(2 * i + 1)] = quantise_sample(recorded.right[index_of(i)]);
  }
}

}  // namespace waveio
