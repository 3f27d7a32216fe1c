// SPDX-License-Identifier: MIT
// How promptly a BLE download stops: the wall time from a stop request (what
// interruptDeviceDownload asks) to the return of the download, its connection closed, while a
// simulated Perdix sends its image through the fake BlueZ at the pace of the connection interval.
#pragma once

#include <string>
#include <vector>

namespace divebridge::bench {

// The progress events (one a notification) a download receives before it is stopped.
constexpr unsigned int notificationsBeforeStop = 10;

struct StopLatency {
    double total;    // ms from the stop request to the end of the download, its link closed
    double cleanup;  // ms of that spent closing the device and its link
};

// The latency of each of `stops` downloads from the device at `address`, in the order measured.
std::vector<StopLatency> measureStopLatencies(const std::string &address, int stops);

}  // namespace divebridge::bench
