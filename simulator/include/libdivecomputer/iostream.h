/* SPDX-License-Identifier: MIT */
/* Stand-in for libdivecomputer's iostream.h (release 0.7 on). Under generation A (releases 0.5 and
 * 0.6, which had no such header) it declares nothing. */
#ifndef DC_IOSTREAM_H
#define DC_IOSTREAM_H

#ifdef DCSIM_GENERATION_B

#include "common.h"

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* An open transport to a dive computer; a device is opened on one and does not own it. */
typedef struct dc_iostream_t dc_iostream_t;

typedef enum dc_parity_t {
    DC_PARITY_NONE,
    DC_PARITY_ODD,
    DC_PARITY_EVEN,
    DC_PARITY_MARK,
    DC_PARITY_SPACE
} dc_parity_t;

typedef enum dc_stopbits_t {
    DC_STOPBITS_ONE,
    DC_STOPBITS_ONEPOINTFIVE,
    DC_STOPBITS_TWO
} dc_stopbits_t;

typedef enum dc_flowcontrol_t {
    DC_FLOWCONTROL_NONE,
    DC_FLOWCONTROL_HARDWARE,
    DC_FLOWCONTROL_SOFTWARE
} dc_flowcontrol_t;

typedef enum dc_direction_t {
    DC_DIRECTION_NONE = 0x00,
    DC_DIRECTION_INPUT = 0x01,
    DC_DIRECTION_OUTPUT = 0x02,
    DC_DIRECTION_ALL = DC_DIRECTION_INPUT | DC_DIRECTION_OUTPUT
} dc_direction_t;

/* The modem lines get_lines reports. */
typedef enum dc_line_t {
    DC_LINE_DCD = 0x01,
    DC_LINE_CTS = 0x02,
    DC_LINE_DSR = 0x04,
    DC_LINE_RNG = 0x08
} dc_line_t;

dc_transport_t dc_iostream_get_transport(dc_iostream_t *iostream);
/* timeout in milliseconds: < 0 blocks, 0 does not wait. */
dc_status_t dc_iostream_set_timeout(dc_iostream_t *iostream, int timeout);
dc_status_t dc_iostream_set_break(dc_iostream_t *iostream, unsigned int value);
dc_status_t dc_iostream_set_dtr(dc_iostream_t *iostream, unsigned int value);
dc_status_t dc_iostream_set_rts(dc_iostream_t *iostream, unsigned int value);
dc_status_t dc_iostream_get_lines(dc_iostream_t *iostream, unsigned int *value);
dc_status_t dc_iostream_get_available(dc_iostream_t *iostream, size_t *value);
dc_status_t dc_iostream_configure(dc_iostream_t *iostream, unsigned int baudrate,
                                  unsigned int databits, dc_parity_t parity, dc_stopbits_t stopbits,
                                  dc_flowcontrol_t flowcontrol);
/* SUCCESS when data is waiting, TIMEOUT when none came within timeout milliseconds. */
dc_status_t dc_iostream_poll(dc_iostream_t *iostream, int timeout);
dc_status_t dc_iostream_read(dc_iostream_t *iostream, void *data, size_t size, size_t *actual);
dc_status_t dc_iostream_write(dc_iostream_t *iostream, const void *data, size_t size,
                              size_t *actual);
/* request is built with the macros of ioctl.h; size must match a request of fixed size. */
dc_status_t dc_iostream_ioctl(dc_iostream_t *iostream, unsigned int request, void *data,
                              size_t size);
dc_status_t dc_iostream_flush(dc_iostream_t *iostream);
dc_status_t dc_iostream_purge(dc_iostream_t *iostream, dc_direction_t direction);
dc_status_t dc_iostream_sleep(dc_iostream_t *iostream, unsigned int milliseconds);
/* Accepts NULL. Close the stream only after the device opened on it was closed. */
dc_status_t dc_iostream_close(dc_iostream_t *iostream);

#ifdef __cplusplus
}
#endif
#endif
#endif
