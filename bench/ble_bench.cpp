// SPDX-License-Identifier: MIT
// The bridge's Bluetooth LE path against a fake BlueZ (simulator/fake-bluez), which this program
// starts on the private bus it runs on (`with-private-bus DIR ble_bench EXAMPLES`): the CPU a
// notification costs the whole bench process through the bridge's stream and through a bare
// sdbus-c++ client, timed, and the instructions it costs, counted under callgrind in a child
// (`ble_bench --count BRIDGE_ADDRESS FLOOR_ADDRESS`); what the count is beside the fastest link's
// connection interval; and how promptly a download stops in mid-transfer. The fake's own CPU is
// another process's and is neither timed nor counted.
#include "ble_notification_cost.h"
#include "ble_stop_latency.h"
#include "fake_bluez_process.h"
#include "figures.h"
#include "generated_image.h"
#include "instruction_counter.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

namespace divebridge::bench {
namespace {

constexpr int costRounds = 21;
// A count moves only by a few waits of a transfer: the median of three holds it still.
constexpr int countedRounds = 3;
constexpr int stopCount = 15;
// What the stream adds to the bus's own delivery (the hand-off from the bus's thread to the
// downloading thread, one read a notification) must stay below half of that delivery.
constexpr double streamOverFloor = 1.5;
// The fastest BLE link: a 7.5 ms connection interval, one 244-byte notification each.
constexpr double connectionIntervalNanos = 7.5e6;
// The bridge must be a rounding error beside the link.
constexpr double linkShareBudgetPercent = 1;
// The packet in flight (one connection interval) and little more.
constexpr double stopLatencyBudgetMs = 50;

const char *const burstAddress = "F0:00:00:00:00:01";
const char *const floorAddress = "F0:00:00:00:00:02";
const char *const pacedAddress = "F0:00:00:00:00:03";
const char *const countedBridgeAddress = "F0:00:00:00:00:04";
const char *const countedFloorAddress = "F0:00:00:00:00:05";
// Runs this program as the counted child: `ble_bench --count BRIDGE_ADDRESS FLOOR_ADDRESS`.
const char *const countingArgument = "--count";

// The fake's configuration and the burst's image, removed with the directory.
class ScratchDirectory {
  public:
    ScratchDirectory() {
        char name[] = "/tmp/divebridge-ble-bench-XXXXXX";
        if (::mkdtemp(name) == nullptr) {
            throw std::runtime_error("cannot make a scratch directory");
        }
        directory = name;
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
    }
    ScratchDirectory(const ScratchDirectory &) = delete;
    ScratchDirectory &operator=(const ScratchDirectory &) = delete;

    const std::string &path() const { return directory; }

