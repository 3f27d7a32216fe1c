// SPDX-License-Identifier: MIT
// The device calls whose form changed between libdivecomputer releases, in one form for the rest
// of the bridge. Releases 0.5 and 0.6 open a device on a port name and give each model one
// transport number; 0.7 and later open a transport stream first and give each model a set of
// transport flags.
#pragma once

#include "base/libdivecomputer_handles.h"
#include "device/application.h"
#include "device/callback_failure.h"
#include "device/interruption.h"

#include <libdivecomputer/context.h>
#include <libdivecomputer/descriptor.h>
#include <libdivecomputer/device.h>
#include <libdivecomputer/version.h>
#if DC_VERSION_CHECK(0, 7, 0)
#include "device/ble/ble_stream.h"

#include <libdivecomputer/iostream.h>
#endif

#include <memory>

namespace divebridge {

// The transport number handed to Java for a model. From 0.7 on it is one flag of the model's set:
// the lowest, which is also the transport a port text opens first (serial before USB, USB HID,
// IrDA, Bluetooth and Bluetooth Low Energy); a model without any gives DC_TRANSPORT_NONE, and a set
// holding flags this build does not know is passed whole.
int transportNumber(dc_descriptor_t *descriptor);

#if DC_VERSION_CHECK(0, 7, 0)
// The transport a device was opened on, closed after the device; for BLE also the stream whose
// callbacks libdivecomputer calls, which lives until the transport is closed.
class TransportStream {
  public:
    TransportStream() = default;
    explicit TransportStream(dc_iostream_t *stream) : stream(stream) {}
    TransportStream(std::unique_ptr<BleStream> ble, dc_iostream_t *stream)
        : ble(std::move(ble)), stream(stream) {}
    TransportStream(TransportStream &&) = default;
    // Closes what it held as the destructor does: the stream, whose close calls the BLE stream,
    // before the BLE stream (a defaulted assignment would free them in declaration order).
    TransportStream &operator=(TransportStream &&other) noexcept {
        stream.reset();
        ble = std::move(other.ble);
        stream = std::move(other.stream);
        return *this;
    }

    dc_iostream_t *get() const { return stream.get(); }
    // The BLE stream, when the transport is one; null otherwise.
    BleStream *bleStream() const { return ble.get(); }

  private:
    std::unique_ptr<BleStream> ble;  // declared first: the stream calls it while it is closed
    StreamHandle stream;
};
#else
class BleStream;

struct TransportStream {
    // Releases 0.5 and 0.6 have no BLE.
    BleStream *bleStream() const { return nullptr; }
};
#endif

// Opens the transport `port` names for the model. Raises CommunicationException when it cannot be
// opened, or when the model can only be reached in a way the port text cannot name. A BLE
// transport takes `stop` (a stop ends a scan or a connection at once), `application` (asked for a
// PIN or an access code, or which of the dive computers a scan found to open) and `failure`, which
// holds what the application raises then. Raises BleChoiceDeclined when the application chose none.
TransportStream openTransport(dc_context_t *context, dc_descriptor_t *descriptor, const char *port,
                              const StopRequest &stop, Application &application,
                              CallbackFailure &failure);

// Raised when the application, asked which of the dive computers a scan found to open, chose none:
// the opening ends as a stop ends it.
struct BleChoiceDeclined {};

// Whether the transport answered libdivecomputer a stop (a BLE wait cut short), whatever status the
// backend then made of it.
bool transportAnsweredStop(const TransportStream &stream);

// The text of a failed opening: for a dive computer that asked for its PIN, what came of that.
const char *openingFailureText(const TransportStream &stream);

// Opens the device on the transport; answers libdivecomputer's status.
dc_status_t openDevice(dc_device_t **device, dc_context_t *context, dc_descriptor_t *descriptor,
                       const char *port, const TransportStream &stream);

}  // namespace divebridge
