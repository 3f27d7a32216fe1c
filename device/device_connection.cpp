// SPDX-License-Identifier: MIT
#include "device/device_connection.h"

#include "base/console.h"
#include "base/native_exception.h"
#include "device/interruption.h"
#include "parse/dive_parsing.h"

#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace divebridge {
namespace {

constexpr unsigned int eventMask =
    DC_EVENT_WAITING | DC_EVENT_PROGRESS | DC_EVENT_DEVINFO | DC_EVENT_CLOCK;

void printProgress(const dc_event_progress_t &progress) {
    const double percentage =
        static_cast<double>(progress.current) * 100.0 / static_cast<double>(progress.maximum);
    if (std::isfinite(percentage)) {
        printConsoleLine("Event: progress %3.2f%% (%u/%u)\n", percentage, progress.current,
                         progress.maximum);
    } else {
        // A device that announces no total (maximum 0) has no meaningful percentage.
        printConsoleLine("Event: progress unknown (%u/%u)\n", progress.current, progress.maximum);
    }
}

void printDevinfo(const dc_event_devinfo_t &devinfo) {
    printConsoleLine("Event: model=%u (0x%08x), firmware=%u (0x%08x), serial=%u (0x%08x)\n",
                     devinfo.model, devinfo.model, devinfo.firmware, devinfo.firmware,
                     devinfo.serial, devinfo.serial);
}

void printClock(const dc_event_clock_t &clock) {
    printConsoleLine("Event: systime=%" PRId64 ", devtime=%u\n",
                     static_cast<std::int64_t>(clock.systime), clock.devtime);
}

// A callback or the context's log failed: the Java exception that failure raised must stay
// pending, untouched, until the download has returned.
bool hasFailed(const DiveDownloadRun &run) {
    return run.failure->held();
}

// The listener hears of progress only while nothing has failed.
void reportProgress(DiveDownloadRun &run, const dc_event_progress_t &progress) {
    if (run.application->wantsProgress()) {
        run.failure->capture(
            [&] { run.application->progress(progress.current, progress.maximum); });
    }
}

// The serial number as the Java side gets it: unsigned decimal.
void formatSerial(const dc_event_devinfo_t &devinfo, char (&text)[16]) {
    std::snprintf(text, sizeof text, "%u", devinfo.serial);
}

// Hands libdivecomputer the fingerprint the application kept for this dive computer, so that the
// transfer stops at the newest dive it has. One that libdivecomputer refuses (kept for another
// model, say) is left aside: then every dive comes.
void applyKeptFingerprint(DiveDownloadRun &run) {
    if (hasFailed(run) || run.fingerprintAsked) {
        return;
    }
    run.fingerprintAsked = true;
    run.failure->capture([&] {
        char serial[16];
        formatSerial(run.identity.devinfo, serial);
        const Bytes kept = run.application->fingerprintFor(serial);
        if (kept.empty()) {
            return;
        }
        const dc_status_t status = dc_device_set_fingerprint(
            run.device, kept.data(), static_cast<unsigned int>(kept.size()));
        if (status != DC_STATUS_SUCCESS) {
            printConsoleLine("Event: fingerprint refused (%" PRId64 "), downloading every dive\n",
                             static_cast<std::int64_t>(status));
        }
    });
}

// Whether the download must end now: something failed, or a stop was asked for.
bool mustStop(const DiveDownloadRun &run) {
    return hasFailed(run) || run.stop.requested();
}

}  // namespace

void onDeviceEvent(dc_device_t *, dc_event_type_t event, const void *data, void *userdata) {
    auto &run = *static_cast<DiveDownloadRun *>(userdata);
    switch (event) {
        case DC_EVENT_WAITING:
            writeConsoleLine("Event: waiting for user action");
            break;
        case DC_EVENT_PROGRESS: {
            const auto &progress = *static_cast<const dc_event_progress_t *>(data);
            printProgress(progress);
            reportProgress(run, progress);
            break;
        }
        case DC_EVENT_DEVINFO:
            run.identity.devinfo = *static_cast<const dc_event_devinfo_t *>(data);
            run.identity.received = true;
            printDevinfo(run.identity.devinfo);
            applyKeptFingerprint(run);
            break;
        case DC_EVENT_CLOCK:
            printClock(*static_cast<const dc_event_clock_t *>(data));
            break;
        default:
            break;
    }
}

