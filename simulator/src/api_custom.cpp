// SPDX-License-Identifier: MIT
// C API (generation B): streams whose transport the application supplies through callbacks.
#include "api_checks.h"
#include "custom_stream.h"
#include "trace.h"

#include <libdivecomputer/custom.h>

#include <cstdio>

using namespace dcsim;

extern "C" {

// The context is optional, as in libdivecomputer; any transport is taken as given.
dc_status_t dc_custom_open(dc_iostream_t **iostream, dc_context_t *context,
                           dc_transport_t transport, const dc_custom_cbs_t *callbacks,
                           void *userdata) {
    const dc_status_t status = answerStatus([&] {
        if (!clearResult(iostream) || !isAbsentOrLive(context) || callbacks == nullptr) {
            return DC_STATUS_INVALIDARGS;
        }
        *iostream = publishHandle(std::make_unique<dc_iostream_t>(
            dc_iostream_t{std::make_shared<CustomStream>(transport, callbacks, userdata)}));
        return DC_STATUS_SUCCESS;
    });
    char args[16];
    std::snprintf(args, sizeof args, "%u", static_cast<unsigned int>(transport));
    return traceStatus("dc_custom_open", args, status);
}

}  // extern "C"
