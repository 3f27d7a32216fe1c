// C API: contexts. The simulator keeps no per-context state; a context is only a checked handle.
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

}  // extern "C"
