// SPDX-License-Identifier: MIT
#include "fuzz_support.h"

#include <dcsim/dcsim.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>

namespace divebridge::fuzz {

const char *const fuzzVendor = "Shearwater";
const char *const fuzzProduct = "Perdix";

void silenceDiagnostics() {
    static std::FILE *const nowhere = std::fopen("/dev/null", "w");
    if (nowhere == nullptr) {
        return;
    }
    // libFuzzer took its own copy of stderr at start-up; only later writers are redirected.
    stdout = nowhere;
    stderr = nowhere;
    std::cout.rdbuf(nullptr);
}

void requireConsistentRecord(const DiveRecord &record) {
    const DiveProfile &profile = record.profile;
    bool consistent = profile.times.size() == profile.rowCount;
    for (std::size_t row = 0; row < profile.times.size(); ++row) {
        consistent = consistent && profile.times[row].has_value();
    }
    if (profile.rowCount > 0) {
        consistent = consistent && profile.depths.size() >= profile.rowCount &&
                     profile.pressures.size() >= profile.rowCount &&
                     profile.temperatures.size() >= profile.rowCount &&
                     profile.events.size() >= profile.rowCount;
    }
    const DiveDetails &details = record.details;
    for (const DetailColumn &column : details.tankPressures) {
        consistent = consistent && column.size() == profile.rowCount;
    }
    for (const NamedColumn &column : details.sampleColumns) {
        consistent = consistent && column.cells.size() == profile.rowCount;
    }
    const DiveEvents &events = details.events;
    const std::size_t eventCount = events.rows.size();
    consistent = consistent && events.types.size() == eventCount &&
                 events.times.size() == eventCount && events.flags.size() == eventCount &&
                 events.values.size() == eventCount;
    for (const std::int32_t row : events.rows) {
        consistent = consistent && row >= -1 && row < static_cast<std::int64_t>(profile.rowCount);
    }
    if (!consistent) {
        std::abort();
    }
}

void requireHandlesReleased(unsigned int before) {
    if (dcsim_live_handles() != before) {
        std::abort();
    }
}

std::string imagePath(const char *purpose) {
    const char *directory = std::getenv("TMPDIR");
    std::string path = directory != nullptr && *directory != '\0' ? directory : "/tmp";
    return path + "/divebridge-" + purpose + "-" + std::to_string(::getpid()) + ".json";
}

void writeFile(const std::string &path, const unsigned char *data, std::size_t size) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));
    if (!file) {
        std::abort();  // a harness that cannot write its image tests nothing
    }
}

}  // namespace divebridge::fuzz
