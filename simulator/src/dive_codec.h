// SPDX-License-Identifier: MIT
// The bytes of one simulated dive: what the device hands to the dive callback and what the
// simulated parser reads. Little endian throughout:
//
//   header      magic "DSIM", version, presence bits, datetime (7 x i32), divetime, maxdepth,
//               avgdepth, temperature_minimum, temperature_surface, temperature_maximum,
//               atmospheric, salinity (type, density), divemode, decomodel (type, conservatism,
//               gf high, gf low), location (latitude, longitude, altitude), gasmix and tank counts
//               as reported, the lengths of the four lists below, seventeen fault statuses,
//               samples_after, the sample count
//   gasmixes    helium, oxygen, nitrogen (3 x f64), usage (u32)
//   tanks       gasmix, volume type, usage (3 x u32), volume, work, begin and end pressure
//               (4 x f64)
//   faults      per gas mix, then per tank: index (u32), status (i32)
//   samples     fixed 24-byte records: a tag (u32) and 20 bytes of payload
//
// decodeDive checks a buffer once (bounds, counts, tags, enumerated numbers, sample times, no
// trailing bytes); afterwards the sample records are walked without further checks.
#ifndef DCSIM_DIVE_CODEC_H
#define DCSIM_DIVE_CODEC_H

#include <libdivecomputer/parser.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace dcsim {

using Bytes = std::vector<unsigned char>;
// Per-index fault statuses of the gas mix and tank lists.
using IndexFaults = std::vector<std::pair<std::uint32_t, int>>;

// The largest numbers of the enumerations a dive carries, with the numbers of the latest release
// so that one image serves every release (see Parser for what older ones report).
inline constexpr std::uint32_t kLastWaterType = DC_WATER_SALT;
inline constexpr std::uint32_t kLastDivemode = 4;   // DC_DIVEMODE_SCR
inline constexpr std::uint32_t kLastDecoModel = 4;  // DC_DECOMODEL_DCIEM
inline constexpr std::uint32_t kLastUsage = 3;      // DC_USAGE_SIDEMOUNT
inline constexpr std::uint32_t kLastDecoType = DC_DECO_DEEPSTOP;
inline constexpr std::uint32_t kSensorNone = 0xFFFFFFFF;  // DC_SENSOR_NONE of release 0.9

// A gas mix and a tank as the bytes keep them: the usage is carried under every release.
struct Gasmix {
    double helium = 0.0;
    double oxygen = 0.0;
    double nitrogen = 0.0;
    std::uint32_t usage = 0;
};

struct Tank {
    std::uint32_t gasmix = DC_GASMIX_UNKNOWN;
    dc_tankvolume_t type = DC_TANKVOLUME_NONE;
    double volume = 0.0;
    double workpressure = 0.0;
    double beginpressure = 0.0;
    double endpressure = 0.0;
    std::uint32_t usage = 0;
};

struct DecoModel {
    std::uint32_t type = 0;
    std::int32_t conservatism = 0;
    std::uint32_t gfHigh = 0;
    std::uint32_t gfLow = 0;
};

struct Location {
    double latitude = 0.0;
    double longitude = 0.0;
    double altitude = 0.0;
};

struct DiveSummary {
    std::optional<dc_datetime_t> datetime;
    std::optional<std::uint32_t> divetime;
    std::optional<double> maxdepth;
    std::optional<double> avgdepth;
    std::optional<double> temperatureMinimum;
    std::optional<double> temperatureSurface;
    std::optional<double> temperatureMaximum;
    std::optional<double> atmospheric;
    std::optional<dc_salinity_t> salinity;
    std::optional<std::uint32_t> divemode;
    std::optional<DecoModel> decomodel;
    std::optional<Location> location;
    std::uint32_t gasmixCount = 0;
    std::uint32_t tankCount = 0;
    std::vector<Gasmix> gasmixes;
    std::vector<Tank> tanks;
};

