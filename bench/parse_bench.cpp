// The bridge's own cost per sample row when a dive is parsed and its samples collected, apart from
// the simulator's decoding of the dive's bytes.
#include "parse/dive_parsing.h"
#include "parse/sample_collection.h"
#include "simulated_dive_computer.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace divebridge {
namespace {

// A dive of `rows` time samples, each with a depth, a pressure and a temperature.
std::string generatedDive(std::int64_t rows) {
    return R"({"divetime": 3600, "maxdepth": 30, "gasmixes": [{"oxygen": 0.32}],
               "generate": {"rows": )" +
           std::to_string(rows) +
           R"(, "interval": 1, "maxdepth": 30, "pressure": [200, 50], "temperature": 18}})";
}

// The same sample stream as the simulator delivers it, held in memory.
std::vector<std::pair<dc_sample_type_t, dc_sample_value_t>> sampleStream(std::int64_t rows) {
    std::vector<std::pair<dc_sample_type_t, dc_sample_value_t>> stream;
    stream.reserve(static_cast<std::size_t>(rows) * 4);
    for (std::int64_t row = 0; row < rows; ++row) {
        dc_sample_value_t value{};
        value.time = static_cast<unsigned int>(row);
        stream.emplace_back(DC_SAMPLE_TIME, value);
        value.depth = 10.0 + static_cast<double>(row % 20);
        stream.emplace_back(DC_SAMPLE_DEPTH, value);
        value.pressure.tank = 0;
        value.pressure.value = 200.0 - static_cast<double>(row) * 0.01;
        stream.emplace_back(DC_SAMPLE_PRESSURE, value);
        value.temperature = 18.0;
        stream.emplace_back(DC_SAMPLE_TEMPERATURE, value);
    }
    return stream;
}

// The bridge alone: the sample callback and the final padding, fed from memory.
void collectSamples(benchmark::State &state) {
    const auto stream = sampleStream(state.range(0));
    for (auto _ : state) {
        DiveProfile profile;
        SampleCollector collector{profile, nullptr};
        for (const auto &[type, value] : stream) {
            sampleCallback(type, value, &collector);
        }
        padColumns(profile, profile.rowCount);
        benchmark::DoNotOptimize(profile.times.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void ignoreSample(dc_sample_type_t, dc_sample_value_t, void *) {}

// The simulator alone: creating its parser on the bytes and walking the samples into nothing.
void simulatorDecoding(benchmark::State &state) {
    const testing::OpenedDevice device;
    const std::vector<unsigned char> bytes = testing::encodeDive(generatedDive(state.range(0)));
    for (auto _ : state) {
        dc_parser_t *parser = nullptr;
        dc_parser_new(&parser, device.handle());
        dc_parser_set_data(parser, bytes.data(), static_cast<unsigned int>(bytes.size()));
        dc_parser_samples_foreach(parser, ignoreSample, nullptr);
        dc_parser_destroy(parser);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The whole of parseDiveData: the simulator's decoding plus the bridge's readers and collection.
void parseDive(benchmark::State &state) {
    const testing::OpenedDevice device;
    const std::vector<unsigned char> bytes = testing::encodeDive(generatedDive(state.range(0)));
    for (auto _ : state) {
        DiveRecord record =
            parseDiveData(device.handle(), bytes.data(), static_cast<unsigned int>(bytes.size()));
        benchmark::DoNotOptimize(record.profile.rowCount);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// A record copied as the download keeps it.
void copyRecord(benchmark::State &state) {
    const testing::OpenedDevice device;
    const std::vector<unsigned char> bytes = testing::encodeDive(generatedDive(state.range(0)));
    const DiveRecord source =
        parseDiveData(device.handle(), bytes.data(), static_cast<unsigned int>(bytes.size()));
    for (auto _ : state) {
        DiveRecord copy = source;
        benchmark::DoNotOptimize(copy.profile.rowCount);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(collectSamples)->Arg(3600)->Arg(100000);
BENCHMARK(simulatorDecoding)->Arg(3600)->Arg(100000);
BENCHMARK(parseDive)->Arg(3600)->Arg(100000);
BENCHMARK(copyRecord)->Arg(3600);

}  // namespace
}  // namespace divebridge

BENCHMARK_MAIN();
