// SPDX-License-Identifier: MIT
#include "parse/dive_parsing.h"

#include "base/native_exception.h"
#include "optional_column_printing.h"
#include "simulated_dive_computer.h"

#include <libdivecomputer/version.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace divebridge {
namespace {

using ::testing::ElementsAre;
using testing::encodeDive;
using ::testing::HasSubstr;
using testing::OpenedDevice;
using testing::ScopedTrace;

class DiveParsing : public ::testing::Test {
  protected:
    DiveRecord parse(const std::string &diveJson) {
        const std::vector<unsigned char> bytes = encodeDive(diveJson);
        return parseDiveData(device.handle(), bytes.data(),
                             static_cast<unsigned int>(bytes.size()));
    }

    // The message of the Exception that parsing raises.
    std::string failureOf(const std::string &diveJson) {
        try {
            parse(diveJson);
        } catch (const Exception &failure) {
            return failure.what();
        }
        return "no failure";
    }

    OpenedDevice device;
};

const char *const fullDive = R"({
    "datetime": {"year": 2014, "month": 3, "day": 9, "hour": 8, "minute": 5, "second": 0, "timezone": 3600},
    "divetime": 3120, "maxdepth": 30.5, "avgdepth": 12.25, "temperature_minimum": 18.5,
    "gasmixes": [{"oxygen": 0.21, "helium": 0.0}, {"oxygen": 0.32, "helium": 0.0}],
    "tanks": [{"gasmix": 1, "type": 1, "volume": 12, "workpressure": 232, "beginpressure": 200, "endpressure": 50}],
    "samples": [{"time": 0}, {"depth": 1.5}, {"time": 10}, {"depth": 3.0}, {"temperature": 20.0}, {"time": 20}]
})";

TEST_F(DiveParsing, ReadsEveryFieldInLibraryCallOrder) {
    const ScopedTrace trace;
    const DiveRecord record = parse(fullDive);
    std::vector<std::string> calls = trace.lines("dc_parser");
    // From release 0.9 on the parser is created with the dive's bytes, and traces their count.
    const std::string created =
        DC_VERSION_CHECK(0, 9, 0)
            ? "dc_parser_new " + std::to_string(encodeDive(fullDive).size()) + " -> 0"
            : "dc_parser_new -> 0";
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front(), created);
    calls.erase(calls.begin());
    if (!DC_VERSION_CHECK(0, 9, 0)) {
        ASSERT_FALSE(calls.empty());
        EXPECT_THAT(calls.front(), ::testing::StartsWith("dc_parser_set_data "));
        calls.erase(calls.begin());
    }
    EXPECT_THAT(calls, ElementsAre("dc_parser_get_field DC_FIELD_GASMIX_COUNT 0 -> 0",
                                   "dc_parser_get_field DC_FIELD_GASMIX 0 -> 0",
                                   "dc_parser_get_field DC_FIELD_GASMIX 1 -> 0",
                                   "dc_parser_get_field DC_FIELD_TANK_COUNT 0 -> 0",
                                   "dc_parser_get_field DC_FIELD_TANK 0 -> 0",
                                   "dc_parser_get_field DC_FIELD_AVGDEPTH 0 -> 0",
                                   "dc_parser_get_field DC_FIELD_TEMPERATURE_MINIMUM 0 -> 0",
                                   "dc_parser_get_datetime -> 0",
                                   "dc_parser_get_field DC_FIELD_DIVETIME 0 -> 0",
                                   "dc_parser_get_field DC_FIELD_MAXDEPTH 0 -> 0",
                                   "dc_parser_samples_foreach -> 0", "dc_parser_destroy -> 0"));

    ASSERT_EQ(record.gasMixes.size(), 2u);
    EXPECT_DOUBLE_EQ(record.gasMixes[1].oxygen, 0.32);
    EXPECT_DOUBLE_EQ(record.gasMixes[1].nitrogen, 0.68);
    ASSERT_EQ(record.tanks.size(), 1u);
    EXPECT_EQ(record.tanks[0].gasmix, 1u);
    EXPECT_EQ(record.tanks[0].type, DC_TANKVOLUME_METRIC);
    EXPECT_DOUBLE_EQ(record.tanks[0].endpressure, 50.0);
    EXPECT_EQ(record.averageDepth, 12.25);
    EXPECT_EQ(record.minimumTemperature, 18.5);
    EXPECT_EQ(record.dateTime.year, 2014);
    EXPECT_EQ(record.dateTime.minute, 5);
    EXPECT_EQ(record.dateTime.timezone, 3600);
    EXPECT_EQ(record.diveTime, 3120.0);
    EXPECT_EQ(record.maxDepth, 30.5);
    EXPECT_EQ(record.profile.rowCount, 3u);
    EXPECT_EQ(record.profile.depths, (std::vector<OptionalFloat>{1.5f, 3.0f, std::nullopt}));
}