  private:
    std::string directory;
};

// Any bytes will do for the fake: an image of so many notifications' worth.
std::string notificationsImage(const std::string &path, std::size_t notifications) {
    writeImage(path, std::string(notifications * notificationBytes, 'x'));
    return path;
}

std::vector<FakeDevice> devices(const std::string &directory, const std::string &examples) {
    const std::string burst = notificationsImage(directory + "/burst.bin", burstNotifications);
    const std::string counted =
        notificationsImage(directory + "/counted.bin", countedNotifications);
    const std::string quick = R"("connect_delay_ms": 1, "resolve_delay_ms": 1)";
    return {
        {burstAddress, "Perdix", burst, quick + R"(, "faults": {"burst": true})"},
        {floorAddress, "Perdix", burst, quick + R"(, "faults": {"burst": true})"},
        {pacedAddress, "Perdix", examples + "/reef-week.json", ""},
        {countedBridgeAddress, "Perdix", counted, quick},
        {countedFloorAddress, "Perdix", counted, quick},
    };
}

// A share of the interval at each of the rounds' median and range.
Measured percentOfInterval(const Measured &nanos) {
    const auto percent = [](double value) { return value / connectionIntervalNanos * 100; };
    return {percent(nanos.median), percent(nanos.least), percent(nanos.most)};
}

Measured referenceNanos(const Measured &instructions) {
    const double nanosEach = 1e9 / referenceInstructionsPerSecond;
    return {instructions.median * nanosEach, instructions.least * nanosEach,
            instructions.most * nanosEach};
}

void addCostFigures(const NotificationCost &cost, const NotificationInstructions &counted,
                    FigureTable &table) {
    table.report("bridge's stream, CPU per 244-byte notification (burst)", cost.bridge, "ns");
    table.report("bare sdbus-c++ client (the floor), CPU per notification (burst)", cost.floor,
                 "ns");
    table.atMost("bridge / floor, per notification", cost.ratio, "x", streamOverFloor);
    table.report("bridge's stream, instructions per notification (paced)", counted.bridge, "instr");
    table.report("bare sdbus-c++ client, instructions per notification (paced)", counted.floor,
                 "instr");
    table.atMost("bridge's instructions per notification / the 7.5 ms connection interval",
                 percentOfInterval(referenceNanos(counted.bridge)), "%", linkShareBudgetPercent);
    table.report("measured: bridge's CPU per notification (burst) / the 7.5 ms interval",
                 percentOfInterval(cost.bridge).median, "%");
}

void addStopFigures(const std::vector<StopLatency> &latencies, FigureTable &table) {
    std::vector<double> totals, cleanups;
    for (const StopLatency &latency : latencies) {
        totals.push_back(latency.total);
        cleanups.push_back(latency.cleanup);
    }
    const std::string stops = std::to_string(latencies.size()) + " stops";
    const Measured total = measuredOf(totals);
    table.report("BLE stop latency, median of " + stops, total.median, "ms");
    table.atMost("BLE stop latency, slowest of " + stops, total.most, "ms", stopLatencyBudgetMs);
    table.report("of the latency, closing the device and its link, median of " + stops,
                 measuredOf(cleanups).median, "ms");
}

// The counted transfers run in a child under callgrind, this program again on the same fake, so
// that the timed figures are not slowed by it.
NotificationInstructions countNotificationInstructions() {
    char self[PATH_MAX];
    const ssize_t size = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (size <= 0) {
        throw std::runtime_error("cannot find this program's path");
    }
    self[size] = '\0';
    std::filesystem::create_directories(DIVEBRIDGE_COUNTS_DIR);
    return readNotificationInstructions(
        outputUnderCallgrind({self, countingArgument, countedBridgeAddress, countedFloorAddress},
                             DIVEBRIDGE_COUNTS_DIR, CountedThreads::all));
}

bool measureAndPrint(const std::string &examples) {
    const ScratchDirectory scratch;
    const FakeBlueZProcess fake(scratch.path(), devices(scratch.path(), examples));
    const NotificationCost cost = measureNotificationCost({burstAddress, floorAddress}, costRounds);
    const NotificationInstructions counted = countNotificationInstructions();
    const std::vector<StopLatency> latencies = measureStopLatencies(pacedAddress, stopCount);

    FigureTable table;
    table.explain(
        "ns: CPU time of the whole bench process (every thread, the bus's event loop "
        "among them) from the request to the last of " +
        std::to_string(burstNotifications + 1) +
        " notifications sent in a burst, per notification; the median of " +
        std::to_string(costRounds) + " interleaved rounds");
    table.explain(
        "instr: instructions of every thread of the process, counted by callgrind from the "
        "request to the last of " +
        std::to_string(countedNotifications + 1) +
        " notifications paced at 7.5 ms, per notification; the median of " +
        std::to_string(countedRounds) + " transfers each");
    table.explain(
        "The share of the link judged is the bridge's instructions at " + referenceRateText() +
        " over 7.5 ms, the fastest connection interval, which brings one such notification; "
        "the measured CPU time's is reported.");
    table.explain(
        "Stop latency: wall time from requestStop() to the download's return, "
        "StopNotify and Disconnect included, " +
        std::to_string(notificationsBeforeStop) +
        " notifications into a transfer paced at 7.5 ms.");
    addCostFigures(cost, counted, table);
    addStopFigures(latencies, table);
    return table.print("Bluetooth LE (fake BlueZ on a private bus)");
}

}  // namespace
}  // namespace divebridge::bench

int main(int argc, char **argv) {
    using namespace divebridge::bench;
    if (argc == 4 && std::string(argv[1]) == countingArgument) {
        try {
            printNotificationInstructions({argv[2], argv[3]}, countedRounds, DIVEBRIDGE_COUNTS_DIR);
            return 0;
        } catch (const std::exception &failure) {
            std::fprintf(stderr, "ble_bench (counted): %s\n", failure.what());
            return 2;
        }
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: with-private-bus DIR %s EXAMPLES_DIRECTORY\n", argv[0]);
        return 2;
    }
    try {
        // The fake reads images relative to its configuration's directory.
        char examples[PATH_MAX];
        if (::realpath(argv[1], examples) == nullptr) {
            throw std::runtime_error(std::string("no directory ") + argv[1]);
        }
        return measureAndPrint(examples) ? 0 : 1;
    } catch (const std::exception &failure) {
        std::fprintf(stderr, "ble_bench: %s\n", failure.what());
        return 2;
    }
}
