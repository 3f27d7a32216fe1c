// SPDX-License-Identifier: MIT
// One open dive computer: the device handle, its event and cancellation hooks, the download of
// every dive on it and the serial text for the Java side.
#pragma once

#include "base/bytes.h"
#include "device/application.h"
#include "device/callback_failure.h"
#include "device/device_adapter.h"
#include "device/dive_computer.h"
#include "device/interruption.h"
#include "parse/dive_record.h"

#include <libdivecomputer/device.h>

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
    // The fingerprint of the first dive delivered, the newest: where the next download may stop.
    Bytes newestFingerprint;
    // A stop ended the download before the dive computer had delivered every dive.
    bool stopped = false;
};

// What libdivecomputer's event, cancellation and dive callbacks share; the connection registers
// it as the user data of each. A failure inside a callback (a parse failure, a listener that
// raised) goes to the dive computer's holder, and is raised once dc_device_foreach has returned.
struct DiveDownloadRun {
    // `failure` holds what a callback raises; the application is a silent one until set.
    explicit DiveDownloadRun(CallbackFailure &failure) : failure(&failure) {}

    dc_device_t *device = nullptr;  // the connection's; each dive's parser is made on it
    DeviceIdentity identity;
    DiveDownload *download = nullptr;                 // the download under way; null outside one
    Application *application = &silentApplication();  // the dive computer's
    DetailKinds details;  // what the application takes of each dive beyond its own
    bool fingerprintAsked = false;
    CallbackFailure *failure;  // the dive computer's, which its log shares
    StopRequest stop;
};

class DeviceConnection {
  public:
    // Opens the device. Raises CommunicationException when the device cannot be opened, Exception
    // when a hook cannot be registered (the device is closed again). When `stop` is requested
    // before the opening has succeeded, any failure to open is the stop's: the connection then
    // holds no device and its download brings no dive. What the opening and the downloads ask of
    // the application (a PIN, the progress, the kept fingerprint) goes to the computer's.
    explicit DeviceConnection(const DiveComputer &computer, StopRequest stop = StopRequest());

    DeviceConnection(const DeviceConnection &) = delete;
    DeviceConnection &operator=(const DeviceConnection &) = delete;

    // Downloads every dive newer than the one whose fingerprint the application kept, telling it
    // of the progress when it wants. A stop request ends the download early with the dives
    // completed before it. Raises CommunicationException when libdivecomputer fails, and lets a
    // parse failure or the application's failure through unchanged.
    std::unique_ptr<DiveDownload> download();

    // "Unknown" until a download has received the device's identity.
    const char *serialText() const { return serial; }

  private:
    void open(const DiveComputer &computer);
    void registerHooks();

    TransportStream stream;  // closed after the device
    DeviceHandle device;
    char serial[16] = "Unknown";
    DiveDownloadRun run;  // the hooks' user data: touched on the download's thread only
};

// libdivecomputer's event callback: prints progress and identity lines, keeps the device's
// identity and tells the listener of the progress; `userdata` is a DiveDownloadRun.
void onDeviceEvent(dc_device_t *device, dc_event_type_t event, const void *data, void *userdata);

// libdivecomputer's dive callback; `userdata` is a DiveDownloadRun. Answers 0 to stop.
int diveCallback(const unsigned char *data, unsigned int size, const unsigned char *fingerprint,
                 unsigned int fingerprintSize, void *userdata);

// libdivecomputer's cancellation callback; `userdata` is a DiveDownloadRun. Asks to abandon the
// transfer once a stop is requested or a callback has failed, so that the transfer ends at its
// next check instead of after the whole memory has been read.
int cancelCallback(void *userdata);

}  // namespace divebridge
