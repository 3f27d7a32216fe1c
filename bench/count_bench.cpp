// SPDX-License-Identifier: MIT
// The bridge's native work in counts that a run repeats on any machine: instructions counted by
// callgrind and allocations (calls of operator new), per dive and per row, and how they grow with
// the rows of a dive and the dives of a download. The simulator's own work is counted on its own
// and taken out: counts add up, so the difference is the bridge's alone.
//
// It runs itself under callgrind, about fifty times slower than natively: the sizes are the
// smallest that show growth.
//
// A download's instructions, at a modest core's rate, are also set against the time the serial
// link takes to carry its dives.
#include "allocation_counter.h"
#include "device/device_connection.h"
#include "device/dive_computer.h"
#include "figures.h"
#include "instruction_counter.h"
#include "native_support.h"
#include "parse/dive_parsing.h"

#include <cstdint>
#include <cstdio>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace divebridge::bench {
namespace {

// What one run of a body costs.
struct Counts {
    double instructions;
    double allocations;
};

Counts operator-(const Counts &left, const Counts &right) {
    return {left.instructions - right.instructions, left.allocations - right.allocations};
}

class Counter {
  public:
    explicit Counter(const std::string &dumpDirectory) : instructions(dumpDirectory) {}

    Counts count(const std::string &name, const std::function<void()> &body) {
        std::uint64_t allocations = 0;
        const std::uint64_t total = instructions.count(name, [&] {
            const std::uint64_t before = allocationsSoFar();
            body();
            allocations = allocationsSoFar() - before;
        });
        return {static_cast<double>(total), static_cast<double>(allocations)};
    }

