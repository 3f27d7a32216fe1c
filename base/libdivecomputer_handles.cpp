// SPDX-License-Identifier: MIT
#include "base/libdivecomputer_handles.h"

#include "base/console.h"

#include <cinttypes>
#include <cstdint>

namespace divebridge {

void DeviceClose::operator()(dc_device_t *device) const {
    const dc_status_t status = dc_device_close(device);
    if (status != DC_STATUS_SUCCESS) {
        printConsoleLine("Error closing the device (%" PRId64 ").\n",
                         static_cast<std::int64_t>(status));
    }
}

void ParserDestroy::operator()(dc_parser_t *parser) const {
    const dc_status_t status = dc_parser_destroy(parser);
    if (status != DC_STATUS_SUCCESS) {
        printConsoleLine("Error destroying the parser (%" PRId64 ").\n",
                         static_cast<std::int64_t>(status));
    }
}

}  // namespace divebridge
