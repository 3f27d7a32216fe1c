// SPDX-License-Identifier: MIT
// The parser calls whose form changed between libdivecomputer releases, in one form for the rest of
// the bridge. Releases 0.5 to 0.8 take a dive's bytes after creating the parser and pass samples by
// value with times in seconds; 0.9 creates the parser from the bytes and passes samples by pointer
// with times in milliseconds.
#pragma once

#include <libdivecomputer/parser.h>
#include <libdivecomputer/version.h>

namespace divebridge {

#if DC_VERSION_CHECK(0, 9, 0)
using SampleValueArgument = const dc_sample_value_t *;
inline const dc_sample_value_t &sampleValueOf(SampleValueArgument value) {
    return *value;
}
inline SampleValueArgument sampleArgumentOf(const dc_sample_value_t &value) {
    return &value;
}
constexpr double sampleTimeUnitsPerSecond = 1000.0;
#else
using SampleValueArgument = dc_sample_value_t;
inline const dc_sample_value_t &sampleValueOf(const SampleValueArgument &value) {
    return value;
}
inline SampleValueArgument sampleArgumentOf(const dc_sample_value_t &value) {
    return value;
}
constexpr double sampleTimeUnitsPerSecond = 1.0;
#endif

// A ppO2 sample's value and the sensor that measured it, and a deco sample's time to surface:
// 0.9 names the sensor (DC_SENSOR_NONE for a value of no sensor) and adds the time to surface;
// earlier releases deliver neither.
#if DC_VERSION_CHECK(0, 9, 0)
constexpr bool ppo2NamesItsSensor = true;
constexpr bool decoHasTimeToSurface = true;
inline double ppo2Of(const dc_sample_value_t &value) {
    return value.ppo2.value;
}
inline unsigned int ppo2SensorOf(const dc_sample_value_t &value) {
    return value.ppo2.sensor;
}
inline unsigned int decoTimeToSurfaceOf(const dc_sample_value_t &value) {
    return value.deco.tts;
}
#else
constexpr bool ppo2NamesItsSensor = false;
constexpr bool decoHasTimeToSurface = false;
inline double ppo2Of(const dc_sample_value_t &value) {
    return value.ppo2;
}
inline unsigned int ppo2SensorOf(const dc_sample_value_t &) {
    return 0;
}
inline unsigned int decoTimeToSurfaceOf(const dc_sample_value_t &) {
    return 0;
}
#endif

// A gas mix's or tank's use (dc_usage_t), which 0.9 added: 0, none in particular, before it.
template <typename Entry>
int usageOf(const Entry &entry) {
#if DC_VERSION_CHECK(0, 9, 0)
    return static_cast<int>(entry.usage);
#else
    static_cast<void>(entry);
    return 0;
#endif
}

// A time sample in seconds since the start of the dive, the nearest float to the library's value.
inline float sampleTimeSeconds(const dc_sample_value_t &value) {
    return static_cast<float>(static_cast<double>(value.time) / sampleTimeUnitsPerSecond);
}

// Which part of creating a parser failed: the parser itself, or the dive's bytes it was given.
enum class ParserStep { Creation, Data };

struct ParserCreation {
    dc_status_t status;
    ParserStep step;
};

// Creates a parser for one dive's bytes. `parser` receives the handle as soon as the library has
// delivered it, also when the bytes are then refused, so that the caller can destroy it.
ParserCreation createParser(dc_parser_t **parser, dc_device_t *device, const unsigned char *data,
                            unsigned int size);

}  // namespace divebridge
