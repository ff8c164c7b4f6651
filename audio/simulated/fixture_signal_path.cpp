// SPDX-License-Identifier: GPL-3.0-or-later
#include "fixture_signal_path.h"

#include "fftw_plan.h"
#include "fixture_circuit.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <random>

namespace waveio {

namespace {

// The FIR is designed on a 0.25 Hz grid: 192000 taps at 48 kHz.
constexpr int design_size = fixture_filter_taps;
constexpr int design_bins = design_size / 2 + 1;
constexpr double design_spacing_hz = fixture_sample_rate_hz / design_size;
// Partitioned overlap-save in two levels. The head of the filter is cut
// into partitions one block long, so that a block's output holds the drive
// of that very block; the rest into partitions ten blocks long, whose drive
// chunks are transformed once every ten blocks. A tail partition starts at
// least one chunk into the filter, so the chunk before is complete by the
// time its output is due. Against uniform partitions of a block, a block
// reads a sixth of the spectra.
struct tlevel_shape {
  int first_tap;       // where the level's partitions start in the filter
  int partition_taps;  // also the length of the level's drive chunks
  int partition_count;

  // Each partition transformed at twice its length, so that a chunk's
  // output is free of wrap-around.
  constexpr int transform_size() const { return 2 * partition_taps; }
  constexpr int transform_bins() const { return partition_taps + 1; }
  // Spectra lie this far apart in a partitioned buffer: a multiple of 64
  // bytes, so that each starts as aligned as the buffer FFTW planned on.
  constexpr int spectrum_stride() const { return (transform_bins() + 3) / 4 * 4; }
  constexpr int end_tap() const { return first_tap + partition_count * partition_taps; }
};

constexpr int blocks_per_chunk = 10;
constexpr int chunk_frames = blocks_per_chunk * block_frames;
constexpr tlevel_shape head_shape{0, block_frames, blocks_per_chunk};
constexpr tlevel_shape tail_shape{chunk_frames, chunk_frames, (design_size - chunk_frames) / chunk_frames};
static_assert(head_shape.end_tap() == tail_shape.first_tap && tail_shape.end_tap() == design_size);
static_assert(tail_shape.first_tap >= tail_shape.partition_taps);
static_assert(fixture_converter_delay_frames > 0 && fixture_converter_delay_frames % block_frames == 0);

// Past a filter's significant taps, the magnitudes left sum to at most this
// fraction of its largest gain: drive that old changes no recorded sample by
// more, per unit of drive, whatever the drive. At full scale that is 1/30 of
// the 16-bit converter's step (3e-5 of full scale), below anything a
// recording can show; a finer bound would only wait longer for a ringing
// circuit, one time constant more for every factor e.
constexpr double forgotten_fraction = 1e-6;

// The circuit's response is exact up to the highest frequency the program
// excites, and fades into a real value at the Nyquist frequency.
constexpr double exact_up_to_hz = 0.45 * fixture_sample_rate_hz;

std::size_t index_of(int value)
{
  return static_cast<std::size_t>(value);
}

struct tsampled_responses {
  std::array<fftw::tcomplex_buffer, reference_count> samples;
  std::array<double, reference_count> largest_gain{};
  std::array<bool, reference_count> silent{};
};

// How much of the circuit's own response a frequency keeps: all of it up to
// exact_up_to_hz, none at the Nyquist frequency. The step between is smooth
// to all orders (built of exp(−1/x)), so the filter's ringing before its
// impulse falls faster than any power of time: below 1e-12 of its gain
// beyond the converters' delay, where a raised cosine (whose ringing falls
// as t⁻³) leaves up to some 1e-6, which would count as the whole filter's
// memory.
double exact_weight(double frequency_hz)
{
  return 1.0 - smooth_step((frequency_hz - exact_up_to_hz) / (fixture_sample_rate_hz / 2.0 - exact_up_to_hz));
}

// Each reference's right channel on the design grid. DC is forced real and
// the response fades into a real value at Nyquist (exact_weight), so that
// the spectrum is that of a real filter that rings only briefly before its
// impulse.
tsampled_responses sampled_responses(const tfixture_circuit& circuit)
{
  tsampled_responses sampled;
  for (fftw::tcomplex_buffer& samples : sampled.samples)
    samples = fftw::make_complex_buffer(index_of(design_bins));
  sampled.silent.fill(true);
  const auto at_nyquist = circuit.input_responses((design_bins - 1) * design_spacing_hz);
  for (int k = 0; k < design_bins; ++k) {
    const double frequency_hz = k * design_spacing_hz;
    const auto responses = circuit.input_responses(frequency_hz);
    const double weight = exact_weight(frequency_hz);
    for (std::size_t r = 0; r < responses.size(); ++r) {
      std::complex<double> response = responses[r].right;
      if (weight < 1.0) response = weight * response + (1.0 - weight) * at_nyquist[r].right.real();
      if (k == 0) response = response.real();
      sampled.samples[r][index_of(k)][0] = response.real();
      sampled.samples[r][index_of(k)][1] = response.imag();
      sampled.largest_gain[r] = std::max(sampled.largest_gain[r], std::abs(response));
      sampled.silent[r] = sampled.silent[r] && response == 0.0;
    }
  }
  return sampled;
}

// The FIR's taps, the converters' delay included; the inverse transform
// consumes the samples. The delay turns the taps round rather than the
// spectrum's phase: exact, so that a flat response stays a single tap. (A
// delay in the spectrum leaves rounding noise of 1e-17 on every tap, a fixed
// filter that breaks the quantiser's exact ties in step with the tone:
// 1e-5 of phase in a resistor's reading.)
fftw::treal_buffer design_taps(fftw::tcomplex_buffer samples, const fftw::tplan& design_backward)
{
  fftw::treal_buffer taps = fftw::make_real_buffer(index_of(design_size));
  fftw_execute_dft_c2r(design_backward.get(), samples.get(), taps.get());
  for (int n = 0; n < design_size; ++n) taps[index_of(n)] /= design_size;
  std::rotate(taps.get(), taps.get() + design_size - fixture_converter_delay_frames, taps.get() + design_size);
  return taps;
}

// The taps that matter. Those near the end would hold what the response
// needs of the drive before its impulse, four seconds late, and count like any
// other; so does a circuit ringing longer than the filter, wrapped around.
int significant_taps(const fftw::treal_buffer& taps, double largest_gain)
{
  double tail = 0.0;
  for (int n = design_size - 1; n >= 0; --n) {
    tail += std::fabs(taps[index_of(n)]);
    if (tail > forgotten_fraction * largest_gain) return n + 1;
  }
  return 0;
}

// One level's filter for every reference: each partition's spectrum,
// zero-padded to the transform length, with the inverse transform's
// 1 / transform_size folded in.
struct tlevel_filters {
  explicit tlevel_filters(const tlevel_shape& level_shape)
      : shape(level_shape),
        forward(fftw::plan_forward(shape.transform_size())),
        backward(fftw::plan_backward(shape.transform_size()))
  {
  }