TEST_F(DiveParsing, UnsupportedFieldsLeaveDefaultsAndPrintNothing) {
    ::testing::internal::CaptureStdout();
    const DiveRecord record = parse("{}");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(record.gasMixes.empty());
    EXPECT_TRUE(record.tanks.empty());
    EXPECT_FALSE(record.averageDepth);
    EXPECT_FALSE(record.minimumTemperature);
    EXPECT_EQ(record.dateTime.year, 0);
    EXPECT_EQ(record.dateTime.month, 0);
    EXPECT_EQ(record.dateTime.second, 0);
    EXPECT_EQ(record.dateTime.timezone, 0);
    EXPECT_EQ(record.diveTime, 0.0);
    EXPECT_EQ(record.maxDepth, 0.0);
    EXPECT_EQ(record.profile.rowCount, 0u);
}

TEST_F(DiveParsing, PresentZeroStaysApartFromAbsentAndLargeTimesStayPositive) {
    const DiveRecord record =
        parse(R"({"avgdepth": 0.0, "temperature_minimum": -1.5, "divetime": 4294967295})");
    ASSERT_TRUE(record.averageDepth);
    EXPECT_EQ(*record.averageDepth, 0.0);
    EXPECT_EQ(record.minimumTemperature, -1.5);
    EXPECT_EQ(record.diveTime, 4294967295.0);
}

TEST_F(DiveParsing, UnsupportedListEntriesAreSkippedAndTheListClosesUp) {
    const DiveRecord record = parse(R"({
        "gasmixes": [{"oxygen": 0.21}, {"oxygen": 0.5}, {"oxygen": 0.8}],
        "tanks": [{"gasmix": 0, "volume": 10}, {"gasmix": 2, "volume": 7}],
        "faults": {"gasmix": {"1": -1}, "tank": {"0": -1}}})");
    ASSERT_EQ(record.gasMixes.size(), 2u);
    EXPECT_DOUBLE_EQ(record.gasMixes[0].oxygen, 0.21);
    EXPECT_DOUBLE_EQ(record.gasMixes[1].oxygen, 0.8);
    ASSERT_EQ(record.tanks.size(), 1u);
    EXPECT_DOUBLE_EQ(record.tanks[0].volume, 7.0);
}

TEST_F(DiveParsing, FirstFailingReadDecidesTheMessageAndNothingAfterItIsRead) {
    const ScopedTrace trace;
    EXPECT_EQ(failureOf(R"({"gasmixes": [{"oxygen": 0.21}, {"oxygen": 0.32}], "tanks": [{}],
                            "faults": {"gasmix": {"1": -9}, "maxdepth": -9}})"),
              "[-9]: Error parsing the gas mix.");
    const std::vector<std::string> calls = trace.lines("dc_parser");
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2], "dc_parser_get_field DC_FIELD_GASMIX 1 -> -9");
    EXPECT_EQ(calls.back(), "dc_parser_destroy -> 0");
}

TEST_F(DiveParsing, EveryReaderHasItsOwnMessage) {
    EXPECT_EQ(failureOf(R"({"faults": {"gasmix_count": -9}})"),
              "[-9]: Error parsing the gas mix count.");
    EXPECT_EQ(failureOf(R"({"faults": {"tank_count": -7}})"),
              "[-7]: Error parsing the tank count.");
    EXPECT_EQ(failureOf(R"({"tanks": [{}], "faults": {"tank": {"0": -8}}})"),
              "[-8]: Error parsing the tank.");
    EXPECT_EQ(failureOf(R"({"faults": {"avgdepth": -9}})"), "[-9]: Error parsing the avgdepth.");
    EXPECT_EQ(failureOf(R"({"faults": {"temperature_minimum": -9}})"),
              "[-9]: Error parsing the temperature.");
    EXPECT_EQ(failureOf(R"({"faults": {"datetime": -9}})"), "[-9]: Error parsing the datetime.");
    EXPECT_EQ(failureOf(R"({"faults": {"divetime": -3}})"), "[-3]: Error parsing the divetime.");
    EXPECT_EQ(failureOf(R"({"faults": {"maxdepth": -9}})"), "[-9]: Error parsing the maxdepth.");
    EXPECT_EQ(failureOf(R"({"faults": {"set_data": -9}})"), "[-9]: Error registering the data.");
}

TEST_F(DiveParsing, TheSampleWalkToleratesNoFailureNotEvenUnsupported) {
    EXPECT_EQ(failureOf(R"({"faults": {"samples_foreach": -1}})"),
              "[-1]: Error parsing the sample data.");
    EXPECT_EQ(failureOf(R"({"samples": [{"time": 0}, {"depth": 1}, {"time": 10}],
                            "faults": {"samples_foreach": -6, "samples_after": 2}})"),
              "[-6]: Error parsing the sample data.");
}

