// SPDX-License-Identifier: MIT
// The floor a BLE stream is measured against: the least a client of sdbus-c++ does to receive a
// dive computer's notifications from BlueZ. One bus connection whose event loop thread takes each
// notification's bytes out of its PropertiesChanged signal and counts it; nothing is queued or
// handed to another thread.
#pragma once

#include <sdbus-c++/sdbus-c++.h>

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>

namespace divebridge::bench {

class BareBleClient {
  public:
    // Connects to the device at `devicePath`, waits for its services and subscribes to the
    // notifications of its characteristic `uuid`; untimed set-up.
    BareBleClient(const std::string &devicePath, const std::string &uuid);
    // Unsubscribes and disconnects, as the bridge's link does.
    ~BareBleClient();

    BareBleClient(const BareBleClient &) = delete;
    BareBleClient &operator=(const BareBleClient &) = delete;

    // Writes `request` to the characteristic and waits until `notifications` more have come.
    void fetch(const std::string &request, std::size_t notifications);

  private:
    void awaitServices();
    std::string characteristicPath(const std::string &devicePath, const std::string &uuid);
    void onPropertiesChanged(sdbus::Message &signal);

    std::unique_ptr<sdbus::IConnection> bus;
    std::unique_ptr<sdbus::IProxy> device;
    std::unique_ptr<sdbus::IProxy> characteristic;
    sdbus::Slot match;

    std::mutex mutex;
    std::condition_variable reached;
    std::size_t received = 0;
    std::size_t wanted = 0;
};

}  // namespace divebridge::bench
