// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The engine's signal types: a sample block, a single-bin discrete Fourier
// transform with precomputed tables, a sample ring that hands out analysis
// windows at a fixed stride, and a running-mean averager.
//
// Each record has one owner and is used from one thread (the streaming
// worker); the set-up operations allocate, the others never do. Samples are
// in sample units (the value of the signed 16-bit code).

#include <span>
#include <vector>

namespace lcr {

using tdata = std::vector<double>;

struct tdft {
  tdata data;            // analysis window; sized 2n, only the first n are used
  double re = 0.0;       // last result of dft_bin
  double im = 0.0;
  tdata negsin;          // negsin[i] = −sin(2πi/n)
  tdata cos;             // cos[i] = cos(2πi/n)
  int n = 0;             // transform length in samples
  int factor2 = 0;       // 2 × the factor given to dft_setup
};

struct tbuff {
  tdata data;            // ring storage, `size` elements
  int size = 0;          // capacity, at least 1 after ring_setup
  int wpos = 0;          // where the next sample goes
  int fill = 0;          // written and not yet consumed; may exceed size
};

struct tavg {
  tdata data;            // the last `length` values, circular
  int length = 0;        // averaging length, at least 1 after avg_setup
  int pos = 0;           // where the next value goes
  int count = 0;         // valid values, 0 … length
};

// n := (2·factor·rate) div divisor; fresh zeroed tables and a window of 2n.
// The angles 2πi/n are formed in extended precision before rounding.
void dft_setup(tdft& dft, int divisor, int factor, int rate);
// (re, im) := (1/n)·Σ data[i]·e^(−j2πki/n), summed in index order with every
// partial sum rounded to double. Requires 0 ≤ k; an empty transform gives 0.
void dft_bin(tdft& dft, int k);

void ring_setup(tbuff& ring, int size);
void ring_put(tbuff& ring, std::span<const double> block);
// Copies n samples starting at (wpos + size + skip − fill) mod size into out
// and consumes `skip` samples. `out` must hold at least n elements.
void ring_take(tbuff& ring, std::span<double> out, int skip, int n);

void avg_setup(tavg& avg, int length);
// Stores the value and returns the mean of the newest min(count, length)
// values, summed from the newest to the oldest.
double avg_push(tavg& avg, double value);

// Bin of a test frequency: (f·n) div rate.
int bin_of_frequency(int frequency_hz, int n, int rate);

}  // namespace lcr
