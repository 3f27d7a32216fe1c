// SPDX-License-Identifier: MIT
// Test helpers around the simulated libdivecomputer: catalogue and image files, the call trace,
// and an open device to parse dives with.
#pragma once

#include "device/device_adapter.h"
#include "device/dive_computer.h"

#include <libdivecomputer/device.h>

#include <memory>
#include <string>
#include <vector>

namespace divebridge::testing {

// Writes `content` to a fresh file in this process's temporary directory; returns its path.
std::string writeTempFile(const std::string &name, const std::string &content);

// Replaces the simulator's catalogue with `json` until destroyed.
class ScopedCatalogue {
  public:
    explicit ScopedCatalogue(const std::string &json);
    ~ScopedCatalogue();
    ScopedCatalogue(const ScopedCatalogue &) = delete;
    ScopedCatalogue &operator=(const ScopedCatalogue &) = delete;
};

// The catalogue entry and image header every simulated device of these tests uses.
extern const char *const testVendor;
extern const char *const testProduct;
std::string testCatalogue();
// An image of the test device; `body` is spliced in after the vendor and product members.
std::string imageWith(const std::string &body);

// Records the simulator's call trace while alive.
class ScopedTrace {
  public:
    ScopedTrace();
    ~ScopedTrace();
    ScopedTrace(const ScopedTrace &) = delete;
    ScopedTrace &operator=(const ScopedTrace &) = delete;
    // The lines recorded so far that start with `prefix`.
    std::vector<std::string> lines(const std::string &prefix = "") const;
};

// The test device opened on an image without dives, for parsing encoded dives directly.
class OpenedDevice {
  public:
    OpenedDevice();
    ~OpenedDevice();
    OpenedDevice(const OpenedDevice &) = delete;
    OpenedDevice &operator=(const OpenedDevice &) = delete;
    dc_device_t *handle() const { return device; }

  private:
    ScopedCatalogue catalogue;
    std::unique_ptr<DiveComputer> computer;
    TransportStream stream;  // closed after the device
    dc_device_t *device = nullptr;
};

// The bytes of one dive, from its JSON form.
std::vector<unsigned char> encodeDive(const std::string &json);

}  // namespace divebridge::testing
