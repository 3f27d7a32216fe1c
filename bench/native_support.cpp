#include "native_support.h"

#include "generated_image.h"
#include "simulated_dive_computer.h"

#include <cstdio>
#include <map>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace divebridge::bench {

std::string imagePath(std::uint32_t dives, std::uint32_t rows) {
    static std::map<std::pair<std::uint32_t, std::uint32_t>, std::string> written;
    std::string &path = written[{dives, rows}];
    if (path.empty()) {
        path = testing::writeTempFile(
            "bench-" + std::to_string(dives) + "x" + std::to_string(rows) + ".json", "");
        writeGeneratedImage(path, dives, rows);
    }
    return path;
}

std::vector<unsigned char> generatedDiveBytes(std::uint32_t rows) {
    return testing::encodeDive(generatedDive(rows));
}

SilencedStdout::SilencedStdout() : saved(::dup(STDOUT_FILENO)) {
    std::fflush(stdout);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);
    ::close(null);
}

SilencedStdout::~SilencedStdout() {
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
}

SimulatedDevice::SimulatedDevice(const std::string &path)
    : computer(benchVendor, benchModel, path.c_str()),
      stream(openTransport(computer.contextHandle(), computer.descriptorHandle(), path.c_str(),
                           StopRequest(), nullptr)) {
    dc_device_t *raw = nullptr;
    openDevice(&raw, computer.contextHandle(), computer.descriptorHandle(), path.c_str(), stream);
    device.reset(raw);
}

}  // namespace divebridge::bench
