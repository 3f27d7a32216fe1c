// The opaque handle types of the C API and the process-wide register of live handles. Every
// handle the library hands out is registered, so a released, foreign or mistyped pointer is
// answered with DC_STATUS_INVALIDARGS instead of being dereferenced.
#ifndef DCSIM_HANDLES_H
#define DCSIM_HANDLES_H

#include "catalogue.h"
#include "device.h"
#include "parser.h"

#include <memory>
#include <typeinfo>

struct dc_context_t {};

struct dc_iterator_t {
    dcsim::DescriptorIterator iterator;
};

struct dc_descriptor_t {
    dcsim::DescriptorInfo info;
};

struct dc_device_t {
    dcsim::Device device;
};

struct dc_parser_t {
    dcsim::Parser parser;
};

namespace dcsim {

void registerHandle(const void *handle, const std::type_info &type);
bool unregisterHandle(const void *handle, const std::type_info &type);
bool isRegistered(const void *handle, const std::type_info &type) noexcept;
unsigned int liveHandleCount() noexcept;

// Registers a new handle and gives up its ownership to the C caller.
template <typename Handle>
Handle *publishHandle(std::unique_ptr<Handle> handle) {
    registerHandle(handle.get(), typeid(Handle));
    return handle.release();
}

template <typename Handle>
bool isLive(const Handle *handle) {
    return handle != nullptr && isRegistered(handle, typeid(Handle));
}

// Takes a handle back from the C caller; empty when it is not a live handle of this type.
template <typename Handle>
std::unique_ptr<Handle> reclaimHandle(Handle *handle) {
    if (handle == nullptr || !unregisterHandle(handle, typeid(Handle))) {
        return nullptr;
    }
    return std::unique_ptr<Handle>(handle);
}

}  // namespace dcsim

#endif
