/* SPDX-License-Identifier: MIT */
/* Stand-in for libdivecomputer's usb.h (release 0.7 on). Under generation A (releases 0.5 and
 * 0.6, which had no such header) it declares nothing. */
#ifndef DC_USB_H
#define DC_USB_H

#ifdef DCSIM_GENERATION_B

#include "common.h"
#include "context.h"
#include "descriptor.h"
#include "iostream.h"
#include "iterator.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A USB device found by dc_usb_iterator_new; released with dc_usb_device_free. */
typedef struct dc_usb_device_t dc_usb_device_t;

/* Lists the attached USB devices of this model; dc_iterator_next yields dc_usb_device_t handles. */
dc_status_t dc_usb_iterator_new(dc_iterator_t **iterator, dc_context_t *context,
                                dc_descriptor_t *descriptor);
dc_status_t dc_usb_open(dc_iostream_t **iostream, dc_context_t *context, dc_usb_device_t *device);
void dc_usb_device_free(dc_usb_device_t *device);

#ifdef __cplusplus
}
#endif
#endif
#endif
