// SPDX-License-Identifier: MIT
// Downloads on several threads at once through the bridge's own road, while other threads list
// the supported devices and request interruptions without pause: run under ThreadSanitizer, the
// cancel flag, the signal handler's installation and the simulator's registers must show no race.
#include "bridge/supported_devices.h"
#include "device/device_connection.h"
#include "device/dive_computer.h"
#include "simulated_dive_computer.h"

#include <coralnote_main_java_core_DeviceConnector.h>
#include <dcsim/dcsim.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace divebridge {
namespace {

using testing::imageWith;
using testing::ScopedCatalogue;
using testing::testCatalogue;
using testing::testProduct;
using testing::testVendor;
using testing::writeTempFile;

constexpr int divesPerImage = 6;

std::string slowLogbook() {
    std::string dives;
    for (int day = 1; day <= divesPerImage; ++day) {
        dives += std::string(day > 1 ? "," : "") +
                 R"({"datetime": {"year": 2024, "month": 4, "day": )" + std::to_string(day) +
                 R"(}, "generate": {"rows": 50, "maxdepth": 12.0}})";
    }
    return writeTempFile("slow.json", imageWith(R"("delay_ms": 1, "devinfo": {"serial": 7}, )"
                                                R"("dives": [)" +
                                                dives + "]"));
}

// Answers whether the download ended as one that an interruption may cut short: the dives it
// kept are the first ones, in order, each with its whole profile.
bool downloadsAPrefix(const std::string &port) {
    const DiveComputer computer(testVendor, testProduct, port.c_str());
    DeviceConnection connection(computer);
    const std::unique_ptr<DiveDownload> download = connection.download();
    if (download->dives.size() > divesPerImage) {
        return false;
    }
    for (std::size_t i = 0; i < download->dives.size(); ++i) {
        const DiveRecord &dive = download->dives[i];
        if (dive.dateTime.day != static_cast<int>(i + 1) || dive.profile.rowCount != 50) {
            return false;
        }
    }
    return std::string(connection.serialText()) == "7";
}

TEST(ConcurrentDownloads, InterruptsAndListingsBesideDownloadsLeaveEveryDownloadSound) {
    const ScopedCatalogue catalogue(testCatalogue());
    const std::string port = slowLogbook();
    std::atomic<bool> running{true};
    std::atomic<int> unsound{0};
    std::atomic<long> listings{0};

    std::vector<std::thread> threads;
    threads.emplace_back([&] {
        while (running.load()) {
            Java_coralnote_main_java_core_DeviceConnector_interruptDeviceDownload(nullptr, nullptr);
            std::this_thread::yield();
        }
    });
    threads.emplace_back([&] {
        while (running.load()) {
            if (enumerateSupportedDevices().size() != 1) {
                ++unsound;
            }
            ++listings;
        }
    });
    std::vector<std::thread> downloads;
    for (int t = 0; t < 3; ++t) {
        downloads.emplace_back([&] {
            for (int round = 0; round < 10; ++round) {
                if (!downloadsAPrefix(port)) {
                    ++unsound;
                }
            }
        });
    }
    for (std::thread &download : downloads) {
        download.join();
    }
    running = false;
    for (std::thread &thread : threads) {
        thread.join();
    }

    EXPECT_EQ(unsound.load(), 0);
    EXPECT_GT(listings.load(), 0);
    EXPECT_EQ(dcsim_live_handles(), 0u);
}

TEST(ConcurrentDownloads, WithoutInterruptsEveryThreadGetsEveryDive) {
    const ScopedCatalogue catalogue(testCatalogue());
    const std::string port = slowLogbook();
    std::atomic<int> complete{0};
    std::vector<std::thread> downloads;
    for (int t = 0; t < 3; ++t) {
        downloads.emplace_back([&] {
            const DiveComputer computer(testVendor, testProduct, port.c_str());
            DeviceConnection connection(computer);
            if (connection.download()->dives.size() == divesPerImage) {
                ++complete;
            }
        });
    }
    for (std::thread &download : downloads) {
        download.join();
    }
    EXPECT_EQ(complete.load(), 3);
    EXPECT_EQ(dcsim_live_handles(), 0u);
}

}  // namespace
}  // namespace divebridge
