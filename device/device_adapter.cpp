// SPDX-License-Identifier: MIT
#include "device/device_adapter.h"

#include "base/native_exception.h"

#if DC_VERSION_CHECK(0, 7, 0)
#include "device/ble/ble_link.h"
#endif

#if DC_VERSION_CHECK(0, 7, 0)
#include <libdivecomputer/bluetooth.h>
#include <libdivecomputer/irda.h>
#include <libdivecomputer/serial.h>
#include <libdivecomputer/usb.h>
#include <libdivecomputer/usbhid.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <string>
#endif

namespace divebridge {

#if DC_VERSION_CHECK(0, 7, 0)
namespace {

const char *const openFailed = "Error opening device.";

constexpr unsigned int knownTransports = DC_TRANSPORT_SERIAL | DC_TRANSPORT_USB |
                                         DC_TRANSPORT_USBHID | DC_TRANSPORT_IRDA |
                                         DC_TRANSPORT_BLUETOOTH | DC_TRANSPORT_BLE;

unsigned int lowestFlag(unsigned int flags) {
    return flags & (~flags + 1u);
}

// Opens the first USB or USB HID device that libdivecomputer finds for the model.
template <typename Device, typename NewIterator, typename Open, typename Free>
dc_status_t openFirstMatch(dc_iostream_t **stream, dc_context_t *context,
                           dc_descriptor_t *descriptor, NewIterator newIterator, Open open,
                           Free free) {
    dc_iterator_t *iterator = nullptr;
    dc_status_t status = newIterator(&iterator, context, descriptor);
    if (status != DC_STATUS_SUCCESS) {
        return status;
    }
    Device *device = nullptr;
    status = dc_iterator_next(iterator, &device);
    dc_iterator_free(iterator);
    if (status == DC_STATUS_DONE) {
        return DC_STATUS_NODEVICE;
    }
    if (status != DC_STATUS_SUCCESS) {
        return status;
    }
    status = open(stream, context, device);
    free(device);
    return status;
}

// An IrDA address as the port text gives it, decimal or 0x-prefixed hexadecimal.
bool parseIrdaAddress(const char *port, unsigned int &address) {
    if (port == nullptr || *port == '\0') {
        return false;
    }
    char *end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(port, &end, 0);
    if (errno != 0 || *end != '\0' || value > 0xFFFFFFFFul) {
        return false;
    }
    address = static_cast<unsigned int>(value);
    return true;
}

// A port text without the white space around it.
std::string trimmed(const char *port) {
    if (port == nullptr) {
        return {};
    }
    const std::string text(port);
    const auto isSpace = [](unsigned char c) { return std::isspace(c) != 0; };
    const auto first = std::find_if_not(text.begin(), text.end(), isSpace);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), isSpace).base();
    return first < last ? std::string(first, last) : std::string();
}

// A Bluetooth address as BlueZ writes it: six pairs of hex digits separated by colons, upper
// case. Empty when `text` is no such address, in either case.
std::string canonicalAddress(const std::string &text) {
    if (text.size() != 17) {
        return {};
    }
    std::string address = text;
    for (std::size_t i = 0; i < address.size(); ++i) {
        const auto c = static_cast<unsigned char>(address[i]);
        const bool fits = i % 3 == 2 ? c == ':' : std::isxdigit(c) != 0;
        if (!fits) {
            return {};
        }
        address[i] = static_cast<char>(std::toupper(c));
    }
    return address;
}

bool isBluetoothAddress(const char *port) {
    return !canonicalAddress(trimmed(port)).empty();
}

// "LE:" in either case, followed by a Bluetooth address or nothing.
bool namesLowEnergy(const char *port) {
    return port != nullptr && (port[0] == 'L' || port[0] == 'l') &&
           (port[1] == 'E' || port[1] == 'e') && port[2] == ':';
}

bool isEmpty(const char *port) {
    return port == nullptr || *port == '\0';
}

