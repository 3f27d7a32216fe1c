// SPDX-License-Identifier: MIT
// Collection of the details an application takes from a dive's sample stream: the pressure of
// every tank, the other sample kinds as named columns, and every event, each by its profile row.
#pragma once

#include "parse/dive_details.h"

#include <libdivecomputer/parser.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace divebridge {

// Tank and sensor numbers from here on are left out: a corrupt dive must not make millions of
// columns, and no dive computer numbers its tanks or sensors that far.
constexpr std::uint32_t numberedColumnLimit = 256;

class DetailCollector {
  public:
    explicit DetailCollector(const DetailKinds &kinds) : kinds(kinds) {}

    // One sample, after the profile has taken it: `rowCount` time samples have come so far, and a
    // value before the first one belongs to row 0.
    void collect(std::uint32_t kind, const dc_sample_value_t &value, std::uint32_t rowCount);

    // What was collected, each column holding `rowCount` cells.
    DiveDetails finish(std::uint32_t rowCount);

    static constexpr std::size_t columnCount = 10;

  private:
    // The sample kinds of one value each, in the order their columns are handed over; the ppO2
    // columns go after deco.tts.
    enum Column : std::size_t {
        GasMix,
        DecoType,
        DecoDepth,
        DecoTime,
        DecoTimeToSurface,
        Setpoint,
        Cns,
        Heartbeat,
        Bearing,
        RemainingBottomTime,
    };
    static_assert(RemainingBottomTime + 1 == columnCount, "columnCount counts the columns");

    struct ReportedColumn {
        bool reported = false;
        DetailColumn cells;
    };

    void collectColumn(std::uint32_t kind, const dc_sample_value_t &value, std::uint32_t row);
    void collectPpo2(const dc_sample_value_t &value, std::uint32_t row);
    void set(Column column, std::uint32_t row, float value);
    void collectEvent(const dc_sample_value_t &value, std::uint32_t rowCount);
    void collectPressure(const dc_sample_value_t &value, std::uint32_t row);
    std::vector<NamedColumn> namedColumns(std::uint32_t rowCount);

    DetailKinds kinds;
    std::array<ReportedColumn, columnCount> columns;
    // By sensor number (DC_SENSOR_NONE for the value of no sensor), or before 0.9 by the value's
    // place in its row.
    std::vector<std::pair<std::uint32_t, DetailColumn>> ppo2Columns;
    std::uint32_t ppo2InRow = 0;
    std::vector<DetailColumn> tankPressures;
    DiveEvents events;
};

}  // namespace divebridge
