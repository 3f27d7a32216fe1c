// SPDX-License-Identifier: MIT
// C API: parsers, created on a device for one dive's bytes (given with dc_parser_set_data up to
// release 0.8, to dc_parser_new from 0.9 on).
#include "api_checks.h"
#include "trace.h"

#include <libdivecomputer/parser.h>

#include <cstdio>
#include <cstring>

using namespace dcsim;

namespace {

template <typename Body>
dc_status_t onParser(dc_parser_t *parser, Body &&body) noexcept {
    return onLive(parser, [&](dc_parser_t &live) { return body(live.parser); });
}

// The checks every parser creation starts with: the arguments, then the dive's parser_new fault.
dc_status_t checkParserRequest(dc_parser_t **parser, dc_device_t *device) {
    if (!clearResult(parser) || !isLive(device)) {
        return DC_STATUS_INVALIDARGS;
    }
    return static_cast<dc_status_t>(device->device.parserNewFault());
}

dc_status_t destroyParser(dc_parser_t &owned) {
    return owned.parser.destroyStatus();
}

// A C caller may pass any number as the field: read it as a number, not as the enumeration.
unsigned int fieldNumber(const dc_field_type_t &type) {
    unsigned int number;
    static_assert(sizeof number == sizeof type, "dc_field_type_t is an int");
    std::memcpy(&number, &type, sizeof number);
    return number;
}

const char *fieldName(unsigned int field) {
    switch (field) {
        case DC_FIELD_DIVETIME:
            return "DC_FIELD_DIVETIME";
        case DC_FIELD_MAXDEPTH:
            return "DC_FIELD_MAXDEPTH";
        case DC_FIELD_AVGDEPTH:
            return "DC_FIELD_AVGDEPTH";
        case DC_FIELD_GASMIX_COUNT:
            return "DC_FIELD_GASMIX_COUNT";
        case DC_FIELD_GASMIX:
            return "DC_FIELD_GASMIX";
        case DC_FIELD_SALINITY:
            return "DC_FIELD_SALINITY";
        case DC_FIELD_ATMOSPHERIC:
            return "DC_FIELD_ATMOSPHERIC";
        case DC_FIELD_TEMPERATURE_SURFACE:
            return "DC_FIELD_TEMPERATURE_SURFACE";
        case DC_FIELD_TEMPERATURE_MINIMUM:
            return "DC_FIELD_TEMPERATURE_MINIMUM";
        case DC_FIELD_TEMPERATURE_MAXIMUM:
            return "DC_FIELD_TEMPERATURE_MAXIMUM";
        case DC_FIELD_TANK_COUNT:
            return "DC_FIELD_TANK_COUNT";
        case DC_FIELD_TANK:
            return "DC_FIELD_TANK";
        case DC_FIELD_DIVEMODE:
            return "DC_FIELD_DIVEMODE";
#ifdef DCSIM_GENERATION_B
        case DC_FIELD_DECOMODEL:
            return "DC_FIELD_DECOMODEL";
        case DC_FIELD_LOCATION:
            return "DC_FIELD_LOCATION";
#endif
    }
    return nullptr;
}

}  // namespace

extern "C" {

#ifdef DCSIM_RELEASE_0_9
// The dive's parser_new fault comes first, then the bytes are checked as a whole.
dc_status_t dc_parser_new(dc_parser_t **parser, dc_device_t *device, const unsigned char data[],
                          size_t size) {
    const dc_status_t status = answerStatus([&] {
        if (const dc_status_t refused = checkParserRequest(parser, device)) {
            return refused;
        }
        auto created = std::make_unique<dc_parser_t>();
        const dc_status_t decoded = created->parser.setData(data, size);
        if (decoded == DC_STATUS_SUCCESS) {
            *parser = publishHandle(std::move(created));
        }
        return decoded;
    });
    char args[32];
    std::snprintf(args, sizeof args, "%zu", size);
    return traceStatus("dc_parser_new", args, status);
}
#else
dc_status_t dc_parser_new(dc_parser_t **parser, dc_device_t *device) {
    const dc_status_t status = answerStatus([&] {
        if (const dc_status_t refused = checkParserRequest(parser, device)) {
            return refused;
        }
        *parser = publishHandle(std::make_unique<dc_parser_t>());
        return DC_STATUS_SUCCESS;
    });
    return traceStatus("dc_parser_new", status);
}

dc_status_t dc_parser_set_data(dc_parser_t *parser, const unsigned char *data, unsigned int size) {
    const dc_status_t status = onParser(parser, [&](Parser &p) { return p.setData(data, size); });
    char args[16];
    std::snprintf(args, sizeof args, "%u", size);
    return traceStatus("dc_parser_set_data", args, status);
}
#endif

dc_status_t dc_parser_get_datetime(dc_parser_t *parser, dc_datetime_t *datetime) {
    const dc_status_t status = onParser(parser, [&](Parser &p) { return p.datetime(datetime); });
    return traceStatus("dc_parser_get_datetime", status);
}

dc_status_t dc_parser_get_field(dc_parser_t *parser, dc_field_type_t type, unsigned int flags,
                                void *value) {
    const unsigned int field = fieldNumber(type);
    const dc_status_t status =
        onParser(parser, [&](Parser &p) { return p.field(field, flags, value); });
    if (!traceEnabled()) {
        return status;  // a dive reads many fields: format their trace arguments only when asked
    }
    char args[64];
    if (const char *name = fieldName(field)) {
        std::snprintf(args, sizeof args, "%s %u", name, flags);
    } else {
        std::snprintf(args, sizeof args, "%u %u", field, flags);
    }
    return traceStatus("dc_parser_get_field", args, status);
}

dc_status_t dc_parser_samples_foreach(dc_parser_t *parser, dc_sample_callback_t callback,
                                      void *userdata) {
    const dc_status_t status =
        onParser(parser, [&](Parser &p) { return p.samplesForeach(callback, userdata); });
    return traceStatus("dc_parser_samples_foreach", status);
}

dc_status_t dc_parser_destroy(dc_parser_t *parser) {
    return traceStatus("dc_parser_destroy", releaseHandle(parser, destroyParser));
}

}  // extern "C"
