// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/simulated/fixture_signal_path.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <vector>

namespace {

using namespace waveio;

using tplayed = std::array<std::int16_t, played_block_samples>;

// The converters' delay in blocks: a recorded block holds the drive played
// this many blocks before it.
constexpr int delay_blocks = fixture_converter_delay_frames / block_frames;
static_assert(delay_blocks * block_frames == fixture_converter_delay_frames);
constexpr auto delay_index = static_cast<std::size_t>(delay_blocks);

// A drive of every frequency: a fixed pseudo-random sequence on the left
// output, another on the right output (which the fixture ignores).
class tdrive {
 public:
  tplayed next_block()
  {
    tplayed played{};
    for (std::size_t i = 0; i < played.size(); ++i)
      played[i] = static_cast<std::int16_t>(next() % 60001 - 30000);
    return played;
  }

 private:
  std::uint32_t next()
  {
    state_ = state_ * 1664525u + 1013904223u;
    return state_ >> 8;
  }
  std::uint32_t state_ = 12345;
};

std::vector<trecorded_block> record(tsignal_path& path, int blocks, int reference_index = 2)
{
  tdrive drive;
  std::vector<trecorded_block> recorded(static_cast<std::size_t>(blocks));
  for (trecorded_block& block : recorded) path.process(drive.next_block(), reference_index, block);
  return recorded;
}

tfixture_config wired(twiring wiring)
{
  tfixture_config config;
  config.wiring = wiring;
  return config;
}

// Largest |right − factor × left| over all blocks after the first `skip`.
double worst_deviation(const std::vector<trecorded_block>& blocks, double factor, std::size_t skip = 0)
{
  double worst = 0.0;
  for (std::size_t b = skip; b < blocks.size(); ++b) {
    for (std::size_t i = 0; i < block_frames; ++i) {
      worst = std::max(worst, std::fabs(blocks[b].right[i] - factor * blocks[b].left[i]));
    }
  }
  return worst;
}

// A flat response passes any signal unchanged, delay_blocks late on both
// inputs (the converters' delay): the FIR is then that delay, to rounding,
// from the very first block.
TEST(FixtureSignalPath, TestFixturesPassEverySampleUnchanged)
{
  tsignal_path one(wired(twiring::test_fixture_1));
  const std::vector<trecorded_block> blocks_one = record(one, delay_blocks + 5);
  EXPECT_LT(worst_deviation(blocks_one, 1.0), 1e-9);
  tdrive drive;
  const tplayed first = drive.next_block();
  for (std::size_t b = 0; b < delay_index; ++b) {
    EXPECT_EQ(blocks_one[b].left, trecorded_block{}.left) << b;
    EXPECT_LT(worst_deviation({blocks_one[b]}, 0.0), 1e-9) << b;  // nor anything on the right
  }
  EXPECT_EQ(blocks_one[delay_index].left[0], 0.75 * first[0]);
  EXPECT_EQ(blocks_one[delay_index].left[1279], 0.75 * first[2558]);
  EXPECT_NEAR(blocks_one[delay_index].right[1279], 0.75 * first[2558], 1e-9);

  tsignal_path two(wired(twiring::test_fixture_2));
  EXPECT_LT(worst_deviation(record(two, delay_blocks + 5), 0.5), 1e-9);
}

TEST(FixtureSignalPath, PositionStatesGiveTheirFixedRatios)
{
  const struct {
    treference_state reference;
    tdevice_state device;
    double ratio;
  } cases[] = {
      {treference_state::open, tdevice_state::device_under_test, 0.0},
      {treference_state::shorted, tdevice_state::device_under_test, 1.0},
      {treference_state::fitted, tdevice_state::open, 1.0},
      {treference_state::fitted, tdevice_state::shorted, 0.0},
      {treference_state::shorted, tdevice_state::shorted, 0.0},
      {treference_state::open, tdevice_state::open, 0.0},
      {treference_state::fitted, tdevice_state::known_resistor, 0.5},  // 1 kΩ against 1 kΩ
  };
  for (const auto& c : cases) {
    tfixture_config config;
    config.dut_network = "R=100|C=1u";
    config.reference_state = c.reference;
    config.device_state = c.device;
    config.known_resistance_ohm = 1000.0;
    tsignal_path path(config);
    const std::vector<trecorded_block> blocks = record(path, delay_blocks + 5);
    EXPECT_LT(worst_deviation(blocks, c.ratio), 1e-9)
        << static_cast<int>(c.reference) << static_cast<int>(c.device);
    if (c.ratio == 0.0) {
      EXPECT_EQ(blocks[delay_index + 2].right[100], 0.0);  // no filter at all, not a small one
    }
  }
}

TEST(FixtureSignalPath, OneSampleDelayCarriesAcrossBlocks)
{
  for (const tdelayed_channel delayed : {tdelayed_channel::left, tdelayed_channel::right}) {
    tfixture_config config = wired(twiring::test_fixture_1);
    config.delayed_channel = delayed;
    tsignal_path path(config);
    tdrive drive;
    const tplayed first = drive.next_block();
    const tplayed second = drive.next_block();
    // Each recorded block holds the block played delay_blocks before it:
    // block_1 the first, block_2 the second.
    trecorded_block block_1;
    trecorded_block block_2;
    path.process(first, 0, block_1);
    path.process(second, 0, block_1);
    for (int b = 2; b <= delay_blocks; ++b) path.process(tplayed{}, 0, block_1);
    path.process(tplayed{}, 0, block_2);
    const auto& late_1 = delayed == tdelayed_channel::left ? block_1.left : block_1.right;
    const auto& late_2 = delayed == tdelayed_channel::left ? block_2.left : block_2.right;
    const auto& on_time_2 = delayed == tdelayed_channel::left ? block_2.right : block_2.left;
    EXPECT_NEAR(late_1[0], 0.0, 1e-9);
    EXPECT_NEAR(late_1[1], 0.75 * first[0], 1e-9);
    EXPECT_NEAR(late_2[0], 0.75 * first[2 * 1279], 1e-9);  // last frame of the block before
    EXPECT_NEAR(late_2[1], 0.75 * second[0], 1e-9);
    EXPECT_NEAR(on_time_2[0], 0.75 * second[0], 1e-9);
    EXPECT_NEAR(on_time_2[1279], 0.75 * second[2 * 1279], 1e-9);
  }
}

TEST(FixtureSignalPath, SwapExchangesTheRecordedChannels)
{
  tfixture_config config = wired(twiring::test_fixture_2);
  config.swap_channels = true;
  tsignal_path path(config);
  const std::vector<trecorded_block> blocks = record(path, delay_blocks + 3);
  tdrive drive;
  EXPECT_NEAR(blocks[delay_index].right[7], 0.75 * drive.next_block()[14], 1e-9);
  double worst = 0.0;
  for (const trecorded_block& block : blocks) {
    for (std::size_t i = 0; i < block_frames; ++i)
      worst = std::max(worst, std::fabs(block.left[i] - 0.5 * block.right[i]));
  }
  EXPECT_LT(worst, 1e-9);
}

TEST(FixtureSignalPath, OpenInputsRecordNoiseOfTheSetLevel)
{
  tfixture_config silent = wired(twiring::open_inputs);
  silent.crosstalk = 1e-3;  // of nothing
  tsignal_path quiet(silent);
  const std::vector<trecorded_block> nothing = record(quiet, 3);
  EXPECT_EQ(nothing[2].left, trecorded_block{}.left);
  EXPECT_EQ(nothing[2].right, trecorded_block{}.right);

  tfixture_config noisy = silent;
  noisy.noise_rms = 5.0;
  tsignal_path path(noisy);
  const std::vector<trecorded_block> blocks = record(path, 100);  // 128000 samples per channel
  double left_squares = 0.0;
  double right_squares = 0.0;
  double products = 0.0;
  double quantised_squares = 0.0;
  for (const trecorded_block& block : blocks) {
    std::array<std::int16_t, played_block_samples> codes{};
    quantise_block(block, codes);
    for (std::size_t i = 0; i < block_frames; ++i) {
      left_squares += block.left[i] * block.left[i];
      right_squares += block.right[i] * block.right[i];
      products += block.left[i] * block.right[i];
      quantised_squares += static_cast<double>(codes[2 * i]) * codes[2 * i];
    }
  }
  const double count = 100.0 * block_frames;
  EXPECT_NEAR(std::sqrt(left_squares / count), 5.0, 0.05);
  EXPECT_NEAR(std::sqrt(right_squares / count), 5.0, 0.05);
  EXPECT_LT(std::fabs(products / std::sqrt(left_squares * right_squares)), 0.015);  // independent channels
  // Rounding adds 1/12 of a step squared.
  EXPECT_NEAR(std::sqrt(quantised_squares / count), std::sqrt(25.0 + 1.0 / 12.0), 0.05);
}

TEST(FixtureSignalPath, ExchangedModelTakesEffectAtTheNextBlock)
{
  tfixture_config config;  // R=1k on reference index 2: half
  tsignal_path path(config);
  tplayed constant{};
  constant.fill(20000);
  trecorded_block block;
  for (int i = 0; i < delay_blocks + 4; ++i) path.process(constant, 2, block);
  EXPECT_NEAR(block.right[1279], 7500.0, 1e-9);

  config.device_state = tdevice_state::open;
  const tfixture_model_ptr previous = path.exchange_model(make_fixture_model(config));
  EXPECT_NE(previous, nullptr);
  path.process(constant, 2, block);
  EXPECT_NEAR(block.right[0], 15000.0, 1e-9);  // the drive history carried over

  // Switching the reference needs no new model.
  config.device_state = tdevice_state::device_under_test;
  path.exchange_model(make_fixture_model(config));
  path.process(constant, 0, block);
  EXPECT_NEAR(block.right[0], 15000.0 * 1000.0 / 1010.0, 1e-9);
}

// The same seed gives the same noise; a new model with the same seed goes on
// with it, one with another seed restarts from that seed.
TEST(FixtureSignalPath, NoiseFollowsItsSeed)
{
  tfixture_config config = wired(twiring::open_inputs);
  config.noise_rms = 2.0;
  tsignal_path continuous(config);
  tsignal_path exchanged(config);
  const std::vector<trecorded_block> reference = record(continuous, 2);
  trecorded_block block;
  tdrive drive;
  exchanged.process(drive.next_block(), 2, block);
  config.right_gain = 0.5;  // another model, same seed
  exchanged.exchange_model(make_fixture_model(config));
  exchanged.process(drive.next_block(), 2, block);
  EXPECT_EQ(block.left, reference[1].left);

  config.noise_seed = 99;  // a new seed restarts the generator
  exchanged.exchange_model(make_fixture_model(config));
  exchanged.process(drive.next_block(), 2, block);
  tsignal_path fresh(config);
  const trecorded_block fresh_first = record(fresh, 1)[0];
  EXPECT_EQ(block.left, fresh_first.left);
  EXPECT_NE(fresh_first.left, reference[0].left);
}

// A new reference or model filters the whole drive history from the next
// block on, in the middle of a ten-block chunk too: from then, the path
// records exactly what one that had used them all along records.
TEST(FixtureSignalPath, ANewReferenceOrModelFiltersTheWholeDriveHistory)
{
  tfixture_config config;
  config.dut_network = "R=100|C=1u";  // reactive: its filter spans every partition
  tfixture_config other = config;
  other.dut_network = "R=220+L=10m";
  tsignal_path switched(config);
  tsignal_path throughout(config);
  tsignal_path exchanged(config);
  tsignal_path other_throughout(other);
  tdrive drive;
  trecorded_block block_switched;
  trecorded_block block_throughout;
  trecorded_block block_exchanged;
  trecorded_block block_other;
  for (int block = 0; block < 48; ++block) {
    const tplayed played = drive.next_block();
    switched.process(played, block < 43 ? 2 : 4, block_switched);
    throughout.process(played, 4, block_throughout);
    if (block == 45) exchanged.exchange_model(make_fixture_model(other));
    exchanged.process(played, 4, block_exchanged);
    other_throughout.process(played, 4, block_other);
    if (block >= 43) {
      EXPECT_EQ(block_switched.right, block_throughout.right) << block;
    } else {
      EXPECT_NE(block_switched.right, block_throughout.right) << block;
    }
    if (block >= 45) {
      EXPECT_EQ(block_exchanged.right, block_other.right) << block;
    } else {
      EXPECT_NE(block_exchanged.right, block_other.right) << block;
    }
  }
}

TEST(FixtureQuantiser, RoundsToNearestAndClips)
{
  const struct {
    double value;
    std::int16_t code;
  } cases[] = {
      {0.0, 0},           {0.4999, 0},        {0.5, 0},         {1.5, 2},         {-0.5, 0},
      {-1.5, -2},         {2.5, 2},           {-2.6, -3},       {32766.4, 32766}, {32766.5, 32766},
      {32767.0, 32767},   {32767.5, 32767},   {40000.0, 32767}, {1e300, 32767},   {-32767.6, -32768},
      {-32768.0, -32768}, {-32768.7, -32768}, {-1e300, -32768},
  };
  for (const auto& c : cases) EXPECT_EQ(quantise_sample(c.value), c.code) << c.value;
}

TEST(FixtureQuantiser, InterleavesLeftFirstAndClipsAnOverdrivenInput)
{
  tfixture_config config = wired(twiring::test_fixture_2);
  config.left_gain = 2.0;
  config.right_gain = 2.0;
  tsignal_path path(config);
  tplayed played{};
  for (std::size_t i = 0; i < block_frames; ++i)
    played[2 * i] = static_cast<std::int16_t>(i % 2 == 0 ? 30000 : -30000);
  played[2] = 1001;
  trecorded_block block;
  path.process(played, 0, block);
  // The played block comes in delay_blocks later.
  for (int b = 0; b < delay_blocks; ++b) path.process(tplayed{}, 0, block);
  std::array<std::int16_t, played_block_samples> codes{};
  quantise_block(block, codes);
  EXPECT_EQ(codes[0], 32767);   // left, 60000
  EXPECT_EQ(codes[1], 30000);   // right, half
  EXPECT_EQ(codes[2], 2002);    // left, 2002
  EXPECT_EQ(codes[3], 1001);    // right, 1001
  EXPECT_EQ(codes[6], -32768);  // left, −60000
  EXPECT_EQ(codes[7], -30000);
}

}  // namespace