int diveCallback(const unsigned char *data, unsigned int size, const unsigned char *fingerprint,
                 unsigned int fingerprintSize, void *userdata) {
    auto &run = *static_cast<DiveDownloadRun *>(userdata);
    if (mustStop(run)) {
        return 0;
    }
    const bool kept = run.failure->capture([&] {
        DiveRecord record = parseDiveData(run.device, data, size, run.details);
        DiveDownload &download = *run.download;
        if (download.dives.empty() && fingerprint != nullptr) {
            download.newestFingerprint.assign(fingerprint, fingerprint + fingerprintSize);
        }
        download.dives.push_back(std::move(record));
    });
    return kept ? 1 : 0;
}

int cancelCallback(void *userdata) {
    return mustStop(*static_cast<DiveDownloadRun *>(userdata)) ? 1 : 0;
}

DeviceConnection::DeviceConnection(const DiveComputer &computer, StopRequest stop)
    : run(computer.callbackFailure()) {
    run.stop = stop;
    run.application = &computer.application();
    run.details = run.application->diveDetailsWanted();
    try {
        open(computer);
    } catch (const BleChoiceDeclined &) {
        // The diver chose none of the dive computers in range: as a stop, no failure.
        stream = TransportStream();
        return;
    } catch (const CommunicationException &) {
        // What the application raised when it was asked (a choice, a PIN) comes first.
        run.failure->rethrow();
        if (!run.stop.requested()) {
            throw;
        }
        // The user asked to stop while the device was being reached (a scan or a connection can
        // take seconds): that is a stopped download, not a failure to report.
        stream = TransportStream();
        return;
    }
    registerHooks();
}

void DeviceConnection::open(const DiveComputer &computer) {
    stream = openTransport(computer.contextHandle(), computer.descriptorHandle(),
                           computer.portText(), run.stop, computer.application(), *run.failure);
    dc_device_t *rawDevice = nullptr;
    const dc_status_t opened = openDevice(&rawDevice, computer.contextHandle(),
                                          computer.descriptorHandle(), computer.portText(), stream);
    if (opened != DC_STATUS_SUCCESS) {
        run.failure->rethrow();
        throw CommunicationException(opened, openingFailureText(stream));
    }
    device.reset(rawDevice);
    run.device = rawDevice;
}

void DeviceConnection::registerHooks() {
    const dc_status_t events = dc_device_set_events(device.get(), eventMask, onDeviceEvent, &run);
    if (events != DC_STATUS_SUCCESS) {
        throw Exception(events, "Error registering the event handler.");
    }
    const dc_status_t cancel = dc_device_set_cancel(device.get(), cancelCallback, &run);
    if (cancel != DC_STATUS_SUCCESS) {
        throw Exception(cancel, "Error registering the cancellation handler.");
    }
}

std::unique_ptr<DiveDownload> DeviceConnection::download() {
    auto result = std::make_unique<DiveDownload>();
    if (!device) {
        result->stopped = true;  // a stop ended the opening
        return result;
    }
    run.download = result.get();
    run.fingerprintAsked = false;
    const dc_status_t status = dc_device_foreach(device.get(), diveCallback, &run);
    run.download = nullptr;
    run.failure->rethrow();
    // A transfer abandoned because a stop was asked for is a stopped download, not a failed one;
    // a cancellation nobody asked for stays a failure.
    const bool stopped =
        run.stop.requested() && (status == DC_STATUS_CANCELLED || transportAnsweredStop(stream));
    if (status != DC_STATUS_SUCCESS && !stopped) {
        throw CommunicationException(status, "Error downloading the dives.");
    }
    // A stop the dive callback answered ends foreach without a failure: only a stop request tells.
    result->stopped = run.stop.requested();
    if (run.identity.received) {
        formatSerial(run.identity.devinfo, serial);
    }
    return result;
}

}  // namespace divebridge
