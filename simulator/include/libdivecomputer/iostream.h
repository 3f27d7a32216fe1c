/* Stand-in for libdivecomputer's iostream.h (release 0.7 on). Under generation A (releases 0.5 and
 * 0.6, which had no such header) it declares nothing. */
#ifndef DC_IOSTREAM_H
#define DC_IOSTREAM_H

#ifdef DCSIM_GENERATION_B

#include "common.h"

#ifdef __cplusplus
extern "C" {
#endif

/* An open transport to a dive computer; a device is opened on one and does not own it. */
typedef struct dc_iostream_t dc_iostream_t;

/* Accepts NULL. Close the stream only after the device opened on it was closed. */
dc_status_t dc_iostream_close(dc_iostream_t *iostream);

#ifdef __cplusplus
}
#endif
#endif
#endif
