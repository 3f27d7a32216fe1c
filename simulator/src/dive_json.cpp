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

std::uint32_t readUnsignedOr(const Json &object, const char *key, std::uint32_t fallback,
                             const std::string &what) {
    return object.contains(key) ? readUnsigned(object[key], at(what, key)) : fallback;
}

double readDoubleOr(const Json &object, const char *key, double fallback, const std::string &what) {
    return object.contains(key) ? readDouble(object[key], at(what, key)) : fallback;
}

int readStatusOr(const Json &object, const char *key, const std::string &what) {
    return object.contains(key) ? readStatus(object[key], at(what, key)) : 0;
}

std::optional<double> readOptionalDouble(const Json &object, const char *key,
                                         const std::string &what) {
    if (!object.contains(key)) {
        return std::nullopt;
    }
    return readDouble(object[key], at(what, key));
}

dc_datetime_t readDatetime(const Json &value, const std::string &what) {
    requireObject(value, what, {"year", "month", "day", "hour", "minute", "second", "timezone"});
    for (const char *key : {"year", "month", "day"}) {
        if (!value.contains(key)) {
            throw FormatError(at(what, key) + ": missing");
        }
    }
    dc_datetime_t datetime;
    datetime.year = readInt(value["year"], at(what, "year"));
    datetime.month = readInt(value["month"], at(what, "month"));
    datetime.day = readInt(value["day"], at(what, "day"));
    datetime.hour = value.contains("hour") ? readInt(value["hour"], at(what, "hour")) : 0;
    datetime.minute = value.contains("minute") ? readInt(value["minute"], at(what, "minute")) : 0;
    datetime.second = value.contains("second") ? readInt(value["second"], at(what, "second")) : 0;
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
    mix.oxygen = readDouble(value["oxygen"], at(what, "oxygen"));
    mix.helium = readDoubleOr(value, "helium", 0.0, what);
    mix.nitrogen = readDoubleOr(value, "nitrogen", 1.0 - mix.oxygen - mix.helium, what);
    return mix;
}

dc_tank_t readTank(const Json &value, const std::string &what) {
    requireObject(value, what,
                  {"gasmix", "type", "volume", "workpressure", "beginpressure", "endpressure"});
    dc_tank_t tank{};
    tank.gasmix = readUnsignedOr(value, "gasmix", DC_GASMIX_UNKNOWN, what);
    const std::uint32_t type = readUnsignedOr(value, "type", DC_TANKVOLUME_NONE, what);
    if (type > DC_TANKVOLUME_IMPERIAL) {
        throw FormatError(at(what, "type") + ": expected 0, 1 or 2");
    }
    tank.type = static_cast<dc_tankvolume_t>(type);
    tank.volume = readDoubleOr(value, "volume", 0.0, what);
    tank.workpressure = readDoubleOr(value, "workpressure", 0.0, what);
    tank.beginpressure = readDoubleOr(value, "beginpressure", 0.0, what);
    tank.endpressure = readDoubleOr(value, "endpressure", 0.0, what);
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
    source.parserNewFault = readStatusOr(value, "parser_new", what);
    faults.setData = readStatusOr(value, "set_data", what);
    faults.datetime = readStatusOr(value, "datetime", what);
    faults.divetime = readStatusOr(value, "divetime", what);
    faults.maxdepth = readStatusOr(value, "maxdepth", what);
    faults.avgdepth = readStatusOr(value, "avgdepth", what);
    faults.temperatureMinimum = readStatusOr(value, "temperature_minimum", what);
    faults.gasmixCount = readStatusOr(value, "gasmix_count", what);
    faults.tankCount = readStatusOr(value, "tank_count", what);
    faults.samplesForeach = readStatusOr(value, "samples_foreach", what);
    faults.samplesAfter = readUnsignedOr(value, "samples_after", 0, what);
    faults.destroy = readStatusOr(value, "destroy", what);
    if (value.contains("gasmix")) {
        faults.gasmix = readIndexFaults(value["gasmix"], at(what, "gasmix"));
    }
    if (value.contains("tank")) {
        faults.tank = readIndexFaults(value["tank"], at(what, "tank"));
    }
}

GeneratedProfile readGenerated(const Json &value, const std::string &what) {
    requireObject(value, what, {"rows", "interval", "maxdepth", "pressure", "temperature"});
    if (!value.contains("rows")) {
        throw FormatError(at(what, "rows") + ": missing");
    }
    GeneratedProfile profile;
    profile.rows = readUnsigned(value["rows"], at(what, "rows"));
    profile.interval = readUnsignedOr(value, "interval", profile.interval, what);
    profile.maxdepth = readDoubleOr(value, "maxdepth", 0.0, what);
    if (value.contains("pressure")) {
        const Json &range = value["pressure"];
        if (!range.is_array() || range.size() != 2) {
            throw FormatError(at(what, "pressure") + ": expected [begin, end]");
        }
        profile.pressure = std::make_pair(readDouble(range[0], at(what, "pressure")),
                                          readDouble(range[1], at(what, "pressure")));
    }
    profile.temperature = readOptionalDouble(value, "temperature", what);
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
    if (dive.contains("datetime")) {
        summary.datetime = readDatetime(dive["datetime"], at(what, "datetime"));
    }
    if (dive.contains("divetime")) {
        summary.divetime = readUnsigned(dive["divetime"], at(what, "divetime"));
    }
    summary.maxdepth = readOptionalDouble(dive, "maxdepth", what);
    summary.avgdepth = readOptionalDouble(dive, "avgdepth", what);
    summary.temperatureMinimum = readOptionalDouble(dive, "temperature_minimum", what);
    summary.gasmixes = readList<dc_gasmix_t>(dive, "gasmixes", what, readGasmix);
    summary.tanks = readList<dc_tank_t>(dive, "tanks", what, readTank);
    summary.gasmixCount = readUnsignedOr(dive, "gasmix_count",
                                         static_cast<std::uint32_t>(summary.gasmixes.size()), what);
    summary.tankCount =
        readUnsignedOr(dive, "tank_count", static_cast<std::uint32_t>(summary.tanks.size()), what);
    if (dive.contains("samples")) {
        requireArray(dive["samples"], at(what, "samples"));
        source.samples = &dive["samples"];
    }
    if (dive.contains("generate")) {
        source.generated = readGenerated(dive["generate"], at(what, "generate"));
    }
    source.repeat = readUnsignedOr(dive, "repeat", 1, what);
    if (dive.contains("faults")) {
        readFaults(dive["faults"], at(what, "faults"), source);
    }
    return source;
}

void encodeSample(const Json &sample, const std::string &what, DiveEncoder &encoder) {
    if (sample.contains("event")) {
        requireObject(sample, what, {"event", "time", "flags", "value"});
        encoder.addEvent(readUnsigned(sample["event"], at(what, "event")),
                         readUnsignedOr(sample, "time", 0, what),
                         readUnsignedOr(sample, "flags", 0, what),
                         readUnsignedOr(sample, "value", 0, what));
    } else if (sample.contains("type")) {
        requireObject(sample, what, {"type"});
        const std::uint32_t type = readUnsigned(sample["type"], at(what, "type"));
        if (type > kLastSampleType) {
            throw FormatError(at(what, "type") + ": not a sample kind");
        }
        encoder.addOther(type);
    } else if (sample.contains("pressure")) {
        requireObject(sample, what, {"pressure", "tank"});
        encoder.addPressure(readUnsignedOr(sample, "tank", 0, what),
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
