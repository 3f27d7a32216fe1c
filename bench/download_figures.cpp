// SPDX-License-Identifier: MIT
#include "download_figures.h"

#include "native_support.h"
#include "parse/dive_parsing.h"

#include <memory>
#include <string>

#include <malloc.h>

namespace divebridge::bench {
namespace {

// A dive callback; a parse failure ends the benchmark here rather than unwind through the library.
int parseAndDrop(const unsigned char *data, unsigned int size, const unsigned char *, unsigned int,
                 void *device) noexcept {
    DiveRecord record = parseDiveData(static_cast<dc_device_t *>(device), data, size);
    keep(record.profile.rowCount);
    return 1;
}

// The simulator's device delivering every dive to the bridge's parse, each record dropped at
// once: the same work as a download but for keeping the records.
class ParsingDevice {
  public:
    explicit ParsingDevice(const std::string &path) : device(path) {}
    void download() { dc_device_foreach(device.handle(), parseAndDrop, device.handle()); }

  private:
    SimulatedDevice device;
};

// Whether each download starts on a heap returned to the system. A thousand dives always land in
// fresh pages, which the kernel must map and zero; a single dive would otherwise reuse the blocks
// its previous run freed, still mapped and in cache, which no real download (one per connection)
// enjoys.
enum class Heap { reused, fresh };

void prepareHeap(Heap heap) {
    if (heap == Heap::fresh) {
        ::malloc_trim(0);
    }
}

// A connection opened once, untimed: opening the simulator's device loads the whole image.
template <typename Connection>
int addDownload(Rounds &rounds, std::uint32_t dives, Heap heap) {
    auto connection = std::make_shared<Connection>(imagePath(dives, downloadRows));
    return rounds.add(
        [connection] { connection->download(); },
        heap == Heap::fresh ? Rounds::Body([] { prepareHeap(Heap::fresh); }) : Rounds::Body());
}

double rowsOf(std::uint32_t dives) {
    return static_cast<double>(dives) * downloadRows;
}

double millionRowsPerSecond(double nanos, double rows) {
    return rows / nanos * 1e3;
}

}  // namespace

DownloadFigures::DownloadFigures(Rounds &rounds) {
    for (const std::uint32_t dives : {0u, 1u, 100u, 1000u}) {
        fresh[dives] = {addDownload<BridgeConnection>(rounds, dives, Heap::fresh),
                        addDownload<ParsingDevice>(rounds, dives, Heap::reused)};
    }
    reusedOneDive = {addDownload<BridgeConnection>(rounds, 1, Heap::reused),
                     fresh.at(1).parsedAndDropped};
}

// What a download costs beyond delivering and parsing its dives (storing the records, the events):
// both runs do the same work in the simulator and the same parsing, so the difference is the
// bridge's alone.
double DownloadFigures::beyondParsing(const Rounds &rounds, int round, const Bodies &bodies) const {
    return rounds.sample(bodies.download, round) - rounds.sample(bodies.parsedAndDropped, round);
}

// The bridge's nanoseconds for a download of `dives` dives, simulator excluded: its parse of each
// dive, measured without the simulator, and what the download adds beyond parsing.
double DownloadFigures::bridge(const Rounds &rounds, int round, std::uint32_t dives,
                               const std::function<double(int round)> &parsePerDive) const {
    return dives * parsePerDive(round) + beyondParsing(rounds, round, fresh.at(dives));
}

// Cost = fixed + perRow x rows, the fixed part being a download of no dive; growth is the per-row
// cost of a thousand dives over that of one, round by round.
double DownloadFigures::perRow(const Rounds &rounds, int round, std::uint32_t dives,
                               const std::function<double(int round)> &parsePerDive) const {
    return (bridge(rounds, round, dives, parsePerDive) - bridge(rounds, round, 0, parsePerDive)) /
           rowsOf(dives);
}

void DownloadFigures::addTo(const Rounds &rounds,
                            const std::function<double(int round)> &parsePerDive,
                            FigureTable &table) const {
    table.report("download D=100 R=3600, simulator excluded", rounds.over([&](int round) {
        return millionRowsPerSecond(bridge(rounds, round, 100, parsePerDive), rowsOf(100));
    }),
                 "M rows/s");
    table.report(
        "download D=100 R=3600, bridge and simulator together", rounds.over([&](int round) {
            return millionRowsPerSecond(rounds.sample(fresh.at(100).download, round), rowsOf(100));
        }),
        "M rows/s");
    table.report("download, fixed cost per call (no dive), simulator excluded",
                 rounds.over([&](int round) { return bridge(rounds, round, 0, parsePerDive); }),
                 "ns");
    table.report("download beyond parsing per row, D=1 R=3600, heap reused",
                 rounds.over([&](int round) {
                     return beyondParsing(rounds, round, reusedOneDive) / rowsOf(1);
                 }),
                 "ns");
    for (const std::uint32_t dives : {1u, 1000u}) {
        const std::string size = "D=" + std::to_string(dives) + " R=3600";
        table.report("download beyond parsing per row, " + size, rounds.over([&](int round) {
            return beyondParsing(rounds, round, fresh.at(dives)) / rowsOf(dives);
        }),
                     "ns");
        table.report(
            "download per row beyond fixed cost, " + size + ", simulator excluded",
            rounds.over([&](int round) { return perRow(rounds, round, dives, parsePerDive); }),
            "ns");
    }
    table.report("download per-row growth, D=1 .. 1,000 (R=3600)", rounds.over([&](int round) {
        return perRow(rounds, round, 1000, parsePerDive) / perRow(rounds, round, 1, parsePerDive);
    }),
                 "x");
}

}  // namespace divebridge::bench
