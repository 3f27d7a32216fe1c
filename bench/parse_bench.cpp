// The bridge's native cost: sample collection, parsing, record copies and whole downloads through
// the simulator, each set apart from the simulator's own decoding. Prints every figure beside its
// target after the Google Benchmark runs (CPU time of the benchmark thread, median of the
// repetitions).
#include "device/device_adapter.h"
#include "device/device_connection.h"
#include "device/dive_computer.h"
#include "figures.h"
#include "generated_image.h"
#include "parse/dive_parsing.h"
#include "parse/parser_adapter.h"
#include "parse/sample_collection.h"
#include "simulated_dive_computer.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

namespace divebridge::bench {
namespace {

constexpr int repetitions = 5;
constexpr double minimumSeconds = 0.2;

// The same sample stream as the simulator delivers for a generated dive, held in memory.
std::vector<std::pair<dc_sample_type_t, dc_sample_value_t>> sampleStream(std::int64_t rows) {
    std::vector<std::pair<dc_sample_type_t, dc_sample_value_t>> stream;
    stream.reserve(static_cast<std::size_t>(rows) * 4);
    for (std::int64_t row = 0; row < rows; ++row) {
        dc_sample_value_t value{};
        value.time = static_cast<unsigned int>(row * 10);
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

std::vector<unsigned char> generatedDiveBytes(std::int64_t rows) {
    return testing::encodeDive(generatedDive(static_cast<std::uint32_t>(rows)));
}

// Standard output goes to /dev/null while alive: a download prints a progress line per dive.
class SilencedStdout {
  public:
    SilencedStdout() : saved(::dup(STDOUT_FILENO)) {
        std::fflush(stdout);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::close(null);
    }
    ~SilencedStdout() {
        std::fflush(stdout);
        ::dup2(saved, STDOUT_FILENO);
        ::close(saved);
    }
    SilencedStdout(const SilencedStdout &) = delete;
    SilencedStdout &operator=(const SilencedStdout &) = delete;

  private:
    int saved;
};

std::string imagePath(std::int64_t dives, std::int64_t rows) {
    static std::map<std::pair<std::int64_t, std::int64_t>, std::string> written;
    std::string &path = written[{dives, rows}];
    if (path.empty()) {
        path = testing::writeTempFile(
            "bench-" + std::to_string(dives) + "x" + std::to_string(rows) + ".json", "");
        writeGeneratedImage(path, static_cast<std::uint32_t>(dives),
                            static_cast<std::uint32_t>(rows));
    }
    return path;
}

// The bridge's collection alone: the sample callback and the final padding, fed from memory.
void collectSamples(benchmark::State &state) {
    const auto stream = sampleStream(state.range(0));
    for (auto _ : state) {
        DiveProfile profile;
        SampleCollector collector{profile, nullptr};
        for (const auto &[type, value] : stream) {
            sampleCallback(type, sampleArgumentOf(value), &collector);
        }
        padColumns(profile, profile.rowCount);
        benchmark::DoNotOptimize(profile);
    }
    state.counters["rows"] = static_cast<double>(state.range(0));
}

void ignoreSample(dc_sample_type_t, SampleValueArgument, void *) {}

// The simulator alone: creating its parser on the bytes and walking the samples into nothing.
void decodeInSimulator(dc_device_t *device, const unsigned char *data, unsigned int size) {
    dc_parser_t *parser = nullptr;
    createParser(&parser, device, data, size);
    dc_parser_samples_foreach(parser, ignoreSample, nullptr);
    dc_parser_destroy(parser);
}

void simulatorDecoding(benchmark::State &state) {
    const testing::OpenedDevice device;
    const std::vector<unsigned char> bytes = generatedDiveBytes(state.range(0));
    for (auto _ : state) {
        decodeInSimulator(device.handle(), bytes.data(), static_cast<unsigned int>(bytes.size()));
    }
    state.counters["rows"] = static_cast<double>(state.range(0));
}

// The whole of parseDiveData: the simulator's decoding plus the bridge's readers and collection.
void parseDive(benchmark::State &state) {
    const testing::OpenedDevice device;
    const std::vector<unsigned char> bytes = generatedDiveBytes(state.range(0));
    for (auto _ : state) {
        DiveRecord record =
            parseDiveData(device.handle(), bytes.data(), static_cast<unsigned int>(bytes.size()));
        benchmark::DoNotOptimize(record.profile.rowCount);
    }
    state.counters["rows"] = static_cast<double>(state.range(0));
}

// A record copied whole, as a caller keeping a dive would.
void copyRecord(benchmark::State &state) {
    const testing::OpenedDevice device;
    const std::vector<unsigned char> bytes = generatedDiveBytes(state.range(0));
    const DiveRecord source =
        parseDiveData(device.handle(), bytes.data(), static_cast<unsigned int>(bytes.size()));
    for (auto _ : state) {
        DiveRecord copy = source;
        benchmark::DoNotOptimize(copy.profile.rowCount);
    }
    state.counters["rows"] = static_cast<double>(state.range(0));
}

int decodeDiveInSimulator(const unsigned char *data, unsigned int size, const unsigned char *,
                          unsigned int, void *device) {
    decodeInSimulator(static_cast<dc_device_t *>(device), data, size);
    return 1;
}

struct DeviceClose {
    void operator()(dc_device_t *device) const { dc_device_close(device); }
};

// The simulator's device on an image, opened outside the timed region: opening loads and encodes
// the whole image, which is the simulator's work and not a dive computer's.
class SimulatedDevice {
  public:
    explicit SimulatedDevice(const std::string &path)
        : computer(benchVendor, benchModel, path.c_str()),
          stream(
              openTransport(computer.contextHandle(), computer.descriptorHandle(), path.c_str())) {
        dc_device_t *raw = nullptr;
        openDevice(&raw, computer.contextHandle(), computer.descriptorHandle(), path.c_str(),
                   stream);
        device.reset(raw);
    }
    dc_device_t *handle() const { return device.get(); }

  private:
    DiveComputer computer;
    TransportStream stream;
    std::unique_ptr<dc_device_t, DeviceClose> device;
};

// The third argument of a download benchmark: whether each repetition starts on a heap returned to
// the system. A thousand dives always land in fresh pages, which the kernel must map and zero; a
// single dive would otherwise reuse the blocks its previous repetition freed, still mapped and in
// cache, which no real download (one per connection) enjoys.
enum HeapCondition : std::int64_t { reusedHeap = 0, freshHeap = 1 };

void prepareHeap(const benchmark::State &state) {
    if (state.range(2) == freshHeap) {
        ::malloc_trim(0);
    }
}

// The simulator alone on a whole image: delivering every dive and decoding its samples.
void simulatorDownload(benchmark::State &state) {
    const std::string path = imagePath(state.range(0), state.range(1));
    std::optional<SimulatedDevice> device;
    for (auto _ : state) {
        state.PauseTiming();
        device.reset();  // closing frees the simulator's image
        prepareHeap(state);
        device.emplace(path);
        state.ResumeTiming();
        dc_device_foreach(device->handle(), decodeDiveInSimulator, device->handle());
    }
    state.counters["rows"] = static_cast<double>(state.range(0) * state.range(1));
}

// The bridge's connection to the simulated device of an image.
struct BridgeConnection {
    DiveComputer computer;
    DeviceConnection connection;
    explicit BridgeConnection(const std::string &path)
        : computer(benchVendor, benchModel, path.c_str()), connection(computer) {}
};

// The bridge's download of a whole image: every dive delivered, parsed, stored, then released.
void bridgeDownload(benchmark::State &state) {
    const std::string path = imagePath(state.range(0), state.range(1));
    const SilencedStdout silenced;
    std::optional<BridgeConnection> open;
    for (auto _ : state) {
        state.PauseTiming();
        open.reset();
        prepareHeap(state);
        open.emplace(path);
        state.ResumeTiming();
        std::unique_ptr<DiveDownload> download = open->connection.download();
        benchmark::DoNotOptimize(download->dives.data());
        download.reset();
    }
    state.counters["rows"] = static_cast<double>(state.range(0) * state.range(1));
}

void configure(benchmark::internal::Benchmark *benchmark) {
    benchmark->Repetitions(repetitions)->ReportAggregatesOnly(true)->MinTime(minimumSeconds);
}

const std::vector<std::int64_t> rowCounts = {100, 1000, 3600, 10000, 100000};

BENCHMARK(collectSamples)->ArgsProduct({rowCounts})->Apply(configure);
BENCHMARK(simulatorDecoding)->ArgsProduct({rowCounts})->Apply(configure);
BENCHMARK(parseDive)->ArgsProduct({rowCounts})->Apply(configure);
BENCHMARK(copyRecord)->Arg(3600)->Apply(configure);
void downloadSizes(benchmark::internal::Benchmark *benchmark) {
    benchmark->Args({1, 3600, reusedHeap})
        ->Args({1, 3600, freshHeap})
        ->Args({100, 3600, freshHeap})
        ->Args({1000, 3600, freshHeap})
        ->Apply(configure);
}

BENCHMARK(simulatorDownload)->Apply(downloadSizes);
BENCHMARK(bridgeDownload)->Apply(downloadSizes);

// Keeps the median of each benchmark's repetitions: CPU nanoseconds per sample row.
class MedianReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run> &runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                const double rows = run.counters.at("rows").value;
                const std::string &args = run.run_name.args;
                nanosPerRow[run.run_name.function_name + (args.empty() ? "" : "/" + args)] =
                    run.GetAdjustedCPUTime() / rows;
            }
        }
    }

