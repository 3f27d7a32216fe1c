// SPDX-License-Identifier: MIT
// A simulated dive computer: an image that plays its events, dives and faults back, either opened
// with the device or, on a custom stream, fetched from the peripheral at each download.
#ifndef DCSIM_DEVICE_H
#define DCSIM_DEVICE_H

#include "catalogue.h"
#include "context_log.h"
#include "image.h"
#include "image_fetcher.h"

#include <libdivecomputer/device.h>

#include <memory>
#include <optional>

namespace dcsim {

class Stream;

// Accepts a loaded image for a device of the given descriptor. Throws StatusError: IO when the
// image emulates another model, or the image's open fault.
void acceptImage(const Image &image, const DescriptorInfo &descriptor);

class Device {
  public:
    // A device on an image it was opened on. stream: the stream holding it (generation B), or
    // null.
    Device(std::shared_ptr<const Image> image, std::shared_ptr<const Stream> stream)
        : image_(std::move(image)), stream_(std::move(stream)) {}
    // A device whose image the fetcher brings over the stream at each download; the image must
    // emulate the descriptor's model.
    Device(std::unique_ptr<ImageFetcher> fetcher, DescriptorInfo descriptor,
           std::shared_ptr<const Stream> stream)
        : stream_(std::move(stream)),
          fetcher_(std::move(fetcher)),
          descriptor_(std::move(descriptor)) {}

    // Where the device logs: the context it was opened with.
    void setLog(const LogTarget &target) { log_ = target; }
    const LogTarget &log() const { return log_; }

    dc_status_t setEvents(unsigned int mask, dc_event_callback_t callback, void *userdata);
    dc_status_t setCancel(dc_cancel_callback_t callback, void *userdata);
    // size 0 clears the fingerprint; any size but kFingerprintSize is refused (INVALIDARGS).
    dc_status_t setFingerprint(const unsigned char *data, unsigned int size);
    // handle is what the event callback is given as its device. IO once the stream was closed.
    // Throws StatusError when the image cannot be fetched.
    dc_status_t foreach (dc_device_t *handle, dc_dive_callback_t callback, void *userdata);
    // The close fault, or IO once the stream was closed.
    dc_status_t close();
    // The parser_new fault of the dive being delivered; 0 outside the dive callback.
    int parserNewFault() const { return delivering_ ? delivering_->parserNewFault : 0; }

  private:
    // The faults of the image, none before an image was fetched.
    const DeviceFaults &faults() const;
    void journal(const char *line) const noexcept;
    void emit(dc_device_t *handle, dc_event_type_t event, const void *data) const;
    void emitProgress(dc_device_t *handle, std::uint64_t current, std::uint32_t maximum) const;
    // The dives before the first whose fingerprint matches the one set: the new ones.
    std::size_t newDiveCount() const;
    std::uint32_t progressMaximum(std::size_t diveCount) const;
    bool cancelRequested() const;
    void fetchImage(dc_device_t *handle);
    // Plays the image back; an image fetched over the stream has already been transferred, so it
    // is neither paced nor reported as progress again.
    dc_status_t playBack(dc_device_t *handle, dc_dive_callback_t callback, void *userdata,
                         bool fetched);
    // Sends the events that come before the dives.
    void announce(dc_device_t *handle, bool reportProgress) const;
    // Moves one dive's bytes in the image's transfer blocks, adding them to transferred; false
    // when the cancel callback stopped it.
    bool transferBlocks(dc_device_t *handle, const ImageDive &dive, std::uint64_t &transferred,
                        std::uint32_t maximum) const;
    bool deliver(const ImageDive &dive, dc_dive_callback_t callback, void *userdata);

    bool streamClosed() const;

    std::shared_ptr<const Image> image_;
    std::shared_ptr<const Stream> stream_;
    std::unique_ptr<ImageFetcher> fetcher_;
    DescriptorInfo descriptor_;
    std::optional<Fingerprint> fingerprint_;
    LogTarget log_;
    unsigned int eventMask_ = 0;
    dc_event_callback_t eventCallback_ = nullptr;
    void *eventUserdata_ = nullptr;
    dc_cancel_callback_t cancelCallback_ = nullptr;
    void *cancelUserdata_ = nullptr;
    const ImageDive *delivering_ = nullptr;
};

}  // namespace dcsim

#endif
