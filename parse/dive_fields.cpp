// SPDX-License-Identifier: MIT
#include "parse/dive_fields.h"

#include <libdivecomputer/version.h>

namespace divebridge {
namespace {

template <typename Value>
bool readField(dc_parser_t *parser, dc_field_type_t type, Value &value) {
    return dc_parser_get_field(parser, type, 0, &value) == DC_STATUS_SUCCESS;
}

void readDiveMode(dc_parser_t *parser, std::vector<DiveField> &fields) {
    dc_divemode_t mode{};
    if (readField(parser, DC_FIELD_DIVEMODE, mode)) {
        fields.push_back({"divemode", static_cast<double>(mode)});
    }
}

void readSalinity(dc_parser_t *parser, std::vector<DiveField> &fields) {
    dc_salinity_t salinity{};
    if (readField(parser, DC_FIELD_SALINITY, salinity)) {
        fields.push_back({"salinity.type", static_cast<double>(salinity.type)});
        fields.push_back({"salinity.density", salinity.density});
    }
}

void readDouble(dc_parser_t *parser, dc_field_type_t type, const char *name,
                std::vector<DiveField> &fields) {
    double value = 0;
    if (readField(parser, type, value)) {
        fields.push_back({name, value});
    }
}

#if DC_VERSION_CHECK(0, 7, 0)
void readDecompressionModel(dc_parser_t *parser, std::vector<DiveField> &fields) {
    dc_decomodel_t model{};
    if (!readField(parser, DC_FIELD_DECOMODEL, model)) {
        return;
    }
    fields.push_back({"decomodel.type", static_cast<double>(model.type)});
    fields.push_back({"decomodel.conservatism", static_cast<double>(model.conservatism)});
    // The gradient factors are the parameters of Bühlmann's model alone.
    if (model.type == DC_DECOMODEL_BUHLMANN) {
        fields.push_back({"decomodel.gf.low", static_cast<double>(model.params.gf.low)});
        fields.push_back({"decomodel.gf.high", static_cast<double>(model.params.gf.high)});
    }
}

void readLocation(dc_parser_t *parser, std::vector<DiveField> &fields) {
    dc_location_t location{};
    if (readField(parser, DC_FIELD_LOCATION, location)) {
        fields.push_back({"location.latitude", location.latitude});
        fields.push_back({"location.longitude", location.longitude});
        fields.push_back({"location.altitude", location.altitude});
    }
}
#endif

}  // namespace

std::vector<DiveField> readDiveFields(dc_parser_t *parser) {
    std::vector<DiveField> fields;
    readDiveMode(parser, fields);
    readSalinity(parser, fields);
    readDouble(parser, DC_FIELD_ATMOSPHERIC, "atmospheric", fields);
    readDouble(parser, DC_FIELD_TEMPERATURE_SURFACE, "temperature.surface", fields);
    readDouble(parser, DC_FIELD_TEMPERATURE_MAXIMUM, "temperature.maximum", fields);
#if DC_VERSION_CHECK(0, 7, 0)
    readDecompressionModel(parser, fields);
    readLocation(parser, fields);
#endif
    return fields;
}

}  // namespace divebridge
