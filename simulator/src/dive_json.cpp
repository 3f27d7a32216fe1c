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

void requireMembers(const Json &value, const std::string &what,
                    std::initializer_list<const char *> keys) {
    for (const char *key : keys) {
        if (!value.contains(key)) {
            throw FormatError(at(what, key) + ": missing");
        }
    }
}

dc_datetime_t readDatetime(const Json &value, const std::string &what) {
    requireObject(value, what, {"year", "month", "day", "hour", "minute", "second", "timezone"});
    requireMembers(value, what, {"year", "month", "day"});
    dc_datetime_t datetime{};
    readMembers(value, what, readInt,
                {member("year", datetime.year), member("month", datetime.month),
                 member("day", datetime.day), member("hour", datetime.hour),
                 member("minute", datetime.minute), member("second", datetime.second)});
    const bool zoned = value.contains("timezone") && !value["timezone"].is_null();
    datetime.timezone = zoned ? readInt(value["timezone"], at(what, "timezone")) : DC_TIMEZONE_NONE;
    return datetime;
}

// A number of a libdivecomputer enumeration, 0 to last.
auto numberUpTo(std::uint32_t last) {
    return [last](const Json &value, const std::string &what) {
        const std::uint32_t number = readUnsigned(value, what);
        if (number > last) {
            throw FormatError(what + ": expected a number from 0 to " + std::to_string(last));
        }
        return number;
    };
}

Gasmix readGasmix(const Json &value, const std::string &what) {
    requireObject(value, what, {"oxygen", "helium", "nitrogen", "usage"});
    requireMembers(value, what, {"oxygen"});
    Gasmix mix;
    readMember(value, what, "oxygen", mix.oxygen, readDouble);
    readMember(value, what, "helium", mix.helium, readDouble);
    mix.nitrogen = readMemberOr(value, what, "nitrogen", 1.0 - mix.oxygen - mix.helium, readDouble);
    readMember(value, what, "usage", mix.usage, numberUpTo(kLastUsage));
    return mix;
}

Tank readTank(const Json &value, const std::string &what) {
    requireObject(
        value, what,
        {"gasmix", "type", "volume", "workpressure", "beginpressure", "endpressure", "usage"});
    Tank tank;
    readMember(value, what, "gasmix", tank.gasmix, readUnsigned);
    tank.type = static_cast<dc_tankvolume_t>(readMemberOr(value, what, "type",
                                                          std::uint32_t{DC_TANKVOLUME_NONE},
                                                          numberUpTo(DC_TANKVOLUME_IMPERIAL)));
    readMembers(
        value, what, readDouble,
        {member("volume", tank.volume), member("workpressure", tank.workpressure),
         member("beginpressure", tank.beginpressure), member("endpressure", tank.endpressure)});
    readMember(value, what, "usage", tank.usage, numberUpTo(kLastUsage));
    return tank;
}

dc_salinity_t readSalinity(const Json &value, const std::string &what) {
    requireObject(value, what, {"type", "density"});
    requireMembers(value, what, {"type"});
    dc_salinity_t salinity{};
    salinity.type =
        static_cast<dc_water_t>(numberUpTo(kLastWaterType)(value["type"], at(what, "type")));
    readMember(value, what, "density", salinity.density, readDouble);
    return salinity;
}

DecoModel readDecoModel(const Json &value, const std::string &what) {
    requireObject(value, what, {"type", "conservatism", "gf_low", "gf_high"});
    requireMembers(value, what, {"type"});
    DecoModel model;
    readMember(value, what, "type", model.type, numberUpTo(kLastDecoModel));
    readMember(value, what, "conservatism", model.conservatism, readInt);
    readMember(value, what, "gf_low", model.gfLow, readUnsigned);
    readMember(value, what, "gf_high", model.gfHigh, readUnsigned);
    return model;
}

Location readLocation(const Json &value, const std::string &what) {
    requireObject(value, what, {"latitude", "longitude", "altitude"});
    requireMembers(value, what, {"latitude", "longitude"});
    Location location;
    readMembers(value, what, readDouble,
                {member("latitude", location.latitude), member("longitude", location.longitude),
                 member("altitude", location.altitude)});
    return location;
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
                  {"parser_new",
                   "set_data",
                   "datetime",
                   "divetime",
                   "maxdepth",
                   "avgdepth",
                   "temperature_minimum",
                   "temperature_surface",
                   "temperature_maximum",
                   "atmospheric",
                   "salinity",
                   "divemode",
                   "decomodel",
                   "location",
                   "gasmix_count",
                   "gasmix",
                   "tank_count",
                   "tank",
                   "samples_foreach",
                   "samples_after",
                   "destroy"});
    auto &faults = source.faults;
    readMembers(
        value, what, readStatus,
        {member("parser_new", source.parserNewFault), member("set_data", faults.setData),
         member("datetime", faults.datetime), member("divetime", faults.divetime),
         member("maxdepth", faults.maxdepth), member("avgdepth", faults.avgdepth),
         member("temperature_minimum", faults.temperatureMinimum),
         member("temperature_surface", faults.temperatureSurface),
         member("temperature_maximum", faults.temperatureMaximum),
         member("atmospheric", faults.atmospheric), member("salinity", faults.salinity),
         member("divemode", faults.divemode), member("decomodel", faults.decomodel),
         member("location", faults.location), member("gasmix_count", faults.gasmixCount),
         member("tank_count", faults.tankCount), member("samples_foreach", faults.samplesForeach)});
    readMember(value, what, "samples_after", faults.samplesAfter, readUnsigned);
    readMember(value, what, "destroy", faults.destroy, readStatus);
    readMember(value, what, "gasmix", faults.gasmix, readIndexFaults);
    readMember(value, what, "tank", faults.tank, readIndexFaults);
}

