// SPDX-License-Identifier: MIT
// The bridge's native times: sample collection, parsing, record copies and whole downloads
// through the simulator. Every body is timed in rounds (CPU time of this thread) and each figure
// reported as the median over the rounds, with their range. Times turn with the machine, so the
// verdicts are on counts: the memory figures here, instructions and allocations in count_bench.
//
// The simulator's decoding is not subtracted: timed alone, its loop into an empty callback waits
// on each sample's stores and costs more than its share of a parse, where the bridge's work fills
// those waits. The bridge's per-row work is timed without the simulator instead.
#include "download_figures.h"
#include "figures.h"
#include "memory_figures.h"
#include "native_support.h"
#include "parse/dive_parsing.h"
#include "parse/parser_adapter.h"
#include "parse/sample_collection.h"
#include "rounds.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace divebridge::bench {
namespace {

constexpr int roundCount = 31;
constexpr double minimumSeconds = 0.03;
// The block of samples the collection is fed from, replayed as often as a size needs: 128 KiB,
// held in cache at every size, as a library's decoding of a dive's bytes would be.
constexpr std::uint32_t replayedRows = 1024;

using SampleStream = std::vector<std::pair<dc_sample_type_t, dc_sample_value_t>>;

// The sample stream the simulator delivers for a generated dive, held in memory.
SampleStream sampleStream(std::uint32_t rows) {
    SampleStream stream;
    stream.reserve(static_cast<std::size_t>(rows) * 4);
    for (std::uint32_t row = 0; row < rows; ++row) {
        dc_sample_value_t value{};
        value.time = row * 10;
        stream.emplace_back(DC_SAMPLE_TIME, value);
        value.depth = 10.0 + static_cast<double>(row % 20);
        stream.emplace_back(DC_SAMPLE_DEPTH, value);
        value.pressure.value = 200.0 - static_cast<double>(row) * 0.01;
        stream.emplace_back(DC_SAMPLE_PRESSURE, value);
        value.temperature = 18.0;
        stream.emplace_back(DC_SAMPLE_TEMPERATURE, value);
    }
    return stream;
}

// A dive of `rows` rows parsed whole and by the simulator alone, from the same bytes.
struct ParseBodies {
    int whole;
    int simulator;
};

ParseBodies addParses(Rounds &rounds, const std::shared_ptr<const SimulatedDevice> &device,
                      std::uint32_t rows) {
    auto bytes = std::make_shared<const std::vector<unsigned char>>(generatedDiveBytes(rows));
    const auto size = static_cast<unsigned int>(bytes->size());
    const int whole = rounds.add([device, bytes, size] {
        DiveRecord record = parseDiveData(device->handle(), bytes->data(), size);
        keep(record.profile.rowCount);
    });
    const int simulator = rounds.add(
        [device, bytes, size] { decodeInSimulator(device->handle(), bytes->data(), size); });
    return {whole, simulator};
}

// The bridge's collection alone, all of its per-row work in a parse: the sample callback and the
// final padding, fed `rows` rows from memory.
int addCollection(Rounds &rounds, std::uint32_t rows) {
    auto block = std::make_shared<const SampleStream>(sampleStream(std::min(rows, replayedRows)));
    return rounds.add([block, rows] {
        DiveProfile profile;
        SampleCollector collector{profile, nullptr};
        const std::uint32_t blockRows = static_cast<std::uint32_t>(block->size() / 4);
        for (std::uint32_t fed = 0; fed < rows; fed += blockRows) {
            const auto end = block->begin() + 4 * std::min(blockRows, rows - fed);
            for (auto sample = block->begin(); sample != end; ++sample) {
                sampleCallback(sample->first, sampleArgumentOf(sample->second), &collector);
            }
        }
        padColumns(profile, profile.rowCount);
        keep(profile);
    });
}

// A record copied whole, as a caller keeping a dive would.
int addRecordCopy(Rounds &rounds, const SimulatedDevice &device, std::uint32_t rows) {
    const std::vector<unsigned char> bytes = generatedDiveBytes(rows);
    auto source = std::make_shared<const DiveRecord>(
        parseDiveData(device.handle(), bytes.data(), static_cast<unsigned int>(bytes.size())));
    return rounds.add([source] {
        DiveRecord copy = *source;
        keep(copy.profile.rowCount);
    });
}

double millionRowsPerSecond(double nanos, double rows) {
    return rows / nanos * 1e3;
}

// The bridge's parse of a dive costs fixed + perRow x rows. The fixed part is a one-row dive
// parsed whole with the simulator's decoding of it taken out (at one row the two add up); the
// per-row part is the collection's cost beyond a one-row dive, over the further rows. Growth is
// that per-row cost at the largest size over the one at the smallest judged size, round by round.
class ParseFigures {
  public:
    ParseFigures(Rounds &rounds, const std::shared_ptr<const SimulatedDevice> &device)
        : oneRow(addParses(rounds, device, 1)), typical(addParses(rounds, device, downloadRows)) {
        for (const std::uint32_t rows : {1u, 1000u, downloadRows, 10000u, 100000u}) {
            collection[rows] = addCollection(rounds, rows);
        }
    }

