/* SPDX-License-Identifier: MIT */
/* Stand-in for libdivecomputer's serial.h (release 0.7 on). Under generation A (releases 0.5 and
 * 0.6, which had no such header) it declares nothing. */
#ifndef DC_SERIAL_H
#define DC_SERIAL_H

#ifdef DCSIM_GENERATION_B

#include "common.h"
#include "context.h"
#include "iostream.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Opens the serial port with this name (for the simulator: the path of an image). */
dc_status_t dc_serial_open(dc_iostream_t **iostream, dc_context_t *context, const char *name);

#ifdef __cplusplus
}
#endif
#endif
#endif
