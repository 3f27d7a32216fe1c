#include "generated_image.h"

#include <fstream>
#include <stdexcept>

namespace divebridge::bench {

const char *const benchVendor = "Shearwater";
const char *const benchModel = "Perdix";

std::string generatedDive(std::uint32_t rows) {
    const std::string count = std::to_string(rows);
    return R"({"datetime": {"year": 2024, "month": 1, "day": 1, "hour": 9, "minute": 30},
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
    std::string dive = generatedDive(rows);
    dive.pop_back();  // reopen the dive object to add its repeat count
    return std::string(R"({"vendor": ")") + benchVendor + R"(", "product": ")" + benchModel +
           R"(", "devinfo": {"model": 5, "firmware": 71, "serial": 12345}, "dives": [)" + dive +
           R"(, "repeat": )" + std::to_string(dives) + "}]}";
}

void writeGeneratedImage(const std::string &path, std::uint32_t dives, std::uint32_t rows) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << generatedImage(dives, rows);
    if (!file.flush()) {
        throw std::runtime_error("cannot write the benchmark image " + path);
    }
}

}  // namespace divebridge::bench
