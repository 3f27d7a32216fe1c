// SPDX-License-Identifier: MIT
// What the fuzz targets share: a quiet process, the checks a parsed dive must pass, and the
// simulated dive computer they open.
#pragma once

#include "parse/dive_record.h"

#include <string>

namespace divebridge::fuzz {

// The event lines and the simulator's reasons for refusing an image would drown the fuzzer's own
// output: both go nowhere. Sanitizer reports and libFuzzer write to the file descriptor itself and
// stay visible.
void silenceDiagnostics();

// Aborts when a parsed record breaks what the Java conversion relies on: the time column holds one
// present cell per row, and every other column holds at least one cell per row.
void requireConsistentRecord(const DiveRecord &record);

// Aborts when a libdivecomputer handle outlived the call that created it.
void requireHandlesReleased(unsigned int before);

// The catalogue model every target opens, and a fresh path for its image in the temporary
// directory, distinct for each process.
extern const char *const fuzzVendor;
extern const char *const fuzzProduct;
std::string imagePath(const char *purpose);

// Writes `size` bytes to `path`, replacing the file.
void writeFile(const std::string &path, const unsigned char *data, std::size_t size);

}  // namespace divebridge::fuzz
