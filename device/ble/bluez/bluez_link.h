// SPDX-License-Identifier: MIT
// The BLE link on Linux: BlueZ over the system D-Bus, built into a plug-in of its own
// (libdivebridge_bluez.so) so that the bridge itself needs no D-Bus library.
#pragma once

#include "device/ble/ble_link.h"

#include <memory>

namespace divebridge {

// openBleLink through BlueZ; raises BleOpeningFailure.
std::unique_ptr<BleLink> openBlueZLink(const BleTarget &target, const StopRequest &stop);

}  // namespace divebridge

// The plug-in's one entry, found by name: a new link to the target, or null with `failure` told
// why. Nothing it raises leaves it.
extern "C" divebridge::BleLink *divebridge_bluez_open_link(const divebridge::BleTarget &target,
                                                           const divebridge::StopRequest &stop,
                                                           divebridge::BleOpeningFailure &failure);
