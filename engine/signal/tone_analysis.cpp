// SPDX-License-Identifier: GPL-3.0-or-later
#include "tone_analysis.h"

#include "engine/core/complex_math.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace lcr {

void dft_setup(tdft& dft, int divisor, int factor, int rate)
{
  dft.factor2 = 2 * factor;
  dft.n = divisor > 0 ? std::max((dft.factor2 * rate) / divisor, 0) : 0;
  const auto n = static_cast<std::size_t>(dft.n);
  tdata cos_table(n);
  tdata negsin_table(n);
  for (std::size_t i = 0; i < n; ++i) {
    // The angle is formed in extended precision and kept as a double, as the
    // reference tables were; the functions then run in extended precision too.
    const auto angle = static_cast<double>(static_cast<long double>(i) * 2.0L * pi_extended /
                                           static_cast<long double>(n));
    cos_table[i] = static_cast<double>(std::cos(static_cast<long double>(angle)));
    negsin_table[i] = static_cast<double>(-std::sin(static_cast<long double>(angle)));
  }
  dft.cos = std::move(cos_table);
  dft.negsin = std::move(negsin_table);
  dft.data = tdata(2 * n, 0.0);
  dft.re = 0.0;
  dft.im = 0.0;
}

void dft_bin(tdft& dft, int k)
{
  const int n = dft.n;
  if (n <= 0) {
    dft.re = 0.0;
    dft.im = 0.0;
    return;
  }
  const double* const samples = dft.data.data();
  const double* const cos_table = dft.cos.data();
  const double* const negsin_table = dft.negsin.data();
  // (k·i) mod n, stepped instead of divided: the index grows by k mod n and
  // wraps once whenever it reaches n.
  const int step = ((k % n) + n) % n;
  int index = 0;
  double sum_re = 0.0;
  double sum_im = 0.0;
  for (int i = 0; i < n; ++i) {
    sum_re += samples[i] * cos_table[index];
    sum_im += samples[i] * negsin_table[index];
    index += step;
    if (index >= n) index -= n;
  }
  dft.re = sum_re / n;
  dft.im = sum_im / n;
}

void ring_setup(tbuff& ring, int size)
{
  ring.size = std::max(size, 1);
  ring.data = tdata(static_cast<std::size_t>(ring.size), 0.0);
  ring.wpos = 0;
  ring.fill = 0;
}

void ring_put(tbuff& ring, std::span<const double> block)
{
  if (ring.size <= 0) return;  // not set up yet
  // A block longer than the ring leaves only its newest `size` samples.
  const auto size = static_cast<std::size_t>(ring.size);
  const std::size_t count = block.size();
  const std::size_t kept = std::min(count, size);
  std::size_t position = (static_cast<std::size_t>(ring.wpos) + (count - kept)) % size;
  std::span<const double> newest = block.subspan(count - kept);
  // At most two contiguous pieces: up to the ring's end, then from its start.
  const std::size_t first = std::min(kept, size - position);
  std::copy_n(newest.begin(), first, ring.data.begin() + static_cast<std::ptrdiff_t>(position));
  std::copy(newest.begin() + static_cast<std::ptrdiff_t>(first), newest.end(), ring.data.begin());
  position = (position + kept) % size;
  ring.wpos = static_cast<int>(position);
  ring.fill += static_cast<int>(count);
}

void ring_take(tbuff& ring, std::span<double> out, int skip, int n)
{
  if (ring.size <= 0) return;  // not set up yet
  const std::int64_t size = ring.size;
  // Reduced so that a fill far above size still gives an index in the ring.
  std::int64_t start = (static_cast<std::int64_t>(ring.wpos) + size + skip - ring.fill) % size;
  if (start < 0) start += size;
  // Whole turns of the ring first (n may exceed its size), then the rest, in
  // contiguous pieces.
  auto position = static_cast<std::size_t>(start);
  std::size_t copied = 0;
  const auto wanted = static_cast<std::size_t>(std::max(n, 0));
  while (copied < wanted) {
    const std::size_t piece = std::min(wanted - copied, static_cast<std::size_t>(size) - position);
    std::copy_n(ring.data.begin() + static_cast<std::ptrdiff_t>(position), piece,
                out.begin() + static_cast<std::ptrdiff_t>(copied));
    copied += piece;
    position = (position + piece) % static_cast<std::size_t>(size);
  }
  ring.fill -= skip;
}

void avg_setup(tavg& avg, int length)
{
  avg.length = std::max(length, 1);
  avg.data = tdata(static_cast<std::size_t>(avg.length), 0.0);
  avg.pos = 0;
  avg.count = 0;
}

double avg_push(tavg& avg, double value)
{
  if (avg.length <= 0) return value;  // not set up yet: nothing to average with
  avg.data[static_cast<std::size_t>(avg.pos)] = value;
  if (avg.count < avg.length) ++avg.count;
  double sum = 0.0;
  int position = avg.pos;
  for (int j = 0; j < avg.count; ++j) {
    sum += avg.data[static_cast<std::size_t>(position)];
    if (--position < 0) position = avg.length - 1;
  }
  avg.pos = (avg.pos + 1) % avg.length;
  return sum / avg.count;
}

int bin_of_frequency(int frequency_hz, int n, int rate)
{
  return static_cast<int>(static_cast<std::int64_t>(frequency_hz) * n / rate);
}

}  // namespace lcr
