// SPDX-License-Identifier: MIT
// Finding the dive computer a port text names among the devices BlueZ knows or a discovery of our
// own hears: by its address, or by an advertised name the model accepts.
#pragma once

#include "device/ble/ble_link.h"
#include "device/ble/bluez/bluez_bus.h"
#include "device/ble/bluez/bluez_objects.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace divebridge {

class BlueZDeviceSearch {
  public:
    explicit BlueZDeviceSearch(BlueZBus &bus) : bus(bus) {}

    // The target, among `objects` (what BlueZ knows below `adapter`) or heard by a discovery of at
    // most 10 s; found by name with a chooser, the one the application picks among all found.
    // Raises BleOpeningFailure when it is not found, none or another is picked, or a stop ends the
    // search. Once it returns, what a discovery hears is no longer kept.
    BlueZDevice find(const BleTarget &target, const BlueZObjects &objects,
                     const std::string &adapter);

    // What the bus hears while the search runs.
    void heard(const std::string &path, const BlueZProperties &changed);
    void added(const std::string &path, const BlueZInterfaces &interfaces);

  private:
    void takeArrivalsMatching(const BleTarget &target, std::vector<BlueZDevice> &fitting);
    void discover(const BleTarget &target, sdbus::IProxy &adapter,
                  std::vector<BlueZDevice> &fitting);
    BlueZDevice chosen(const BleTarget &target, const std::vector<BlueZDevice> &fitting);

    BlueZBus &bus;
    std::mutex mutex;
    std::condition_variable arrived;
    std::string adapterPath;
    bool looking = true;
    std::deque<BlueZDevice> arrivals;  // devices heard, in the order heard
    std::map<std::string, BlueZDevice> known;
};

}  // namespace divebridge
