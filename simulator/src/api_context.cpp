// C API: contexts: a checked handle that keeps its log.
#include "handles.h"
#include "status_error.h"
#include "trace.h"

#include <libdivecomputer/context.h>

using namespace dcsim;

extern "C" {

dc_status_t dc_context_new(dc_context_t **context) {
    const dc_status_t status = answerStatus([&] {
        if (context == nullptr) {
            return DC_STATUS_INVALIDARGS;
        }
        *context = nullptr;
        *context = publishHandle(std::make_unique<dc_context_t>());
        return DC_STATUS_SUCCESS;
    });
    return traceStatus("dc_context_new", status);
}

dc_status_t dc_context_free(dc_context_t *context) {
    const dc_status_t status = answerStatus([&] {
        if (context == nullptr) {
            return DC_STATUS_SUCCESS;
        }
        return reclaimHandle(context) ? DC_STATUS_SUCCESS : DC_STATUS_INVALIDARGS;
    });
    return traceStatus("dc_context_free", status);
}

dc_status_t dc_context_set_loglevel(dc_context_t *context, dc_loglevel_t loglevel) {
    const dc_status_t status = answerStatus([&] {
        if (!isLive(context) || loglevel < DC_LOGLEVEL_NONE || loglevel > DC_LOGLEVEL_ALL) {
            return DC_STATUS_INVALIDARGS;
        }
        context->log.level = loglevel;
        return DC_STATUS_SUCCESS;
    });
    return traceStatus("dc_context_set_loglevel", status);
}

dc_status_t dc_context_set_logfunc(dc_context_t *context, dc_logfunc_t logfunc, void *userdata) {
    const dc_status_t status = answerStatus([&] {
        if (!isLive(context)) {
            return DC_STATUS_INVALIDARGS;
        }
        context->log.function = logfunc;
        context->log.userdata = userdata;
        return DC_STATUS_SUCCESS;
    });
    return traceStatus("dc_context_set_logfunc", status);
}

}  // extern "C"
