/* SPDX-License-Identifier: MIT */
/* Stand-in for libdivecomputer's device.h (releases 0.5 and 0.6, or 0.7 to 0.9 under
 * DCSIM_GENERATION_B). */
#ifndef DC_DEVICE_H
#define DC_DEVICE_H

#include "common.h"
#include "context.h"
#include "datetime.h"
#include "descriptor.h"
#include "iostream.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef enum dc_event_type_t {
    DC_EVENT_WAITING = 0x01,
    DC_EVENT_PROGRESS = 0x02,
    DC_EVENT_DEVINFO = 0x04,
    DC_EVENT_CLOCK = 0x08,
    DC_EVENT_VENDOR = 0x10
} dc_event_type_t;

typedef struct dc_device_t dc_device_t;

typedef struct dc_event_progress_t {
    unsigned int current;
    unsigned int maximum;
} dc_event_progress_t;

typedef struct dc_event_devinfo_t {
    unsigned int model;
    unsigned int firmware;
    unsigned int serial;
} dc_event_devinfo_t;

typedef struct dc_event_clock_t {
    unsigned int devtime;
    dc_ticks_t systime;
} dc_event_clock_t;

typedef struct dc_event_vendor_t {
    const unsigned char *data;
    unsigned int size;
} dc_event_vendor_t;

typedef int (*dc_cancel_callback_t)(void *userdata);
typedef void (*dc_event_callback_t)(dc_device_t *device, dc_event_type_t event, const void *data,
                                    void *userdata);
typedef int (*dc_dive_callback_t)(const unsigned char *data, unsigned int size,
                                  const unsigned char *fingerprint, unsigned int fsize,
                                  void *userdata);

#ifdef DCSIM_GENERATION_B
/* The device uses the stream without owning it: close the stream after the device. */
dc_status_t dc_device_open(dc_device_t **device, dc_context_t *context, dc_descriptor_t *descriptor,
                           dc_iostream_t *iostream);
#else
dc_status_t dc_device_open(dc_device_t **device, dc_context_t *context, dc_descriptor_t *descriptor,
                           const char *name);
#endif
dc_status_t dc_device_set_cancel(dc_device_t *device, dc_cancel_callback_t callback,
                                 void *userdata);
dc_status_t dc_device_set_events(dc_device_t *device, unsigned int events,
                                 dc_event_callback_t callback, void *userdata);
dc_status_t dc_device_set_fingerprint(dc_device_t *device, const unsigned char data[],
                                      unsigned int size);
dc_status_t dc_device_foreach(dc_device_t *device, dc_dive_callback_t callback, void *userdata);
dc_status_t dc_device_close(dc_device_t *device);

#ifdef __cplusplus
}
#endif
#endif
