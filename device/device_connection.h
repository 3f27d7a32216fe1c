// One open dive computer: the device handle, its event and cancellation hooks, the download of
// every dive on it and the serial text for the Java side.
#pragma once

#include "device/device_adapter.h"
#include "device/dive_computer.h"
#include "parse/dive_record.h"

#include <libdivecomputer/device.h>

#include <exception>
#include <memory>
#include <vector>

namespace divebridge {

// What the event callback learns of the device during a download.
struct DeviceIdentity {
    dc_event_devinfo_t devinfo{};
    bool received = false;
};

// The records of one download, in the order libdivecomputer delivered the dives.
struct DiveDownload {
    std::vector<DiveRecord> dives;
};

class DeviceConnection {
  public:
    // Clears cancelRequested and opens the device. Raises CommunicationException when the device
    // cannot be opened, Exception when a hook cannot be registered (the device is closed again).
    explicit DeviceConnection(const DiveComputer &computer);

    DeviceConnection(const DeviceConnection &) = delete;
    DeviceConnection &operator=(const DeviceConnection &) = delete;

    // Downloads every dive. Raises CommunicationException when libdivecomputer fails, and lets a
    // parse failure of a dive through unchanged.
    std::unique_ptr<DiveDownload> download();

    // "Unknown" until a download has received the device's identity.
    const char *serialText() const { return serial; }

  private:
    struct DeviceClose {
        void operator()(dc_device_t *device) const;
    };

    TransportStream stream;  // closed after the device
    std::unique_ptr<dc_device_t, DeviceClose> device;
    char serial[16] = "Unknown";
    DeviceIdentity identity;  // written by onDeviceEvent on the download's thread
};

// libdivecomputer's event callback: prints progress and identity lines; `userdata` is the
// connection's DeviceIdentity, which a DC_EVENT_DEVINFO event fills.
void onDeviceEvent(dc_device_t *device, dc_event_type_t event, const void *data, void *userdata);

// A download in progress: the device each dive's parser is made on, and the records so far. A
// parse failure inside the dive callback is held here, since it must not unwind through
// libdivecomputer's C frames, and raised again once dc_device_foreach has returned.
struct DiveDownloadRun {
    dc_device_t *device;  // borrowed from the connection for the length of dc_device_foreach
    DiveDownload &download;
    std::exception_ptr failure;
};

// libdivecomputer's dive callback; `userdata` is a DiveDownloadRun. Answers 0 to stop.
int diveCallback(const unsigned char *data, unsigned int size, const unsigned char *fingerprint,
                 unsigned int fingerprintSize, void *userdata);

}  // namespace divebridge