  void design(std::size_t reference_index, const fftw::treal_buffer& taps);

  tlevel_shape shape;
  fftw::tplan forward;
  fftw::tplan backward;
  std::array<fftw::tcomplex_buffer, reference_count> spectra;  // spectrum_stride apart
  // The partitions up to the last with a tap other than zero: the rest add
  // nothing, exactly, and are skipped.
  std::array<int, reference_count> used_partitions{};
};

void tlevel_filters::design(std::size_t reference_index, const fftw::treal_buffer& taps)
{
  const int stride = shape.spectrum_stride();
  fftw::tcomplex_buffer partitioned = fftw::make_complex_buffer(index_of(shape.partition_count * stride));
  fftw::treal_buffer padded = fftw::make_real_buffer(index_of(shape.transform_size()));
  int used = 0;
  for (int p = 0; p < shape.partition_count; ++p) {
    const double* first = taps.get() + shape.first_tap + p * shape.partition_taps;
    std::copy_n(first, shape.partition_taps, padded.get());
    if (std::any_of(first, first + shape.partition_taps, [](double tap) { return tap != 0.0; })) used = p + 1;
    fftw_complex* spectrum = partitioned.get() + p * stride;
    fftw_execute_dft_r2c(forward.get(), padded.get(), spectrum);
    for (int k = 0; k < shape.transform_bins(); ++k) {
      spectrum[k][0] /= shape.transform_size();
      spectrum[k][1] /= shape.transform_size();
    }
  }
  spectra[reference_index] = std::move(partitioned);
  used_partitions[reference_index] = used;
}

// total += drive × part over one spectrum_stride of complex values (the
// padding is zero throughout). Over plain doubles, every load before the
// stores, the compiler vectorises it.
void multiply_add(double* total, const double* drive, const double* part, int stride)
{
  for (int v = 0; v < 2 * stride; v += 2) {
    const double drive_re = drive[v];
    const double drive_im = drive[v + 1];
    const double part_re = part[v];
    const double part_im = part[v + 1];
    total[v] += drive_re * part_re - drive_im * part_im;
    total[v + 1] += drive_re * part_im + drive_im * part_re;
  }
}

// One level's drive: the chunk before and the chunk being filled (what the
// newest spectrum transforms), and the spectra of the last partition_count
// chunks, a ring.
class tlevel_drive {
 public:
  explicit tlevel_drive(const tlevel_shape& level_shape) : shape_(level_shape) {}

