// SPDX-License-Identifier: MIT
#include "device.h"

#include "status_error.h"

#ifdef DCSIM_GENERATION_B
#include "stream.h"
#endif

#include <algorithm>
#include <chrono>
#include <limits>
#include <thread>

namespace dcsim {
namespace {

constexpr std::uint32_t kMaxU32 = std::numeric_limits<std::uint32_t>::max();

// The application's callbacks run as if called from C: one that throws ends the process, as it
// would when unwinding through a real libdivecomputer built without exception support.
void callEvent(dc_event_callback_t callback, dc_device_t *device, dc_event_type_t event,
               const void *data, void *userdata) noexcept {
    callback(device, event, data, userdata);
}

int callCancel(dc_cancel_callback_t callback, void *userdata) noexcept {
    return callback(userdata);
}

int callDive(dc_dive_callback_t callback, const ImageDive &dive, void *userdata) noexcept {
    return callback(dive.bytes.data(), static_cast<unsigned int>(dive.bytes.size()),
                    dive.fingerprint.data(), static_cast<unsigned int>(dive.fingerprint.size()),
                    userdata);
}

void checkModel(const Image &image, const DescriptorInfo &descriptor) {
    if (image.vendor != descriptor.vendor || image.product != descriptor.product) {
        throw StatusError(DC_STATUS_IO, "the image emulates another model");
    }
}

// Marks the dive being delivered for as long as its callback runs.
class DeliveringDive {
  public:
    DeliveringDive(const ImageDive *&slot, const ImageDive &dive) : slot_(slot) { slot_ = &dive; }
    DeliveringDive(const DeliveringDive &) = delete;
    DeliveringDive &operator=(const DeliveringDive &) = delete;
    ~DeliveringDive() { slot_ = nullptr; }

  private:
    const ImageDive *&slot_;
};

}  // namespace

void acceptImage(const Image &image, const DescriptorInfo &descriptor) {
    checkModel(image, descriptor);
    appendJournal(image, "open");
    if (image.faults.open != 0) {
        throw StatusError(static_cast<dc_status_t>(image.faults.open), "open fault");
    }
}

const DeviceFaults &Device::faults() const {
    static const DeviceFaults kNone;
    return image_ ? image_->faults : kNone;
}

void Device::journal(const char *line) const noexcept {
    if (image_) {
        appendJournal(*image_, line);
    }
}

bool Device::streamClosed() const {
#ifdef DCSIM_GENERATION_B
    return stream_ != nullptr && stream_->closed();
#else
    return false;
#endif
}

dc_status_t Device::setEvents(unsigned int mask, dc_event_callback_t callback, void *userdata) {
    journal("set_events");
    if (faults().setEvents != 0) {
        return static_cast<dc_status_t>(faults().setEvents);
    }
    eventMask_ = mask;
    eventCallback_ = callback;
    eventUserdata_ = userdata;
    return DC_STATUS_SUCCESS;
}

dc_status_t Device::setCancel(dc_cancel_callback_t callback, void *userdata) {
    journal("set_cancel");
    if (faults().setCancel != 0) {
        return static_cast<dc_status_t>(faults().setCancel);
    }
    cancelCallback_ = callback;
    cancelUserdata_ = userdata;
    return DC_STATUS_SUCCESS;
}

dc_status_t Device::setFingerprint(const unsigned char *data, unsigned int size) {
    journal("set_fingerprint");
    if (size == 0) {
        fingerprint_.reset();
        return DC_STATUS_SUCCESS;
    }
    if (size != kFingerprintSize) {
        return DC_STATUS_INVALIDARGS;
    }
    Fingerprint fingerprint;
    std::copy(data, data + size, fingerprint.begin());
    fingerprint_ = fingerprint;
    return DC_STATUS_SUCCESS;
}

dc_status_t Device::close() {
    journal("close");
    return streamClosed() ? DC_STATUS_IO : static_cast<dc_status_t>(faults().close);
}

void Device::emit(dc_device_t *handle, dc_event_type_t event, const void *data) const {
    if (eventCallback_ != nullptr && (eventMask_ & event) != 0) {
        callEvent(eventCallback_, handle, event, data, eventUserdata_);
    }
}

void Device::emitProgress(dc_device_t *handle, std::uint64_t current, std::uint32_t maximum) const {
    const dc_event_progress_t progress{
        static_cast<unsigned int>(current < kMaxU32 ? current : kMaxU32), maximum};
    emit(handle, DC_EVENT_PROGRESS, &progress);
}

std::size_t Device::newDiveCount() const {
    const auto &dives = image_->dives;
    if (!fingerprint_) {
        return dives.size();
    }
    const auto known = std::find_if(dives.begin(), dives.end(), [&](const ImageDive &dive) {
        return dive.fingerprint == *fingerprint_;
    });
    return static_cast<std::size_t>(known - dives.begin());
}

std::uint32_t Device::progressMaximum(std::size_t diveCount) const {
    if (image_->progressMaximum) {
        return *image_->progressMaximum;
    }
    std::uint64_t total = 0;
    for (std::size_t index = 0; index < diveCount; ++index) {
        total += image_->dives[index].bytes.size();
    }
    return static_cast<std::uint32_t>(total < kMaxU32 ? total : kMaxU32);
}

bool Device::cancelRequested() const {
    return cancelCallback_ != nullptr && callCancel(cancelCallback_, cancelUserdata_) != 0;
}

bool Device::deliver(const ImageDive &dive, dc_dive_callback_t callback, void *userdata) {
    if (callback == nullptr) {
        return true;
    }
    const DeliveringDive delivering(delivering_, dive);
    return callDive(callback, dive, userdata) != 0;
}

// The first progress event counts the dives new by the fingerprint set before the download.
void Device::announce(dc_device_t *handle, bool reportProgress) const {
    if (image_->waiting) {
        emit(handle, DC_EVENT_WAITING, nullptr);
    }
    if (reportProgress) {
        emitProgress(handle, 0, progressMaximum(newDiveCount()));
    }
    if (image_->devinfo) {
        emit(handle, DC_EVENT_DEVINFO, &*image_->devinfo);
    }
    if (image_->clock) {
        emit(handle, DC_EVENT_CLOCK, &*image_->clock);
    }
}

bool Device::transferBlocks(dc_device_t *handle, const ImageDive &dive, std::uint64_t &transferred,
                            std::uint32_t maximum) const {
    const Transfer &transfer = *image_->transfer;
    for (std::size_t sent = 0; sent < dive.bytes.size();) {
        if (cancelRequested()) {
            return false;
        }
        if (transfer.blockDelayMs != 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(transfer.blockDelayMs));
        }
        const std::size_t block =
            std::min<std::size_t>(transfer.blockSize, dive.bytes.size() - sent);
        sent += block;
        transferred += block;
        emitProgress(handle, transferred, maximum);
    }
    return true;
}

