// SPDX-License-Identifier: MIT
#include "dive_json.h"

#include "calendar.h"
#include "status_error.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace dcsim {
namespace {

// The synthetic profile appended after the listed samples.
struct GeneratedProfile {
    std::uint32_t rows = 0;
    std::uint32_t interval = 10;
    double maxdepth = 0.0;
    std::optional<std::pair<double, double>> pressure;
    std::optional<double> temperature;
};

struct DiveSource {
    DiveSummary summary;
    DiveFaults faults;
    int parserNewFault = 0;
    std::uint32_t repeat = 1;
    const Json *samples = nullptr;
    std::optional<GeneratedProfile> generated;
};

std::string at(const std::string &what, const char *key) {
    return what + "." + key;
}

dc_datetime_t readDatetime(const Json &value, const std::string &what) {
    requireObject(value, what, {"year", "month", "day", "hour", "minute", "second", "timezone"});
    for (const char *key : {"year", "month", "day"}) {
        if (!value.contains(key)) {
            throw FormatError(at(what, key) + ": missing");
        }
    }
    dc_datetime_t datetime{};
    readMembers(value, what, readInt,
                {member("year", datetime.year), member("month", datetime.month),
                 member("day", datetime.day), member("hour", datetime.hour),
                 member("minute", datetime.minute), member("second", datetime.second)});
    const bool zoned = value.contains("timezone") && !value["timezone"].is_null();
    datetime.timezone = zoned ? readInt(value["timezone"], at(what, "timezone")) : DC_TIMEZONE_NONE;
    return datetime;
}

dc_gasmix_t readGasmix(const Json &value, const std::string &what) {
    requireObject(value, what, {"oxygen", "helium", "nitrogen"});
    if (!value.contains("oxygen")) {
        throw FormatError(at(what, "oxygen") + ": missing");
    }
    dc_gasmix_t mix{};
    readMember(value, what, "oxygen", mix.oxygen, readDouble);
    readMember(value, what, "helium", mix.helium, readDouble);
    mix.nitrogen = readMemberOr(value, what, "nitrogen", 1.0 - mix.oxygen - mix.helium, readDouble);
    return mix;
}

dc_tank_t readTank(const Json &value, const std::string &what) {
    requireObject(value, what,
                  {"gasmix", "type", "volume", "workpressure", "beginpressure", "endpressure"});
    dc_tank_t tank{};
    tank.gasmix =
        readMemberOr(value, what, "gasmix", std::uint32_t{DC_GASMIX_UNKNOWN}, readUnsigned);
    const auto type =
        readMemberOr(value, what, "type", std::uint32_t{DC_TANKVOLUME_NONE}, readUnsigned);
    if (type > DC_TANKVOLUME_IMPERIAL) {
        throw FormatError(at(what, "type") + ": expected 0, 1 or 2");
    }
    tank.type = static_cast<dc_tankvolume_t>(type);
    readMembers(
        value, what, readDouble,
        {member("volume", tank.volume), member("workpressure", tank.workpressure),
         member("beginpressure", tank.beginpressure), member("endpressure", tank.endpressure)});
    return tank;
}

template <typename Item, typename ReadItem>
std::vector<Item> readList(const Json &dive, const char *key, const std::string &what,
                           ReadItem readItem) {
    std::vector<Item> items;
    if (!dive.contains(key)) {
        return items;
    }
    const std::string listWhat = at(what, key);
    requireArray(dive[key], listWhat);
    for (std::size_t i = 0; i < dive[key].size(); ++i) {
        items.push_back(readItem(dive[key][i], listWhat + "[" + std::to_string(i) + "]"));
    }
    return items;
}

IndexFaults readIndexFaults(const Json &value, const std::string &what) {
    if (!value.is_object()) {
        throw FormatError(what + ": expected an object of index to status");
    }
    IndexFaults faults;
    for (const auto &item : value.items()) {
        const std::string &key = item.key();
        const bool decimal =
            !key.empty() && key.size() <= 10 &&
            std::all_of(key.begin(), key.end(), [](char c) { return c >= '0' && c <= '9'; });
        const unsigned long long index = decimal ? std::stoull(key) : ~0ull;
        if (index > std::numeric_limits<std::uint32_t>::max()) {
            throw FormatError(what + ": \"" + key + "\" is not an index");
        }
        faults.emplace_back(static_cast<std::uint32_t>(index),
                            readStatus(item.value(), what + "." + key));
    }
    return faults;
}

void readFaults(const Json &value, const std::string &what, DiveSource &source) {
    requireObject(value, what,
                  {"parser_new", "set_data", "datetime", "divetime", "maxdepth", "avgdepth",
                   "temperature_minimum", "gasmix_count", "gasmix", "tank_count", "tank",
                   "samples_foreach", "samples_after", "destroy"});
    auto &faults = source.faults;
    readMembers(value, what, readStatus,
                {member("parser_new", source.parserNewFault), member("set_data", faults.setData),
                 member("datetime", faults.datetime), member("divetime", faults.divetime),
                 member("maxdepth", faults.maxdepth), member("avgdepth", faults.avgdepth),
                 member("temperature_minimum", faults.temperatureMinimum),
                 member("gasmix_count", faults.gasmixCount), member("tank_count", faults.tankCount),
                 member("samples_foreach", faults.samplesForeach)});
    readMember(value, what, "samples_after", faults.samplesAfter, readUnsigned);
    readMember(value, what, "destroy", faults.destroy, readStatus);
    readMember(value, what, "gasmix", faults.gasmix, readIndexFaults);
    readMember(value, what, "tank", faults.tank, readIndexFaults);
}

GeneratedProfile readGenerated(const Json &value, const std::string &what) {
    requireObject(value, what, {"rows", "interval", "maxdepth", "pressure", "temperature"});
    if (!value.contains("rows")) {
        throw FormatError(at(what, "rows") + ": missing");
    }
    GeneratedProfile profile;
    readMember(value, what, "rows", profile.rows, readUnsigned);
    readMember(value, what, "interval", profile.interval, readUnsigned);
    readMember(value, what, "maxdepth", profile.maxdepth, readDouble);
    if (value.contains("pressure")) {
        const Json &range = value["pressure"];
        if (!range.is_array() || range.size() != 2) {
            throw FormatError(at(what, "pressure") + ": expected [begin, end]");
        }
        profile.pressure = std::make_pair(readDouble(range[0], at(what, "pressure")),
                                          readDouble(range[1], at(what, "pressure")));
    }
    readMember(value, what, "temperature", profile.temperature, readDouble);
    const std::uint64_t lastTime = std::uint64_t{profile.interval} * profile.rows;
    if (profile.rows > 0 &&
        lastTime - profile.interval > std::numeric_limits<std::uint32_t>::max()) {
        throw FormatError(what + ": the last time does not fit 32 bits");
    }
    return profile;
}

DiveSource readDiveSource(const Json &dive, const std::string &what) {
    requireObject(
        dive, what,
        {"datetime", "divetime", "maxdepth", "avgdepth", "temperature_minimum", "gasmixes", "tanks",
         "gasmix_count", "tank_count", "samples", "generate", "repeat", "faults"});
    DiveSource source;
    auto &summary = source.summary;
    readMember(dive, what, "datetime", summary.datetime, readDatetime);
    readMember(dive, what, "divetime", summary.divetime, readUnsigned);
    readMember(dive, what, "maxdepth", summary.maxdepth, readDouble);
    readMember(dive, what, "avgdepth", summary.avgdepth, readDouble);
    readMember(dive, what, "temperature_minimum", summary.temperatureMinimum, readDouble);
    summary.gasmixes = readList<dc_gasmix_t>(dive, "gasmixes", what, readGasmix);
    summary.tanks = readList<dc_tank_t>(dive, "tanks", what, readTank);
    summary.gasmixCount = static_cast<std::uint32_t>(summary.gasmixes.size());
    summary.tankCount = static_cast<std::uint32_t>(summary.tanks.size());
    readMember(dive, what, "gasmix_count", summary.gasmixCount, readUnsigned);
    readMember(dive, what, "tank_count", summary.tankCount, readUnsigned);
    if (dive.contains("samples")) {
        requireArray(dive["samples"], at(what, "samples"));
        source.samples = &dive["samples"];
    }
    readMember(dive, what, "generate", source.generated, readGenerated);
    readMember(dive, what, "repeat", source.repeat, readUnsigned);
    if (dive.contains("faults")) {
        readFaults(dive["faults"], at(what, "faults"), source);
    }
    return source;
}

void encodeSample(const Json &sample, const std::string &what, DiveEncoder &encoder) {
    if (sample.contains("event")) {
        requireObject(sample, what, {"event", "time", "flags", "value"});
        encoder.addEvent(readUnsigned(sample["event"], at(what, "event")),
                         readMemberOr(sample, what, "time", 0u, readUnsigned),
                         readMemberOr(sample, what, "flags", 0u, readUnsigned),
                         readMemberOr(sample, what, "value", 0u, readUnsigned));
    } else if (sample.contains("type")) {
        requireObject(sample, what, {"type"});
        const std::uint32_t type = readUnsigned(sample["type"], at(what, "type"));
        if (type > kLastSampleType) {
            throw FormatError(at(what, "type") + ": not a sample kind");
        }
        encoder.addOther(type);
    } else if (sample.contains("pressure")) {
        requireObject(sample, what, {"pressure", "tank"});
        encoder.addPressure(readMemberOr(sample, what, "tank", 0u, readUnsigned),
                            readDouble(sample["pressure"], at(what, "pressure")));
    } else if (sample.contains("depth")) {
        requireObject(sample, what, {"depth"});
        encoder.addDepth(readDouble(sample["depth"], at(what, "depth")));
    } else if (sample.contains("temperature")) {
        requireObject(sample, what, {"temperature"});
        encoder.addTemperature(readDouble(sample["temperature"], at(what, "temperature")));
    } else if (sample.contains("time")) {
        requireObject(sample, what, {"time"});
        encoder.addTime(readUnsigned(sample["time"], at(what, "time")));
    } else {
        throw FormatError(what + ": not a sample");
    }
}

// Descent over the first tenth of the rows, bottom until seven tenths, then a straight ascent.
double generatedDepth(const GeneratedProfile &profile, std::uint32_t row) {
    const std::uint32_t last = profile.rows - 1;
    const std::uint32_t descentEnd = std::min(last, std::max<std::uint32_t>(1, profile.rows / 10));
    const std::uint32_t ascentStart = std::min(
        last,
        std::max(descentEnd, static_cast<std::uint32_t>(std::uint64_t{profile.rows} * 7 / 10)));
    if (descentEnd == 0) {
        return profile.maxdepth;
    }
    if (row <= descentEnd) {
        return profile.maxdepth * row / descentEnd;
    }
    if (row <= ascentStart) {
        return profile.maxdepth;
    }
    return profile.maxdepth * (last - row) / (last - ascentStart);
}

void encodeGenerated(const GeneratedProfile &profile, DiveEncoder &encoder) {
    const std::size_t perRow = 2 + (profile.pressure ? 1 : 0) + (profile.temperature ? 1 : 0);
    encoder.reserveSamples(std::size_t{profile.rows} * perRow);
    const double span = profile.rows > 1 ? profile.rows - 1 : 1;
    for (std::uint32_t row = 0; row < profile.rows; ++row) {
        encoder.addTime(row * profile.interval);
        encoder.addDepth(generatedDepth(profile, row));
        if (profile.pressure) {
            const auto [begin, end] = *profile.pressure;
            encoder.addPressure(0, begin + (end - begin) * (row / span));
        }
        if (profile.temperature) {
            encoder.addTemperature(*profile.temperature);
        }
    }
}

Bytes encodeSource(const DiveSource &source, const DiveSummary &summary) {
    DiveEncoder encoder(summary, source.faults);
    if (source.samples != nullptr) {
        for (std::size_t i = 0; i < source.samples->size(); ++i) {
            encodeSample((*source.samples)[i], "samples[" + std::to_string(i) + "]", encoder);
        }
    }
    if (source.generated) {
        encodeGenerated(*source.generated, encoder);
    }
    Bytes bytes = encoder.finish();
    if (bytes.size() > std::numeric_limits<unsigned int>::max()) {
        throw FormatError("dive larger than 4 GiB");
    }
    return bytes;
}

}  // namespace

std::vector<EncodedDive> encodeImageDive(const Json &dive, const std::string &what) {
    const DiveSource source = readDiveSource(dive, what);
    const auto &datetime = source.summary.datetime;
    if (source.repeat > 1 && datetime && !isValidDate(*datetime)) {
        throw FormatError(what + ": a repeated dive needs a valid date");
    }
    std::vector<EncodedDive> copies;
    DiveSummary summary = source.summary;
    for (std::uint32_t copy = 0; copy < source.repeat; ++copy) {
        // The first copy keeps its date as the image gives it, in range or not.
        if (datetime && copy > 0) {
            summary.datetime = addDays(*datetime, copy);
        }
        copies.push_back({encodeSource(source, summary), source.parserNewFault});
    }
    return copies;
}

Bytes encodeDive(const Json &dive, const std::string &what) {
    const DiveSource source = readDiveSource(dive, what);
    return encodeSource(source, source.summary);
}

}  // namespace dcsim
