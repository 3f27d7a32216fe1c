// SPDX-License-Identifier: MIT
#include "ble_backend.h"

#include "status_error.h"

#include <algorithm>

namespace dcsim {
namespace {

// Flags of the hello answer.
constexpr unsigned char kPinProtected = 0x01;
// The status of an error answer to a request the peripheral refuses until it is unlocked.
constexpr unsigned char kLocked = 0x01;
constexpr std::size_t kNameBufferSize = 256;
constexpr std::size_t kPinBufferSize = 16;
constexpr std::size_t kLongestPin = 6;

void check(dc_status_t status, const char *what) {
    if (status != DC_STATUS_SUCCESS) {
        throw StatusError(status, what);
    }
}

// Status bytes of a refused answer: still locked, or a request the peripheral did not expect.
[[noreturn]] void refuseAnswer(unsigned char tag, unsigned char status) {
    if (tag == 'e' && status == kLocked) {
        throw StatusError(DC_STATUS_NOACCESS, "the peripheral is locked");
    }
    throw StatusError(DC_STATUS_PROTOCOL, "unexpected answer");
}

// A request: its tag followed by the argument's bytes.
template <typename Argument>
Bytes requestOf(unsigned char tag, const Argument &argument) {
    Bytes request(1 + argument.size());
    request[0] = tag;
    std::copy(argument.begin(), argument.end(), request.begin() + 1);
    return request;
}

std::uint32_t loadU32(const Bytes &bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

}  // namespace

void BleBackend::open() {
    check(stream_->setTimeout(kBleReadTimeoutMs), "set_timeout");
    check(stream_->purge(DC_DIRECTION_INPUT), "purge");
    askName();
    send({'H'});
    if (receiveStatus('h') & kPinProtected) {
        unlock();
    }
}

// The name only identifies the peripheral in the trace: a stream that cannot tell it is fine.
void BleBackend::askName() {
    std::array<char, kNameBufferSize> buffer{};
    const dc_status_t status = stream_->ioctl(DC_IOCTL_BLE_GET_NAME, buffer.data(), buffer.size());
    if (status == DC_STATUS_UNSUPPORTED) {
        return;
    }
    check(status, "the name");
    buffer.back() = '\0';
    name_ = buffer.data();
}

#ifdef DC_IOCTL_BLE_GET_PINCODE
// A kept access code opens the peripheral at once; otherwise it shows its PIN, which the user
// types, and grants a new code to keep.
void BleBackend::unlock() {
    send(requestOf('A', storedAccessCode()));
    if (receiveStatus('a') != 0) {
        presentPin(pinCode());
    }
}

// All zeros when the application keeps no codes: never accepted, so the PIN is asked.
BleBackend::AccessCode BleBackend::storedAccessCode() {
    AccessCode code{};
    const dc_status_t status =
        stream_->ioctl(DC_IOCTL_BLE_GET_ACCESSCODE, code.data(), code.size());
    if (status == DC_STATUS_UNSUPPORTED) {
        return AccessCode{};
    }
    check(status, "the access code");
    return code;
}

std::string BleBackend::pinCode() {
    std::array<char, kPinBufferSize> buffer{};
    check(stream_->ioctl(DC_IOCTL_BLE_GET_PINCODE, buffer.data(), buffer.size()), "the PIN");
    buffer.back() = '\0';
    const std::string pin = buffer.data();
    if (pin.empty() || pin.size() > kLongestPin ||
        pin.find_first_not_of("0123456789") != std::string::npos) {
        throw StatusError(DC_STATUS_NOACCESS, "not a PIN");
    }
    return pin;
}

void BleBackend::presentPin(const std::string &pin) {
    send(requestOf('P', pin));
    if (receiveStatus('p') != 0) {
        throw StatusError(DC_STATUS_NOACCESS, "the PIN was refused");
    }
    Bytes code = receive(sizeof(AccessCode));
    const dc_status_t status =
        stream_->ioctl(DC_IOCTL_BLE_SET_ACCESSCODE, code.data(), code.size());
    if (status != DC_STATUS_UNSUPPORTED) {
        check(status, "keeping the access code");
    }
}
#else
void BleBackend::unlock() {
    throw StatusError(DC_STATUS_UNSUPPORTED, "this release cannot ask for a PIN");
}
#endif

Bytes BleBackend::fetch(const Cancelled &cancelled, const Progress &progress) {
    send({'I'});
    const std::uint32_t size = receiveImageSize();
    if (size > kImageSizeLimit) {
        throw StatusError(DC_STATUS_IO, "the image is larger than the limit");
    }
    pending_.reserve(size);
    while (pending_.size() < size) {
        if (cancelled()) {
            throw StatusError(DC_STATUS_CANCELLED, "cancelled");
        }
        readNotification();
        progress(static_cast<std::uint32_t>(std::min<std::size_t>(pending_.size(), size)), size);
    }
    return receive(size);
}

void BleBackend::send(const Bytes &request) {
    std::size_t actual = 0;
    check(stream_->write(request.data(), request.size(), &actual), "write");
    if (actual != request.size()) {
        throw StatusError(DC_STATUS_IO, "a short write");
    }
}

Bytes BleBackend::receive(std::size_t count) {
    while (pending_.size() < count) {
        readNotification();
    }
    Bytes received(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(count));
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(count));
    return received;
}

// A read that answers success without a byte would make the caller spin: the stream broke its
// contract.
void BleBackend::readNotification() {
    std::array<unsigned char, kBleReadBufferSize> buffer;
    std::size_t actual = 0;
    check(stream_->read(buffer.data(), buffer.size(), &actual), "read");
    if (actual == 0 || actual > buffer.size()) {
        throw StatusError(DC_STATUS_IO, "a read answered no notification");
    }
    pending_.insert(pending_.end(), buffer.begin(),
                    buffer.begin() + static_cast<std::ptrdiff_t>(actual));
}

unsigned char BleBackend::receiveStatus(unsigned char expected) {
    const Bytes answer = receive(2);
    if (answer[0] != expected) {
        refuseAnswer(answer[0], answer[1]);
    }
    return answer[1];
}

std::uint32_t BleBackend::receiveImageSize() {
    const unsigned char tag = receive(1)[0];
    if (tag != 'i') {
        refuseAnswer(tag, receive(1)[0]);
    }
    return loadU32(receive(4));
}

}  // namespace dcsim
