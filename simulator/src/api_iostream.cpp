// SPDX-License-Identifier: MIT
// C API (generation B): streams opened on an image by serial port name, IrDA address or Bluetooth
// address, and the closing of every stream.
#include "api_checks.h"
#include "trace.h"
#include "transports.h"

#include <libdivecomputer/bluetooth.h>
#include <libdivecomputer/iostream.h>
#include <libdivecomputer/irda.h>
#include <libdivecomputer/serial.h>

#include <cstdio>

using namespace dcsim;

namespace {

// Opens a stream of this transport on the image locate() names. The context is optional, as in
// libdivecomputer.
template <typename Locate>
dc_status_t openStreamOn(dc_iostream_t **iostream, dc_context_t *context, dc_transport_t transport,
                         Locate &&locate) {
    return answerStatus([&] {
        if (!clearResult(iostream) || !isAbsentOrLive(context)) {
            return DC_STATUS_INVALIDARGS;
        }
        auto stream = openStream(locate(), transport);
        *iostream =
            publishHandle(std::make_unique<dc_iostream_t>(dc_iostream_t{std::move(stream)}));
        return DC_STATUS_SUCCESS;
    });
}

}  // namespace

extern "C" {

dc_status_t dc_serial_open(dc_iostream_t **iostream, dc_context_t *context, const char *name) {
    const dc_status_t status = openStreamOn(iostream, context, DC_TRANSPORT_SERIAL, [&] {
        if (name == nullptr) {
            throw StatusError(DC_STATUS_INVALIDARGS, "no port name");
        }
        return std::string(name);
    });
    return traceStatus("dc_serial_open", name != nullptr ? name : "(null)", status);
}

dc_status_t dc_irda_open(dc_iostream_t **iostream, dc_context_t *context, unsigned int address,
                         unsigned int lsap) {
    const dc_status_t status =
        openStreamOn(iostream, context, DC_TRANSPORT_IRDA, [&] { return irdaImagePath(address); });
    char args[32];
    std::snprintf(args, sizeof args, "%u %u", address, lsap);
    return traceStatus("dc_irda_open", args, status);
}

dc_bluetooth_address_t dc_bluetooth_str2addr(const char *address) {
    dc_bluetooth_address_t parsed = 0;
    try {
        parsed = address != nullptr ? parseBluetoothAddress(address) : 0;
    } catch (...) {
        // Out of memory: no address.
    }
    traceCall("dc_bluetooth_str2addr", address != nullptr ? address : "(null)");
    return parsed;
}

dc_status_t dc_bluetooth_open(dc_iostream_t **iostream, dc_context_t *context,
                              dc_bluetooth_address_t address, unsigned int port) {
    const dc_status_t status = openStreamOn(iostream, context, DC_TRANSPORT_BLUETOOTH,
                                            [&] { return bluetoothImagePath(address); });
    char args[48];
    std::snprintf(args, sizeof args, "%s %u", formatBluetoothAddress(address).data(), port);
    return traceStatus("dc_bluetooth_open", args, status);
}

// Closing a stream a device still uses leaves that device without a transport: its downloads
// and its close then answer IO, as a real device would once its port is gone. A custom stream's
// close callback runs here, once, and its status is the answer.
dc_status_t dc_iostream_close(dc_iostream_t *iostream) {
    const dc_status_t status = releaseHandle(iostream, [](dc_iostream_t &owned) {
        const dc_status_t closed = owned.stream->close();
        if (owned.stream.use_count() > 1) {
            std::fprintf(stderr, "dcsim: a stream was closed before the device opened on it\n");
        }
        return closed;
    });
    return traceStatus("dc_iostream_close", status);
}

}  // extern "C"
