// SPDX-License-Identifier: MIT
// C API: contexts: a checked handle that keeps its log.
#include "api_checks.h"
#include "trace.h"

#include <libdivecomputer/context.h>

using namespace dcsim;

extern "C" {

dc_status_t dc_context_new(dc_context_t **context) {
    const dc_status_t status = answerStatus([&] {
        if (!clearResult(context)) {
            return DC_STATUS_INVALIDARGS;
        }
        *context = publishHandle(std::make_unique<dc_context_t>());
        return DC_STATUS_SUCCESS;
    });
    return traceStatus("dc_context_new", status);
}

dc_status_t dc_context_free(dc_context_t *context) {
    return traceStatus("dc_context_free", releaseHandle(context));
}

dc_status_t dc_context_set_loglevel(dc_context_t *context, dc_loglevel_t loglevel) {
    const dc_status_t status = onLive(context, [&](dc_context_t &live) {
        if (loglevel < DC_LOGLEVEL_NONE || loglevel > DC_LOGLEVEL_ALL) {
            return DC_STATUS_INVALIDARGS;
        }
        live.log.level = loglevel;
        return DC_STATUS_SUCCESS;
    });
    return traceStatus("dc_context_set_loglevel", status);
}

dc_status_t dc_context_set_logfunc(dc_context_t *context, dc_logfunc_t logfunc, void *userdata) {
    const dc_status_t status = onLive(context, [&](dc_context_t &live) {
        live.log.function = logfunc;
        live.log.userdata = userdata;
        return DC_STATUS_SUCCESS;
    });
    return traceStatus("dc_context_set_logfunc", status);
}

}  // extern "C"
