// SPDX-License-Identifier: MIT
#include "ble_peripheral.h"

#if DC_VERSION_CHECK(0, 7, 0)

#include <algorithm>
#include <cstring>

namespace dcsim_test {

const dc_custom_cbs_t BlePeripheral::callbacks = {
    setTimeout, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    read,       write,   ioctl,   nullptr, purge,   nullptr, close,
};

AccessCode BlePeripheral::codeFor(const std::string &pin) {
    AccessCode code{};
    for (std::size_t i = 0; i < code.size(); ++i) {
        code[i] = static_cast<unsigned char>(pin[i % pin.size()] + i);
    }
    return code;
}

dc_status_t BlePeripheral::open(dc_context_t *context, dc_descriptor_t *descriptor, Stream &stream,
                                DeviceHandle &device) {
    dc_iostream_t *raw = nullptr;
    const dc_status_t opened = dc_custom_open(&raw, context, DC_TRANSPORT_BLE, &callbacks, this);
    stream.reset(raw);
    if (opened != DC_STATUS_SUCCESS) {
        return opened;
    }
    dc_device_t *opening = nullptr;
    const dc_status_t status = dc_device_open(&opening, context, descriptor, raw);
    device.reset(opening);
    return status;
}

dc_status_t BlePeripheral::setTimeout(void *userdata, int timeout) {
    of(userdata).timeout = timeout;
    return DC_STATUS_SUCCESS;
}

// One notification per read; what does not fit waits for the next read.
dc_status_t BlePeripheral::read(void *userdata, void *data, size_t size, size_t *actual) {
    BlePeripheral &self = of(userdata);
    ++self.reads;
    if (self.notifications_.empty()) {
        return DC_STATUS_TIMEOUT;
    }
    Bytes &next = self.notifications_.front();
    const std::size_t count = std::min(size, next.size());
    std::memcpy(data, next.data(), count);
    *actual = count;
    if (count < next.size()) {
        ++self.splitReads;
        next.erase(next.begin(), next.begin() + static_cast<std::ptrdiff_t>(count));
    } else {
        self.notifications_.pop_front();
    }
    return DC_STATUS_SUCCESS;
}

dc_status_t BlePeripheral::write(void *userdata, const void *data, size_t size, size_t *actual) {
    BlePeripheral &self = of(userdata);
    const auto *bytes = static_cast<const unsigned char *>(data);
    self.writes.emplace_back(bytes, bytes + size);
    *actual = size;
    if (!self.silent) {
        self.answer(self.writes.back());
    }
    return DC_STATUS_SUCCESS;
}

dc_status_t BlePeripheral::ioctl(void *userdata, unsigned int request, void *data, size_t size) {
    return of(userdata).askedFor(request, data, size);
}

dc_status_t BlePeripheral::purge(void *userdata, dc_direction_t direction) {
    if (direction & DC_DIRECTION_INPUT) {
        of(userdata).notifications_.clear();
    }
    return DC_STATUS_SUCCESS;
}

dc_status_t BlePeripheral::close(void *userdata) {
    ++of(userdata).closes;
    return DC_STATUS_SUCCESS;
}

dc_status_t BlePeripheral::askedFor(unsigned int request, void *data, size_t size) {
    const auto writeText = [&](const std::string &text) {
        if (text.size() + 1 > size) {
            return DC_STATUS_INVALIDARGS;
        }
        std::memcpy(data, text.c_str(), text.size() + 1);
        return DC_STATUS_SUCCESS;
    };
    if (request == DC_IOCTL_BLE_GET_NAME) {
        return name.empty() ? DC_STATUS_UNSUPPORTED : writeText(name);
    }
#ifdef DC_IOCTL_BLE_GET_PINCODE
    if (request == DC_IOCTL_BLE_GET_PINCODE) {
        ++pinAsked;
        return typedPin ? writeText(*typedPin) : pinStatus;
    }
    if (request == DC_IOCTL_BLE_GET_ACCESSCODE && size == 16) {
        if (!keptCode) {
            return DC_STATUS_UNSUPPORTED;
        }
        std::memcpy(data, keptCode->data(), 16);
        return DC_STATUS_SUCCESS;
    }
    if (request == DC_IOCTL_BLE_SET_ACCESSCODE && size == 16) {
        keptCode.emplace();
        std::memcpy(keptCode->data(), data, 16);
        return DC_STATUS_SUCCESS;
    }
#endif
    return DC_STATUS_UNSUPPORTED;
}

void BlePeripheral::answer(const Bytes &request) {
    const unsigned char tag = request.empty() ? 0 : request[0];
    const Bytes argument(request.begin() + (request.empty() ? 0 : 1), request.end());
    if (tag == 'H' && argument.empty()) {
        notifications_.push_back({'h', static_cast<unsigned char>(pin ? 1 : 0)});
    } else if (tag == 'A' && argument.size() == 16) {
        const AccessCode code = pin ? codeFor(*pin) : AccessCode{};
        const bool accepted = pin && std::equal(code.begin(), code.end(), argument.begin());
        unlocked_ = unlocked_ || accepted;
        pinShown += accepted ? 0 : 1;
        notifications_.push_back({'a', static_cast<unsigned char>(accepted ? 0 : 1)});
    } else if (tag == 'P' && pin) {
        const bool granted = std::string(argument.begin(), argument.end()) == *pin;
        unlocked_ = unlocked_ || granted;
        Bytes granting = {'p', static_cast<unsigned char>(granted ? 0 : 1)};
        if (granted) {
            const AccessCode code = codeFor(*pin);
            granting.insert(granting.end(), code.begin(), code.end());
        }
        notifications_.push_back(granting);
    } else if (tag == 'I' && argument.empty()) {
        sendImage();
    } else {
        notifications_.push_back({'e', 0});
    }
}

void BlePeripheral::sendImage() {
    if (pin && !unlocked_) {
        notifications_.push_back({'e', 1});
        return;
    }
    const auto size = static_cast<std::uint32_t>(image_.size());
    notifications_.push_back(
        {'i', static_cast<unsigned char>(size), static_cast<unsigned char>(size >> 8),
         static_cast<unsigned char>(size >> 16), static_cast<unsigned char>(size >> 24)});
    std::size_t sent = 0;
    for (std::size_t at = 0; at < image_.size(); at += notifySize_) {
        if (imageNotificationLimit && sent++ == *imageNotificationLimit) {
            return;
        }
        const std::size_t count = std::min(notifySize_, image_.size() - at);
        notifications_.emplace_back(image_.begin() + static_cast<std::ptrdiff_t>(at),
                                    image_.begin() + static_cast<std::ptrdiff_t>(at + count));
    }
}

}  // namespace dcsim_test

#endif
