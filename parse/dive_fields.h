// SPDX-License-Identifier: MIT
// Reading of the summary fields an application may take beyond a dive's own: dive mode, water,
// surface pressure, surface and maximum temperature, and, where the release has them, the
// decompression model and the position of the entry.
#pragma once

#include "parse/dive_details.h"

#include <libdivecomputer/parser.h>

#include <vector>

namespace divebridge {

// Each field the parser reports, by name. A field it cannot give, for whatever status, is left
// out: these fields never cost a diver the dive.
std::vector<DiveField> readDiveFields(dc_parser_t *parser);

}  // namespace divebridge