void Device::fetchImage(dc_device_t *handle) {
    const Bytes bytes = fetcher_->fetch(
        [this] { return cancelRequested(); },
        [&](std::uint32_t current, std::uint32_t size) { emitProgress(handle, current, size); });
    auto image = std::make_shared<const Image>(
        parseImage(std::string(bytes.begin(), bytes.end()), "the image sent by the peripheral"));
    checkModel(*image, descriptor_);
    image_ = std::move(image);
}

// A fetched image's journal starts with the download that fetched it; a closed custom stream fails
// the fetch's first write.
dc_status_t Device::foreach (dc_device_t *handle, dc_dive_callback_t callback, void *userdata) {
    if (fetcher_ != nullptr) {
        fetchImage(handle);
        journal("foreach");
        return playBack(handle, callback, userdata, true);
    }
    journal("foreach");
    return streamClosed() ? DC_STATUS_IO : playBack(handle, callback, userdata, false);
}

// Without a transfer each dive is one step: its wait, the cancel question, its progress, the dive.
// With one, its blocks come first, all of them before the first dive when memory_first is set.
// The dives stop at the first one the fingerprint knows, which the devinfo event may just have set,
// so the progress maximum is counted again after it.
dc_status_t Device::playBack(dc_device_t *handle, dc_dive_callback_t callback, void *userdata,
                             bool fetched) {
    for (const ImageLogLine &line : image_->log) {
        log_.line(static_cast<dc_loglevel_t>(line.level), __FILE__, __LINE__, __func__, line.text);
    }
    announce(handle, !fetched);
    const std::size_t count = newDiveCount();
    const std::uint32_t maximum = progressMaximum(count);
    const DeviceFaults &faults = image_->faults;
    const Transfer *transfer = image_->transfer && !fetched ? &*image_->transfer : nullptr;
    std::uint64_t transferred = 0;
    if (transfer && transfer->memoryFirst) {
        for (std::size_t index = 0; index < count; ++index) {
            if (!transferBlocks(handle, image_->dives[index], transferred, maximum)) {
                return DC_STATUS_CANCELLED;
            }
        }
    }
    for (std::size_t index = 0; index < count; ++index) {
        if (faults.foreach != 0 && index == faults.foreachAfter) {
            return static_cast<dc_status_t>(faults.foreach);
        }
        const ImageDive &dive = image_->dives[index];
        if (transfer && !transfer->memoryFirst &&
            !transferBlocks(handle, dive, transferred, maximum)) {
            return DC_STATUS_CANCELLED;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(image_->delayMs));
        if (cancelRequested()) {
            return DC_STATUS_CANCELLED;
        }
        if (!transfer && !fetched) {
            transferred += dive.bytes.size();
            emitProgress(handle, transferred, maximum);
        }
        if (!deliver(dive, callback, userdata)) {
            return DC_STATUS_SUCCESS;
        }
    }
    if (faults.foreach != 0) {
        return static_cast<dc_status_t>(faults.foreach);
    }
    if (!fetched) {
        emitProgress(handle, maximum, maximum);
    }
    return DC_STATUS_SUCCESS;
}

}  // namespace dcsim
