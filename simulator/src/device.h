// A simulated dive computer: an opened image that plays its events, dives and faults back.
#ifndef DCSIM_DEVICE_H
#define DCSIM_DEVICE_H

#include "catalogue.h"
#include "image.h"
#include "stream.h"

#include <libdivecomputer/device.h>

#include <memory>

namespace dcsim {

// Accepts a loaded image for a device of the given descriptor. Throws StatusError: IO when the
// image emulates another model, or the image's open fault.
void acceptImage(const Image &image, const DescriptorInfo &descriptor);

class Device {
  public:
    // stream: the stream the device was opened on (generation B), or null.
    Device(std::shared_ptr<const Image> image, std::shared_ptr<const Stream> stream)
        : image_(std::move(image)), stream_(std::move(stream)) {}

    dc_status_t setEvents(unsigned int mask, dc_event_callback_t callback, void *userdata);
    dc_status_t setCancel(dc_cancel_callback_t callback, void *userdata);
    dc_status_t setFingerprint();
    // handle is what the event callback is given as its device. IO once the stream was closed.
    dc_status_t foreach (dc_device_t *handle, dc_dive_callback_t callback, void *userdata);
    // The close fault, or IO once the stream was closed.
    dc_status_t close();
    // The parser_new fault of the dive being delivered; 0 outside the dive callback.
    int parserNewFault() const { return delivering_ ? delivering_->parserNewFault : 0; }

  private:
    void emit(dc_device_t *handle, dc_event_type_t event, const void *data) const;
    void emitProgress(dc_device_t *handle, std::uint64_t current, std::uint32_t maximum) const;
    std::uint32_t progressMaximum() const;
    bool cancelRequested() const;
    // Sends the initial events; answers the maximum of the progress events.
    std::uint32_t announce(dc_device_t *handle) const;
    // Moves one dive's bytes in the image's transfer blocks, adding them to transferred; false
    // when the cancel callback stopped it.
    bool transferBlocks(dc_device_t *handle, const ImageDive &dive, std::uint64_t &transferred,
                        std::uint32_t maximum) const;
    bool deliver(const ImageDive &dive, dc_dive_callback_t callback, void *userdata);

    bool streamClosed() const { return stream_ != nullptr && stream_->closed(); }

    std::shared_ptr<const Image> image_;
    std::shared_ptr<const Stream> stream_;
    unsigned int eventMask_ = 0;
    dc_event_callback_t eventCallback_ = nullptr;
    void *eventUserdata_ = nullptr;
    dc_cancel_callback_t cancelCallback_ = nullptr;
    void *cancelUserdata_ = nullptr;
    const ImageDive *delivering_ = nullptr;
};

}  // namespace dcsim

#endif