TEST_F(DiveParsing, AbsurdCountsEndAtTheFirstIndexTheDiveDoesNotHold) {
    EXPECT_EQ(
        failureOf(
            R"({"gasmixes": [{"oxygen": 0.21}, {"oxygen": 0.32}], "gasmix_count": 4000000000})"),
        "[-2]: Error parsing the gas mix.");
    EXPECT_EQ(failureOf(R"({"tanks": [{}, {}], "tank_count": 4294967295})"),
              "[-2]: Error parsing the tank.");
}

TEST_F(DiveParsing, TheParserIsDestroyedOnEveryWayOut) {
    const ScopedTrace trace;
    failureOf(R"({"faults": {"set_data": -9}})");
    failureOf(R"({"faults": {"samples_foreach": -1}})");
    parse("{}");
    // Every parser the library delivered is destroyed once; from 0.9 on refused bytes deliver none.
    std::size_t created = 0;
    for (const std::string &line : trace.lines("dc_parser_new")) {
        created += line.size() >= 5 && line.compare(line.size() - 5, 5, " -> 0") == 0;
    }
    EXPECT_EQ(trace.lines("dc_parser_new").size(), 3u);
    EXPECT_EQ(created, DC_VERSION_CHECK(0, 9, 0) ? 2u : 3u);
    EXPECT_EQ(trace.lines("dc_parser_destroy").size(), created);
}

TEST_F(DiveParsing, AFailingDestroyPrintsItsLineAndKeepsTheRecord) {
    ::testing::internal::CaptureStdout();
    const DiveRecord record = parse(R"({"maxdepth": 18.0, "faults": {"destroy": -6}})");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Error destroying the parser (-6).\n");
    EXPECT_EQ(record.maxDepth, 18.0);
}

// A stored row costs at most 48 bytes whatever the row count, even where growth by doubling has
// left a column almost half unused (4097 rows keep room for 8192).
TEST_F(DiveParsing, AFinishedProfileKeepsLittleSpareCapacity) {
    for (const int rows : {1, 100, 4097, 20000}) {
        const DiveRecord record =
            parse(R"({"generate": {"rows": )" + std::to_string(rows) +
                  R"(, "maxdepth": 20, "pressure": [200, 50], "temperature": 18}})");
        const DiveProfile &profile = record.profile;
        ASSERT_EQ(profile.rowCount, static_cast<std::uint32_t>(rows));
        const std::size_t bytes = profile.times.allocatedBytes() + profile.depths.allocatedBytes() +
                                  profile.pressures.allocatedBytes() +
                                  profile.temperatures.allocatedBytes() +
                                  profile.events.allocatedBytes();
        EXPECT_LE(bytes, 48u * static_cast<std::size_t>(rows)) << rows << " rows";
    }
}

TEST_F(DiveParsing, MalformedBytesAreADataFormatFailure) {
    std::vector<unsigned char> bytes = encodeDive(fullDive);
    bytes.resize(bytes.size() / 2);
    try {
        parseDiveData(device.handle(), bytes.data(), static_cast<unsigned int>(bytes.size()));
        FAIL() << "truncated dive parsed";
    } catch (const Exception &failure) {
        EXPECT_THAT(failure.what(), HasSubstr("[-9]: Error registering the data."));
    }
}

TEST(DiveRecordCopy, ACopyKeepsEveryValueAfterItsSourceIsGone) {
    DiveRecord copy;
    {
        auto source = std::make_unique<DiveRecord>();
        dc_gasmix_t mix{};
        mix.helium = 0.1;
        mix.oxygen = 0.2;
        mix.nitrogen = 0.7;
        source->gasMixes.push_back(mix);
        source->averageDepth = 0.0;
        source->diveTime = 61;
        source->profile.rowCount = 2;
        source->profile.times = {0.0f, 10.0f};
        source->profile.depths = {std::nullopt, 4.5f};
        source->profile.events = {0, std::nullopt};
        copy = *source;
    }
    EXPECT_DOUBLE_EQ(copy.gasMixes.at(0).oxygen, 0.2);
    EXPECT_EQ(copy.averageDepth, 0.0);
    EXPECT_FALSE(copy.minimumTemperature);
    EXPECT_EQ(copy.diveTime, 61.0);
    EXPECT_EQ(copy.profile.depths, (std::vector<OptionalFloat>{std::nullopt, 4.5f}));
    EXPECT_EQ(copy.profile.events, (std::vector<OptionalInt>{0, std::nullopt}));
}

}  // namespace
}  // namespace divebridge
