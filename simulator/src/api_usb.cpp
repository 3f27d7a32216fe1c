// SPDX-License-Identifier: MIT
// C API (generation B): USB and USB HID devices, enumerated from the images listed in DCSIM_USB.
#include "api_checks.h"
#include "trace.h"
#include "transports.h"

#include <libdivecomputer/usb.h>
#include <libdivecomputer/usbhid.h>

using namespace dcsim;

namespace {

// The context is optional; without a descriptor every image of DCSIM_USB is listed.
template <typename UsbDevice>
dc_status_t newUsbIterator(dc_iterator_t **iterator, dc_context_t *context,
                           dc_descriptor_t *descriptor) {
    return answerStatus([&] {
        if (!clearResult(iterator) || !isAbsentOrLive(context) || !isAbsentOrLive(descriptor)) {
            return DC_STATUS_INVALIDARGS;
        }
        PathList paths(usbImagePaths(descriptor != nullptr ? &descriptor->info : nullptr));
        *iterator = publishHandle<dc_iterator_t>(
            std::make_unique<PublishingIterator<UsbDevice, PathList>>(std::move(paths)));
        return DC_STATUS_SUCCESS;
    });
}

template <typename UsbDevice>
dc_status_t openUsbStream(dc_iostream_t **iostream, dc_context_t *context, UsbDevice *device,
                          dc_transport_t transport) {
    return answerStatus([&] {
        if (!clearResult(iostream) || !isAbsentOrLive(context) || !isLive(device)) {
            return DC_STATUS_INVALIDARGS;
        }
        *iostream = publishHandle(
            std::make_unique<dc_iostream_t>(dc_iostream_t{openStream(device->path, transport)}));
        return DC_STATUS_SUCCESS;
    });
}

// The device's image path as the trace argument.
template <typename UsbDevice>
const char *pathOf(const UsbDevice *device) {
    return isLive(device) ? device->path.c_str() : "(invalid)";
}

}  // namespace

extern "C" {

dc_status_t dc_usb_iterator_new(dc_iterator_t **iterator, dc_context_t *context,
                                dc_descriptor_t *descriptor) {
    return traceStatus("dc_usb_iterator_new",
                       newUsbIterator<dc_usb_device_t>(iterator, context, descriptor));
}

dc_status_t dc_usb_open(dc_iostream_t **iostream, dc_context_t *context, dc_usb_device_t *device) {
    const dc_status_t status = openUsbStream(iostream, context, device, DC_TRANSPORT_USB);
    return traceStatus("dc_usb_open", pathOf(device), status);
}

void dc_usb_device_free(dc_usb_device_t *device) {
    discardHandle(device);
    traceCall("dc_usb_device_free");
}

dc_status_t dc_usbhid_iterator_new(dc_iterator_t **iterator, dc_context_t *context,
                                   dc_descriptor_t *descriptor) {
    return traceStatus("dc_usbhid_iterator_new",
                       newUsbIterator<dc_usbhid_device_t>(iterator, context, descriptor));
}

dc_status_t dc_usbhid_open(dc_iostream_t **iostream, dc_context_t *context,
                           dc_usbhid_device_t *device) {
    const dc_status_t status = openUsbStream(iostream, context, device, DC_TRANSPORT_USBHID);
    return traceStatus("dc_usbhid_open", pathOf(device), status);
}

void dc_usbhid_device_free(dc_usbhid_device_t *device) {
    discardHandle(device);
    traceCall("dc_usbhid_device_free");
}

}  // extern "C"
