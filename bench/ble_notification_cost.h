// SPDX-License-Identifier: MIT
// What receiving a BLE notification costs the bench process, every thread counted: through the
// bridge's stream (openBleLink and BleStream, one notification a read, as libdivecomputer's
// backends read) and through the bare sdbus-c++ client, both fed the same burst by the fake BlueZ.
#pragma once

#include "rounds.h"

#include <cstddef>
#include <string>

namespace divebridge::bench {

// The notifications of 244 bytes each transfer brings, beyond the answer that announces them.
constexpr std::size_t burstNotifications = 2000;
constexpr std::size_t notificationBytes = 244;

// Two devices of the fake serving the same image in bursts: one the bridge reads, one the floor.
struct BurstDevices {
    std::string bridgeAddress;
    std::string floorAddress;
};

struct NotificationCost {
    Measured bridge;  // CPU ns per notification
    Measured floor;
    Measured ratio;  // bridge / floor, round by round
};

// Each round connects, times one transfer and disconnects, for the bridge and then for the floor,
// so that a busy spell of the machine falls on both alike and no idle connection hears the other's
// notifications.
NotificationCost measureNotificationCost(const BurstDevices &devices, int rounds);

}  // namespace divebridge::bench
