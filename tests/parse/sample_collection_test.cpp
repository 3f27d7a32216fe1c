// SPDX-License-Identifier: MIT
#include "parse/sample_collection.h"
#include "optional_column_printing.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <vector>

namespace divebridge {
namespace {

// A sample stream as libdivecomputer delivers it, fed straight to the callback.
class Stream {
  public:
    Stream &time(unsigned int seconds) {
        return timeTicks(static_cast<unsigned int>(seconds * sampleTimeUnitsPerSecond));
    }
    // A time in the library's own unit: seconds, or milliseconds from release 0.9 on.
    Stream &timeTicks(unsigned int ticks) {
        dc_sample_value_t value{};
        value.time = ticks;
        return push(DC_SAMPLE_TIME, value);
    }
    Stream &depth(double metres) {
        dc_sample_value_t value{};
        value.depth = metres;
        return push(DC_SAMPLE_DEPTH, value);
    }
    Stream &pressure(double bar, unsigned int tank = 0) {
        dc_sample_value_t value{};
        value.pressure.tank = tank;
        value.pressure.value = bar;
        return push(DC_SAMPLE_PRESSURE, value);
    }
    Stream &temperature(double celsius) {
        dc_sample_value_t value{};
        value.temperature = celsius;
        return push(DC_SAMPLE_TEMPERATURE, value);
    }
    Stream &event(unsigned int type) {
        dc_sample_value_t value{};
        value.event.type = type;
        value.event.time = 7;
        value.event.value = 9;
        return push(DC_SAMPLE_EVENT, value);
    }
    Stream &other(unsigned int type) { return push(type, {}); }

    // The profile as readProfile completes it once the walk has ended.
    DiveProfile collect() const {
        DiveProfile profile;
        SampleCollector collector{profile, nullptr};
        // The kind travels as libdivecomputer's C code passes it: a plain number, which may lie
        // beyond the enumeration.
        using CCallback = void (*)(unsigned int, SampleValueArgument, void *);
        const auto callback = reinterpret_cast<CCallback>(&sampleCallback);
        for (const auto &[type, value] : samples) {
            callback(type, sampleArgumentOf(value), &collector);
        }
        if (profile.rowCount >= 1) {
            padColumns(profile, profile.rowCount);
        }
        return profile;
    }

