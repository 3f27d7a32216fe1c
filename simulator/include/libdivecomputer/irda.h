/* SPDX-License-Identifier: MIT */
/* Stand-in for libdivecomputer's irda.h (release 0.7 on). Under generation A (releases 0.5 and
 * 0.6, which had no such header) it declares nothing. */
#ifndef DC_IRDA_H
#define DC_IRDA_H

#ifdef DCSIM_GENERATION_B

#include "common.h"
#include "context.h"
#include "iostream.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Opens the IrDA device with this address; lsap is the service access point. */
dc_status_t dc_irda_open(dc_iostream_t **iostream, dc_context_t *context, unsigned int address,
                         unsigned int lsap);

#ifdef __cplusplus
}
#endif
#endif
#endif
