#include "device.h"

#include "status_error.h"

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
    if (image.vendor != descriptor.vendor || image.product != descriptor.product) {
        throw StatusError(DC_STATUS_IO, "the image emulates another model");
    }
    appendJournal(image, "open");
    if (image.faults.open != 0) {
        throw StatusError(static_cast<dc_status_t>(image.faults.open), "open fault");
    }
}

dc_status_t Device::setEvents(unsigned int mask, dc_event_callback_t callback, void *userdata) {
    appendJournal(*image_, "set_events");
    if (image_->faults.setEvents != 0) {
        return static_cast<dc_status_t>(image_->faults.setEvents);
    }
    eventMask_ = mask;
    eventCallback_ = callback;
    eventUserdata_ = userdata;
    return DC_STATUS_SUCCESS;
}

dc_status_t Device::setCancel(dc_cancel_callback_t callback, void *userdata) {
    appendJournal(*image_, "set_cancel");
    if (image_->faults.setCancel != 0) {
        return static_cast<dc_status_t>(image_->faults.setCancel);
    }
    cancelCallback_ = callback;
    cancelUserdata_ = userdata;
    return DC_STATUS_SUCCESS;
}

dc_status_t Device::setFingerprint() {
    appendJournal(*image_, "set_fingerprint");
    return DC_STATUS_SUCCESS;
}

dc_status_t Device::close() {
    appendJournal(*image_, "close");
    return streamClosed() ? DC_STATUS_IO : static_cast<dc_status_t>(image_->faults.close);
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

std::uint32_t Device::progressMaximum() const {
    if (image_->progressMaximum) {
        return *image_->progressMaximum;
    }
    std::uint64_t total = 0;
    for (const auto &dive : image_->dives) {
        total += dive.bytes.size();
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

std::uint32_t Device::announce(dc_device_t *handle) const {
    if (image_->waiting) {
        emit(handle, DC_EVENT_WAITING, nullptr);
    }
    const std::uint32_t maximum = progressMaximum();
    emitProgress(handle, 0, maximum);
    if (image_->devinfo) {
        emit(handle, DC_EVENT_DEVINFO, &*image_->devinfo);
    }
    if (image_->clock) {
        emit(handle, DC_EVENT_CLOCK, &*image_->clock);
    }
    return maximum;
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

// Without a transfer each dive is one step: its wait, the cancel question, its progress, the dive.
// With one, its blocks come first, all of them before the first dive when memory_first is set.
dc_status_t Device::foreach (dc_device_t *handle, dc_dive_callback_t callback, void *userdata) {
    appendJournal(*image_, "foreach");
    if (streamClosed()) {
        return DC_STATUS_IO;
    }
    const std::uint32_t maximum = announce(handle);
    const auto &faults = image_->faults;
    const auto &transfer = image_->transfer;
    std::uint64_t transferred = 0;
    if (transfer && transfer->memoryFirst) {
        for (const ImageDive &dive : image_->dives) {
            if (!transferBlocks(handle, dive, transferred, maximum)) {
                return DC_STATUS_CANCELLED;
            }
        }
    }
    for (std::size_t index = 0; index < image_->dives.size(); ++index) {
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
        if (!transfer) {
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
    emitProgress(handle, maximum, maximum);
    return DC_STATUS_SUCCESS;
}

}  // namespace dcsim