// The transport a port text opens for a model. What it opened before the bridge knew BLE it opens
// still: Bluetooth for a Bluetooth address when the model has it, otherwise the model's lowest
// transport other than BLE. BLE where that cannot serve: "LE:" with an address or nothing, a
// Bluetooth address for a model without classic Bluetooth, and an empty text (the device is then
// found by a scan) unless the model's transport is USB, which needs no port text.
unsigned int chooseTransport(unsigned int transports, const char *port) {
    const bool hasBle = (transports & DC_TRANSPORT_BLE) != 0;
    const bool isAddress = isBluetoothAddress(port);
    if ((transports & DC_TRANSPORT_BLUETOOTH) != 0 && isAddress) {
        return DC_TRANSPORT_BLUETOOTH;
    }
    const unsigned int withoutBle =
        lowestFlag(transports & ~static_cast<unsigned int>(DC_TRANSPORT_BLE));
    if (hasBle) {
        const bool needsNoPort =
            withoutBle == DC_TRANSPORT_USB || withoutBle == DC_TRANSPORT_USBHID;
        if (namesLowEnergy(port) || isAddress || (isEmpty(port) && !needsNoPort) ||
            withoutBle == 0) {
            return DC_TRANSPORT_BLE;
        }
    }
    return withoutBle;
}

// Whether an advertised name belongs to the model; releases before 0.9 cannot tell.
std::function<bool(const std::string &)> nameFilter(dc_descriptor_t *descriptor) {
#if DC_VERSION_CHECK(0, 9, 0)
    return [descriptor](const std::string &name) {
        return dc_descriptor_filter(descriptor, DC_TRANSPORT_BLE, name.c_str()) != 0;
    };
#else
    (void)descriptor;
    return nullptr;
#endif
}

// The peripheral the port text names: after an optional "LE:", an address, or nothing to scan.
BleTarget bleTarget(dc_descriptor_t *descriptor, const char *port) {
    const std::string text = trimmed(isEmpty(port) ? "" : port + (namesLowEnergy(port) ? 3 : 0));
    if (!text.empty()) {
        std::string address = canonicalAddress(text);
        if (address.empty()) {
            throw CommunicationException(
                DC_STATUS_INVALIDARGS,
                "Error opening device: '" + text + "' is not a Bluetooth address.");
        }
        return {address, nullptr, nullptr};
    }
    BleTarget target{"", nameFilter(descriptor), nullptr};
    if (!target.acceptsName) {
        throw CommunicationException(
            DC_STATUS_UNSUPPORTED,
            "Error opening device: a Bluetooth LE dive computer needs its "
            "address (\"LE:01:23:45:67:89:AB\"): this libdivecomputer "
            "cannot tell which devices found by a scan are of this model.");
    }
    return target;
}

TransportStream openBleStream(dc_context_t *context, dc_descriptor_t *descriptor, const char *port,
                              const StopRequest &stop, Application &application,
                              CallbackFailure &failure) {
    BleTarget target = bleTarget(descriptor, port);
    bool declined = false;
    if (target.address.empty() && application.choosesBluetoothDevice()) {
        target.choose = [&](const std::vector<BleCandidate> &found) {
            std::vector<std::string> names;
            std::vector<std::string> addresses;
            for (const BleCandidate &candidate : found) {
                names.push_back(candidate.name);
                addresses.push_back(candidate.address);
            }
            std::optional<std::string> choice;
            declined = failure.capture([&] {
                choice = application.chooseBluetoothDevice(names, addresses);
            }) && !choice;
            return choice;
        };
    }
    std::unique_ptr<BleLink> link;
    try {
        link = openBleLink(target, stop);
    } catch (const CommunicationException &) {
        if (declined) {
            throw BleChoiceDeclined{};
        }
        throw;
    }
    auto ble = std::make_unique<BleStream>(std::move(link), stop, application, failure);
    dc_iostream_t *stream = nullptr;
    const dc_status_t status = ble->open(&stream, context);
    if (status != DC_STATUS_SUCCESS) {
        throw CommunicationException(status, openFailed);
    }
    return TransportStream(std::move(ble), stream);
}

