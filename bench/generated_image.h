// SPDX-License-Identifier: MIT
// Dive computer images of any size for the benchmarks: D copies of one generated dive of R rows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace divebridge::bench {

// The catalogue model the generated images claim to be.
extern const char *const benchVendor;
extern const char *const benchModel;

// One dive of `rows` time samples ten seconds apart, each with a depth, a pressure and a
// temperature (four present cells and an empty event cell per row, a typical logbook's density),
// made on New Year's Day of `year`.
std::string generatedDive(std::uint32_t rows, int year = 2024);

// `count` copies of generatedDive(rows, year), each a day after the one before.
struct DiveRun {
    std::uint32_t count;
    std::uint32_t rows;
    int year;
};

// An image of the runs' dives in order, with `members` (JSON members, such as a transfer) before
// its dives.
std::string generatedImage(const std::vector<DiveRun> &runs, const std::string &members);

// An image holding `dives` copies of generatedDive(rows), each a day after the one before.
std::string generatedImage(std::uint32_t dives, std::uint32_t rows);

// Writes generatedImage(dives, rows) to `path`.
void writeGeneratedImage(const std::string &path, std::uint32_t dives, std::uint32_t rows);
// Writes `image` to `path`.
void writeImage(const std::string &path, const std::string &image);

}  // namespace divebridge::bench
