// SPDX-License-Identifier: MIT
#include "dive_codec.h"

#include "status_error.h"

#include <array>
#include <cstring>
#include <limits>

namespace dcsim {
namespace {

constexpr unsigned char kMagic[4] = {'D', 'S', 'I', 'M'};
constexpr std::uint32_t kVersion = 1;

// Presence bits of the optional summary fields.
constexpr std::uint32_t kHasDatetime = 1u << 0;
constexpr std::uint32_t kHasDivetime = 1u << 1;
constexpr std::uint32_t kHasMaxdepth = 1u << 2;
constexpr std::uint32_t kHasAvgdepth = 1u << 3;
constexpr std::uint32_t kHasTemperatureMinimum = 1u << 4;
constexpr std::uint32_t kAllPresenceBits = (1u << 5) - 1;

enum SampleTag : std::uint32_t {
    kTagTime = 1,
    kTagDepth = 2,
    kTagPressure = 3,
    kTagTemperature = 4,
    kTagEvent = 5,
    kTagOther = 6,
};

constexpr std::size_t kGasmixSize = 3 * 8;
constexpr std::size_t kTankSize = 2 * 4 + 4 * 8;
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

std::uint32_t presenceOf(const DiveSummary &summary) {
    std::uint32_t bits = 0;
    bits |= summary.datetime ? kHasDatetime : 0;
    bits |= summary.divetime ? kHasDivetime : 0;
    bits |= summary.maxdepth ? kHasMaxdepth : 0;
    bits |= summary.avgdepth ? kHasAvgdepth : 0;
    bits |= summary.temperatureMinimum ? kHasTemperatureMinimum : 0;
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
template <typename Datetime>
auto datetimeFields(Datetime &dt) {
    return std::array{&dt.year, &dt.month, &dt.day, &dt.hour, &dt.minute, &dt.second, &dt.timezone};
}

template <typename Faults>
auto faultStatusFields(Faults &faults) {
    return std::array{&faults.setData,     &faults.datetime,  &faults.divetime,
                      &faults.maxdepth,    &faults.avgdepth,  &faults.temperatureMinimum,
                      &faults.gasmixCount, &faults.tankCount, &faults.samplesForeach,
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

void writeGasmix(ByteWriter &out, const dc_gasmix_t &mix) {
    for (const double *part : gasmixFields(mix)) {
        out.f64(*part);
    }
}

void writeTank(ByteWriter &out, const dc_tank_t &tank) {
    out.u32(tank.gasmix);
    out.u32(static_cast<std::uint32_t>(tank.type));
    for (const double *measure : tankMeasureFields(tank)) {
        out.f64(*measure);
    }
}

std::vector<dc_gasmix_t> readGasmixes(ByteReader &in, std::uint32_t count) {
    ByteReader list(in.takeRecords(count, kGasmixSize), count * kGasmixSize);
    std::vector<dc_gasmix_t> mixes(count);
    for (auto &mix : mixes) {
        for (double *part : gasmixFields(mix)) {
            *part = list.f64();
        }
    }
    return mixes;
}

dc_tankvolume_t readTankVolumeType(ByteReader &in) {
    const std::uint32_t type = in.u32();
    if (type > DC_TANKVOLUME_IMPERIAL) {
        throw FormatError("unknown tank volume type");
    }
    return static_cast<dc_tankvolume_t>(type);
}

std::vector<dc_tank_t> readTanks(ByteReader &in, std::uint32_t count) {
    ByteReader list(in.takeRecords(count, kTankSize), count * kTankSize);
    std::vector<dc_tank_t> tanks(count);
    for (auto &tank : tanks) {
        tank.gasmix = list.u32();
        tank.type = readTankVolumeType(list);
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
        const unsigned char *record = records + i * kSampleRecordSize;
        const std::uint32_t tag = loadU32(record);
        if (tag < kTagTime || tag > kTagOther) {
            throw FormatError("unknown sample tag");
        }
        if (tag == kTagOther && loadU32(record + 4) > kLastSampleType) {
            throw FormatError("unknown sample type");
        }
        if (tag == kTagTime && loadU32(record + 4) > kLastSampleTime) {
            throw FormatError("sample time out of range");
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

void DiveEncoder::addRecord(std::uint32_t tag, const unsigned char (&payload)[16]) {
    if (sampleCount_ == std::numeric_limits<std::uint32_t>::max()) {
        throw FormatError("too many samples");
    }
    unsigned char raw[4];
    storeU32(raw, tag);
    bytes_.insert(bytes_.end(), raw, raw + 4);
    bytes_.insert(bytes_.end(), payload, payload + 16);
    ++sampleCount_;
}

void DiveEncoder::addTime(std::uint32_t seconds) {
    if (seconds > kLastSampleTime) {
        throw FormatError("sample time out of range");
    }
    unsigned char payload[16] = {};
    storeU32(payload, seconds);
    addRecord(kTagTime, payload);
}

void DiveEncoder::addDepth(double metres) {
    unsigned char payload[16] = {};
    storeF64(payload, metres);
    addRecord(kTagDepth, payload);
}

void DiveEncoder::addPressure(std::uint32_t tank, double bar) {
    unsigned char payload[16] = {};
    storeU32(payload, tank);
    storeF64(payload + 8, bar);
    addRecord(kTagPressure, payload);
}

void DiveEncoder::addTemperature(double celsius) {
    unsigned char payload[16] = {};
    storeF64(payload, celsius);
    addRecord(kTagTemperature, payload);
}

void DiveEncoder::addEvent(std::uint32_t type, std::uint32_t time, std::uint32_t flags,
                           std::uint32_t value) {
    unsigned char payload[16] = {};
    storeU32(payload, type);
    storeU32(payload + 4, time);
    storeU32(payload + 8, flags);
    storeU32(payload + 12, value);
    addRecord(kTagEvent, payload);
}

void DiveEncoder::addOther(std::uint32_t sampleType) {
    if (sampleType > kLastSampleType) {
        throw FormatError("unknown sample type");
    }
    unsigned char payload[16] = {};
    storeU32(payload, sampleType);
    addRecord(kTagOther, payload);
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
    if (presence & kHasDatetime)
        summary.datetime = datetime;
    if (presence & kHasDivetime)
        summary.divetime = divetime;
    if (presence & kHasMaxdepth)
        summary.maxdepth = maxdepth;
    if (presence & kHasAvgdepth)
        summary.avgdepth = avgdepth;
    if (presence & kHasTemperatureMinimum)
        summary.temperatureMinimum = temperatureMinimum;
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
