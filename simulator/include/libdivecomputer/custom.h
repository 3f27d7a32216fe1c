/* SPDX-License-Identifier: MIT */
/* Stand-in for libdivecomputer's custom.h (release 0.7 on): a stream whose transport the
 * application supplies through callbacks, as it must for Bluetooth Low Energy. Under generation A
 * (releases 0.5 and 0.6, which had no such header) it declares nothing. */
#ifndef DC_CUSTOM_H
#define DC_CUSTOM_H

#ifdef DCSIM_GENERATION_B

#include "common.h"
#include "context.h"
#include "iostream.h"

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* One callback per dc_iostream_* call; each gets the userdata given to dc_custom_open. A NULL
 * callback makes its call answer DC_STATUS_SUCCESS. */
typedef struct dc_custom_cbs_t {
    dc_status_t (*set_timeout)(void *userdata, int timeout);
    dc_status_t (*set_break)(void *userdata, unsigned int value);
    dc_status_t (*set_dtr)(void *userdata, unsigned int value);
    dc_status_t (*set_rts)(void *userdata, unsigned int value);
    dc_status_t (*get_lines)(void *userdata, unsigned int *value);
    dc_status_t (*get_available)(void *userdata, size_t *value);
    dc_status_t (*configure)(void *userdata, unsigned int baudrate, unsigned int databits,
                             dc_parity_t parity, dc_stopbits_t stopbits,
                             dc_flowcontrol_t flowcontrol);
    dc_status_t (*poll)(void *userdata, int timeout);
    dc_status_t (*read)(void *userdata, void *data, size_t size, size_t *actual);
    dc_status_t (*write)(void *userdata, const void *data, size_t size, size_t *actual);
    dc_status_t (*ioctl)(void *userdata, unsigned int request, void *data, size_t size);
    dc_status_t (*flush)(void *userdata);
    dc_status_t (*purge)(void *userdata, dc_direction_t direction);
    dc_status_t (*sleep)(void *userdata, unsigned int milliseconds);
    dc_status_t (*close)(void *userdata);
} dc_custom_cbs_t;

/* The stream keeps the callbacks pointer: the structure must outlive the stream. */
dc_status_t dc_custom_open(dc_iostream_t **iostream, dc_context_t *context,
                           dc_transport_t transport, const dc_custom_cbs_t *callbacks,
                           void *userdata);

#ifdef __cplusplus
}
#endif
#endif
#endif
