/* SPDX-License-Identifier: MIT */
/* Stand-in for libdivecomputer's usbhid.h (release 0.7 on). Under generation A (releases 0.5 and
 * 0.6, which had no such header) it declares nothing. */
#ifndef DC_USBHID_H
#define DC_USBHID_H

#ifdef DCSIM_GENERATION_B

#include "common.h"
#include "context.h"
#include "descriptor.h"
#include "iostream.h"
#include "iterator.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A USB HID device found by dc_usbhid_iterator_new; released with dc_usbhid_device_free. */
typedef struct dc_usbhid_device_t dc_usbhid_device_t;

/* Lists the attached USB HID devices of this model; dc_iterator_next yields dc_usbhid_device_t
 * handles. */
dc_status_t dc_usbhid_iterator_new(dc_iterator_t **iterator, dc_context_t *context,
                                   dc_descriptor_t *descriptor);
dc_status_t dc_usbhid_open(dc_iostream_t **iostream, dc_context_t *context,
                           dc_usbhid_device_t *device);
void dc_usbhid_device_free(dc_usbhid_device_t *device);

#ifdef __cplusplus
}
#endif
#endif
#endif
