// SPDX-License-Identifier: MIT
#include "device/ble/ble_stream.h"

#include <libdivecomputer/ble.h>
#include <libdivecomputer/custom.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace divebridge {
namespace {

// Credits granted at once: the most a one-byte grant holds, less one. A new grant tops them up
// once half are spent, so that the module never waits for one.
constexpr int creditsGranted = 254;
constexpr int creditsLow = creditsGranted / 2;

constexpr std::size_t uuidSize = 16;

BleStream &streamOf(void *userdata) {
    return *static_cast<BleStream *>(userdata);
}

// No exception may cross into libdivecomputer: whatever a callback raises that it did not expect
// answers an error.
template <typename Callback>
dc_status_t guarded(Callback &&callback) noexcept {
    try {
        return callback();
    } catch (const std::bad_alloc &) {
        return DC_STATUS_NOMEMORY;
    } catch (...) {
        return DC_STATUS_IO;
    }
}

// Runs a callback on the stream its user data names, noting a stop it answered.
template <typename Callback>
dc_status_t answer(void *userdata, Callback &&callback) noexcept {
    BleStream &stream = streamOf(userdata);
    return stream.noteStop(guarded([&] { return callback(stream); }));
}

dc_status_t onSetTimeout(void *userdata, int timeout) {
    return answer(userdata, [&](BleStream &stream) { return stream.setTimeout(timeout); });
}
dc_status_t onRead(void *userdata, void *data, size_t size, size_t *actual) {
    return answer(userdata, [&](BleStream &stream) { return stream.read(data, size, actual); });
}
dc_status_t onWrite(void *userdata, const void *data, size_t size, size_t *actual) {
    return answer(userdata, [&](BleStream &stream) { return stream.write(data, size, actual); });
}
dc_status_t onPoll(void *userdata, int timeout) {
    return answer(userdata, [&](BleStream &stream) { return stream.poll(timeout); });
}
dc_status_t onPurge(void *userdata, dc_direction_t direction) {
    return answer(userdata, [&](BleStream &stream) { return stream.purge(direction); });
}
dc_status_t onSleep(void *userdata, unsigned int milliseconds) {
    return answer(userdata, [&](BleStream &stream) { return stream.sleep(milliseconds); });
}
dc_status_t onGetAvailable(void *userdata, size_t *value) {
    return answer(userdata, [&](BleStream &stream) { return stream.available(value); });
}
dc_status_t onIoctl(void *userdata, unsigned int request, void *data, size_t size) {
    return answer(userdata, [&](BleStream &stream) { return stream.ioctl(request, data, size); });
}
dc_status_t onFlush(void *) {
    return DC_STATUS_SUCCESS;  // every write is sent when it is made
}
dc_status_t onClose(void *userdata) {
    return answer(userdata, [&](BleStream &stream) { return stream.close(); });
}

// The serial line's settings mean nothing over BLE; left out, libdivecomputer answers SUCCESS.
dc_custom_cbs_t callbacks() {
    dc_custom_cbs_t table{};
    table.set_timeout = onSetTimeout;
    table.get_available = onGetAvailable;
    table.poll = onPoll;
    table.read = onRead;
    table.write = onWrite;
    table.ioctl = onIoctl;
    table.flush = onFlush;
    table.purge = onPurge;
    table.sleep = onSleep;
    table.close = onClose;
    return table;
}

const dc_custom_cbs_t streamCallbacks = callbacks();

// A PIN is what a dive computer shows: one to six digits.
bool isPinCode(const std::string &pin) {
    return !pin.empty() && pin.size() <= 6 &&
           std::all_of(pin.begin(), pin.end(),
                       [](unsigned char c) { return std::isdigit(c) != 0; });
}

}  // namespace

BleStream::BleStream(std::unique_ptr<BleLink> link, StopRequest stop, Application &application,
                     CallbackFailure &failure)
    : link(std::move(link)), stop(stop), application(application), failure(failure) {}

BleStream::~BleStream() {
    link->close();
}

