// SPDX-License-Identifier: MIT
// A connected BLE dive computer's data channel: what the BLE stream needs of a platform's GATT
// client (BlueZ on Linux). Notifications of the data characteristic are queued as they arrive.
#pragma once

#include "device/ble/notification_queue.h"

#include <libdivecomputer/common.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace divebridge {

class BleLink {
  public:
    virtual ~BleLink() = default;

    // The peripheral's advertised name (empty when it gave none) and its address.
    virtual const std::string &name() const = 0;
    virtual const std::string &address() const = 0;

    // One GATT write to the data characteristic, of the type it takes.
    virtual dc_status_t write(const unsigned char *data, std::size_t size) = 0;
    // Reads the characteristic `uuid` (lower case) of the peripheral.
    virtual dc_status_t read(const std::string &uuid, Bytes &value) = 0;

    // Whether the peripheral sends data only against credits the application grants.
    virtual bool usesCredits() const = 0;
    virtual dc_status_t grantCredits(unsigned char credits) = 0;

    // Ends the link: no notification session and no connection are left behind. Closing twice is
    // harmless.
    virtual void close() noexcept = 0;

    NotificationQueue &notifications() { return queue; }

  protected:
    NotificationQueue queue;
};

// A device a scan found advertising a name the model accepts.
struct BleCandidate {
    std::string name;
    std::string address;  // upper case
};

// The peripheral a port text names: one address, or a device found advertising a name the model
// accepts: the first, or the one `choose` picks among all found (when given).
struct BleTarget {
    std::string address;  // "01:23:45:67:89:AB", upper case; empty to find the device by name
    std::function<bool(const std::string &name)> acceptsName;
    // Picks a candidate's address, or none to open nothing. It raises nothing.
    std::function<std::optional<std::string>(const std::vector<BleCandidate> &)> choose;
};

// Why a link could not be opened: the status and text of the CommunicationException it becomes
// ("Error opening device: ..."), in a form that crosses from a Bluetooth plug-in.
struct BleOpeningFailure {
    dc_status_t status = DC_STATUS_IO;
    std::string text;
};

// Connects to the target through the platform's Bluetooth stack and opens its data channel. A
// stop asked for meanwhile ends it within a few milliseconds. Raises CommunicationException
// "Error opening device: ..." naming the cause, with nothing left behind.
std::unique_ptr<BleLink> openBleLink(const BleTarget &target, const StopRequest &stop);

}  // namespace divebridge
