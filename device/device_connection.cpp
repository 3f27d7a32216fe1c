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

}  // namespace

void onDeviceEvent(dc_device_t *, dc_event_type_t event, const void *data, void *userdata) {
    switch (event) {
        case DC_EVENT_WAITING:
            writeConsoleLine("Event: waiting for user action");
            break;
        case DC_EVENT_PROGRESS:
            printProgress(*static_cast<const dc_event_progress_t *>(data));
            break;
        case DC_EVENT_DEVINFO: {
            auto &identity = *static_cast<DeviceIdentity *>(userdata);
            identity.devinfo = *static_cast<const dc_event_devinfo_t *>(data);
            identity.received = true;
            printDevinfo(identity.devinfo);
            break;
        }
        case DC_EVENT_CLOCK:
            printClock(*static_cast<const dc_event_clock_t *>(data));
            break;
        default:
            break;
    }
}

int diveCallback(const unsigned char *data, unsigned int size, const unsigned char *, unsigned int,
                 void *userdata) {
    auto &run = *static_cast<DiveDownloadRun *>(userdata);
    if (run.failure || cancelRequested.load(std::memory_order_relaxed)) {
        return 0;
    }
    try {
        run.download.dives.push_back(parseDiveData(run.device, data, size));
        return 1;
    } catch (...) {
        run.failure = std::current_exception();
        return 0;
    }
}

void DeviceConnection::DeviceClose::operator()(dc_device_t *device) const {
    const dc_status_t status = dc_device_close(device);
    if (status != DC_STATUS_SUCCESS) {
        printConsoleLine("Error closing the device (%" PRId64 ").\n",
                         static_cast<std::int64_t>(status));
    }
}

DeviceConnection::DeviceConnection(const DiveComputer &computer) {
    cancelRequested.store(false, std::memory_order_relaxed);

    stream =
        openTransport(computer.contextHandle(), computer.descriptorHandle(), computer.portText());
    dc_device_t *rawDevice = nullptr;
    const dc_status_t opened = openDevice(&rawDevice, computer.contextHandle(),
                                          computer.descriptorHandle(), computer.portText(), stream);
    if (opened != DC_STATUS_SUCCESS) {
        throw CommunicationException(opened, "Error opening device.");
    }
    device.reset(rawDevice);

    const dc_status_t events =
        dc_device_set_events(device.get(), eventMask, onDeviceEvent, &identity);
    if (events != DC_STATUS_SUCCESS) {
        throw Exception(events, "Error registering the event handler.");
    }
    const dc_status_t cancel = dc_device_set_cancel(device.get(), cancelCallback, nullptr);
    if (cancel != DC_STATUS_SUCCESS) {
        throw Exception(cancel, "Error registering the cancellation handler.");
    }
}

std::unique_ptr<DiveDownload> DeviceConnection::download() {
    auto result = std::make_unique<DiveDownload>();
    DiveDownloadRun run{device.get(), *result, nullptr};
    const dc_status_t status = dc_device_foreach(device.get(), diveCallback, &run);
    if (run.failure) {
        std::rethrow_exception(run.failure);
    }
    if (status != DC_STATUS_SUCCESS) {
        throw CommunicationException(status, "Error downloading the dives.");
    }
    if (identity.received) {
        std::snprintf(serial, sizeof serial, "%u", identity.devinfo.serial);
    }
    return result;
}

}  // namespace divebridge
