// SPDX-License-Identifier: MIT
#include "parse/sample_collection.h"

#include "base/native_exception.h"

#include <cstring>

namespace divebridge {
namespace {

// A lower tank than the one collected so far takes the column over: the rows before its first
// reading have none of it.
void collectPressure(SampleCollector &collector, std::uint32_t tank, double bar) {
    DiveProfile &profile = collector.profile;
    if (tank > collector.pressureTank) {
        return;
    }
    if (tank < collector.pressureTank) {
        collector.pressureTank = tank;
        profile.pressures.clear();
        profile.pressures.padTo(profile.rowCount >= 1 ? profile.rowCount - 1 : 0);
    }
    profile.pressures.push(static_cast<float>(bar));
}

void collectSample(SampleCollector &collector, std::uint32_t kind, const dc_sample_value_t &value) {
    DiveProfile &profile = collector.profile;
    switch (kind) {
        case DC_SAMPLE_TIME:
            if (profile.rowCount >= 1) {
                padColumns(profile, profile.rowCount);
            }
            ++profile.rowCount;
            profile.times.push(sampleTimeSeconds(value));
            break;
        case DC_SAMPLE_DEPTH:
            profile.depths.push(static_cast<float>(value.depth));
            break;
        case DC_SAMPLE_PRESSURE:
            collectPressure(collector, value.pressure.tank, value.pressure.value);
            break;
        case DC_SAMPLE_TEMPERATURE:
            profile.temperatures.push(static_cast<float>(value.temperature));
            break;
        case DC_SAMPLE_EVENT:
            profile.events.push(static_cast<std::int32_t>(value.event.type));
            break;
        default:
            break;  // other sample kinds are not kept
    }
}

}  // namespace

void padColumns(DiveProfile &profile, std::uint32_t length) {
    profile.times.padTo(length);
    profile.depths.padTo(length);
    profile.pressures.padTo(length);
    profile.temperatures.padTo(length);
    profile.events.padTo(length);
}

namespace {

// libdivecomputer is C: a newer release may deliver kinds beyond this header's enumeration, and
// loading such a value as the enumeration is undefined. It is read as the number it is.
std::uint32_t kindOf(dc_sample_type_t type) {
    static_assert(sizeof(type) == sizeof(std::uint32_t), "dc_sample_type_t is 32 bits wide");
    std::uint32_t kind;
    std::memcpy(&kind, &type, sizeof kind);
    return kind;
}

}  // namespace

void sampleCallback(dc_sample_type_t type, SampleValueArgument value, void *userdata) {
    auto &collector = *static_cast<SampleCollector *>(userdata);
    if (collector.failure) {
        return;  // the walk has failed already; the rest of the samples is ignored
    }
    try {
        collectSample(collector, kindOf(type), sampleValueOf(value));
    } catch (...) {
        collector.failure = std::current_exception();
    }
}

// The profile's own collection stays the one call site of collectSample, where it is inlined: a
// walk without details runs exactly the code it ran before details existed.
void detailedSampleCallback(dc_sample_type_t type, SampleValueArgument value, void *userdata) {
    sampleCallback(type, value, userdata);
    auto &collector = *static_cast<SampleCollector *>(userdata);
    if (collector.failure) {
        return;
    }
    try {
        collector.details->collect(kindOf(type), sampleValueOf(value), collector.profile.rowCount);
    } catch (...) {
        collector.failure = std::current_exception();
    }
}

DiveProfile readProfile(dc_parser_t *parser, DetailCollector *details) {
    DiveProfile profile;
    SampleCollector collector{profile, nullptr};
    collector.details = details;
    const dc_status_t status = dc_parser_samples_foreach(
        parser, details != nullptr ? detailedSampleCallback : sampleCallback, &collector);
    if (collector.failure) {
        std::rethrow_exception(collector.failure);
    }
    if (status != DC_STATUS_SUCCESS) {
        throw Exception(status, "Error parsing the sample data.");
    }
    if (profile.rowCount >= 1) {
        padColumns(profile, profile.rowCount);
    }
    return profile;
}

}  // namespace divebridge
