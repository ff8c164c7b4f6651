// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound_devices.h"

namespace waveio {

namespace {
std::vector<twave_backend*> families(tportaudio_backend* real_cards, tsimulated_fixture& fixture)
{
  std::vector<twave_backend*> list;
  if (real_cards != nullptr) list.push_back(real_cards);
  list.push_back(&fixture);
  return list;
}
}  // namespace

tsound_devices::tsound_devices(tsimulated_fixture::treference_source reference_index, bool real_cards)
    : real_cards_(real_cards ? std::make_unique<tportaudio_backend>() : nullptr),
      fixture_(std::move(reference_index)),
      catalog_(families(real_cards_.get(), fixture_))
{
}

}  // namespace waveio