  // Where the chunk being filled starts; the one before it stays behind.
  double* chunk() { return window_.get() + shape_.partition_taps; }
  // Transforms the window once its chunk is complete, as the newest spectrum.
  void transform(const tlevel_filters& filters)
  {
    newest_ = (newest_ + 1) % shape_.partition_count;
    fftw_execute_dft_r2c(filters.forward.get(), window_.get(), spectrum(newest_));
  }
  // Makes the complete chunk the one before, for the next to be filled.
  void advance()
  {
    std::copy(window_.get() + shape_.partition_taps, window_.get() + shape_.transform_size(), window_.get());
  }
  // Partition p meets the drive of p chunks before the newest; the sum's
  // inverse holds the next chunk's output in its second half, output().
  void convolve(const tlevel_filters& filters, std::size_t reference_index);
  const double* output() const { return convolved_.get() + shape_.partition_taps; }

 private:
  fftw_complex* spectrum(int slot) { return drive_spectra_.get() + slot * shape_.spectrum_stride(); }

  tlevel_shape shape_;
  fftw::treal_buffer window_ = fftw::make_real_buffer(index_of(shape_.transform_size()));
  fftw::tcomplex_buffer drive_spectra_ =
      fftw::make_complex_buffer(index_of(shape_.partition_count * shape_.spectrum_stride()));
  int newest_ = 0;
  fftw::tcomplex_buffer sum_ = fftw::make_complex_buffer(index_of(shape_.spectrum_stride()));
  fftw::treal_buffer convolved_ = fftw::make_real_buffer(index_of(shape_.transform_size()));
};

void tlevel_drive::convolve(const tlevel_filters& filters, std::size_t reference_index)
{
  const int stride = shape_.spectrum_stride();
  const int count = shape_.partition_count;
  const fftw_complex* filter = filters.spectra[reference_index].get();
  const int used = filters.used_partitions[reference_index];
  if (used == 0) {
    std::fill_n(convolved_.get() + shape_.partition_taps, shape_.partition_taps, 0.0);
    return;
  }
  std::fill_n(&sum_[0][0], 2 * stride, 0.0);
  for (int p = 0; p < used; ++p) {
    const int slot = (newest_ - p + count) % count;
    multiply_add(&sum_[0][0], &spectrum(slot)[0][0], &filter[p * stride][0], stride);
  }
  // The inverse transform overwrites the sum; it is scratch by now.
  fftw_execute_dft_c2r(filters.backward.get(), sum_.get(), convolved_.get());
}

int whole_blocks(int frames)
{
  return (frames + block_frames - 1) / block_frames * block_frames;
}

void delay_one_sample(std::array<double, block_frames>& channel, double& carried)
{
  for (double& sample : channel) std::swap(sample, carried);
}

}  // namespace

class tfixture_model {
 public:
  explicit tfixture_model(const tfixture_config& config);

