// SPDX-License-Identifier: MIT
// Parsing of one downloaded dive into a DiveRecord through libdivecomputer's parser.
#pragma once

#include "base/libdivecomputer_handles.h"
#include "parse/dive_record.h"

#include <libdivecomputer/device.h>
#include <libdivecomputer/parser.h>

#include <memory>

namespace divebridge {

// Owns one libdivecomputer parser for the duration of one dive. Destroying it never throws: a
// failing dc_parser_destroy is only reported on standard output.
class DiveParser {
  public:
    // Raises Exception "Error creating the parser." or "Error registering the data.".
    DiveParser(dc_device_t *device, const unsigned char *data, unsigned int size);

    dc_parser_t *handle() const { return parser.get(); }

  private:
    ParserHandle parser;
};

// Reads the summary fields, gas mixes, tanks and samples in libdivecomputer call order, then the
// further fields when `details` asks for them; the first failing read of the dive's own raises
// its Exception and nothing after it is read. The details asked for are collected on the way.
DiveRecord parseDive(const DiveParser &parser, const DetailKinds &details = {});

// Parses one dive's bytes, as delivered by the dive callback, into a complete record.
DiveRecord parseDiveData(dc_device_t *device, const unsigned char *data, unsigned int size,
                         const DetailKinds &details = {});

}  // namespace divebridge
