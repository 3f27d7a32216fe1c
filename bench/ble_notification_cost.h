// SPDX-License-Identifier: MIT
// What receiving a BLE notification costs the bench process, every thread counted: through the
// bridge's stream (openBleLink and BleStream, one notification a read, as libdivecomputer's
// backends read) and through the bare sdbus-c++ client, both fed the same image by the fake
// BlueZ. Timed on a burst; counted in instructions, under callgrind, on a transfer paced at the
// connection interval.
#pragma once

#include "rounds.h"

#include <cstddef>
#include <string>

namespace divebridge::bench {

// The notifications of 244 bytes each timed transfer brings, beyond the answer that announces
// them.
constexpr std::size_t burstNotifications = 2000;
constexpr std::size_t notificationBytes = 244;
// The same for a counted transfer, paced: it takes 7.5 ms a notification, whatever callgrind's
// pace.
constexpr std::size_t countedNotifications = 400;

// Two devices of the fake serving the same image: one the bridge reads, one the floor.
struct BleDevices {
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
NotificationCost measureNotificationCost(const BleDevices &burstDevices, int rounds);

// Instructions of the bench process per notification, from the request to the last notification
// read, over the counted rounds.
struct NotificationInstructions {
    Measured bridge;
    Measured floor;
};

// Run under callgrind counting every thread (outputUnderCallgrind): after one uncounted transfer
// from each device, counts `rounds` transfers of countedNotifications from each, the bridge's and
// the floor's in turn, and prints their totals for readNotificationInstructions.
void printNotificationInstructions(const BleDevices &pacedDevices, int rounds,
                                   const std::string &dumpDirectory);
// The counts per notification in what printNotificationInstructions printed.
NotificationInstructions readNotificationInstructions(const std::string &printed);

}  // namespace divebridge::bench
