// SPDX-License-Identifier: MIT
// Downloading only the new dives: on a dive computer that holds a thousand dives and two new ones,
// a download given the fingerprint of the newest dive already kept must cost what the two new
// dives cost, not what the thousand old ones would. Every dive costs link time here (its bytes
// move in paced packets, as a backend reads a dive computer's memory), so the download's wall
// time is compared with that of an image holding only those two dives, in the same rounds.
#include "device/device_connection.h"
#include "device/dive_computer.h"
#include "figures.h"
#include "generated_image.h"
#include "native_support.h"
#include "rounds.h"
#include "simulated_dive_computer.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

namespace divebridge::bench {
namespace {

constexpr std::uint32_t oldDives = 1000;
constexpr std::uint32_t newDives = 2;
// A ten-minute dive: some 5 KiB, five packets.
constexpr std::uint32_t rowsPerDive = 60;
// The link: packets of 1 KiB, each after 1 ms; the dive's packets move just before the dive.
const char *const pacedTransfer = R"("transfer": {"block_size": 1024, "block_delay_ms": 1})";
constexpr int roundCount = 15;
// Two new dives over the dives' own link time, with what a download costs besides them (the
// device's identity and clock, the stop at the kept dive) in the remaining half dive's worth.
constexpr double incrementalOverTwoDives = 1.5;

// The application's side: the fingerprint it kept from the last download.
class KeptFingerprint final : public Application {
  public:
    explicit KeptFingerprint(Bytes fingerprint) : fingerprint(std::move(fingerprint)) {}
    Bytes fingerprintFor(const char *) override { return fingerprint; }

  private:
    Bytes fingerprint;
};

std::string writtenImage(const std::string &name, const std::vector<DiveRun> &runs,
                         const std::string &members) {
    const std::string path = testing::writeTempFile(name, "");
    writeImage(path, generatedImage(runs, members));
    return path;
}

// A connection to the simulated device of an image, opened untimed (the simulator loads the
// whole image then): its downloads are timed on the wall clock, the link's pace included.
class TimedDevice {
  public:
    // `kept` (may be null) tells the fingerprint the application kept.
    explicit TimedDevice(const std::string &path, Application *kept = nullptr)
        : path(path),
          computer(benchVendor, benchModel, this->path.c_str(), kept),
          connection(computer) {}

    // Milliseconds of one download; it must bring `dives` dives.
    double download(std::size_t dives) {
        const auto start = std::chrono::steady_clock::now();
        const std::unique_ptr<DiveDownload> download = connection.download();
        const auto end = std::chrono::steady_clock::now();
        if (download->dives.size() != dives) {
            throw std::runtime_error("a download of " + path + " brought " +
                                     std::to_string(download->dives.size()) + " dives, not " +
                                     std::to_string(dives));
        }
        return std::chrono::duration<double, std::milli>(end - start).count();
    }

    Bytes newestFingerprint() { return connection.download()->newestFingerprint; }

  private:
    std::string path;
    DiveComputer computer;
    DeviceConnection connection;
};

struct Times {
    std::vector<double> incremental, alone, ratio;
    double full;
};

Times measure() {
    const SilencedStdout silenced;
    const DiveRun fresh{newDives, rowsPerDive, 2025};
    const DiveRun logbook{oldDives, rowsPerDive, 2024};
    // The fingerprint kept after the last download: that of the newest dive then, the logbook's
    // first.
    KeptFingerprint kept(
        TimedDevice(writtenImage("incremental-kept.json", {{1, rowsPerDive, 2024}}, ""))
            .newestFingerprint());
    const std::string grownPath =
        writtenImage("incremental-grown.json", {fresh, logbook}, pacedTransfer);
    TimedDevice grown(grownPath, &kept);
    TimedDevice twoDives(writtenImage("incremental-two.json", {fresh}, pacedTransfer));

    Times times;
    for (int round = 0; round < roundCount; ++round) {
        times.incremental.push_back(grown.download(newDives));
        times.alone.push_back(twoDives.download(newDives));
        times.ratio.push_back(times.incremental.back() / times.alone.back());
    }
    // A connection of its own: the fingerprint given to a device holds for its later downloads.
    times.full = TimedDevice(grownPath).download(newDives + oldDives);
    return times;
}

bool measureAndPrint() {
    const Times times = measure();
    const Measured incrementalTime = measuredOf(times.incremental);
    FigureTable table;
    table.explain("ms: wall time of the download (the device opened before), the median of " +
                  std::to_string(roundCount) +
                  " interleaved rounds; each dive's ~5 KiB move in packets of 1 KiB, 1 ms apart");
    table.report("incremental download: 2 new dives of 1,002, fingerprint of the kept newest",
                 incrementalTime, "ms");
    table.report("download of an image of just those 2 dives", measuredOf(times.alone), "ms");
    table.atMost("incremental / the 2 dives alone", measuredOf(times.ratio), "x",
                 incrementalOverTwoDives);
    table.report("full download of the 1,002 dives (one run)", times.full, "ms");
    table.report("full / incremental", times.full / incrementalTime.median, "x");
    return table.print("Incremental download (wall time, paced link)");
}

}  // namespace
}  // namespace divebridge::bench

int main() {
    try {
        return divebridge::bench::measureAndPrint() ? 0 : 1;
    } catch (const std::exception &failure) {
        std::fprintf(stderr, "incremental_bench: %s\n", failure.what());
        return 2;
    }
}
