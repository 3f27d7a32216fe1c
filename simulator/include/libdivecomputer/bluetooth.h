/* SPDX-License-Identifier: MIT */
/* Stand-in for libdivecomputer's bluetooth.h (release 0.7 on). Under generation A (releases 0.5 and
 * 0.6, which had no such header) it declares nothing. */
#ifndef DC_BLUETOOTH_H
#define DC_BLUETOOTH_H

#ifdef DCSIM_GENERATION_B

#include "common.h"
#include "context.h"
#include "iostream.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A Bluetooth device address, the six bytes of "01:23:45:67:89:AB" in this order. */
typedef unsigned long long dc_bluetooth_address_t;

/* The address written as "01:23:45:67:89:AB" (hex digits of either case); 0 when malformed. */
dc_bluetooth_address_t dc_bluetooth_str2addr(const char *address);
/* Opens an RFCOMM connection to the device at address on this port (channel). */
dc_status_t dc_bluetooth_open(dc_iostream_t **iostream, dc_context_t *context,
                              dc_bluetooth_address_t address, unsigned int port);

#ifdef __cplusplus
}
#endif
#endif
#endif
