// Dive computer images of any size for the benchmarks: D copies of one generated dive of R rows.
#pragma once

#include <cstdint>
#include <string>

namespace divebridge::bench {

// The catalogue model the generated images claim to be.
extern const char *const benchVendor;
extern const char *const benchModel;

// One dive of `rows` time samples ten seconds apart, each with a depth, a pressure and a
// temperature (four present cells and an empty event cell per row, a typical logbook's density).
std::string generatedDive(std::uint32_t rows);

// An image holding `dives` copies of generatedDive(rows), each a day after the one before.
std::string generatedImage(std::uint32_t dives, std::uint32_t rows);

// Writes generatedImage(dives, rows) to `path`.
void writeGeneratedImage(const std::string &path, std::uint32_t dives, std::uint32_t rows);

}  // namespace divebridge::bench
