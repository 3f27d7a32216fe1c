// SPDX-License-Identifier: MIT
// Builds without a Bluetooth LE stack of their own: Windows (its BLE API is WinRT, which the
// MinGW-w64 toolchain cannot build) and Linux builds made without sdbus-c++.
#include "base/native_exception.h"
#include "device/ble/ble_link.h"

namespace divebridge {

std::unique_ptr<BleLink> openBleLink(const BleTarget &, const StopRequest &) {
    throw CommunicationException(DC_STATUS_UNSUPPORTED,
                                 "Error opening device: this build of the bridge has no Bluetooth "
                                 "Low Energy (it is built on Linux, with BlueZ).");
}

}  // namespace divebridge
