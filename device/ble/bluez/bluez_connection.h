// SPDX-License-Identifier: MIT
// The connection to one device: Connect, tried again when the LE connection aborts, after any link
// this process left behind has gone; the device's services resolved; Disconnect at the end.
//
// BlueZ answers Disconnect only once the link is down, 2 s after the request (its disconnect timer
// lets profiles finish), and until then answers a Connect at once with the old link, which then
// drops. So closing does not wait for that answer, and opening waits for a link this process left
// behind to go first.
#pragma once

#include "device/ble/bluez/bluez_bus.h"
#include "device/ble/bluez/bluez_objects.h"
#include "device/ble/notification_queue.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

namespace divebridge {

class BlueZConnection {
  public:
    // A drop of the link once it is up loses `queue`'s link.
    BlueZConnection(BlueZBus &bus, NotificationQueue &queue) : bus(bus), queue(queue) {}

    // Connects to `device` and waits for its services; raises BleOpeningFailure.
    void open(const BlueZDevice &device);
    // Asks BlueZ to take the link down, without waiting for it. Harmless when never opened.
    void close() noexcept;

    // The device's state as the bus hears it.
    void deviceChanged(const std::string &path, const BlueZProperties &changed);
    void deviceRemoved(const std::string &path);
    void busLost();

  private:
    void awaitOldLinkGone();
    void connect();
    CallOutcome callConnect(std::chrono::steady_clock::time_point deadline);
    void awaitServices();
    // A boolean property of the device, false when it has none.
    bool deviceState(const char *property);
    // Waits until `ready` holds (checked under the lock), at most `time`; false when the time ran
    // out or a stop was asked for.
    template <typename Ready>
    bool waitFor(std::chrono::milliseconds time, Ready ready);
    unsigned int disconnectionsSoFar();
    void loseLink(std::unique_lock<std::mutex> &lock);

    BlueZBus &bus;
    NotificationQueue &queue;
    std::string address;
    std::unique_ptr<sdbus::IProxy> proxy;
    bool connectionAsked = false;

    std::mutex mutex;
    std::condition_variable changed;
    std::string watched;              // the device's object path
    bool linkUp = false;              // Connect answered: a drop now loses the link
    unsigned int disconnections = 0;  // times the device was seen to go down
    bool servicesResolved = false;
    bool lost = false;
};

}  // namespace divebridge