  private:
    InstructionCounter instructions;
};

constexpr std::uint32_t parseRows[] = {1, 1000, downloadRows, 10000};
constexpr std::uint32_t downloadDives[] = {0, 1, 10, 100};

// The bridge's parse of a dive of each size: the whole parse less the simulator's decoding of
// the same bytes.
std::map<std::uint32_t, Counts> countParses(Counter &counter) {
    const SimulatedDevice device(imagePath(0, downloadRows));
    std::map<std::uint32_t, Counts> bridge;
    for (const std::uint32_t rows : parseRows) {
        const std::vector<unsigned char> bytes = generatedDiveBytes(rows);
        const auto size = static_cast<unsigned int>(bytes.size());
        const std::string name = "R=" + std::to_string(rows);
        const Counts whole = counter.count("parse " + name, [&] {
            DiveRecord record = parseDiveData(device.handle(), bytes.data(), size);
            keep(record.profile.rowCount);
        });
        const Counts simulator = counter.count("simulator's decoding " + name, [&] {
            decodeInSimulator(device.handle(), bytes.data(), size);
        });
        bridge[rows] = whole - simulator;
    }
    return bridge;
}

// The bridge's download of an image: the download less the simulator delivering and decoding
// the same dives.
Counts countDownload(Counter &counter, const std::string &path, const std::string &name) {
    const SilencedStdout silenced;
    BridgeConnection connection(path);
    const Counts download = counter.count("download " + name, [&] { connection.download(); });
    SimulatorDownload simulatorDownload(path);
    const Counts simulator =
        counter.count("simulator's delivery " + name, [&] { simulatorDownload.download(); });
    return download - simulator;
}

std::map<std::uint32_t, Counts> countDownloads(Counter &counter) {
    std::map<std::uint32_t, Counts> bridge;
    for (const std::uint32_t dives : downloadDives) {
        bridge[dives] =
            countDownload(counter, imagePath(dives, downloadRows), "D=" + std::to_string(dives));
    }
    return bridge;
}

// A logbook whose download is set against the link's time.
struct Logbook {
    std::string name;
    double instructions;  // the bridge's, simulator excluded
    double rows;          // kept: those with a depth, as the host keeps them
};

double keptRows(const std::string &path) {
    const SilencedStdout silenced;
    const DiveComputer computer(benchVendor, benchModel, path.c_str());
    DeviceConnection connection(computer);
    const std::unique_ptr<DiveDownload> download = connection.download();
    double rows = 0;
    for (const DiveRecord &dive : download->dives) {
        for (std::uint32_t row = 0; row < dive.profile.rowCount; ++row) {
            rows += dive.profile.depths[row] ? 1 : 0;
        }
    }
    return rows;
}

// The bundled logbook, a short dive alone, and the largest download counted above.
std::vector<Logbook> countLogbooks(Counter &counter,
                                   const std::map<std::uint32_t, Counts> &downloads) {
    const std::string reefWeek = std::string(DIVEBRIDGE_EXAMPLES_DIR) + "/reef-week.json";
    const std::string shortDive = imagePath(1, 100);
    return {
        {"examples/reef-week.json", countDownload(counter, reefWeek, "reef-week").instructions,
         keptRows(reefWeek)},
        {"D=1 R=100", countDownload(counter, shortDive, "D=1 R=100").instructions,
         keptRows(shortDive)},
        {"D=100 R=3600", downloads.at(100).instructions, keptRows(imagePath(100, downloadRows))},
    };
}

// The 20 M rows/s goal gives the bridge 50 ns a row; a 2 GHz core retiring 3 instructions a cycle
// runs 300 in that time.
constexpr double instructionsPerRowBudget = 300;
// Per-row work must not grow with the size of a dive or of a download.
constexpr double growthLimit = 1.25;
// The columns grow by doubling: ten times the rows add about log2(10) blocks to each column, far
// fewer than the allocations a dive already makes, where allocating by the row or by a fixed
// block would multiply them.
constexpr double allocationsForTenfoldRows = 2;

// A typical logbook's density, 4 bytes a sample row, sent at 10 bits a byte at 115200 baud, the
// fastest serial link a dive computer offers.
constexpr double linkSecondsPerRow = 4 * 10 / 115200.0;
// The bridge must be a rounding error beside the link.
constexpr double linkShareBudgetPercent = 1;

// Cost = fixed + perRow x units; the fixed part is the smallest size's.
double perUnit(double cost, double fixed, double units) {
    return (cost - fixed) / units;
}

void addParseFigures(const std::map<std::uint32_t, Counts> &parses, FigureTable &table) {
    const Counts fixed = parses.at(1);
    const auto perRow = [&](std::uint32_t rows) {
        return perUnit(parses.at(rows).instructions, fixed.instructions, rows - 1);
    };
    table.report("parse, instructions per dive (one-row dive)", fixed.instructions, "instr");
    for (const std::uint32_t rows : {1000u, downloadRows, 10000u}) {
        const std::string name =
            "parse + collection, instructions per row beyond it, R=" + std::to_string(rows);
        if (rows == downloadRows) {
            table.atMost(name, perRow(rows), "instr", instructionsPerRowBudget);
        } else {
            table.report(name, perRow(rows), "instr");
        }
    }
    table.atMost("parse instructions per row, growth R=1,000 .. 10,000",
                 perRow(10000) / perRow(1000), "x", growthLimit);
    for (const std::uint32_t rows : parseRows) {
        table.report("parse allocations per dive, R=" + std::to_string(rows),
                     parses.at(rows).allocations, "allocs");
    }
    table.atMost("parse allocations per dive, R=10,000 over R=1,000",
                 parses.at(10000).allocations / parses.at(1000).allocations, "x",
                 allocationsForTenfoldRows);
}

void addDownloadFigures(const std::map<std::uint32_t, Counts> &downloads, FigureTable &table) {
    const Counts fixed = downloads.at(0);
    const auto rowsOf = [](std::uint32_t dives) {
        return static_cast<double>(dives) * downloadRows;
    };
    const auto perRow = [&](std::uint32_t dives) {
        return perUnit(downloads.at(dives).instructions, fixed.instructions, rowsOf(dives));
    };
    const auto allocationsPerDive = [&](std::uint32_t dives) {
        return perUnit(downloads.at(dives).allocations, fixed.allocations, dives);
    };
    table.report("download, instructions per call (no dive)", fixed.instructions, "instr");
    for (const std::uint32_t dives : {1u, 10u, 100u}) {
        const std::string name =
            "download, instructions per row beyond it, D=" + std::to_string(dives) + " R=3600";
        if (dives == 100) {
            table.atMost(name, perRow(dives), "instr", instructionsPerRowBudget);
        } else {
            table.report(name, perRow(dives), "instr");
        }
    }
    table.atMost("download instructions per row, growth D=1 .. 100 (R=3600)",
                 perRow(100) / perRow(1), "x", growthLimit);
    table.report("download, allocations per call (no dive)", fixed.allocations, "allocs");
    for (const std::uint32_t dives : {1u, 10u, 100u}) {
        table.report(
            "download, allocations per dive beyond it, D=" + std::to_string(dives) + " R=3600",
            allocationsPerDive(dives), "allocs");
    }
    table.atMost("download allocations per dive, growth D=1 .. 100 (R=3600)",
                 allocationsPerDive(100) / allocationsPerDive(1), "x", growthLimit);
}

void addLinkFigures(const std::vector<Logbook> &logbooks, FigureTable &table) {
    for (const Logbook &logbook : logbooks) {
        table.report("download instructions, " + logbook.name + " (" +
                         std::to_string(static_cast<long>(logbook.rows)) + " rows)",
                     logbook.instructions, "instr");
        const double bridgeSeconds = logbook.instructions / referenceInstructionsPerSecond;
        table.atMost("bridge's download / link time at 115200 baud, " + logbook.name,
                     100 * bridgeSeconds / (logbook.rows * linkSecondsPerRow), "%",
                     linkShareBudgetPercent);
    }
}

bool print(const std::map<std::uint32_t, Counts> &parses,
           const std::map<std::uint32_t, Counts> &downloads, const std::vector<Logbook> &logbooks) {
    FigureTable table;
    table.explain(
        "instr: instructions executed, counted by callgrind (the same for the same "
        "binary and input on any machine)");
    table.explain("allocs: calls of operator new");
    table.explain(
        "Both are the bridge's alone: the simulator's decoding and delivery of the same "
        "dives are counted apart and taken out.");
    table.explain(
        "A per-row figure is the cost beyond the fixed one (a one-row dive, a download "
        "without dives) over the further rows; growth is that at the larger size over "
        "the smaller.");
    table.explain(
        "A download against the link: the bridge's instructions, simulator excluded, at " +
        referenceRateText() +
        ", over the time its kept rows take at 4 bytes a row, 10 bits a byte, 115200 baud; the "
        "JVM figures report the measured export's.");
    addParseFigures(parses, table);
    addDownloadFigures(downloads, table);
    addLinkFigures(logbooks, table);
    return table.print("native counts (callgrind, repeatable)");
}

}  // namespace
}  // namespace divebridge::bench

int main(int argc, char **argv) {
    using namespace divebridge::bench;
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DUMP_DIRECTORY\n", argv[0]);
        return 2;
    }
    try {
        runUnderCallgrind(argv, argv[1]);
        Counter counter(argv[1]);
        const auto parses = countParses(counter);
        const auto downloads = countDownloads(counter);
        const auto logbooks = countLogbooks(counter, downloads);
        return print(parses, downloads, logbooks) ? 0 : 1;
    } catch (const std::exception &failure) {
        std::fprintf(stderr, "count_bench: %s\n", failure.what());
        return 2;
    }
}