dc_status_t BleStream::open(dc_iostream_t **stream, dc_context_t *context) {
    if (link->usesCredits()) {
        const dc_status_t granted = link->grantCredits(creditsGranted);
        if (granted != DC_STATUS_SUCCESS) {
            return granted;
        }
        creditsOutstanding = creditsGranted;
    }
    return dc_custom_open(stream, context, DC_TRANSPORT_BLE, &streamCallbacks, this);
}

dc_status_t BleStream::noteStop(dc_status_t status) noexcept {
    if (status == DC_STATUS_CANCELLED && stop.requested()) {
        stopAnswered = true;
    }
    return status;
}

dc_status_t BleStream::setTimeout(int milliseconds) {
    timeout = std::chrono::milliseconds(milliseconds);
    return DC_STATUS_SUCCESS;
}

dc_status_t BleStream::awaitData(std::chrono::milliseconds wait) {
    if (unreadFrom < unread.size()) {
        return DC_STATUS_SUCCESS;
    }
    return statusOf(link->notifications().waitForNotification(wait, stop));
}

dc_status_t BleStream::takeNotification() {
    unread = link->notifications().pop();
    unreadFrom = 0;
    return spendCredits(1);
}

// Each data notification took one of the module's credits, read or purged alike; a new grant tops
// them up once half are spent.
dc_status_t BleStream::spendCredits(std::size_t notifications) {
    if (!link->usesCredits() || notifications == 0) {
        return DC_STATUS_SUCCESS;
    }
    creditsOutstanding -= static_cast<int>(std::min<std::size_t>(notifications, creditsGranted));
    if (creditsOutstanding > creditsLow) {
        return DC_STATUS_SUCCESS;
    }
    const int grant = creditsGranted - std::max(creditsOutstanding, 0);
    const dc_status_t granted = link->grantCredits(static_cast<unsigned char>(grant));
    if (granted != DC_STATUS_SUCCESS) {
        return granted;
    }
    creditsOutstanding = creditsGranted;
    return DC_STATUS_SUCCESS;
}

// One notification per read: libdivecomputer's packet layers take each read as one packet. Only
// a notification larger than the buffer is split, its rest kept for the next read.
dc_status_t BleStream::read(void *data, std::size_t size, std::size_t *actual) {
    if (actual != nullptr) {
        *actual = 0;
    }
    const dc_status_t ready = awaitData(timeout);
    if (ready != DC_STATUS_SUCCESS) {
        return ready;
    }
    if (unreadFrom >= unread.size()) {
        const dc_status_t taken = takeNotification();
        if (taken != DC_STATUS_SUCCESS) {
            return taken;
        }
    }
    const std::size_t count = std::min(size, unread.size() - unreadFrom);
    if (count > 0) {
        std::memcpy(data, unread.data() + unreadFrom, count);
    }
    unreadFrom += count;
    if (actual != nullptr) {
        *actual = count;
    }
    return DC_STATUS_SUCCESS;
}

dc_status_t BleStream::write(const void *data, std::size_t size, std::size_t *actual) {
    if (actual != nullptr) {
        *actual = 0;
    }
    if (stop.requested()) {
        return DC_STATUS_CANCELLED;
    }
    const dc_status_t written = link->write(static_cast<const unsigned char *>(data), size);
    if (written == DC_STATUS_SUCCESS && actual != nullptr) {
        *actual = size;
    }
    return written;
}

dc_status_t BleStream::poll(int milliseconds) {
    return awaitData(std::chrono::milliseconds(milliseconds));
}

dc_status_t BleStream::purge(dc_direction_t direction) {
    if ((direction & DC_DIRECTION_INPUT) == 0) {
        return DC_STATUS_SUCCESS;
    }
    const std::size_t dropped = link->notifications().clear();
    unread.clear();
    unreadFrom = 0;
    return spendCredits(dropped);
}

dc_status_t BleStream::sleep(unsigned int milliseconds) {
    return sleepUnlessStopped(std::chrono::milliseconds(milliseconds), stop) ? DC_STATUS_SUCCESS
                                                                             : DC_STATUS_CANCELLED;
}

dc_status_t BleStream::available(std::size_t *value) {
    if (value == nullptr) {
        return DC_STATUS_INVALIDARGS;
    }
    *value =
        unreadFrom < unread.size() ? unread.size() - unreadFrom : link->notifications().frontSize();
    return DC_STATUS_SUCCESS;
}

