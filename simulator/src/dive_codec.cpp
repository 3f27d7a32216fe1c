// SPDX-License-Identifier: MIT
#include "dive_codec.h"

#include "status_error.h"

#include <array>
#include <cstring>
#include <limits>

namespace dcsim {
namespace {

constexpr unsigned char kMagic[4] = {'D', 'S', 'I', 'M'};
constexpr std::uint32_t kVersion = 2;

// Presence bits of the optional summary fields.
constexpr std::uint32_t kHasDatetime = 1u << 0;
constexpr std::uint32_t kHasDivetime = 1u << 1;
constexpr std::uint32_t kHasMaxdepth = 1u << 2;
constexpr std::uint32_t kHasAvgdepth = 1u << 3;
constexpr std::uint32_t kHasTemperatureMinimum = 1u << 4;
constexpr std::uint32_t kHasTemperatureSurface = 1u << 5;
constexpr std::uint32_t kHasTemperatureMaximum = 1u << 6;
constexpr std::uint32_t kHasAtmospheric = 1u << 7;
constexpr std::uint32_t kHasSalinity = 1u << 8;
constexpr std::uint32_t kHasDivemode = 1u << 9;
constexpr std::uint32_t kHasDecomodel = 1u << 10;
constexpr std::uint32_t kHasLocation = 1u << 11;
constexpr std::uint32_t kAllPresenceBits = (1u << 12) - 1;

enum SampleTag : std::uint32_t {
    kTagTime = 1,
    kTagDepth = 2,
    kTagPressure = 3,
    kTagTemperature = 4,
    kTagEvent = 5,
    kTagOther = 6,
    kTagRbt = 7,
    kTagHeartbeat = 8,
    kTagBearing = 9,
    kTagSetpoint = 10,
    kTagPpo2 = 11,
    kTagCns = 12,
    kTagDeco = 13,
    kTagGasmix = 14,
};

constexpr std::size_t kPayloadSize = kSampleRecordSize - 4;
using Payload = unsigned char[kPayloadSize];

constexpr std::size_t kGasmixSize = 3 * 8 + 4;
constexpr std::size_t kTankSize = 3 * 4 + 4 * 8;
constexpr std::size_t kIndexFaultSize = 2 * 4;

void storeU32(unsigned char *out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

void storeF64(unsigned char *out, double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 8; ++i) {
        out[i] = static_cast<unsigned char>(bits >> (8 * i));
    }
}

std::uint32_t loadU32(const unsigned char *in) {
    return static_cast<std::uint32_t>(in[0]) | static_cast<std::uint32_t>(in[1]) << 8 |
           static_cast<std::uint32_t>(in[2]) << 16 | static_cast<std::uint32_t>(in[3]) << 24;
}

double loadF64(const unsigned char *in) {
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) {
        bits = bits << 8 | in[i];
    }
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

class ByteWriter {
  public:
    explicit ByteWriter(Bytes &bytes) : bytes_(bytes) {}
    void u32(std::uint32_t value) {
        unsigned char raw[4];
        storeU32(raw, value);
        bytes_.insert(bytes_.end(), raw, raw + 4);
    }
    void i32(std::int32_t value) { u32(static_cast<std::uint32_t>(value)); }
    void f64(double value) {
        unsigned char raw[8];
        storeF64(raw, value);
        bytes_.insert(bytes_.end(), raw, raw + 8);
    }

  private:
    Bytes &bytes_;
};

// Bounds-checked reads: running past the end means the buffer is truncated.
class ByteReader {
  public:
    ByteReader(const unsigned char *data, std::size_t size) : next_(data), left_(size) {}
    const unsigned char *take(std::size_t count) {
        if (count > left_) {
            throw FormatError("dive data truncated");
        }
        const unsigned char *at = next_;
        next_ += count;
        left_ -= count;
        return at;
    }
    // Takes a list of count records, checking its length before anything is allocated for it.
    const unsigned char *takeRecords(std::uint32_t count, std::size_t recordSize) {
        if (count > left_ / recordSize) {
            throw FormatError("dive data truncated");
        }
        return take(count * recordSize);
    }
    std::uint32_t u32() { return loadU32(take(4)); }
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
    double f64() { return loadF64(take(8)); }
    std::size_t left() const { return left_; }

