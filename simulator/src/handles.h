// SPDX-License-Identifier: MIT
// The opaque handle types of the C API and the process-wide register of live handles. Every
// handle the library hands out is registered, so a released, foreign or mistyped pointer is
// answered with DC_STATUS_INVALIDARGS instead of being dereferenced.
#ifndef DCSIM_HANDLES_H
#define DCSIM_HANDLES_H

#include "catalogue.h"
#include "context_log.h"
#include "device.h"
#include "parser.h"
#ifdef DCSIM_GENERATION_B
#include "stream.h"
#endif

#include <memory>
#include <string>
#include <typeinfo>

struct dc_context_t {
    dcsim::ContextLog log;
};

// Descriptor and USB iterators share the handle type: each hands out handles of its own kind.
struct dc_iterator_t {
    virtual ~dc_iterator_t() = default;
    // item is the address of the handle pointer to fill; DONE at the end.
    virtual dc_status_t next(void *item) = 0;
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

#ifdef DCSIM_GENERATION_B
struct dc_iostream_t {
    std::shared_ptr<dcsim::Stream> stream;
};
#endif

// A USB device is the path of the image plugged in as it.
struct dc_usb_device_t {
    std::string path;
};

struct dc_usbhid_device_t {
    std::string path;
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

// An iterator that publishes each value of source (a class with value_type and
// dc_status_t next(value_type &)) as a new Handle built from it.
template <typename Handle, typename Source>
class PublishingIterator final : public dc_iterator_t {
  public:
    explicit PublishingIterator(Source source) : source_(std::move(source)) {}

    dc_status_t next(void *item) override {
        auto *out = static_cast<Handle **>(item);
        *out = nullptr;
        typename Source::value_type value;
        const dc_status_t status = source_.next(value);
        if (status == DC_STATUS_SUCCESS) {
            *out = publishHandle(std::make_unique<Handle>(Handle{std::move(value)}));
        }
        return status;
    }

  private:
    Source source_;
};

}  // namespace dcsim

#endif
