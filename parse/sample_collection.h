// SPDX-License-Identifier: MIT
// Collection of a dive's sample stream into the aligned columns of a DiveProfile.
#pragma once

#include "parse/detail_collection.h"
#include "parse/dive_record.h"
#include "parse/parser_adapter.h"

#include <libdivecomputer/parser.h>

#include <cstdint>
#include <exception>

namespace divebridge {

// Fills a profile while libdivecomputer walks the samples. A failure inside the callback (only
// exhausted memory) is held here, since it must not unwind through libdivecomputer's C frames.
struct SampleCollector {
    DiveProfile &profile;
    std::exception_ptr failure;
    // The tank whose readings fill the pressure column: tank 0, the dive's first tank, or until it
    // reads, the lowest tank that has read so far. Readings of other tanks are left out, so that a
    // row holds one pressure of one tank.
    std::uint32_t pressureTank = noPressureTank;
    // What the application takes beyond the profile, when it takes anything.
    DetailCollector *details = nullptr;

    static constexpr std::uint32_t noPressureTank = 0xFFFFFFFFu;
};

// Appends null cells to each column until it holds at least `length` cells.
void padColumns(DiveProfile &profile, std::uint32_t length);

// libdivecomputer's sample callback; `userdata` is a SampleCollector. The profile alone: a walk
// without details does no more work per sample than that.
void sampleCallback(dc_sample_type_t type, SampleValueArgument value, void *userdata);

// The same, with the collector's details besides.
void detailedSampleCallback(dc_sample_type_t type, SampleValueArgument value, void *userdata);

// Walks the parser's samples into a complete profile, and into `details` when given; raises
// Exception "Error parsing the sample data." on any status but success.
DiveProfile readProfile(dc_parser_t *parser, DetailCollector *details = nullptr);

}  // namespace divebridge
