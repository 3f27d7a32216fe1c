// SPDX-License-Identifier: MIT
// The one walk over libdivecomputer's descriptors, shared by the listing and the selection; each
// caller decides what a failure of the walk means to it.
#pragma once

#include "base/libdivecomputer_handles.h"

#include <utility>

namespace divebridge {

// Where a walk ended: its visitor stopped it, the list ended, or libdivecomputer failed with
// `status` creating the iterator or handing out the next descriptor.
struct DescriptorWalk {
    enum class End { Stopped, Done, CreationFailed, NextFailed };
    End end;
    dc_status_t status;
};

// Hands each descriptor, in libdivecomputer's order, to `visit`, which owns it from then on and
// answers whether to go on.
template <typename Visit>
DescriptorWalk walkDescriptors(Visit &&visit) {
    dc_iterator_t *rawIterator = nullptr;
    const dc_status_t created = dc_descriptor_iterator(&rawIterator);
    if (created != DC_STATUS_SUCCESS) {
        return {DescriptorWalk::End::CreationFailed, created};
    }
    const IteratorHandle iterator(rawIterator);
    for (;;) {
        dc_descriptor_t *rawDescriptor = nullptr;
        const dc_status_t next = dc_iterator_next(iterator.get(), &rawDescriptor);
        if (next == DC_STATUS_DONE) {
            return {DescriptorWalk::End::Done, next};
        }
        if (next != DC_STATUS_SUCCESS) {
            return {DescriptorWalk::End::NextFailed, next};
        }
        if (!visit(DescriptorHandle(rawDescriptor))) {
            return {DescriptorWalk::End::Stopped, DC_STATUS_SUCCESS};
        }
    }
}

}  // namespace divebridge
