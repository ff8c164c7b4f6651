// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// FFTW for the simulated fixture: aligned buffers and plans as RAII objects.
//
// FFTW's planner is not thread-safe, so every plan is made and destroyed under
// one process-wide lock (`planner_mutex`); executing a plan with the
// new-array functions is thread-safe. Plans are made with FFTW_ESTIMATE, so
// that the same configuration gives bit-identical signals on every run.
//
// Internal to quarvel_audio_sim: include only from its .cpp files.

#include <fftw3.h>

#include <cstddef>
#include <memory>
#include <mutex>

namespace waveio::fftw {

// Every caller of the FFTW planner in the process must hold this lock.
std::mutex& planner_mutex();

struct tfree {
  void operator()(void* data) const { fftw_free(data); }
};

// SIMD-aligned, zeroed arrays: a plan made on one executes on any other.
using treal_buffer = std::unique_ptr<double[], tfree>;
using tcomplex_buffer = std::unique_ptr<fftw_complex[], tfree>;
treal_buffer make_real_buffer(std::size_t count);
tcomplex_buffer make_complex_buffer(std::size_t count);

// An owned plan; destroyed under the planner lock.
class tplan {
 public:
  tplan() = default;
  explicit tplan(fftw_plan plan) : plan_(plan) {}
  tplan(tplan&& other) noexcept : plan_(other.plan_) { other.plan_ = nullptr; }
  tplan& operator=(tplan&& other) noexcept;
  tplan(const tplan&) = delete;
  tplan& operator=(const tplan&) = delete;
  ~tplan();

  fftw_plan get() const { return plan_; }

 private:
  fftw_plan plan_ = nullptr;
};

// Out-of-place real transforms of length `size`: `size` reals, size / 2 + 1
// complex values. The arrays serve only for planning (made by the helpers
// above). Throw std::runtime_error if FFTW cannot plan.
tplan plan_forward(int size);
tplan plan_backward(int size);

}  // namespace waveio::fftw
