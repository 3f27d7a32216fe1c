// SPDX-License-Identifier: MIT
#include "ble_stop_latency.h"

#include "device/device_connection.h"
#include "device/dive_computer.h"
#include "device/interruption.h"
#include "generated_image.h"
#include "native_support.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace divebridge::bench {
namespace {

using Clock = std::chrono::steady_clock;

// Tells the stopping thread once the transfer has brought enough notifications.
class TransferWatch final : public Application {
  public:
    bool wantsProgress() const override { return true; }
    void progress(unsigned int, unsigned int) override {
        const std::lock_guard<std::mutex> lock(mutex);
        if (++events == notificationsBeforeStop) {
            changed.notify_one();
        }
    }

    // The download is over, whether or not it got that far.
    void finish() {
        const std::lock_guard<std::mutex> lock(mutex);
        finished = true;
        changed.notify_one();
    }

    // Waits until the transfer is under way; false when the download ended before.
    bool awaitTransfer() {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return events >= notificationsBeforeStop || finished; });
        return events >= notificationsBeforeStop;
    }

  private:
    std::mutex mutex;
    std::condition_variable changed;
    unsigned int events = 0;
    bool finished = false;
};

double millisecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// One download stopped in its transfer.
StopLatency stoppedDownload(const std::string &port) {
    TransferWatch watch;
    Clock::time_point asked{};
    std::thread stopper([&] {
        if (watch.awaitTransfer()) {
            asked = Clock::now();
            requestStop();
        }
    });
    bool stopped = false;
    Clock::time_point transferEnded{};
    try {
        const DiveComputer computer(benchVendor, benchModel, port.c_str(), &watch);
        DeviceConnection connection(computer);
        stopped = connection.download()->stopped;
        transferEnded = Clock::now();
    } catch (...) {
        watch.finish();
        stopper.join();
        throw;
    }
    const Clock::time_point returned = Clock::now();
    watch.finish();
    stopper.join();
    if (!stopped) {
        throw std::runtime_error("a BLE download was not stopped in its transfer");
    }
    return {millisecondsBetween(asked, returned), millisecondsBetween(transferEnded, returned)};
}

}  // namespace

std::vector<StopLatency> measureStopLatencies(const std::string &address, int stops) {
    const SilencedStdout silenced;
    std::vector<StopLatency> latencies;
    for (int stop = 0; stop < stops; ++stop) {
        latencies.push_back(stoppedDownload("LE:" + address));
    }
    return latencies;
}

}  // namespace divebridge::bench
