// SPDX-License-Identifier: MIT
// A whole dive computer image, as a user might hand one to the demo, through the bridge's road of
// a download: selection, opening, the transfer with its events, and the parsing of every dive.
// Every input must end in consistent records or one of the bridge's exceptions, with every
// libdivecomputer handle released.
#include "base/native_exception.h"
#include "device/device_connection.h"
#include "device/dive_computer.h"
#include "fuzz_support.h"

#include <dcsim/dcsim.h>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>

namespace divebridge::fuzz {
namespace {

using Json = nlohmann::json;

// An image may ask the simulator for any amount of work (millions of generated rows, thousands of
// repeats, a wait before each dive or block) or name a journal file to write: those are requests,
// not faults, so such inputs are left out. The hostile JVM tests cover large downloads on their
// own.
constexpr double maximumSamples = 100000;
constexpr double maximumDives = 1000;

double numberOr(const Json &object, const char *key, double fallback) {
    if (!object.is_object() || !object.contains(key) || !object[key].is_number()) {
        return fallback;
    }
    return object[key].get<double>();
}

double samplesOf(const Json &dive) {
    double samples = 0;
    if (dive.contains("samples") && dive["samples"].is_array()) {
        samples += static_cast<double>(dive["samples"].size());
    }
    if (dive.contains("generate")) {
        samples += 4 * numberOr(dive["generate"], "rows", 0);
    }
    return samples;
}

bool asksForTooMuch(const std::uint8_t *data, std::size_t size) {
    const Json image = Json::parse(data, data + size, nullptr, false);
    if (!image.is_object()) {
        return false;  // refused by the loader anyway
    }
    if (image.contains("journal") || numberOr(image, "delay_ms", 0) != 0 ||
        (image.contains("transfer") && numberOr(image["transfer"], "block_delay_ms", 0) != 0)) {
        return true;
    }
    if (!image.contains("dives") || !image["dives"].is_array()) {
        return false;
    }
    double dives = 0;
    double samples = 0;
    for (const Json &dive : image["dives"]) {
        if (!dive.is_object()) {
            continue;
        }
        const double repeat = numberOr(dive, "repeat", 1);
        dives += repeat;
        samples += repeat * samplesOf(dive);
    }
    return dives > maximumDives || samples > maximumSamples;
}

void downloadImage(const std::string &path) {
    const DiveComputer computer(fuzzVendor, fuzzProduct, path.c_str());
    DeviceConnection connection(computer);
    const std::unique_ptr<DiveDownload> download = connection.download();
    for (const DiveRecord &record : download->dives) {
        requireConsistentRecord(record);
    }
}

}  // namespace
}  // namespace divebridge::fuzz

using namespace divebridge;

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz::silenceDiagnostics();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static const std::string path = fuzz::imagePath("image-loading");
    if (fuzz::asksForTooMuch(data, size)) {
        return -1;
    }
    fuzz::writeFile(path, data, size);
    const unsigned int handles = dcsim_live_handles();
    try {
        fuzz::downloadImage(path);
    } catch (const Exception &) {
        // a refused image or a failed dive is a sound answer
    }
    fuzz::requireHandlesReleased(handles);
    return 0;
}
