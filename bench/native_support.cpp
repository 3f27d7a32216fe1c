// SPDX-License-Identifier: MIT
#include "native_support.h"

#include "generated_image.h"
#include "parse/parser_adapter.h"
#include "rounds.h"
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
                           StopRequest(), computer.application(), computer.callbackFailure())) {
    dc_device_t *raw = nullptr;
    openDevice(&raw, computer.contextHandle(), computer.descriptorHandle(), path.c_str(), stream);
    device.reset(raw);
}

namespace {

void ignoreSample(dc_sample_type_t, SampleValueArgument, void *) {}

int decodeAndDrop(const unsigned char *data, unsigned int size, const unsigned char *, unsigned int,
                  void *device) {
    decodeInSimulator(static_cast<dc_device_t *>(device), data, size);
    return 1;
}

}  // namespace

void decodeInSimulator(dc_device_t *device, const unsigned char *data, unsigned int size) {
    dc_parser_t *parser = nullptr;
    createParser(&parser, device, data, size);
    dc_parser_samples_foreach(parser, ignoreSample, nullptr);
    dc_parser_destroy(parser);
}

BridgeConnection::BridgeConnection(const std::string &path)
    : computer(benchVendor, benchModel, path.c_str()), connection(computer) {}

void BridgeConnection::download() {
    const std::unique_ptr<DiveDownload> download = connection.download();
    keep(download->dives.data());
}

void SimulatorDownload::download() {
    dc_device_foreach(device.handle(), decodeAndDrop, device.handle());
}

}  // namespace divebridge::bench