  // The right channel's filter for each reference, in two levels.
  tlevel_filters head{head_shape};
  tlevel_filters tail{tail_shape};
  std::array<bool, reference_count> right_silent{};  // the filter is zero: skip it
  std::array<double, reference_count> latency_seconds{};
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
  tsampled_responses sampled = sampled_responses(circuit);
  const int least_frames = static_cast<int>(std::lround(fixture_least_latency_seconds * fixture_sample_rate_hz));
  for (std::size_t r = 0; r < reference_count; ++r) {
    right_silent[r] = sampled.silent[r];
    const fftw::treal_buffer taps = design_taps(std::move(sampled.samples[r]), design_backward);
    const int remembered_frames = significant_taps(taps, sampled.largest_gain[r]);
    latency_seconds[r] =
        std::clamp(whole_blocks(remembered_frames), least_frames, design_size) / fixture_sample_rate_hz;
    head.design(r, taps);
    tail.design(r, taps);
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

double fixture_latency_seconds(const tfixture_model& model, int reference_index)
{
  return model.latency_seconds[index_of(std::clamp(reference_index, 0, reference_count - 1))];
}

double fixture_latency_seconds(const tfixture_model& model)
{
  return *std::max_element(model.latency_seconds.begin(), model.latency_seconds.end());
}

struct tsignal_path::tstate {
  explicit tstate(tfixture_model_ptr initial) : model(std::move(initial)), generator(model->noise_seed) {}

  void take_drive(std::span<const std::int16_t, played_block_samples> played, double playback_gain);
  void convolve_right(int reference_index, trecorded_block& recorded);
  void add_noise(trecorded_block& recorded);
  // The drive as the converters deliver it, fixture_converter_delay_frames late.
  const double* delayed_drive() const { return drive_history.data(); }

  tfixture_model_ptr model;
  tlevel_drive head{head_shape};
  tlevel_drive tail{tail_shape};
  int blocks_in_chunk = 0;  // of the tail's chunk being filled, this block's included
  // The reference the tail's output for the chunk being filled was
  // convolved for; none (−1) once a chunk completes or the model changes.
  int tail_reference = -1;
  // The drive of the blocks the converters still hold, oldest first, and this block's.
  std::array<double, fixture_converter_delay_frames + block_frames> drive_history{};
  double carried_left = 0.0;  // last sample of each channel, for the one-sample delay
  double carried_right = 0.0;
  std::mt19937_64 generator;
  std::normal_distribution<double> gaussian;
};

// The drive spectra hold the drive alone, not its filtered partial sums, so
// that a new reference or model filters the whole history from the next
// block on.
void tsignal_path::tstate::take_drive(std::span<const std::int16_t, played_block_samples> played,
                                      double playback_gain)
{
  if (blocks_in_chunk == blocks_per_chunk) {
    tail.transform(model->tail);
    tail.advance();
    blocks_in_chunk = 0;
    tail_reference = -1;
  }
  head.advance();
  double* samples = head.chunk();
  for (int i = 0; i < block_frames; ++i) samples[i] = playback_gain * played[index_of(2 * i)];
  head.transform(model->head);
  std::copy_n(samples, block_frames, tail.chunk() + blocks_in_chunk * block_frames);
  ++blocks_in_chunk;
  std::copy(drive_history.begin() + block_frames, drive_history.end(), drive_history.begin());
  std::copy_n(samples, block_frames, drive_history.end() - block_frames);
}

// The head holds this block's output; the tail's, convolved once a chunk
// from the chunks before, the rest.
void tsignal_path::tstate::convolve_right(int reference_index, trecorded_block& recorded)
{
  const std::size_t reference = index_of(reference_index);
  if (tail_reference != reference_index) {
    tail.convolve(model->tail, reference);
    tail_reference = reference_index;
  }
  head.convolve(model->head, reference);
  const double* head_output = head.output();
  const double* tail_block = tail.output() + (blocks_in_chunk - 1) * block_frames;
  for (int i = 0; i < block_frames; ++i) recorded.right[index_of(i)] = head_output[i] + tail_block[i];
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
  state_->tail_reference = -1;
  return model;
}

const tfixture_model& tsignal_path::model() const
{
  return *state_->model;
}

void tsignal_path::process(std::span<const std::int16_t, played_block_samples> played, int reference_index,
                           trecorded_block& recorded, double capture_gain, double playback_gain)
{
  tstate& state = *state_;
  const tfixture_model& model = *state.model;
  const int reference = std::clamp(reference_index, 0, reference_count - 1);

  state.take_drive(played, playback_gain);
  if (model.right_silent[index_of(reference)]) {
    recorded.right.fill(0.0);
  } else {
    state.convolve_right(reference, recorded);
  }
  const double* drive = state.delayed_drive();
  for (int i = 0; i < block_frames; ++i) recorded.left[index_of(i)] = model.left_gain * drive[i];
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
