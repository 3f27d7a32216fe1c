// SPDX-License-Identifier: MIT
// What the native benchmarks share: generated images on disk, the simulator's device on one, the
// bridge's download and the simulator's own work apart from it, and standard output silenced
// while downloads print their progress lines.
#pragma once

#include "device/device_adapter.h"
#include "device/device_connection.h"
#include "device/dive_computer.h"
#include "generated_image.h"

#include <libdivecomputer/device.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace divebridge::bench {

// The rows of every dive of the download figures.
constexpr std::uint32_t downloadRows = 3600;

// The path of a generated image of `dives` dives of `rows` rows, written on first use.
std::string imagePath(std::uint32_t dives, std::uint32_t rows);

// One generated dive of `rows` rows as the simulator encodes it.
std::vector<unsigned char> generatedDiveBytes(std::uint32_t rows);

// Standard output goes to /dev/null while alive: a download prints a progress line per dive.
class SilencedStdout {
  public:
    SilencedStdout();
    ~SilencedStdout();
    SilencedStdout(const SilencedStdout &) = delete;
    SilencedStdout &operator=(const SilencedStdout &) = delete;

  private:
    int saved;
};

// The simulator's device on an image. Opening loads and encodes the whole image, which is the
// simulator's work and not a dive computer's, so the benchmarks open it untimed.
class SimulatedDevice {
  public:
    explicit SimulatedDevice(const std::string &path);
    dc_device_t *handle() const { return device.get(); }

  private:
    DiveComputer computer;
    TransportStream stream;  // closed after the device
    DeviceHandle device;
};

// The simulator alone on a dive's bytes: its parser created, the samples walked into nothing.
void decodeInSimulator(dc_device_t *device, const unsigned char *data, unsigned int size);

// The bridge's connection to the simulated device of an image, opened untimed.
class BridgeConnection {
  public:
    explicit BridgeConnection(const std::string &path);
    // Every dive delivered, parsed, stored, then released.
    void download();

  private:
    DiveComputer computer;
    DeviceConnection connection;
};

// The simulator's share of a download: every dive delivered and decoded into nothing.
class SimulatorDownload {
  public:
    explicit SimulatorDownload(const std::string &path) : device(path) {}
    void download();

  private:
    SimulatedDevice device;
};

}  // namespace divebridge::bench
