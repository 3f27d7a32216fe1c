// SPDX-License-Identifier: MIT
#include "parse/detail_collection.h"

#include "parse/parser_adapter.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <string>

namespace divebridge {
namespace {

constexpr float absent = std::numeric_limits<float>::quiet_NaN();
// 0.9's DC_SENSOR_NONE and libdivecomputer's DC_GASMIX_UNKNOWN.
constexpr std::uint32_t noSensor = 0xFFFFFFFFu;
constexpr std::uint32_t unknownGasMix = 0xFFFFFFFFu;

constexpr const char *columnNames[] = {"gasmix",   "deco.type", "deco.depth", "deco.time",
                                       "deco.tts", "setpoint",  "cns",        "heartbeat",
                                       "bearing",  "rbt"};
static_assert(std::size(columnNames) == DetailCollector::columnCount, "a name for each column");

// A later value of a kind in the same row replaces the earlier one.
void setCell(DetailColumn &column, std::uint32_t row, float value) {
    if (column.size() <= row) {
        column.resize(static_cast<std::size_t>(row) + 1, absent);
    }
    column[row] = value;
}

std::int32_t bitsOf(std::uint32_t number) {
    return static_cast<std::int32_t>(number);
}

}  // namespace

void DetailCollector::collect(std::uint32_t kind, const dc_sample_value_t &value,
                              std::uint32_t rowCount) {
    const std::uint32_t row = rowCount == 0 ? 0 : rowCount - 1;
    switch (kind) {
        case DC_SAMPLE_TIME:
            ppo2InRow = 0;
            break;
        case DC_SAMPLE_PRESSURE:
            if (kinds.tankPressures) {
                collectPressure(value, row);
            }
            break;
        case DC_SAMPLE_EVENT:
            if (kinds.events) {
                collectEvent(value, rowCount);
            }
            break;
        default:
            if (kinds.sampleColumns) {
                collectColumn(kind, value, row);
            }
            break;
    }
}

void DetailCollector::collectPressure(const dc_sample_value_t &value, std::uint32_t row) {
    const std::uint32_t tank = value.pressure.tank;
    if (tank >= numberedColumnLimit) {
        return;
    }
    if (tankPressures.size() <= tank) {
        tankPressures.resize(static_cast<std::size_t>(tank) + 1);
    }
    setCell(tankPressures[tank], row, static_cast<float>(value.pressure.value));
}

void DetailCollector::collectEvent(const dc_sample_value_t &value, std::uint32_t rowCount) {
    events.rows.push_back(static_cast<std::int32_t>(rowCount) - 1);
    events.types.push_back(bitsOf(value.event.type));
    events.times.push_back(bitsOf(value.event.time));
    events.flags.push_back(bitsOf(value.event.flags));
    events.values.push_back(bitsOf(value.event.value));
}

void DetailCollector::set(Column column, std::uint32_t row, float value) {
    columns[column].reported = true;
    setCell(columns[column].cells, row, value);
}

void DetailCollector::collectColumn(std::uint32_t kind, const dc_sample_value_t &value,
                                    std::uint32_t row) {
    switch (kind) {
        case DC_SAMPLE_GASMIX:
            set(GasMix, row,
                value.gasmix == unknownGasMix ? -1.0f : static_cast<float>(value.gasmix));
            break;
        case DC_SAMPLE_DECO:
            set(DecoType, row, static_cast<float>(value.deco.type));
            set(DecoDepth, row, static_cast<float>(value.deco.depth));
            set(DecoTime, row, static_cast<float>(value.deco.time));
            if (decoHasTimeToSurface) {
                set(DecoTimeToSurface, row, static_cast<float>(decoTimeToSurfaceOf(value)));
            }
            break;
        case DC_SAMPLE_PPO2:
            collectPpo2(value, row);
            break;
        case DC_SAMPLE_SETPOINT:
            set(Setpoint, row, static_cast<float>(value.setpoint));
            break;
        case DC_SAMPLE_CNS:
            set(Cns, row, static_cast<float>(value.cns));
            break;
        case DC_SAMPLE_HEARTBEAT:
            set(Heartbeat, row, static_cast<float>(value.heartbeat));
            break;
        case DC_SAMPLE_BEARING:
            set(Bearing, row, static_cast<float>(value.bearing));
            break;
        case DC_SAMPLE_RBT:
            set(RemainingBottomTime, row, static_cast<float>(value.rbt));
            break;
        default:
            break;  // vendor samples and kinds of newer releases are not kept
    }
}

void DetailCollector::collectPpo2(const dc_sample_value_t &value, std::uint32_t row) {
    const std::uint32_t sensor = ppo2NamesItsSensor ? ppo2SensorOf(value) : ppo2InRow++;
    if (sensor >= numberedColumnLimit && sensor != noSensor) {
        return;
    }
    auto found = std::find_if(ppo2Columns.begin(), ppo2Columns.end(),
                              [&](const auto &column) { return column.first == sensor; });
    if (found == ppo2Columns.end()) {
        ppo2Columns.emplace_back(sensor, DetailColumn());
        found = ppo2Columns.end() - 1;
    }
    setCell(found->second, row, static_cast<float>(ppo2Of(value)));
}

std::vector<NamedColumn> DetailCollector::namedColumns(std::uint32_t rowCount) {
    std::vector<NamedColumn> named;
    const auto take = [&](std::string name, DetailColumn &cells) {
        cells.resize(rowCount, absent);
        named.push_back({std::move(name), std::move(cells)});
    };
    const auto takeColumns = [&](std::size_t first, std::size_t end) {
        for (std::size_t column = first; column < end; ++column) {
            if (columns[column].reported) {
                take(columnNames[column], columns[column].cells);
            }
        }
    };
    takeColumns(GasMix, Setpoint);
    // The value of no sensor first, then by sensor number.
    std::sort(ppo2Columns.begin(), ppo2Columns.end(),
              [](const auto &a, const auto &b) { return (a.first + 1) < (b.first + 1); });
    for (auto &[sensor, cells] : ppo2Columns) {
        take(sensor == noSensor ? "ppo2" : "ppo2." + std::to_string(sensor), cells);
    }
    takeColumns(Setpoint, columnCount);
    return named;
}

DiveDetails DetailCollector::finish(std::uint32_t rowCount) {
    DiveDetails details;
    for (DetailColumn &column : tankPressures) {
        column.resize(rowCount, absent);
    }
    details.tankPressures = std::move(tankPressures);
    details.sampleColumns = namedColumns(rowCount);
    details.events = std::move(events);
    return details;
}

}  // namespace divebridge
