// C API: the descriptor iterator and the descriptors it hands out.
#include "handles.h"
#include "status_error.h"
#include "trace.h"

#include <libdivecomputer/descriptor.h>
#include <libdivecomputer/iterator.h>

using namespace dcsim;

extern "C" {

dc_status_t dc_descriptor_iterator(dc_iterator_t **iterator) {
    const dc_status_t status = answerStatus([&] {
        if (iterator == nullptr) {
            return DC_STATUS_INVALIDARGS;
        }
        *iterator = nullptr;
        Catalogue catalogue = loadCatalogue();
        if (catalogue.faults.iterator != 0) {
            return static_cast<dc_status_t>(catalogue.faults.iterator);
        }
        *iterator = publishHandle(std::make_unique<dc_iterator_t>(
            dc_iterator_t{DescriptorIterator(std::move(catalogue))}));
        return DC_STATUS_SUCCESS;
    });
    return traceStatus("dc_descriptor_iterator", status);
}

dc_status_t dc_iterator_next(dc_iterator_t *iterator, void *item) {
    const dc_status_t status = answerStatus([&] {
        if (iterator == nullptr) {
            return DC_STATUS_UNSUPPORTED;
        }
        if (!isLive(iterator) || item == nullptr) {
            return DC_STATUS_INVALIDARGS;
        }
        auto *out = static_cast<dc_descriptor_t **>(item);
        *out = nullptr;
        DescriptorInfo descriptor;
        const dc_status_t next = iterator->iterator.next(descriptor);
        if (next == DC_STATUS_SUCCESS) {
            *out = publishHandle(std::make_unique<dc_descriptor_t>(dc_descriptor_t{descriptor}));
        }
        return next;
    });
    return traceStatus("dc_iterator_next", status);
}

dc_status_t dc_iterator_free(dc_iterator_t *iterator) {
    const dc_status_t status = answerStatus([&] {
        if (iterator == nullptr) {
            return DC_STATUS_SUCCESS;
        }
        return reclaimHandle(iterator) ? DC_STATUS_SUCCESS : DC_STATUS_INVALIDARGS;
    });
    return traceStatus("dc_iterator_free", status);
}

void dc_descriptor_free(dc_descriptor_t *descriptor) {
    try {
        reclaimHandle(descriptor);
    } catch (...) {
        // Releasing never fails in a way the caller could act on.
    }
    traceCall("dc_descriptor_free");
}

const char *dc_descriptor_get_vendor(dc_descriptor_t *descriptor) {
    traceCall("dc_descriptor_get_vendor");
    return isLive(descriptor) ? descriptor->info.vendor.c_str() : nullptr;
}

const char *dc_descriptor_get_product(dc_descriptor_t *descriptor) {
    traceCall("dc_descriptor_get_product");
    return isLive(descriptor) ? descriptor->info.product.c_str() : nullptr;
}

dc_family_t dc_descriptor_get_type(dc_descriptor_t *descriptor) {
    traceCall("dc_descriptor_get_type");
    static_cast<void>(descriptor);
    return DC_FAMILY_NULL;
}

unsigned int dc_descriptor_get_model(dc_descriptor_t *descriptor) {
    traceCall("dc_descriptor_get_model");
    return isLive(descriptor) ? descriptor->info.model : 0;
}

dc_transport_t dc_descriptor_get_transport(dc_descriptor_t *descriptor) {
    traceCall("dc_descriptor_get_transport");
    return isLive(descriptor) ? static_cast<dc_transport_t>(descriptor->info.transport)
                              : DC_TRANSPORT_NONE;
}

}  // extern "C"
