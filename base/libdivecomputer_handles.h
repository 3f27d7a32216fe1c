// SPDX-License-Identifier: MIT
// Owning handles for every libdivecomputer handle the bridge holds, declared once for the bridge,
// its tests and its benchmarks: each is released exactly once, by its owner's destructor. Releasing
// never throws; a close or a parser destroy that fails is written to the console, since nothing
// else can report it.
#pragma once

#include <libdivecomputer/context.h>
#include <libdivecomputer/descriptor.h>
#include <libdivecomputer/device.h>
#include <libdivecomputer/iterator.h>
#include <libdivecomputer/parser.h>
#include <libdivecomputer/version.h>
#if DC_VERSION_CHECK(0, 7, 0)
#include <libdivecomputer/iostream.h>
#endif

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
// "Error closing the device (status)." on failure.
struct DeviceClose {
    void operator()(dc_device_t *device) const;
};
// "Error destroying the parser (status)." on failure.
struct ParserDestroy {
    void operator()(dc_parser_t *parser) const;
};

using ContextHandle = std::unique_ptr<dc_context_t, ContextFree>;
using IteratorHandle = std::unique_ptr<dc_iterator_t, IteratorFree>;
using DescriptorHandle = std::unique_ptr<dc_descriptor_t, DescriptorFree>;
using DeviceHandle = std::unique_ptr<dc_device_t, DeviceClose>;
using ParserHandle = std::unique_ptr<dc_parser_t, ParserDestroy>;

#if DC_VERSION_CHECK(0, 7, 0)
// A transport stream is closed after the device opened on it.
struct StreamClose {
    void operator()(dc_iostream_t *stream) const { dc_iostream_close(stream); }
};
using StreamHandle = std::unique_ptr<dc_iostream_t, StreamClose>;
#endif

}  // namespace divebridge