  private:
    Stream &push(unsigned int type, dc_sample_value_t value) {
        samples.emplace_back(type, value);
        return *this;
    }
    std::vector<std::pair<unsigned int, dc_sample_value_t>> samples;
};

using Floats = std::vector<OptionalFloat>;
using Longs = std::vector<OptionalInt>;
constexpr std::nullopt_t none = std::nullopt;

TEST(SampleCollection, WorkedExampleAlignsRowsOnTimeSamples) {
    const DiveProfile profile =
        Stream().time(0).depth(1.5).time(10).depth(3.0).temperature(20.0).time(20).collect();
    EXPECT_EQ(profile.rowCount, 3u);
    EXPECT_EQ(profile.times, (Floats{0.0f, 10.0f, 20.0f}));
    EXPECT_EQ(profile.depths, (Floats{1.5f, 3.0f, none}));
    EXPECT_EQ(profile.pressures, (Floats{none, none, none}));
    EXPECT_EQ(profile.temperatures, (Floats{none, 20.0f, none}));
    EXPECT_EQ(profile.events, (Longs{none, none, none}));
}

// Two tanks report a pressure each per row: the row keeps the first tank's, and a tank that starts
// reading later but is lower takes the column over from the row of its first reading.
TEST(SampleCollection, EachRowKeepsThePressureOfTheDivesFirstTank) {
    const DiveProfile twoTanks = Stream()
                                     .time(0)
                                     .pressure(200, 0)
                                     .pressure(180, 1)
                                     .time(10)
                                     .pressure(179, 1)
                                     .pressure(199, 0)
                                     .time(20)
                                     .pressure(178, 1)
                                     .collect();
    EXPECT_EQ(twoTanks.rowCount, 3u);
    EXPECT_EQ(twoTanks.pressures, (Floats{200.0f, 199.0f, none}));
    EXPECT_EQ(twoTanks.depths, (Floats{none, none, none}));

    const DiveProfile stageFirst = Stream()
                                       .time(0)
                                       .pressure(180, 2)
                                       .time(10)
                                       .pressure(179, 2)
                                       .pressure(150, 1)
                                       .time(20)
                                       .pressure(149, 1)
                                       .collect();
    EXPECT_EQ(stageFirst.pressures, (Floats{none, 150.0f, 149.0f}));
}

TEST(SampleCollection, ValueBeforeTheFirstTimeSampleTakesTheFirstCell) {
    const DiveProfile profile = Stream().depth(0.5).time(0).depth(1.0).time(10).collect();
    EXPECT_EQ(profile.depths, (Floats{0.5f, 1.0f}));
}

TEST(SampleCollection, StreamsWithoutTimeSamplesAreLeftUnpadded) {
    const DiveProfile empty = Stream().collect();
    EXPECT_EQ(empty.rowCount, 0u);
    EXPECT_TRUE(empty.times.empty() && empty.depths.empty() && empty.pressures.empty() &&
                empty.temperatures.empty() && empty.events.empty());

    const DiveProfile depthsOnly = Stream().depth(1.0).depth(2.0).collect();
    EXPECT_EQ(depthsOnly.rowCount, 0u);
    EXPECT_TRUE(depthsOnly.times.empty());
    EXPECT_EQ(depthsOnly.depths, (Floats{1.0f, 2.0f}));
    EXPECT_TRUE(depthsOnly.pressures.empty());
}

TEST(SampleCollection, OtherSampleKindsChangeNothing) {
    Stream stream;
    stream.time(0).depth(1.0);
    for (unsigned int type = DC_SAMPLE_RBT; type <= DC_SAMPLE_GASMIX; ++type) {
        stream.other(type);
    }
    stream.other(1000).other(0xFFFFFFFFu);
    const DiveProfile profile = stream.collect();
    EXPECT_EQ(profile.rowCount, 1u);
    EXPECT_EQ(profile.times, (Floats{0.0f}));
    EXPECT_EQ(profile.depths, (Floats{1.0f}));
    EXPECT_EQ(profile.events, (Longs{none}));
}

TEST(SampleCollection, ExtremeValuesKeepTheirMeaning) {
    const DiveProfile profile = Stream()
                                    .timeTicks(std::numeric_limits<std::uint32_t>::max())
                                    .event(0)
                                    .time(1)
                                    .event(0xFFFFFFFFu)
                                    .collect();
    ASSERT_EQ(profile.rowCount, 2u);
    // The largest unsigned time stays positive: the float nearest to 2^32 - 1 seconds, or to
    // (2^32 - 1) / 1000 seconds where the library counts milliseconds.
    EXPECT_EQ(*profile.times[0], static_cast<float>(4294967295.0 / sampleTimeUnitsPerSecond));
    EXPECT_GT(*profile.times[0], 4.29e6f);
    EXPECT_EQ(profile.events, (Longs{0, -1}));  // type 0 is a present cell, not a null one
}

TEST(SampleCollection, PadColumnsNeverShortensAColumn) {
    DiveProfile profile;
    profile.pressures = {1.0f, 2.0f, 3.0f};
    padColumns(profile, 2);
    EXPECT_EQ(profile.pressures, (Floats{1.0f, 2.0f, 3.0f}));
    EXPECT_EQ(profile.times, (Floats{none, none}));
    EXPECT_EQ(profile.events, (Longs{none, none}));
}

TEST(SampleCollection, AFailureInsideTheWalkIsHeldAndLaterSamplesIgnored) {
    DiveProfile profile;
    SampleCollector collector{profile, std::make_exception_ptr(std::bad_alloc())};
    dc_sample_value_t value{};
    value.time = 5;
    sampleCallback(DC_SAMPLE_TIME, sampleArgumentOf(value), &collector);
    EXPECT_EQ(profile.rowCount, 0u);
    EXPECT_TRUE(profile.times.empty());
}

// Random streams against a reference of the alignment rule: the k-th time sample opens row k, a
// value belongs to the row of the last time sample before it, and a row's values fill its cells
// in order; with at most one value of a kind per row, cell i of every column is row i's value.
TEST(SampleCollection, RandomStreamsFollowTheAlignmentRule) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 500; ++round) {
        const bool onePerRow = round % 2 == 0;
        const int rows = static_cast<int>(random() % 40);
        Stream stream;
        std::vector<std::vector<float>> depthsByRow(rows);
        std::vector<float> leadingDepths;
        if (!onePerRow) {
            for (unsigned int i = random() % 3; i > 0; --i) {
                leadingDepths.push_back(static_cast<float>(random() % 100));
                stream.depth(leadingDepths.back());
            }
        }
        for (int row = 0; row < rows; ++row) {
            stream.time(static_cast<unsigned int>(row * 10));
            const unsigned int count = onePerRow ? random() % 2 : random() % 4;
            for (unsigned int i = 0; i < count; ++i) {
                depthsByRow[row].push_back(static_cast<float>(random() % 100));
                stream.depth(depthsByRow[row].back());
                if (random() % 2) {
                    stream.other(DC_SAMPLE_CNS);
                }
            }
        }
        const DiveProfile profile = stream.collect();

        ASSERT_EQ(profile.rowCount, static_cast<std::uint32_t>(rows));
        ASSERT_EQ(profile.times.size(), profile.rowCount);
        std::vector<float> presentDepths;
        for (std::size_t index = 0; index < profile.depths.size(); ++index) {
            if (const OptionalFloat cell = profile.depths[index]) {
                presentDepths.push_back(*cell);
            }
        }
        std::vector<float> expectedDepths = leadingDepths;
        for (const auto &row : depthsByRow) {
            expectedDepths.insert(expectedDepths.end(), row.begin(), row.end());
        }
        EXPECT_EQ(presentDepths, expectedDepths) << "a value was lost or reordered";
        if (rows > 0) {
            EXPECT_GE(profile.depths.size(), profile.rowCount);
            EXPECT_EQ(profile.temperatures.size(), profile.rowCount);
        }
        if (onePerRow) {
            ASSERT_EQ(profile.depths.size(), profile.rowCount);
            for (int row = 0; row < rows; ++row) {
                const OptionalFloat expected =
                    depthsByRow[row].empty() ? none : OptionalFloat(depthsByRow[row][0]);
                EXPECT_EQ(profile.depths[row], expected) << "row " << row;
            }
        }
    }
}

}  // namespace
}  // namespace divebridge
