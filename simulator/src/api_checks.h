// SPDX-License-Identifier: MIT
// The argument checks the C API's entry points share. What they refuse is a wrong argument
// (DC_STATUS_INVALIDARGS), as in libdivecomputer.
#ifndef DCSIM_API_CHECKS_H
#define DCSIM_API_CHECKS_H

#include "handles.h"
#include "status_error.h"

namespace dcsim {

// A call that creates a handle clears where it goes first, so that a failed call leaves none
// behind; false when the caller gave nowhere to put it.
template <typename Handle>
bool clearResult(Handle **result) {
    if (result == nullptr) {
        return false;
    }
    *result = nullptr;
    return true;
}

// Most calls take the context (and some a descriptor) as optional; one given must be live.
template <typename Handle>
bool isAbsentOrLive(const Handle *handle) {
    return handle == nullptr || isLive(handle);
}

// Runs a call on a live handle of its type; anything else is a wrong argument.
template <typename Handle, typename Body>
dc_status_t onLive(Handle *handle, Body &&body) noexcept {
    return answerStatus([&] { return isLive(handle) ? body(*handle) : DC_STATUS_INVALIDARGS; });
}

// A free or close call accepts NULL; a live handle is taken back, and close answers for it.
template <typename Handle, typename Close>
dc_status_t releaseHandle(Handle *handle, Close &&close) noexcept {
    return answerStatus([&] {
        if (handle == nullptr) {
            return DC_STATUS_SUCCESS;
        }
        const auto owned = reclaimHandle(handle);
        return owned ? close(*owned) : DC_STATUS_INVALIDARGS;
    });
}

template <typename Handle>
dc_status_t releaseHandle(Handle *handle) noexcept {
    return releaseHandle(handle, [](Handle &) { return DC_STATUS_SUCCESS; });
}

// A free call that answers nothing: what is not a live handle is left alone.
template <typename Handle>
void discardHandle(Handle *handle) noexcept {
    try {
        reclaimHandle(handle);
    } catch (...) {
        // Releasing never fails in a way the caller could act on.
    }
}

}  // namespace dcsim

#endif
