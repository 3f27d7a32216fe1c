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
