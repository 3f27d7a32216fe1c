// SPDX-License-Identifier: MIT
// C API: devices, opened on the path of a dive computer image (generation A) or on a stream
// opened on one (B).
#ifdef DCSIM_GENERATION_B
#include "ble_backend.h"
#endif
#include "api_checks.h"
#include "trace.h"

#include <libdivecomputer/device.h>

#include <cstdio>
#include <string>

using namespace dcsim;

namespace {

template <typename Body>
dc_status_t onDevice(dc_device_t *device, Body &&body) noexcept {
    return onLive(device, [&](dc_device_t &live) { return body(live.device); });
}

LogTarget logOf(dc_context_t *context) {
    return isLive(context) ? LogTarget{context, &context->log} : LogTarget{};
}

dc_device_t *publishDevice(Device device, const LogTarget &log) {
    device.setLog(log);
    return publishHandle(std::make_unique<dc_device_t>(dc_device_t{std::move(device)}));
}

dc_status_t closeDevice(dc_device_t &owned) {
    return owned.device.close();
}

}  // namespace

extern "C" {

#ifdef DCSIM_GENERATION_B
// A stream holding an image opens at once; on any other the peripheral is greeted (and unlocked)
// over the simulator's BLE protocol, and its advertised name goes into the trace.
dc_status_t dc_device_open(dc_device_t **device, dc_context_t *context, dc_descriptor_t *descriptor,
                           dc_iostream_t *iostream) {
    std::string name;
    const LogTarget log = logOf(context);
    const dc_status_t status = answerLogged(log, __func__, __FILE__, __LINE__, [&] {
        if (!clearResult(device) || !isLive(context) || !isLive(descriptor) || !isLive(iostream)) {
            return DC_STATUS_INVALIDARGS;
        }
        const auto &stream = iostream->stream;
        if (const auto image = stream->image()) {
            acceptImage(*image, descriptor->info);
            *device = publishDevice(Device(image, stream), log);
            return DC_STATUS_SUCCESS;
        }
        auto backend = std::make_unique<BleBackend>(stream);
        backend->open();
        name = backend->name();
        *device = publishDevice(Device(std::move(backend), descriptor->info, stream), log);
        return DC_STATUS_SUCCESS;
    });
    return traceStatus("dc_device_open", name.empty() ? nullptr : name.c_str(), status);
}
#else
dc_status_t dc_device_open(dc_device_t **device, dc_context_t *context, dc_descriptor_t *descriptor,
                           const char *name) {
    const LogTarget log = logOf(context);
    const dc_status_t status = answerLogged(log, __func__, __FILE__, __LINE__, [&] {
        if (!clearResult(device) || !isLive(context) || !isLive(descriptor) || name == nullptr) {
            return DC_STATUS_INVALIDARGS;
        }
        auto image = std::make_shared<const Image>(loadImage(name));
        acceptImage(*image, descriptor->info);
        *device = publishDevice(Device(std::move(image), nullptr), log);
        return DC_STATUS_SUCCESS;
    });
    return traceStatus("dc_device_open", name != nullptr ? name : "(null)", status);
}
#endif

dc_status_t dc_device_set_cancel(dc_device_t *device, dc_cancel_callback_t callback,
                                 void *userdata) {
    const dc_status_t status =
        onDevice(device, [&](Device &d) { return d.setCancel(callback, userdata); });
    return traceStatus("dc_device_set_cancel", status);
}

dc_status_t dc_device_set_events(dc_device_t *device, unsigned int events,
                                 dc_event_callback_t callback, void *userdata) {
    const dc_status_t status =
        onDevice(device, [&](Device &d) { return d.setEvents(events, callback, userdata); });
    char mask[16];
    std::snprintf(mask, sizeof mask, "%u", events);
    return traceStatus("dc_device_set_events", mask, status);
}

dc_status_t dc_device_set_fingerprint(dc_device_t *device, const unsigned char data[],
                                      unsigned int size) {
    const dc_status_t status = onDevice(device, [&](Device &d) {
        return data == nullptr && size != 0 ? DC_STATUS_INVALIDARGS : d.setFingerprint(data, size);
    });
    return traceStatus("dc_device_set_fingerprint", status);
}

dc_status_t dc_device_foreach(dc_device_t *device, dc_dive_callback_t callback, void *userdata) {
    const LogTarget log = isLive(device) ? device->device.log() : LogTarget{};
    const dc_status_t status = answerLogged(log, __func__, __FILE__, __LINE__, [&] {
        return isLive(device) ? device->device.foreach (device, callback, userdata)
                              : DC_STATUS_INVALIDARGS;
    });
    return traceStatus("dc_device_foreach", status);
}

dc_status_t dc_device_close(dc_device_t *device) {
    return traceStatus("dc_device_close", releaseHandle(device, closeDevice));
}

}  // extern "C"
