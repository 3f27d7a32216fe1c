// SPDX-License-Identifier: MIT
#include "ble_notification_cost.h"

#include "bare_ble_client.h"
#include "device/ble/ble_link.h"
#include "device/ble/ble_stream.h"
#include "fake_bluez_process.h"
#include "instruction_counter.h"

#include <cstdint>
#include <cstdio>
#include <map>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace divebridge::bench {
namespace {

// The Shearwater layout's one data characteristic, written and notifying.
constexpr char dataCharacteristic[] = "27b7570b-359e-45a3-91bb-cf7e70049bd2";
// The fake's answer to 'I': 'i' and the image's size, in a notification of its own.
constexpr std::size_t announcementBytes = 5;

// A transfer of an image of so many notifications' worth, with its announcement.
struct Transfer {
    std::size_t notifications;
    std::size_t bytes;
};

Transfer transferOf(std::size_t imageNotifications) {
    return {imageNotifications + 1, announcementBytes + imageNotifications * notificationBytes};
}

// The bridge's stream to a device of the fake, connected when made: the bridge's counterpart of
// BareBleClient.
class StreamClient {
  public:
    explicit StreamClient(const std::string &address)
        : stream(openBleLink(BleTarget{address, nullptr, nullptr}, StopRequest()), StopRequest(),
                 silentApplication(), failure) {
        stream.setTimeout(5000);
    }

    // Asks for the image and reads the transfer, one notification a read.
    void fetch(const Transfer &transfer) {
        const unsigned char request = 'I';
        std::size_t written = 0;
        if (stream.write(&request, 1, &written) != DC_STATUS_SUCCESS) {
            throw std::runtime_error("the bridge's stream could not ask for the image");
        }
        unsigned char buffer[256];
        std::size_t received = 0;
        std::size_t reads = 0;
        while (received < transfer.bytes) {
            std::size_t actual = 0;
            if (stream.read(buffer, sizeof buffer, &actual) != DC_STATUS_SUCCESS) {
                throw std::runtime_error("the bridge's stream failed a read");
            }
            received += actual;
            ++reads;
        }
        if (reads != transfer.notifications) {
            throw std::runtime_error("the bridge's stream read " + std::to_string(reads) +
                                     " times for " + std::to_string(transfer.notifications) +
                                     " notifications");
        }
    }

  private:
    CallbackFailure failure;
    BleStream stream;
};

BareBleClient floorClient(const std::string &address) {
    return BareBleClient(bluezDevicePath(address), dataCharacteristic);
}

// One transfer read through the bridge's stream; answers its CPU nanoseconds.
double bridgeTransfer(const std::string &address) {
    StreamClient client(address);
    const double start = processCpuNanos();
    client.fetch(transferOf(burstNotifications));
    return processCpuNanos() - start;
}

// The same transfer received by the bare client.
double floorTransfer(const std::string &address) {
    BareBleClient client = floorClient(address);
    const double start = processCpuNanos();
    client.fetch("I", transferOf(burstNotifications).notifications);
    return processCpuNanos() - start;
}

Measured perNotification(const std::vector<double> &totals, double notifications) {
    std::vector<double> values;
    for (const double total : totals) {
        values.push_back(total / notifications);
    }
    return measuredOf(values);
}

}  // namespace

NotificationCost measureNotificationCost(const BleDevices &burstDevices, int rounds) {
    bridgeTransfer(burstDevices.bridgeAddress);  // warm-up: symbols bound, the fake's paths run
    floorTransfer(burstDevices.floorAddress);
    const double notifications = transferOf(burstNotifications).notifications;
    std::vector<double> bridge, floor, ratio;
    for (int round = 0; round < rounds; ++round) {
        bridge.push_back(bridgeTransfer(burstDevices.bridgeAddress) / notifications);
        floor.push_back(floorTransfer(burstDevices.floorAddress) / notifications);
        ratio.push_back(bridge.back() / floor.back());
    }
    return {measuredOf(bridge), measuredOf(floor), measuredOf(ratio)};
}

// Every thread of this process is counted from the request to the last notification read (the
// bridge's receiving thread and bus loop, the bare client's bus loop, the reader); the connection,
// the disconnection and the fake are not. Paced, each notification comes alone and takes the same
// steps, where a burst would let the reader find a varying number already queued; a count moves
// only by the waits a late notification adds or saves, the reader looking at the stop every 5 ms.
void printNotificationInstructions(const BleDevices &pacedDevices, int rounds,
                                   const std::string &dumpDirectory) {
    const Transfer transfer = transferOf(countedNotifications);
    StreamClient(pacedDevices.bridgeAddress).fetch(transfer);  // warm-up, uninstrumented
    floorClient(pacedDevices.floorAddress).fetch("I", transfer.notifications);
    InstructionCounter counter(dumpDirectory, CountedThreads::all);
    std::ostringstream bridge, floor;
    for (int round = 0; round < rounds; ++round) {
        {
            StreamClient client(pacedDevices.bridgeAddress);
            bridge << ' ' << counter.countOnce("BLE transfer, the bridge's stream", [&] {
                client.fetch(transfer);
            });
        }
        BareBleClient client = floorClient(pacedDevices.floorAddress);
        floor << ' ' << counter.countOnce("BLE transfer, the bare sdbus-c++ client", [&] {
            client.fetch("I", transfer.notifications);
        });
    }
    std::printf("notifications %zu\nbridge%s\nfloor%s\n", transfer.notifications,
                bridge.str().c_str(), floor.str().c_str());
}

NotificationInstructions readNotificationInstructions(const std::string &printed) {
    std::istringstream lines(printed);
    std::map<std::string, std::vector<double>> named;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string name;
        fields >> name;
        for (double value = 0; fields >> value;) {
            named[name].push_back(value);
        }
    }
    const std::vector<double> &bridge = named["bridge"];
    const std::vector<double> &floor = named["floor"];
    const double notifications = named["notifications"].empty() ? 0 : named["notifications"][0];
    if (notifications == 0 || bridge.empty() || floor.empty()) {
        throw std::runtime_error("the counted BLE transfers printed no counts");
    }
    return {perNotification(bridge, notifications), perNotification(floor, notifications)};
}

}  // namespace divebridge::bench