dc_status_t BleStream::ioctl(unsigned int request, void *data, std::size_t size) {
    if (data == nullptr && size != 0) {
        return DC_STATUS_INVALIDARGS;
    }
    switch (request) {
        case DC_IOCTL_BLE_GET_NAME: {
            const std::string &name = link->name();
            if (name.empty() || size == 0) {
                return DC_STATUS_UNSUPPORTED;
            }
            const std::size_t count = std::min(name.size(), size - 1);
            std::memcpy(data, name.data(), count);
            static_cast<char *>(data)[count] = '\0';
            return DC_STATUS_SUCCESS;
        }
#ifdef DC_IOCTL_BLE_GET_PINCODE
        case DC_IOCTL_BLE_GET_PINCODE:
            return answerPinCode(data, size);
        case DC_IOCTL_BLE_GET_ACCESSCODE:
            return answerAccessCode(data, size);
        case DC_IOCTL_BLE_SET_ACCESSCODE:
            return keepAccessCode(data, size);
        case DC_IOCTL_BLE_CHARACTERISTIC_READ:
            return readCharacteristic(data, size);
#endif
        default:
            return DC_STATUS_UNSUPPORTED;
    }
}

template <typename Call>
dc_status_t BleStream::askApplication(Call &&call) {
    dc_status_t status = DC_STATUS_IO;
    if (!failure.capture([&] { status = call(); })) {
        return DC_STATUS_IO;
    }
    return stop.requested() ? DC_STATUS_CANCELLED : status;
}

dc_status_t BleStream::answerPinCode(void *data, std::size_t size) {
    return askApplication([&] {
        pinState = Pin::NotGiven;
        const std::optional<std::string> pin = application.pinCode(link->name(), link->address());
        if (!pin) {
            return DC_STATUS_CANCELLED;
        }
        if (!isPinCode(*pin) || pin->size() + 1 > size) {
            return DC_STATUS_INVALIDARGS;
        }
        std::memcpy(data, pin->c_str(), pin->size() + 1);
        pinState = Pin::Given;
        return DC_STATUS_SUCCESS;
    });
}

// Without a kept code of the size asked for, zeros: the dive computer then shows its PIN.
dc_status_t BleStream::answerAccessCode(void *data, std::size_t size) {
    return askApplication([&] {
        std::memset(data, 0, size);
        const Bytes code = application.accessCode(link->name(), link->address());
        if (code.size() == size) {
            std::memcpy(data, code.data(), size);
        }
        return DC_STATUS_SUCCESS;
    });
}

dc_status_t BleStream::keepAccessCode(const void *data, std::size_t size) {
    return askApplication([&] {
        const auto *bytes = static_cast<const unsigned char *>(data);
        application.saveAccessCode(link->name(), link->address(), Bytes(bytes, bytes + size));
        return DC_STATUS_SUCCESS;
    });
}

// The request holds a characteristic's UUID followed by room for its value.
dc_status_t BleStream::readCharacteristic(void *data, std::size_t size) {
    if (size < uuidSize) {
        return DC_STATUS_INVALIDARGS;
    }
    static const char hex[] = "0123456789abcdef";
    const auto *uuidBytes = static_cast<const unsigned char *>(data);
    std::string uuid;
    for (std::size_t i = 0; i < uuidSize; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            uuid += '-';
        }
        uuid += hex[uuidBytes[i] >> 4];
        uuid += hex[uuidBytes[i] & 0x0f];
    }
    Bytes value;
    const dc_status_t status = link->read(uuid, value);
    if (status != DC_STATUS_SUCCESS) {
        return status;
    }
    if (value.size() > size - uuidSize) {
        return DC_STATUS_PROTOCOL;
    }
    std::memcpy(static_cast<unsigned char *>(data) + uuidSize, value.data(), value.size());
    return DC_STATUS_SUCCESS;
}

dc_status_t BleStream::close() {
    link->close();
    return DC_STATUS_SUCCESS;
}

}  // namespace divebridge
