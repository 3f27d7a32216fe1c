// The device calls whose form changed between libdivecomputer releases, in one form for the rest
// of the bridge. Releases 0.5 and 0.6 open a device on a port name and give each model one
// transport number; 0.7 and later open a transport stream first and give each model a set of
// transport flags.
#pragma once

#include <libdivecomputer/context.h>
#include <libdivecomputer/descriptor.h>
#include <libdivecomputer/device.h>
#include <libdivecomputer/version.h>
#if DC_VERSION_CHECK(0, 7, 0)
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
struct StreamClose {
    void operator()(dc_iostream_t *stream) const { dc_iostream_close(stream); }
};
// The transport a device was opened on; closed after the device.
using TransportStream = std::unique_ptr<dc_iostream_t, StreamClose>;
#else
struct TransportStream {};
#endif

// Opens the transport `port` names for the model. Raises CommunicationException when it cannot be
// opened, or when the model can only be reached in a way a port text cannot name (Bluetooth Low
// Energy needs a connection the application supplies).
TransportStream openTransport(dc_context_t *context, dc_descriptor_t *descriptor, const char *port);

// Opens the device on the transport; answers libdivecomputer's status.
dc_status_t openDevice(dc_device_t **device, dc_context_t *context, dc_descriptor_t *descriptor,
                       const char *port, const TransportStream &stream);

}  // namespace divebridge
