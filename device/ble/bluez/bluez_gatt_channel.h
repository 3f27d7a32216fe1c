// SPDX-License-Identifier: MIT
// The dive computer's data channel over BlueZ's GATT objects: the characteristics chosen by the
// family's layout, their notifications queued as they arrive, writes cut to the MTU, reads, and the
// credits of the links that use them.
#pragma once

#include "device/ble/bluez/acquired_notifications.h"
#include "device/ble/bluez/bluez_bus.h"
#include "device/ble/bluez/bluez_objects.h"
#include "device/ble/gatt_layout.h"
#include "device/ble/notification_queue.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace divebridge {

class BlueZGattChannel {
  public:
    BlueZGattChannel(BlueZBus &bus, NotificationQueue &queue) : bus(bus), queue(queue) {}

    // Chooses the data characteristics among `services` and subscribes to their notifications;
    // raises BleOpeningFailure. `address` names the device in a failure.
    void open(std::vector<GattService> services, const std::string &address);
    // Ends the notify sessions, waiting briefly for BlueZ.
    void close() noexcept;

    dc_status_t write(const unsigned char *data, std::size_t size);
    dc_status_t read(const std::string &uuid, Bytes &value);
    bool usesCredits() const { return channel.creditsIn.has_value(); }
    dc_status_t grantCredits(unsigned char credits);

    // A characteristic's value as the bus hears it.
    void valueChanged(const std::string &path, const BlueZProperties &changed);

  private:
    bool acquireNotifications(const GattCharacteristic &characteristic);
    std::unique_ptr<sdbus::IProxy> startNotifications(const GattCharacteristic &characteristic);
    void readMtu();
    dc_status_t writeValue(sdbus::IProxy &characteristic, const Value &value, const char *type);
    void onDataValue(Value value, std::unique_lock<std::mutex> &lock);
    void endDataRead(std::optional<Value> read);

    BlueZBus &bus;
    NotificationQueue &queue;
    std::vector<GattService> services;
    DataChannel channel;
    std::uint16_t mtu = 0;
    std::unique_ptr<sdbus::IProxy> dataIn;
    std::unique_ptr<sdbus::IProxy> creditsIn;
    std::vector<std::unique_ptr<sdbus::IProxy>> notifying;
    std::unique_ptr<AcquiredNotifications> acquired;

    std::mutex mutex;
    std::string watched;  // the data characteristic's object path, when its values come as signals
    // A ReadValue of the data characteristic is echoed as a PropertiesChanged(Value), just as a
    // notification is: values heard during the read wait here, and the echo is left out.
    bool readingData = false;
    std::vector<Value> heardWhileReading;
    std::optional<Value> echo;
};

}  // namespace divebridge
