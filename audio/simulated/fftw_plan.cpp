// SPDX-License-Identifier: GPL-3.0-or-later
#include "fftw_plan.h"

#include <stdexcept>

namespace waveio::fftw {

std::mutex& planner_mutex()
{
  static std::mutex mutex;
  return mutex;
}

treal_buffer make_real_buffer(std::size_t count)
{
  treal_buffer buffer(fftw_alloc_real(count));
  if (!buffer) throw std::bad_alloc();
  for (std::size_t i = 0; i < count; ++i) buffer[i] = 0.0;
  return buffer;
}

tcomplex_buffer make_complex_buffer(std::size_t count)
{
  tcomplex_buffer buffer(fftw_alloc_complex(count));
  if (!buffer) throw std::bad_alloc();
  for (std::size_t i = 0; i < count; ++i) {
    buffer[i][0] = 0.0;
    buffer[i][1] = 0.0;
  }
  return buffer;
}

tplan& tplan::operator=(tplan&& other) noexcept
{
  if (this != &other) {
    tplan discarded(plan_);
    plan_ = other.plan_;
    other.plan_ = nullptr;
  }
  return *this;
}

tplan::~tplan()
{
  if (plan_ == nullptr) return;
  const std::lock_guard lock(planner_mutex());
  fftw_destroy_plan(plan_);
}

namespace {

std::size_t half_spectrum(int size)
{
  return static_cast<std::size_t>(size) / 2 + 1;
}

tplan checked(fftw_plan plan)
{
  if (plan == nullptr) throw std::runtime_error("FFTW could not plan a transform");
  return tplan(plan);
}

}  // namespace

tplan plan_forward(int size)
{
  const treal_buffer in = make_real_buffer(static_cast<std::size_t>(size));
  const tcomplex_buffer out = make_complex_buffer(half_spectrum(size));
  const std::lock_guard lock(planner_mutex());
  return checked(fftw_plan_dft_r2c_1d(size, in.get(), out.get(), FFTW_ESTIMATE));
}

tplan plan_backward(int size)
{
  const tcomplex_buffer in = make_complex_buffer(half_spectrum(size));
  const treal_buffer out = make_real_buffer(static_cast<std::size_t>(size));
  const std::lock_guard lock(planner_mutex());
  return checked(fftw_plan_dft_c2r_1d(size, in.get(), out.get(), FFTW_ESTIMATE));
}

}  // namespace waveio::fftw