    // The bridge's nanoseconds to parse a dive of `rows` rows in `round`, simulator excluded.
    double bridge(const Rounds &rounds, int round, std::uint32_t rows) const {
        return fixed(rounds, round) + beyondOneRow(rounds, round, rows);
    }

    void addTo(const Rounds &rounds, FigureTable &table) const {
        for (const std::uint32_t rows : {downloadRows, 100000u}) {
            table.report("parse + collection, simulator excluded, R=" + std::to_string(rows),
                         rounds.over([&](int round) {
                             return millionRowsPerSecond(bridge(rounds, round, rows), rows);
                         }),
                         "M rows/s");
        }
        table.report(
            "whole parse with the simulator's decoding, R=3600", rounds.over([&](int round) {
                return millionRowsPerSecond(rounds.sample(typical.whole, round), downloadRows);
            }),
            "M rows/s");
        table.report("simulator's decoding alone, R=3600", rounds.over([&](int round) {
            return millionRowsPerSecond(rounds.sample(typical.simulator, round), downloadRows);
        }),
                     "M rows/s");
        table.report("parse, fixed cost per dive (one-row dive), simulator excluded",
                     rounds.over([&](int round) { return fixed(rounds, round); }), "ns");
        for (const std::uint32_t rows : {1000u, 10000u, 100000u}) {
            table.report("collection per row beyond a one-row dive, R=" + std::to_string(rows),
                         rounds.over([&](int round) { return perRow(rounds, round, rows); }), "ns");
        }
        table.report("parse per-row growth, R=1,000 .. 100,000", rounds.over([&](int round) {
            return perRow(rounds, round, 100000) / perRow(rounds, round, 1000);
        }),
                     "x");
    }

  private:
    double fixed(const Rounds &rounds, int round) const {
        return rounds.sample(oneRow.whole, round) - rounds.sample(oneRow.simulator, round);
    }
    double beyondOneRow(const Rounds &rounds, int round, std::uint32_t rows) const {
        return rounds.sample(collection.at(rows), round) - rounds.sample(collection.at(1), round);
    }
    double perRow(const Rounds &rounds, int round, std::uint32_t rows) const {
        return beyondOneRow(rounds, round, rows) / (rows - 1);
    }

    ParseBodies oneRow;
    ParseBodies typical;
    std::map<std::uint32_t, int> collection;
};

bool measureAndPrint() {
    // The memory figures first, while the heap's history is the same in every run: the runs a
    // timed sample needs vary with the machine, and with them where later blocks land.
    FigureTable memory;
    addMemoryFigures(memory);

    Rounds rounds;
    // The device dives are parsed on: the bench model's, on an image without dives.
    const auto device = std::make_shared<const SimulatedDevice>(imagePath(0, downloadRows));
    const ParseFigures parse(rounds, device);
    const int recordCopy = addRecordCopy(rounds, *device, downloadRows);
    const DownloadFigures download(rounds);
    {
        const SilencedStdout silenced;
        rounds.run(roundCount, minimumSeconds);
    }

    FigureTable table;
    parse.addTo(rounds, table);
    table.report("record copy, R=3600", rounds.over([&](int round) {
        return millionRowsPerSecond(rounds.sample(recordCopy, round), downloadRows);
    }),
                 "M rows/s");
    download.addTo(
        rounds, [&](int round) { return parse.bridge(rounds, round, downloadRows); }, table);
    table.explain(
        "Times, reported and not judged: the verdicts on the bridge's native work are "
        "on counts (count_bench and the memory figures below).");
    table.explain("ns and M rows/s: CPU time of the thread, the median of " +
                  std::to_string(roundCount) + " interleaved rounds, with their range.");
    table.print("native times");
    return memory.print("native memory (counts)");
}

}  // namespace
}  // namespace divebridge::bench

int main() {
    return divebridge::bench::measureAndPrint() ? 0 : 1;
}