  private:
    const unsigned char *next_;
    std::size_t left_;
};

// A number of an enumeration, up to its last.
std::uint32_t readNumberUpTo(ByteReader &in, std::uint32_t last, const char *what) {
    const std::uint32_t number = in.u32();
    if (number > last) {
        throw FormatError(std::string("unknown ") + what);
    }
    return number;
}

std::uint32_t presenceOf(const DiveSummary &summary) {
    std::uint32_t bits = 0;
    bits |= summary.datetime ? kHasDatetime : 0;
    bits |= summary.divetime ? kHasDivetime : 0;
    bits |= summary.maxdepth ? kHasMaxdepth : 0;
    bits |= summary.avgdepth ? kHasAvgdepth : 0;
    bits |= summary.temperatureMinimum ? kHasTemperatureMinimum : 0;
    bits |= summary.temperatureSurface ? kHasTemperatureSurface : 0;
    bits |= summary.temperatureMaximum ? kHasTemperatureMaximum : 0;
    bits |= summary.atmospheric ? kHasAtmospheric : 0;
    bits |= summary.salinity ? kHasSalinity : 0;
    bits |= summary.divemode ? kHasDivemode : 0;
    bits |= summary.decomodel ? kHasDecomodel : 0;
    bits |= summary.location ? kHasLocation : 0;
    return bits;
}

std::uint32_t listLength(std::size_t length) {
    if (length > std::numeric_limits<std::uint32_t>::max()) {
        throw FormatError("list too long");
    }
    return static_cast<std::uint32_t>(length);
}

// Each record's fields in the order the bytes keep them, one list for the writer (through const
// pointers) and the reader alike.
template <typename LocationT>
auto locationFields(LocationT &location) {
    return std::array{&location.latitude, &location.longitude, &location.altitude};
}

template <typename Datetime>
auto datetimeFields(Datetime &dt) {
    return std::array{&dt.year, &dt.month, &dt.day, &dt.hour, &dt.minute, &dt.second, &dt.timezone};
}

template <typename Faults>
auto faultStatusFields(Faults &faults) {
    return std::array{&faults.setData,
                      &faults.datetime,
                      &faults.divetime,
                      &faults.maxdepth,
                      &faults.avgdepth,
                      &faults.temperatureMinimum,
                      &faults.temperatureSurface,
                      &faults.temperatureMaximum,
                      &faults.atmospheric,
                      &faults.salinity,
                      &faults.divemode,
                      &faults.decomodel,
                      &faults.location,
                      &faults.gasmixCount,
                      &faults.tankCount,
                      &faults.samplesForeach,
                      &faults.destroy};
}

template <typename Gasmix>
auto gasmixFields(Gasmix &mix) {
    return std::array{&mix.helium, &mix.oxygen, &mix.nitrogen};
}

// A tank's volume and pressures, after its gas mix and volume type.
template <typename Tank>
auto tankMeasureFields(Tank &tank) {
    return std::array{&tank.volume, &tank.workpressure, &tank.beginpressure, &tank.endpressure};
}

void writeDatetime(ByteWriter &out, const dc_datetime_t &dt) {
    for (const int *field : datetimeFields(dt)) {
        out.i32(*field);
    }
}

dc_datetime_t readDatetime(ByteReader &in) {
    dc_datetime_t dt;
    for (int *field : datetimeFields(dt)) {
        *field = in.i32();
    }
    return dt;
}

// What the summary carries after temperature_minimum, each written whether present or not.
void writeConditions(ByteWriter &out, const DiveSummary &summary) {
    out.f64(summary.temperatureSurface.value_or(0.0));
    out.f64(summary.temperatureMaximum.value_or(0.0));
    out.f64(summary.atmospheric.value_or(0.0));
    const dc_salinity_t salinity = summary.salinity.value_or(dc_salinity_t{});
    out.u32(static_cast<std::uint32_t>(salinity.type));
    out.f64(salinity.density);
    out.u32(summary.divemode.value_or(0));
    const DecoModel model = summary.decomodel.value_or(DecoModel{});
    out.u32(model.type);
    out.i32(model.conservatism);
    out.u32(model.gfHigh);
    out.u32(model.gfLow);
    const Location location = summary.location.value_or(Location{});
    for (const double *part : locationFields(location)) {
        out.f64(*part);
    }
}

template <typename Value>
void keepIfPresent(std::uint32_t presence, std::uint32_t bit, std::optional<Value> &field,
                   const Value &value) {
    if (presence & bit) {
        field = value;
    }
}

void readConditions(ByteReader &in, std::uint32_t presence, DiveSummary &summary) {
    const double surface = in.f64();
    const double maximum = in.f64();
    const double atmospheric = in.f64();
    dc_salinity_t salinity{};
    salinity.type = static_cast<dc_water_t>(readNumberUpTo(in, kLastWaterType, "water type"));
    salinity.density = in.f64();
    const std::uint32_t divemode = readNumberUpTo(in, kLastDivemode, "dive mode");
    DecoModel model;
    model.type = readNumberUpTo(in, kLastDecoModel, "decompression model");
    model.conservatism = in.i32();
    model.gfHigh = in.u32();
    model.gfLow = in.u32();
    Location location;
    for (double *part : locationFields(location)) {
        *part = in.f64();
    }
    keepIfPresent(presence, kHasTemperatureSurface, summary.temperatureSurface, surface);
    keepIfPresent(presence, kHasTemperatureMaximum, summary.temperatureMaximum, maximum);
    keepIfPresent(presence, kHasAtmospheric, summary.atmospheric, atmospheric);
    keepIfPresent(presence, kHasSalinity, summary.salinity, salinity);
    keepIfPresent(presence, kHasDivemode, summary.divemode, divemode);
    keepIfPresent(presence, kHasDecomodel, summary.decomodel, model);
    keepIfPresent(presence, kHasLocation, summary.location, location);
}

void writeFaultStatuses(ByteWriter &out, const DiveFaults &faults) {
    for (const int *status : faultStatusFields(faults)) {
        out.i32(*status);
    }
    out.u32(faults.samplesAfter);
}

int readFaultStatus(ByteReader &in) {
    const std::int32_t status = in.i32();
    if (status < DC_STATUS_CANCELLED || status > DC_STATUS_DONE) {
        throw FormatError("unknown fault status");
    }
    return status;
}

void readFaultStatuses(ByteReader &in, DiveFaults &faults) {
    for (int *status : faultStatusFields(faults)) {
        *status = readFaultStatus(in);
    }
    faults.samplesAfter = in.u32();
}

void writeGasmix(ByteWriter &out, const Gasmix &mix) {
    for (const double *part : gasmixFields(mix)) {
        out.f64(*part);
    }
    out.u32(mix.usage);
}

void writeTank(ByteWriter &out, const Tank &tank) {
    out.u32(tank.gasmix);
    out.u32(static_cast<std::uint32_t>(tank.type));
    out.u32(tank.usage);
    for (const double *measure : tankMeasureFields(tank)) {
        out.f64(*measure);
    }
}

std::vector<Gasmix> readGasmixes(ByteReader &in, std::uint32_t count) {
    ByteReader list(in.takeRecords(count, kGasmixSize), count * kGasmixSize);
    std::vector<Gasmix> mixes(count);
    for (auto &mix : mixes) {
        for (double *part : gasmixFields(mix)) {
            *part = list.f64();
        }
        mix.usage = readNumberUpTo(list, kLastUsage, "gas usage");
    }
    return mixes;
}

dc_tankvolume_t readTankVolumeType(ByteReader &in) {
    return static_cast<dc_tankvolume_t>(
        readNumberUpTo(in, DC_TANKVOLUME_IMPERIAL, "tank volume type"));
}

std::vector<Tank> readTanks(ByteReader &in, std::uint32_t count) {
    ByteReader list(in.takeRecords(count, kTankSize), count * kTankSize);
    std::vector<Tank> tanks(count);
    for (auto &tank : tanks) {
        tank.gasmix = list.u32();
        tank.type = readTankVolumeType(list);
        tank.usage = readNumberUpTo(list, kLastUsage, "gas usage");
        for (double *measure : tankMeasureFields(tank)) {
            *measure = list.f64();
        }
    }
    return tanks;
}

void writeIndexFaults(ByteWriter &out, const IndexFaults &faults) {
    for (const auto &fault : faults) {
        out.u32(fault.first);
        out.i32(fault.second);
    }
}

IndexFaults readIndexFaults(ByteReader &in, std::uint32_t count) {
    ByteReader list(in.takeRecords(count, kIndexFaultSize), count * kIndexFaultSize);
    IndexFaults faults(count);
    for (auto &fault : faults) {
        fault.first = list.u32();
        fault.second = readFaultStatus(list);
    }
    return faults;
}

void checkSampleRecords(const unsigned char *records, std::uint32_t count) {
    for (std::uint32_t i = 0; i < count; ++i) {
        const unsigned char *record = records + std::size_t{i} * kSampleRecordSize;
        const std::uint32_t tag = loadU32(record);
        const std::uint32_t first = loadU32(record + 4);
        if (tag < kTagTime || tag > kTagGasmix) {
            throw FormatError("unknown sample tag");
        }
        if (tag == kTagOther && first > kLastSampleType) {
            throw FormatError("unknown sample type");
        }
        if (tag == kTagTime && first > kLastSampleTime) {
            throw FormatError("sample time out of range");
        }
        if (tag == kTagDeco && first > kLastDecoType) {
            throw FormatError("unknown decompression stop type");
        }
    }
}

// Fills value from a record's payload and answers the sample's kind.
dc_sample_type_t decodeValue(std::uint32_t tag, const unsigned char *payload,
                             dc_sample_value_t &value) {
    switch (tag) {
        case kTagTime:
            value.time = loadU32(payload) * kSampleTimeScale;
            return DC_SAMPLE_TIME;
        case kTagDepth:
            value.depth = loadF64(payload);
            return DC_SAMPLE_DEPTH;
        case kTagPressure:
            value.pressure.tank = loadU32(payload);
            value.pressure.value = loadF64(payload + 8);
            return DC_SAMPLE_PRESSURE;
        case kTagTemperature:
            value.temperature = loadF64(payload);
            return DC_SAMPLE_TEMPERATURE;
        case kTagEvent:
            value.event.type = loadU32(payload);
            value.event.time = loadU32(payload + 4);
            value.event.flags = loadU32(payload + 8);
            value.event.value = loadU32(payload + 12);
            return DC_SAMPLE_EVENT;
        case kTagRbt:
            value.rbt = loadU32(payload);
            return DC_SAMPLE_RBT;
        case kTagHeartbeat:
            value.heartbeat = loadU32(payload);
            return DC_SAMPLE_HEARTBEAT;
        case kTagBearing:
            value.bearing = loadU32(payload);
            return DC_SAMPLE_BEARING;
        case kTagSetpoint:
            value.setpoint = loadF64(payload);
            return DC_SAMPLE_SETPOINT;
        case kTagPpo2:
#ifdef DCSIM_RELEASE_0_9
            value.ppo2.sensor = loadU32(payload);
            value.ppo2.value = loadF64(payload + 8);
#else
            value.ppo2 = loadF64(payload + 8);  // no sensor before 0.9
#endif
            return DC_SAMPLE_PPO2;
        case kTagCns:
            value.cns = loadF64(payload);
            return DC_SAMPLE_CNS;
        case kTagDeco:
            value.deco.type = loadU32(payload);
            value.deco.time = loadU32(payload + 4);
            value.deco.depth = loadF64(payload + 8);
#ifdef DCSIM_RELEASE_0_9
            value.deco.tts = loadU32(payload + 16);
#endif
            return DC_SAMPLE_DECO;
        case kTagGasmix:
            value.gasmix = loadU32(payload);
            return DC_SAMPLE_GASMIX;
        default:  // kTagOther carries only its kind
            return static_cast<dc_sample_type_t>(loadU32(payload));
    }
}

}  // namespace

Fingerprint fingerprintOf(const Bytes &bytes) {
    constexpr std::size_t kDatetimeOffset = sizeof kMagic + 2 * 4;
    const unsigned char *datetime = bytes.data() + kDatetimeOffset;
    Fingerprint fingerprint{datetime[0], datetime[1]};
    for (std::size_t field = 1; field < 6; ++field) {
        fingerprint[1 + field] = datetime[4 * field];
    }
    return fingerprint;
}

DiveEncoder::DiveEncoder(const DiveSummary &summary, const DiveFaults &faults) {
    ByteWriter out(bytes_);
    bytes_.insert(bytes_.end(), kMagic, kMagic + 4);
    out.u32(kVersion);
    out.u32(presenceOf(summary));
    writeDatetime(out, summary.datetime.value_or(dc_datetime_t{}));
    out.u32(summary.divetime.value_or(0));
    out.f64(summary.maxdepth.value_or(0.0));
    out.f64(summary.avgdepth.value_or(0.0));
    out.f64(summary.temperatureMinimum.value_or(0.0));
    writeConditions(out, summary);
    out.u32(summary.gasmixCount);
    out.u32(summary.tankCount);
    out.u32(listLength(summary.gasmixes.size()));
    out.u32(listLength(summary.tanks.size()));
    out.u32(listLength(faults.gasmix.size()));
    out.u32(listLength(faults.tank.size()));
    writeFaultStatuses(out, faults);
    sampleCountOffset_ = bytes_.size();
    out.u32(0);
    for (const auto &mix : summary.gasmixes) {
        writeGasmix(out, mix);
    }
    for (const auto &tank : summary.tanks) {
        writeTank(out, tank);
    }
    writeIndexFaults(out, faults.gasmix);
    writeIndexFaults(out, faults.tank);
}

void DiveEncoder::reserveSamples(std::size_t count) {
    bytes_.reserve(bytes_.size() + count * kSampleRecordSize);
}

void DiveEncoder::addRecord(std::uint32_t tag, const Payload &payload) {
    if (sampleCount_ == std::numeric_limits<std::uint32_t>::max()) {
        throw FormatError("too many samples");
    }
    unsigned char raw[4];
    storeU32(raw, tag);
    bytes_.insert(bytes_.end(), raw, raw + 4);
    bytes_.insert(bytes_.end(), payload, payload + kPayloadSize);
    ++sampleCount_;
}

void DiveEncoder::addTime(std::uint32_t seconds) {
    if (seconds > kLastSampleTime) {
        throw FormatError("sample time out of range");
    }
    addNumber(kTagTime, seconds);
}

void DiveEncoder::addDepth(double metres) {
    addReal(kTagDepth, metres);
}

void DiveEncoder::addPressure(std::uint32_t tank, double bar) {
    addNumberAndReal(kTagPressure, tank, bar);
}

void DiveEncoder::addTemperature(double celsius) {
    addReal(kTagTemperature, celsius);
}

void DiveEncoder::addEvent(std::uint32_t type, std::uint32_t time, std::uint32_t flags,
                           std::uint32_t value) {
    Payload payload = {};
    storeU32(payload, type);
    storeU32(payload + 4, time);
    storeU32(payload + 8, flags);
    storeU32(payload + 12, value);
    addRecord(kTagEvent, payload);
}

void DiveEncoder::addNumber(std::uint32_t tag, std::uint32_t number) {
    Payload payload = {};
    storeU32(payload, number);
    addRecord(tag, payload);
}

void DiveEncoder::addReal(std::uint32_t tag, double real) {
    Payload payload = {};
    storeF64(payload, real);
    addRecord(tag, payload);
}

void DiveEncoder::addNumberAndReal(std::uint32_t tag, std::uint32_t number, double real) {
    Payload payload = {};
    storeU32(payload, number);
    storeF64(payload + 8, real);
    addRecord(tag, payload);
}

void DiveEncoder::addRbt(std::uint32_t minutes) {
    addNumber(kTagRbt, minutes);
}

void DiveEncoder::addHeartbeat(std::uint32_t beats) {
    addNumber(kTagHeartbeat, beats);
}

void DiveEncoder::addBearing(std::uint32_t degrees) {
    addNumber(kTagBearing, degrees);
}

void DiveEncoder::addSetpoint(double bar) {
    addReal(kTagSetpoint, bar);
}

void DiveEncoder::addPpo2(std::uint32_t sensor, double bar) {
    addNumberAndReal(kTagPpo2, sensor, bar);
}

void DiveEncoder::addCns(double fraction) {
    addReal(kTagCns, fraction);
}

void DiveEncoder::addDeco(std::uint32_t type, std::uint32_t time, double depth, std::uint32_t tts) {
    if (type > kLastDecoType) {
        throw FormatError("unknown decompression stop type");
    }
    Payload payload = {};
    storeU32(payload, type);
    storeU32(payload + 4, time);
    storeF64(payload + 8, depth);
    storeU32(payload + 16, tts);
    addRecord(kTagDeco, payload);
}

void DiveEncoder::addGasmix(std::uint32_t index) {
    addNumber(kTagGasmix, index);
}

void DiveEncoder::addOther(std::uint32_t sampleType) {
    if (sampleType > kLastSampleType) {
        throw FormatError("unknown sample type");
    }
    addNumber(kTagOther, sampleType);
}

Bytes DiveEncoder::finish() {
    storeU32(bytes_.data() + sampleCountOffset_, sampleCount_);
    return std::move(bytes_);
}

DecodedDive decodeDive(const unsigned char *data, std::size_t size) {
    ByteReader in(data, size);
    if (std::memcmp(in.take(4), kMagic, 4) != 0 || in.u32() != kVersion) {
        throw FormatError("not a simulated dive");
    }
    const std::uint32_t presence = in.u32();
    if ((presence & ~kAllPresenceBits) != 0) {
        throw FormatError("unknown presence bits");
    }
    DecodedDive dive;
    auto &summary = dive.summary;
    const dc_datetime_t datetime = readDatetime(in);
    const std::uint32_t divetime = in.u32();
    const double maxdepth = in.f64();
    const double avgdepth = in.f64();
    const double temperatureMinimum = in.f64();
    keepIfPresent(presence, kHasDatetime, summary.datetime, datetime);
    keepIfPresent(presence, kHasDivetime, summary.divetime, divetime);
    keepIfPresent(presence, kHasMaxdepth, summary.maxdepth, maxdepth);
    keepIfPresent(presence, kHasAvgdepth, summary.avgdepth, avgdepth);
    keepIfPresent(presence, kHasTemperatureMinimum, summary.temperatureMinimum, temperatureMinimum);
    readConditions(in, presence, summary);
    summary.gasmixCount = in.u32();
    summary.tankCount = in.u32();
    const std::uint32_t gasmixLength = in.u32();
    const std::uint32_t tankLength = in.u32();
    const std::uint32_t gasmixFaultLength = in.u32();
    const std::uint32_t tankFaultLength = in.u32();
    readFaultStatuses(in, dive.faults);
    dive.sampleCount = in.u32();
    summary.gasmixes = readGasmixes(in, gasmixLength);
    summary.tanks = readTanks(in, tankLength);
    dive.faults.gasmix = readIndexFaults(in, gasmixFaultLength);
    dive.faults.tank = readIndexFaults(in, tankFaultLength);
    dive.samples = in.takeRecords(dive.sampleCount, kSampleRecordSize);
    if (in.left() != 0) {
        throw FormatError("trailing bytes after the samples");
    }
    checkSampleRecords(dive.samples, dive.sampleCount);
    return dive;
}

void decodeSample(const DecodedDive &dive, std::uint32_t index, dc_sample_type_t &type,
                  dc_sample_value_t &value) {
    const unsigned char *record = dive.samples + std::size_t{index} * kSampleRecordSize;
    std::memset(&value, 0, sizeof value);
    type = decodeValue(loadU32(record), record + 4, value);
}

}  // namespace dcsim
