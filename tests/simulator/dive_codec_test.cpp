// SPDX-License-Identifier: MIT
// The dive bytes and the simulated parser: every field survives the round trip, and no buffer,
// however damaged, makes the parser read out of bounds.
#include "sim_test_support.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

namespace dcsim_test {
namespace {

constexpr std::uint32_t kMaxU32 = std::numeric_limits<std::uint32_t>::max();
// The latest sample time, in seconds, that the generation's sample can carry.
constexpr std::uint32_t kLastTime = kMaxU32 / kTimeUnitsPerSecond;

class DiveCodec : public SimulatorTest {};

TEST_F(DiveCodec, EverySummaryFieldSurvivesTheRoundTrip) {
    const ParsedDive dive = parse({
        {"datetime",
         {{"year", 2014},
          {"month", 3},
          {"day", 9},
          {"hour", 8},
          {"minute", 5},
          {"second", 7},
          {"timezone", -3600}}},
        {"divetime", kMaxU32},
        {"maxdepth", "nan"},
        {"avgdepth", "inf"},
        {"temperature_minimum", "-inf"},
        {"gasmixes", {{{"oxygen", 0.32}, {"helium", 0.1}}, {{"oxygen", 0.5}, {"nitrogen", 0.25}}}},
        {"tanks",
         {{{"gasmix", kMaxU32},
           {"type", 2},
           {"volume", 80.0},
           {"workpressure", 207.0},
           {"beginpressure", 200.5},
           {"endpressure", 49.5}}}},
    });
    dc_parser_t *parser = dive.parser.get();

    dc_datetime_t datetime{};
    ASSERT_EQ(dc_parser_get_datetime(parser, &datetime), DC_STATUS_SUCCESS);
    EXPECT_EQ(std::vector<int>({datetime.year, datetime.month, datetime.day, datetime.hour,
                                datetime.minute, datetime.second, datetime.timezone}),
              std::vector<int>({2014, 3, 9, 8, 5, 7, -3600}));

    unsigned int number = 0;
    ASSERT_EQ(dc_parser_get_field(parser, DC_FIELD_DIVETIME, 0, &number), DC_STATUS_SUCCESS);
    EXPECT_EQ(number, kMaxU32);
    double real = 0.0;
    ASSERT_EQ(dc_parser_get_field(parser, DC_FIELD_MAXDEPTH, 0, &real), DC_STATUS_SUCCESS);
    EXPECT_TRUE(std::isnan(real));
    ASSERT_EQ(dc_parser_get_field(parser, DC_FIELD_AVGDEPTH, 0, &real), DC_STATUS_SUCCESS);
    EXPECT_EQ(real, std::numeric_limits<double>::infinity());
    ASSERT_EQ(dc_parser_get_field(parser, DC_FIELD_TEMPERATURE_MINIMUM, 0, &real),
              DC_STATUS_SUCCESS);
    EXPECT_EQ(real, -std::numeric_limits<double>::infinity());

    ASSERT_EQ(dc_parser_get_field(parser, DC_FIELD_GASMIX_COUNT, 0, &number), DC_STATUS_SUCCESS);
    EXPECT_EQ(number, 2u);
    dc_gasmix_t mix{};
    ASSERT_EQ(dc_parser_get_field(parser, DC_FIELD_GASMIX, 0, &mix), DC_STATUS_SUCCESS);
    EXPECT_EQ(mix.oxygen, 0.32);
    EXPECT_EQ(mix.helium, 0.1);
    EXPECT_DOUBLE_EQ(mix.nitrogen, 0.58) << "nitrogen defaults to the rest";
    ASSERT_EQ(dc_parser_get_field(parser, DC_FIELD_GASMIX, 1, &mix), DC_STATUS_SUCCESS);
    EXPECT_EQ(mix.nitrogen, 0.25) << "an explicit nitrogen is kept";

    ASSERT_EQ(dc_parser_get_field(parser, DC_FIELD_TANK_COUNT, 0, &number), DC_STATUS_SUCCESS);
    EXPECT_EQ(number, 1u);
    dc_tank_t tank{};
    ASSERT_EQ(dc_parser_get_field(parser, DC_FIELD_TANK, 0, &tank), DC_STATUS_SUCCESS);
    EXPECT_EQ(tank.gasmix, DC_GASMIX_UNKNOWN);
    EXPECT_EQ(tank.type, DC_TANKVOLUME_IMPERIAL);
    EXPECT_EQ(
        std::vector<double>({tank.volume, tank.workpressure, tank.beginpressure, tank.endpressure}),
        std::vector<double>({80.0, 207.0, 200.5, 49.5}));
}

TEST_F(DiveCodec, CountsThatDifferFromTheListsAreReportedAndMissingIndicesAreWrongArguments) {
    const ParsedDive dive = parse({{"gasmixes", {{{"oxygen", 0.21}}}},
                                   {"gasmix_count", 4000000000u},
                                   {"tanks", {Json::object(), Json::object()}},
                                   {"tank_count", 0}});
    unsigned int count = 0;
    ASSERT_EQ(dc_parser_get_field(dive.parser.get(), DC_FIELD_GASMIX_COUNT, 0, &count),
              DC_STATUS_SUCCESS);
    EXPECT_EQ(count, 4000000000u);
    ASSERT_EQ(dc_parser_get_field(dive.parser.get(), DC_FIELD_TANK_COUNT, 0, &count),
              DC_STATUS_SUCCESS);
    EXPECT_EQ(count, 0u);
    dc_gasmix_t mix{};
    EXPECT_EQ(dc_parser_get_field(dive.parser.get(), DC_FIELD_GASMIX, 0, &mix), DC_STATUS_SUCCESS);
    EXPECT_EQ(dc_parser_get_field(dive.parser.get(), DC_FIELD_GASMIX, 1, &mix),
              DC_STATUS_INVALIDARGS);
    EXPECT_EQ(dc_parser_get_field(dive.parser.get(), DC_FIELD_GASMIX, kMaxU32, &mix),
              DC_STATUS_INVALIDARGS);
    dc_tank_t tank{};
    EXPECT_EQ(dc_parser_get_field(dive.parser.get(), DC_FIELD_TANK, 1, &tank), DC_STATUS_SUCCESS)
        << "a tank count of 0 does not hide the tanks the dive holds";
}

TEST_F(DiveCodec, LeftOutFieldsAnswerUnsupportedAndCountsDefaultToZero) {
    const ParsedDive dive = parse(Json::object());
    dc_parser_t *parser = dive.parser.get();
    dc_datetime_t datetime{};
    EXPECT_EQ(dc_parser_get_datetime(parser, &datetime), DC_STATUS_UNSUPPORTED);
    double real = 0.0;
    unsigned int number = 7;
    for (dc_field_type_t field :
         {DC_FIELD_MAXDEPTH, DC_FIELD_AVGDEPTH, DC_FIELD_TEMPERATURE_MINIMUM, DC_FIELD_SALINITY,
          DC_FIELD_TEMPERATURE_SURFACE, DC_FIELD_DIVEMODE}) {
        EXPECT_EQ(dc_parser_get_field(parser, field, 0, &real), DC_STATUS_UNSUPPORTED) << field;
    }
    EXPECT_EQ(dc_parser_get_field(parser, DC_FIELD_DIVETIME, 0, &number), DC_STATUS_UNSUPPORTED);
    ASSERT_EQ(dc_parser_get_field(parser, DC_FIELD_GASMIX_COUNT, 0, &number), DC_STATUS_SUCCESS);
    EXPECT_EQ(number, 0u);
    EXPECT_TRUE(collectSamples(parser, DC_STATUS_SUCCESS).empty());
}

TEST_F(DiveCodec, TheSampleStreamIsDeliveredInOrderWithEveryValue) {
    const ParsedDive dive = parse({{"samples",
                                    {{{"depth", 0.5}},
                                     {{"time", kLastTime}},
                                     {{"depth", "nan"}},
                                     {{"pressure", 199.5}, {"tank", 3}},
                                     {{"pressure", 180.0}},
                                     {{"temperature", -1.5}},
                                     {{"event", 8}, {"time", 12}, {"flags", 3}, {"value", kMaxU32}},
                                     {{"event", 0}},
                                     {{"type", DC_SAMPLE_CNS}}}}});
    const auto samples = collectSamples(dive.parser.get(), DC_STATUS_SUCCESS);
    ASSERT_EQ(samples.size(), 9u);
    std::vector<dc_sample_type_t> types;
    for (const auto &sample : samples) {
        types.push_back(sample.type);
    }
    EXPECT_EQ(types, std::vector<dc_sample_type_t>(
                         {DC_SAMPLE_DEPTH, DC_SAMPLE_TIME, DC_SAMPLE_DEPTH, DC_SAMPLE_PRESSURE,
                          DC_SAMPLE_PRESSURE, DC_SAMPLE_TEMPERATURE, DC_SAMPLE_EVENT,
                          DC_SAMPLE_EVENT, DC_SAMPLE_CNS}));
    EXPECT_EQ(samples[0].value.depth, 0.5);
    EXPECT_EQ(samples[1].value.time, kLastTime * kTimeUnitsPerSecond);
    EXPECT_TRUE(std::isnan(samples[2].value.depth));
    EXPECT_EQ(samples[3].value.pressure.tank, 3u);
    EXPECT_EQ(samples[3].value.pressure.value, 199.5);
    EXPECT_EQ(samples[4].value.pressure.tank, 0u) << "the tank defaults to 0";
    EXPECT_EQ(samples[5].value.temperature, -1.5);
    const auto &event = samples[6].value.event;
    EXPECT_EQ(std::vector<unsigned int>({event.type, event.time, event.flags, event.value}),
              std::vector<unsigned int>({8u, 12u, 3u, kMaxU32}));
    EXPECT_EQ(samples[7].value.event.value, 0u);
    EXPECT_EQ(samples[8].value.cns, 0.0) << "other kinds come with a zeroed value";
}

// Fields 13 and 14 by number, as a caller built against a later release passes them.
constexpr auto kDecomodelField = static_cast<dc_field_type_t>(13);
constexpr auto kLocationField = static_cast<dc_field_type_t>(14);

TEST_F(DiveCodec, ConditionsGasUsageAndValuedSamplesArriveInTheReleaseForm) {
    const ParsedDive dive = parse({
        {"salinity", {{"type", 1}, {"density", 1025.5}}},
        {"atmospheric", 1.013},
        {"temperature_surface", 29.5},
        {"temperature_maximum", "inf"},
        {"divemode", 4},
        {"decomodel", {{"type", 1}, {"conservatism", -2}, {"gf_low", 30}, {"gf_high", 85}}},
        {"location", {{"latitude", -5.8}, {"longitude", 39.4}, {"altitude", 12.5}}},
        {"gasmixes", {{{"oxygen", 1.0}, {"usage", 1}}, {{"oxygen", 0.21}}}},
        {"tanks", {{{"gasmix", 0}, {"usage", 2}}, Json::object()}},
        {"samples",
         {{{"rbt", 17}},
          {{"heartbeat", 92}},
          {{"bearing", 359}},
          {{"setpoint", 1.3}},
          {{"cns", 0.25}},
          {{"ppo2", 1.21}, {"sensor", 2}},
          {{"ppo2", 0.98}},
          {{"deco", DC_DECO_DECOSTOP}, {"time", 120}, {"depth", 6.0}, {"tts", 540}},
          {{"deco", DC_DECO_NDL}},
          {{"gasmix", 1}}}},
    });
    dc_parser_t *parser = dive.parser.get();

    dc_salinity_t salinity{};
    ASSERT_EQ(dc_parser_get_field(parser, DC_FIELD_SALINITY, 0, &salinity), DC_STATUS_SUCCESS);
    EXPECT_EQ(salinity.type, DC_WATER_SALT);
    EXPECT_EQ(salinity.density, 1025.5);
    double real = 0.0;
    ASSERT_EQ(dc_parser_get_field(parser, DC_FIELD_ATMOSPHERIC, 0, &real), DC_STATUS_SUCCESS);
    EXPECT_EQ(real, 1.013);
    ASSERT_EQ(dc_parser_get_field(parser, DC_FIELD_TEMPERATURE_SURFACE, 0, &real),
              DC_STATUS_SUCCESS);
    EXPECT_EQ(real, 29.5);
    ASSERT_EQ(dc_parser_get_field(parser, DC_FIELD_TEMPERATURE_MAXIMUM, 0, &real),
              DC_STATUS_SUCCESS);
    EXPECT_EQ(real, std::numeric_limits<double>::infinity());
    dc_divemode_t mode{};
    ASSERT_EQ(dc_parser_get_field(parser, DC_FIELD_DIVEMODE, 0, &mode), DC_STATUS_SUCCESS);
#if DC_VERSION_CHECK(0, 7, 0)
    EXPECT_EQ(mode, DC_DIVEMODE_SCR);
    dc_decomodel_t model{};
    ASSERT_EQ(dc_parser_get_field(parser, DC_FIELD_DECOMODEL, 0, &model), DC_STATUS_SUCCESS);
    EXPECT_EQ(model.type, DC_DECOMODEL_BUHLMANN);
    EXPECT_EQ(model.conservatism, -2);
    EXPECT_EQ(model.params.gf.low, 30u);
    EXPECT_EQ(model.params.gf.high, 85u);
#else
    EXPECT_EQ(mode, DC_DIVEMODE_CC) << "0.6 knew semi-closed circuits as closed";
    EXPECT_EQ(dc_parser_get_field(parser, kDecomodelField, 0, &real), DC_STATUS_UNSUPPORTED);
#endif
#if DC_VERSION_CHECK(0, 9, 0)
    dc_location_t location{};
    ASSERT_EQ(dc_parser_get_field(parser, DC_FIELD_LOCATION, 0, &location), DC_STATUS_SUCCESS);
    EXPECT_EQ(std::vector<double>({location.latitude, location.longitude, location.altitude}),
              std::vector<double>({-5.8, 39.4, 12.5}));
    dc_gasmix_t mix{};
    ASSERT_EQ(dc_parser_get_field(parser, DC_FIELD_GASMIX, 0, &mix), DC_STATUS_SUCCESS);
    EXPECT_EQ(mix.usage, DC_USAGE_OXYGEN);
    ASSERT_EQ(dc_parser_get_field(parser, DC_FIELD_GASMIX, 1, &mix), DC_STATUS_SUCCESS);
    EXPECT_EQ(mix.usage, DC_USAGE_NONE);
    dc_tank_t tank{};
    ASSERT_EQ(dc_parser_get_field(parser, DC_FIELD_TANK, 0, &tank), DC_STATUS_SUCCESS);
    EXPECT_EQ(tank.usage, DC_USAGE_DILUENT);
    ASSERT_EQ(dc_parser_get_field(parser, DC_FIELD_TANK, 1, &tank), DC_STATUS_SUCCESS);
    EXPECT_EQ(tank.usage, DC_USAGE_NONE);
#else
    EXPECT_EQ(dc_parser_get_field(parser, kLocationField, 0, &real), DC_STATUS_UNSUPPORTED)
        << "no parser before 0.9 reports a location";
#endif

    const auto samples = collectSamples(parser, DC_STATUS_SUCCESS);
    ASSERT_EQ(samples.size(), 10u);
    std::vector<dc_sample_type_t> types;
    for (const auto &sample : samples) {
        types.push_back(sample.type);
    }
    EXPECT_EQ(types, std::vector<dc_sample_type_t>(
                         {DC_SAMPLE_RBT, DC_SAMPLE_HEARTBEAT, DC_SAMPLE_BEARING, DC_SAMPLE_SETPOINT,
                          DC_SAMPLE_CNS, DC_SAMPLE_PPO2, DC_SAMPLE_PPO2, DC_SAMPLE_DECO,
                          DC_SAMPLE_DECO, DC_SAMPLE_GASMIX}));
    EXPECT_EQ(samples[0].value.rbt, 17u);
    EXPECT_EQ(samples[1].value.heartbeat, 92u);
    EXPECT_EQ(samples[2].value.bearing, 359u);
    EXPECT_EQ(samples[3].value.setpoint, 1.3);
    EXPECT_EQ(samples[4].value.cns, 0.25);
#if DC_VERSION_CHECK(0, 9, 0)
    EXPECT_EQ(samples[5].value.ppo2.sensor, 2u);
    EXPECT_EQ(samples[5].value.ppo2.value, 1.21);
    EXPECT_EQ(samples[6].value.ppo2.sensor, DC_SENSOR_NONE) << "a ppo2 of no named sensor";
    EXPECT_EQ(samples[6].value.ppo2.value, 0.98);
#else
    EXPECT_EQ(samples[5].value.ppo2, 1.21);
    EXPECT_EQ(samples[6].value.ppo2, 0.98);
#endif
    const auto &stop = samples[7].value.deco;
    EXPECT_EQ(std::vector<unsigned int>({stop.type, stop.time}),
              std::vector<unsigned int>({DC_DECO_DECOSTOP, 120u}))
        << "a stop's time stays in seconds";
    EXPECT_EQ(stop.depth, 6.0);
    const auto &ndl = samples[8].value.deco;
    EXPECT_EQ(std::vector<double>({double(ndl.type), double(ndl.time), ndl.depth}),
              std::vector<double>({DC_DECO_NDL, 0.0, 0.0}));
#if DC_VERSION_CHECK(0, 9, 0)
    EXPECT_EQ(stop.tts, 540u);
    EXPECT_EQ(ndl.tts, 0u);
#endif
    EXPECT_EQ(samples[9].value.gasmix, 1u);
}

TEST_F(DiveCodec, AGeneratedProfileFollowsTheListedSamples) {
    const ParsedDive dive = parse({{"samples", {{{"event", 8}}}},
                                   {"generate",
                                    {{"rows", 11},
                                     {"interval", 6},
                                     {"maxdepth", 30.0},
                                     {"pressure", {200, 50}},
                                     {"temperature", 18.0}}}});
    const auto samples = collectSamples(dive.parser.get(), DC_STATUS_SUCCESS);
    ASSERT_EQ(samples.size(), 1u + 11 * 4);
    EXPECT_EQ(samples[0].type, DC_SAMPLE_EVENT);
    double deepest = 0.0;
    for (std::size_t row = 0; row < 11; ++row) {
        const RecordedSample *values = &samples[1 + row * 4];
        ASSERT_EQ(values[0].type, DC_SAMPLE_TIME);
        EXPECT_EQ(values[0].value.time, row * 6 * kTimeUnitsPerSecond);
        ASSERT_EQ(values[1].type, DC_SAMPLE_DEPTH);
        EXPECT_GE(values[1].value.depth, 0.0);
        EXPECT_LE(values[1].value.depth, 30.0);
        deepest = std::max(deepest, values[1].value.depth);
        ASSERT_EQ(values[2].type, DC_SAMPLE_PRESSURE);
        EXPECT_DOUBLE_EQ(values[2].value.pressure.value, 200.0 - 15.0 * row);
        ASSERT_EQ(values[3].type, DC_SAMPLE_TEMPERATURE);
        EXPECT_EQ(values[3].value.temperature, 18.0);
    }
    EXPECT_EQ(samples[2].value.depth, 0.0) << "the dive starts at the surface";
    EXPECT_EQ(samples.back().type, DC_SAMPLE_TEMPERATURE);
    EXPECT_EQ(samples[samples.size() - 3].value.depth, 0.0) << "and ends there";
    EXPECT_EQ(deepest, 30.0);
}

TEST_F(DiveCodec, AHundredThousandRowDiveEncodesAndWalksWhole) {
    const ParsedDive dive =
        parse({{"generate", {{"rows", 100000}, {"maxdepth", 40.0}, {"pressure", {230, 40}}}}});
    std::size_t count = 0;
    const auto countSample = [](dc_sample_type_t, SampleValue, void *userdata) {
        ++*static_cast<std::size_t *>(userdata);
    };
    ASSERT_EQ(dc_parser_samples_foreach(dive.parser.get(), countSample, &count), DC_STATUS_SUCCESS);
    EXPECT_EQ(count, 300000u);
}

TEST_F(DiveCodec, FaultsCarriedByTheBytesAnswerTheirStatus) {
    ParsedDive dive = parse({{"divetime", 60},
                             {"salinity", {{"type", 0}}},
                             {"gasmixes", {{{"oxygen", 0.21}}, {{"oxygen", 0.5}}}},
                             {"gasmix_count", 3},
                             {"samples", {{{"time", 0}}, {{"time", 1}}, {{"time", 2}}}},
                             {"faults",
                              {{"maxdepth", -9},
                               {"datetime", -8},
                               {"salinity", -3},
                               {"atmospheric", -4},
                               {"temperature_surface", -5},
                               {"temperature_maximum", -7},
                               {"divemode", -8},
                               {"decomodel", -10},
                               {"location", 1},
                               {"gasmix", {{"1", -1}, {"2", -7}}},
                               {"tank", {{"0", -9}}},
                               {"samples_foreach", -6},
                               {"samples_after", 2},
                               {"destroy", -6}}}});
    dc_parser_t *parser = dive.parser.get();
    double real = 0.0;
    EXPECT_EQ(dc_parser_get_field(parser, DC_FIELD_MAXDEPTH, 0, &real), DC_STATUS_DATAFORMAT)
        << "a fault wins over a field that is left out";
    dc_datetime_t datetime{};
    EXPECT_EQ(dc_parser_get_datetime(parser, &datetime), DC_STATUS_PROTOCOL);
    unsigned int divetime = 0;
    EXPECT_EQ(dc_parser_get_field(parser, DC_FIELD_DIVETIME, 0, &divetime), DC_STATUS_SUCCESS);
    dc_gasmix_t mix{};
    EXPECT_EQ(dc_parser_get_field(parser, DC_FIELD_GASMIX, 0, &mix), DC_STATUS_SUCCESS);
    EXPECT_EQ(dc_parser_get_field(parser, DC_FIELD_GASMIX, 1, &mix), DC_STATUS_UNSUPPORTED);
    EXPECT_EQ(dc_parser_get_field(parser, DC_FIELD_GASMIX, 2, &mix), DC_STATUS_TIMEOUT)
        << "a fault also applies to an index beyond the list";
    dc_tank_t tank{};
    EXPECT_EQ(dc_parser_get_field(parser, DC_FIELD_TANK, 0, &tank), DC_STATUS_DATAFORMAT);
    // A field the release does not have answers no fault.
    const std::pair<dc_field_type_t, dc_status_t> conditions[] = {
        {DC_FIELD_SALINITY, DC_STATUS_NOMEMORY},
        {DC_FIELD_ATMOSPHERIC, DC_STATUS_NODEVICE},
        {DC_FIELD_TEMPERATURE_SURFACE, DC_STATUS_NOACCESS},
        {DC_FIELD_TEMPERATURE_MAXIMUM, DC_STATUS_TIMEOUT},
        {DC_FIELD_DIVEMODE, DC_STATUS_PROTOCOL},
        {kDecomodelField, DC_VERSION_CHECK(0, 7, 0) ? DC_STATUS_CANCELLED : DC_STATUS_UNSUPPORTED},
        {kLocationField, DC_VERSION_CHECK(0, 9, 0) ? DC_STATUS_DONE : DC_STATUS_UNSUPPORTED},
    };
    for (const auto &[field, status] : conditions) {
        alignas(double) unsigned char value[64];
        EXPECT_EQ(dc_parser_get_field(parser, field, 0, value), status) << field;
    }
    EXPECT_EQ(collectSamples(parser, DC_STATUS_IO).size(), 2u);

    dc_parser_t *released = dive.parser.release();
    EXPECT_EQ(dc_parser_destroy(released), DC_STATUS_IO);
    EXPECT_EQ(dc_parser_destroy(released), DC_STATUS_INVALIDARGS) << "it was released anyway";
}

TEST_F(DiveCodec, ASetDataFaultLeavesTheParserWithoutData) {
    const ParsedDive dive =
        parse({{"divetime", 1}, {"faults", {{"set_data", -9}}}}, DC_STATUS_DATAFORMAT);
#if DC_VERSION_CHECK(0, 9, 0)
    EXPECT_EQ(dive.parser, nullptr) << "dc_parser_new answers the fault and creates nothing";
#else
    unsigned int divetime = 0;
    EXPECT_EQ(dc_parser_get_field(dive.parser.get(), DC_FIELD_DIVETIME, 0, &divetime),
              DC_STATUS_INVALIDARGS);
#endif
}

TEST_F(DiveCodec, ParserCallsCheckTheirArguments) {
    const Device device = openImage(writeImage(Json::array()));
    const Bytes bytes = encode({{"divetime", 5}});
    dc_parser_t *raw = nullptr;
#if DC_VERSION_CHECK(0, 9, 0)
    EXPECT_EQ(dc_parser_new(&raw, device.get(), nullptr, 10), DC_STATUS_INVALIDARGS);
    EXPECT_EQ(raw, nullptr);
    EXPECT_EQ(dc_parser_new(nullptr, device.get(), bytes.data(), bytes.size()),
              DC_STATUS_INVALIDARGS);
    EXPECT_EQ(dc_parser_new(&raw, nullptr, bytes.data(), bytes.size()), DC_STATUS_INVALIDARGS);
    ASSERT_EQ(dc_parser_new(&raw, device.get(), bytes.data(), bytes.size()), DC_STATUS_SUCCESS);
    const Parser parser(raw);
#else
    ASSERT_EQ(dc_parser_new(&raw, device.get()), DC_STATUS_SUCCESS);
    const Parser parser(raw);
    unsigned int number = 0;
    EXPECT_EQ(dc_parser_get_field(raw, DC_FIELD_DIVETIME, 0, &number), DC_STATUS_INVALIDARGS)
        << "no data yet";
    EXPECT_EQ(dc_parser_samples_foreach(raw, nullptr, nullptr), DC_STATUS_INVALIDARGS);
    EXPECT_EQ(dc_parser_set_data(raw, nullptr, 10), DC_STATUS_INVALIDARGS);
    ASSERT_EQ(dc_parser_set_data(raw, bytes.data(), static_cast<unsigned int>(bytes.size())),
              DC_STATUS_SUCCESS);
    EXPECT_EQ(dc_parser_new(nullptr, device.get()), DC_STATUS_INVALIDARGS);
    dc_parser_t *other = nullptr;
    EXPECT_EQ(dc_parser_new(&other, nullptr), DC_STATUS_INVALIDARGS);
    EXPECT_EQ(other, nullptr);
#endif
    EXPECT_EQ(dc_parser_get_field(raw, DC_FIELD_DIVETIME, 0, nullptr), DC_STATUS_INVALIDARGS);
    EXPECT_EQ(dc_parser_get_datetime(raw, nullptr), DC_STATUS_INVALIDARGS);
    EXPECT_EQ(dc_parser_samples_foreach(raw, nullptr, nullptr), DC_STATUS_SUCCESS)
        << "a NULL callback is allowed";
    EXPECT_EQ(dc_parser_get_field(nullptr, DC_FIELD_DIVETIME, 0, &raw), DC_STATUS_INVALIDARGS);
    EXPECT_EQ(dc_parser_destroy(nullptr), DC_STATUS_SUCCESS);
}

TEST_F(DiveCodec, MalformedDiveJsonIsRejected) {
    for (const char *json : {"not json",
                             "[]",
                             R"({"maxdepht": 3})",
                             R"({"divetime": -1})",
                             R"({"divetime": 1.5})",
                             R"({"maxdepth": "deep"})",
                             R"({"samples": [{"type": 99}]})",
                             R"({"samples": [{}]})",
                             R"({"samples": [{"depth": 1, "time": 2}]})",
                             R"({"tanks": [{"type": 3}]})",
                             R"({"gasmixes": [{"helium": 0.5}]})",
                             R"({"faults": {"divetime": -11}})",
                             R"({"faults": {"gasmix": {"one": -9}}})",
                             R"({"datetime": {"year": 2020}})",
                             R"({"salinity": {"type": 2}})",
                             R"({"salinity": {"density": 1025}})",
                             R"({"divemode": 5})",
                             R"({"decomodel": {"type": 5}})",
                             R"({"decomodel": {"gf_low": 30}})",
                             R"({"location": {"latitude": 1}})",
                             R"({"gasmixes": [{"oxygen": 1, "usage": 4}]})",
                             R"({"tanks": [{"usage": 4}]})",
                             R"({"samples": [{"deco": 4}]})",
                             R"({"samples": [{"deco": 0, "value": 1}]})",
                             R"({"samples": [{"ppo2": 1, "tank": 0}]})",
                             R"({"samples": [{"cns": 0.1, "time": 3}]})"}) {
        unsigned char *bytes = nullptr;
        unsigned int size = 0;
        EXPECT_EQ(dcsim_encode_dive(json, &bytes, &size), DC_STATUS_DATAFORMAT) << json;
        EXPECT_EQ(bytes, nullptr);
    }
    unsigned int size = 0;
    EXPECT_EQ(dcsim_encode_dive("{}", nullptr, &size), DC_STATUS_INVALIDARGS);
}

const Json kRichDive = {
    {"datetime", {{"year", 2020}, {"month", 2}, {"day", 29}}},
    {"divetime", 600},
    {"maxdepth", 12.5},
    {"salinity", {{"type", 1}, {"density", 1025.0}}},
    {"divemode", 3},
    {"decomodel", {{"type", 1}, {"gf_low", 30}, {"gf_high", 85}}},
    {"location", {{"latitude", -5.8}, {"longitude", 39.4}}},
    {"gasmixes", {{{"oxygen", 0.21}, {"usage", 2}}, {{"oxygen", 0.5}}}},
    {"tanks", {{{"gasmix", 0}, {"volume", 12}, {"usage", 2}}}},
    {"samples",
     {{{"time", 0}},
      {{"depth", 1.0}},
      {{"event", 3}},
      {{"type", DC_SAMPLE_PPO2}},
      {{"ppo2", 1.2}, {"sensor", 1}},
      {{"deco", DC_DECO_DECOSTOP}, {"time", 60}, {"depth", 6.0}, {"tts", 300}},
      {{"gasmix", 1}}}},
    {"faults", {{"gasmix", {{"1", -1}}}, {"tank", {{"4", -9}}}, {"divemode", -1}}},
};

// Reads everything a parser offers; whatever the bytes, this must stay in bounds.
void readEverything(dc_parser_t *parser) {
    dc_datetime_t datetime;
    dc_parser_get_datetime(parser, &datetime);
    alignas(double) unsigned char value[64];
    for (int field = DC_FIELD_DIVETIME; field <= kLocationField + 1; ++field) {
        for (unsigned int index = 0; index < 3; ++index) {
            dc_parser_get_field(parser, static_cast<dc_field_type_t>(field), index, value);
        }
    }
    std::vector<RecordedSample> samples;
    dc_parser_samples_foreach(
        parser,
        [](dc_sample_type_t type, SampleValue sample, void *userdata) {
            static_cast<std::vector<RecordedSample> *>(userdata)->push_back(
                {type, valueOf(sample)});
        },
        &samples);
}

TEST_F(DiveCodec, EveryTruncationAndAnyTrailingByteAnswerDataformat) {
    const ParsedDive dive = parse(kRichDive);
    const Bytes &bytes = dive.bytes;
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        // A buffer of exactly this length, so that a read past it is caught by sanitizers.
        const auto copy = std::make_unique<unsigned char[]>(length + 1);
        std::copy(bytes.begin(), bytes.begin() + length, copy.get());
        Parser parser;
        ASSERT_EQ(newParser(dive.device.get(), copy.get(), length, parser), DC_STATUS_DATAFORMAT)
            << "length " << length;
        readEverything(parser.get());
    }
    Bytes longer = bytes;
    longer.push_back(0);
    Parser parser;
    EXPECT_EQ(newParser(dive.device.get(), longer.data(), longer.size(), parser),
              DC_STATUS_DATAFORMAT);
}

// The parser hands the enumerated numbers out as libdivecomputer's enumerations, so the bytes may
// hold none beyond an enumeration's last. Each pair of dives differs in one such number; the byte
// where they differ is set beyond it.
TEST_F(DiveCodec, AnEnumeratedNumberBeyondItsLastAnswersDataformat) {
    const auto with = [](const char *key, const Json &value) { return Json{{key, value}}; };
    const std::pair<Json, Json> pairs[] = {
        {with("salinity", {{"type", 0}}), with("salinity", {{"type", 1}})},
        {with("divemode", 0), with("divemode", 4)},
        {with("decomodel", {{"type", 0}}), with("decomodel", {{"type", 4}})},
        {with("gasmixes", {{{"oxygen", 1}}}), with("gasmixes", {{{"oxygen", 1}, {"usage", 3}}})},
        {with("tanks", Json::array({Json::object()})), with("tanks", {{{"usage", 3}}})},
        {with("tanks", Json::array({Json::object()})), with("tanks", {{{"type", 2}}})},
        {with("samples", {{{"deco", 0}}}), with("samples", {{{"deco", 3}}})},
    };
    const Device device = openImage(writeImage(Json::array()));
    for (const auto &[low, high] : pairs) {
        Bytes bytes = encode(low);
        const Bytes other = encode(high);
        ASSERT_EQ(bytes.size(), other.size()) << high;
        const auto differs = std::mismatch(bytes.begin(), bytes.end(), other.begin());
        ASSERT_NE(differs.first, bytes.end()) << high;
        ASSERT_TRUE(std::equal(differs.first + 1, bytes.end(), differs.second + 1)) << high;
        *differs.first = 0xFF;
        Parser parser;
        EXPECT_EQ(newParser(device.get(), bytes.data(), bytes.size(), parser), DC_STATUS_DATAFORMAT)
            << high;
    }
}

TEST_F(DiveCodec, RandomByteFlipsNeverCrashTheParser) {
    const ParsedDive dive = parse(kRichDive);
    std::mt19937 random(20240229);
    std::uniform_int_distribution<std::size_t> position(0, dive.bytes.size() - 1);
    std::uniform_int_distribution<int> byte(0, 255);
    int accepted = 0;
    for (int round = 0; round < 5000; ++round) {
        Bytes damaged = dive.bytes;
        for (int flips = 1 + round % 4; flips > 0; --flips) {
            damaged[position(random)] = static_cast<unsigned char>(byte(random));
        }
        Parser parser;
        const dc_status_t status =
            newParser(dive.device.get(), damaged.data(), damaged.size(), parser);
        ASSERT_TRUE(status == DC_STATUS_SUCCESS || status == DC_STATUS_DATAFORMAT ||
                    (status <= DC_STATUS_UNSUPPORTED && status >= DC_STATUS_CANCELLED))
            << status;
        accepted += status == DC_STATUS_SUCCESS;
        readEverything(parser.get());
    }
    EXPECT_GT(accepted, 0) << "flips inside values are still valid dives";
}

}  // namespace
}  // namespace dcsim_test
