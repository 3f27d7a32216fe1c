// SPDX-License-Identifier: MIT
// C API: the descriptor iterator, the generic dc_iterator_* calls, and the descriptors.
#include "api_checks.h"
#include "trace.h"

#include <libdivecomputer/descriptor.h>
#include <libdivecomputer/iterator.h>

#include <cstdio>

using namespace dcsim;

namespace {

// Release 0.9's getters take a const descriptor, and its iterator a context.
#ifdef DCSIM_RELEASE_0_9
using DescriptorArg = const dc_descriptor_t *;
constexpr const char *kIteratorNew = "dc_descriptor_iterator_new";
#else
using DescriptorArg = dc_descriptor_t *;
constexpr const char *kIteratorNew = "dc_descriptor_iterator";
#endif

using DescriptorHandles = PublishingIterator<dc_descriptor_t, DescriptorIterator>;

// The context is optional, as in libdivecomputer (before 0.9 there is none).
dc_status_t newDescriptorIterator(dc_iterator_t **iterator, dc_context_t *context) {
    if (!clearResult(iterator) || !isAbsentOrLive(context)) {
        return DC_STATUS_INVALIDARGS;
    }
    Catalogue catalogue = loadCatalogue();
    if (catalogue.faults.iterator != 0) {
        return static_cast<dc_status_t>(catalogue.faults.iterator);
    }
    *iterator = publishHandle<dc_iterator_t>(
        std::make_unique<DescriptorHandles>(DescriptorIterator(std::move(catalogue))));
    return DC_STATUS_SUCCESS;
}

}  // namespace

extern "C" {

#ifdef DCSIM_RELEASE_0_9
// The old name passes NULL.
dc_status_t dc_descriptor_iterator_new(dc_iterator_t **iterator, dc_context_t *context) {
    const dc_status_t status =
        answerStatus([&] { return newDescriptorIterator(iterator, context); });
    return traceStatus(kIteratorNew, status);
}
#else
dc_status_t dc_descriptor_iterator(dc_iterator_t **iterator) {
    const dc_status_t status =
        answerStatus([&] { return newDescriptorIterator(iterator, nullptr); });
    return traceStatus(kIteratorNew, status);
}
#endif

dc_status_t dc_iterator_next(dc_iterator_t *iterator, void *item) {
    const dc_status_t status = answerStatus([&] {
        if (iterator == nullptr) {
            return DC_STATUS_UNSUPPORTED;
        }
        if (!isLive(iterator) || item == nullptr) {
            return DC_STATUS_INVALIDARGS;
        }
        return iterator->next(item);
    });
    return traceStatus("dc_iterator_next", status);
}

dc_status_t dc_iterator_free(dc_iterator_t *iterator) {
    return traceStatus("dc_iterator_free", releaseHandle(iterator));
}

void dc_descriptor_free(dc_descriptor_t *descriptor) {
    discardHandle(descriptor);
    traceCall("dc_descriptor_free");
}

const char *dc_descriptor_get_vendor(DescriptorArg descriptor) {
    traceCall("dc_descriptor_get_vendor");
    return isLive(descriptor) ? descriptor->info.vendor.c_str() : nullptr;
}

const char *dc_descriptor_get_product(DescriptorArg descriptor) {
    traceCall("dc_descriptor_get_product");
    return isLive(descriptor) ? descriptor->info.product.c_str() : nullptr;
}

dc_family_t dc_descriptor_get_type(DescriptorArg descriptor) {
    traceCall("dc_descriptor_get_type");
    static_cast<void>(descriptor);
    return DC_FAMILY_NULL;
}

unsigned int dc_descriptor_get_model(DescriptorArg descriptor) {
    traceCall("dc_descriptor_get_model");
    return isLive(descriptor) ? descriptor->info.model : 0;
}

#ifdef DCSIM_GENERATION_B
unsigned int dc_descriptor_get_transports(DescriptorArg descriptor) {
    traceCall("dc_descriptor_get_transports");
    return isLive(descriptor) ? descriptor->info.transport : 0u;
}
#endif

#ifdef DCSIM_RELEASE_0_9
int dc_descriptor_filter(DescriptorArg descriptor, dc_transport_t transport, const void *userdata) {
    const char *name = static_cast<const char *>(userdata);
    const bool ble = transport == DC_TRANSPORT_BLE;
    int matches = 0;
    try {
        if (isLive(descriptor) && (descriptor->info.transport & transport) != 0) {
            matches = !ble || (name != nullptr && matchesBleName(descriptor->info.bleNaming, name));
        }
    } catch (...) {
        // Out of memory: no match.
    }
    char args[320];
    std::snprintf(args, sizeof args, "%u%s%.300s", static_cast<unsigned int>(transport),
                  ble ? " " : "",
                  !ble              ? ""
                  : name != nullptr ? name
                                    : "(null)");
    traceCall("dc_descriptor_filter", args);
    return matches;
}
#endif

#ifndef DCSIM_GENERATION_B
dc_transport_t dc_descriptor_get_transport(DescriptorArg descriptor) {
    traceCall("dc_descriptor_get_transport");
    return isLive(descriptor) ? static_cast<dc_transport_t>(descriptor->info.transport)
                              : DC_TRANSPORT_NONE;
}
#endif

}  // extern "C"
