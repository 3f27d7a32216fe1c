/* Stand-in for libdivecomputer's descriptor.h (releases 0.5 and 0.6). */
#ifndef DC_DESCRIPTOR_H
#define DC_DESCRIPTOR_H

#include "common.h"
#include "iterator.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef enum dc_transport_t {
    DC_TRANSPORT_NONE = 0,
    DC_TRANSPORT_SERIAL = 1,
    DC_TRANSPORT_USB = 2,
    DC_TRANSPORT_USBHID = 3,
    DC_TRANSPORT_IRDA = 4,
    DC_TRANSPORT_BLUETOOTH = 5
} dc_transport_t;

typedef struct dc_descriptor_t dc_descriptor_t;

dc_status_t dc_descriptor_iterator(dc_iterator_t **iterator);
void dc_descriptor_free(dc_descriptor_t *descriptor);
const char *dc_descriptor_get_vendor(dc_descriptor_t *descriptor);
const char *dc_descriptor_get_product(dc_descriptor_t *descriptor);
dc_family_t dc_descriptor_get_type(dc_descriptor_t *descriptor);
unsigned int dc_descriptor_get_model(dc_descriptor_t *descriptor);
dc_transport_t dc_descriptor_get_transport(dc_descriptor_t *descriptor);

#ifdef __cplusplus
}
#endif
#endif