// Statuses the simulated parser answers instead of doing its work; 0 is no fault.
struct DiveFaults {
    int setData = 0;
    int datetime = 0;
    int divetime = 0;
    int maxdepth = 0;
    int avgdepth = 0;
    int temperatureMinimum = 0;
    int temperatureSurface = 0;
    int temperatureMaximum = 0;
    int atmospheric = 0;
    int salinity = 0;
    int divemode = 0;
    int decomodel = 0;
    int location = 0;
    int gasmixCount = 0;
    int tankCount = 0;
    int samplesForeach = 0;
    int destroy = 0;
    std::uint32_t samplesAfter = 0;
    IndexFaults gasmix;
    IndexFaults tank;
};

inline constexpr std::size_t kSampleRecordSize = 24;

// The bytes keep sample times in seconds; release 0.9 delivers milliseconds, so there a time
// above 4294967 s does not fit the 32-bit sample and is a format error.
#ifdef DCSIM_RELEASE_0_9
inline constexpr std::uint32_t kSampleTimeScale = 1000;
#else
inline constexpr std::uint32_t kSampleTimeScale = 1;
#endif
inline constexpr std::uint32_t kLastSampleTime = UINT32_MAX / kSampleTimeScale;
// Sample kinds up to DC_SAMPLE_GASMIX exist in the emulated release.
inline constexpr std::uint32_t kLastSampleType = DC_SAMPLE_GASMIX;

// Builds the bytes of one dive: the summary first, then the samples one by one.
class DiveEncoder {
  public:
    DiveEncoder(const DiveSummary &summary, const DiveFaults &faults);

    // Throws FormatError for a time above kLastSampleTime.
    void addTime(std::uint32_t seconds);
    void addDepth(double metres);
    void addPressure(std::uint32_t tank, double bar);
    void addTemperature(double celsius);
    void addEvent(std::uint32_t type, std::uint32_t time, std::uint32_t flags, std::uint32_t value);
    void addRbt(std::uint32_t minutes);
    void addHeartbeat(std::uint32_t beats);
    void addBearing(std::uint32_t degrees);
    void addSetpoint(double bar);
    void addPpo2(std::uint32_t sensor, double bar);
    void addCns(double fraction);
    // Throws FormatError for a type above kLastDecoType. time and tts are in seconds.
    void addDeco(std::uint32_t type, std::uint32_t time, double depth, std::uint32_t tts);
    void addGasmix(std::uint32_t index);
    // Any other sample kind, delivered with a zeroed value.
    void addOther(std::uint32_t sampleType);
    void reserveSamples(std::size_t count);

    Bytes finish();

  private:
    void addRecord(std::uint32_t tag, const unsigned char (&payload)[kSampleRecordSize - 4]);
    void addNumber(std::uint32_t tag, std::uint32_t number);
    void addReal(std::uint32_t tag, double real);
    // A number (a tank, a sensor) and its value, as a pressure or ppO2 sample carries them.
    void addNumberAndReal(std::uint32_t tag, std::uint32_t number, double real);

    Bytes bytes_;
    std::size_t sampleCountOffset_ = 0;
    std::uint32_t sampleCount_ = 0;
};

struct DecodedDive {
    DiveSummary summary;
    DiveFaults faults;
    const unsigned char *samples = nullptr;  // points into the decoded buffer
    std::uint32_t sampleCount = 0;
};

// What identifies a dive, taken from its header as dive computers take it: the start date and time
// as encoded, the year in two bytes (little endian), then month, day, hour, minute and second in
// one byte each; zeros for a dive without a date.
inline constexpr std::size_t kFingerprintSize = 7;
using Fingerprint = std::array<unsigned char, kFingerprintSize>;

// bytes are those of a DiveEncoder.
Fingerprint fingerprintOf(const Bytes &bytes);

// Throws FormatError for anything malformed or truncated.
DecodedDive decodeDive(const unsigned char *data, std::size_t size);

// The sample kind and value of record index of a decoded dive.
void decodeSample(const DecodedDive &dive, std::uint32_t index, dc_sample_type_t &type,
                  dc_sample_value_t &value);

}  // namespace dcsim

#endif
