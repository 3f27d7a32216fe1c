// The native form of one downloaded dive: summary values, gas mixes, tanks and the sample table.
#pragma once

#include <libdivecomputer/datetime.h>
#include <libdivecomputer/parser.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace divebridge {

// An optional cell holds its value inline: absent and present-with-zero stay apart, copies are
// independent values, and a cell costs no allocation of its own.
using OptionalFloat = std::optional<float>;
using OptionalDouble = std::optional<double>;
using OptionalLong = std::optional<std::int32_t>;

// One row per time sample: cell i of every column belongs to row i (see padColumns).
struct DiveProfile {
    std::uint32_t rowCount = 0;
    std::vector<OptionalFloat> times;         // seconds since the start of the dive
    std::vector<OptionalFloat> depths;        // metres
    std::vector<OptionalFloat> pressures;     // bar
    std::vector<OptionalFloat> temperatures;  // degrees Celsius
    std::vector<OptionalLong> events;         // libdivecomputer's event type code
};

struct DiveRecord {
    std::vector<dc_gasmix_t> gasMixes;
    std::vector<dc_tank_t> tanks;
    OptionalDouble averageDepth;        // metres
    OptionalDouble minimumTemperature;  // degrees Celsius
    dc_datetime_t dateTime{};           // all zero when the dive computer does not report it
    double diveTime = 0;                // seconds
    double maxDepth = 0;                // metres
    DiveProfile profile;
};

}  // namespace divebridge