    double perRow(const std::string &name) const { return nanosPerRow.at(name); }

  private:
    std::map<std::string, double> nanosPerRow;
};

// Native heap (small blocks and mapped ones) in use now.
double heapInUse() {
    const struct mallinfo2 info = ::mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd);
}

// Heap bytes a downloaded row keeps while the download's records wait to be converted.
double storedBytesPerRow(std::uint32_t dives, std::uint32_t rows) {
    const std::string path = imagePath(dives, rows);
    const SilencedStdout silenced;
    const DiveComputer computer(benchVendor, benchModel, path.c_str());
    DeviceConnection connection(computer);
    ::malloc_trim(0);
    const double before = heapInUse();
    const std::unique_ptr<DiveDownload> download = connection.download();
    const double after = heapInUse();
    return (after - before) / (static_cast<double>(dives) * rows);
}

double rowsPerSecond(double nanosPerRow) {
    return 1e9 / nanosPerRow;
}

double spread(const std::vector<double> &values) {
    const auto [least, most] = std::minmax_element(values.begin(), values.end());
    return *most / *least;
}

bool printFigures(const MedianReporter &results) {
    FigureTable table;
    const auto bridgeParse = [&](int rows) {
        const std::string arg = "/" + std::to_string(rows);
        return results.perRow("parseDive" + arg) - results.perRow("simulatorDecoding" + arg);
    };
    const auto bridgeDownloadPerRow = [&](int dives, HeapCondition heap = freshHeap) {
        const std::string args = "/" + std::to_string(dives) + "/3600/" + std::to_string(heap);
        return results.perRow("bridgeDownload" + args) - results.perRow("simulatorDownload" + args);
    };
    for (const int rows : {3600, 100000}) {
        table.atLeast("parse + collection, simulator excluded, R=" + std::to_string(rows),
                      rowsPerSecond(bridgeParse(rows)) / 1e6, "M rows/s", 20);
    }
    table.report("collection alone (from memory), R=3600",
                 rowsPerSecond(results.perRow("collectSamples/3600")) / 1e6, "M rows/s");
    table.report("simulator decoding alone, R=3600",
                 rowsPerSecond(results.perRow("simulatorDecoding/3600")) / 1e6, "M rows/s");
    table.report("record copy, R=3600", rowsPerSecond(results.perRow("copyRecord/3600")) / 1e6,
                 "M rows/s");
    table.atLeast("download D=100 R=3600, simulator excluded",
                  rowsPerSecond(bridgeDownloadPerRow(100)) / 1e6, "M rows/s", 20);
    table.report(
        "download D=100 R=3600, simulator's share",
        rowsPerSecond(results.perRow("simulatorDownload/100/3600/" + std::to_string(freshHeap))) /
            1e6,
        "M rows/s");

    std::vector<double> perRow;
    for (const int rows : {100, 1000, 10000, 100000}) {
        perRow.push_back(bridgeParse(rows));
        table.report("parse + collection per row, R=" + std::to_string(rows), perRow.back(), "ns");
    }
    perRow.erase(perRow.begin());  // R=100 is reported, the flatness counts from R=1,000
    table.atMost("per-row spread, R=1,000 .. 100,000 (max/min)", spread(perRow), "x", 1.25);
    const double oneDive = bridgeDownloadPerRow(1);
    const double thousandDives = bridgeDownloadPerRow(1000);
    table.report("download per row, D=1 R=3600, simulator excluded, heap reused",
                 bridgeDownloadPerRow(1, reusedHeap), "ns");
    table.report("download per row, D=1 R=3600, simulator excluded", oneDive, "ns");
    table.report("download per row, D=1000 R=3600, simulator excluded", thousandDives, "ns");
    table.atMost("per-row spread, D=1 .. 1,000 (max/min)", spread({oneDive, thousandDives}), "x",
                 1.25);

    table.atMost("native memory of a stored row, D=1000 R=3600", storedBytesPerRow(1000, 3600),
                 "bytes", 48);
    table.atMost("native memory of a stored row, D=1 R=100000", storedBytesPerRow(1, 100000),
                 "bytes", 48);
    return table.print("native figures (CPU time, median of " + std::to_string(repetitions) +
                       " repetitions)");
}

}  // namespace
}  // namespace divebridge::bench

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    divebridge::bench::MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return divebridge::bench::printFigures(reporter) ? 0 : 1;
}
