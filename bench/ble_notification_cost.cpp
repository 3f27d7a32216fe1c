// SPDX-License-Identifier: MIT
#include "ble_notification_cost.h"

#include "bare_ble_client.h"
#include "device/ble/ble_link.h"
#include "device/ble/ble_stream.h"
#include "fake_bluez_process.h"

#include <stdexcept>
#include <vector>

namespace divebridge::bench {
namespace {

// The Shearwater layout's one data characteristic, written and notifying.
constexpr char dataCharacteristic[] = "27b7570b-359e-45a3-91bb-cf7e70049bd2";
// The fake's answer to 'I': 'i' and the image's size, in a notification of its own.
constexpr std::size_t announcementBytes = 5;
constexpr std::size_t transferNotifications = burstNotifications + 1;
constexpr std::size_t transferBytes = announcementBytes + burstNotifications * notificationBytes;

// One transfer read through the bridge's stream; answers its CPU nanoseconds.
double bridgeTransfer(const std::string &address) {
    CallbackFailure failure;
    BleStream stream(openBleLink(BleTarget{address, nullptr}, StopRequest()), StopRequest(),
                     silentApplication(), failure);
    stream.setTimeout(5000);
    const unsigned char request = 'I';
    std::size_t written = 0;
    unsigned char buffer[256];
    std::size_t received = 0;
    std::size_t reads = 0;
    const double start = processCpuNanos();
    if (stream.write(&request, 1, &written) != DC_STATUS_SUCCESS) {
        throw std::runtime_error("the bridge's stream could not ask for the image");
    }
    while (received < transferBytes) {
        std::size_t actual = 0;
        if (stream.read(buffer, sizeof buffer, &actual) != DC_STATUS_SUCCESS) {
            throw std::runtime_error("the bridge's stream failed a read");
        }
        received += actual;
        ++reads;
    }
    const double spent = processCpuNanos() - start;
    if (reads != transferNotifications) {
        throw std::runtime_error("the bridge's stream read " + std::to_string(reads) +
                                 " times for " + std::to_string(transferNotifications) +
                                 " notifications");
    }
    return spent;
}

// The same transfer received by the bare client.
double floorTransfer(const std::string &address) {
    BareBleClient client(bluezDevicePath(address), dataCharacteristic);
    const double start = processCpuNanos();
    client.fetch("I", transferNotifications);
    return processCpuNanos() - start;
}

}  // namespace

NotificationCost measureNotificationCost(const BurstDevices &devices, int rounds) {
    bridgeTransfer(devices.bridgeAddress);  // warm-up: symbols bound, the fake's code paths run
    floorTransfer(devices.floorAddress);
    std::vector<double> bridge, floor, ratio;
    for (int round = 0; round < rounds; ++round) {
        bridge.push_back(bridgeTransfer(devices.bridgeAddress) / transferNotifications);
        floor.push_back(floorTransfer(devices.floorAddress) / transferNotifications);
        ratio.push_back(bridge.back() / floor.back());
    }
    return {measuredOf(bridge), measuredOf(floor), measuredOf(ratio)};
}

}  // namespace divebridge::bench
