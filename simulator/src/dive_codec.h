// SPDX-License-Identifier: MIT
// The bytes of one simulated dive: what the device hands to the dive callback and what the
// simulated parser reads. Little endian throughout:
//
//   header      magic "DSIM", version, presence bits, datetime (7 x i32), divetime, maxdepth,
//               avgdepth, temperature_minimum, gasmix and tank counts as reported, the lengths of
//               the four lists below, ten fault statuses, samples_after, the sample count
//   gasmixes    helium, oxygen, nitrogen (3 x f64)
//   tanks       gasmix, volume type (2 x u32), volume, work, begin and end pressure (4 x f64)
//   faults      per gas mix, then per tank: index (u32), status (i32)
//   samples     fixed 20-byte records: a tag (u32) and 16 bytes of payload
//
// decodeDive checks a buffer once (bounds, counts, tags, sample times, no trailing bytes);
// afterwards the sample records are walked without further checks.
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

struct DiveSummary {
    std::optional<dc_datetime_t> datetime;
    std::optional<std::uint32_t> divetime;
    std::optional<double> maxdepth;
    std::optional<double> avgdepth;
    std::optional<double> temperatureMinimum;
    std::uint32_t gasmixCount = 0;
    std::uint32_t tankCount = 0;
    std::vector<dc_gasmix_t> gasmixes;
    std::vector<dc_tank_t> tanks;
};

// Statuses the simulated parser answers instead of doing its work; 0 is no fault.
struct DiveFaults {
    int setData = 0;
    int datetime = 0;
    int divetime = 0;
    int maxdepth = 0;
    int avgdepth = 0;
    int temperatureMinimum = 0;
    int gasmixCount = 0;
    int tankCount = 0;
    int samplesForeach = 0;
    int destroy = 0;
    std::uint32_t samplesAfter = 0;
    IndexFaults gasmix;
    IndexFaults tank;
};

inline constexpr std::size_t kSampleRecordSize = 20;

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
    // Any other sample kind, delivered with a zeroed value.
    void addOther(std::uint32_t sampleType);
    void reserveSamples(std::size_t count);

    Bytes finish();

  private:
    void addRecord(std::uint32_t tag, const unsigned char (&payload)[16]);

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
