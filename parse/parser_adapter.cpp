// SPDX-License-Identifier: MIT
#include "parse/parser_adapter.h"

namespace divebridge {

ParserCreation createParser(dc_parser_t **parser, dc_device_t *device, const unsigned char *data,
                            unsigned int size) {
#if DC_VERSION_CHECK(0, 9, 0)
    const dc_status_t status = dc_parser_new(parser, device, data, size);
    // The bytes are checked while the parser is created: a format failure is the data's.
    const ParserStep step =
        status == DC_STATUS_DATAFORMAT ? ParserStep::Data : ParserStep::Creation;
    return {status, step};
#else
    const dc_status_t created = dc_parser_new(parser, device);
    if (created != DC_STATUS_SUCCESS) {
        return {created, ParserStep::Creation};
    }
    return {dc_parser_set_data(*parser, data, size), ParserStep::Data};
#endif
}

}  // namespace divebridge
