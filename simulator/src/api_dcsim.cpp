// SPDX-License-Identifier: MIT
// C API: the simulator's own hooks for tests and tools.
#include "dive_json.h"
#include "handles.h"
#include "status_error.h"
#include "stream_hook.h"
#include "trace.h"

#include <dcsim/dcsim.h>

#include <cstdlib>
#include <cstring>

using namespace dcsim;

extern "C" {

void dcsim_trace_start(void) {
    try {
        startTrace();
    } catch (...) {
        // A trace that cannot be started stays off.
    }
}

void dcsim_trace_stop(void) {
    stopTrace();
}

size_t dcsim_trace_copy(char *buffer, size_t size) {
    try {
        return copyTrace(buffer, size);
    } catch (...) {
        return 0;
    }
}

void dcsim_set_stream_hook(void (*hook)(void *userdata), void *userdata) {
    setStreamHook(hook, userdata);
}

unsigned int dcsim_live_handles(void) {
    return liveHandleCount();
}

int dcsim_encode_dive(const char *json, unsigned char **bytes, unsigned int *size) {
    return answerStatus([&] {
        if (json == nullptr || bytes == nullptr || size == nullptr) {
            return DC_STATUS_INVALIDARGS;
        }
        *bytes = nullptr;
        *size = 0;
        Bytes encoded;
        try {
            encoded = encodeDive(Json::parse(json), "dive");
        } catch (const FormatError &) {
            return DC_STATUS_DATAFORMAT;
        } catch (const Json::exception &) {
            return DC_STATUS_DATAFORMAT;
        }
        // malloc, so that C callers can release the bytes without the simulator's allocator.
        auto *copy =
            static_cast<unsigned char *>(std::malloc(encoded.empty() ? 1 : encoded.size()));
        if (copy == nullptr) {
            return DC_STATUS_NOMEMORY;
        }
        std::memcpy(copy, encoded.data(), encoded.size());
        *bytes = copy;
        *size = static_cast<unsigned int>(encoded.size());
        return DC_STATUS_SUCCESS;
    });
}

void dcsim_free(void *pointer) {
    std::free(pointer);
}

}  // extern "C"
