// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A measured curve in the forms other programs read: the .zma text of
// loudspeaker and crossover design programs, and CSV with every point's
// figures; and an imported curve read at a measured point's frequency, to
// draw or list beside it.
//
// Pure functions; any thread.

#include "engine/analyser/analyser_measurement.h"
#include "engine/analyser/zma_text.h"

#include <optional>
#include <string>
#include <vector>

namespace lcr {

// |Z| in ohm and the phase in degrees of every row.
std::vector<tzma_point> analyser_zma_points(const std::vector<tanalyser_row>& rows);

// The .zma text, its comment lines saying what measured it.
std::string analyser_zma_text(const std::vector<tanalyser_row>& rows, const std::vector<std::string>& comments);

std::string analyser_csv_text(const std::vector<tanalyser_row>& rows);

// The imported curve at `frequency_hz`: |Z| and phase interpolated linearly
// over log frequency between its neighbours (the phase along the shorter
// way round); nothing outside its range.
std::optional<tzma_point> zma_point_at(const std::vector<tzma_point>& curve, double frequency_hz);

}  // namespace lcr
