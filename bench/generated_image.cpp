// SPDX-License-Identifier: MIT
#include "generated_image.h"

#include <fstream>
#include <stdexcept>

namespace divebridge::bench {

const char *const benchVendor = "Shearwater";
const char *const benchModel = "Perdix";

namespace {

std::string imageHeader() {
    return std::string(R"({"vendor": ")") + benchVendor + R"(", "product": ")" + benchModel +
           R"(", "devinfo": {"model": 5, "firmware": 71, "serial": 12345}, )";
}

// A run as one dive object repeated.
std::string diveRun(const DiveRun &run) {
    std::string dive = generatedDive(run.rows, run.year);
    dive.pop_back();  // reopen the dive object to add its repeat count
    return dive + R"(, "repeat": )" + std::to_string(run.count) + "}";
}

}  // namespace

std::string generatedDive(std::uint32_t rows, int year) {
    const std::string count = std::to_string(rows);
    return R"({"datetime": {"year": )" + std::to_string(year) +
           R"(, "month": 1, "day": 1, "hour": 9, "minute": 30},
               "divetime": )" +
           std::to_string(static_cast<std::uint64_t>(rows) * 10) +
           R"(, "maxdepth": 30.0, "avgdepth": 17.5, "temperature_minimum": 18.0,
               "gasmixes": [{"oxygen": 0.32}],
               "tanks": [{"gasmix": 0, "type": 1, "volume": 12.0, "workpressure": 232.0,
                          "beginpressure": 200.0, "endpressure": 50.0}],
               "generate": {"rows": )" +
           count +
           R"(, "interval": 10, "maxdepth": 30.0, "pressure": [200, 50],
                            "temperature": 18.0}})";
}

std::string generatedImage(std::uint32_t dives, std::uint32_t rows) {
    return generatedImage({{dives, rows, 2024}}, "");
}

std::string generatedImage(const std::vector<DiveRun> &runs, const std::string &members) {
    std::string image = imageHeader() + members + (members.empty() ? "" : ", ") + R"("dives": [)";
    for (const DiveRun &run : runs) {
        image += (&run == &runs.front() ? "" : ", ") + diveRun(run);
    }
    return image + "]}";
}

void writeGeneratedImage(const std::string &path, std::uint32_t dives, std::uint32_t rows) {
    writeImage(path, generatedImage(dives, rows));
}

void writeImage(const std::string &path, const std::string &image) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << image;
    if (!file.flush()) {
        throw std::runtime_error("cannot write the benchmark image " + path);
    }
}

}  // namespace divebridge::bench
