// SPDX-License-Identifier: MIT
#include "parse/dive_parsing.h"

#include "base/native_exception.h"
#include "parse/dive_fields.h"
#include "parse/parser_adapter.h"
#include "parse/sample_collection.h"

namespace divebridge {
namespace {

// Asks one field; answers whether the library supplied it. UNSUPPORTED is tolerated, every other
// failure raises `message`.
bool readField(dc_parser_t *parser, dc_field_type_t type, unsigned int index, void *value,
               const char *message) {
    const dc_status_t status = dc_parser_get_field(parser, type, index, value);
    if (status == DC_STATUS_SUCCESS) {
        return true;
    }
    if (status == DC_STATUS_UNSUPPORTED) {
        return false;
    }
    throw Exception(status, message);
}

unsigned int readCount(dc_parser_t *parser, dc_field_type_t type, const char *message) {
    unsigned int count = 0;
    if (!readField(parser, type, 0, &count, message)) {
        return 0;
    }
    return count;
}

// Entries whose read is unsupported are left out and the list closes up; their indices are kept
// in `unread`.
template <typename Entry>
std::vector<Entry> readList(dc_parser_t *parser, dc_field_type_t type, unsigned int count,
                            const char *message, std::vector<std::uint32_t> &unread) {
    std::vector<Entry> entries;
    for (unsigned int index = 0; index < count; ++index) {
        Entry entry{};
        if (readField(parser, type, index, &entry, message)) {
            entries.push_back(entry);
        } else {
            unread.push_back(index);
        }
    }
    return entries;
}

unsigned int readGasMixCount(dc_parser_t *parser) {
    return readCount(parser, DC_FIELD_GASMIX_COUNT, "Error parsing the gas mix count.");
}

std::vector<dc_gasmix_t> readGasMixes(dc_parser_t *parser, unsigned int count,
                                      std::vector<std::uint32_t> &unread) {
    return readList<dc_gasmix_t>(parser, DC_FIELD_GASMIX, count, "Error parsing the gas mix.",
                                 unread);
}

unsigned int readTankCount(dc_parser_t *parser) {
    return readCount(parser, DC_FIELD_TANK_COUNT, "Error parsing the tank count.");
}

std::vector<dc_tank_t> readTanks(dc_parser_t *parser, unsigned int count,
                                 std::vector<std::uint32_t> &unread) {
    return readList<dc_tank_t>(parser, DC_FIELD_TANK, count, "Error parsing the tank.", unread);
}

OptionalDouble readOptionalDouble(dc_parser_t *parser, dc_field_type_t type, const char *message) {
    double value = 0.0;
    if (!readField(parser, type, 0, &value, message)) {
        return std::nullopt;
    }
    return value;
}

OptionalDouble readAverageDepth(dc_parser_t *parser) {
    return readOptionalDouble(parser, DC_FIELD_AVGDEPTH, "Error parsing the avgdepth.");
}

OptionalDouble readMinimumTemperature(dc_parser_t *parser) {
    return readOptionalDouble(parser, DC_FIELD_TEMPERATURE_MINIMUM,
                              "Error parsing the temperature.");
}

dc_datetime_t readDateTime(dc_parser_t *parser) {
    dc_datetime_t dateTime{};
    const dc_status_t status = dc_parser_get_datetime(parser, &dateTime);
    if (status == DC_STATUS_UNSUPPORTED) {
        return dc_datetime_t{};
    }
    if (status != DC_STATUS_SUCCESS) {
        throw Exception(status, "Error parsing the datetime.");
    }
    return dateTime;
}

double readDiveTime(dc_parser_t *parser) {
    unsigned int seconds = 0;
    if (!readField(parser, DC_FIELD_DIVETIME, 0, &seconds, "Error parsing the divetime.")) {
        return 0.0;
    }
    return static_cast<double>(seconds);  // unsigned: 2^31 and above stay positive
}

double readMaxDepth(dc_parser_t *parser) {
    double depth = 0.0;
    if (!readField(parser, DC_FIELD_MAXDEPTH, 0, &depth, "Error parsing the maxdepth.")) {
        return 0.0;
    }
    return depth;
}

}  // namespace

DiveParser::DiveParser(dc_device_t *device, const unsigned char *data, unsigned int size) {
    dc_parser_t *handle = nullptr;
    const ParserCreation created = createParser(&handle, device, data, size);
    parser.reset(handle);
    if (created.status != DC_STATUS_SUCCESS) {
        throw Exception(created.status, created.step == ParserStep::Data
                                            ? "Error registering the data."
                                            : "Error creating the parser.");
    }
}

DiveRecord parseDive(const DiveParser &parser, const DetailKinds &details) {
    dc_parser_t *handle = parser.handle();
    DiveRecord record;
    const unsigned int gasMixCount = readGasMixCount(handle);
    record.gasMixes = readGasMixes(handle, gasMixCount, record.unreadGasMixes);
    const unsigned int tankCount = readTankCount(handle);
    record.tanks = readTanks(handle, tankCount, record.unreadTanks);
    record.averageDepth = readAverageDepth(handle);
    record.minimumTemperature = readMinimumTemperature(handle);
    record.dateTime = readDateTime(handle);
    record.diveTime = readDiveTime(handle);
    record.maxDepth = readMaxDepth(handle);
    if (details.anyFromSamples()) {
        DetailCollector collector(details);
        record.profile = readProfile(handle, &collector);
        record.details = collector.finish(record.profile.rowCount);
    } else {
        record.profile = readProfile(handle);
    }
    if (details.fields) {
        record.details.fields = readDiveFields(handle);
    }
    return record;
}

DiveRecord parseDiveData(dc_device_t *device, const unsigned char *data, unsigned int size,
                         const DetailKinds &details) {
    const DiveParser parser(device, data, size);
    return parseDive(parser, details);
}

}  // namespace divebridge