GeneratedProfile readGenerated(const Json &value, const std::string &what) {
    requireObject(value, what, {"rows", "interval", "maxdepth", "pressure", "temperature"});
    requireMembers(value, what, {"rows"});
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
    requireObject(dive, what,
                  {"datetime",
                   "divetime",
                   "maxdepth",
                   "avgdepth",
                   "temperature_minimum",
                   "temperature_surface",
                   "temperature_maximum",
                   "atmospheric",
                   "salinity",
                   "divemode",
                   "decomodel",
                   "location",
                   "gasmixes",
                   "tanks",
                   "gasmix_count",
                   "tank_count",
                   "samples",
                   "generate",
                   "repeat",
                   "faults"});
    DiveSource source;
    auto &summary = source.summary;
    readMember(dive, what, "datetime", summary.datetime, readDatetime);
    readMember(dive, what, "divetime", summary.divetime, readUnsigned);
    readMembers(dive, what, readDouble,
                {member("maxdepth", summary.maxdepth), member("avgdepth", summary.avgdepth),
                 member("temperature_minimum", summary.temperatureMinimum),
                 member("temperature_surface", summary.temperatureSurface),
                 member("temperature_maximum", summary.temperatureMaximum),
                 member("atmospheric", summary.atmospheric)});
    readMember(dive, what, "salinity", summary.salinity, readSalinity);
    readMember(dive, what, "divemode", summary.divemode, numberUpTo(kLastDivemode));
    readMember(dive, what, "decomodel", summary.decomodel, readDecoModel);
    readMember(dive, what, "location", summary.location, readLocation);
    summary.gasmixes = readList<Gasmix>(dive, "gasmixes", what, readGasmix);
    summary.tanks = readList<Tank>(dive, "tanks", what, readTank);
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

// The samples of one value, each named by its key alone.
struct SingleValueSample {
    const char *key;
    void (*add)(DiveEncoder &encoder, const Json &value, const std::string &what);
};

template <void (DiveEncoder::*add)(std::uint32_t)>
void addUnsigned(DiveEncoder &encoder, const Json &value, const std::string &what) {
    (encoder.*add)(readUnsigned(value, what));
}

template <void (DiveEncoder::*add)(double)>
void addDouble(DiveEncoder &encoder, const Json &value, const std::string &what) {
    (encoder.*add)(readDouble(value, what));
}

const SingleValueSample kSingleValueSamples[] = {
    {"depth", addDouble<&DiveEncoder::addDepth>},
    {"temperature", addDouble<&DiveEncoder::addTemperature>},
    {"rbt", addUnsigned<&DiveEncoder::addRbt>},
    {"heartbeat", addUnsigned<&DiveEncoder::addHeartbeat>},
    {"bearing", addUnsigned<&DiveEncoder::addBearing>},
    {"setpoint", addDouble<&DiveEncoder::addSetpoint>},
    {"cns", addDouble<&DiveEncoder::addCns>},
    {"gasmix", addUnsigned<&DiveEncoder::addGasmix>},
    {"time", addUnsigned<&DiveEncoder::addTime>},
};

// A sample is told by its distinguishing key: "time" alone is a time sample, beside "event" or
// "deco" it is a member of that sample, as "depth" is of a decompression stop.
void encodeSample(const Json &sample, const std::string &what, DiveEncoder &encoder) {
    if (sample.contains("event")) {
        requireObject(sample, what, {"event", "time", "flags", "value"});
        encoder.addEvent(readUnsigned(sample["event"], at(what, "event")),
                         readMemberOr(sample, what, "time", 0u, readUnsigned),
                         readMemberOr(sample, what, "flags", 0u, readUnsigned),
                         readMemberOr(sample, what, "value", 0u, readUnsigned));
    } else if (sample.contains("deco")) {
        requireObject(sample, what, {"deco", "time", "depth", "tts"});
        encoder.addDeco(numberUpTo(kLastDecoType)(sample["deco"], at(what, "deco")),
                        readMemberOr(sample, what, "time", 0u, readUnsigned),
                        readMemberOr(sample, what, "depth", 0.0, readDouble),
                        readMemberOr(sample, what, "tts", 0u, readUnsigned));
    } else if (sample.contains("ppo2")) {
        requireObject(sample, what, {"ppo2", "sensor"});
        encoder.addPpo2(readMemberOr(sample, what, "sensor", kSensorNone, readUnsigned),
                        readDouble(sample["ppo2"], at(what, "ppo2")));
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
    } else {
        for (const auto &single : kSingleValueSamples) {
            if (sample.contains(single.key)) {
                requireObject(sample, what, {single.key});
                single.add(encoder, sample[single.key], at(what, single.key));
                return;
            }
        }
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
