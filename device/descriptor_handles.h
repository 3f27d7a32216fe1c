// Owning handles for libdivecomputer's context, descriptor iterator and descriptors: each is
// released exactly once, when its owner goes.
#pragma once

#include <libdivecomputer/context.h>
#include <libdivecomputer/descriptor.h>
#include <libdivecomputer/iterator.h>

#include <memory>

namespace divebridge {

struct ContextFree {
    void operator()(dc_context_t *context) const { dc_context_free(context); }
};
struct IteratorFree {
    void operator()(dc_iterator_t *iterator) const { dc_iterator_free(iterator); }
};
struct DescriptorFree {
    void operator()(dc_descriptor_t *descriptor) const { dc_descriptor_free(descriptor); }
};

using ContextHandle = std::unique_ptr<dc_context_t, ContextFree>;
using IteratorHandle = std::unique_ptr<dc_iterator_t, IteratorFree>;
using DescriptorHandle = std::unique_ptr<dc_descriptor_t, DescriptorFree>;

}  // namespace divebridge
