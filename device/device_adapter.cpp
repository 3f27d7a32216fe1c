#include "device/device_adapter.h"

#include "base/native_exception.h"

#if DC_VERSION_CHECK(0, 7, 0)
#include <libdivecomputer/bluetooth.h>
#include <libdivecomputer/irda.h>
#include <libdivecomputer/serial.h>
#include <libdivecomputer/usb.h>
#include <libdivecomputer/usbhid.h>

#include <cerrno>
#include <cstdlib>
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

dc_bluetooth_address_t bluetoothAddress(const char *port) {
    return port != nullptr ? dc_bluetooth_str2addr(port) : 0;
}

// The transport a port text opens for a model: Bluetooth when the text is a Bluetooth address the
// model can use, otherwise the model's lowest transport other than Bluetooth Low Energy.
unsigned int chooseTransport(unsigned int transports, const char *port) {
    if ((transports & DC_TRANSPORT_BLUETOOTH) != 0 && bluetoothAddress(port) != 0) {
        return DC_TRANSPORT_BLUETOOTH;
    }
    return lowestFlag(transports & ~static_cast<unsigned int>(DC_TRANSPORT_BLE));
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
            const dc_bluetooth_address_t address = bluetoothAddress(port);
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

TransportStream openTransport(dc_context_t *context, dc_descriptor_t *descriptor,
                              const char *port) {
    const unsigned int transports = dc_descriptor_get_transports(descriptor);
    if (transports == DC_TRANSPORT_NONE) {
        return nullptr;  // the library reaches such a model without a stream
    }
    const unsigned int transport = chooseTransport(transports, port);
    if (transport == 0) {
        throw CommunicationException(DC_STATUS_UNSUPPORTED,
                                     "Error opening device: this model connects only by Bluetooth "
                                     "Low Energy, which a port text cannot open.");
    }
    dc_iostream_t *stream = nullptr;
    const dc_status_t status = openStream(&stream, transport, context, descriptor, port);
    if (status != DC_STATUS_SUCCESS) {
        throw CommunicationException(status, openFailed);
    }
    return TransportStream(stream);
}

dc_status_t openDevice(dc_device_t **device, dc_context_t *context, dc_descriptor_t *descriptor,
                       const char *, const TransportStream &stream) {
    return dc_device_open(device, context, descriptor, stream.get());
}

#else

int transportNumber(dc_descriptor_t *descriptor) {
    return static_cast<int>(dc_descriptor_get_transport(descriptor));
}

TransportStream openTransport(dc_context_t *, dc_descriptor_t *, const char *) {
    return {};
}

dc_status_t openDevice(dc_device_t **device, dc_context_t *context, dc_descriptor_t *descriptor,
                       const char *port, const TransportStream &) {
    return dc_device_open(device, context, descriptor, port);
}

#endif

}  // namespace divebridge
