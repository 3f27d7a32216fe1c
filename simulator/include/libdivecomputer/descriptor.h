/* SPDX-License-Identifier: MIT */
/* Stand-in for libdivecomputer's descriptor.h (releases 0.5 and 0.6; 0.7 and 0.8 under
 * DCSIM_GENERATION_B; 0.9 when DCSIM_RELEASE_0_9 is defined too). */
#ifndef DC_DESCRIPTOR_H
#define DC_DESCRIPTOR_H

#include "common.h"
#include "context.h"
#include "iterator.h"

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct dc_descriptor_t dc_descriptor_t;

#if defined(DCSIM_RELEASE_0_9)

dc_status_t dc_descriptor_iterator_new(dc_iterator_t **iterator, dc_context_t *context);
#define dc_descriptor_iterator(iterator) dc_descriptor_iterator_new(iterator, NULL)
/* 0.9 reads descriptors through const pointers. */
#define DCSIM_DESCRIPTOR const dc_descriptor_t

#else

dc_status_t dc_descriptor_iterator(dc_iterator_t **iterator);
#define DCSIM_DESCRIPTOR dc_descriptor_t

#endif

void dc_descriptor_free(dc_descriptor_t *descriptor);
const char *dc_descriptor_get_vendor(DCSIM_DESCRIPTOR *descriptor);
const char *dc_descriptor_get_product(DCSIM_DESCRIPTOR *descriptor);
dc_family_t dc_descriptor_get_type(DCSIM_DESCRIPTOR *descriptor);
unsigned int dc_descriptor_get_model(DCSIM_DESCRIPTOR *descriptor);

#if defined(DCSIM_GENERATION_B)

/* The dc_transport_t flags of every transport the model supports. */
unsigned int dc_descriptor_get_transports(DCSIM_DESCRIPTOR *descriptor);

#if defined(DCSIM_RELEASE_0_9)
/* Non-zero when a device found on this transport may be of this model; for DC_TRANSPORT_BLE
 * userdata is the advertised name (const char *). */
int dc_descriptor_filter(DCSIM_DESCRIPTOR *descriptor, dc_transport_t transport,
                         const void *userdata);
#endif

#else

/* A model's one transport, numbered from 0 in this order (Java receives the numbers). */
typedef enum dc_transport_t {
    DC_TRANSPORT_NONE,
    DC_TRANSPORT_SERIAL,
    DC_TRANSPORT_USB,
    DC_TRANSPORT_USBHID,
    DC_TRANSPORT_IRDA,
    DC_TRANSPORT_BLUETOOTH
} dc_transport_t;

dc_transport_t dc_descriptor_get_transport(dc_descriptor_t *descriptor);

#endif

#undef DCSIM_DESCRIPTOR

#ifdef __cplusplus
}
#endif
#endif