dc_status_t openStream(dc_iostream_t **stream, unsigned int transport, dc_context_t *context,
                       dc_descriptor_t *descriptor, const char *port) {
    switch (transport) {
        case DC_TRANSPORT_SERIAL:
            return dc_serial_open(stream, context, port);
        case DC_TRANSPORT_USB:
            return openFirstMatch<dc_usb_device_t>(stream, context, descriptor, dc_usb_iterator_new,
                                                   dc_usb_open, dc_usb_device_free);
        case DC_TRANSPORT_USBHID:
            return openFirstMatch<dc_usbhid_device_t>(stream, context, descriptor,
                                                      dc_usbhid_iterator_new, dc_usbhid_open,
                                                      dc_usbhid_device_free);
        case DC_TRANSPORT_IRDA: {
            unsigned int address = 0;
            if (!parseIrdaAddress(port, address)) {
                return DC_STATUS_INVALIDARGS;
            }
            return dc_irda_open(stream, context, address, 1);
        }
        case DC_TRANSPORT_BLUETOOTH: {
            const std::string text = canonicalAddress(trimmed(port));
            const dc_bluetooth_address_t address =
                text.empty() ? 0 : dc_bluetooth_str2addr(text.c_str());
            if (address == 0) {
                return DC_STATUS_INVALIDARGS;
            }
            return dc_bluetooth_open(stream, context, address, 0);
        }
        default:
            return DC_STATUS_UNSUPPORTED;
    }
}

}  // namespace

int transportNumber(dc_descriptor_t *descriptor) {
    const unsigned int transports = dc_descriptor_get_transports(descriptor);
    // A set with flags this build does not know is passed whole, so that Java refuses it rather
    // than being shown a transport picked out of it.
    if ((transports & ~knownTransports) != 0) {
        return static_cast<int>(transports);
    }
    return static_cast<int>(lowestFlag(transports));
}

TransportStream openTransport(dc_context_t *context, dc_descriptor_t *descriptor, const char *port,
                              const StopRequest &stop, Application &application,
                              CallbackFailure &failure) {
    const unsigned int transports = dc_descriptor_get_transports(descriptor);
    if (transports == DC_TRANSPORT_NONE) {
        return {};  // the library reaches such a model without a stream
    }
    const unsigned int transport = chooseTransport(transports, port);
    if (transport == DC_TRANSPORT_BLE) {
        return openBleStream(context, descriptor, port, stop, application, failure);
    }
    dc_iostream_t *stream = nullptr;
    const dc_status_t status = openStream(&stream, transport, context, descriptor, port);
    if (status != DC_STATUS_SUCCESS) {
        throw CommunicationException(status, openFailed);
    }
    return TransportStream(stream);
}

bool transportAnsweredStop(const TransportStream &stream) {
    const BleStream *ble = stream.bleStream();
    return ble != nullptr && ble->answeredStop();
}

const char *openingFailureText(const TransportStream &stream) {
    const BleStream *ble = stream.bleStream();
    switch (ble != nullptr ? ble->pin() : BleStream::Pin::NotAsked) {
        case BleStream::Pin::NotGiven:
            return "Error opening device: the dive computer asks for the PIN code it shows, and "
                   "none was given.";
        case BleStream::Pin::Given:
            return "Error opening device: the dive computer refused the PIN code.";
        case BleStream::Pin::NotAsked:
            break;
    }
    return openFailed;
}

dc_status_t openDevice(dc_device_t **device, dc_context_t *context, dc_descriptor_t *descriptor,
                       const char *, const TransportStream &stream) {
    return dc_device_open(device, context, descriptor, stream.get());
}

#else

int transportNumber(dc_descriptor_t *descriptor) {
    return static_cast<int>(dc_descriptor_get_transport(descriptor));
}

TransportStream openTransport(dc_context_t *, dc_descriptor_t *, const char *, const StopRequest &,
                              Application &, CallbackFailure &) {
    return {};
}

bool transportAnsweredStop(const TransportStream &) {
    return false;
}

const char *openingFailureText(const TransportStream &) {
    return "Error opening device.";
}

dc_status_t openDevice(dc_device_t **device, dc_context_t *context, dc_descriptor_t *descriptor,
                       const char *port, const TransportStream &) {
    return dc_device_open(device, context, descriptor, port);
}

#endif

}  // namespace divebridge
