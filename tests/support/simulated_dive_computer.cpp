// SPDX-License-Identifier: MIT
#include "simulated_dive_computer.h"

#include "environment.h"

#include <dcsim/dcsim.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <unistd.h>

namespace divebridge::testing {
namespace {

std::filesystem::path temporaryDirectory() {
    static const std::filesystem::path directory = [] {
        auto path = std::filesystem::temp_directory_path() /
                    ("divebridge-tests-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        return path;
    }();
    return directory;
}

}  // namespace

const char *const testVendor = "Testing Vendor";
const char *const testProduct = "Parser Probe";

std::string writeTempFile(const std::string &name, const std::string &content) {
    static int counter = 0;
    const auto path = temporaryDirectory() / (std::to_string(++counter) + "-" + name);
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
}

ScopedCatalogue::ScopedCatalogue(const std::string &json) {
    environment::set("DCSIM_CATALOGUE", writeTempFile("catalogue.json", json));
}

ScopedCatalogue::~ScopedCatalogue() {
    environment::unset("DCSIM_CATALOGUE");
}

std::string testCatalogue() {
    return std::string(R"([{"vendor": ")") + testVendor + R"(", "product": ")" + testProduct +
           R"(", "transport": "serial"}])";
}

std::string imageWith(const std::string &body) {
    std::string image =
        std::string(R"({"vendor": ")") + testVendor + R"(", "product": ")" + testProduct + R"(")";
    if (!body.empty()) {
        image += ", " + body;
    }
    return image + "}";
}

ScopedTrace::ScopedTrace() {
    dcsim_trace_start();
}

ScopedTrace::~ScopedTrace() {
    dcsim_trace_stop();
}

std::vector<std::string> ScopedTrace::lines(const std::string &prefix) const {
    std::string text(dcsim_trace_copy(nullptr, 0) + 1, '\0');
    dcsim_trace_copy(text.data(), text.size());
    text.resize(text.size() - 1);
    std::vector<std::string> result;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        if (line.compare(0, prefix.size(), prefix) == 0) {
            result.push_back(line);
        }
    }
    return result;
}

OpenedDevice::OpenedDevice()
    : catalogue(testCatalogue()),
      computer(std::make_unique<DiveComputer>(testVendor, testProduct, nullptr)) {
    const std::string image = writeTempFile("empty.json", imageWith(R"("dives": [])"));
    stream = openTransport(computer->contextHandle(), computer->descriptorHandle(), image.c_str(),
                           StopRequest(), computer->application(), computer->callbackFailure());
    const dc_status_t status = openDevice(&device, computer->contextHandle(),
                                          computer->descriptorHandle(), image.c_str(), stream);
    if (status != DC_STATUS_SUCCESS) {
        throw std::runtime_error("the test device did not open: " + std::to_string(status));
    }
}

OpenedDevice::~OpenedDevice() {
    dc_device_close(device);
}

std::vector<unsigned char> encodeDive(const std::string &json) {
    unsigned char *bytes = nullptr;
    unsigned int size = 0;
    const int status = dcsim_encode_dive(json.c_str(), &bytes, &size);
    if (status != 0) {
        throw std::runtime_error("dive JSON not encoded: " + std::to_string(status));
    }
    std::vector<unsigned char> result(bytes, bytes + size);
    dcsim_free(bytes);
    return result;
}

}  // namespace divebridge::testing
